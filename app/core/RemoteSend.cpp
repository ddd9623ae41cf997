#include "core/RemoteSend.h"

#include "base/Errors.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/MessageQuery.h"
#include "core/Options.h"
#include "sms/SMS.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <memory>

namespace Ombrelay
{

namespace
{

const QLatin1String kPrefix("send ");
constexpr int kPollMs = 50;

QString Answer(const QJsonObject& Object)
{
    return QString::fromUtf8(QJsonDocument(Object).toJson(QJsonDocument::Compact));
}

QString ErrorAnswer(const QString& Text)
{
    return Answer(QJsonObject{{QStringLiteral("error"), Text}});
}

qint64 LastOutgoingRow()
{
    TSQLiteLock lock(*Database);
    TSQLiteQuery query(*Database, QStringLiteral("SELECT MAX(ID) FROM OUTGOING"));
    return Database->Next() && !Database->GetFieldIsNull(0) ? Database->GetFieldAsInt64(0) : 0;
}

QList<qint64> RowsAfter(qint64 Row, const QString& Device)
{
    QList<qint64> rows;
    TSQLiteLock lock(*Database);
    TSQLiteQuery query(*Database, QStringLiteral("SELECT ID FROM OUTGOING WHERE ID > ? AND DEVICE = ? ORDER BY ID"));
    Database->SetParamAsInt64(1, Row);
    Database->SetParamAsString(2, Device);
    while (Database->Next()) {
        rows << Database->GetFieldAsInt64(0);
    }
    return rows;
}

QString ErrorText(const std::exception& E)
{
    const auto* own = dynamic_cast<const EOmbrelayError*>(&E);
    return own ? own->Message() : QString::fromUtf8(E.what());
}

} // namespace

QString TRemoteSend::Request(const QString& Number, const QString& Text, const QString& Device, int TimeoutSeconds,
                             bool WaitDelivery)
{
    QJsonObject o{{QStringLiteral("number"), Number}, {QStringLiteral("text"), Text}};
    if (!Device.isEmpty()) {
        o.insert(QStringLiteral("device"), Device);
    }
    if (TimeoutSeconds > 0) {
        o.insert(QStringLiteral("timeout"), TimeoutSeconds);
    }
    if (WaitDelivery) {
        o.insert(QStringLiteral("wait"), QStringLiteral("delivery"));
    }
    return kPrefix + QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

bool TRemoteSend::IsRequest(const QString& Line)
{
    return Line.startsWith(kPrefix);
}

void TRemoteSend::Handle(IMBManager* Manager, const QString& DefaultInterface, const QString& Line, TReply Reply,
                         int TimeoutMs)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(Line.mid(kPrefix.size()).toUtf8(), &error);
    if (!doc.isObject()) {
        Reply(ErrorAnswer(QStringLiteral("The send request is not a JSON object.")));
        return;
    }
    const QString number = doc.object().value(QStringLiteral("number")).toString().trimmed();
    const QString text = doc.object().value(QStringLiteral("text")).toString();
    QString device = doc.object().value(QStringLiteral("device")).toString();
    if (number.isEmpty() || text.isEmpty()) {
        Reply(ErrorAnswer(QStringLiteral("A message needs a number and a text.")));
        return;
    }
    const bool waitDelivery = doc.object().value(QStringLiteral("wait")).toString() == QLatin1String("delivery");
    // A day at most: the answer holds a timer and a connection of the program.
    constexpr int kMaxTimeoutSeconds = 24 * 60 * 60;
    const int seconds = doc.object().value(QStringLiteral("timeout")).toInt(0);
    if (seconds > 0) {
        TimeoutMs = std::min(seconds, kMaxTimeoutSeconds) * 1000;
    }
    if (!Manager || !Database) {
        Reply(ErrorAnswer(QStringLiteral("Ombrelay has no modem to send with.")));
        return;
    }
    TMBInterfaceList* interfaces = Manager->GetInterfaceList();
    if (device.isEmpty()) {
        device = DefaultInterface;
    }
    if (device.isEmpty() && interfaces && interfaces->Count() > 0) {
        device = interfaces->Items(0)->InterfaceID();
    }
    if (device.isEmpty() || !interfaces || !interfaces->FindByID(device)) {
        Reply(ErrorAnswer(device.isEmpty() ? QStringLiteral("Ombrelay has no modem to send with.")
                                           : QStringLiteral("There is no modem %1.").arg(device)));
        return;
    }
    QList<qint64> rows;
    try {
        TSmsSend send;
        send.SetTarget(number);
        send.SetText(text);
        send.SetStatusReportRequest(waitDelivery || !Options || Options->RequestDeliveryReports());
        const QStringList pdus = send.EncodePdu();
        // The program runs one event loop: no other message is recorded between these steps.
        const qint64 before = LastOutgoingRow();
        Manager->SendMessage(device, number, text, pdus);
        rows = RowsAfter(before, device);
    } catch (const std::exception& e) {
        Reply(Answer(QJsonObject{{QStringLiteral("state"), QStringLiteral("failed")},
                                 {QStringLiteral("device"), device},
                                 {QStringLiteral("error"), ErrorText(e)}}));
        return;
    }
    if (rows.isEmpty()) {
        Reply(Answer(QJsonObject{{QStringLiteral("state"), QStringLiteral("failed")},
                                 {QStringLiteral("device"), device},
                                 {QStringLiteral("error"), QStringLiteral("The message was not recorded.")}}));
        return;
    }
    // The device decides later; the rows say what it decided.
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, rows, device, Reply, TimeoutMs, waitDelivery] {
        QString state = QStringLiteral("sending");
        QString detail;
        QString reason;
        qint64 id = rows.front();
        try {
            const QList<TMessageRecord> records =
                Database ? TMessageQuery::FromRows(*Database, true, rows, nullptr) : QList<TMessageRecord>();
            if (records.isEmpty()) {
                state = QStringLiteral("failed");
                reason = QStringLiteral("The message was deleted before it was sent.");
            }
            // The rows are one message; its state is the one of the Sent list.
            for (const TMessageRecord& r : records) {
                detail = r.StateText;
                if (r.State == QLatin1String("failed")) {
                    state = r.State;
                    const QLatin1String prefix("failed: ");
                    reason = r.StateText.startsWith(prefix) ? r.StateText.mid(prefix.size()) : r.StateText;
                } else if (r.State != QLatin1String("sending") && state != QLatin1String("failed")) {
                    state = waitDelivery && r.State == QLatin1String("delivered") ? r.State : QStringLiteral("sent");
                }
                id = std::min(id, r.Id);
            }
        } catch (const std::exception&) {
            return;
        }
        const bool decided = state == QLatin1String("failed") ||
                             (waitDelivery ? state == QLatin1String("delivered") : state != QLatin1String("sending"));
        const bool timedOut = clock->elapsed() >= TimeoutMs;
        if (!decided && !timedOut) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        QJsonObject answer{{QStringLiteral("state"), state},
                           {QStringLiteral("id"), double(id)},
                           {QStringLiteral("device"), device},
                           {QStringLiteral("detail"), detail}};
        if (!reason.isEmpty()) {
            answer.insert(QStringLiteral("error"), reason);
        }
        if (!decided) {
            answer.insert(QStringLiteral("timeout"), true);
        }
        Reply(Answer(answer));
    });
    timer->start(kPollMs);
}

} // namespace Ombrelay
