// Search over the stored messages: the index follows every insert and delete of the store, is
// built for files that have none, and a query finds whole messages (long ones joined).

#include "core/Contacts.h"
#include "core/MessageQuery.h"
#include "core/MessageSearch.h"
#include "core/SmsStore.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QTest>

using namespace Ombrelay;

namespace
{

const QDateTime kStamp(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);

// A long message of three parts whose third part alone holds Word.
QString ThreePartText(const QString& Word)
{
    // Parts end after 153 characters each: "first" is in the first, Word in the third.
    return QString(140, QLatin1Char('a')) + QStringLiteral(" first ") + QString(140, QLatin1Char('b')) +
           QStringLiteral(" second ") + QString(100, QLatin1Char('c')) + QLatin1Char(' ') + Word +
           QStringLiteral(" end");
}

QStringList Deliver(const QString& Sender, const QString& Text, int Ref = 7, int Seconds = 0)
{
    return BuildDeliverPdus(Sender, kStamp.addSecs(Seconds), Text, Ref);
}

QStringList Texts(const QList<TMessageRecord>& Records)
{
    QStringList texts;
    for (const TMessageRecord& r : Records) {
        texts << r.Text;
    }
    return texts;
}

qint64 RowCount(TSQLiteDB& Db, const QString& Table)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT COUNT(*) FROM ") + Table);
    return Db.Next() ? Db.GetFieldAsInt64(0) : -1;
}

} // namespace

class TestMessageSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { FDb = std::make_unique<TTempDatabase>(); }
    void cleanup() { FDb.reset(); }

    void findsWhatWasStored_data();
    void findsWhatWasStored();
    void wordOfThirdPartFindsWholeMessage();
    void partsArrivingInSeveralBatchesAreOneEntry();
    void deleteRemovesEveryPartAndItsEntry();
    void deleteKeepsListUsableForLaterParts();
    void outgoingFollowsSubmitStatesAndWithdraw();
    void deviceLimitsResults();
    void contactNameFindsTheirMessages();
    void indexIsBuiltForFileWithoutOne();
    void rowsStoredWithoutIndexAreIndexedAtNextOpen();
    void entriesOfRowsDeletedElsewhereAreSkipped();
    void onlyMessagesBehindAreIndexedAgain();
    void typedSyntaxIsLiteral_data();
    void typedSyntaxIsLiteral();

private:
    std::unique_ptr<TTempDatabase> FDb;
};

void TestMessageSearch::findsWhatWasStored_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("word") << "dinner" << QStringList{QStringLiteral("Dinner at eight?")};
    QTest::newRow("word start while typing") << "din" << QStringList{QStringLiteral("Dinner at eight?")};
    QTest::newRow("letter case and accents") << "CAFE" << QStringList{QStringLiteral("Meet at the café")};
    QTest::newRow("every word must match") << "at eight" << QStringList{QStringLiteral("Dinner at eight?")};
    QTest::newRow("words in any order") << "eight dinner" << QStringList{QStringLiteral("Dinner at eight?")};
    QTest::newRow("shared word, newest first")
        << "at" << QStringList{QStringLiteral("Meet at the café"), QStringLiteral("Dinner at eight?")};
    QTest::newRow("international number") << "+4917011111" << QStringList{QStringLiteral("Dinner at eight?")};
    QTest::newRow("number start") << "49170111" << QStringList{QStringLiteral("Dinner at eight?")};
    QTest::newRow("national number with home country")
        << "017022222" << QStringList{QStringLiteral("Meet at the café")};
    QTest::newRow("no match") << "breakfast" << QStringList{};
    QTest::newRow("only punctuation") << "?!" << QStringList{};
}

void TestMessageSearch::findsWhatWasStored()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("Dinner at eight?")), false);
    inbox.StoreReceived(Deliver(QStringLiteral("+4917022222"), QStringLiteral("Meet at the café")), false);
    const TContacts contacts(FDb->DB(), QStringLiteral("49"));
    QCOMPARE(Texts(TMessageSearch::Search(FDb->DB(), QStringLiteral("sim0"), query, &contacts)), expected);
}

void TestMessageSearch::wordOfThirdPartFindsWholeMessage()
{
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    const QString text = ThreePartText(QStringLiteral("zeppelin"));
    const QStringList pdus = Deliver(QStringLiteral("+4917011111"), text);
    QCOMPARE(pdus.size(), 3);
    inbox.StoreReceived(pdus, false);

    const QList<TMessageRecord> found =
        TMessageSearch::Search(FDb->DB(), QStringLiteral("sim0"), QStringLiteral("zeppelin"), nullptr);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].Text, text);
    QCOMPARE(found[0].RowIds.size(), 3);
    QCOMPARE(found[0].State, QStringLiteral("received"));
    QVERIFY(!found[0].Read);
    QVERIFY(found[0].HasNetworkTime);
    QCOMPARE(found[0].NetworkTime, kStamp.toSecsSinceEpoch());
}

void TestMessageSearch::partsArrivingInSeveralBatchesAreOneEntry()
{
    // The third part comes in a later read: the entry grows, it is not a second message.
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    const QString text = ThreePartText(QStringLiteral("zeppelin"));
    const QStringList pdus = Deliver(QStringLiteral("+4917011111"), text);
    inbox.StoreReceived({pdus[0], pdus[1]}, false);
    QVERIFY(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("zeppelin"), nullptr).isEmpty());
    inbox.StoreReceived({pdus[2]}, false);

    const QList<TMessageRecord> byLastPart =
        TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("zeppelin"), nullptr);
    const QList<TMessageRecord> byFirstPart =
        TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("first"), nullptr);
    QCOMPARE(byLastPart.size(), 1);
    QCOMPARE(byFirstPart.size(), 1);
    QCOMPARE(byLastPart[0].Text, text);
    QCOMPARE(byFirstPart[0].Id, byLastPart[0].Id);
}

void TestMessageSearch::deleteRemovesEveryPartAndItsEntry()
{
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), ThreePartText(QStringLiteral("zeppelin"))), false);
    inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("zeppelin tickets booked")), false);
    QCOMPARE(RowCount(FDb->DB(), QStringLiteral("INCOMING")), 4);
    QCOMPARE(inbox.Count(), 2);

    // Any one row of the long message (here its second part) takes the whole message.
    const TSmsIncomingItem* longMessage = inbox.GetItem(1);
    QCOMPARE(longMessage->RowIDs().size(), 3);
    QCOMPARE(inbox.DeleteMessages({longMessage->RowIDs()[1]}), 1);

    QCOMPARE(RowCount(FDb->DB(), QStringLiteral("INCOMING")), 1);
    QCOMPARE(inbox.Count(), 1);
    QCOMPARE(inbox.GetItem(0)->Text(), QStringLiteral("zeppelin tickets booked"));
    QCOMPARE(Texts(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("zeppelin"), nullptr)),
             QStringList{QStringLiteral("zeppelin tickets booked")});
    // Rows that belong to no message of the list are not touched.
    QCOMPARE(inbox.DeleteMessages({999999}), 0);
    QCOMPARE(RowCount(FDb->DB(), QStringLiteral("INCOMING")), 1);

    // What the next start sees.
    TSmsIncomingList reloaded(QStringLiteral("sim0"));
    reloaded.LoadMessages();
    QCOMPARE(reloaded.Count(), 1);
}

void TestMessageSearch::deleteKeepsListUsableForLaterParts()
{
    // A long message still waiting for a part is deleted; the part that comes later must not
    // join the freed message (the list remembers open messages to file parts into).
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    const QStringList pdus = Deliver(QStringLiteral("+4917011111"), ThreePartText(QStringLiteral("zeppelin")));
    inbox.StoreReceived({pdus[0], pdus[1]}, false);
    inbox.StoreReceived(Deliver(QStringLiteral("+4917033333"), QStringLiteral("other")), false);
    QCOMPARE(inbox.DeleteMessages({inbox.GetItem(1)->RowIDs()[0]}), 1);
    inbox.StoreReceived({pdus[2]}, false);

    QCOMPARE(inbox.Count(), 2);
    const TSmsIncomingItem* late = inbox.GetItem(0);
    QCOMPARE(late->RowIDs().size(), 1);
    QVERIFY(late->Incomplete());
    QVERIFY(late->DisplayText().contains(QStringLiteral("zeppelin")));
    QCOMPARE(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("zeppelin"), nullptr).size(), 1);
}

void TestMessageSearch::outgoingFollowsSubmitStatesAndWithdraw()
{
    TSmsSend send;
    send.SetTarget(QStringLiteral("+4917044444"));
    send.SetText(ThreePartText(QStringLiteral("albatross")));
    const QList<qint64> rows = TSmsOutgoingList::StoreSubmitted(send.EncodePdu(), false, QStringLiteral("sim0"));
    QCOMPARE(rows.size(), 3);

    auto state = [this] {
        const QList<TMessageRecord> found =
            TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("albatross"), nullptr);
        return found.size() == 1 && found[0].Outgoing ? found[0].State : QStringLiteral("found %1").arg(found.size());
    };
    QCOMPARE(state(), QStringLiteral("sending"));
    TSmsOutgoingList::MarkSent({rows[0]});
    TSmsOutgoingList::MarkFailed({rows[1], rows[2]});
    QCOMPARE(state(), QStringLiteral("failed"));

    TSmsSend other;
    other.SetTarget(QStringLiteral("+4917044444"));
    other.SetText(QStringLiteral("albatross again"));
    const QList<qint64> otherRows = TSmsOutgoingList::StoreSubmitted(other.EncodePdu(), false, QStringLiteral("sim0"));
    QCOMPARE(state(), QStringLiteral("found 2"));
    // A message none of whose parts left is withdrawn, and so is its entry.
    TSmsOutgoingList::Withdraw(otherRows);
    QCOMPARE(state(), QStringLiteral("failed"));
    QCOMPARE(RowCount(FDb->DB(), QStringLiteral("OUTGOING")), 3);
    // A part sent on a later try: every part has left.
    TSmsOutgoingList::MarkSent({rows[1], rows[2]});
    QCOMPARE(state(), QStringLiteral("sent"));
}

void TestMessageSearch::deviceLimitsResults()
{
    TSmsIncomingList sim0(QStringLiteral("sim0"));
    TSmsIncomingList sim1(QStringLiteral("sim1"));
    TSmsIncomingList unbound; // rows of an older program, which name no device
    sim0.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("parcel for sim0")), false);
    sim1.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("parcel for sim1")), false);
    unbound.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("parcel for all")), false);

    QCOMPARE(Texts(TMessageSearch::Search(FDb->DB(), QStringLiteral("sim0"), QStringLiteral("parcel"), nullptr)),
             (QStringList{QStringLiteral("parcel for all"), QStringLiteral("parcel for sim0")}));
    QCOMPARE(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("parcel"), nullptr).size(), 3);
}

void TestMessageSearch::contactNameFindsTheirMessages()
{
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("see you")), false);
    inbox.StoreReceived(Deliver(QStringLiteral("+4917022222"), QStringLiteral("hello Anna")), false);
    TContacts contacts(FDb->DB(), QStringLiteral("49"));
    // Stored in national form; the messages carry the international one.
    contacts.Set(QStringLiteral("0170 11111"), QStringLiteral("Anna Berg"));

    const QList<TMessageRecord> found = TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("anna"), &contacts);
    QCOMPARE(Texts(found), (QStringList{QStringLiteral("hello Anna"), QStringLiteral("see you")}));
    QCOMPARE(found[1].Name, QStringLiteral("Anna Berg"));
    QCOMPARE(Texts(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("berg"), &contacts)),
             QStringList{QStringLiteral("see you")});
}

void TestMessageSearch::indexIsBuiltForFileWithoutOne()
{
    // A file of an older program: rows, no index.
    {
        TSmsIncomingList inbox(QStringLiteral("sim0"));
        inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), ThreePartText(QStringLiteral("zeppelin"))), false);
        TSmsSend send;
        send.SetTarget(QStringLiteral("+4917044444"));
        send.SetText(QStringLiteral("zeppelin reply"));
        TSmsOutgoingList::StoreSubmitted(send.EncodePdu(), false, QStringLiteral("sim0"));
        TSQLiteLock lock(FDb->DB());
        FDb->DB().ExecSQL(QStringLiteral("DROP TABLE MESSAGE_SEARCH"));
        FDb->DB().ExecSQL(QStringLiteral("DROP TABLE MESSAGE_SEARCH_STATE"));
    }
    FDb->Open();
    TSmsIncomingList(QStringLiteral("sim0")).LoadMessages();
    const QList<TMessageRecord> found =
        TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("zeppelin"), nullptr);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[0].RowIds.size() + found[1].RowIds.size(), 4);
    // Built once: the next open finds nothing to do.
    QVERIFY(!TMessageSearch::EnsureIndex(FDb->DB()));
}

void TestMessageSearch::rowsStoredWithoutIndexAreIndexedAtNextOpen()
{
    // A program of an older release (or a run that ended right after its commit) stored rows
    // the index does not hold.
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("indexed one")), false);
    {
        TSQLiteLock lock(FDb->DB());
        TSQLiteQuery query(FDb->DB(),
                           QStringLiteral(
                               "INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2026-12-09 12:00:00', 0, ?)"));
        FDb->DB().SetParamAsString(1, Deliver(QStringLiteral("+4917011111"), QStringLiteral("unindexed one")).front());
        FDb->DB().Exec();
    }
    QCOMPARE(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("one"), nullptr).size(), 1);
    FDb->Open();
    TSmsIncomingList(QStringLiteral("sim0")).LoadMessages();
    QCOMPARE(Texts(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("unindexed"), nullptr)),
             QStringList{QStringLiteral("unindexed one")});
    QCOMPARE(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("one"), nullptr).size(), 2);
}

void TestMessageSearch::entriesOfRowsDeletedElsewhereAreSkipped()
{
    // Another program deleted rows without touching the index: nothing is found of them.
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("gone soon")), false);
    {
        TSQLiteLock lock(FDb->DB());
        FDb->DB().ExecSQL(QStringLiteral("DELETE FROM INCOMING"));
    }
    QVERIFY(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("gone"), nullptr).isEmpty());
}

void TestMessageSearch::onlyMessagesBehindAreIndexedAgain()
{
    // A run ended after committing the last two parts of a long message and before indexing
    // them: the next start indexes that message whole, and only it, not the whole table again.
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    for (int i = 0; i < 50; ++i) {
        inbox.StoreReceived(Deliver(QStringLiteral("+4917022222"), QStringLiteral("older %1").arg(i), 7, i), false);
    }
    const QStringList parts = Deliver(QStringLiteral("+4917011111"), ThreePartText(QStringLiteral("zeppelin")), 9);
    QCOMPARE(parts.size(), 3);
    inbox.StoreReceived({parts[0]}, false);
    qint64 first = 0;
    {
        TSQLiteLock lock(FDb->DB());
        TSQLiteQuery select(FDb->DB(), QStringLiteral("SELECT MAX(ID) FROM INCOMING"));
        QVERIFY(FDb->DB().Next());
        first = FDb->DB().GetFieldAsInt64(0);
    }
    {
        // As the store files them: the message's first row is their group.
        TSQLiteLock lock(FDb->DB());
        TSQLiteQuery insert(FDb->DB(), QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU, DEVICE, GROUPID) VALUES "
                                                      "('2026-12-09 12:00:00', 0, ?, 'sim0', ?)"));
        for (const QString& pdu : {parts[1], parts[2]}) {
            FDb->DB().SetParamAsString(1, pdu);
            FDb->DB().SetParamAsInt64(2, first);
            FDb->DB().Exec();
        }
    }
    QVERIFY(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("zeppelin"), nullptr).isEmpty());
    FDb->Open();
    auto changes = [&] {
        TSQLiteLock lock(FDb->DB());
        TSQLiteQuery query(FDb->DB(), QStringLiteral("SELECT total_changes()"));
        return FDb->DB().Next() ? FDb->DB().GetFieldAsInt64(0) : -1;
    };
    const qint64 before = changes();
    QVERIFY(TMessageSearch::EnsureIndex(FDb->DB()));
    // One entry replaced and the index's mark moved (11 rows changed, the index's own tables
    // counted); indexing all 51 messages again changed 577.
    QVERIFY2(changes() - before < 50, qPrintable(QString::number(changes() - before)));
    const QList<TMessageRecord> found =
        TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("zeppelin"), nullptr);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].RowIds.size(), 3);
    // The entry of the first part alone is gone with it.
    QCOMPARE(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("first"), nullptr).size(), 1);
    QCOMPARE(TMessageSearch::Search(FDb->DB(), QString(), QStringLiteral("older"), nullptr).size(), 50);
    QVERIFY(!TMessageSearch::EnsureIndex(FDb->DB()));
}

void TestMessageSearch::typedSyntaxIsLiteral_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("matches");
    QTest::newRow("quote") << "\"what" << 1;
    QTest::newRow("operators are words") << "what OR nothing" << 0;
    QTest::newRow("NEAR group") << "NEAR(what" << 0;
    QTest::newRow("column filter") << "NUMBER:what" << 0;
    QTest::newRow("star and caret") << "^what*" << 1;
    QTest::newRow("minus") << "-what" << 1;
}

void TestMessageSearch::typedSyntaxIsLiteral()
{
    QFETCH(QString, query);
    QFETCH(int, matches);
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    inbox.StoreReceived(Deliver(QStringLiteral("+4917011111"), QStringLiteral("what \"quoted\" text")), false);
    QCOMPARE(TMessageSearch::Search(FDb->DB(), QString(), query, nullptr).size(), matches);
}

QTEST_GUILESS_MAIN(TestMessageSearch)
#include "tst_message_search.moc"
