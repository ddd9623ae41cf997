#include "core/SmsStore.h"

#include "base/Errors.h"
#include "core/DB.h"
#include "core/MessageSearch.h"
#include "core/SmsReports.h"
#include "sms/MBException.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace Ombrelay
{

namespace
{

const QString kInsertIncoming = QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU, REBUILT, DEVICE, DEVICEKEY) "
                                               "VALUES (:DATE, :SEEN, :PDU, :REBUILT, :DEVICE, :DEVICEKEY)");
const QString kInsertOutgoing = QStringLiteral(
    "INSERT INTO OUTGOING (DATE, SENT, PDU, REBUILT, DEVICE) VALUES (:DATE, :SENT, :PDU, :REBUILT, :DEVICE)");
const QString kFindEntry =
    QStringLiteral("SELECT ID FROM INCOMING WHERE DEVICE = ? AND DEVICEKEY = ? AND PDU = ? LIMIT 1");
const QString kForgetKey = QStringLiteral("UPDATE INCOMING SET DEVICEKEY = NULL WHERE DEVICE = ? AND DEVICEKEY = ?");
const QString kMarkSeen = QStringLiteral("UPDATE INCOMING SET SEEN = 1 WHERE ID = ?");
const QString kMarkUnseen = QStringLiteral("UPDATE INCOMING SET SEEN = 0 WHERE ID = ?");
const QString kMarkSent = QStringLiteral("UPDATE OUTGOING SET SENT = 1, FAILED = 0, REASON = NULL WHERE ID = ?");
const QString kMarkFailed = QStringLiteral("UPDATE OUTGOING SET FAILED = 1 WHERE ID = ? AND SENT = 0");
const QString kWithdraw = QStringLiteral("DELETE FROM OUTGOING WHERE ID = ? AND SENT = 0");
const QString kSelectOutgoing = QStringLiteral("SELECT * FROM OUTGOING WHERE ID = ?");
const QString kMarkFailedWhy = QStringLiteral("UPDATE OUTGOING SET FAILED = 1, REASON = ? WHERE ID = ? AND SENT = 0");
const QString kMarkRetried = QStringLiteral("UPDATE OUTGOING SET RETRIED = 1 WHERE ID = ? AND SENT = 0");
const QString kResolveInterrupted =
    QStringLiteral("UPDATE OUTGOING SET FAILED = 1, REASON = ? WHERE SENT = 0 AND FAILED = 0");
const QString kLoadReports =
    QStringLiteral("SELECT OUTGOING, STATUS, DISCHARGE FROM REPORTS WHERE OUTGOING IS NOT NULL ORDER BY ID");

TSQLiteDB& Db()
{
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    return *Database;
}

qint64 WholeSeconds(TDateTime Value)
{
    return std::llround(Value * kSecondsPerDay);
}

// The absolute difference in whole seconds, the fraction dropped. Rounded to the millisecond
// first, so that two stored times 61 s apart never compare as 60.999...
qint64 SecondsApart(TDateTime A, TDateTime B)
{
    return std::llround(std::fabs(A - B) * kMsPerDay) / 1000;
}

qint64 MinuteOfSecond(qint64 Value)
{
    return Value >= 0 ? Value / 60 : -((-Value + 59) / 60);
}

qint64 MinuteOf(TDateTime Value)
{
    return MinuteOfSecond(WholeSeconds(Value));
}

// Whether a part carried the network's time stamp.
bool Stamped(qint64 TimeStamp)
{
    return TimeStamp != TSmsRecv::kNoTimeStamp;
}

const QString kMissingPart = QStringLiteral("[\u2026]");

// The search index follows the rows once they are committed. A failure there loses no message:
// the index is rebuilt at the next start, and until then the message is only not found.
template <class F>
void KeepSearchInStep(F&& Update)
{
    try {
        std::forward<F>(Update)();
    } catch (const std::exception& e) {
        qWarning("Ombrelay: the search index could not be updated: %s", e.what());
    }
}

} // namespace

// ---- TSmsItem ----

QString TSmsItem::Text() const
{
    if (FText.size() == 1) {
        return FText.front();
    }
    return FText.join(QString());
}

void TSmsItem::SetText(const QString& Value, int Index)
{
    OMBRELAY_ASSERT("Core.Main", Index >= 0 && Index <= 0xFFFF);
    if (Index >= FText.size()) {
        FText.resize(Index + 1);
    }
    FText[Index] = Value.isNull() ? QStringLiteral("") : Value;
}

int TSmsItem::PartsPresent() const
{
    int present = 0;
    const qsizetype last = std::min<qsizetype>(FTotal, FText.size() - 1);
    for (qsizetype i = 1; i <= last; ++i) {
        if (!FText[i].isNull()) {
            ++present;
        }
    }
    return present;
}

QString TSmsItem::IncompleteMark(int Present, int Total)
{
    return QCoreApplication::translate("SmsStore", "(incomplete: %1 of %2 parts)").arg(Present).arg(Total);
}

void TSmsItem::AddDBIdent(qint64 Value)
{
    FRowIDs.append(Value);
}

QString TSmsItem::DisplayText() const
{
    switch (FKind) {
    case ikText: {
        if (!Incomplete()) {
            return Text();
        }
        QString text;
        const qsizetype last = std::max<qsizetype>(FTotal, FText.size() - 1);
        for (qsizetype i = 0; i <= last; ++i) {
            if (i < FText.size() && !FText[i].isNull()) {
                text += FText[i];
            } else if (i > 0) {
                text += kMissingPart;
            }
        }
        return text;
    }
    case ikStatusReport:
        return QCoreApplication::translate("SmsStore", "Delivery report");
    case ikNotText:
        return QCoreApplication::translate("SmsStore", "Message that is not text (data coding scheme %1): %2")
            .arg(QStringLiteral("0x") +
                     QStringLiteral("%1").arg(FExtra ? FExtra->DataCoding : 0, 2, 16, QLatin1Char('0')).toUpper(),
                 Pdu());
    case ikUnreadable:
        return QCoreApplication::translate("SmsStore", "Message that could not be read. %1").arg(Error());
    }
    return QString();
}

void TSmsIncomingItem::MarkSeen()
{
    if (Seen()) {
        return;
    }
    TSQLiteDB& db = Db();
    {
        TSQLiteLock lock(db);
        TSQLiteQuery query(db, kMarkSeen);
        for (qint64 id : RowIDs()) {
            db.SetParamAsInt64(1, id);
            db.Exec();
        }
    }
    SetSeen(true);
}

void TSmsIncomingItem::MarkUnseen()
{
    if (!Seen()) {
        return;
    }
    TSQLiteDB& db = Db();
    {
        TSQLiteLock lock(db);
        TSQLiteTransaction transaction(db);
        {
            TSQLiteQuery query(db, kMarkUnseen);
            for (qint64 id : RowIDs()) {
                db.SetParamAsInt64(1, id);
                db.Exec();
            }
        }
        transaction.Commit();
    }
    SetSeen(false);
}

// ---- TSmsListBase ----

TSmsListBase::~TSmsListBase() = default;

int TSmsListBase::IndexOfIdent(qint64 Ident, int Hint) const
{
    const int count = Count();
    if (Hint >= 0 && Hint < count && ItemAt(Hint)->Ident() == Ident) {
        return Hint;
    }
    for (int i = 0; i < count; ++i) {
        if (ItemAt(i)->Ident() == Ident) {
            return i;
        }
    }
    return -1;
}

int TSmsListBase::RemoveMessages(const QList<qint64>& Idents)
{
    // An identity is its message's first row, and a row belongs to one message only.
    return DeleteMessages(Idents);
}

TSmsItem* TSmsListBase::FindOpen(const TSmsRecv& Part, TDateTime DateTime) const
{
    // Parts of one message carry network time stamps close to each other; the times the rows
    // were stored may lie far apart (the program was down) or close for two messages. Without
    // a stamp (sent messages, stacks that hand over none) the stored time is all there is.
    const bool stamped = Stamped(Part.TimeStamp());
    const qint64 second = stamped ? Part.TimeStamp() : 0;
    const qint64 minute = stamped ? MinuteOfSecond(second) : MinuteOf(DateTime);
    const int seq = Part.SeqNo();
    // The same part stored twice joins the message it repeats. Otherwise a part joins the
    // message nearest in time that lacks its sequence number: a part already there belongs to
    // another message, however close, and is never replaced.
    TSmsItem* repeated = nullptr;
    qsizetype repeatedPosition = 0;
    TSmsItem* best = nullptr;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    qsizetype bestPosition = std::numeric_limits<qsizetype>::max();
    // A part within the window of a first part lies at most two minutes away from it.
    for (qint64 m = minute - 2; m <= minute + 2; ++m) {
        const auto it = FOpen.constFind(TOpenKey{Part.Sender(), Part.RefNo(), Part.Total(), stamped, m});
        if (it == FOpen.constEnd()) {
            continue;
        }
        for (const auto& [position, item] : *it) {
            // Stored times say little about which message is nearer (rows of a batch are
            // stored together): without stamps the oldest message that fits wins.
            qint64 distance = 0;
            if (stamped) {
                // An item put in place by SetItem may carry no stamp.
                if (!Stamped(item->TimeStamp())) {
                    continue;
                }
                distance = std::llabs(item->TimeStamp() - second);
                if (distance > kMultipartWindowSeconds) {
                    continue;
                }
            } else if (SecondsApart(item->DateTime(), DateTime) > kMultipartWindowSeconds) {
                continue;
            }
            const bool filled = seq < item->FText.size() && !item->FText[seq].isNull();
            if (filled) {
                const bool same =
                    item->FText[seq] == Part.Text() &&
                    (!stamped || (seq < item->FExtra->Stamps.size() && item->FExtra->Stamps[seq] == second));
                if (same && (!repeated || position < repeatedPosition)) {
                    repeated = item;
                    repeatedPosition = position;
                }
                continue;
            }
            if (distance < bestDistance || (distance == bestDistance && position < bestPosition)) {
                best = item;
                bestDistance = distance;
                bestPosition = position;
            }
        }
    }
    return repeated ? repeated : best;
}

TSmsItem* TSmsListBase::AddPdu(TDateTime DateTime, const QString& Pdu, qint64 DBIdent, bool Rebuilt)
{
    TSmsRecv recv;
    bool text = false;
    QString error;
    try {
        text = recv.DecodePdu(Pdu);
    } catch (const EMBException& e) {
        error = e.Message();
    }

    TSmsItem* item = nullptr;
    if (text && recv.Multipart()) {
        item = FindOpen(recv, DateTime);
        const qint64 stamp = recv.TimeStamp();
        const int seq = recv.SeqNo();
        if (!item) {
            std::unique_ptr<TSmsItem> created = NewItem();
            created->FDateTime = DateTime;
            created->FRefNo = recv.RefNo();
            created->FTotal = recv.Total();
            created->FNumber = recv.Sender();
            if (Stamped(stamp)) {
                created->FExtra = std::make_unique<TSmsItem::TExtra>();
                created->FExtra->TimeStamp = stamp;
            }
            item = created.get();
            const qsizetype position = static_cast<qsizetype>(FItems.size());
            FItems.push_back(std::move(created));
            const qint64 minute = Stamped(stamp) ? MinuteOfSecond(stamp) : MinuteOf(DateTime);
            FOpen[TOpenKey{item->FNumber, item->FRefNo, item->FTotal, Stamped(stamp), minute}].append({position, item});
        }
        const bool repeat = seq < item->FText.size() && !item->FText[seq].isNull();
        if (!repeat) {
            item->SetText(recv.Text(), seq);
            // Stamped parts join only messages created by a stamped part, which hold FExtra.
            if (Stamped(stamp) && item->FExtra) {
                QList<qint64>& stamps = item->FExtra->Stamps;
                if (seq >= stamps.size()) {
                    stamps.resize(seq + 1, TSmsRecv::kNoTimeStamp);
                }
                stamps[seq] = stamp;
            }
        }
    } else {
        std::unique_ptr<TSmsItem> created = NewItem();
        created->FDateTime = DateTime;
        created->FNumber = recv.Sender();
        if (text) {
            created->SetText(recv.Text(), 0);
            created->FTimeStamp = recv.TimeStamp();
        } else {
            // Kept with its PDU so the user learns that it exists and what it is.
            created->FExtra = std::make_unique<TSmsItem::TExtra>();
            created->FExtra->Pdu = Pdu;
            created->FExtra->DataCoding = recv.DataCoding();
            if (!error.isEmpty()) {
                created->FKind = ikUnreadable;
                created->FExtra->Error = error;
                created->FNumber.clear();
            } else if (recv.Content() == scStatusReport) {
                created->FKind = ikStatusReport;
            } else {
                created->FKind = ikNotText;
            }
        }
        item = created.get();
        FItems.push_back(std::move(created));
    }
    item->AddDBIdent(DBIdent);
    if (Rebuilt) {
        item->FRebuilt = true;
    }
    PduFiled(Pdu);
    return item;
}

TSmsItem* TSmsListBase::ItemAt(int Index) const
{
    if (Index < 0 || Index >= Count()) {
        throw EOmbrelayError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    }
    return FItems[FItems.size() - 1 - Index].get();
}

void TSmsListBase::ReplaceAt(int Index, std::unique_ptr<TSmsItem> Item)
{
    if (Index < 0 || Index >= Count()) {
        throw EOmbrelayError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    }
    OMBRELAY_ASSERT("Core.Main", Item != nullptr);
    std::unique_ptr<TSmsItem>& slot = FItems[FItems.size() - 1 - Index];
    // The open-message index must not keep the freed item.
    for (auto it = FOpen.begin(); it != FOpen.end(); ++it) {
        for (auto& entry : *it) {
            if (entry.second == slot.get()) {
                entry.second = Item.get();
            }
        }
    }
    slot = std::move(Item);
}

int TSmsListBase::DeleteMessages(const QList<qint64>& RowIds)
{
    const QSet<qint64> wanted(RowIds.cbegin(), RowIds.cend());
    QSet<const TSmsItem*> doomed;
    QList<qint64> rows;
    QList<qint64> firstRows;
    for (const auto& item : FItems) {
        const auto& ids = item->RowIDs();
        if (std::none_of(ids.cbegin(), ids.cend(), [&](qint64 Id) { return wanted.contains(Id); })) {
            continue;
        }
        doomed.insert(item.get());
        for (const qint64 id : ids) {
            rows << id;
        }
        firstRows << *std::min_element(ids.cbegin(), ids.cend());
    }
    if (doomed.isEmpty()) {
        return 0;
    }
    TSQLiteDB& db = Db();
    {
        TSQLiteLock lock(db);
        TSQLiteTransaction transaction(db);
        {
            TSQLiteQuery query(db, QStringLiteral("DELETE FROM ") + GetTableName() + QStringLiteral(" WHERE ID = ?"));
            for (const qint64 row : rows) {
                db.SetParamAsInt64(1, row);
                db.Exec();
            }
        }
        // In the same transaction, so that a message found is one that exists; an index that
        // cannot be written does not keep the user's delete from happening (a search skips
        // entries whose rows are gone).
        KeepSearchInStep([&] { TMessageSearch::Remove(db, GetTableName() == QLatin1String("OUTGOING"), firstRows); });
        transaction.Commit();
    }
    // The items leave the list; the open-message index must neither keep a freed item nor the
    // old positions of those after it.
    FItems.erase(std::remove_if(FItems.begin(), FItems.end(),
                                [&](const std::unique_ptr<TSmsItem>& Item) { return doomed.contains(Item.get()); }),
                 FItems.end());
    QHash<const TSmsItem*, qsizetype> positions;
    positions.reserve(qsizetype(FItems.size()));
    for (qsizetype i = 0; i < qsizetype(FItems.size()); ++i) {
        positions.insert(FItems[size_t(i)].get(), i);
    }
    for (auto it = FOpen.begin(); it != FOpen.end();) {
        auto& entries = it.value();
        for (qsizetype i = entries.size() - 1; i >= 0; --i) {
            const auto found = positions.constFind(entries[i].second);
            if (found == positions.cend()) {
                entries.remove(i);
            } else {
                entries[i].first = found.value();
            }
        }
        it = entries.isEmpty() ? FOpen.erase(it) : std::next(it);
    }
    return int(doomed.size());
}

void TSmsListBase::LoadMessages()
{
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteLock lock(*Database);
    // The program's start: the search index is made, or brought up to rows stored without it
    // (by an older program, or a run that ended between its commit and the index).
    if (!Database->ReadOnly()) {
        KeepSearchInStep([] { TMessageSearch::EnsureIndex(*Database); });
    }
    // A list of a device holds its own rows and those of older programs, which name none.
    const QString filter = FDevice.isEmpty() ? QString() : QStringLiteral(" WHERE DEVICE = ? OR DEVICE IS NULL");
    {
        // Room for every row at once, so that filing never regrows the containers.
        TSQLiteQuery count(*Database, QStringLiteral("SELECT COUNT(*) FROM ") + GetTableName() + filter);
        if (!FDevice.isEmpty()) {
            Database->SetParamAsString(1, FDevice);
        }
        const qint64 rows = Database->Next() ? std::max<qint64>(Database->GetFieldAsInt64(0), 0) : 0;
        FItems.reserve(FItems.size() + rows);
        ReserveRows(rows);
    }
    TSQLiteQuery query(*Database,
                       QStringLiteral("SELECT * FROM ") + GetTableName() + filter + QStringLiteral(" ORDER BY ID"));
    if (!FDevice.isEmpty()) {
        Database->SetParamAsString(1, FDevice);
    }
    const QStringList& columns = Database->Columns();
    auto column = [&](const QString& Name) {
        for (int i = 0; i < columns.size(); ++i) {
            if (columns[i].compare(Name, Qt::CaseInsensitive) == 0) {
                return i;
            }
        }
        return -1;
    };
    const int date = column(QStringLiteral("DATE"));
    const int pdu = column(QStringLiteral("PDU"));
    const int id = column(QStringLiteral("ID"));
    const int status = column(StatusColumn());
    const int rebuilt = column(QStringLiteral("REBUILT"));
    const int device = column(QStringLiteral("DEVICE"));
    if (date < 0 || pdu < 0 || id < 0 || status < 0) {
        throw EMBException(QStringLiteral("The table %1 lacks one of the columns ID, DATE, PDU, %2")
                               .arg(GetTableName(), StatusColumn()));
    }
    while (Database->Next()) {
        const QString text = Database->GetFieldAsString(pdu);
        TSmsItem* item = AddPdu(Database->GetFieldAsDateTime(date), text, Database->GetFieldAsInt64(id),
                                rebuilt >= 0 && Database->GetFieldAsBool(rebuilt));
        ReadStatus(item, status);
        if (device < 0 || Database->GetFieldIsNull(device)) {
            UnboundRowLoaded(text);
        }
    }
    Database->FreeQuery();
    Loaded();
}

// ---- The two lists ----

int TSmsIncomingList::UnreadCount() const
{
    int count = 0;
    for (int i = 0; i < Count(); ++i) {
        if (!GetItem(i)->Seen()) {
            ++count;
        }
    }
    return count;
}

void TSmsIncomingList::ReadStatus(TSmsItem* Item, int Column)
{
    auto* item = static_cast<TSmsIncomingItem*>(Item);
    if (!item->Seen()) {
        item->SetSeen(Database->GetFieldAsBool(Column));
    }
}

std::pair<size_t, size_t> TSmsIncomingList::PduKey(const QString& Pdu)
{
    // Seeds drawn once per process, so the hashes cannot be aimed at from outside.
    static const size_t seed1 = QRandomGenerator::system()->generate64();
    static const size_t seed2 = QRandomGenerator::system()->generate64() ^ 0x9E3779B97F4A7C15ULL;
    return {qHash(Pdu, seed1), qHash(Pdu, seed2)};
}

void TSmsIncomingList::ReserveRows(qint64 Rows)
{
    FPdus.reserve(FPdus.size() + Rows);
}

void TSmsIncomingList::PduFiled(const QString& Pdu)
{
    // A list of no device stores rows that name none: each of them counts for ContainsPdu.
    if (Device().isEmpty()) {
        FPdus.insert(PduKey(Pdu));
    }
}

void TSmsIncomingList::UnboundRowLoaded(const QString& Pdu)
{
    if (!Device().isEmpty()) {
        FPdus.insert(PduKey(Pdu));
    }
}

bool TSmsIncomingList::ContainsPdu(const QString& Pdu) const
{
    return FPdus.contains(PduKey(Pdu));
}

int TSmsIncomingList::StoreReceived(const QStringList& Pdus, bool Rebuilt, const QStringList& Keys)
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    const bool bound = !Device().isEmpty();
    QList<std::pair<QString, qint64>> rows;
    {
        // The whole batch is committed before anyone is told to delete any of it.
        TSQLiteTransaction transaction(db);
        // What to store, decided before the first insert: the connection has one statement at a time.
        QList<std::pair<int, QString>> fresh;
        QSet<QString> batch;
        for (int i = 0; i < Pdus.size(); ++i) {
            const QString& pdu = Pdus[i];
            const QString key = bound ? Keys.value(i) : QString();
            if (!key.isEmpty()) {
                // The entry stored earlier whose delete was not confirmed (it failed, or the program
                // ended first) is still on the device: it is that entry, not a second delivery.
                TSQLiteQuery query(db, kFindEntry);
                db.SetParamAsString(1, Device());
                db.SetParamAsString(2, key);
                db.SetParamAsString(3, pdu);
                if (db.Next()) {
                    continue;
                }
            } else if (batch.contains(pdu)) {
                // Nothing tells two keyless copies in one batch apart from one entry handed twice.
                continue;
            }
            // A row of an older program, which recorded no device, may be this entry stored
            // without its delete: nothing better is known of it than its text.
            if (ContainsPdu(pdu)) {
                continue;
            }
            batch.insert(pdu);
            fresh.append({i, key});
        }
        TSQLiteQuery query(db, kInsertIncoming);
        for (const auto& [index, key] : fresh) {
            const QString& pdu = Pdus[index];
            db.SetParamByNameAsDateTime(QStringLiteral("DATE"), Clock::Now());
            db.SetParamByNameAsBool(QStringLiteral("SEEN"), false);
            db.SetParamByNameAsString(QStringLiteral("PDU"), pdu);
            db.SetParamByNameAsBool(QStringLiteral("REBUILT"), Rebuilt);
            if (bound) {
                db.SetParamByNameAsString(QStringLiteral("DEVICE"), Device());
            } else {
                db.ParamSetNullByName(QStringLiteral("DEVICE"));
            }
            if (key.isEmpty()) {
                db.ParamSetNullByName(QStringLiteral("DEVICEKEY"));
            } else {
                db.SetParamByNameAsString(QStringLiteral("DEVICEKEY"), key);
            }
            db.Exec();
            rows.append({pdu, db.GetLastInsertRowId()});
        }
        db.FreeQuery();
        transaction.Commit();
    }
    QList<const TSmsItem*> touched;
    QSet<const TSmsItem*> seen;
    for (const auto& [pdu, row] : rows) {
        // An undecodable PDU becomes an item that says so; its row is stored either way.
        const TSmsItem* item = AddMessage(Clock::Now(), pdu, row, Rebuilt);
        if (!FFiled.contains(item->Ident())) {
            FFiled.append(item->Ident());
        }
        if (!seen.contains(item)) {
            seen.insert(item);
            touched.append(item);
        }
    }
    KeepSearchInStep([&] { TMessageSearch::Index(db, false, touched, Device()); });
    return int(rows.size());
}

QList<qint64> TSmsIncomingList::TakeFiled()
{
    return std::exchange(FFiled, {});
}

void TSmsIncomingList::ForgetDeviceKeys(const QString& Device, const QStringList& Keys)
{
    if (Device.isEmpty() || Keys.isEmpty()) {
        return;
    }
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    {
        TSQLiteQuery query(db, kForgetKey);
        for (const QString& key : Keys) {
            db.SetParamAsString(1, Device);
            db.SetParamAsString(2, key);
            db.Exec();
        }
    }
    transaction.Commit();
}

QList<qint64> TSmsOutgoingList::StoreSubmitted(const QStringList& Pdus, bool Rebuilt, const QString& Device)
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    QList<qint64> rows;
    TSQLiteTransaction transaction(db);
    TSQLiteQuery query(db, kInsertOutgoing);
    for (const QString& pdu : Pdus) {
        db.SetParamByNameAsDateTime(QStringLiteral("DATE"), Clock::Now());
        db.SetParamByNameAsBool(QStringLiteral("SENT"), false);
        db.SetParamByNameAsString(QStringLiteral("PDU"), pdu);
        db.SetParamByNameAsBool(QStringLiteral("REBUILT"), Rebuilt);
        if (Device.isEmpty()) {
            db.ParamSetNullByName(QStringLiteral("DEVICE"));
        } else {
            db.SetParamByNameAsString(QStringLiteral("DEVICE"), Device);
        }
        db.Exec();
        rows << db.GetLastInsertRowId();
    }
    db.FreeQuery();
    transaction.Commit();
    KeepSearchInStep([&] { TMessageSearch::IndexRows(db, true, rows); });
    return rows;
}

// Runs Sql once for each row, in one transaction.
static void ForEachRow(const QString& Sql, const QList<qint64>& Rows)
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    {
        TSQLiteQuery query(db, Sql);
        for (qint64 row : Rows) {
            db.SetParamAsInt64(1, row);
            db.Exec();
        }
    }
    transaction.Commit();
}

void TSmsOutgoingList::MarkSent(const QList<qint64>& Rows)
{
    ForEachRow(kMarkSent, Rows);
}

void TSmsOutgoingList::MarkFailed(const QList<qint64>& Rows)
{
    ForEachRow(kMarkFailed, Rows);
}

void TSmsOutgoingList::Withdraw(const QList<qint64>& Rows)
{
    ForEachRow(kWithdraw, Rows);
    KeepSearchInStep([&] {
        // Only rows that are gone take their entry with them: a sent part keeps its message.
        QList<qint64> gone;
        TSQLiteDB& db = Db();
        TSQLiteLock lock(db);
        for (const qint64 row : Rows) {
            TSQLiteQuery query(db, kSelectOutgoing);
            db.SetParamAsInt64(1, row);
            if (!db.Next()) {
                gone << row;
            }
        }
        TMessageSearch::Remove(db, true, gone);
    });
}

int TSmsOutgoingList::ConfirmSent(const QList<qint64>& Rows, bool Rebuilt)
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    MarkSent(Rows);
    int added = 0;
    for (qint64 row : Rows) {
        TSQLiteQuery query(db, kSelectOutgoing);
        db.SetParamAsInt64(1, row);
        while (db.Next()) {
            TSmsOutgoingItem* message = AddMessage(db.GetFieldByNameAsDateTime(QStringLiteral("DATE")),
                                                   db.GetFieldByNameAsString(QStringLiteral("PDU")), row, Rebuilt);
            message->SetSent(true);
            ++added;
        }
    }
    return added;
}

void TSmsOutgoingList::ReadStatus(TSmsItem* Item, int Column)
{
    auto* item = static_cast<TSmsOutgoingItem*>(Item);
    const bool sent = Database->GetFieldAsBool(Column);
    if (!item->Sent()) {
        item->SetSent(sent);
    }
    if (FFailedColumn == -2) {
        const QStringList& columns = Database->Columns();
        auto find = [&](const char* Name) {
            for (int i = 0; i < columns.size(); ++i) {
                if (columns[i].compare(QLatin1String(Name), Qt::CaseInsensitive) == 0) {
                    return i;
                }
            }
            return -1;
        };
        FFailedColumn = find("FAILED");
        FReasonColumn = find("REASON");
        FRetriedColumn = find("RETRIED");
    }
    if (sent) {
        return;
    }
    // A part not sent is failed or still being sent; a table without FAILED knows only "not sent".
    if (FFailedColumn >= 0 && Database->GetFieldAsBool(FFailedColumn)) {
        ++item->FFailedParts;
        if (item->FFailReason.isEmpty() && FReasonColumn >= 0 && !Database->GetFieldIsNull(FReasonColumn)) {
            item->FFailReason = Database->GetFieldAsString(FReasonColumn);
        }
        if (FRetriedColumn >= 0 && Database->GetFieldAsBool(FRetriedColumn)) {
            item->FRetried = true;
        }
    } else {
        ++item->FSendingParts;
    }
}

// ---- States of sent messages ----

void TSmsOutgoingList::SetRowStatus(TSmsOutgoingItem& Item, bool Sent, bool Failed, const QString& Reason, bool Retried)
{
    if (!Item.Sent()) {
        Item.SetSent(Sent);
    }
    if (Sent) {
        return;
    }
    if (Failed) {
        ++Item.FFailedParts;
        if (Item.FFailReason.isEmpty()) {
            Item.FFailReason = Reason;
        }
        Item.FRetried = Item.FRetried || Retried;
    } else {
        ++Item.FSendingParts;
    }
}

void TSmsOutgoingList::MarkFailed(const QList<qint64>& Rows, const QString& Reason)
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    {
        TSQLiteQuery query(db, kMarkFailedWhy);
        for (qint64 row : Rows) {
            db.SetParamAsString(1, Reason);
            db.SetParamAsInt64(2, row);
            db.Exec();
        }
    }
    transaction.Commit();
}

int TSmsOutgoingList::ResolveInterrupted()
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    int changed = 0;
    {
        TSQLiteQuery query(db, kResolveInterrupted);
        db.SetParamAsString(1, QStringLiteral("Ombrelay ended before the modem confirmed the send"));
        db.Exec();
        changed = db.RowsAffected();
    }
    transaction.Commit();
    return changed;
}

void TSmsOutgoingList::MarkRetried(const QList<qint64>& Rows)
{
    ForEachRow(kMarkRetried, Rows);
}

void TSmsOutgoingList::ReserveRows(qint64 Rows)
{
    Q_UNUSED(Rows);
    // A new load may come from another table layout.
    FFailedColumn = -2;
}

void TSmsOutgoingList::Loaded()
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    if (!TSmsReports::Exists(db)) {
        return;
    }
    TSQLiteQuery query(db, kLoadReports);
    while (db.Next()) {
        TPartReport report;
        report.Status = int(db.GetFieldAsInt64(1));
        if (!db.GetFieldIsNull(2)) {
            report.Discharge = db.GetFieldAsInt64(2);
        }
        // In row-id order: the latest report of a part wins.
        FReports.insert(db.GetFieldAsInt64(0), report);
    }
}

TSmsOutgoingItem* TSmsOutgoingList::ApplyReport(qint64 Row, const TPartReport& Report)
{
    FReports.insert(Row, Report);
    // Reports come for recent messages: the search starts at the newest.
    for (int i = 0; i < Count(); ++i) {
        TSmsOutgoingItem* item = GetItem(i);
        if (item->RowIDs().contains(Row)) {
            return item;
        }
    }
    return nullptr;
}

TSendState TSmsOutgoingList::ReportState(const TSmsOutgoingItem& Item, int& Delivered, QString& Words,
                                         qint64& Latest) const
{
    bool pending = false;
    for (qint64 row : Item.RowIDs()) {
        const auto it = FReports.constFind(row);
        if (it == FReports.cend()) {
            continue;
        }
        switch (TSmsRecv::StatusOutcome(it->Status)) {
        case doDelivered:
            ++Delivered;
            if (it->Discharge != TSmsRecv::kNoTimeStamp &&
                (Latest == TSmsRecv::kNoTimeStamp || it->Discharge > Latest)) {
                Latest = it->Discharge;
            }
            break;
        case doFailed:
            // One part that cannot be delivered fails the message: the recipient never reads it whole.
            Words = TSmsRecv::StatusText(it->Status);
            return ssFailed;
        case doPending:
            if (!pending) {
                Words = TSmsRecv::StatusText(it->Status);
            }
            pending = true;
            break;
        }
    }
    const int parts = int(Item.RowIDs().size());
    if (Delivered == parts && parts > 0) {
        return ssDelivered;
    }
    if (pending) {
        return ssPending;
    }
    return Delivered > 0 ? ssPartly : ssSent;
}

TSendState TSmsOutgoingList::State(const TSmsOutgoingItem& Item) const
{
    if (Item.FailedParts() > 0) {
        return Item.Retried() ? ssRetried : ssFailed;
    }
    if (Item.SendingParts() > 0) {
        return ssSending;
    }
    int delivered = 0;
    QString words;
    qint64 latest = TSmsRecv::kNoTimeStamp;
    return ReportState(Item, delivered, words, latest);
}

QString TSmsOutgoingList::StateText(const TSmsOutgoingItem& Item) const
{
    if (Item.FailedParts() > 0) {
        // Rows marked failed by older programs carry no reason.
        const QString reason = Item.FailReason().isEmpty()
                                   ? QCoreApplication::translate("SmsStore", "the modem did not send it")
                                   : Item.FailReason();
        return Item.Retried() ? QCoreApplication::translate("SmsStore", "failed (%1), sent again").arg(reason)
                              : QCoreApplication::translate("SmsStore", "failed: %1").arg(reason);
    }
    if (Item.SendingParts() > 0) {
        return QCoreApplication::translate("SmsStore", "sending");
    }
    int delivered = 0;
    QString words;
    qint64 latest = TSmsRecv::kNoTimeStamp;
    switch (ReportState(Item, delivered, words, latest)) {
    case ssDelivered:
        if (latest == TSmsRecv::kNoTimeStamp) {
            return QCoreApplication::translate("SmsStore", "delivered");
        }
        return QCoreApplication::translate("SmsStore", "delivered %1")
            .arg(QLocale().toString(QDateTime::fromSecsSinceEpoch(latest).toLocalTime(), QLocale::ShortFormat));
    case ssFailed:
        return words;
    case ssPending:
        return delivered > 0 ? QCoreApplication::translate("SmsStore", "delivered %1 of %2, %3")
                                   .arg(delivered)
                                   .arg(Item.RowIDs().size())
                                   .arg(words)
                             : QCoreApplication::translate("SmsStore", "sent, %1").arg(words);
    case ssPartly:
        return QCoreApplication::translate("SmsStore", "delivered %1 of %2").arg(delivered).arg(Item.RowIDs().size());
    default:
        return QCoreApplication::translate("SmsStore", "sent");
    }
}

} // namespace Ombrelay
