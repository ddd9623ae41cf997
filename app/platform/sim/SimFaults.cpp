#include "platform/sim/SimFaults.h"

#include "base/Errors.h"

namespace Ombrelay
{

namespace
{

const char* const kOperations[] = {
    "GetInterfaces",
    "GetInterface",
    "GetInterfaceCapability",
    "GetConnection",
    "GetConnectionState",
    "GetSignalStrength",
    "GetSms",
    "GetRegistration",
    "GetConnectionProfiles",
    "CreateProfileManager",
    "Connect",
    "Disconnect",
    "SmsRead",
    "SmsSendPdu",
    "SmsDelete",
    "SmsDeleteIndex",
    "SmsReadMessages",
    "SmsSendMessage",
    "SmsDeleteMessage",
    "ConnectComplete",
    "DisconnectComplete",
    "SmsReadComplete",
    "SmsMessageReadComplete",
    "SmsSendComplete",
    "SmsDeleteComplete",
    // USSD
    "GetUssd",
    "UssdInitiate",
    "UssdRespond",
    "UssdCancel",
    "UssdComplete",
    "GetLockState",
    "SendPin",
    "SendPuk",
    "SetPowered",
    "EnableComplete",
};

} // namespace

QStringList TSimFaults::OperationNames()
{
    QStringList r;
    for (const char* op : kOperations) {
        r << QLatin1String(op);
    }
    return r;
}

void TSimFaults::Fail(const QString& Operation, int Count)
{
    if (!OperationNames().contains(Operation, Qt::CaseInsensitive)) {
        throw EOmbrelayError(QStringLiteral("unknown operation %1").arg(Operation));
    }
    if (Count < 0) {
        throw EOmbrelayError(QStringLiteral("negative count"));
    }
    FFailures[Operation.toLower()] = Count;
}

void TSimFaults::Lose(const QString& Operation, int Count)
{
    if (!OperationNames().contains(Operation, Qt::CaseInsensitive)) {
        throw EOmbrelayError(QStringLiteral("unknown operation %1").arg(Operation));
    }
    FLosses[Operation.toLower()] = Count;
}

bool TSimFaults::TakeFailure(const char* Operation)
{
    auto it = FFailures.find(QString::fromLatin1(Operation).toLower());
    if (it == FFailures.end() || it.value() <= 0) {
        return false;
    }
    --it.value();
    return true;
}

bool TSimFaults::TakeLoss(const char* Operation)
{
    auto it = FLosses.find(QString::fromLatin1(Operation).toLower());
    if (it == FLosses.end() || it.value() <= 0) {
        return false;
    }
    --it.value();
    return true;
}

} // namespace Ombrelay
