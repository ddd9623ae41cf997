// The USSD facet of a simulated interface: a scripted network service that answers codes and
// menu choices after the modem's delay, as a network would.

#include "base/Errors.h"
#include "platform/sim/SimInterface.h"
#include "platform/sim/SimModem.h"
#include "sms/Ussd.h"

namespace Ombrelay
{

namespace
{

// The network's answer as text: a modem that hands over hexadecimal is decoded here, as the
// stack of a real modem would; false with Text holding the reason when it cannot be read.
bool AnswerText(const QString& Scripted, QString& Text)
{
    TUssdText r;
    if (Scripted.startsWith(QLatin1String("ucs2:"))) {
        r = DecodeUssd(QStringView(Scripted).mid(5), 0x48, true);
    } else if (Scripted.startsWith(QLatin1String("gsm7:"))) {
        r = DecodeUssd(QStringView(Scripted).mid(5), 0x0F, true);
    } else {
        r = DecodeUssd(Scripted, 0x0F, false);
    }
    Text = r.Ok ? r.Text : r.Error;
    return r.Ok;
}

} // namespace

QHash<QString, TSimUssdAnswer> DefaultUssdScript()
{
    return {
        {QStringLiteral("*100#"), {QStringLiteral("Your balance is 12.34 EUR.\n1 Data left\n2 Top up\n0 Exit"), true}},
        {QStringLiteral("1"), {QStringLiteral("You have 2.5 GB of data left until 31.12."), false}},
        {QStringLiteral("2"), {QStringLiteral("To top up, dial *102*voucher number#."), false}},
        {QStringLiteral("0"), {QStringLiteral("Goodbye."), false}},
    };
}

TMbnResult TSimInterface::GetUssd(std::shared_ptr<IMbnUssd>& Ussd)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetUssd")) {
        return mrFailed;
    }
    if ((S.Caps.controlCaps & 0x40) == 0) {
        return mrNotSupported;
    }
    Ussd = std::shared_ptr<IMbnUssd>(shared_from_this(), static_cast<IMbnUssd*>(this));
    return mrOk;
}

TMbnResult TSimInterface::UssdInitiate(const QString& Command, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("UssdInitiate")) {
        return mrFailed;
    }
    if (Command.trimmed().isEmpty()) {
        return mrInvalidArgument;
    }
    if (UssdSession != TMbnUssdState::usIdle) {
        // One session at a time: a new code needs the open one cancelled first.
        return mrBusy;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    UssdSession = TMbnUssdState::usActive;
    const quint64 session = UssdCancels;
    const bool registered =
        Registration.State == TMbnRegisterState::rsHome || Registration.State == TMbnRegisterState::rsRoaming;
    Post([this, id, session, registered, key = Command.trimmed()] {
        if (session != UssdCancels) {
            Q_EMIT FModem.UssdComplete(S.InterfaceID, id, mrFailed, QString(), quint32(UssdSession));
            return;
        }
        TMbnResult status = mrOk;
        QString text;
        bool menu = false;
        const auto answer = UssdScript.constFind(key);
        if (FModem.TakeFailure("UssdComplete")) {
            status = mrFailed;
        } else if (!registered) {
            status = mrNotRegistered;
        } else if (answer == UssdScript.cend()) {
            // A code the network does not know goes unanswered.
            status = mrTimeout;
        } else if (!AnswerText(answer->Text, text)) {
            status = mrInvalidArgument;
        } else {
            menu = answer->Menu;
        }
        UssdSession = MbnSucceeded(status) && menu ? TMbnUssdState::usUserResponse : TMbnUssdState::usIdle;
        Q_EMIT FModem.UssdComplete(S.InterfaceID, id, status, text, quint32(UssdSession));
    });
    return mrOk;
}

TMbnResult TSimInterface::UssdRespond(const QString& Response, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("UssdRespond")) {
        return mrFailed;
    }
    if (UssdSession != TMbnUssdState::usUserResponse) {
        // Nothing asked: there is no question to answer.
        return mrBusy;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    UssdSession = TMbnUssdState::usActive;
    const quint64 session = UssdCancels;
    Post([this, id, session, key = Response.trimmed()] {
        if (session != UssdCancels) {
            Q_EMIT FModem.UssdComplete(S.InterfaceID, id, mrFailed, QString(), quint32(UssdSession));
            return;
        }
        TMbnResult status = mrOk;
        QString text;
        bool menu = false;
        const auto answer = UssdScript.constFind(key);
        if (FModem.TakeFailure("UssdComplete")) {
            status = mrFailed;
        } else if (answer == UssdScript.cend()) {
            // A choice the menu does not offer ends the session, as services do.
            text = QStringLiteral("Invalid choice.");
        } else if (!AnswerText(answer->Text, text)) {
            status = mrInvalidArgument;
        } else {
            menu = answer->Menu;
        }
        UssdSession = MbnSucceeded(status) && menu ? TMbnUssdState::usUserResponse : TMbnUssdState::usIdle;
        Q_EMIT FModem.UssdComplete(S.InterfaceID, id, status, text, quint32(UssdSession));
    });
    return mrOk;
}

TMbnResult TSimInterface::UssdCancel(TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("UssdCancel")) {
        return mrFailed;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    ++UssdCancels;
    UssdSession = TMbnUssdState::usIdle;
    Post([this, id] { Q_EMIT FModem.UssdComplete(S.InterfaceID, id, mrOk, QString(), quint32(UssdSession)); });
    return mrOk;
}

void TSimModem::SetUssdAnswer(const QString& InterfaceID, const QString& Code, const QString& Answer, bool Menu)
{
    TSimInterface* i = Get(InterfaceID);
    if (Code.trimmed().isEmpty()) {
        throw EOmbrelayError(QStringLiteral("empty USSD code"));
    }
    i->UssdScript.insert(Code.trimmed(), {Answer, Menu});
}

void TSimModem::UssdFromNetwork(const QString& InterfaceID, const QString& Text, bool Request)
{
    TSimInterface* i = Get(InterfaceID);
    QString text;
    if (!AnswerText(Text, text)) {
        throw EOmbrelayError(QStringLiteral("USSD text: %1").arg(text));
    }
    if (Request) {
        i->UssdSession = TMbnUssdState::usUserResponse;
    }
    Post([this, InterfaceID, text, Request] { Q_EMIT UssdNetworkMessage(InterfaceID, text, Request); });
}

} // namespace Ombrelay
