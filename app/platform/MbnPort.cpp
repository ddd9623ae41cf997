#include "platform/MbnPort.h"

namespace Ombrelay
{

QString MbnErrorText(TMbnResult Code)
{
    switch (Code) {
    case mrOk:
        return QStringLiteral("The operation completed successfully.");
    case mrFailed:
        return QStringLiteral("The modem reported a failure.");
    case mrNotFound:
        return QStringLiteral("The modem does not know the interface, profile or message named.");
    case mrNotSupported:
        return QStringLiteral("The modem does not support this operation.");
    case mrInvalidArgument:
        return QStringLiteral("The modem rejected a parameter.");
    case mrBusy:
        return QStringLiteral("The modem is busy.");
    case mrStoreFull:
        return QStringLiteral("The modem's message store is full.");
    case mrNotRegistered:
        return QStringLiteral("The modem is not registered with a network.");
    case mrTimeout:
        return QStringLiteral("The modem did not answer in time.");
    default:
        return QStringLiteral("Unknown platform error (%1).").arg(Code);
    }
}

} // namespace Ombrelay
