#include "core/SmsStore.h"

#include "base/Errors.h"
#include "core/DB.h"
#include "sms/MBException.h"

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
const QString kMarkSent = QStringLiteral("UPDATE OUTGOING SET SENT = 1 WHERE ID = ?");
const QString kMarkFailed = QStringLiteral("UPDATE OUTGOING SET FAILED = 1 WHERE ID = ? AND SENT = 0");
const QString kWithdraw = QStringLiteral("DELETE FROM OUTGOING WHERE ID = ? AND SENT = 0");
const QString kSelectOutgoing = QStringLiteral("SELECT * FROM OUTGOING WHERE ID = ?");

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
    return QStringLiteral("(incomplete: %1 of %2 parts)").arg(Present).arg(Total);
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
        return QStringLiteral("Delivery report");
    case ikNotText:
        return QStringLiteral("Message that is not text (data coding scheme %1): %2")
            .arg(QStringLiteral("0x") +
                     QStringLiteral("%1").arg(FExtra ? FExtra->DataCoding : 0, 2, 16, QLatin1Char('0')).toUpper(),
                 Pdu());
    case ikUnreadable:
        return QStringLiteral("Message that could not be read. %1").arg(Error());
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
    const QSet<qint64> wanted(Idents.begin(), Idents.end());
    std::vector<size_t> positions;
    QList<qint64> rows;
    for (size_t i = 0; i < FItems.size(); ++i) {
        const TSmsItem& item = *FItems[i];
        if (!item.FRowIDs.isEmpty() && wanted.contains(item.Ident())) {
            positions.push_back(i);
            rows.append(QList<qint64>(item.FRowIDs.begin(), item.FRowIDs.end()));
        }
    }
    if (positions.empty()) {
        return 0;
    }
    {
        TSQLiteDB& db = Db();
        TSQLiteLock lock(db);
        TSQLiteTransaction transaction(db);
        {
            TSQLiteQuery query(db, QStringLiteral("DELETE FROM ") + GetTableName() + QStringLiteral(" WHERE ID = ?"));
            for (qint64 row : rows) {
                db.SetParamAsInt64(1, row);
                db.Exec();
            }
        }
        transaction.Commit();
    }
    // The open-message index keeps positions in FItems: drop the removed items, and move the
    // others down by the number of removed items before them.
    QSet<const TSmsItem*> gone;
    for (size_t position : positions) {
        gone.insert(FItems[position].get());
    }
    for (auto it = FOpen.begin(); it != FOpen.end();) {
        auto& entries = *it;
        for (qsizetype k = entries.size() - 1; k >= 0; --k) {
            if (gone.contains(entries[k].second)) {
                entries.remove(k);
            } else {
                const auto before = std::lower_bound(positions.begin(), positions.end(), size_t(entries[k].first));
                entries[k].first -= qsizetype(before - positions.begin());
            }
        }
        it = entries.isEmpty() ? FOpen.erase(it) : std::next(it);
    }
    size_t next = 0;
    size_t kept = 0;
    for (size_t i = 0; i < FItems.size(); ++i) {
        if (next < positions.size() && positions[next] == i) {
            ++next;
            continue;
        }
        FItems[kept++] = std::move(FItems[i]);
    }
    FItems.resize(kept);
    return int(positions.size());
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

void TSmsListBase::LoadMessages()
{
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteLock lock(*Database);
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
    for (const auto& [pdu, row] : rows) {
        // An undecodable PDU becomes an item that says so; its row is stored either way.
        const qint64 ident = AddMessage(Clock::Now(), pdu, row, Rebuilt)->Ident();
        if (!FFiled.contains(ident)) {
            FFiled.append(ident);
        }
    }
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
    if (!item->Sent()) {
        item->SetSent(Database->GetFieldAsBool(Column));
    }
}

} // namespace Ombrelay
