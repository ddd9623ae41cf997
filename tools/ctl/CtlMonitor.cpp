#include "CtlCommon.h"

namespace Ombrelay::Ctl
{

int RunMonitor(const QStringList& Args)
{
    Q_UNUSED(Args);
    Err(QStringLiteral("ombrelayctl: 'monitor' is not available in this version\n"));
    return ExitFailed;
}

} // namespace Ombrelay::Ctl
