#pragma once

// A USSD session with the network's service through one modem: a code such as "*100#" is sent,
// the network's answer comes back as text, a menu is answered in the same session, and the session
// can be cancelled at any time. The codes sent are remembered (the last ten, newest first).

#include "platform/MbnPort.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Ombrelay
{

class TSQLiteDB;

class TUssdSession : public QObject
{
    Q_OBJECT

public:
    TUssdSession(std::shared_ptr<IMbnInterfaceManager> Port, const QString& InterfaceID, QObject* Parent = nullptr);
    ~TUssdSession() override;

    const QString& InterfaceID() const { return FInterfaceID; }
    // Empty when the modem offers USSD; otherwise why it cannot be used, for the user.
    QString Unsupported() const;
    // A request is on its way to the network.
    bool Busy() const { return FRequest != 0; }
    // The network's last answer asked a question: Respond answers it.
    bool AwaitsResponse() const { return FAwaitsResponse; }

    // Sends Code in a new session (an open one is cancelled first). False, with Failed emitted,
    // when it cannot be sent.
    bool Send(const QString& Code);
    // Answers the network's question in the open session.
    bool Respond(const QString& Text);
    // Ends the session; an answer still on its way is not shown.
    void Cancel();

    // The readable text of a failure of a USSD request.
    static QString FailureText(IMbnInterfaceManager& Port, TMbnResult Status, const QString& Reason);

Q_SIGNALS:
    // The network's answer; AwaitsResponse: it asks a question (a menu).
    void Answered(const QString& Text, bool AwaitsResponse);
    void Failed(const QString& Message);
    // Busy or AwaitsResponse changed.
    void StateChanged();

private:
    std::shared_ptr<IMbnUssd> Facet(QString* Why) const;
    void OnComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status, const QString& Answer, quint32 State);
    void OnNetworkMessage(const QString& InterfaceID, const QString& Text, bool ExpectsResponse);

    std::shared_ptr<IMbnInterfaceManager> FPort;
    QString FInterfaceID;
    TMbnRequestId FRequest = 0;
    bool FAwaitsResponse = false;
};

// The USSD codes sent, newest first, at most kUssdRecentCodes (a CONFIG row, "ussd.recent").
constexpr int kUssdRecentCodes = 10;
QStringList LoadUssdCodes(TSQLiteDB& Db);
// Puts Code first (once) and keeps the newest kUssdRecentCodes.
void RememberUssdCode(TSQLiteDB& Db, const QString& Code);

} // namespace Ombrelay
