#include "core/RemoteSend.h"

#include "base/Errors.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/MessageQuery.h"
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

QString TRemoteSend::Request(const QString& Number, const QString& Text, const QString& Device)
{
    QJsonObject o{{QStringLiteral("number"), Number}, {QStringLiteral("text"), Text}};
    if (!Device.isEmpty()) {
        o.insert(QStringLiteral("device"), Device);
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
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, rows, device, Reply, TimeoutMs] {
        QString state = QStringLiteral("sending");
        qint64 id = rows.front();
        try {
            const QList<TMessageRecord> records =
                Database ? TMessageQuery::FromRows(*Database, true, rows, nullptr) : QList<TMessageRecord>();
            if (records.isEmpty()) {
                state = QStringLiteral("failed");
            }
            for (const TMessageRecord& r : records) {
                if (r.State == QLatin1String("failed")) {
                    state = r.State;
                } else if (r.State == QLatin1String("sent") && state != QLatin1String("failed")) {
                    state = records.size() == 1 ? r.State : state;
                }
                id = std::min(id, r.Id);
            }
        } catch (const std::exception&) {
            return;
        }
        if (state == QLatin1String("sending") && clock->elapsed() < TimeoutMs) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        Reply(Answer(QJsonObject{{QStringLiteral("state"), state},
                                 {QStringLiteral("id"), double(id)},
                                 {QStringLiteral("device"), device}}));
    });
    timer->start(kPollMs);
}

} // namespace Ombrelay
