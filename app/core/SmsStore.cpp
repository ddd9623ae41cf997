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
    if (Owner()) {
        Owner()->ItemSeen(this);
    }
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
    if (Owner()) {
        Owner()->ItemUnseen(this);
    }
}

// ---- TSmsListBase ----

namespace
{
int BulkGroupingThreshold = 2000;
int PageSize = TSmsListBase::kPageSize;
int CachedPages = TSmsListBase::kCachedPages;
TSmsListBase::TOrder GDefaultOrder;
// Characters of a message's text that its sort key keeps: enough to order by, small in the index.
constexpr int kTextKeyLength = 32;
} // namespace

struct TSmsListBase::TDecoded
{
    TSmsRecv Recv;
    bool Text = false;
    QString Error;
};

struct TSmsListBase::TOpenChoice
{
    bool Stamped = false;
    qint64 Second = 0;
    int Seq = 0;
    QString Text;
    TDateTime DateTime = 0;
    TSmsItem* Repeated = nullptr;
    qsizetype RepeatedPosition = 0;
    TSmsItem* Best = nullptr;
    qint64 BestDistance = std::numeric_limits<qint64>::max();
    qsizetype BestPosition = std::numeric_limits<qsizetype>::max();

    TSmsItem* Result() const { return Repeated ? Repeated : Best; }
};

TSmsListBase::~TSmsListBase() = default;

int TSmsListBase::IndexOfIdent(qint64 Ident, int Hint) const
{
    const int count = Count();
    if (Hint >= 0 && Hint < count && ItemAt(Hint)->Ident() == Ident) {
        return Hint;
    }
    // Messages held in memory are few; those read from the table are found by their first row
    // without reading any page.
    const int inMemory = static_cast<int>(FItems.size());
    for (int i = 0; i < inMemory; ++i) {
        if (FItems[size_t(inMemory - 1 - i)]->Ident() == Ident) {
            return i;
        }
    }
    const qsizetype position = HeadPosition(Ident);
    return position < 0 ? -1 : IndexOfPosition(position);
}

int TSmsListBase::RemoveMessages(const QList<qint64>& Idents)
{
    // An identity is its message's first row, and a row belongs to one message only.
    return DeleteMessages(Idents);
}

void TSmsListBase::SetBulkGroupingThreshold(int Rows)
{
    BulkGroupingThreshold = Rows;
}

void TSmsListBase::SetPaging(int Messages, int Pages)
{
    PageSize = std::max(1, Messages);
    CachedPages = std::max(1, Pages);
}

void TSmsListBase::SetDefaultOrder(const TOrder& Order)
{
    GDefaultOrder = Order;
}

TSmsListBase::TOrder TSmsListBase::DefaultOrder()
{
    return GDefaultOrder;
}

void TSmsListBase::SetOrder(const TOrder& Order)
{
    if (Order == FOrder) {
        return;
    }
    const TOrderColumn before = OrderColumn();
    FOrder = Order;
    FInserted.clear();
    FChanged = true;
    if (OrderColumn() == before || FHeads.empty()) {
        // Only the direction changed: the same positions, counted from the other end.
        return;
    }
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteLock lock(*Database);
    FPages.clear();
    LoadHeads();
}

std::optional<QList<int>> TSmsListBase::TakeInserted()
{
    if (std::exchange(FChanged, false)) {
        FInserted.clear();
        return std::nullopt;
    }
    QList<int> inserted = std::exchange(FInserted, {});
    std::sort(inserted.begin(), inserted.end());
    return inserted;
}

void TSmsListBase::NoteInserted(int Index)
{
    // A view that has not looked for a long while reads the list anew.
    constexpr qsizetype kMostNoted = 4096;
    if (FChanged || FInserted.size() >= kMostNoted) {
        FChanged = true;
        FInserted.clear();
        return;
    }
    // Rows noted before at or below it move down by one.
    for (int& index : FInserted) {
        if (index >= Index) {
            ++index;
        }
    }
    FInserted.append(Index);
}

void TSmsListBase::DropPagesFrom(qsizetype Position)
{
    const qsizetype first = Position / PageSize;
    for (auto it = FPages.begin(); it != FPages.end();) {
        it = it->first >= first ? FPages.erase(it) : std::next(it);
    }
}

qsizetype TSmsListBase::PositionOfIndex(int Index) const
{
    const qsizetype index = Index - static_cast<qsizetype>(FItems.size());
    return FOrder.Descending ? static_cast<qsizetype>(FHeads.size()) - 1 - index : index;
}

int TSmsListBase::IndexOfPosition(qsizetype Position) const
{
    const qsizetype index = FOrder.Descending ? static_cast<qsizetype>(FHeads.size()) - 1 - Position : Position;
    return static_cast<int>(FItems.size() + index);
}

QString TSmsListBase::OrderKey() const
{
    switch (OrderColumn()) {
    case ocNetworkTime:
        return QStringLiteral("STAMP");
    case ocNumber:
        return QStringLiteral("SORTNUMBER");
    case ocText:
        return QStringLiteral("SORTTEXT");
    case ocStored:
        break;
    }
    return QStringLiteral("ID");
}

TSmsListBase::TSortKey TSmsListBase::KeyOf(qint64 Row) const
{
    TSortKey key;
    key.Id = Row;
    TSQLiteQuery query(*Database, QStringLiteral("SELECT %2 FROM %1 WHERE ID = ?").arg(GetTableName(), OrderKey()));
    Database->SetParamAsInt64(1, Row);
    if (Database->Next()) {
        key.Found = true;
        key.Null = Database->GetFieldIsNull(0);
        if (!key.Null) {
            if (OrderColumn() == ocNetworkTime) {
                key.Number = Database->GetFieldAsInt64(0);
            } else {
                key.Text = Database->GetFieldAsString(0);
            }
        }
    }
    return key;
}

bool TSmsListBase::HeadBefore(qint64 Head, const TSortKey& Key) const
{
    // NULL (a key not written yet) sorts first, as in ORDER BY.
    const QString table = GetTableName();
    const QString column = OrderKey();
    const QString sql = Key.Null ? QStringLiteral("SELECT 1 FROM %1 WHERE ID = ?1 AND %2 IS NULL AND ID < ?2")
                                 : QStringLiteral("SELECT 1 FROM %1 WHERE ID = ?1 AND (%2 IS NULL OR %2 < ?2 OR "
                                                  "(%2 = ?2 AND ID < ?3))");
    TSQLiteQuery query(*Database, sql.arg(table, column));
    Database->SetParamAsInt64(1, Head);
    if (Key.Null) {
        Database->SetParamAsInt64(2, Key.Id);
    } else {
        if (OrderColumn() == ocNetworkTime) {
            Database->SetParamAsInt64(2, Key.Number);
        } else {
            Database->SetParamAsString(2, Key.Text);
        }
        Database->SetParamAsInt64(3, Key.Id);
    }
    return Database->Next();
}

qsizetype TSmsListBase::LowerBound(qint64 Ident) const
{
    if (OrderColumn() == ocStored) {
        return std::lower_bound(FHeads.begin(), FHeads.end(), Ident) - FHeads.begin();
    }
    const TSortKey key = KeyOf(Ident);
    if (!key.Found) {
        return -1;
    }
    qsizetype low = 0;
    qsizetype high = static_cast<qsizetype>(FHeads.size());
    // New messages mostly go last (the newest by time): tried first.
    if (high > 0 && HeadBefore(FHeads.back(), key)) {
        return high;
    }
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (HeadBefore(FHeads[size_t(middle)], key)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

qsizetype TSmsListBase::HeadPosition(qint64 Ident) const
{
    if (FHeads.empty()) {
        return -1;
    }
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteLock lock(*Database);
    const qsizetype position = LowerBound(Ident);
    if (position < 0 || position >= static_cast<qsizetype>(FHeads.size()) || FHeads[size_t(position)] != Ident) {
        return -1;
    }
    return position;
}

void TSmsListBase::WriteKeys(qint64 Id, TDateTime DateTime, const TDecoded& Part)
{
    const TSmsRecv& recv = Part.Recv;
    const qint64 stamp =
        Part.Text && Stamped(recv.TimeStamp()) ? recv.TimeStamp() : ToQDateTime(DateTime).toSecsSinceEpoch();
    const QString number = Part.Error.isEmpty() ? recv.Sender().toCaseFolded() : QString();
    const QString text = Part.Text ? recv.Text().left(kTextKeyLength).toCaseFolded() : QString();
    TSQLiteQuery query(*Database, QStringLiteral("UPDATE %1 SET STAMP = ?, SORTNUMBER = ?, SORTTEXT = ? WHERE ID = ?")
                                      .arg(GetTableName()));
    Database->SetParamAsInt64(1, stamp);
    // Never NULL once written, so that a written key is told from a missing one.
    Database->SetParamAsString(2, number.isNull() ? QStringLiteral("") : number);
    Database->SetParamAsString(3, text.isNull() ? QStringLiteral("") : text);
    Database->SetParamAsInt64(4, Id);
    Database->Exec();
}

bool TSmsListBase::HasSortKeys() const
{
    int found = 0;
    TSQLiteQuery query(*Database, QStringLiteral("PRAGMA table_info(%1)").arg(GetTableName()));
    while (Database->Next()) {
        const QString name = Database->GetFieldByNameAsString(QStringLiteral("name"));
        for (const char* column : {"STAMP", "SORTNUMBER", "SORTTEXT"}) {
            if (name.compare(QLatin1String(column), Qt::CaseInsensitive) == 0) {
                ++found;
            }
        }
    }
    return found == 3;
}

void TSmsListBase::KeyHeads()
{
    if (!FKeyed || Database->ReadOnly()) {
        return;
    }
    // In batches, so that a large file of an older program is never held in memory at once.
    constexpr int kBatch = 4096;
    for (;;) {
        QList<TStoredRow> rows;
        {
            TSQLiteQuery query(*Database,
                               QStringLiteral("SELECT ID, DATE, PDU FROM %1 INDEXED BY %1_UNKEYED WHERE GROUPID = ID "
                                              "AND STAMP IS NULL LIMIT %2")
                                   .arg(GetTableName())
                                   .arg(kBatch));
            while (Database->Next()) {
                rows.append({Database->GetFieldAsInt64(0), Database->GetFieldAsDateTime(1),
                             Database->GetFieldAsString(2), false});
            }
        }
        if (rows.isEmpty()) {
            return;
        }
        try {
            TSQLiteTransaction transaction(*Database);
            for (const TStoredRow& row : rows) {
                WriteKeys(row.Id, row.Date, Decode(row.Pdu));
            }
            transaction.Commit();
        } catch (const ESQLiteException&) {
            // Not written (the file is full): the keys are written at a later start; until then
            // such messages sort first.
            return;
        }
        if (rows.size() < kBatch) {
            return;
        }
    }
}

TSmsListBase::TDecoded TSmsListBase::Decode(const QString& Pdu)
{
    TDecoded part;
    try {
        part.Text = part.Recv.DecodePdu(Pdu);
    } catch (const EMBException& e) {
        part.Error = e.Message();
    }
    return part;
}

void TSmsListBase::StartItem(TSmsItem* Item, TDateTime DateTime, const QString& Pdu, const TDecoded& Part)
{
    const TSmsRecv& recv = Part.Recv;
    Item->FDateTime = DateTime;
    if (Part.Text && recv.Multipart()) {
        Item->FRefNo = recv.RefNo();
        Item->FTotal = recv.Total();
        Item->FNumber = recv.Sender();
        Item->FMultipart = true;
        if (Stamped(recv.TimeStamp())) {
            Item->FExtra = std::make_unique<TSmsItem::TExtra>();
            Item->FExtra->TimeStamp = recv.TimeStamp();
        }
        JoinPart(Item, recv);
        return;
    }
    Item->FNumber = recv.Sender();
    if (Part.Text) {
        Item->SetText(recv.Text(), 0);
        Item->FTimeStamp = recv.TimeStamp();
        return;
    }
    // Kept with its PDU so the user learns that it exists and what it is.
    Item->FExtra = std::make_unique<TSmsItem::TExtra>();
    Item->FExtra->Pdu = Pdu;
    Item->FExtra->DataCoding = recv.DataCoding();
    if (!Part.Error.isEmpty()) {
        Item->FKind = ikUnreadable;
        Item->FExtra->Error = Part.Error;
        Item->FNumber.clear();
    } else if (recv.Content() == scStatusReport) {
        Item->FKind = ikStatusReport;
    } else {
        Item->FKind = ikNotText;
    }
}

void TSmsListBase::JoinPart(TSmsItem* Item, const TSmsRecv& Part)
{
    const qint64 stamp = Part.TimeStamp();
    const int seq = Part.SeqNo();
    if (seq < Item->FText.size() && !Item->FText[seq].isNull()) {
        return; // the same part stored twice
    }
    Item->SetText(Part.Text(), seq);
    // Stamped parts join only messages created by a stamped part, which hold FExtra.
    if (Stamped(stamp) && Item->FExtra) {
        QList<qint64>& stamps = Item->FExtra->Stamps;
        if (seq >= stamps.size()) {
            stamps.resize(seq + 1, TSmsRecv::kNoTimeStamp);
        }
        stamps[seq] = stamp;
    }
}

QString TSmsListBase::PartKey(const QString& Number, int RefNo, int Total, bool IsStamped, qint64 Minute)
{
    return QStringLiteral("%1|%2|%3|%4|%5").arg(Number).arg(RefNo).arg(Total).arg(IsStamped ? 1 : 0).arg(Minute);
}

QString TSmsListBase::ItemPartKey(const TSmsItem* Item)
{
    const bool stamped = Stamped(Item->TimeStamp());
    return PartKey(Item->FNumber, Item->FRefNo, Item->FTotal, stamped,
                   stamped ? MinuteOfSecond(Item->TimeStamp()) : MinuteOf(Item->FDateTime));
}

void TSmsListBase::ConsiderOpen(TOpenChoice& C, qsizetype Position, TSmsItem* Item)
{
    // Stored times say little about which message is nearer (rows of a batch are stored
    // together): without stamps the oldest message that fits wins.
    qint64 distance = 0;
    if (C.Stamped) {
        // An item put in place by SetItem may carry no stamp.
        if (!Stamped(Item->TimeStamp())) {
            return;
        }
        distance = std::llabs(Item->TimeStamp() - C.Second);
        if (distance > kMultipartWindowSeconds) {
            return;
        }
    } else if (SecondsApart(Item->DateTime(), C.DateTime) > kMultipartWindowSeconds) {
        return;
    }
    const bool filled = C.Seq < Item->FText.size() && !Item->FText[C.Seq].isNull();
    if (filled) {
        const bool same =
            Item->FText[C.Seq] == C.Text && (!C.Stamped || (Item->FExtra && C.Seq < Item->FExtra->Stamps.size() &&
                                                            Item->FExtra->Stamps[C.Seq] == C.Second));
        if (same && (!C.Repeated || Position < C.RepeatedPosition)) {
            C.Repeated = Item;
            C.RepeatedPosition = Position;
        }
        return;
    }
    if (distance < C.BestDistance || (distance == C.BestDistance && Position < C.BestPosition)) {
        C.Best = Item;
        C.BestDistance = distance;
        C.BestPosition = Position;
    }
}

namespace
{
// Parts of one message carry network time stamps close to each other; the times the rows were
// stored may lie far apart (the program was down) or close for two messages. Without a stamp
// (sent messages, stacks that hand over none) the stored time is all there is.
qint64 OpenMinute(const TSmsRecv& Part, TDateTime DateTime)
{
    return Stamped(Part.TimeStamp()) ? MinuteOfSecond(Part.TimeStamp()) : MinuteOf(DateTime);
}
} // namespace

TSmsItem* TSmsListBase::FindOpen(const TSmsRecv& Part, TDateTime DateTime) const
{
    TOpenChoice choice;
    choice.Stamped = Stamped(Part.TimeStamp());
    choice.Second = choice.Stamped ? Part.TimeStamp() : 0;
    choice.Seq = Part.SeqNo();
    choice.Text = Part.Text();
    choice.DateTime = DateTime;
    const qint64 minute = OpenMinute(Part, DateTime);
    // The same part stored twice joins the message it repeats. Otherwise a part joins the
    // message nearest in time that lacks its sequence number: a part already there belongs to
    // another message, however close, and is never replaced. A part within the window of a
    // first part lies at most two minutes away from it.
    for (qint64 m = minute - 2; m <= minute + 2; ++m) {
        const auto it = FOpen.constFind(TOpenKey{Part.Sender(), Part.RefNo(), Part.Total(), choice.Stamped, m});
        if (it == FOpen.constEnd()) {
            continue;
        }
        for (const auto& [position, item] : *it) {
            ConsiderOpen(choice, position, item);
        }
    }
    return choice.Result();
}

TSmsItem* TSmsListBase::AddPdu(TDateTime DateTime, const QString& Pdu, qint64 DBIdent, bool Rebuilt)
{
    const TDecoded part = Decode(Pdu);
    TSmsItem* item = nullptr;
    if (part.Text && part.Recv.Multipart()) {
        item = FindOpen(part.Recv, DateTime);
        if (item) {
            JoinPart(item, part.Recv);
        }
    }
    if (!item) {
        std::unique_ptr<TSmsItem> created = NewItem();
        StartItem(created.get(), DateTime, Pdu, part);
        item = created.get();
        const qsizetype position = static_cast<qsizetype>(FItems.size());
        FItems.push_back(std::move(created));
        if (item->FMultipart) {
            FOpen[TOpenKey{item->FNumber, item->FRefNo, item->FTotal, Stamped(item->TimeStamp()),
                           OpenMinute(part.Recv, DateTime)}]
                .append({position, item});
        }
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
    const int inMemory = static_cast<int>(FItems.size());
    if (Index < inMemory) {
        return FItems[FItems.size() - 1 - Index].get();
    }
    return PagedItem(PositionOfIndex(Index));
}

void TSmsListBase::ReplaceAt(int Index, std::unique_ptr<TSmsItem> Item)
{
    if (Index < 0 || Index >= Count()) {
        throw EOmbrelayError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    }
    OMBRELAY_ASSERT("Core.Main", Item != nullptr);
    const int inMemory = static_cast<int>(FItems.size());
    if (Index >= inMemory) {
        // A page with an item put in place is kept: it cannot be read again from the table.
        const qsizetype position = PositionOfIndex(Index);
        PagedItem(position);
        TPage& page = FPages[position / PageSize];
        page.Pinned = true;
        Item->FOwner = this;
        Item->FPaged = true;
        page.Items[size_t(position % PageSize)] = std::move(Item);
        return;
    }
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
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    // Messages read from the table are found there by the group of each row, without reading
    // a page: the rows of a message are those of its group.
    QList<qint64> groups;
    // Where each of them is in FHeads, found while their rows (and keys) are still there.
    std::vector<qsizetype> positions;
    int unseenGroups = 0;
    if (!FHeads.empty()) {
        QSet<qint64> found;
        for (const qint64 row : std::as_const(wanted)) {
            qint64 group = 0;
            {
                TSQLiteQuery query(db, QStringLiteral("SELECT GROUPID FROM %1 WHERE ID = ?").arg(GetTableName()));
                db.SetParamAsInt64(1, row);
                if (!db.Next() || db.GetFieldIsNull(0)) {
                    continue;
                }
                group = db.GetFieldAsInt64(0);
            }
            if (found.contains(group)) {
                continue;
            }
            found.insert(group);
            const qsizetype position = HeadPosition(group);
            if (position >= 0) {
                groups << group;
                positions.push_back(position);
            }
        }
        for (const qint64 group : std::as_const(groups)) {
            TSQLiteQuery query(db, QStringLiteral("SELECT ID, DEVICE, %2 FROM %1 WHERE GROUPID = ?")
                                       .arg(GetTableName(), StatusColumn()));
            db.SetParamAsInt64(1, group);
            while (db.Next()) {
                if (!RowInList(db.GetFieldIsNull(1), db.GetFieldAsString(1))) {
                    continue;
                }
                const qint64 id = db.GetFieldAsInt64(0);
                rows << id;
                if (id == group && StatusSpreads() && !db.GetFieldAsBool(2)) {
                    ++unseenGroups;
                }
            }
            firstRows << group;
        }
    }
    if (doomed.isEmpty() && groups.isEmpty()) {
        return 0;
    }
    {
        TSQLiteTransaction transaction(db);
        {
            TSQLiteQuery query(db, QStringLiteral("DELETE FROM ") + GetTableName() + QStringLiteral(" WHERE ID = ?"));
            for (const qint64 row : std::as_const(rows)) {
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
    QHash<const TSmsItem*, qsizetype> held;
    held.reserve(qsizetype(FItems.size()));
    for (qsizetype i = 0; i < qsizetype(FItems.size()); ++i) {
        held.insert(FItems[size_t(i)].get(), i);
    }
    for (auto it = FOpen.begin(); it != FOpen.end();) {
        auto& entries = it.value();
        for (qsizetype i = entries.size() - 1; i >= 0; --i) {
            const auto found = held.constFind(entries[i].second);
            if (found == held.cend()) {
                entries.remove(i);
            } else {
                entries[i].first = found.value();
            }
        }
        it = entries.isEmpty() ? FOpen.erase(it) : std::next(it);
    }
    if (!groups.isEmpty()) {
        // Pages from the first message removed on hold other messages now: they are read again.
        std::sort(positions.begin(), positions.end(), std::greater<>());
        for (const qsizetype position : positions) {
            FHeads.erase(FHeads.begin() + position);
        }
        DropPagesFrom(positions.back());
        FUnread = std::max(0, FUnread - unseenGroups);
    }
    FChanged = true;
    return int(doomed.size() + groups.size());
}

QString TSmsListBase::Filter(bool Where) const
{
    if (FDevice.isEmpty()) {
        return QString();
    }
    return Where ? QStringLiteral(" WHERE (DEVICE = ? OR DEVICE IS NULL)")
                 : QStringLiteral(" AND (DEVICE = ? OR DEVICE IS NULL)");
}

void TSmsListBase::BindFilter(int Index) const
{
    if (!FDevice.isEmpty()) {
        Database->SetParamAsString(Index, FDevice);
    }
}

bool TSmsListBase::RowInList(bool DeviceNull, const QString& Device) const
{
    return FDevice.isEmpty() || DeviceNull || Device == FDevice;
}

bool TSmsListBase::IsHead(qint64 Group) const
{
    return FNewHeads.contains(Group) || HeadPosition(Group) >= 0;
}

std::unique_ptr<TSmsItem> TSmsListBase::ReadGroup(qint64 Group)
{
    TSQLiteQuery query(*Database, QStringLiteral("SELECT ID, DATE, PDU, DEVICE FROM %1 WHERE GROUPID = ? ORDER BY ID")
                                      .arg(GetTableName()));
    Database->SetParamAsInt64(1, Group);
    std::unique_ptr<TSmsItem> item;
    while (Database->Next()) {
        if (!RowInList(Database->GetFieldIsNull(3), Database->GetFieldAsString(3))) {
            continue;
        }
        const QString pdu = Database->GetFieldAsString(2);
        const TDecoded part = Decode(pdu);
        if (!item) {
            item = NewItem();
            StartItem(item.get(), Database->GetFieldAsDateTime(1), pdu, part);
        } else if (part.Text && part.Recv.Multipart()) {
            JoinPart(item.get(), part.Recv);
        }
        item->AddDBIdent(Database->GetFieldAsInt64(0));
    }
    return item;
}

qint64 TSmsListBase::FindOpenGroup(const TSmsRecv& Part, TDateTime DateTime)
{
    TOpenChoice choice;
    choice.Stamped = Stamped(Part.TimeStamp());
    choice.Second = choice.Stamped ? Part.TimeStamp() : 0;
    choice.Seq = Part.SeqNo();
    choice.Text = Part.Text();
    choice.DateTime = DateTime;
    const qint64 minute = OpenMinute(Part, DateTime);
    // The messages that a part may join are found by the key of their first part, as in memory.
    std::vector<qint64> candidates;
    {
        TSQLiteQuery query(*Database, QStringLiteral("SELECT ID FROM %1 WHERE PARTKEY IS NOT NULL AND "
                                                     "PARTKEY IN (?, ?, ?, ?, ?) AND GROUPID = ID")
                                              .arg(GetTableName()) +
                                          Filter(false));
        for (int i = 0; i < 5; ++i) {
            Database->SetParamAsString(i + 1, PartKey(Part.Sender(), Part.RefNo(), Part.Total(), choice.Stamped,
                                                      minute - 2 + i));
        }
        BindFilter(6);
        while (Database->Next()) {
            candidates.push_back(Database->GetFieldAsInt64(0));
        }
    }
    // Looked up once the query is done: the lookup runs queries of its own.
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(), [this](qint64 Id) { return !IsHead(Id); }),
                     candidates.end());
    std::vector<std::unique_ptr<TSmsItem>> items;
    for (qint64 group : candidates) {
        std::unique_ptr<TSmsItem> item = ReadGroup(group);
        if (item) {
            // The first row id orders messages as their creation did.
            ConsiderOpen(choice, static_cast<qsizetype>(group), item.get());
            items.push_back(std::move(item));
        }
    }
    const TSmsItem* chosen = choice.Result();
    return chosen ? chosen->FRowIDs.front() : 0;
}

TSmsListBase::TGrouped TSmsListBase::GroupRow(qint64 Id, TDateTime DateTime, const QString& Pdu, bool Status)
{
    const TDecoded part = Decode(Pdu);
    qint64 group = 0;
    QString key;
    if (part.Text && part.Recv.Multipart()) {
        group = FindOpenGroup(part.Recv, DateTime);
        if (group == 0) {
            key = PartKey(part.Recv.Sender(), part.Recv.RefNo(), part.Recv.Total(), Stamped(part.Recv.TimeStamp()),
                          OpenMinute(part.Recv, DateTime));
        }
    }
    const bool created = group == 0;
    if (created) {
        group = Id;
    }
    {
        TSQLiteQuery query(*Database,
                           QStringLiteral("UPDATE %1 SET GROUPID = ?, PARTKEY = ? WHERE ID = ?").arg(GetTableName()));
        Database->SetParamAsInt64(1, group);
        if (key.isEmpty()) {
            Database->ParamSetNull(2);
        } else {
            Database->SetParamAsString(2, key);
        }
        Database->SetParamAsInt64(3, Id);
        Database->Exec();
    }
    if (created && FKeyed) {
        WriteKeys(Id, DateTime, part);
    }
    if (created) {
        FNewHeads.insert(group);
        if (!Status) {
            ++FUnread;
        }
    } else if (Status && StatusSpreads()) {
        // Seen when any row is: the first row says so for the whole message, so that counting
        // unseen messages needs only first rows.
        TSQLiteQuery query(*Database, QStringLiteral("UPDATE %1 SET %2 = 1 WHERE ID = ? AND %2 = 0")
                                          .arg(GetTableName(), StatusColumn()));
        Database->SetParamAsInt64(1, group);
        Database->Exec();
        if (Database->GetRowsAffected() > 0 && FUnread > 0) {
            --FUnread;
        }
    }
    return {group, created};
}

void TSmsListBase::LoadAllInMemory()
{
    // A list of a device holds its own rows and those of older programs, which name none.
    const QString filter = Filter(true);
    {
        // Room for every row at once, so that filing never regrows the containers.
        TSQLiteQuery count(*Database, QStringLiteral("SELECT COUNT(*) FROM ") + GetTableName() + filter);
        BindFilter(1);
        const qint64 rows = Database->Next() ? std::max<qint64>(Database->GetFieldAsInt64(0), 0) : 0;
        FItems.reserve(FItems.size() + rows);
        ReserveRows(rows);
    }
    TSQLiteQuery query(*Database,
                       QStringLiteral("SELECT * FROM ") + GetTableName() + filter + QStringLiteral(" ORDER BY ID"));
    BindFilter(1);
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
    ColumnsChanged();
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

bool TSmsListBase::GroupAll()
{
    LoadAllInMemory();
    try {
        TSQLiteTransaction transaction(*Database);
        {
            TSQLiteQuery query(
                *Database, QStringLiteral("UPDATE %1 SET GROUPID = ?, PARTKEY = ? WHERE ID = ?").arg(GetTableName()));
            for (const auto& item : FItems) {
                const qint64 group = item->FRowIDs.front();
                const QString key = item->FMultipart ? ItemPartKey(item.get()) : QString();
                for (qint64 row : item->FRowIDs) {
                    Database->SetParamAsInt64(1, group);
                    if (row == group && !key.isEmpty()) {
                        Database->SetParamAsString(2, key);
                    } else {
                        Database->ParamSetNull(2);
                    }
                    Database->SetParamAsInt64(3, row);
                    Database->Exec();
                }
            }
        }
        if (StatusSpreads()) {
            TSQLiteQuery query(*Database, QStringLiteral("UPDATE %1 SET %2 = 1 WHERE ID = ? AND %2 = 0")
                                              .arg(GetTableName(), StatusColumn()));
            for (const auto& item : FItems) {
                if (item->FRowIDs.size() > 1 && static_cast<TSmsIncomingItem*>(item.get())->Seen()) {
                    Database->SetParamAsInt64(1, item->FRowIDs.front());
                    Database->Exec();
                }
            }
        }
        transaction.Commit();
    } catch (const ESQLiteException&) {
        // The file cannot be written (read-only, full): the list stays in memory, as it was.
        return false;
    }
    FItems.clear();
    FOpen.clear();
    return true;
}

bool TSmsListBase::GroupUngrouped()
{
    QList<TStoredRow> rows;
    {
        TSQLiteQuery query(*Database,
                           QStringLiteral(
                               "SELECT ID, DATE, PDU, %2 FROM %1 INDEXED BY %1_UNGROUPED WHERE GROUPID IS NULL")
                                   .arg(GetTableName(), StatusColumn()) +
                               Filter(false) + QStringLiteral(" ORDER BY ID"));
        BindFilter(1);
        while (Database->Next()) {
            rows.append({Database->GetFieldAsInt64(0), Database->GetFieldAsDateTime(1), Database->GetFieldAsString(2),
                         Database->GetFieldAsBool(3)});
        }
    }
    const int unread = FUnread;
    try {
        TSQLiteTransaction transaction(*Database);
        for (const TStoredRow& row : rows) {
            GroupRow(row.Id, row.Date, row.Pdu, row.Status);
        }
        transaction.Commit();
    } catch (const ESQLiteException&) {
        FNewHeads.clear();
        FUnread = unread;
        return false;
    }
    for (qint64 head : std::as_const(FNewHeads)) {
        FHeads.push_back(head);
    }
    FNewHeads.clear();
    if (OrderColumn() == ocStored) {
        std::sort(FHeads.begin(), FHeads.end());
    } else {
        LoadHeads();
    }
    return true;
}

void TSmsListBase::LoadHeads()
{
    FHeads.clear();
    FUnread = 0;
    FChanged = true;
    if (OrderColumn() != ocStored) {
        // From the index of the order (device, key, id, status), which holds nothing else: no
        // sort, and no row is read. Rows of older programs (no device) are rare; with them the
        // table sorts the two sets together.
        const QString select =
            QStringLiteral("SELECT ID, %2 FROM %1 WHERE GROUPID = ID").arg(GetTableName(), StatusColumn());
        const QString order = QStringLiteral(" ORDER BY %1, ID").arg(OrderKey());
        bool unbound = false;
        if (!FDevice.isEmpty()) {
            TSQLiteQuery query(
                *Database,
                QStringLiteral("SELECT 1 FROM %1 WHERE GROUPID = ID AND DEVICE IS NULL LIMIT 1").arg(GetTableName()));
            unbound = Database->Next();
        }
        const QString where = FDevice.isEmpty() ? QString()
                              : unbound         ? QStringLiteral(" AND (DEVICE = ? OR DEVICE IS NULL)")
                                                : QStringLiteral(" AND DEVICE = ?");
        TSQLiteQuery query(*Database, select + where + order);
        if (!FDevice.isEmpty()) {
            Database->SetParamAsString(1, FDevice);
        }
        while (Database->Next()) {
            FHeads.push_back(Database->GetFieldAsInt64(0));
            if (!Database->GetFieldAsBool(1)) {
                ++FUnread;
            }
        }
        return;
    }
    // Only first rows are read, from an index that holds nothing else.
    auto scan = [&](const QString& Where, bool Bind, std::vector<qint64>& Ids) {
        TSQLiteQuery query(
            *Database,
            QStringLiteral("SELECT ID, %2 FROM %1 WHERE GROUPID = ID").arg(GetTableName(), StatusColumn()) + Where);
        if (Bind) {
            Database->SetParamAsString(1, FDevice);
        }
        while (Database->Next()) {
            Ids.push_back(Database->GetFieldAsInt64(0));
            if (!Database->GetFieldAsBool(1)) {
                ++FUnread;
            }
        }
    };
    if (FDevice.isEmpty()) {
        scan(QString(), false, FHeads);
        std::sort(FHeads.begin(), FHeads.end());
        return;
    }
    std::vector<qint64> own;
    std::vector<qint64> unbound;
    scan(QStringLiteral(" AND DEVICE = ? ORDER BY ID"), true, own);
    scan(QStringLiteral(" AND DEVICE IS NULL ORDER BY ID"), false, unbound);
    if (unbound.empty()) {
        FHeads = std::move(own);
        return;
    }
    FHeads.reserve(own.size() + unbound.size());
    std::merge(own.begin(), own.end(), unbound.begin(), unbound.end(), std::back_inserter(FHeads));
}

void TSmsListBase::LoadMessages()
{
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteLock lock(*Database);
    FItems.clear();
    FOpen.clear();
    FHeads.clear();
    FNewHeads.clear();
    FPages.clear();
    FUnread = 0;
    FInserted.clear();
    FChanged = true;
    FKeyed = HasSortKeys();
    // The program's start: the search index is made, or brought up to rows stored without it
    // (by an older program, or a run that ended between its commit and the index).
    if (!Database->ReadOnly()) {
        KeepSearchInStep([] { TMessageSearch::EnsureIndex(*Database); });
    }
    qint64 ungrouped = 0;
    {
        // From the index of rows not filed yet, which holds their device: rows of other modems
        // that no list filed are skipped there without reading them.
        TSQLiteQuery query(*Database,
                           QStringLiteral("SELECT COUNT(*) FROM %1 INDEXED BY %1_UNGROUPED WHERE GROUPID IS NULL")
                                   .arg(GetTableName()) +
                               Filter(false));
        BindFilter(1);
        ungrouped = Database->Next() ? Database->GetFieldAsInt64(0) : 0;
    }
    if (ungrouped > 0 && Database->ReadOnly()) {
        LoadAllInMemory();
        return;
    }
    if (ungrouped > BulkGroupingThreshold && !GroupAll()) {
        return; // read into memory
    }
    KeyHeads();
    LoadHeads();
    if (ungrouped > 0 && ungrouped <= BulkGroupingThreshold && !GroupUngrouped()) {
        FHeads.clear();
        FUnread = 0;
        LoadAllInMemory();
        return;
    }
    ListLoaded();
    Loaded();
}

TSmsItem* TSmsListBase::PagedItem(qsizetype Position) const
{
    const qsizetype number = Position / PageSize;
    auto it = FPages.find(number);
    if (it == FPages.end()) {
        it = FPages.emplace(number, const_cast<TSmsListBase*>(this)->ReadPage(number)).first;
    }
    it->second.Used = ++FUse;
    return it->second.Items[size_t(Position % PageSize)].get();
}

TSmsListBase::TPage TSmsListBase::ReadPage(qsizetype Number)
{
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    // The least recently read page makes room; pages holding an item put in place stay.
    while (FPages.size() >= size_t(CachedPages)) {
        auto oldest = FPages.end();
        for (auto it = FPages.begin(); it != FPages.end(); ++it) {
            if (!it->second.Pinned && (oldest == FPages.end() || it->second.Used < oldest->second.Used)) {
                oldest = it;
            }
        }
        if (oldest == FPages.end()) {
            break;
        }
        FPages.erase(oldest);
    }
    const qsizetype first = Number * PageSize;
    const qsizetype end = std::min<qsizetype>(first + PageSize, static_cast<qsizetype>(FHeads.size()));
    TPage page;
    page.Items.resize(size_t(end - first));
    TSQLiteLock lock(*Database);
    const QString select = QStringLiteral("SELECT ID, DATE, PDU, %2, REBUILT, GROUPID, DEVICE%3 FROM %1 WHERE ")
                               .arg(GetTableName(), StatusColumn(), PageColumns());
    const auto heads = FHeads.begin() + first;
    const auto headsEnd = FHeads.begin() + end;
    // The slot of each message of the page by its first row.
    QHash<qint64, qsizetype> slots;
    const bool stored = OrderColumn() == ocStored;
    if (!stored) {
        slots.reserve(end - first);
        for (auto it = heads; it != headsEnd; ++it) {
            slots.insert(*it, it - heads);
        }
    }
    auto readRows = [&] {
        while (Database->Next()) {
            if (!RowInList(Database->GetFieldIsNull(6), Database->GetFieldAsString(6))) {
                continue;
            }
            const qint64 group = Database->GetFieldAsInt64(5);
            qsizetype at = -1;
            if (stored) {
                const auto head = std::lower_bound(heads, headsEnd, group);
                at = head == headsEnd || *head != group ? -1 : head - heads;
            } else {
                at = slots.value(group, -1);
            }
            if (at < 0) {
                continue; // a message of another list
            }
            std::unique_ptr<TSmsItem>& slot = page.Items[size_t(at)];
            const QString pdu = Database->GetFieldAsString(2);
            const TDecoded part = Decode(pdu);
            if (!slot) {
                slot = NewItem();
                StartItem(slot.get(), Database->GetFieldAsDateTime(1), pdu, part);
                slot->FOwner = this;
                slot->FPaged = true;
            } else if (part.Text && part.Recv.Multipart()) {
                JoinPart(slot.get(), part.Recv);
            }
            slot->AddDBIdent(Database->GetFieldAsInt64(0));
            if (Database->GetFieldAsBool(4)) {
                slot->FRebuilt = true;
            }
            ReadStatus(slot.get(), 3);
        }
    };
    if (stored) {
        // Messages in the stored order are a range of first rows.
        TSQLiteQuery query(*Database, select + QStringLiteral("GROUPID BETWEEN ? AND ? ORDER BY ID"));
        ColumnsChanged();
        Database->SetParamAsInt64(1, FHeads[size_t(first)]);
        Database->SetParamAsInt64(2, FHeads[size_t(end - 1)]);
        readRows();
    } else {
        // In another order they lie anywhere in the table: found by their group, a chunk of
        // them per query (the rows of a message in the order of their ids, as above).
        constexpr qsizetype kChunk = 500;
        for (qsizetype from = first; from < end; from += kChunk) {
            const qsizetype to = std::min(end, from + kChunk);
            QString marks;
            for (qsizetype i = from; i < to; ++i) {
                marks += i == from ? QStringLiteral("?") : QStringLiteral(",?");
            }
            TSQLiteQuery query(*Database, select + QStringLiteral("GROUPID IN (%1) ORDER BY ID").arg(marks));
            ColumnsChanged();
            for (qsizetype i = from; i < to; ++i) {
                Database->SetParamAsInt64(int(i - from + 1), FHeads[size_t(i)]);
            }
            readRows();
        }
    }
    // A message whose rows were removed since the list was opened is shown empty rather than
    // leaving a hole in the list.
    for (auto& slot : page.Items) {
        if (!slot) {
            slot = NewItem();
            slot->FOwner = this;
            slot->FPaged = true;
        }
    }
    return page;
}

void TSmsListBase::DropPageOf(qsizetype Position)
{
    const auto it = FPages.find(Position / PageSize);
    if (it != FPages.end() && !it->second.Pinned) {
        FPages.erase(it);
    }
}

void TSmsListBase::ItemSeen(TSmsItem* Item)
{
    if (Item->FPaged && FUnread > 0) {
        --FUnread;
    }
}

void TSmsListBase::ItemUnseen(TSmsItem* Item)
{
    if (Item->FPaged) {
        ++FUnread;
    }
}

int TSmsListBase::IndexOfRow(qint64 Row) const
{
    const int inMemory = static_cast<int>(FItems.size());
    for (int i = 0; i < inMemory; ++i) {
        if (FItems[size_t(inMemory - 1 - i)]->RowIDs().contains(Row)) {
            return i;
        }
    }
    if (FHeads.empty()) {
        return -1;
    }
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    qint64 group = 0;
    {
        TSQLiteQuery query(db, QStringLiteral("SELECT GROUPID FROM %1 WHERE ID = ?").arg(GetTableName()));
        db.SetParamAsInt64(1, Row);
        if (!db.Next() || db.GetFieldIsNull(0)) {
            return -1;
        }
        group = db.GetFieldAsInt64(0);
    }
    return IndexOfIdent(group);
}

QList<qint64> TSmsListBase::FileStored(const QList<TStoredRow>& Rows, bool Rebuilt)
{
    QList<qint64> filed;
    auto note = [&filed](qint64 Ident) {
        if (!filed.contains(Ident)) {
            filed.append(Ident);
        }
    };
    if (Rows.isEmpty()) {
        return filed;
    }
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    const int unread = FUnread;
    QList<TGrouped> grouped;
    try {
        TSQLiteTransaction transaction(db);
        for (const TStoredRow& row : Rows) {
            grouped.append(GroupRow(row.Id, row.Date, row.Pdu, row.Status));
        }
        transaction.Commit();
    } catch (const ESQLiteException&) {
        // The rows are stored; the next load groups them. Until then they are listed from memory.
        FNewHeads.clear();
        FUnread = unread;
        for (const TStoredRow& row : Rows) {
            const size_t held = FItems.size();
            TSmsItem* item = AddPdu(row.Date, row.Pdu, row.Id, Rebuilt);
            if (FItems.size() > held) {
                NoteInserted(0);
            }
            SetStatus(item, row.Status);
            note(item->Ident());
        }
        return filed;
    }
    FNewHeads.clear();
    for (qsizetype i = 0; i < grouped.size(); ++i) {
        const qint64 group = grouped[i].Group;
        if (grouped[i].Created) {
            // Where the order puts it: last for the newest by time, as a rule. Every page
            // from there on moves (a row id below the newest message's comes when ids are
            // handed out again after the highest row was removed).
            qsizetype position = LowerBound(group);
            if (position < 0) {
                // Its row is gone already (another program deleted it): last, until the next load.
                position = static_cast<qsizetype>(FHeads.size());
            }
            FHeads.insert(FHeads.begin() + position, group);
            DropPagesFrom(position);
            NoteInserted(IndexOfPosition(position));
        } else {
            const qsizetype position = HeadPosition(group);
            if (position >= 0) {
                DropPageOf(position);
            }
        }
        PduFiled(Rows[i].Pdu);
        note(group);
    }
    return filed;
}

void TSmsListBase::IndexForSearch(const QList<qint64>& Idents)
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    // Messages read from the table are read again on their own rather than through their page,
    // which holds 255 others.
    std::vector<std::unique_ptr<TSmsItem>> read;
    QList<const TSmsItem*> items;
    for (const qint64 ident : Idents) {
        if (HeadPosition(ident) >= 0) {
            if (std::unique_ptr<TSmsItem> item = ReadGroup(ident)) {
                items.append(item.get());
                read.push_back(std::move(item));
            }
            continue;
        }
        for (const auto& item : FItems) {
            if (item->Ident() == ident) {
                items.append(item.get());
                break;
            }
        }
    }
    KeepSearchInStep([&] { TMessageSearch::Index(db, GetTableName() == QLatin1String("OUTGOING"), items, FDevice); });
}

// ---- The two lists ----

int TSmsIncomingList::UnreadCount() const
{
    int count = PagedUnread();
    for (const auto& item : MemoryItems()) {
        if (!static_cast<const TSmsIncomingItem*>(item.get())->Seen()) {
            ++count;
        }
    }
    return count;
}

void TSmsIncomingList::SetStatus(TSmsItem* Item, bool Value)
{
    if (Value) {
        static_cast<TSmsIncomingItem*>(Item)->SetSeen(true);
    }
}

void TSmsIncomingList::ListLoaded()
{
    if (Device().isEmpty()) {
        // Every row counts for ContainsPdu: read when first asked, not at every start.
        FPdusPending = true;
        return;
    }
    TSQLiteQuery query(*Database, QStringLiteral("SELECT PDU FROM INCOMING WHERE DEVICE IS NULL"));
    while (Database->Next()) {
        FPdus.insert(PduKey(Database->GetFieldAsString(0)));
    }
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
    if (FPdusPending) {
        TSQLiteDB& db = Db();
        TSQLiteLock lock(db);
        TSQLiteQuery query(db, QStringLiteral("SELECT PDU FROM INCOMING"));
        while (db.Next()) {
            FPdus.insert(PduKey(db.GetFieldAsString(0)));
        }
        FPdusPending = false;
    }
    return FPdus.contains(PduKey(Pdu));
}

int TSmsIncomingList::StoreReceived(const QStringList& Pdus, bool Rebuilt, const QStringList& Keys)
{
    TSQLiteDB& db = Db();
    TSQLiteLock lock(db);
    const bool bound = !Device().isEmpty();
    QList<TStoredRow> rows;
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
            const TDateTime now = Clock::Now();
            db.SetParamByNameAsDateTime(QStringLiteral("DATE"), now);
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
            rows.append({db.GetLastInsertRowId(), now, pdu, false});
        }
        db.FreeQuery();
        transaction.Commit();
    }
    // An undecodable PDU becomes an item that says so; its row is stored either way.
    const QList<qint64> filed = FileStored(rows, Rebuilt);
    for (const qint64 ident : filed) {
        if (!FFiled.contains(ident)) {
            FFiled.append(ident);
        }
    }
    IndexForSearch(filed);
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
    QList<TStoredRow> stored;
    for (qint64 row : Rows) {
        TSQLiteQuery query(db, kSelectOutgoing);
        db.SetParamAsInt64(1, row);
        while (db.Next()) {
            stored.append({row, db.GetFieldByNameAsDateTime(QStringLiteral("DATE")),
                           db.GetFieldByNameAsString(QStringLiteral("PDU")), true});
        }
    }
    FileStored(stored, Rebuilt);
    return int(stored.size());
}

void TSmsOutgoingList::SetStatus(TSmsItem* Item, bool Value)
{
    if (Value) {
        static_cast<TSmsOutgoingItem*>(Item)->SetSent(true);
    }
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
    const int index = IndexOfRow(Row);
    return index < 0 ? nullptr : GetItem(index);
}

TSendState TSmsOutgoingList::ReportState(const TSmsOutgoingItem& Item, int& Delivered, QString& Words,
                                         qint64& Latest) const
{
    bool pending = false;
    // A whole message that a stack split and sent itself may ask for one report, on its last part
    // (ModemManager does so): that report stands for the parts without one of their own.
    const TPartReport* whole = nullptr;
    if (Item.Rebuilt() && !Item.RowIDs().isEmpty()) {
        const auto it = FReports.constFind(*std::max_element(Item.RowIDs().cbegin(), Item.RowIDs().cend()));
        whole = it == FReports.cend() ? nullptr : &*it;
    }
    for (qint64 row : Item.RowIDs()) {
        const auto it = FReports.constFind(row);
        const TPartReport* report = it == FReports.cend() ? whole : &*it;
        if (!report) {
            continue;
        }
        switch (TSmsRecv::StatusOutcome(report->Status)) {
        case doDelivered:
            ++Delivered;
            if (report->Discharge != TSmsRecv::kNoTimeStamp &&
                (Latest == TSmsRecv::kNoTimeStamp || report->Discharge > Latest)) {
                Latest = report->Discharge;
            }
            break;
        case doFailed:
            // One part that cannot be delivered fails the message: the recipient never reads it whole.
            Words = TSmsRecv::StatusText(report->Status);
            return ssFailed;
        case doPending:
            if (!pending) {
                Words = TSmsRecv::StatusText(report->Status);
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
