// The message lists in each order they can be sorted by, over a real database file read page by
// page: the order at both ends and across page boundaries, new and removed messages, rows of
// older programs, and that opening a list sorts nothing.

#include "core/SmsStore.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QTest>

#include <sqlite3.h>

#include <algorithm>

using namespace Ombrelay;

namespace
{

using TOrder = TSmsListBase::TOrder;
using TOrderColumn = TSmsListBase::TOrderColumn;

const TDateTime kBase = 46365.5; // 2026-12-09 12:00:00
const QString kDevice = QStringLiteral("modem-a");

TDateTime At(int Seconds)
{
    return kBase + Seconds / kSecondsPerDay;
}

// One message of the fixture with what the test expects it to be sorted by.
struct TMessage
{
    qint64 Id = 0;
    qint64 Stamp = 0; // network time, or the stored time for a message without one
    QString Number;
    QString Text; // as listed (all parts)
    QString TextKey;
};

// How the fixture's rows reach the table.
enum TStoring
{
    stHere,          // received by this program (grouped and keyed as they are stored)
    stOlderOneByOne, // stored by an older program, filed one by one at the next start
    stOlderAtOnce,   // stored by an older program, filed all at once
    stKeysMissing,   // grouped by a program that wrote no sort keys
};

class TOrderFixture
{
public:
    TOrderFixture(TDatabase& DB, TStoring Storing)
        : FDB(DB)
        , FStoring(Storing)
    {
    }

    // A message from Number stamped Minute minutes after 12:00 UTC (none when negative), stored
    // at Second. Texts longer than 160 characters make a long message whose second part is
    // stored only at Flush (so that its rows lie apart).
    void Add(const QString& Number, int Minute, const QString& Text, int Second)
    {
        const QDateTime stamp =
            Minute < 0 ? QDateTime() : QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC).addSecs(Minute * 60);
        const QStringList pdus = BuildDeliverPdus(Number, stamp, Text, FRef++);
        TMessage message;
        message.Number = Number;
        message.Text = Text;
        message.TextKey = (pdus.size() > 1 ? Text.left(153) : Text).left(32).toCaseFolded();
        message.Stamp = Minute < 0 ? ToQDateTime(At(Second)).toSecsSinceEpoch() : stamp.toSecsSinceEpoch();
        message.Id = Store(pdus.front(), Second);
        FMessages.append(message);
        for (qsizetype i = 1; i < pdus.size(); ++i) {
            FLater.append(pdus[i]);
        }
    }

    // A row that does not decode: listed with no number and no text, at its stored time.
    void AddUnreadable(int Second)
    {
        TMessage message;
        message.Stamp = ToQDateTime(At(Second)).toSecsSinceEpoch();
        message.Id = Store(QStringLiteral("0004"), Second);
        FMessages.append(message);
    }

    void Flush(int Second)
    {
        for (const QString& pdu : std::as_const(FLater)) {
            Store(pdu, Second);
        }
        FLater.clear();
        if (FStoring == stKeysMissing) {
            // Grouped by this program, then the keys taken away as a program before them wrote none.
            TSmsIncomingList list(kDevice);
            list.LoadMessages();
            TSQLiteLock lock(FDB);
            FDB.ExecSQL(QStringLiteral("UPDATE INCOMING SET STAMP = NULL, SORTNUMBER = NULL, SORTTEXT = NULL"));
        }
    }

    // The messages in the list's order, index 0 first.
    QList<TMessage> Expected(const TOrder& Order) const
    {
        QList<TMessage> sorted = FMessages;
        auto key = [&](const TMessage& M) {
            switch (Order.Column) {
            case TSmsListBase::ocNetworkTime:
                return QVariant(M.Stamp);
            case TSmsListBase::ocNumber:
                return QVariant(M.Number.toCaseFolded());
            case TSmsListBase::ocText:
                return QVariant(M.TextKey);
            case TSmsListBase::ocStored:
                break;
            }
            return QVariant(M.Id);
        };
        std::sort(sorted.begin(), sorted.end(), [&](const TMessage& A, const TMessage& B) {
            const QVariant a = key(A);
            const QVariant b = key(B);
            const auto c = QVariant::compare(a, b);
            if (c != QPartialOrdering::Equivalent) {
                return c == QPartialOrdering::Less;
            }
            return A.Id < B.Id;
        });
        if (Order.Descending) {
            std::reverse(sorted.begin(), sorted.end());
        }
        return sorted;
    }

    QList<TMessage>& Messages() { return FMessages; }

private:
    qint64 Store(const QString& Pdu, int Second)
    {
        if (FStoring == stHere || FStoring == stKeysMissing) {
            Clock::SetNow(At(Second));
            TSmsIncomingList list(kDevice);
            list.LoadMessages();
            list.StoreReceived({Pdu}, false);
            TSQLiteLock lock(FDB);
            TSQLiteQuery q(FDB, QStringLiteral("SELECT MAX(ID) FROM INCOMING"));
            FDB.Next();
            return FDB.GetFieldAsInt64(0);
        }
        TSQLiteLock lock(FDB);
        TSQLiteQuery q(FDB, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (?, 0, ?)"));
        FDB.SetParamAsDateTime(1, At(Second));
        FDB.SetParamAsString(2, Pdu);
        FDB.Exec();
        return FDB.GetLastInsertRowId();
    }

    TDatabase& FDB;
    TStoring FStoring;
    int FRef = 1;
    QList<TMessage> FMessages;
    QStringList FLater;
};

// Fifteen messages whose four orders all differ: network times out of the stored order (two
// equal, and one message without any), numbers in both forms and letter cases (two equal when
// folded), texts in mixed case, a long message whose second part is stored last, and a row that
// does not decode.
void FillFixture(TOrderFixture& F)
{
    const QStringList numbers{QStringLiteral("+4917012"), QStringLiteral("017012"), QStringLiteral("Shop"),
                              QStringLiteral("+4915"),    QStringLiteral("shop"),   QStringLiteral("0800"),
                              QStringLiteral("Bank")};
    const QStringList texts{QStringLiteral("apple"), QStringLiteral("Banana"), QStringLiteral("cherry"),
                            QStringLiteral("Date"),  QStringLiteral("elder"),  QStringLiteral("Fig"),
                            QStringLiteral("grape"), QStringLiteral("Hazel"),  QStringLiteral("ice")};
    for (int i = 0; i < 13; ++i) {
        const int minute = i == 9 ? -1 : (i * 5) % 11;
        F.Add(numbers[(i * 3) % 7], minute, texts[(i * 4) % 9] + QStringLiteral(" %1").arg(i), i * 10);
        if (i == 6) {
            F.Add(QStringLiteral("+4916"), 4, QStringLiteral("Kiwi ") + QString(200, QLatin1Char('k')), 65);
        }
        if (i == 11) {
            F.AddUnreadable(115);
        }
    }
    F.Flush(200);
}

// Every index of the list holds the expected message, taken newest to oldest and back (pages
// are small and few are kept, so each is dropped and read again), and each is found by its
// identity where it is listed.
void CheckOrder(TSmsIncomingList& List, const QList<TMessage>& Expected)
{
    QCOMPARE(List.Count(), Expected.size());
    QList<int> indices;
    for (int i = 0; i < List.Count(); ++i) {
        indices.append(i);
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const int i : indices) {
            const TSmsIncomingItem* item = List.Items(i);
            const QByteArray where = QByteArray("index ") + QByteArray::number(i);
            QVERIFY2(item->Ident() == Expected[i].Id, where.constData());
            QCOMPARE(item->Number(), Expected[i].Number);
            if (!Expected[i].Text.isEmpty()) {
                QCOMPARE(item->Text(), Expected[i].Text);
            }
        }
        std::reverse(indices.begin(), indices.end());
    }
    for (int i = 0; i < Expected.size(); ++i) {
        QCOMPARE(List.IndexOfIdent(Expected[i].Id), i);
    }
}

// Pages of four messages, two kept, for a scope; the default order put back after it.
class TSmallPages
{
public:
    TSmallPages() { TSmsListBase::SetPaging(4, 2); }
    ~TSmallPages()
    {
        TSmsListBase::SetPaging(TSmsListBase::kPageSize, TSmsListBase::kCachedPages);
        TSmsListBase::SetDefaultOrder(TOrder{});
        TSmsListBase::SetBulkGroupingThreshold(2000);
    }
};

const TOrder kOrders[] = {
    {TSmsListBase::ocStored, true},       {TSmsListBase::ocStored, false}, {TSmsListBase::ocNetworkTime, true},
    {TSmsListBase::ocNetworkTime, false}, {TSmsListBase::ocNumber, true},  {TSmsListBase::ocNumber, false},
    {TSmsListBase::ocText, true},         {TSmsListBase::ocText, false},
};

QByteArray OrderName(const TOrder& Order)
{
    static const char* const names[] = {"stored", "network time", "number", "text"};
    return QByteArray(names[Order.Column]) + (Order.Descending ? " descending" : " ascending");
}

// The connection's handle, which the class keeps to itself and its heirs.
struct THandleOf : TSQLiteDB
{
    static sqlite3* Of(const TSQLiteDB& DB) { return (DB.*(&THandleOf::Handle))(); }
};

// Counts the sorts of the statements that run on a connection while it lives.
class TSortCounter
{
public:
    explicit TSortCounter(TSQLiteDB& DB)
        : FHandle(THandleOf::Of(DB))
    {
        sqlite3_trace_v2(FHandle, SQLITE_TRACE_PROFILE, &TSortCounter::Trace, this);
    }
    ~TSortCounter() { sqlite3_trace_v2(FHandle, 0, nullptr, nullptr); }
    int Sorts() const { return FSorts; }
    const QStringList& Sorting() const { return FSorting; }

private:
    static int Trace(unsigned, void* Context, void* Statement, void*)
    {
        auto* self = static_cast<TSortCounter*>(Context);
        auto* stmt = static_cast<sqlite3_stmt*>(Statement);
        if (sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_SORT, 0) > 0) {
            ++self->FSorts;
            self->FSorting << QString::fromUtf8(sqlite3_sql(stmt));
        }
        return 0;
    }
    sqlite3* FHandle;
    int FSorts = 0;
    QStringList FSorting;
};

} // namespace

class TestSmsOrder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Clock::SetNow(0); }

    void orders_data()
    {
        QTest::addColumn<int>("storing");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        const std::pair<TStoring, const char*> storings[] = {{stHere, "stored here"},
                                                             {stOlderOneByOne, "older program, filed one by one"},
                                                             {stOlderAtOnce, "older program, filed at once"},
                                                             {stKeysMissing, "grouped without keys"}};
        for (const auto& [storing, name] : storings) {
            for (const TOrder& order : kOrders) {
                QTest::addRow("%s, %s", name, OrderName(order).constData())
                    << int(storing) << int(order.Column) << order.Descending;
            }
        }
    }

    // A list holds its messages in the order asked for, whether opened in it or put in it
    // later, and whether its rows were stored here or by older programs; the unread count does
    // not depend on the order.
    void orders()
    {
        QFETCH(int, storing);
        QFETCH(int, column);
        QFETCH(bool, descending);
        const TOrder order{TOrderColumn(column), descending};
        TSmallPages pages;
        TTempDatabase db;
        TOrderFixture fixture(db.DB(), TStoring(storing));
        FillFixture(fixture);
        if (storing == stOlderAtOnce) {
            TSmsListBase::SetBulkGroupingThreshold(0);
        }
        const QList<TMessage> expected = fixture.Expected(order);

        TSmsListBase::SetDefaultOrder(order);
        TSmsIncomingList opened(kDevice);
        opened.LoadMessages();
        QCOMPARE(opened.Order(), order);
        CheckOrder(opened, expected);
        QCOMPARE(opened.UnreadCount(), expected.size());

        TSmsListBase::SetDefaultOrder(TOrder{});
        TSmsIncomingList reordered(kDevice);
        reordered.LoadMessages();
        reordered.Items(0); // a page read in the old order
        reordered.SetOrder(order);
        CheckOrder(reordered, expected);
        QCOMPARE(reordered.UnreadCount(), expected.size());
    }

    void newMessages_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        for (const TOrder& order : kOrders) {
            QTest::newRow(OrderName(order).constData()) << int(order.Column) << order.Descending;
        }
    }

    // New messages go where the order puts them (first, last and between pages), and the list
    // says at which indices, so that a view inserts rows there; a message marked seen on any
    // page counts at once. Removed messages take their place with them.
    void newMessages()
    {
        QFETCH(int, column);
        QFETCH(bool, descending);
        const TOrder order{TOrderColumn(column), descending};
        TSmallPages pages;
        TTempDatabase db;
        TOrderFixture fixture(db.DB(), stHere);
        FillFixture(fixture);
        TSmsListBase::SetDefaultOrder(order);
        TSmsIncomingList inbox(kDevice);
        inbox.LoadMessages();
        QVERIFY(!inbox.TakeInserted().has_value()); // just loaded: read it whole

        // Keys at both ends and between the others of every order.
        const qint64 lastBefore = fixture.Messages().last().Id;
        const QList<std::tuple<QString, int, QString>> fresh{{QStringLiteral("0001"), 20, QStringLiteral("zulu")},
                                                             {QStringLiteral("zz"), -30, QStringLiteral("AAA")},
                                                             {QStringLiteral("+4916"), 6, QStringLiteral("dog")}};
        QStringList pdus;
        for (const auto& [number, minute, text] : fresh) {
            const QDateTime stamp = QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC).addSecs(minute * 60);
            pdus << BuildDeliverPdus(number, stamp, text).front();
        }
        Clock::SetNow(At(300));
        QCOMPARE(inbox.StoreReceived(pdus, false), 3);
        qint64 id = 0;
        {
            TSQLiteLock lock(db.DB());
            TSQLiteQuery q(db.DB(), QStringLiteral("SELECT MAX(ID) FROM INCOMING"));
            db.DB().Next();
            id = db.DB().GetFieldAsInt64(0) - 2;
        }
        for (const auto& [number, minute, text] : fresh) {
            TMessage m;
            m.Id = id++;
            m.Number = number;
            m.Text = text;
            m.TextKey = text.toCaseFolded();
            m.Stamp = QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC).addSecs(minute * 60).toSecsSinceEpoch();
            fixture.Messages().append(m);
        }
        const QList<TMessage> expected = fixture.Expected(order);
        QList<int> where;
        for (int i = 0; i < expected.size(); ++i) {
            if (expected[i].Id > lastBefore) {
                where << i;
            }
        }
        QCOMPARE(inbox.TakeInserted(), std::optional<QList<int>>(where));
        QCOMPARE(inbox.TakeInserted(), std::optional<QList<int>>(QList<int>{}));
        CheckOrder(inbox, expected);
        QCOMPARE(inbox.UnreadCount(), expected.size());
        inbox.Items(expected.size() - 1)->MarkSeen();
        inbox.Items(0);
        QVERIFY(inbox.Items(expected.size() - 1)->Seen());
        QCOMPARE(inbox.UnreadCount(), expected.size() - 1);

        // Messages at a page boundary and at the end leave; the others keep their order.
        QList<TMessage> left = expected;
        const QList<qint64> removed{left[4].Id, left.last().Id};
        left.removeAt(left.size() - 1);
        left.removeAt(4);
        QCOMPARE(inbox.RemoveMessages(removed), 2);
        QVERIFY(!inbox.TakeInserted().has_value());
        CheckOrder(inbox, left);
        // The seen message was among them.
        QCOMPARE(inbox.UnreadCount(), left.size());

        // Opened again, the list reads the same.
        TSmsIncomingList again(kDevice);
        again.LoadMessages();
        CheckOrder(again, left);
    }

    // Opening a list reads its first rows from an index in the order asked for: nothing is
    // sorted, however many messages it holds (a page, read later, holds a bounded number).
    void openingSortsNothing()
    {
        TTempDatabase db;
        QStringList pdus;
        for (int i = 0; i < 300; ++i) {
            const QDateTime stamp = QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC).addSecs((i * 37) % 300);
            pdus << BuildDeliverPdus(QStringLiteral("+49%1").arg((i * 13) % 300), stamp,
                                     QStringLiteral("text %1").arg((i * 7) % 300))
                        .front();
        }
        {
            TSmsIncomingList inbox(kDevice);
            inbox.LoadMessages();
            inbox.StoreReceived(pdus, false);
        }
        for (const TOrder& order : kOrders) {
            TSmsListBase::SetDefaultOrder(order);
            TSmsIncomingList inbox(kDevice);
            {
                TSortCounter counter(db.DB());
                inbox.LoadMessages();
                QVERIFY2(counter.Sorts() == 0,
                         (OrderName(order) + ": " + counter.Sorting().join(QStringLiteral("; ")).toUtf8()).constData());
            }
            QCOMPARE(inbox.Count(), 300);
            QCOMPARE(inbox.Items(0)->Ident(), inbox.Items(inbox.IndexOfIdent(inbox.Items(0)->Ident()))->Ident());
        }
        TSmsListBase::SetDefaultOrder(TOrder{});
    }
};

QTEST_GUILESS_MAIN(TestSmsOrder)
#include "tst_sms_order.moc"
