#include "CtlCommon.h"

namespace Ombrelay::Ctl
{

int RunMessages(const QStringList& Args)
{
    Q_UNUSED(Args);
    Err(QStringLiteral("ombrelayctl: 'messages' is not available in this version\n"));
    return ExitFailed;
}

} // namespace Ombrelay::Ctl
