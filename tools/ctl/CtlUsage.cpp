#include "CtlCommon.h"

namespace Ombrelay::Ctl
{

int RunUsage(const QStringList& Args)
{
    Q_UNUSED(Args);
    Err(QStringLiteral("ombrelayctl: 'usage' is not available in this version\n"));
    return ExitFailed;
}

} // namespace Ombrelay::Ctl
