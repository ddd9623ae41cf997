#include "core/UssdSession.h"

#include "core/Options.h"
#include "sqlite/SQLiteDB.h"

#include <QCoreApplication>

namespace Ombrelay
{

namespace
{

const QString kRecentKey = QStringLiteral("ussd.recent");

QString Tr(const char* Text)
{
    return QCoreApplication::translate("TUssdSession", Text);
}

} // namespace

TUssdSession::TUssdSession(std::shared_ptr<IMbnInterfaceManager> Port, const QString& InterfaceID, QObject* Parent)
    : QObject(Parent)
    , FPort(std::move(Port))
    , FInterfaceID(InterfaceID)
{
    if (FPort) {
        connect(FPort.get(), &IMbnInterfaceManager::UssdComplete, this, &TUssdSession::OnComplete);
        connect(FPort.get(), &IMbnInterfaceManager::UssdNetworkMessage, this, &TUssdSession::OnNetworkMessage);
    }
}

TUssdSession::~TUssdSession()
{
    // A session left open would hold the modem's USSD service for the next program.
    if (FRequest != 0 || FAwaitsResponse) {
        if (std::shared_ptr<IMbnUssd> ussd = Facet(nullptr)) {
            TMbnRequestId id = 0;
            ussd->UssdCancel(id);
        }
    }
}

std::shared_ptr<IMbnUssd> TUssdSession::Facet(QString* Why) const
{
    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnUssd> ussd;
    if (!FPort || MbnFailed(FPort->GetInterface(FInterfaceID, i)) || !i) {
        if (Why) {
            *Why = Tr("The modem is not there any more.");
        }
        return nullptr;
    }
    const TMbnResult r = i->GetUssd(ussd);
    if (MbnFailed(r) || !ussd) {
        if (Why) {
            *Why = r == mrNotSupported || MbnSucceeded(r) ? Tr("USSD is not supported by this modem.")
                                                          : FailureText(*FPort, r, QString());
        }
        return nullptr;
    }
    return ussd;
}

QString TUssdSession::Unsupported() const
{
    QString why;
    return Facet(&why) ? QString() : why;
}

QString TUssdSession::FailureText(IMbnInterfaceManager& Port, TMbnResult Status, const QString& Reason)
{
    switch (Status) {
    case mrTimeout:
        return Tr("The network did not answer.");
    case mrNotSupported:
        return Tr("USSD is not supported by this modem.");
    case mrNotRegistered:
        return Tr("The modem is not registered with a network.");
    case mrBusy:
        return Tr("The modem is busy with another USSD session.");
    case mrNotFound:
        return Tr("The modem is not there any more.");
    case mrInvalidArgument:
        if (!Reason.isEmpty()) {
            return Tr("The network's answer could not be read: %1").arg(Reason);
        }
        return Tr("The code is not valid.");
    default:
        return Tr("The USSD request failed: %1").arg(Port.ErrorText(Status));
    }
}

bool TUssdSession::Send(const QString& Code)
{
    QString why;
    std::shared_ptr<IMbnUssd> ussd = Facet(&why);
    if (!ussd) {
        Q_EMIT Failed(why);
        return false;
    }
    if (Code.trimmed().isEmpty()) {
        Q_EMIT Failed(Tr("Enter a code such as *100#."));
        return false;
    }
    if (FRequest != 0 || FAwaitsResponse || ussd->UssdState() == TMbnUssdState::usUserResponse) {
        Cancel();
    }
    TMbnRequestId id = 0;
    const TMbnResult r = ussd->UssdInitiate(Code.trimmed(), id);
    if (MbnFailed(r)) {
        Q_EMIT Failed(FailureText(*FPort, r, QString()));
        return false;
    }
    FRequest = id;
    FAwaitsResponse = false;
    Q_EMIT StateChanged();
    return true;
}

bool TUssdSession::Respond(const QString& Text)
{
    QString why;
    std::shared_ptr<IMbnUssd> ussd = Facet(&why);
    if (!ussd) {
        Q_EMIT Failed(why);
        return false;
    }
    if (!FAwaitsResponse || FRequest != 0) {
        Q_EMIT Failed(Tr("The network asked nothing to answer."));
        return false;
    }
    if (Text.trimmed().isEmpty()) {
        Q_EMIT Failed(Tr("Enter an answer."));
        return false;
    }
    TMbnRequestId id = 0;
    const TMbnResult r = ussd->UssdRespond(Text.trimmed(), id);
    if (MbnFailed(r)) {
        Q_EMIT Failed(FailureText(*FPort, r, QString()));
        return false;
    }
    FRequest = id;
    FAwaitsResponse = false;
    Q_EMIT StateChanged();
    return true;
}

void TUssdSession::Cancel()
{
    const bool open = FRequest != 0 || FAwaitsResponse;
    FRequest = 0;
    FAwaitsResponse = false;
    if (std::shared_ptr<IMbnUssd> ussd = Facet(nullptr)) {
        if (open || ussd->UssdState() != TMbnUssdState::usIdle) {
            TMbnRequestId id = 0;
            ussd->UssdCancel(id);
        }
    }
    if (open) {
        Q_EMIT StateChanged();
    }
}

void TUssdSession::OnComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status, const QString& Answer,
                              quint32 State)
{
    if (InterfaceID != FInterfaceID || RequestId == 0 || RequestId != FRequest) {
        // Another modem's, a cancel's, or one of a session cancelled since.
        return;
    }
    FRequest = 0;
    if (MbnFailed(Status)) {
        FAwaitsResponse = false;
        Q_EMIT StateChanged();
        Q_EMIT Failed(FailureText(*FPort, Status, Answer));
        return;
    }
    FAwaitsResponse = State == quint32(TMbnUssdState::usUserResponse);
    Q_EMIT StateChanged();
    Q_EMIT Answered(Answer, FAwaitsResponse);
}

void TUssdSession::OnNetworkMessage(const QString& InterfaceID, const QString& Text, bool ExpectsResponse)
{
    if (InterfaceID != FInterfaceID || FRequest != 0) {
        return;
    }
    FAwaitsResponse = ExpectsResponse;
    Q_EMIT StateChanged();
    Q_EMIT Answered(Text, ExpectsResponse);
}

QStringList LoadUssdCodes(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = :NAME"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), kRecentKey);
    if (!Db.Next()) {
        return {};
    }
    QStringList codes = CommaTextToList(Db.GetFieldAsString(0));
    codes.removeAll(QString());
    return codes.mid(0, kUssdRecentCodes);
}

void RememberUssdCode(TSQLiteDB& Db, const QString& Code)
{
    const QString code = Code.trimmed();
    if (code.isEmpty()) {
        return;
    }
    QStringList codes = LoadUssdCodes(Db);
    codes.removeAll(code);
    codes.prepend(code);
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (:NAME, :VALUE)"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), kRecentKey);
    Db.SetParamByNameAsString(QStringLiteral("VALUE"), ListToCommaText(codes.mid(0, kUssdRecentCodes)));
    Db.Exec();
}

} // namespace Ombrelay
