#pragma once

// The message store: inbox and outbox of one broadband interface as lists of messages, where
// one message may have been carried by several PDUs (a concatenated SMS). The lists own every
// statement on the tables INCOMING and OUTGOING; the transport hands them PDUs and row ids.

#include "base/DateTime.h"
#include "sms/SMS.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Ombrelay
{

class TSmsListBase;

// What a message item holds. Rows that are not text are listed for what they are, so that no
// stored row is ever hidden from the user.
enum TSmsItemKind
{
    ikText,         // a text message (possibly of several parts)
    ikNotText,      // 8-bit data, compressed text or a reserved coding: kept, not readable as text
    ikStatusReport, // a delivery report
    ikUnreadable,   // a PDU that does not decode; Error says why
};

class TSmsItem
{
public:
    virtual ~TSmsItem() = default;

    // The message text: the part texts joined in sequence-number order. Missing parts add nothing.
    QString Text() const;
    // Stores one part text at Index (0 for a single-part message, the sequence number otherwise).
    void SetText(const QString& Value, int Index);
    // Appends the database row id of one more PDU of this message. Row ids are 64-bit: SQLite
    // hands out ids beyond 2^32, and a narrowed id would name another row.
    void AddDBIdent(qint64 Value);

    int RefNo() const { return FRefNo; }
    void SetRefNo(int Value) { FRefNo = Value; }
    const QString& Number() const { return FNumber; }
    void SetNumber(const QString& Value) { FNumber = Value; }
    TDateTime DateTime() const { return FDateTime; }
    void SetDateTime(TDateTime Value) { FDateTime = Value; }
    // Row ids of all PDUs of this message, in the order they were added.
    const QVarLengthArray<qint64, 1>& RowIDs() const { return FRowIDs; }
    // The message's identity in its table: the row id of the PDU that created it (0 for an item
    // that has no row). Stays the same while more parts join.
    qint64 Ident() const { return FRowIDs.isEmpty() ? 0 : FRowIDs.front(); }

    // Parts announced by a multipart message; 0 for a single-part one.
    int Total() const { return FTotal; }
    // Parts of 1..Total that arrived, and whether any of them is missing (never arrived, or
    // still on a store the program cannot read).
    int PartsPresent() const;
    bool Incomplete() const { return FKind == ikText && FTotal > 0 && PartsPresent() < FTotal; }
    // The network's time stamp of the part that created the message (seconds since 1970 UTC),
    // TSmsRecv::kNoTimeStamp when it carried none.
    qint64 TimeStamp() const { return FExtra ? FExtra->TimeStamp : FTimeStamp; }
    // True when the message was rebuilt from a whole message that the modem stack handed over
    // (the network's own PDUs were never seen).
    bool Rebuilt() const { return FRebuilt; }
    void SetRebuilt(bool Value) { FRebuilt = Value; }
    TSmsItemKind Kind() const { return FKind; }
    // For items that are not text: the stored PDU text, and for unreadable ones the error.
    QString Pdu() const { return FExtra ? FExtra->Pdu : QString(); }
    QString Error() const { return FExtra ? FExtra->Error : QString(); }
    // What a view shows: the text with "[…]" in place of each missing part, or what the
    // row is when it is not text.
    QString DisplayText() const;
    // Marks the list shows before the text of a message with parts missing.
    static QString IncompleteMark(int Present, int Total);

protected:
    // The list that read this item from its table, told when the item is marked seen; null for
    // an item of no list.
    TSmsListBase* Owner() const { return FOwner; }

private:
    template <class T>
    friend class TSmsList;
    friend class TSmsListBase;

    // What only some items need, kept apart so that the many single-part messages stay small.
    struct TExtra
    {
        QString Pdu;
        QString Error;
        int DataCoding = -1;
        // Network time stamps of a multipart message: that of the part that created it, and
        // those of its parts by sequence number (a part repeated with the same text and stamp
        // is the same part stored twice).
        qint64 TimeStamp = TSmsRecv::kNoTimeStamp;
        QList<qint64> Stamps;
    };

    int FRefNo = 0;
    TDateTime FDateTime = 0.0;
    // A part that arrived is never a null string, so that an empty part still counts.
    QStringList FText;
    QVarLengthArray<qint64, 1> FRowIDs;
    QString FNumber;
    int FTotal = 0;
    TSmsItemKind FKind = ikText;
    bool FRebuilt = false;
    // The network's time stamp of a single-part message (a multipart one keeps it in FExtra).
    qint64 FTimeStamp = TSmsRecv::kNoTimeStamp;
    // Created by a part of a long message (so that later parts may join it).
    bool FMultipart = false;
    // Read from the table page by page (it may be dropped from memory and read again).
    bool FPaged = false;
    TSmsListBase* FOwner = nullptr;
    std::unique_ptr<TExtra> FExtra;
};

class TSmsIncomingItem : public TSmsItem
{
public:
    bool Seen() const { return FSeen; }
    void SetSeen(bool Value) { FSeen = Value; }
    // Marks the message seen in memory and every one of its rows in the database; once seen,
    // nothing more is written.
    void MarkSeen();
    // The opposite, for a message the user wants to read again later.
    void MarkUnseen();

private:
    bool FSeen = false;
};

class TSmsOutgoingItem : public TSmsItem
{
public:
    bool Sent() const { return FSent; }
    void SetSent(bool Value) { FSent = Value; }
    // Parts whose rows are still being sent, and parts that failed with the first reason given.
    int SendingParts() const { return FSendingParts; }
    int FailedParts() const { return FFailedParts; }
    const QString& FailReason() const { return FFailReason; }
    // Whether the message was sent again after it failed (see RetrySend).
    bool Retried() const { return FRetried; }
    void SetRetried(bool Value) { FRetried = Value; }

private:
    friend class TSmsOutgoingList;
    bool FSent = false;
    bool FRetried = false;
    int FSendingParts = 0;
    int FFailedParts = 0;
    QString FFailReason;
};

// The state of a sent message as the Sent list shows it.
enum TSendState
{
    ssSending,   // parts not yet confirmed by the device
    ssFailed,    // a part failed to leave the device, or the network reported it undeliverable
    ssRetried,   // failed, and sent again as a new message
    ssSent,      // every part left the device; no report says more
    ssPending,   // a report says the service centre is still trying
    ssPartly,    // some parts delivered, not all
    ssDelivered, // every part delivered
};

// The part of the list that does not depend on the item class.
class TSmsListBase
{
public:
    virtual ~TSmsListBase();

    // Opens the list on its table: the rows of its device and the rows that name no device
    // (stored by older programs), or every row for a list of no device. Only the messages'
    // first row ids are read here; the messages themselves are read from the table a page at a
    // time when asked for (GetItem), and only a bounded number of pages is kept. Rows that an
    // older program stored are first filed into their messages, once, and the grouping is
    // written to the rows (GROUPID, PARTKEY), so that a page can be read on its own. On a
    // file that cannot be written, such rows are all read into memory instead, as before. A
    // row that does not decode is listed as unreadable; it never stops the loading of others.
    void LoadMessages();
    // The interface whose rows the list holds and writes; empty for a list of every row.
    const QString& Device() const { return FDevice; }
    int Count() const { return static_cast<int>(FItems.size() + FHeads.size()); }
    // The index of the message whose Ident is Ident, -1 when it is not listed. Hint is where it
    // is likely to be (its index before some messages arrived); a miss there searches the list.
    int IndexOfIdent(qint64 Ident, int Hint = -1) const;
    // Deletes the messages with these identities: every row of each of their parts leaves the
    // table in one transaction, then the messages leave the list. Nothing on a device is touched.
    // Returns how many messages were removed.
    int RemoveMessages(const QList<qint64>& Idents);
    // Deletes every message that one of RowIds belongs to: all rows of each (every part of a
    // long message), from the table and the search index in one transaction, and then from this
    // list. Rows of no message of this list are left alone, and nothing on a device is touched.
    // Returns how many messages were deleted; when it raises, nothing was.
    int DeleteMessages(const QList<qint64>& RowIds);
    // The index of the message that holds the row Row, -1 when none of this list does. Reads
    // no page.
    int IndexOfRow(qint64 Row) const;

    // Parts of a long message join it only within this many seconds of its first part.
    static constexpr int kMultipartWindowSeconds = 60;
    // Messages read from the table at a time, and pages kept in memory. An item pointer stays
    // valid until that many other pages were read (or the list stores a message onto its page):
    // take it again by index rather than keep it.
    static constexpr int kPageSize = 256;
    static constexpr int kCachedPages = 32;
    // Above this many rows not yet filed into messages, LoadMessages files them all in memory
    // at once (an older program's file: every row) instead of one by one against the table.
    // Tests lower it to run both ways over the same rows.
    static void SetBulkGroupingThreshold(int Rows);
    // Messages a page holds and pages kept, for lists opened from now on (kPageSize and
    // kCachedPages unless set). Tests make them small to drop pages after a few rows.
    static void SetPaging(int Messages, int Pages);

    // What a list is ordered by: the time each message was stored (its first row, the order of
    // arrival), the network's time stamp (the stored time for a message that carries none), the
    // number, or the start of the text (of the part that created the message, the first part
    // unless a later one came first). Ties go by the stored order. Descending puts the largest
    // at index 0: the newest, for the times. The order comes from the table (an index per
    // column): the list never reads every message to sort it.
    enum TOrderColumn
    {
        ocStored,
        ocNetworkTime,
        ocNumber,
        ocText,
    };
    struct TOrder
    {
        TOrderColumn Column = ocStored;
        bool Descending = true;
        bool operator==(const TOrder&) const = default;
    };
    const TOrder& Order() const { return FOrder; }
    // Puts the list in Order: the messages' first rows are read again in that order; no message
    // is read. Messages held in memory only (see MemoryItems) stay on top as they came.
    void SetOrder(const TOrder& Order);
    // The order of lists constructed from now on (stored time, newest first, unless set).
    static void SetDefaultOrder(const TOrder& Order);
    static TOrder DefaultOrder();
    // The indices at which messages were inserted since the last call, as they are now,
    // ascending: a view that inserts rows at them in this order matches the list. Nothing when
    // the list changed otherwise since (reordered, loaded, messages removed): it is read anew.
    std::optional<QList<int>> TakeInserted();

protected:
    explicit TSmsListBase(const QString& Device)
        : FDevice(Device)
        , FOrder(DefaultOrder())
    {
    }
    TSmsListBase(const TSmsListBase&) = delete;
    TSmsListBase& operator=(const TSmsListBase&) = delete;

    TSmsItem* AddPdu(TDateTime DateTime, const QString& Pdu, qint64 DBIdent, bool Rebuilt);
    TSmsItem* ItemAt(int Index) const;
    void ReplaceAt(int Index, std::unique_ptr<TSmsItem> Item);

    virtual QString GetTableName() const = 0;
    // Reads the status column of the current row into the item (a flag once true stays true).
    virtual void ReadStatus(TSmsItem* Item, int Column) = 0;
    virtual QString StatusColumn() const = 0;
    virtual std::unique_ptr<TSmsItem> NewItem() const = 0;
    // Called for every PDU filed, whatever it held.
    virtual void PduFiled(const QString& Pdu) { Q_UNUSED(Pdu); }
    // Called before a load of about Rows rows.
    virtual void ReserveRows(qint64 Rows) { Q_UNUSED(Rows); }
    // Called for every loaded row that names no device, after it was filed.
    virtual void UnboundRowLoaded(const QString& Pdu) { Q_UNUSED(Pdu); }
    // Called once the rows are loaded.
    virtual void Loaded() {}
    // Whether the status column, set on any row, marks the whole message (seen does; sent is
    // kept per row).
    virtual bool StatusSpreads() const { return false; }
    // Sets the status of an item filed from memory rather than read from its row.
    virtual void SetStatus(TSmsItem* Item, bool Value) = 0;
    // Called when LoadMessages opened the list on its table (not when it read it into memory).
    virtual void ListLoaded() {}

    // Files rows stored in the table (with these dates and PDUs) into their messages: the
    // grouping is written to the rows and the messages are listed. Returns false when the
    // grouping could not be written; the rows are then filed in memory (AddPdu).
    struct TStoredRow
    {
        qint64 Id;
        TDateTime Date;
        QString Pdu;
        bool Status;
    };
    // Returns the identities of the messages filed into, each once, in the order of Rows.
    QList<qint64> FileStored(const QList<TStoredRow>& Rows, bool Rebuilt);
    // Puts the messages with these identities into the search index.
    void IndexForSearch(const QList<qint64>& Idents);
    // Columns beyond the status that ReadStatus reads, as ", A, B" (a page is read by name).
    virtual QString PageColumns() const { return QString(); }
    // Called before the rows of a query of another column layout reach ReadStatus.
    virtual void ColumnsChanged() {}
    // Messages whose first row is unseen, among those read from the table.
    int PagedUnread() const { return FUnread; }
    // The items held in memory only (added by AddMessage, or read while the file was not
    // writable), newest last.
    const std::vector<std::unique_ptr<TSmsItem>>& MemoryItems() const { return FItems; }

private:
    friend class TSmsIncomingItem;
    struct TDecoded;
    struct TOpenChoice;
    struct TGrouped
    {
        qint64 Group;
        bool Created;
    };
    struct TPage
    {
        std::vector<std::unique_ptr<TSmsItem>> Items;
        quint64 Used = 0;
        bool Pinned = false;
    };

    static TDecoded Decode(const QString& Pdu);
    static void ConsiderOpen(TOpenChoice& Choice, qsizetype Position, TSmsItem* Item);
    // Fills a new item from the part that creates it.
    static void StartItem(TSmsItem* Item, TDateTime DateTime, const QString& Pdu, const TDecoded& Part);
    // Adds a further part of a long message (a part repeated is stored once).
    static void JoinPart(TSmsItem* Item, const TSmsRecv& Part);
    static QString PartKey(const QString& Number, int RefNo, int Total, bool Stamped, qint64 Minute);
    static QString ItemPartKey(const TSmsItem* Item);

    QString Filter(bool Where) const;
    void BindFilter(int Index) const;
    bool RowInList(bool DeviceNull, const QString& Device) const;
    bool IsHead(qint64 Group) const;
    // The message an ungrouped row joins (against the table), or creates.
    TGrouped GroupRow(qint64 Id, TDateTime DateTime, const QString& Pdu, bool Status);
    qint64 FindOpenGroup(const TSmsRecv& Part, TDateTime DateTime);
    std::unique_ptr<TSmsItem> ReadGroup(qint64 Group);
    // Files every row of the list in memory, as the lists always did, and writes the grouping;
    // false when it could not be written (the items then stay in memory).
    bool GroupAll();
    bool GroupUngrouped();
    void LoadAllInMemory();
    void LoadHeads();
    TSmsItem* PagedItem(qsizetype Position) const;
    // Positions are places in FHeads; indices count from the top of the list.
    qsizetype PositionOfIndex(int Index) const;
    int IndexOfPosition(qsizetype Position) const;
    // The order actually in use: the stored order on a table without the sort keys (an older
    // program's file that cannot be written).
    TOrderColumn OrderColumn() const { return FKeyed ? FOrder.Column : ocStored; }
    QString OrderKey() const;
    // The sort key of the first row Row as the table holds it.
    struct TSortKey
    {
        bool Found = false;
        bool Null = true;
        qint64 Number = 0;
        QString Text;
        qint64 Id = 0;
    };
    TSortKey KeyOf(qint64 Row) const;
    // Whether the message whose first row is Head comes before Key in the list's order (the
    // table compares, so that the comparison is the one of its ORDER BY).
    bool HeadBefore(qint64 Head, const TSortKey& Key) const;
    // Where the first row Ident is (or would go) in FHeads.
    qsizetype LowerBound(qint64 Ident) const;
    // The position of the message whose first row is Ident, -1 when it is none of this list's.
    qsizetype HeadPosition(qint64 Ident) const;
    // Writes the sort keys of a message's first row from the part it holds.
    void WriteKeys(qint64 Id, TDateTime DateTime, const TDecoded& Part);
    // Gives first rows stored without sort keys (by an older program, or filed in bulk) theirs.
    void KeyHeads();
    bool HasSortKeys() const;
    void NoteInserted(int Index);
    // Pages from Position on hold other messages now: they are read again.
    void DropPagesFrom(qsizetype Position);
    TPage ReadPage(qsizetype Number);
    void DropPageOf(qsizetype Position);
    void ItemSeen(TSmsItem* Item);
    void ItemUnseen(TSmsItem* Item);

    // A multipart message is found by sender, reference, announced total and the minute of its
    // first part, so that filing a part costs the same however long the list is. The minute is
    // that of the network's time stamp when the parts carry one (the time a row was stored
    // says nothing when the program was down), else that of the stored time.
    struct TOpenKey
    {
        QString Number;
        int RefNo;
        int Total;
        bool Stamped;
        qint64 Minute;
        bool operator==(const TOpenKey& Other) const
        {
            return RefNo == Other.RefNo && Total == Other.Total && Stamped == Other.Stamped && Minute == Other.Minute &&
                   Number == Other.Number;
        }
    };
    friend size_t qHash(const TOpenKey& Key, size_t Seed) noexcept
    {
        return qHashMulti(Seed, Key.Number, Key.RefNo, Key.Total, Key.Stamped, Key.Minute);
    }

    // The message a decoded part joins, or null when it starts one of its own.
    TSmsItem* FindOpen(const TSmsRecv& Part, TDateTime DateTime) const;

    QString FDevice;
    std::vector<std::unique_ptr<TSmsItem>> FItems;
    QHash<TOpenKey, QVarLengthArray<std::pair<qsizetype, TSmsItem*>, 1>> FOpen;
    // The first row id of every message read from the table, oldest first; index 0 of the list
    // is the newest message held in memory only, if any, else the last of these.
    std::vector<qint64> FHeads;
    // Heads added while grouping, before they join FHeads in order.
    QSet<qint64> FNewHeads;
    mutable std::unordered_map<qsizetype, TPage> FPages;
    mutable quint64 FUse = 0;
    int FUnread = 0;
    TOrder FOrder;
    // The table holds the sort keys (STAMP, SORTNUMBER, SORTTEXT).
    bool FKeyed = false;
    QList<int> FInserted;
    bool FChanged = true;
};

template <class T>
class TSmsList : public TSmsListBase
{
public:
    explicit TSmsList(const QString& Device)
        : TSmsListBase(Device)
    {
    }

    // Decodes the PDU text and files it into a new message or into the multipart message it
    // belongs to; returns that message. A PDU that does not decode, or holds no text, becomes a
    // message of its own that says so (see TSmsItemKind); nothing raises for it.
    T* AddMessage(TDateTime DateTime, const QString& Pdu, qint64 DBIdent, bool Rebuilt = false)
    {
        return static_cast<T*>(AddPdu(DateTime, Pdu, DBIdent, Rebuilt));
    }

    // Newest first: index 0 is the message created last. Raises for an index out of range.
    T* GetItem(int Index) const { return static_cast<T*>(ItemAt(Index)); }
    T* Items(int Index) const { return GetItem(Index); }
    void SetItem(int Index, std::unique_ptr<T> Item) { ReplaceAt(Index, std::move(Item)); }

protected:
    std::unique_ptr<TSmsItem> NewItem() const override { return std::make_unique<T>(); }
};

class TSmsIncomingList : public TSmsList<TSmsIncomingItem>
{
public:
    // The inbox of the interface Device; of every row when Device is empty.
    explicit TSmsIncomingList(const QString& Device = QString())
        : TSmsList(Device)
    {
    }

    // Messages not seen yet: counted once at the load and kept up to date from then on.
    int UnreadCount() const;
    // Whether a PDU with exactly this text is held by a row that names no device (stored by an
    // older program, or by a list of no device), so that a PDU such a program may have stored
    // without removing it from the device is not stored twice.
    bool ContainsPdu(const QString& Pdu) const;
    // Stores received PDUs as unseen INCOMING rows in one transaction, then files them into this
    // inbox. Keys, when given, holds the device's index or key of each PDU's entry: a PDU whose
    // entry is still recorded for this device with the same key and text is that entry read
    // again and is not stored; any other PDU is a message, even when its text equals an older
    // one's. Without a key (or without a device), a PDU that ContainsPdu finds, or that came
    // earlier in Pdus, is not stored again. Rebuilt marks PDUs built here from whole messages.
    // Returns how many rows were written. Once it returns, every PDU of Pdus is committed; when
    // it raises, none of this call is committed and the inbox is unchanged.
    int StoreReceived(const QStringList& Pdus, bool Rebuilt, const QStringList& Keys = QStringList());
    // Forgets the device keys of Device's rows stored from the entries Keys: the device
    // confirmed they are gone, so a later entry with such a key is a new message.
    static void ForgetDeviceKeys(const QString& Device, const QStringList& Keys);
    // Identities of the messages that StoreReceived filed rows into since the last call, oldest
    // first, each once: the messages that may have become new or complete.
    QList<qint64> TakeFiled();

protected:
    QString GetTableName() const override { return QStringLiteral("INCOMING"); }
    QString StatusColumn() const override { return QStringLiteral("SEEN"); }
    void ReadStatus(TSmsItem* Item, int Column) override;
    void PduFiled(const QString& Pdu) override;
    void ReserveRows(qint64 Rows) override;
    void UnboundRowLoaded(const QString& Pdu) override;
    bool StatusSpreads() const override { return true; }
    void SetStatus(TSmsItem* Item, bool Value) override;
    void ListLoaded() override;

private:
    friend class TSmsListBase;
    static std::pair<size_t, size_t> PduKey(const QString& Pdu);
    // A list of no device holds every row: their texts are read once, at the first lookup
    // after the list was opened on its table.
    mutable bool FPdusPending = false;
    // Two independent hashes of the PDU text of each row that names no device: 128 bits tell
    // texts apart without keeping them.
    mutable QSet<std::pair<size_t, size_t>> FPdus;
    QList<qint64> FFiled;
};

class TSmsOutgoingList : public TSmsList<TSmsOutgoingItem>
{
public:
    // The outbox of the interface Device; of every row when Device is empty.
    explicit TSmsOutgoingList(const QString& Device = QString())
        : TSmsList(Device)
    {
    }

    // Records the PDUs of a message about to be submitted through Device as OUTGOING rows being
    // sent (SENT = 0, FAILED = 0), in one transaction, and returns their row ids in the order of
    // Pdus. They join an outbox only when the device confirms them. An empty Device names none.
    static QList<qint64> StoreSubmitted(const QStringList& Pdus, bool Rebuilt, const QString& Device = QString());
    // Marks the rows sent, in one transaction.
    static void MarkSent(const QList<qint64>& Rows);
    // Marks rows not sent as failed (the device refused them, or they were never submitted), in
    // one transaction. Readers that know only SENT still read them as unsent.
    static void MarkFailed(const QList<qint64>& Rows);
    // Removes rows of a message none of whose parts left the device, in one transaction; rows
    // already sent are kept.
    static void Withdraw(const QList<qint64>& Rows);
    // MarkSent, then files each of the rows into this outbox as a sent message, with the date
    // and PDU read back from its row. Returns how many messages were filed.
    int ConfirmSent(const QList<qint64>& Rows, bool Rebuilt);
    // MarkFailed with the reason in words, kept for the Sent list.
    static void MarkFailed(const QList<qint64>& Rows, const QString& Reason);
    // Rows left being sent by a program that ended before the device confirmed them: nobody
    // knows whether they left, so they are marked failed with that reason and can be sent
    // again. Returns how many rows it marked.
    static int ResolveInterrupted();
    // Marks the unsent rows of a failed message as sent again, in one transaction.
    static void MarkRetried(const QList<qint64>& Rows);

    // The latest status report of a part: its status octet and the time of the outcome.
    struct TPartReport
    {
        int Status = -1;
        qint64 Discharge = TSmsRecv::kNoTimeStamp;
    };
    // Takes a report stored for the part in Row; returns the message it changed, or null when
    // the row is in no message of this list.
    TSmsOutgoingItem* ApplyReport(qint64 Row, const TPartReport& Report);
    // For readers with a connection of their own (the lists load through the program's): the
    // status of one row of Item as a load reads it, and the latest report of the part in Row.
    void SetRowStatus(TSmsOutgoingItem& Item, bool Sent, bool Failed, const QString& Reason, bool Retried);
    void SetPartReport(qint64 Row, const TPartReport& Report) { FReports.insert(Row, Report); }
    // What became of a message: its state and the words the Sent list shows ("delivered
    // 10.12.2026 18:02", "delivered 2 of 3", "failed: validity period expired", ...).
    TSendState State(const TSmsOutgoingItem& Item) const;
    QString StateText(const TSmsOutgoingItem& Item) const;

protected:
    QString GetTableName() const override { return QStringLiteral("OUTGOING"); }
    QString StatusColumn() const override { return QStringLiteral("SENT"); }
    void ReadStatus(TSmsItem* Item, int Column) override;
    void SetStatus(TSmsItem* Item, bool Value) override;
    void ReserveRows(qint64 Rows) override;
    QString PageColumns() const override { return QStringLiteral(", FAILED, REASON, RETRIED"); }
    void ColumnsChanged() override { FFailedColumn = -2; }
    void Loaded() override;

private:
    // The state of the parts that left the device, from their reports.
    TSendState ReportState(const TSmsOutgoingItem& Item, int& Delivered, QString& Words, qint64& Latest) const;

    // Latest report by OUTGOING row, of the rows that have one.
    QHash<qint64, TPartReport> FReports;
    // Columns of the status of a row, found at the first row of a load (-1 when missing).
    int FFailedColumn = -2;
    int FReasonColumn = -1;
    int FRetriedColumn = -1;
};

} // namespace Ombrelay
