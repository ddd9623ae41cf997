#include "core/MessageQuery.h"

#include "core/Contacts.h"
#include "core/DB.h"
#include "core/SmsStore.h"
#include "sqlite/SQLiteDB.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonValue>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <map>

namespace Ombrelay
{

namespace
{

// A connection that reads: opened with mode=ro (it never creates the file or its schema), with
// the busy time-out of the program so that a writer's short lock is waited for.
class TReadOnlyDatabase : public TSQLiteDB
{
public:
    QString ClassName() const override { return QStringLiteral("TDatabase"); }

protected:
    explicit TReadOnlyDatabase(const QString& Uri)
        : TSQLiteDB(Uri, true)
    {
    }
    void InitializeDatabase() override
    {
        sqlite3_busy_timeout(Handle(), TDatabase::BusyTimeoutMs);
        TSQLiteLock lock(*this);
        ExecSQL(QStringLiteral("PRAGMA query_only = 1"));
    }

private:
    friend class Ombrelay::TSQLiteDB;
};

bool TableExists(TSQLiteDB& Db, const QString& Table)
{
    TSQLiteQuery query(Db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    Db.SetParamAsString(1, Table);
    return Db.Next();
}

// The state as scripts read it: sending, sent, delivered, "delivered N of M" or failed. The
// Sent list's words (the reason, the time of delivery) are in the record's StateText.
QString ScriptState(TSendState State, const QString& Words)
{
    switch (State) {
    case ssSending:
        return QStringLiteral("sending");
    case ssDelivered:
        return QStringLiteral("delivered");
    case ssFailed:
    case ssRetried:
        return QStringLiteral("failed");
    case ssPartly:
        return Words;
    case ssPending:
        // "sent, still trying: ..." or "delivered 1 of 3, still trying: ...".
        return Words.section(QStringLiteral(", "), 0, 0);
    default:
        return QStringLiteral("sent");
    }
}

// The status of each row, read beside its PDU.
struct TRowState
{
    bool Flag = false; // SEEN or SENT
    bool Failed = false;
};

// Files rows into messages the way the program's lists do, one list per interface, and turns
// them into records.
class TCollector
{
public:
    TCollector(bool Outgoing, const TContacts* Contacts)
        : FOutgoing(Outgoing)
        , FContacts(Contacts)
    {
    }

    void Read(TSQLiteDB& Db)
    {
        const QStringList& columns = Db.Columns();
        auto column = [&](const char* Name) {
            for (int i = 0; i < columns.size(); ++i) {
                if (columns[i].compare(QLatin1String(Name), Qt::CaseInsensitive) == 0) {
                    return i;
                }
            }
            return -1;
        };
        const int id = column("ID");
        const int date = column("DATE");
        const int pdu = column("PDU");
        const int flag = column(FOutgoing ? "SENT" : "SEEN");
        const int failed = column("FAILED");
        const int reason = column("REASON");
        const int retried = column("RETRIED");
        const int rebuilt = column("REBUILT");
        const int device = column("DEVICE");
        while (Db.Next()) {
            const qint64 row = Db.GetFieldAsInt64(id);
            const QString dev = device >= 0 ? Db.GetFieldAsString(device) : QString();
            TSmsListBase*& list = FLists[dev];
            if (!list) {
                if (FOutgoing) {
                    FOwned.push_back(std::make_unique<TSmsOutgoingList>(dev));
                } else {
                    FOwned.push_back(std::make_unique<TSmsIncomingList>(dev));
                }
                list = FOwned.back().get();
            }
            const TDateTime stored = Db.GetFieldAsDateTime(date);
            const QString text = Db.GetFieldAsString(pdu);
            const bool isRebuilt = rebuilt >= 0 && Db.GetFieldAsBool(rebuilt);
            TSmsItem* item = FOutgoing
                                 ? static_cast<TSmsItem*>(
                                       static_cast<TSmsOutgoingList*>(list)->AddMessage(stored, text, row, isRebuilt))
                                 : static_cast<TSmsItem*>(
                                       static_cast<TSmsIncomingList*>(list)->AddMessage(stored, text, row, isRebuilt));
            FDevices.insert(item, dev);
            const TRowState state{flag >= 0 && Db.GetFieldAsBool(flag), failed >= 0 && Db.GetFieldAsBool(failed)};
            FStates.insert(row, state);
            if (FOutgoing) {
                static_cast<TSmsOutgoingList*>(list)->SetRowStatus(*static_cast<TSmsOutgoingItem*>(item), state.Flag,
                                                                   state.Failed,
                                                                   reason >= 0 && !Db.GetFieldIsNull(reason)
                                                                       ? Db.GetFieldAsString(reason)
                                                                       : QString(),
                                                                   retried >= 0 && Db.GetFieldAsBool(retried));
            }
        }
    }

    // The status reports stored for the rows read so far (a database without any has no table).
    void ReadReports(TSQLiteDB& Db)
    {
        if (!FOutgoing || FStates.isEmpty() || !TableExists(Db, QStringLiteral("REPORTS"))) {
            return;
        }
        // A few rows (a send waited on, polled often) are looked up by the index; a listing reads
        // every report once.
        constexpr qsizetype kFewRows = 64;
        const QList<qint64> rows = FStates.keys();
        QString sql = QStringLiteral("SELECT OUTGOING, STATUS, DISCHARGE FROM REPORTS WHERE OUTGOING IS NOT NULL");
        if (rows.size() <= kFewRows) {
            QStringList marks;
            for (qsizetype i = 0; i < rows.size(); ++i) {
                marks << QStringLiteral("?");
            }
            sql += QStringLiteral(" AND OUTGOING IN (%1)").arg(marks.join(QLatin1Char(',')));
        }
        TSQLiteQuery query(Db, sql + QStringLiteral(" ORDER BY ID"));
        if (rows.size() <= kFewRows) {
            for (qsizetype i = 0; i < rows.size(); ++i) {
                Db.SetParamAsInt64(int(i + 1), rows[i]);
            }
        }
        while (Db.Next()) {
            const qint64 row = Db.GetFieldAsInt64(0);
            if (!FStates.contains(row)) {
                continue;
            }
            TSmsOutgoingList::TPartReport report;
            report.Status = int(Db.GetFieldAsInt64(1));
            if (!Db.GetFieldIsNull(2)) {
                report.Discharge = Db.GetFieldAsInt64(2);
            }
            // In row-id order: the latest report of a part wins. Every list takes it; only the
            // list that holds the row asks for it.
            for (const auto& list : FOwned) {
                static_cast<TSmsOutgoingList*>(list.get())->SetPartReport(row, report);
            }
        }
    }

    QList<TMessageRecord> Records() const
    {
        QList<TMessageRecord> records;
        for (const auto& list : FOwned) {
            for (int i = 0; i < list->Count(); ++i) {
                const TSmsItem* item =
                    FOutgoing ? static_cast<const TSmsItem*>(static_cast<TSmsOutgoingList*>(list.get())->GetItem(i))
                              : static_cast<const TSmsItem*>(static_cast<TSmsIncomingList*>(list.get())->GetItem(i));
                records.append(Record(*item));
            }
        }
        return records;
    }

private:
    TMessageRecord Record(const TSmsItem& Item) const
    {
        TMessageRecord r;
        r.Outgoing = FOutgoing;
        r.Device = FDevices.value(&Item);
        r.Number = Item.Number();
        r.Name = FContacts && !r.Number.isEmpty() ? FContacts->NameFor(r.Number) : QString();
        r.Text = Item.DisplayText();
        r.HasNetworkTime = Item.TimeStamp() != TSmsRecv::kNoTimeStamp;
        r.NetworkTime = r.HasNetworkTime ? Item.TimeStamp() : 0;
        r.StoredTime = Item.DateTime();
        for (const qint64 row : Item.RowIDs()) {
            r.RowIds.append(row);
        }
        r.Id = r.RowIds.isEmpty() ? 0 : *std::min_element(r.RowIds.cbegin(), r.RowIds.cend());
        bool all = true;
        bool any = false;
        bool failed = false;
        for (const qint64 row : r.RowIds) {
            const TRowState state = FStates.value(row);
            all = all && state.Flag;
            any = any || state.Flag;
            failed = failed || state.Failed;
        }
        if (FOutgoing) {
            // A message is sent once every part is; one refused part fails it. Then the network's
            // reports say more, in the words of the Sent list.
            r.State = all ? QStringLiteral("sent") : failed ? QStringLiteral("failed") : QStringLiteral("sending");
            const auto found = FLists.find(r.Device);
            if (found != FLists.cend()) {
                const auto* list = static_cast<const TSmsOutgoingList*>(found->second);
                const auto& item = static_cast<const TSmsOutgoingItem&>(Item);
                r.StateText = list->StateText(item);
                r.State = ScriptState(list->State(item), r.StateText);
            }
            r.Read = true;
        } else {
            // As the inbox reads it: seen once any of its rows is.
            r.State = QStringLiteral("received");
            r.Read = any;
        }
        return r;
    }

    bool FOutgoing;
    const TContacts* FContacts;
    std::map<QString, TSmsListBase*> FLists;
    std::vector<std::unique_ptr<TSmsListBase>> FOwned;
    QHash<const TSmsItem*, QString> FDevices;
    QHash<qint64, TRowState> FStates;
};

void SortNewestFirst(QList<TMessageRecord>& Records)
{
    std::stable_sort(Records.begin(), Records.end(), [](const TMessageRecord& A, const TMessageRecord& B) {
        if (A.StoredTime != B.StoredTime) {
            return A.StoredTime > B.StoredTime;
        }
        if (A.Outgoing != B.Outgoing) {
            return A.Outgoing;
        }
        return A.Id > B.Id;
    });
}

} // namespace

QJsonObject TMessageRecord::ToJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), double(Id));
    o.insert(QStringLiteral("direction"), DirectionText());
    o.insert(QStringLiteral("number"), Number);
    o.insert(QStringLiteral("name"), Name.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Name));
    o.insert(QStringLiteral("text"), Text);
    o.insert(QStringLiteral("network_time"),
             HasNetworkTime ? QJsonValue(NetworkTimeText()) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("stored_time"), StoredTimeText());
    o.insert(QStringLiteral("state"), State);
    o.insert(QStringLiteral("read"), Read);
    o.insert(QStringLiteral("device"), Device.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Device));
    if (Outgoing) {
        o.insert(QStringLiteral("state_text"), StateText);
    }
    return o;
}

QString TMessageRecord::NetworkTimeText() const
{
    return HasNetworkTime ? QDateTime::fromSecsSinceEpoch(NetworkTime, Qt::UTC).toString(Qt::ISODate) : QString();
}

QString TMessageRecord::StoredTimeText() const
{
    // Stored as local time; written with its offset so that it names one instant.
    QDateTime local = ToQDateTime(StoredTime);
    local.setTime(QTime(local.time().hour(), local.time().minute(), local.time().second()));
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QList<TMessageRecord> TMessageQuery::List(TSQLiteDB& Db, const TMessageFilter& Filter, const TContacts* Contacts)
{
    TSQLiteLock lock(Db);
    QList<TMessageRecord> records;
    for (const bool outgoing : {false, true}) {
        if ((outgoing && !Filter.Outgoing) || (!outgoing && !Filter.Incoming) || (outgoing && Filter.UnreadOnly)) {
            continue;
        }
        const QString table = outgoing ? QStringLiteral("OUTGOING") : QStringLiteral("INCOMING");
        if (!TableExists(Db, table)) {
            continue;
        }
        TCollector collector(outgoing, Contacts);
        {
            QString sql = QStringLiteral("SELECT * FROM ") + table;
            if (!Filter.Device.isEmpty()) {
                sql += QStringLiteral(" WHERE DEVICE = ? OR DEVICE IS NULL");
            }
            TSQLiteQuery query(Db, sql + QStringLiteral(" ORDER BY ID"));
            if (!Filter.Device.isEmpty()) {
                Db.SetParamAsString(1, Filter.Device);
            }
            collector.Read(Db);
        }
        collector.ReadReports(Db);
        const QString home = Contacts ? Contacts->HomeCountry() : QString();
        const QString wanted = Filter.Number.isEmpty() ? QString() : TPhoneNumber::Key(Filter.Number, home);
        for (TMessageRecord& r : collector.Records()) {
            if (Filter.UnreadOnly && r.Read) {
                continue;
            }
            if (!wanted.isEmpty() && TPhoneNumber::Key(r.Number, home) != wanted) {
                continue;
            }
            records.append(std::move(r));
        }
    }
    SortNewestFirst(records);
    return records;
}

QList<TMessageRecord> TMessageQuery::FromRows(TSQLiteDB& Db, bool Outgoing, const QList<qint64>& RowIds,
                                              const TContacts* Contacts)
{
    TSQLiteLock lock(Db);
    QList<qint64> rows = RowIds;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    TCollector collector(Outgoing, Contacts);
    const QString table = Outgoing ? QStringLiteral("OUTGOING") : QStringLiteral("INCOMING");
    // In row-id order, as the lists file them, a bounded number of ids per statement.
    constexpr int kChunk = 500;
    for (qsizetype start = 0; start < rows.size(); start += kChunk) {
        const qsizetype count = std::min<qsizetype>(kChunk, rows.size() - start);
        QStringList marks;
        for (qsizetype i = 0; i < count; ++i) {
            marks << QStringLiteral("?");
        }
        TSQLiteQuery query(Db, QStringLiteral("SELECT * FROM %1 WHERE ID IN (%2) ORDER BY ID")
                                   .arg(table, marks.join(QLatin1Char(','))));
        for (qsizetype i = 0; i < count; ++i) {
            Db.SetParamAsInt64(int(i + 1), rows[start + i]);
        }
        collector.Read(Db);
    }
    collector.ReadReports(Db);
    QList<TMessageRecord> records = collector.Records();
    SortNewestFirst(records);
    return records;
}

QString TMessageQuery::HomeCountry(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    QStringList numbers;
    for (const char* table : {"INCOMING", "OUTGOING"}) {
        if (!TableExists(Db, QLatin1String(table))) {
            continue;
        }
        TSQLiteQuery query(Db,
                           QStringLiteral("SELECT PDU FROM %1 ORDER BY ID DESC LIMIT 200").arg(QLatin1String(table)));
        while (Db.Next()) {
            TSmsRecv recv;
            try {
                if (recv.DecodePdu(Db.GetFieldAsString(0))) {
                    numbers << recv.Sender();
                }
            } catch (const std::exception&) {
                // An unreadable row says nothing about the country.
            }
        }
    }
    return TPhoneNumber::MostCommonCountry(numbers);
}

std::unique_ptr<TSQLiteDB> TMessageQuery::OpenReadOnly(const QString& FileName)
{
    if (!QFileInfo::exists(FileName)) {
        throw ESQLiteException(QStringLiteral("There is no message database at %1.").arg(FileName), SQLITE_CANTOPEN);
    }
    QUrl uri = QUrl::fromLocalFile(FileName);
    uri.setQuery(QStringLiteral("mode=ro"));
    return TSQLiteDB::Open<TReadOnlyDatabase>(uri.toString(QUrl::FullyEncoded));
}

} // namespace Ombrelay
