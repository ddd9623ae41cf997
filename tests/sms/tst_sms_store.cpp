// The message store over a real database file: assembly of long messages, the seen flag, and
// rows that hold no readable text.

#include "core/SmsStore.h"
#include "sms/MBException.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QTest>

using namespace Ombrelay;

namespace
{

const TDateTime kBase = 46365.5; // 2026-12-09 12:00:00

TDateTime At(int Seconds)
{
    return kBase + Seconds / kSecondsPerDay;
}

// Parts of one long message from Sender with reference Ref.
QStringList Parts(const QString& Sender, int Ref, int Count, QChar Letter = QLatin1Char('a'))
{
    QString text;
    for (int i = 0; i < Count; ++i) {
        text += QString(153, QChar(Letter.unicode() + i));
    }
    const QStringList pdus = BuildDeliverPdus(Sender, QDateTime(), text, Ref);
    Q_ASSERT(pdus.size() == Count);
    return pdus;
}

QString Single(const QString& Sender, const QString& Text)
{
    return BuildDeliverPdus(Sender, QDateTime(), Text).front();
}

// Long messages of three parts from one sender, all with reference 31, written in the tables
// below as "A2@1/600": part 2 of message A, stamped by the service centre 1 s after the base
// time ("-" for no stamp), stored 600 s after it. Part n of A reads 153 times the n-th letter
// from 'a', of B from 'k'; C carries the same text as A.
QString LongPart(const QString& Row, int Total)
{
    const QChar message = Row[0];
    const int seq = Row[1].digitValue();
    const QString stampText = Row.section(QLatin1Char('@'), 1).section(QLatin1Char('/'), 0, 0);
    const QDateTime stamp = stampText == QLatin1String("-")
                                ? QDateTime()
                                : QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC).addSecs(stampText.toInt());
    const char first = message == QLatin1Char('B') ? 'k' : 'a';
    QString text;
    for (int i = 0; i < Total; ++i) {
        text += QString(153, QLatin1Char(char(first + i)));
    }
    const QStringList pdus = BuildDeliverPdus(QStringLiteral("+4917"), stamp, text, 31);
    Q_ASSERT(pdus.size() == Total);
    return pdus[seq - 1];
}

int StoredAt(const QString& Row)
{
    return Row.section(QLatin1Char('/'), 1).toInt();
}

// The text a message is expected to show, written "A1[…]A3": parts as above, "[…]" as shown.
QString ExpectedText(const QString& Short)
{
    QString text;
    for (qsizetype i = 0; i < Short.size();) {
        if (Short[i] == QLatin1Char('[')) {
            text += QStringLiteral("[\u2026]");
            i += 3;
            continue;
        }
        const char first = Short[i] == QLatin1Char('B') ? 'k' : 'a';
        text += QString(153, QLatin1Char(char(first + Short[i + 1].digitValue() - 1)));
        i += 2;
    }
    return text;
}

class TRows
{
public:
    explicit TRows(TDatabase& DB, const QString& Table = QStringLiteral("INCOMING"))
        : FDB(DB)
        , FTable(Table)
    {
    }
    qint64 Add(int Seconds, const QString& Pdu, bool Flag = false, bool Rebuilt = false)
    {
        TSQLiteLock lock(FDB);
        const QString flag = FTable == QStringLiteral("INCOMING") ? QStringLiteral("SEEN") : QStringLiteral("SENT");
        TSQLiteQuery q(FDB,
                       QStringLiteral("INSERT INTO %1 (DATE, %2, PDU, REBUILT) VALUES (?, ?, ?, ?)").arg(FTable, flag));
        FDB.SetParamAsDateTime(1, At(Seconds));
        FDB.SetParamAsBool(2, Flag);
        FDB.SetParamAsString(3, Pdu);
        FDB.SetParamAsBool(4, Rebuilt);
        FDB.Exec();
        return FDB.GetLastInsertRowId();
    }
    // A row with the given id, as SQLite hands out once the table's ids have grown that far.
    void AddWithId(qint64 Id, int Seconds, const QString& Pdu)
    {
        TSQLiteLock lock(FDB);
        const QString flag = FTable == QStringLiteral("INCOMING") ? QStringLiteral("SEEN") : QStringLiteral("SENT");
        TSQLiteQuery q(FDB, QStringLiteral("INSERT INTO %1 (ID, DATE, %2, PDU) VALUES (?, ?, 0, ?)").arg(FTable, flag));
        FDB.SetParamAsInt64(1, Id);
        FDB.SetParamAsDateTime(2, At(Seconds));
        FDB.SetParamAsString(3, Pdu);
        FDB.Exec();
    }
    // The ids of the rows whose flag is set, ascending.
    QList<qint64> FlaggedIds()
    {
        TSQLiteLock lock(FDB);
        const QString flag = FTable == QStringLiteral("INCOMING") ? QStringLiteral("SEEN") : QStringLiteral("SENT");
        TSQLiteQuery q(FDB, QStringLiteral("SELECT ID FROM %1 WHERE %2 = 1 ORDER BY ID").arg(FTable, flag));
        QList<qint64> ids;
        while (FDB.Next()) {
            ids << FDB.GetFieldAsInt64(0);
        }
        return ids;
    }
    int SeenRows()
    {
        TSQLiteLock lock(FDB);
        FDB.FetchTable(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1"));
        return FDB.GetResultSet(1).toInt();
    }

private:
    TDatabase& FDB;
    QString FTable;
};

// A stored row as the paging tests write it.
struct TStoredRow
{
    qint64 Id;
    TDateTime Date;
    QString Pdu;
    bool Seen;
};

// Rows of a heavy inbox over many pages: single messages with their own network stamps, and
// every 97th message a long one of three parts whose later parts are stored 300 and 600
// messages later (so that its rows lie pages apart from its first row), rows that do not
// decode, and seen flags on every third row (parts of one message differ). Returns the rows in
// the order stored.
QList<TStoredRow> FillPagedInbox(TDatabase& DB, int Messages)
{
    const QDateTime base(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    QMultiHash<int, QString> later;      // message number -> part to store then
    QList<std::pair<int, QString>> rows; // stored second, PDU
    for (int m = 0; m < Messages + 600; ++m) {
        if (m < Messages) {
            const QDateTime stamp = base.addSecs(m * 10);
            if (m % 97 == 0) {
                QString text;
                for (int p = 0; p < 3; ++p) {
                    text += QString(153, QLatin1Char(char('a' + (m + p) % 26)));
                }
                const QStringList parts = BuildDeliverPdus(QStringLiteral("+4917%1").arg(m % 5), stamp, text, m % 256);
                rows.append({m * 10, parts[0]});
                later.insert(m + 300, parts[1]);
                later.insert(m + 600, parts[2]);
            } else if (m % 500 == 1) {
                rows.append({m * 10, QStringLiteral("0004")});
            } else {
                rows.append({m * 10, BuildDeliverPdus(QStringLiteral("+4918%1").arg(m % 7), stamp,
                                                      QStringLiteral("message %1").arg(m))
                                         .front()});
            }
        }
        for (const QString& part : later.values(m)) {
            rows.append({m * 10 + 1, part});
        }
    }
    QList<TStoredRow> stored;
    TSQLiteLock lock(DB);
    TSQLiteTransaction transaction(DB);
    {
        TSQLiteQuery q(DB, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (?, ?, ?)"));
        for (const auto& [second, pdu] : rows) {
            const bool seen = stored.size() % 3 == 0;
            DB.SetParamAsDateTime(1, At(second));
            DB.SetParamAsBool(2, seen);
            DB.SetParamAsString(3, pdu);
            DB.Exec();
            stored.append({DB.GetLastInsertRowId(), At(second), pdu, seen});
        }
    }
    transaction.Commit();
    return stored;
}

// Sets the bulk grouping threshold for a scope.
class TGroupingThreshold
{
public:
    explicit TGroupingThreshold(int Rows) { TSmsListBase::SetBulkGroupingThreshold(Rows); }
    ~TGroupingThreshold() { TSmsListBase::SetBulkGroupingThreshold(2000); }
};

// Sets the paging of lists opened in a scope: small pages, few kept, so that a few reads drop
// the page of a message taken before.
class TPaging
{
public:
    TPaging(int Messages, int Pages) { TSmsListBase::SetPaging(Messages, Pages); }
    ~TPaging() { TSmsListBase::SetPaging(TSmsListBase::kPageSize, TSmsListBase::kCachedPages); }
};

} // namespace

class TestSmsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { InitSmsTables(); }
    void cleanup() { Clock::SetNow(0); }

    void assembly_data()
    {
        QTest::addColumn<QList<int>>("order");   // which part (1-based) each row holds, in row order
        QTest::addColumn<QList<int>>("seconds"); // each row's time
        QTest::addColumn<int>("messages");
        QTest::addColumn<QString>("newestText");
        const QString a(153, 'a');
        const QString b(153, 'b');
        const QString c(153, 'c');
        QTest::newRow("in order") << QList<int>{1, 2, 3} << QList<int>{0, 1, 2} << 1 << a + b + c;
        QTest::newRow("stored 2, 1") << QList<int>{2, 1} << QList<int>{0, 5} << 1 << a + b;
        QTest::newRow("missing middle part") << QList<int>{1, 3} << QList<int>{0, 5} << 1 << a + c;
        QTest::newRow("60 seconds apart") << QList<int>{1, 2} << QList<int>{0, 60} << 1 << a + b;
        QTest::newRow("61 seconds apart") << QList<int>{1, 2} << QList<int>{0, 61} << 2 << b;
        QTest::newRow("window from the first part") << QList<int>{1, 2, 3} << QList<int>{0, 50, 100} << 2 << c;
        QTest::newRow("earlier within the window") << QList<int>{2, 1} << QList<int>{60, 0} << 1 << a + b;
    }

    // Parts join one message within 60 s of the part that created it, texts in part order.
    void assembly()
    {
        QFETCH(QList<int>, order);
        QFETCH(QList<int>, seconds);
        QFETCH(int, messages);
        QFETCH(QString, newestText);
        TTempDatabase db;
        TRows rows(db.DB());
        const QStringList parts = Parts(QStringLiteral("+4917"), 42, 3);
        for (int i = 0; i < order.size(); ++i) {
            rows.Add(seconds[i], parts[order[i] - 1]);
        }
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Count(), messages);
        QCOMPARE(inbox.Items(0)->Text(), newestText);
        QCOMPARE(inbox.Items(0)->Number(), QStringLiteral("+4917"));
        if (messages == 1) {
            QCOMPARE(inbox.Items(0)->DateTime(), At(seconds[0]));
            QCOMPARE(inbox.Items(0)->RowIDs().size(), order.size());
            QCOMPARE(inbox.Items(0)->RefNo(), 42);
            QCOMPARE(inbox.Items(0)->Total(), 3);
        }
    }

    void longMessagesByNetworkTime_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<QStringList>("rows");     // in the order stored, see LongPart
        QTest::addColumn<QStringList>("messages"); // newest first, see ExpectedText
        QTest::addColumn<QStringList>("marks");    // the incomplete mark of each, "" for whole
        const QString whole;
        const QString oneOfTwo = QStringLiteral("(incomplete: 1 of 2 parts)");
        QTest::newRow("two messages 31 s apart") << 2 << QStringList{"A1@0/0", "A2@1/1", "B1@31/31", "B2@32/32"}
                                                 << QStringList{"B1B2", "A1A2"} << QStringList{whole, whole};
        QTest::newRow("two messages 31 s apart, parts interleaved")
            << 2 << QStringList{"A1@0/0", "B1@31/31", "A2@1/40", "B2@32/41"} << QStringList{"B1B2", "A1A2"}
            << QStringList{whole, whole};
        QTest::newRow("the same text twice, 31 s apart") << 2 << QStringList{"A1@0/0", "A2@1/1", "C1@31/31", "C2@32/32"}
                                                         << QStringList{"A1A2", "A1A2"} << QStringList{whole, whole};
        QTest::newRow("same stamp, sequence number repeated with another text")
            << 2 << QStringList{"A1@0/0", "B1@0/0", "A2@0/1", "B2@0/1"} << QStringList{"B1B2", "A1A2"}
            << QStringList{whole, whole};
        QTest::newRow("program down between the parts")
            << 2 << QStringList{"A1@0/0", "A2@1/600"} << QStringList{"A1A2"} << QStringList{whole};
        QTest::newRow("stored 3, 1, 2 across a restart")
            << 3 << QStringList{"A3@2/0", "A1@0/900", "A2@1/901"} << QStringList{"A1A2A3"} << QStringList{whole};
        QTest::newRow("stored together, sent minutes apart")
            << 2 << QStringList{"A1@0/0", "A2@200/1"} << QStringList{"[…]A2", "A1[…]"}
            << QStringList{oneOfTwo, oneOfTwo};
        QTest::newRow("missing middle part") << 3 << QStringList{"A1@0/0", "A3@2/2"} << QStringList{"A1[…]A3"}
                                             << QStringList{QStringLiteral("(incomplete: 2 of 3 parts)")};
        QTest::newRow("only the last part") << 3 << QStringList{"A3@2/0"} << QStringList{"[…][…]A3"}
                                            << QStringList{QStringLiteral("(incomplete: 1 of 3 parts)")};
        QTest::newRow("no stamps: sequence number repeated")
            << 2 << QStringList{"A1@-/0", "B1@-/5", "A2@-/6"} << QStringList{"B1[…]", "A1A2"}
            << QStringList{oneOfTwo, whole};
        QTest::newRow("no stamps: stored 61 s apart")
            << 2 << QStringList{"A1@-/0", "A2@-/61"} << QStringList{"[…]A2", "A1[…]"}
            << QStringList{oneOfTwo, oneOfTwo};
    }

    // Parts of long messages from one sender with one reference are told apart by the
    // network's time stamps and by their sequence numbers: every row's text is listed in exactly
    // one message, parts missing are shown as missing, and loading the rows again groups them as
    // they were grouped on arrival.
    void longMessagesByNetworkTime()
    {
        QFETCH(int, total);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, marks);
        TTempDatabase db;
        TSmsIncomingList live;
        for (const QString& row : rows) {
            Clock::SetNow(At(StoredAt(row)));
            QCOMPARE(live.StoreReceived({LongPart(row, total)}, false), 1);
        }
        TSmsIncomingList loaded;
        loaded.LoadMessages();
        for (TSmsIncomingList* list : {&live, &loaded}) {
            const char* how = list == &live ? "on arrival" : "loaded";
            QCOMPARE(list->Count(), messages.size());
            QSet<qint64> rowIds;
            for (int i = 0; i < list->Count(); ++i) {
                const TSmsIncomingItem* item = list->Items(i);
                QVERIFY2(item->DisplayText() == ExpectedText(messages[i]),
                         qPrintable(QStringLiteral("%1, message %2").arg(QLatin1String(how)).arg(i)));
                QCOMPARE(item->Incomplete(), !marks[i].isEmpty());
                if (item->Incomplete()) {
                    QCOMPARE(TSmsItem::IncompleteMark(item->PartsPresent(), item->Total()), marks[i]);
                }
                for (qint64 id : item->RowIDs()) {
                    QVERIFY2(!rowIds.contains(id), how);
                    rowIds.insert(id);
                }
            }
            QCOMPARE(rowIds.size(), rows.size());
        }
    }

    // Parts join only a message with the same sender, reference and announced total; a part
    // with reference 0 never joins a single-part message.
    void joinsOnlyItsOwnMessage()
    {
        TTempDatabase db;
        TRows rows(db.DB());
        const QStringList alice = Parts(QStringLiteral("+4917"), 7, 2, QLatin1Char('a'));
        const QStringList bob = Parts(QStringLiteral("+4918"), 7, 2, QLatin1Char('k'));
        const QStringList three = Parts(QStringLiteral("+4917"), 7, 3, QLatin1Char('p'));
        const QStringList zero = Parts(QStringLiteral("+4917"), 0, 2, QLatin1Char('u'));
        rows.Add(0, alice[0]);
        rows.Add(1, bob[0]);
        rows.Add(2, three[0]);
        rows.Add(3, Single(QStringLiteral("+4917"), QStringLiteral("single")));
        rows.Add(4, zero[0]);
        rows.Add(5, bob[1]);
        rows.Add(6, alice[1]);
        rows.Add(7, zero[1]);
        rows.Add(8, three[1]);
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Count(), 5);
        QHash<QString, QString> byStart;
        for (int i = 0; i < inbox.Count(); ++i) {
            byStart.insert(inbox.Items(i)->Text().left(1) + inbox.Items(i)->Number(), inbox.Items(i)->Text());
        }
        QCOMPARE(byStart.value("a+4917"), QString(153, 'a') + QString(153, 'b'));
        QCOMPARE(byStart.value("k+4918"), QString(153, 'k') + QString(153, 'l'));
        QCOMPARE(byStart.value("p+4917"), QString(153, 'p') + QString(153, 'q'));
        QCOMPARE(byStart.value("s+4917"), QStringLiteral("single"));
        QCOMPARE(byStart.value("u+4917"), QString(153, 'u') + QString(153, 'v'));
    }

    // Index 0 is the newest message; outside the range the list raises.
    void newestFirst()
    {
        TTempDatabase db;
        TRows rows(db.DB());
        for (int i = 0; i < 3; ++i) {
            rows.Add(i * 100, Single(QStringLiteral("1"), QString::number(i)));
        }
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Items(0)->Text(), QStringLiteral("2"));
        QCOMPARE(inbox.Items(2)->Text(), QStringLiteral("0"));
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, inbox.Items(3));
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, inbox.Items(-1));
        // A PDU added while running is the newest.
        TSmsIncomingItem* added = inbox.AddMessage(At(500), Single(QStringLiteral("1"), QStringLiteral("3")), 99);
        QCOMPARE(inbox.Items(0), added);
        QCOMPARE(inbox.Count(), 4);
    }

    // Seen when any row is; MarkSeen writes every row once and never again.
    void seen()
    {
        TTempDatabase db;
        TRows rows(db.DB());
        const QStringList mixed = Parts(QStringLiteral("+4917"), 1, 2);
        const QStringList unseen = Parts(QStringLiteral("+4917"), 2, 3, QLatin1Char('k'));
        rows.Add(0, mixed[0], true);
        rows.Add(1, mixed[1], false);
        for (int i = 0; i < 3; ++i) {
            rows.Add(10 + i, unseen[i], false);
        }
        rows.Add(20, Single(QStringLiteral("5"), QStringLiteral("x")), false);
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Count(), 3);
        QCOMPARE(inbox.UnreadCount(), 2);
        TSmsIncomingItem* mixedItem = inbox.Items(2);
        QVERIFY(mixedItem->Seen());

        TSmsIncomingItem* three = inbox.Items(1);
        QCOMPARE(three->RowIDs().size(), 3);
        QCOMPARE(rows.SeenRows(), 1);
        three->MarkSeen();
        QVERIFY(three->Seen());
        QCOMPARE(rows.SeenRows(), 4);
        QCOMPARE(inbox.UnreadCount(), 1);
        {
            TSQLiteLock lock(db.DB());
            db.DB().ExecSQL(QStringLiteral("UPDATE INCOMING SET SEEN = 0"));
        }
        three->MarkSeen(); // already seen: nothing is written
        QCOMPARE(rows.SeenRows(), 0);
    }

    void rowIdBeyond32Bits_data()
    {
        QTest::addColumn<bool>("loaded");
        QTest::newRow("row loaded from the table") << true;
        QTest::newRow("row stored while running") << false;
    }

    // A row id beyond 2^32 names its own row: marking its message seen marks that row and no
    // other, although a row exists whose id is the same number cut to 32 bits.
    void rowIdBeyond32Bits()
    {
        QFETCH(bool, loaded);
        constexpr qint64 kBig = 5000000000;
        constexpr qint64 kCut = qint64(quint32(kBig)); // 705032704
        TTempDatabase db;
        TRows rows(db.DB());
        const QString big = Single(QStringLiteral("+4917"), QStringLiteral("big"));
        rows.AddWithId(kCut, 0, Single(QStringLiteral("+4917"), QStringLiteral("cut")));
        // Stored while running, the row takes the id after the highest one.
        rows.AddWithId(loaded ? kBig : kBig - 1, 10,
                       loaded ? big : Single(QStringLiteral("+4917"), QStringLiteral("x")));
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        if (!loaded) {
            QCOMPARE(inbox.StoreReceived({big}, false), 1);
        }
        TSmsIncomingItem* item = inbox.Items(0);
        QCOMPARE(item->Text(), QStringLiteral("big"));
        QCOMPARE(item->RowIDs().size(), 1);
        QCOMPARE(item->RowIDs().front(), kBig);
        item->MarkSeen();
        QCOMPARE(rows.FlaggedIds(), QList<qint64>{kBig});
        // And so it loads again: only that message is seen.
        TSmsIncomingList reloaded;
        reloaded.LoadMessages();
        QCOMPARE(reloaded.Items(0)->Text(), QStringLiteral("big"));
        QVERIFY(reloaded.Items(0)->Seen());
        QCOMPARE(reloaded.UnreadCount(), reloaded.Count() - 1);
    }

    // Whether a received PDU is an entry read again or a message: only a row of the same modem
    // that still records the entry (same key, same PDU) makes it one read again; rows of older
    // programs, which record no modem, fall back to the PDU text alone.
    void entryReadAgainOrNewMessage_data()
    {
        QTest::addColumn<QString>("storedBy"); // "" for an older program's row
        QTest::addColumn<QString>("storedKey");
        QTest::addColumn<bool>("deleteConfirmed");
        QTest::addColumn<QString>("readBy");
        QTest::addColumn<QStringList>("readKeys"); // one copy of the PDU each
        QTest::addColumn<int>("stored");
        QTest::newRow("the entry read again") << "modem-a"
                                              << "7" << false << "modem-a" << QStringList{"7"} << 0;
        QTest::newRow("the same text at another place") << "modem-a"
                                                        << "7" << false << "modem-a" << QStringList{"8"} << 1;
        QTest::newRow("the place used again after the delete") << "modem-a"
                                                               << "7" << true << "modem-a" << QStringList{"7"} << 1;
        QTest::newRow("another modem") << "modem-b"
                                       << "7" << false << "modem-a" << QStringList{"7"} << 1;
        QTest::newRow("an older program's row") << ""
                                                << "" << false << "modem-a" << QStringList{"7"} << 0;
        QTest::newRow("two copies in one read") << "modem-b"
                                                << "1" << false << "modem-a" << QStringList{"7", "8"} << 2;
        QTest::newRow("no modem, as before") << ""
                                             << "" << false << "" << QStringList{"7"} << 0;
    }
    void entryReadAgainOrNewMessage()
    {
        QFETCH(QString, storedBy);
        QFETCH(QString, storedKey);
        QFETCH(bool, deleteConfirmed);
        QFETCH(QString, readBy);
        QFETCH(QStringList, readKeys);
        QFETCH(int, stored);
        TTempDatabase db;
        const QString pdu = Single(QStringLiteral("+4917"), QStringLiteral("Your code is 1234"));
        if (storedBy.isEmpty()) {
            TRows(db.DB()).Add(0, pdu);
        } else {
            TSmsIncomingList first(storedBy);
            first.LoadMessages();
            QCOMPARE(first.StoreReceived({pdu}, false, {storedKey}), 1);
            if (deleteConfirmed) {
                TSmsIncomingList::ForgetDeviceKeys(storedBy, {storedKey});
            }
        }
        // A new run: the list knows only what the file holds.
        TSmsIncomingList inbox(readBy);
        inbox.LoadMessages();
        const int before = inbox.Count();
        const QStringList pdus(readKeys.size(), pdu);
        QCOMPARE(inbox.StoreReceived(pdus, false, readKeys), stored);
        QCOMPARE(inbox.Count(), before + stored);
        // And the next run sees the same.
        TSmsIncomingList again(readBy);
        again.LoadMessages();
        QCOMPARE(again.Count(), inbox.Count());
    }

    void rowsAsStored_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("rebuilt");
        QTest::addColumn<QString>("flag"); // the status column as stored
        QTest::newRow("received") << QStringLiteral("INCOMING") << false << QStringLiteral("integer 0");
        QTest::newRow("received, rebuilt") << QStringLiteral("INCOMING") << true << QStringLiteral("integer 0");
        QTest::newRow("submitted") << QStringLiteral("OUTGOING") << false << QStringLiteral("integer 0");
        QTest::newRow("submitted, rebuilt") << QStringLiteral("OUTGOING") << true << QStringLiteral("integer 0");
        QTest::newRow("confirmed") << QStringLiteral("OUTGOING") << false << QStringLiteral("integer 1");
        QTest::newRow("confirmed, rebuilt") << QStringLiteral("OUTGOING") << true << QStringLiteral("integer 1");
    }

    // The rows the lists write, column by column with their storage classes: the form other
    // programs and older versions read. Confirmed rows are filed into the outbox as sent.
    void rowsAsStored()
    {
        QFETCH(QString, table);
        QFETCH(bool, rebuilt);
        QFETCH(QString, flag);
        TTempDatabase db;
        Clock::SetNow(At(7));
        const QString pdu = Single(QStringLiteral("+4917"), QStringLiteral("stored"));
        TSmsOutgoingList outbox;
        if (table == QLatin1String("INCOMING")) {
            TSmsIncomingList inbox;
            QCOMPARE(inbox.StoreReceived({pdu}, rebuilt), 1);
            QCOMPARE(inbox.Count(), 1);
        } else {
            const QList<qint64> ids = TSmsOutgoingList::StoreSubmitted({pdu}, rebuilt);
            QCOMPARE(ids.size(), 1);
            if (flag.endsWith(QLatin1Char('1'))) {
                QCOMPARE(outbox.ConfirmSent(ids, rebuilt), 1);
                QVERIFY(outbox.Items(0)->Sent());
                QCOMPARE(outbox.Items(0)->Rebuilt(), rebuilt);
                QCOMPARE(outbox.Items(0)->DateTime(), At(7));
            }
        }
        Clock::SetNow(0);
        const QString status = table == QLatin1String("INCOMING") ? QStringLiteral("SEEN") : QStringLiteral("SENT");
        TSQLiteLock lock(db.DB());
        db.DB().FetchTable(QStringLiteral("SELECT ID || ' ' || typeof(DATE) || ' ' || DATE, typeof(%2) || ' ' || %2, "
                                          "typeof(PDU) || ' ' || PDU, typeof(REBUILT) || ' ' || REBUILT FROM %1")
                               .arg(table, status));
        QCOMPARE(db.DB().GetResultSet(4), QStringLiteral("1 text 2026-12-09 12:00:07"));
        QCOMPARE(db.DB().GetResultSet(5), flag);
        QCOMPARE(db.DB().GetResultSet(6), QStringLiteral("text ") + pdu);
        QCOMPARE(db.DB().GetResultSet(7), rebuilt ? QStringLiteral("integer 1") : QStringLiteral("integer 0"));
        QCOMPARE(db.DB().GetResultSet(8), QString()); // one row only
    }

    // What becomes of the rows of a message that was not sent whole: parts refused are marked
    // failed, a message none of whose parts left is withdrawn, and neither touches a row already
    // sent. A program that knows only SENT still writes rows and reads them as before.
    void outgoingRowsOfAFailedSend()
    {
        TTempDatabase db;
        const QStringList parts = Parts(QStringLiteral("+4917"), 5, 3);
        const QList<qint64> sent = TSmsOutgoingList::StoreSubmitted(parts, false);
        TSmsOutgoingList::MarkSent(sent.mid(0, 1));
        TSmsOutgoingList::MarkFailed(sent);
        const QList<qint64> withdrawn = TSmsOutgoingList::StoreSubmitted(parts.mid(0, 2), true);
        TSmsOutgoingList::MarkSent(withdrawn.mid(1, 1));
        TSmsOutgoingList::Withdraw(withdrawn);
        {
            TSQLiteLock lock(db.DB());
            db.DB().ExecSQL(
                QStringLiteral("INSERT INTO OUTGOING (DATE, SENT, PDU) VALUES ('2017-03-09 14:05:08', 0, '%1')")
                    .arg(parts[0]));
            db.DB().FetchTable(QStringLiteral("SELECT group_concat(S, ' ') FROM (SELECT ID || ':' || SENT || FAILED || "
                                              "REBUILT AS S FROM OUTGOING ORDER BY ID)"));
            QCOMPARE(db.DB().GetResultSet(1), QStringLiteral("1:100 2:010 3:010 5:101 6:000"));
        }
        // Rows 1, 2, 3 and 5 are parts of one message; row 6 is a message of its own.
        TSmsOutgoingList outbox;
        outbox.LoadMessages();
        QCOMPARE(outbox.Count(), 2);
        QVERIFY(outbox.Items(1)->Sent());
        QVERIFY(!outbox.Items(0)->Sent());
    }

    // Rows that hold no readable text are listed for what they are, with their PDU; every
    // other row still loads, and the rows stay stored.
    void rowsThatAreNotText()
    {
        TTempDatabase db;
        TRows rows(db.DB());
        const QStringList parts = Parts(QStringLiteral("+4917"), 9, 2);
        rows.Add(0, parts[0]);
        rows.Add(1, QStringLiteral("00040G81"));                                         // not hex
        rows.Add(2, QStringLiteral("000405812143F500049930925161958002E834"));           // 8-bit data
        rows.Add(3, QStringLiteral("000602048121430000000000000000000000000000000000")); // delivery report
        rows.Add(4, QStringLiteral("0004"));                                             // cut short
        rows.Add(5, parts[1]);
        rows.Add(6, Single(QStringLiteral("+4917"), QStringLiteral("after")));
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Count(), 6);
        QCOMPARE(inbox.Items(0)->Text(), QStringLiteral("after"));
        QCOMPARE(inbox.Items(0)->Kind(), ikText);
        QCOMPARE(inbox.Items(1)->Kind(), ikUnreadable);
        QCOMPARE(inbox.Items(1)->Pdu(), QStringLiteral("0004"));
        QVERIFY(inbox.Items(1)->Error().startsWith(QStringLiteral("PDU decoding error: ")));
        QVERIFY(inbox.Items(1)->DisplayText().contains(QStringLiteral("0004")));
        QCOMPARE(inbox.Items(2)->Kind(), ikStatusReport);
        QCOMPARE(inbox.Items(2)->Number(), QStringLiteral("1234"));
        QCOMPARE(inbox.Items(2)->DisplayText(), QStringLiteral("Delivery report"));
        QCOMPARE(inbox.Items(3)->Kind(), ikNotText);
        QVERIFY(inbox.Items(3)->DisplayText().contains(QStringLiteral("0x04")));
        QCOMPARE(inbox.Items(4)->Kind(), ikUnreadable);
        QVERIFY(inbox.Items(4)->Error().contains(QStringLiteral("not a hexadecimal digit")));
        QCOMPARE(inbox.Items(5)->Text(), QString(153, 'a') + QString(153, 'b'));
        QCOMPARE(inbox.UnreadCount(), 6);
        // Nothing was removed.
        TSQLiteLock lock(db.DB());
        db.DB().FetchTable(QStringLiteral("SELECT COUNT(*) FROM INCOMING"));
        QCOMPARE(db.DB().GetResultSet(1), QStringLiteral("7"));
    }

    void pagedListAsInMemory_data()
    {
        QTest::addColumn<int>("threshold");
        QTest::newRow("older rows filed all at once") << 0;
        QTest::newRow("older rows filed one by one") << 1000000;
    }

    // A list read page by page from the table holds the same messages as the same rows filed
    // in memory in one pass: long messages whose rows lie pages apart are whole on whichever
    // page holds their first row, every row is in exactly one message, and the seen flags and
    // unread count are exact, also after pages were dropped and read again in both directions
    // and after the list was opened again.
    void pagedListAsInMemory()
    {
        QFETCH(int, threshold);
        TGroupingThreshold grouping(threshold);
        TTempDatabase db;
        const int pages = TSmsListBase::kCachedPages + 2;
        const QList<TStoredRow> rows = FillPagedInbox(db.DB(), pages * TSmsListBase::kPageSize);
        QHash<qint64, bool> seenRows;
        TSmsIncomingList memory;
        for (const TStoredRow& row : rows) {
            memory.AddMessage(row.Date, row.Pdu, row.Id);
            seenRows.insert(row.Id, row.Seen);
        }
        int unread = 0;
        for (int i = 0; i < memory.Count(); ++i) {
            bool seen = false;
            for (qint64 id : memory.Items(i)->RowIDs()) {
                seen = seen || seenRows.value(id);
            }
            unread += seen ? 0 : 1;
        }
        QVERIFY(memory.Count() > pages * TSmsListBase::kPageSize - 10);

        for (int pass = 0; pass < 2; ++pass) {
            TSmsIncomingList inbox;
            inbox.LoadMessages();
            QCOMPARE(inbox.Count(), memory.Count());
            QCOMPARE(inbox.UnreadCount(), unread);
            auto compare = [&](int i) {
                const TSmsIncomingItem* got = inbox.Items(i);
                const TSmsIncomingItem* want = memory.Items(i);
                const QByteArray where = QByteArray("message ") + QByteArray::number(i);
                QVERIFY2(got->DisplayText() == want->DisplayText(), where.constData());
                QCOMPARE(got->Number(), want->Number());
                QCOMPARE(got->DateTime(), want->DateTime());
                QCOMPARE(got->Kind(), want->Kind());
                QCOMPARE(got->TimeStamp(), want->TimeStamp());
                QCOMPARE(QList<qint64>(got->RowIDs().begin(), got->RowIDs().end()),
                         QList<qint64>(want->RowIDs().begin(), want->RowIDs().end()));
                bool seen = false;
                for (qint64 id : want->RowIDs()) {
                    seen = seen || seenRows.value(id);
                }
                QVERIFY2(got->Seen() == seen, where.constData());
            };
            // Newest to oldest, then back: more pages than are kept, so every page is read twice.
            for (int i = 0; i < inbox.Count(); ++i) {
                compare(i);
                if (QTest::currentTestFailed()) {
                    return;
                }
            }
            for (int i = inbox.Count() - 1; i >= 0; --i) {
                compare(i);
                if (QTest::currentTestFailed()) {
                    return;
                }
            }
        }

        // Marking a message of the oldest page seen counts at once and survives the page being
        // dropped and the list being opened again.
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        int oldUnseen = inbox.Count() - 1;
        while (inbox.Items(oldUnseen)->Seen()) {
            --oldUnseen;
        }
        inbox.Items(oldUnseen)->MarkSeen();
        QCOMPARE(inbox.UnreadCount(), unread - 1);
        for (int i = 0; i < inbox.Count(); i += TSmsListBase::kPageSize) {
            inbox.Items(i);
        }
        QVERIFY(inbox.Items(oldUnseen)->Seen());
        QCOMPARE(inbox.UnreadCount(), unread - 1);
        TSmsIncomingList again;
        again.LoadMessages();
        QCOMPARE(again.UnreadCount(), unread - 1);
    }

    // Messages that come to a list read page by page: a new message is the newest and counts as
    // unread; a late part of a long message whose first part lies on the oldest page joins it
    // there (no new message, no new unread one); a part of a seen message keeps it seen. The
    // list opened again shows the same.
    void newMessagesOnAPagedList()
    {
        TTempDatabase db;
        TRows rows(db.DB());
        const QDateTime base(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
        const QStringList unseenLong = BuildDeliverPdus(QStringLiteral("+4917"), base, QString(300, 'u'), 5);
        const QStringList seenLong = BuildDeliverPdus(QStringLiteral("+4917"), base.addSecs(30), QString(300, 's'), 6);
        rows.Add(0, unseenLong[0], false);
        rows.Add(1, seenLong[0], true);
        const int singles = 2 * TSmsListBase::kPageSize;
        for (int i = 0; i < singles; ++i) {
            rows.Add(10 + i, Single(QStringLiteral("+4918"), QStringLiteral("single %1").arg(i)), i % 2 == 0);
        }
        TSmsIncomingList inbox(QStringLiteral("modem-a"));
        inbox.LoadMessages();
        const int count = singles + 2;
        QCOMPARE(inbox.Count(), count);
        const int unread = singles / 2 + 1;
        QCOMPARE(inbox.UnreadCount(), unread);
        QCOMPARE(inbox.Items(count - 1)->Incomplete(), true);

        Clock::SetNow(At(5000));
        QCOMPARE(inbox.StoreReceived({unseenLong[1], seenLong[1]}, false, {QStringLiteral("1"), QStringLiteral("2")}),
                 2);
        QCOMPARE(inbox.Count(), count);
        QCOMPARE(inbox.UnreadCount(), unread);
        QCOMPARE(inbox.Items(count - 1)->Text(), QString(300, 'u'));
        QCOMPARE(inbox.Items(count - 2)->Text(), QString(300, 's'));
        QVERIFY(inbox.Items(count - 2)->Seen());

        QCOMPARE(inbox.StoreReceived({Single(QStringLiteral("+4919"), QStringLiteral("newest"))}, false,
                                     {QStringLiteral("3")}),
                 1);
        QCOMPARE(inbox.Count(), count + 1);
        QCOMPARE(inbox.UnreadCount(), unread + 1);
        QCOMPARE(inbox.Items(0)->Text(), QStringLiteral("newest"));
        QVERIFY(!inbox.Items(0)->Seen());

        TSmsIncomingList again(QStringLiteral("modem-a"));
        again.LoadMessages();
        QCOMPARE(again.Count(), count + 1);
        QCOMPARE(again.UnreadCount(), unread + 1);
        QCOMPARE(again.Items(0)->Text(), QStringLiteral("newest"));
        QCOMPARE(again.Items(count)->Text(), QString(300, 'u'));
        QCOMPARE(again.Items(count - 1)->Text(), QString(300, 's'));
        QVERIFY(again.Items(count - 1)->Seen());
        QCOMPARE(again.Items(count)->RowIDs().size(), 2);
    }

    // Rows an older program stores between two starts (no grouping) are filed at the next
    // start, joining a message filed before where their part belongs.
    void rowsOfAnOlderProgramBetweenStarts()
    {
        TTempDatabase db;
        TRows rows(db.DB());
        const QDateTime base(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
        const QStringList parts = BuildDeliverPdus(QStringLiteral("+4917"), base, QString(300, 'o'), 9);
        rows.Add(0, parts[0]);
        rows.Add(1, Single(QStringLiteral("+4918"), QStringLiteral("before")));
        {
            TSmsIncomingList first;
            first.LoadMessages();
            QCOMPARE(first.Count(), 2);
        }
        rows.Add(600, parts[1]);
        rows.Add(601, Single(QStringLiteral("+4918"), QStringLiteral("after")));
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Count(), 3);
        QCOMPARE(inbox.Items(0)->Text(), QStringLiteral("after"));
        QCOMPARE(inbox.Items(2)->Text(), QString(300, 'o'));
        QCOMPARE(inbox.UnreadCount(), 3);
    }

    // The rebuilt flag, the sent flag and the stored-PDU lookup.
    // Deleting takes every row of each chosen message out of the table and nothing else, and
    // the list goes on filing late parts into the messages that are left.
    void removeMessages_data()
    {
        QTest::addColumn<QStringList>("removed");
        QTest::addRow("open long message") << QStringList{QStringLiteral("A")};
        QTest::addRow("single and open long") << QStringList{QStringLiteral("S"), QStringLiteral("A")};
        QTest::addRow("complete long message") << QStringList{QStringLiteral("L")};
        QTest::addRow("all but one") << QStringList{QStringLiteral("L"), QStringLiteral("S"), QStringLiteral("A")};
        QTest::addRow("the open one that stays") << QStringList{QStringLiteral("B")};
    }

    void removeMessages()
    {
        QFETCH(QStringList, removed);
        TTempDatabase db;
        TRows rows(db.DB());
        const QStringList longParts = Parts(QStringLiteral("+4919"), 4, 3, QLatin1Char('p'));
        // A and B: two messages of one sender with one reference, both waiting for part 2.
        const QStringList a = Parts(QStringLiteral("+4917"), 9, 2, QLatin1Char('a'));
        const QStringList b = Parts(QStringLiteral("+4917"), 9, 2, QLatin1Char('k'));
        QHash<QString, qint64> ident;
        ident.insert(QStringLiteral("L"), rows.Add(0, longParts[0]));
        rows.Add(1, longParts[1]);
        rows.Add(2, longParts[2]);
        ident.insert(QStringLiteral("A"), rows.Add(10, a[0]));
        ident.insert(QStringLiteral("S"), rows.Add(11, Single(QStringLiteral("+4917"), QStringLiteral("single"))));
        ident.insert(QStringLiteral("B"), rows.Add(12, b[0]));
        const QHash<QString, int> rowsOf{{QStringLiteral("L"), 3},
                                         {QStringLiteral("A"), 1},
                                         {QStringLiteral("S"), 1},
                                         {QStringLiteral("B"), 1}};
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Count(), 4);

        QList<qint64> idents;
        int gone = 0;
        for (const QString& name : removed) {
            idents << ident.value(name);
            gone += rowsOf.value(name);
        }
        QCOMPARE(inbox.RemoveMessages(idents + QList<qint64>{987654}), removed.size());
        QCOMPARE(inbox.Count(), 4 - removed.size());
        {
            TSQLiteLock lock(db.DB());
            db.DB().FetchTable(QStringLiteral("SELECT COUNT(*) FROM INCOMING"));
            QCOMPARE(db.DB().GetResultSet(1).toInt(), 6 - gone);
        }
        for (auto it = ident.cbegin(); it != ident.cend(); ++it) {
            QCOMPARE(inbox.IndexOfIdent(it.value()) >= 0, !removed.contains(it.key()));
        }

        // Part 2 of B, late: it joins the oldest message left that waits for a part 2 (A before B),
        // never a removed one.
        // Stored as the program stores a part that arrives: the list files it against the table.
        Clock::SetNow(At(13));
        QCOMPARE(inbox.StoreReceived({b[1]}, false), 1);
        qint64 late = 0;
        {
            TSQLiteLock lock(db.DB());
            db.DB().FetchTable(QStringLiteral("SELECT MAX(ID) FROM INCOMING"));
            late = db.DB().GetResultSet(1).toLongLong();
        }
        const QList<qint64> filed = inbox.TakeFiled();
        QCOMPARE(filed.size(), 1);
        TSmsIncomingItem* joined = inbox.Items(inbox.IndexOfIdent(filed.front()));
        if (!removed.contains(QStringLiteral("A"))) {
            QCOMPARE(joined->Ident(), ident.value(QStringLiteral("A")));
        } else if (!removed.contains(QStringLiteral("B"))) {
            QCOMPARE(joined->Ident(), ident.value(QStringLiteral("B")));
            QCOMPARE(joined->Text(), QString(153, 'k') + QString(153, 'l'));
        } else {
            QCOMPARE(joined->Ident(), late);
        }
        QVERIFY(!joined->Incomplete() || joined->Ident() == late);
        QCOMPARE(inbox.Count(), 4 - removed.size() + (joined->Ident() == late ? 1 : 0));

        // What the next start reads is what the list shows.
        TSmsIncomingList reloaded;
        reloaded.LoadMessages();
        QCOMPARE(reloaded.Count(), inbox.Count());
        for (int i = 0; i < inbox.Count(); ++i) {
            QCOMPARE(reloaded.Items(i)->Ident(), inbox.Items(i)->Ident());
            QCOMPARE(reloaded.Items(i)->DisplayText(), inbox.Items(i)->DisplayText());
        }
    }

    void actOnAMessageWhosePageWasDropped_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("target"); // "long": 3 parts, rows pages apart; "single"
        for (const char* action : {"delete", "mark read", "mark unread"}) {
            for (const char* target : {"long", "single"}) {
                QTest::addRow("%s %s", action, target) << QString::fromLatin1(action) << QString::fromLatin1(target);
            }
        }
    }

    // A message is taken by identity, the list reads enough other pages that its page is
    // dropped, and the action looks it up again: it hits that message (every row of it, no row
    // of another), the unread count follows, and the next start reads the same.
    void actOnAMessageWhosePageWasDropped()
    {
        QFETCH(QString, action);
        QFETCH(QString, target);
        TPaging paging(2, 1);
        TTempDatabase db;
        TRows rows(db.DB());
        const QStringList parts = Parts(QStringLiteral("+4917"), 7, 3, QLatin1Char('l'));
        const bool seenBefore = action == QLatin1String("mark unread");
        QList<qint64> longRows;
        qint64 single = 0;
        for (int i = 0; i < 12; ++i) {
            if (i == 2) {
                longRows << rows.Add(i, parts[0], seenBefore);
            }
            if (i == 5) {
                single = rows.Add(i, Single(QStringLiteral("+4918"), QStringLiteral("target")), seenBefore);
                continue;
            }
            rows.Add(i, Single(QStringLiteral("+4919"), QStringLiteral("other %1").arg(i)), i % 2 == 0);
        }
        // The later parts come after every other row, on other pages than the first.
        longRows << rows.Add(30, parts[1], seenBefore) << rows.Add(31, parts[2], seenBefore);

        TSmsIncomingList inbox;
        inbox.LoadMessages();
        const int count = inbox.Count();
        QCOMPARE(count, 13);
        const int unread = inbox.UnreadCount();
        QHash<qint64, QString> before;
        for (int i = 0; i < count; ++i) {
            before.insert(inbox.Items(i)->Ident(), inbox.Items(i)->DisplayText());
        }
        const qint64 ident = target == QLatin1String("long") ? longRows.front() : single;
        const QString text =
            target == QLatin1String("long")
                ? QString(153, QLatin1Char('l')) + QString(153, QLatin1Char('m')) + QString(153, QLatin1Char('n'))
                : QStringLiteral("target");
        QCOMPARE(before.value(ident), text);
        QCOMPARE(inbox.IndexOfRow(target == QLatin1String("long") ? longRows.back() : single),
                 inbox.IndexOfIdent(ident));
        // Every other page read: the target's page is long gone.
        for (int i = 0; i < count; ++i) {
            if (inbox.Items(i)->Ident() != ident) {
                inbox.Items(i);
            }
        }
        inbox.Items(0);
        inbox.Items(count - 1);

        const int index = inbox.IndexOfIdent(ident);
        QVERIFY(index >= 0);
        TSmsIncomingItem* message = inbox.Items(index);
        QCOMPARE(message->Ident(), ident);
        QCOMPARE(message->DisplayText(), text);
        const int targetRows = target == QLatin1String("long") ? 3 : 1;
        int expectedUnread = unread;
        if (action == QLatin1String("delete")) {
            // By any row of it: a later part names the whole message.
            QCOMPARE(inbox.DeleteMessages({target == QLatin1String("long") ? longRows[1] : single}), 1);
            before.remove(ident);
            expectedUnread -= 1; // unseen before
        } else if (action == QLatin1String("mark read")) {
            message->MarkSeen();
            expectedUnread -= 1;
        } else {
            message->MarkUnseen();
            expectedUnread += 1;
        }
        QCOMPARE(inbox.UnreadCount(), expectedUnread);

        auto check = [&](TSmsIncomingList& List) {
            QCOMPARE(List.Count(), int(before.size()));
            QCOMPARE(List.UnreadCount(), expectedUnread);
            for (int i = 0; i < List.Count(); ++i) {
                const TSmsIncomingItem* item = List.Items(i);
                QVERIFY(before.contains(item->Ident()));
                QCOMPARE(item->DisplayText(), before.value(item->Ident()));
                if (item->Ident() == ident) {
                    QCOMPARE(item->Seen(), action == QLatin1String("mark read"));
                }
            }
            QCOMPARE(List.IndexOfIdent(ident) >= 0, action != QLatin1String("delete"));
        };
        check(inbox);
        if (QTest::currentTestFailed()) {
            return;
        }
        {
            TSQLiteLock lock(db.DB());
            db.DB().FetchTable(QStringLiteral("SELECT COUNT(*) FROM INCOMING"));
            QCOMPARE(db.DB().GetResultSet(1).toInt(), 15 - (action == QLatin1String("delete") ? targetRows : 0));
        }
        if (action != QLatin1String("delete")) {
            // Every row of the message carries the new state, no other row changed.
            const bool seen = action == QLatin1String("mark read");
            const QList<qint64> flagged = rows.FlaggedIds();
            for (const qint64 row : target == QLatin1String("long") ? longRows : QList<qint64>{single}) {
                QCOMPARE(flagged.contains(row), seen);
            }
        }
        TSmsIncomingList reloaded;
        reloaded.LoadMessages();
        check(reloaded);
    }

    // Marked unread again: every row of the message, and the next start reads it unread.
    void unseenAgain()
    {
        TTempDatabase db;
        TRows rows(db.DB());
        const QStringList parts = Parts(QStringLiteral("+4917"), 3, 3);
        for (int i = 0; i < 3; ++i) {
            rows.Add(i, parts[i], true);
        }
        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.UnreadCount(), 0);
        inbox.Items(0)->MarkUnseen();
        QCOMPARE(inbox.UnreadCount(), 1);
        QCOMPARE(rows.SeenRows(), 0);
        TSmsIncomingList reloaded;
        reloaded.LoadMessages();
        QCOMPARE(reloaded.UnreadCount(), 1);
        reloaded.Items(0)->MarkSeen();
        QCOMPARE(rows.SeenRows(), 3);
    }

    void flagsAndLookup()
    {
        TTempDatabase db;
        TRows in(db.DB());
        TRows out(db.DB(), QStringLiteral("OUTGOING"));
        const QString network = Single(QStringLiteral("+4917"), QStringLiteral("network"));
        const QStringList rebuilt = BuildDeliverPdus(QStringLiteral("Bank"), QDateTime(), QString(200, 'r'), 3);
        in.Add(0, network);
        in.Add(100, rebuilt[0], false, true);
        in.Add(101, rebuilt[1], false, true);
        TSmsSend send;
        send.SetTarget(QStringLiteral("+4917"));
        send.SetText(QStringLiteral("sent"));
        out.Add(0, send.EncodePdu().front(), true);
        send.SetText(QStringLiteral("pending"));
        out.Add(1, send.EncodePdu().front(), false);

        TSmsIncomingList inbox;
        inbox.LoadMessages();
        QCOMPARE(inbox.Count(), 2);
        QVERIFY(!inbox.Items(1)->Rebuilt());
        QVERIFY(inbox.Items(0)->Rebuilt());
        QCOMPARE(inbox.Items(0)->Number(), QStringLiteral("Bank"));
        QCOMPARE(inbox.Items(0)->Text(), QString(200, 'r'));
        QVERIFY(inbox.ContainsPdu(network));
        QVERIFY(inbox.ContainsPdu(rebuilt[1]));
        QVERIFY(!inbox.ContainsPdu(network.toLower()));
        const QString fresh = Single(QStringLiteral("+4917"), QStringLiteral("fresh"));
        QVERIFY(!inbox.ContainsPdu(fresh));
        inbox.AddMessage(At(200), fresh, 50);
        QVERIFY(inbox.ContainsPdu(fresh));

        TSmsOutgoingList outbox;
        outbox.LoadMessages();
        QCOMPARE(outbox.Count(), 2);
        QCOMPARE(outbox.Items(0)->Text(), QStringLiteral("pending"));
        QVERIFY(!outbox.Items(0)->Sent());
        QVERIFY(outbox.Items(1)->Sent());
        QCOMPARE(outbox.Items(1)->Number(), QStringLiteral("+4917"));
    }
};

QTEST_GUILESS_MAIN(TestSmsStore)
#include "tst_sms_store.moc"
