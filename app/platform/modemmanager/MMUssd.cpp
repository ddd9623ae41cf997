// USSD through ModemManager's Modem3gpp.Ussd interface. The daemon decodes the modem's +CUSD
// answers itself (by the character set it chose and the coding scheme the network sent), so the
// answers arrive as text; the session's state is a property of its own.

#include "platform/modemmanager/MMInterface.h"
#include "platform/modemmanager/MMNames.h"

#include <QDBusVariant>

namespace Ombrelay
{

using namespace MM;

namespace
{

// A network may take its time, and a menu waits for the person behind it; the bus's default of
// 25 s is not enough for either.
constexpr int kUssdTimeoutMs = 90000;

TMbnUssdState ToUssdState(const QVariant& Value)
{
    switch (Value.toUInt()) {
    case 1:
        return TMbnUssdState::usIdle;
    case 2:
        return TMbnUssdState::usActive;
    case 3:
        return TMbnUssdState::usUserResponse;
    default:
        return TMbnUssdState::usUnknown;
    }
}

// Whether the daemon handed over octets it did not decode: with the modem in a plain character
// set it reads a UCS-2 answer's hexadecimal as octets of that set, which gives control characters
// (and ends at the first zero octet, so that the rest of the answer is lost). No text of a network
// holds control characters other than line breaks and tabs.
bool LooksUndecoded(const QString& Answer)
{
    for (const QChar c : Answer) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t')) {
            return true;
        }
    }
    return false;
}

} // namespace

TMbnResult TMMInterface::GetUssd(std::shared_ptr<IMbnUssd>& Ussd)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    if (!FInterfaces.contains(kMMUssd)) {
        return mrNotSupported;
    }
    Ussd = std::shared_ptr<IMbnUssd>(shared_from_this(), static_cast<IMbnUssd*>(this));
    return mrOk;
}

TMbnUssdState TMMInterface::UssdState() const
{
    return ToUssdState(FInterfaces.value(kMMUssd).value(QStringLiteral("State")));
}

TMbnResult TMMInterface::UssdCall(const QString& Method, const QString& Text, TMbnRequestId& RequestId)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    if (!FInterfaces.contains(kMMUssd)) {
        return mrNotSupported;
    }
    if (Text.trimmed().isEmpty()) {
        return mrInvalidArgument;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    const QString path = FPath;
    QDBusMessage call = QDBusMessage::createMethodCall(kMMService, path, kMMUssd, Method);
    call << Text.trimmed();
    Call(
        call,
        [this, id, path](const QDBusMessage& Reply) {
            if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
                // A network that never answers shows as the call running out of time.
                const TMbnResult status = Reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")
                                              ? TMbnResult(mrTimeout)
                                              : FManager.MakeError(Reply);
                Q_EMIT FManager.UssdComplete(FIdentifier, id, status, QString(), quint32(UssdState()));
                return;
            }
            const QString answer = Reply.arguments().at(0).toString();
            // The state's change may reach us after the reply: asking for it now gives the state
            // after the answer, as the daemon answers in order.
            QDBusMessage get = QDBusMessage::createMethodCall(kMMService, path, kProperties, QStringLiteral("Get"));
            get << kMMUssd << QStringLiteral("State");
            Call(get, [this, id, answer](const QDBusMessage& R) {
                if (R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()) {
                    UpdateProperties(kMMUssd,
                                     {{QStringLiteral("State"), R.arguments().at(0).value<QDBusVariant>().variant()}});
                }
                if (LooksUndecoded(answer)) {
                    // Garbage shown as the network's answer would be worse than saying so.
                    Q_EMIT FManager.UssdComplete(
                        FIdentifier, id, mrInvalidArgument,
                        QStringLiteral("ModemManager handed it over undecoded (UCS-2 in a plain character set)"),
                        quint32(UssdState()));
                    return;
                }
                Q_EMIT FManager.UssdComplete(FIdentifier, id, mrOk, answer, quint32(UssdState()));
            });
        },
        kUssdTimeoutMs);
    return mrOk;
}

TMbnResult TMMInterface::UssdInitiate(const QString& Command, TMbnRequestId& RequestId)
{
    return UssdCall(QStringLiteral("Initiate"), Command, RequestId);
}

TMbnResult TMMInterface::UssdRespond(const QString& Response, TMbnRequestId& RequestId)
{
    return UssdCall(QStringLiteral("Respond"), Response, RequestId);
}

TMbnResult TMMInterface::UssdCancel(TMbnRequestId& RequestId)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    if (!FInterfaces.contains(kMMUssd)) {
        return mrNotSupported;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    Call(QDBusMessage::createMethodCall(kMMService, FPath, kMMUssd, QStringLiteral("Cancel")),
         [this, id](const QDBusMessage& Reply) {
             const TMbnResult status = Reply.type() == QDBusMessage::ReplyMessage ? mrOk : FManager.MakeError(Reply);
             Q_EMIT FManager.UssdComplete(FIdentifier, id, status, QString(), quint32(UssdState()));
         });
    return mrOk;
}

void TMMInterface::UssdPropertiesChanged(const QVariantMap& Changed)
{
    // The daemon clears these again (to an empty text); only a text is news.
    const QString notice = Changed.value(QStringLiteral("NetworkNotification")).toString();
    if (!notice.isEmpty()) {
        Q_EMIT FManager.UssdNetworkMessage(FIdentifier, notice, false);
    }
    const QString request = Changed.value(QStringLiteral("NetworkRequest")).toString();
    if (!request.isEmpty()) {
        Q_EMIT FManager.UssdNetworkMessage(FIdentifier, request, true);
    }
}

} // namespace Ombrelay
