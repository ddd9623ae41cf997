// The SMS transport driven through the simulated modem: poll, store, clear; submit, record,
// confirm; in PDU mode and in message mode.

#include "DeviceFixture.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Ombrelay;

namespace
{

// One interface that reads and sends whole messages.
TSimScenario MessageModeScenario()
{
    TSimScenario s = TestScenario();
    s.Interfaces[0].SmsFormat = TMbnSmsFormat::sfMessage;
    s.Interfaces[0].Caps.smsCaps = mscTextReceive | mscTextSend;
    return s;
}

// A text of three parts and its SUBMIT PDUs.
std::pair<QString, QStringList> ThreeParts()
{
    TSmsSend send;
    send.SetTarget(QStringLiteral("+491701234567"));
    const QString text = QString(400, QLatin1Char('x'));
    send.SetText(text);
    return {text, send.EncodePdu()};
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Clock::SetNow(0); }
    void cleanup() { Clock::SetNow(0); }

    void readInTwoBatchesStoresAllAndDeletesAfterTheLast()
    {
        TDeviceFixture f(TestScenario({QStringLiteral("sim0")}, 2));
        TMBManager& m = f.Start();
        int notified = 0;
        m.SetIncomingSmsNotify([&](TMBInterfaceItem* Sender) {
            QCOMPARE(Sender, f.Item());
            ++notified;
        });
        for (int i = 0; i < 3; ++i) {
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+491701234567"), QStringLiteral("Text %1").arg(i));
        }
        // The order in which the device answers: reads (with their "more" flag) and deletes.
        QStringList events;
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsReadComplete, this,
                [&](const QString&, const QList<TMbnSmsPdu>& Msgs, bool More, quint32, qint32) {
                    events << QStringLiteral("read %1%2").arg(Msgs.size()).arg(More ? "+" : "");
                });
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsDeleteComplete, this,
                [&](const QString&, quint32, qint32) { events << QStringLiteral("delete"); });
        QVERIFY(f.Tick());
        QCOMPARE(events, QStringList({"read 2+", "read 1", "delete", "delete", "delete"}));
        QCOMPARE(f.IncomingTexts(), QStringList({"Text 0", "Text 1", "Text 2"}));
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 0 AND REBUILT = 0"), 3);
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 3);
        QCOMPARE(notified, 3);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    void completionsThatStoreNothing_data()
    {
        QTest::addColumn<bool>("foreign");
        QTest::addColumn<bool>("failed");
        QTest::newRow("another program's request id") << true << false;
        QTest::newRow("empty completion of our read") << false << false;
        QTest::newRow("failed completion of our read") << false << true;
    }
    void completionsThatStoreNothing()
    {
        QFETCH(bool, foreign);
        QFETCH(bool, failed);
        TDeviceFixture f;
        TMBManager& m = f.Start();
        int notified = 0;
        m.SetIncomingSmsNotify([&](TMBInterfaceItem*) { ++notified; });
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("waiting"));
        const QString pdu =
            BuildDeliverPdus(QStringLiteral("+4917099"), QDateTime::currentDateTime(), QStringLiteral("not for us"))
                .first();
        if (foreign) {
            Q_EMIT f.Modem->SmsReadComplete(QStringLiteral("sim0"), {TMbnSmsPdu{0, pdu}}, false, 4242, mrOk);
        } else if (failed) {
            f.Modem->Fail(QStringLiteral("SmsReadComplete"), 1);
            f.Manager->ReadSms(QStringLiteral("sim0"));
        } else {
            // A read of an empty store: take the waiting message away first.
            QVERIFY(f.Tick());
            QCOMPARE(notified, 1);
            notified = 0;
            f.Manager->ReadSms(QStringLiteral("sim0"));
        }
        QVERIFY(f.Settle());
        QCOMPARE(notified, 0);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), foreign || failed ? 0 : 1);
        // Nothing that was not stored left the device.
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), foreign || failed ? 1 : 0);
        // And the next poll still works.
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({"waiting"}));
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    // Every delivered message ends in INCOMING exactly once and leaves the device, although
    // messages arrive between reads and deletes, reads fail and two devices are polled.
    void everyMessageStoredOnceAndCleared()
    {
        TDeviceFixture f(TestScenario({QStringLiteral("a"), QStringLiteral("b")}, 2));
        f.Start();
        QStringList delivered;
        int serial = 0;
        auto deliver = [&](const QString& Id) {
            const QString text = QStringLiteral("%1-%2").arg(Id).arg(++serial);
            f.Modem->Deliver(Id, QStringLiteral("+4917000") + QString::number(serial), text);
            delivered << text;
        };
        // While a read is answered, the network keeps delivering to both devices.
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsReadComplete, this,
                [&](const QString& Id, const QList<TMbnSmsPdu>&, bool, quint32, qint32) {
                    if (serial < 60) {
                        deliver(Id);
                        deliver(Id == QLatin1String("a") ? QStringLiteral("b") : QStringLiteral("a"));
                    }
                });
        for (int round = 0; round < 8; ++round) {
            deliver(QStringLiteral("a"));
            deliver(QStringLiteral("b"));
            deliver(QStringLiteral("b"));
            if (round == 2) {
                f.Modem->Fail(QStringLiteral("SmsReadComplete"), 1);
            }
            if (round == 4) {
                f.Modem->Fail(QStringLiteral("SmsRead"), 1);
            }
            if (round == 5) {
                f.Modem->Fail(QStringLiteral("SmsReadComplete"), 2);
            }
            f.Manager->TimerTick();
            // Poll again before the first poll's answers are all in.
            QTest::qWait(3);
            f.Manager->TimerTick();
            QVERIFY(f.Settle());
        }
        serial = 1000; // the network goes quiet
        for (int i = 0; i < 4; ++i) {
            QVERIFY(f.Tick());
        }
        QStringList stored = f.IncomingTexts();
        stored.sort();
        delivered.sort();
        QCOMPARE(stored, delivered);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("a")), 0);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("b")), 0);
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }

    void overlappingReadsStoreOnce()
    {
        TDeviceFixture f;
        f.Start();
        for (int i = 0; i < 3; ++i) {
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("m%1").arg(i));
        }
        QSignalSpy reads(f.Modem.get(), &IMbnInterfaceManager::SmsReadComplete);
        f.Manager->ReadSms(QStringLiteral("sim0"));
        f.Manager->ReadSms(QStringLiteral("sim0"));
        f.Manager->TimerTick();
        QVERIFY(f.Settle());
        // One read went to the device, not three.
        QCOMPARE(reads.size(), 1);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 3);
    }

    void readWithoutCompletionStopsBlockingAfterTimeOut()
    {
        TDeviceFixture f;
        f.Start();
        Clock::SetNow(46000.5);
        f.Modem->Lose(QStringLiteral("SmsRead"), 1);
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("late"));
        QVERIFY(f.Tick()); // this read never answers
        QVERIFY(f.Tick()); // still outstanding: skipped
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 0);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 1);
        Clock::Advance(TMBManager::ReadTimeoutSeconds + 1);
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({"late"}));
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    void undecodablePduIsStoredAndTheBatchGoesOn()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        int notified = 0;
        m.SetIncomingSmsNotify([&](TMBInterfaceItem*) { ++notified; });
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("before"));
        f.Modem->DeliverPdu(QStringLiteral("sim0"), QStringLiteral("00FF"));
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("after"));
        QVERIFY(f.Tick());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 3);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE PDU = '00FF'"), 1);
        QCOMPARE(notified, 3);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        TSmsIncomingList* inbox = f.Item()->SmsIncomingList();
        QCOMPARE(inbox->Count(), 3);
        QCOMPARE(inbox->Items(1)->Kind(), ikUnreadable);
        // Later messages are still read and cleared.
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("later"));
        QVERIFY(f.Tick());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 4);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QVERIFY(f.Errors.isEmpty());
    }

    // A batch is committed whole or not at all, and nothing of a batch that was not committed
    // leaves the device.
    void batchIsOneTransaction()
    {
        TDeviceFixture f;
        f.Start();
        for (int i = 0; i < 3; ++i) {
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("m%1").arg(i));
        }
        {
            TSQLiteLock lock(f.Db.DB());
            // The disk fails on the second row of the batch.
            f.Db.DB().ExecSQL(QStringLiteral("CREATE TEMP TRIGGER trouble BEFORE INSERT ON INCOMING "
                                             "WHEN (SELECT COUNT(*) FROM INCOMING) >= 1 "
                                             "BEGIN SELECT RAISE(ABORT, 'disk trouble'); END"));
        }
        QVERIFY(f.Tick());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 0);
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 0);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 3);
        QCOMPARE(f.Errors.size(), 1);
        QVERIFY2(f.Errors.first().contains("disk trouble"), qPrintable(f.Errors.first()));
        {
            TSQLiteLock lock(f.Db.DB());
            f.Db.DB().ExecSQL(QStringLiteral("DROP TRIGGER trouble"));
        }
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({"m0", "m1", "m2"}));
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    // A message the device still holds after it was stored (its delete failed) is not stored
    // again, and leaves the device at the next poll.
    void storedMessageLeftOnDeviceIsNotStoredTwice()
    {
        TDeviceFixture f;
        f.Start();
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("one"));
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("two"));
        f.Modem->Fail(QStringLiteral("SmsDeleteIndex"), 2);
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 2);
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({"one", "two"}));
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 2);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    // Rows whose ids lie beyond 2^32, received and sent through the device: each message keeps
    // its own row id, so marking it seen or sent touches its row and not the row whose id is the
    // same number cut to 32 bits.
    void rowIdsBeyond32Bits()
    {
        constexpr qint64 kNext = 5000000000;
        constexpr qint64 kCut = qint64(quint32(kNext));
        TDeviceFixture f;
        const QString old = BuildDeliverPdus(QStringLiteral("+4917099"), QDateTime(), QStringLiteral("old")).first();
        {
            TSQLiteLock lock(f.Db.DB());
            for (const QString& table : {QStringLiteral("INCOMING"), QStringLiteral("OUTGOING")}) {
                const QString flag =
                    table == QLatin1String("INCOMING") ? QStringLiteral("SEEN") : QStringLiteral("SENT");
                for (qint64 id : {kCut, kNext - 1}) {
                    TSQLiteQuery q(f.Db.DB(), QStringLiteral("INSERT INTO %1 (ID, DATE, %2, PDU) VALUES (?, "
                                                             "'2026-12-01 10:00:00', 0, ?)")
                                                  .arg(table, flag));
                    f.Db.DB().SetParamAsInt64(1, id);
                    f.Db.DB().SetParamAsString(2, old);
                    f.Db.DB().Exec();
                }
            }
        }
        TMBManager& m = f.Start();
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("fresh"));
        QVERIFY(f.Tick());
        TSmsIncomingItem* received = f.Item()->SmsIncomingList()->Items(0);
        QCOMPARE(received->Text(), QStringLiteral("fresh"));
        QCOMPARE(received->RowIDs().size(), 1);
        QCOMPARE(received->RowIDs().front(), kNext);
        received->MarkSeen();
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1"), 1);
        QCOMPARE(f.Count("SELECT ID = 5000000000 FROM INCOMING WHERE SEEN = 1"), 1);

        TSmsSend send;
        send.SetTarget(QStringLiteral("+4917012"));
        send.SetText(QStringLiteral("reply"));
        m.SendSms(QStringLiteral("sim0"), send.EncodePdu().first());
        QVERIFY(f.Settle());
        TSmsOutgoingItem* sent = f.Item()->SmsOutgoingList()->Items(0);
        QCOMPARE(sent->Text(), QStringLiteral("reply"));
        QVERIFY(sent->Sent());
        QCOMPARE(sent->RowIDs().size(), 1);
        QCOMPARE(sent->RowIDs().front(), kNext);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1"), 1);
        QCOMPARE(f.Count("SELECT ID = 5000000000 FROM OUTGOING WHERE SENT = 1"), 1);
    }

    void threePartSend()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        QList<TMBInterfaceItem*> notified;
        m.SetOutgoingSmsNotify([&](TMBInterfaceItem* Sender) { notified << Sender; });
        TSmsSend send;
        send.SetTarget(QStringLiteral("+491701234567"));
        const QString text = QString(400, QLatin1Char('x'));
        send.SetText(text);
        const QStringList pdus = send.EncodePdu();
        QCOMPARE(pdus.size(), 3);
        for (const QString& pdu : pdus) {
            m.SendSms(QStringLiteral("sim0"), pdu);
        }
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 0"), 3);
        QCOMPARE(f.Item()->SmsOutgoingList()->Count(), 0);
        QVERIFY(f.Settle());
        QCOMPARE(f.Modem->SentPdus(QStringLiteral("sim0")), pdus);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1 AND REBUILT = 0"), 3);
        QCOMPARE(notified.size(), 3);
        QCOMPARE(notified.first(), f.Item());
        TSmsOutgoingList* outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(outbox->Count(), 1);
        QCOMPARE(outbox->Items(0)->Text(), text);
        QVERIFY(outbox->Items(0)->Sent());
    }

    void sendFailures()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        const QString pdu = [] {
            TSmsSend s;
            s.SetTarget(QStringLiteral("+4917012"));
            s.SetText(QStringLiteral("hello"));
            return s.EncodePdu().first();
        }();
        // Refused at once: raised, nothing recorded.
        f.Modem->Fail(QStringLiteral("SmsSendPdu"), 1);
        QVERIFY_THROWS_EXCEPTION(EMBException, m.SendSms(QStringLiteral("sim0"), pdu));
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING"), 0);
        // Refused later: the row stays unsent and the user is told.
        f.Modem->Fail(QStringLiteral("SmsSendComplete"), 1);
        m.SendSms(QStringLiteral("sim0"), pdu);
        QVERIFY(f.Settle());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 0"), 1);
        QCOMPARE(f.Item()->SmsOutgoingList()->Count(), 0);
        QCOMPARE(f.Errors.size(), 1);
        // A completion the manager never asked for changes nothing.
        Q_EMIT f.Modem->SmsSendComplete(QStringLiteral("sim0"), 777, mrOk);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1"), 0);
        // An odd-length PDU breaks the precondition.
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, m.SendSms(QStringLiteral("sim0"), QStringLiteral("001")));
    }

    // A stack that answers inside the submit call still finds the submission recorded.
    void sendCompletionInsideTheCall()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        int notified = 0;
        m.SetOutgoingSmsNotify([&](TMBInterfaceItem*) { ++notified; });
        f.Modem->SetCompleteInsideCall(true);
        TSmsSend s;
        s.SetTarget(QStringLiteral("+4917012"));
        s.SetText(QStringLiteral("quick"));
        m.SendSms(QStringLiteral("sim0"), s.EncodePdu().first());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1"), 1);
        QCOMPARE(f.Item()->SmsOutgoingList()->Count(), 1);
        QCOMPARE(notified, 1);
    }

    // A stack that answers a read inside the read call still has its messages stored and cleared.
    void readCompletionInsideTheCall()
    {
        TDeviceFixture f(TestScenario({QStringLiteral("sim0")}, 2));
        f.Start();
        for (int i = 0; i < 3; ++i) {
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("r%1").arg(i));
        }
        f.Modem->SetCompleteInsideCall(true);
        f.Manager->ReadSms(QStringLiteral("sim0"));
        QCOMPARE(f.IncomingTexts(), QStringList({"r0", "r1", "r2"}));
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    void messageModeInbox()
    {
        TSimScenario s = TestScenario();
        s.Interfaces[0].SmsFormat = TMbnSmsFormat::sfMessage;
        s.Interfaces[0].Caps.smsCaps = mscTextReceive | mscTextSend;
        TDeviceFixture f(s);
        TMBManager& m = f.Start();
        int notified = 0;
        m.SetIncomingSmsNotify([&](TMBInterfaceItem*) { ++notified; });
        QVERIFY(f.Item()->IsMessageMode());
        QVERIFY(f.Item()->CanSendAndReceiveSms());
        const QString text = QString(200, QLatin1Char('a')) + QString(100, QLatin1Char('b'));
        const QDateTime stamp(QDate(2026, 3, 1), QTime(12, 30, 15), Qt::OffsetFromUTC, 3600);
        QCOMPARE(f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+491701234567"), text, stamp), 1);
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+491709999"), QStringLiteral("short"), stamp);
        QVERIFY(f.Tick());
        // The long message as its rebuilt parts, marked so; the short one as one PDU.
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE REBUILT = 1"), 3);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE REBUILT = 0"), 0);
        QCOMPARE(notified, 3);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        TSmsIncomingList* inbox = f.Item()->SmsIncomingList();
        QCOMPARE(inbox->Count(), 2);
        QCOMPARE(inbox->Items(1)->Text(), text);
        QVERIFY(inbox->Items(1)->Rebuilt());
        QCOMPARE(inbox->Items(1)->Number(), QStringLiteral("+491701234567"));
        // It reads back from the database as one message.
        TSmsIncomingList reloaded;
        reloaded.LoadMessages();
        QCOMPARE(reloaded.Count(), 2);
        QCOMPARE(reloaded.Items(1)->Text(), text);
        QVERIFY(reloaded.Items(1)->Rebuilt());
    }

    void messageModeSameMessageReadTwiceIsStoredOnce()
    {
        TSimScenario s = TestScenario();
        s.Interfaces[0].SmsFormat = TMbnSmsFormat::sfMessage;
        s.Interfaces[0].Caps.smsCaps = mscTextReceive | mscTextSend;
        TDeviceFixture f(s);
        f.Start();
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QString(180, QLatin1Char('z')));
        f.Modem->Fail(QStringLiteral("SmsDeleteMessage"), 1);
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 1);
        QVERIFY(f.Tick());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 2);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    void messageModeOutbox()
    {
        TSimScenario s = TestScenario();
        s.Interfaces[0].SmsFormat = TMbnSmsFormat::sfMessage;
        s.Interfaces[0].Caps.smsCaps = mscTextReceive | mscTextSend;
        TDeviceFixture f(s);
        TMBManager& m = f.Start();
        int notified = 0;
        m.SetOutgoingSmsNotify([&](TMBInterfaceItem*) { ++notified; });
        TSmsSend send;
        send.SetTarget(QStringLiteral("+491701234567"));
        const QString text = QString(300, QLatin1Char('q'));
        send.SetText(text);
        const QStringList pdus = send.EncodePdu();
        QCOMPARE(pdus.size(), 2);
        // The PDU path is not for a stack that takes whole messages.
        QVERIFY_THROWS_EXCEPTION(EMBException, m.SendSms(QStringLiteral("sim0"), pdus.first()));
        m.SendMessage(QStringLiteral("sim0"), send.Target(), text, pdus);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 0 AND REBUILT = 1"), 2);
        QVERIFY(f.Settle());
        const QList<TSimSentMessage> sent = f.Modem->SentMessages(QStringLiteral("sim0"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().Number, send.Target());
        QCOMPARE(sent.first().Text, text);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1 AND REBUILT = 1"), 2);
        QCOMPARE(notified, 2);
        QCOMPARE(f.Item()->SmsOutgoingList()->Count(), 1);
        QCOMPARE(f.Item()->SmsOutgoingList()->Items(0)->Text(), text);
        QVERIFY(f.Item()->SmsOutgoingList()->Items(0)->Rebuilt());
    }

    void sendMessageInPduModeSubmitsEachPdu()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        TSmsSend send;
        send.SetTarget(QStringLiteral("+4917012"));
        send.SetText(QString(200, QLatin1Char('p')));
        const QStringList pdus = send.EncodePdu();
        m.SendMessage(QStringLiteral("sim0"), send.Target(), send.Text(), pdus);
        QVERIFY(f.Settle());
        QCOMPARE(f.Modem->SentPdus(QStringLiteral("sim0")), pdus);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1 AND REBUILT = 0"), 2);
    }

    // The PDUs rebuilt from a whole message are the same in every run and on every machine, so
    // that a message read again after a restart (killed before its delete) is known as stored.
    // A fixed expected value: a reference drawn per process would miss it.
    void rebuiltPdusAreTheSameInEveryRun()
    {
        const QDateTime stamp(QDate(2026, 3, 1), QTime(12, 30, 15), Qt::OffsetFromUTC, 3600);
        const QString text = QString(200, QLatin1Char('a')) + QString(100, QLatin1Char('b'));
        // Two parts with the reference 0x34 ("050003340201", "050003340202").
        const QStringList expected = {
            QStringLiteral("00440C91947110325476000062301021035140A0050003340201C2E170381C0E87C3E170381C0E87C3E17038"
                           "1C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C"
                           "0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E"
                           "87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E87C3"),
            QStringLiteral("00440C919471103254760000623010210351409A050003340202C2E170381C0E87C3E170381C0E87C3E17038"
                           "1C0E87C3E170381C0E87C3E170381C0E87C3E170381C0E8BC562B1582C168BC562B1582C168BC562B1582C"
                           "168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C168BC562B1582C16"
                           "8BC562B1582C168BC562B1582C168BC562B1582C168BC56231"),
        };
        // Two managers over two databases, as in two runs of the program; in the second the
        // stack's time stamp has milliseconds (a device that kept them until it restarted).
        for (const QDateTime& at : {stamp, stamp.addMSecs(400)}) {
            TDeviceFixture f(MessageModeScenario());
            f.Start();
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+491701234567"), text, at);
            QVERIFY(f.Tick());
            QStringList stored;
            {
                TSQLiteLock lock(f.Db.DB());
                TSQLiteQuery q(f.Db.DB(), QStringLiteral("SELECT PDU FROM INCOMING ORDER BY ID"));
                while (f.Db.DB().Next()) {
                    stored << f.Db.DB().GetFieldAsString(0);
                }
            }
            QCOMPARE(stored, expected);
        }
    }

    // A delete the device refuses is reported once per device, whatever the number of polls it
    // keeps failing; a success ends it, and a later failure is reported again.
    void deleteFailuresReportedOnce_data()
    {
        QTest::addColumn<bool>("messageMode");
        QTest::addColumn<QString>("operation");
        QTest::newRow("PDU mode, refused at once") << false << "SmsDeleteIndex";
        QTest::newRow("PDU mode, completion fails") << false << "SmsDeleteComplete";
        QTest::newRow("message mode, refused at once") << true << "SmsDeleteMessage";
        QTest::newRow("message mode, completion fails") << true << "SmsDeleteComplete";
    }
    void deleteFailuresReportedOnce()
    {
        QFETCH(bool, messageMode);
        QFETCH(QString, operation);
        TDeviceFixture f(messageMode ? MessageModeScenario() : TestScenario());
        f.Start();
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("kept"));
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917013"), QStringLiteral("kept too"));
        // Two messages, three polls: six deletes refused.
        f.Modem->Fail(operation, 6);
        for (int poll = 0; poll < 3; ++poll) {
            QVERIFY(f.Tick());
        }
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 2);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 2);
        QCOMPARE(f.Errors.size(), 1);
        const QString& report = f.Errors.first();
        QVERIFY2(report.contains(QLatin1String("could not be removed from the modem Ombrelay Simulated Modem")),
                 qPrintable(report));
        QVERIFY2(report.contains(f.Modem->ErrorText(mrFailed)), qPrintable(report));
        QVERIFY2(report.contains(QLatin1String("safe")) && report.contains(QLatin1String("fill up")),
                 qPrintable(report));
        // The device accepts deletes again: cleared, nothing more said.
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917014"), QStringLiteral("fine"));
        QVERIFY(f.Tick());
        QCOMPARE(f.Errors.size(), 1);
        // A later refusal is news again.
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917015"), QStringLiteral("stuck"));
        f.Modem->Fail(operation, 1);
        QVERIFY(f.Tick());
        QCOMPARE(f.Errors.size(), 2);
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QCOMPARE(f.IncomingTexts(), QStringList({"kept", "kept too", "fine", "stuck"}));
        QCOMPARE(f.Errors.size(), 2);
    }

    // A report names the modem as the device view shows it (maker and model), and by its
    // identifier only when the device names itself with neither.
    void modemNamedInReports_data()
    {
        QTest::addColumn<QString>("manufacturer");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("named");
        QTest::newRow("maker and model") << "Ombrelay"
                                         << "Simulated Modem"
                                         << "the modem Ombrelay Simulated Modem:";
        QTest::newRow("model only") << ""
                                    << "Stick 5"
                                    << "the modem Stick 5:";
        QTest::newRow("nameless") << ""
                                  << ""
                                  << "the modem sim0:";
    }
    void modemNamedInReports()
    {
        QFETCH(QString, manufacturer);
        QFETCH(QString, model);
        QFETCH(QString, named);
        TSimScenario s = TestScenario();
        s.Interfaces[0].Caps.manufacturer = manufacturer;
        s.Interfaces[0].Caps.model = model;
        TDeviceFixture f(s);
        f.Start();
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("kept"));
        f.Modem->Fail(QStringLiteral("SmsDeleteIndex"), 1);
        QVERIFY(f.Tick());
        QCOMPARE(f.Errors.size(), 1);
        QVERIFY2(f.Errors.first().contains(named), qPrintable(f.Errors.first()));
    }

    // A message the device no longer holds when its delete comes is not a failure to report.
    void deleteOfAMessageAlreadyGoneIsNoFailure()
    {
        TDeviceFixture f;
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("gone"));
        // Another program empties the store between the read and the delete (connected first,
        // so that its delete comes before the manager's).
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsReadComplete, this,
                [&](const QString&, const QList<TMbnSmsPdu>& Msgs, bool, quint32, qint32) {
                    if (!Msgs.isEmpty()) {
                        TMbnRequestId id = 0;
                        std::shared_ptr<IMbnInterface> i;
                        std::shared_ptr<IMbnSms> sms;
                        QVERIFY(MbnSucceeded(f.Modem->GetInterface(QStringLiteral("sim0"), i)));
                        QVERIFY(MbnSucceeded(i->GetSms(sms)));
                        QVERIFY(MbnSucceeded(sms->SmsDelete(id)));
                    }
                });
        f.Start();
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({"gone"}));
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }

    // A backlog read in several batches leaves the device batch by batch, each batch once its
    // rows are committed: a program killed after the first batch has cleared that batch, and the
    // next start stores the rest, nothing lost and nothing twice.
    void backlogDeletedBatchByBatch_data()
    {
        QTest::addColumn<bool>("messageMode");
        QTest::newRow("PDU mode, by index") << false;
        QTest::newRow("message mode, by key") << true;
    }
    void backlogDeletedBatchByBatch()
    {
        QFETCH(bool, messageMode);
        TSimScenario s = messageMode ? MessageModeScenario() : TestScenario();
        s.Interfaces[0].ReadBatch = 2;
        TDeviceFixture f(s);
        f.Start();
        QStringList delivered;
        for (int i = 0; i < 7; ++i) {
            delivered << QStringLiteral("backlog %1").arg(i);
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+49170%1").arg(i), delivered.last());
        }
        // The program dies once the first batch is handled, before the next one comes.
        int batches = 0;
        int committed = -1;
        auto kill = [&] {
            if (++batches == 1) {
                committed = f.Count("SELECT COUNT(*) FROM INCOMING");
                f.Manager.reset();
            }
        };
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsReadComplete, this, kill);
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsMessageReadComplete, this, kill);
        f.Manager->ReadSms(QStringLiteral("sim0"));
        QVERIFY(f.Settle());
        QCOMPARE(batches, 4);
        QCOMPARE(committed, 2);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 5);
        // The next start: the rest, once.
        f.Start();
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QStringList stored = f.IncomingTexts();
        stored.sort();
        QCOMPARE(stored, delivered);
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 7);
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }

    // A message whose record cannot be written is not submitted at all, and the error says so.
    void sendNotRecordedIsNotSubmitted_data()
    {
        QTest::addColumn<bool>("messageMode");
        QTest::addColumn<QString>("block");
        QTest::addColumn<QString>("unblock");
        const QString trigger = QStringLiteral("CREATE TEMP TRIGGER full BEFORE INSERT ON OUTGOING "
                                               "WHEN (SELECT COUNT(*) FROM OUTGOING) >= 1 "
                                               "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END");
        const QString drop = QStringLiteral("DROP TRIGGER full");
        const QString readOnly = QStringLiteral("PRAGMA query_only = ON");
        const QString writable = QStringLiteral("PRAGMA query_only = OFF");
        QTest::newRow("PDU mode, full on the second part") << false << trigger << drop;
        QTest::newRow("PDU mode, read only") << false << readOnly << writable;
        QTest::newRow("message mode, full on the second part") << true << trigger << drop;
        QTest::newRow("message mode, read only") << true << readOnly << writable;
    }
    void sendNotRecordedIsNotSubmitted()
    {
        QFETCH(bool, messageMode);
        QFETCH(QString, block);
        QFETCH(QString, unblock);
        TDeviceFixture f(messageMode ? MessageModeScenario() : TestScenario());
        TMBManager& m = f.Start();
        const auto [text, pdus] = ThreeParts();
        {
            TSQLiteLock lock(f.Db.DB());
            f.Db.DB().ExecSQL(block);
        }
        try {
            m.SendMessage(QStringLiteral("sim0"), QStringLiteral("+491701234567"), text, pdus);
            QFAIL("the send did not fail");
        } catch (const EMBException& e) {
            QVERIFY2(e.Message().contains(QLatin1String("not sent")), qPrintable(e.Message()));
        }
        QVERIFY(f.Settle());
        QVERIFY(f.Modem->SentPdus(QStringLiteral("sim0")).isEmpty());
        QVERIFY(f.Modem->SentMessages(QStringLiteral("sim0")).isEmpty());
        {
            TSQLiteLock lock(f.Db.DB());
            f.Db.DB().ExecSQL(unblock);
        }
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING"), 0);
        // Sent again, it goes out once, whole.
        m.SendMessage(QStringLiteral("sim0"), QStringLiteral("+491701234567"), text, pdus);
        QVERIFY(f.Settle());
        QCOMPARE(f.Modem->SentPdus(QStringLiteral("sim0")).size(), 3);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1 AND FAILED = 0"), 3);
        QCOMPARE(f.Item()->SmsOutgoingList()->Count(), 1);
        QCOMPARE(f.Item()->SmsOutgoingList()->Items(0)->Text(), text);
    }

    // Every part is recorded before the first leaves; the device refusing part 2 of 3 leaves
    // rows that say part 1 was sent and parts 2 and 3 failed.
    void sendRefusedOnPartTwo()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        const auto [text, pdus] = ThreeParts();
        // The device answers inside the submit call, so that it can refuse the next part.
        f.Modem->SetCompleteInsideCall(true);
        QStringList rowsAtFirstSubmit;
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsSendComplete, this, [&](const QString&, quint32, qint32) {
            if (rowsAtFirstSubmit.isEmpty()) {
                rowsAtFirstSubmit << QString::number(f.Count("SELECT COUNT(*) FROM OUTGOING"));
                f.Modem->Fail(QStringLiteral("SmsSendPdu"), 1);
            }
        });
        try {
            m.SendMessage(QStringLiteral("sim0"), QStringLiteral("+491701234567"), text, pdus);
            QFAIL("the send did not fail");
        } catch (const EMBException& e) {
            QVERIFY2(e.Message().contains(QLatin1String("1 of its 3 parts")), qPrintable(e.Message()));
        }
        QCOMPARE(rowsAtFirstSubmit, QStringList({"3"}));
        QVERIFY(f.Settle());
        QCOMPARE(f.Modem->SentPdus(QStringLiteral("sim0")), pdus.mid(0, 1));
        {
            TSQLiteLock lock(f.Db.DB());
            f.Db.DB().FetchTable(
                QStringLiteral("SELECT group_concat(S, ' ') FROM "
                               "(SELECT PDU || ':' || SENT || FAILED AS S FROM OUTGOING ORDER BY ID)"));
            QCOMPARE(f.Db.DB().GetResultSet(1), QStringLiteral("%1:10 %2:01 %3:01").arg(pdus[0], pdus[1], pdus[2]));
        }
        QCOMPARE(f.Item()->SmsOutgoingList()->Count(), 1);
    }

    // A refusal that comes with the completion marks the rows of that submission failed.
    void sendCompletionFailureMarksRowsFailed_data()
    {
        QTest::addColumn<bool>("messageMode");
        QTest::newRow("PDU mode") << false;
        QTest::newRow("message mode") << true;
    }
    void sendCompletionFailureMarksRowsFailed()
    {
        QFETCH(bool, messageMode);
        TDeviceFixture f(messageMode ? MessageModeScenario() : TestScenario());
        TMBManager& m = f.Start();
        const auto [text, pdus] = ThreeParts();
        // Every completion of the message fails: three in PDU mode, one in message mode.
        f.Modem->Fail(QStringLiteral("SmsSendComplete"), messageMode ? 1 : 3);
        m.SendMessage(QStringLiteral("sim0"), QStringLiteral("+491701234567"), text, pdus);
        QVERIFY(f.Settle());
        QVERIFY(!f.Errors.isEmpty());
        QVERIFY(f.Modem->SentPdus(QStringLiteral("sim0")).isEmpty());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 0 AND FAILED = 1"), 3);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1"), 0);
    }

    // The same sender sending the same text twice in one second: two entries on the device, two
    // messages in the inbox, whether one read or two polls bring them. Only an entry read again
    // is the same message.
    void identicalDeliveriesAreTwoMessages_data()
    {
        QTest::addColumn<bool>("messageMode");
        QTest::addColumn<bool>("onePoll");
        QTest::newRow("PDU mode, one poll") << false << true;
        QTest::newRow("PDU mode, a poll each") << false << false;
        QTest::newRow("message mode, one poll") << true << true;
        QTest::newRow("message mode, a poll each") << true << false;
    }
    void identicalDeliveriesAreTwoMessages()
    {
        QFETCH(bool, messageMode);
        QFETCH(bool, onePoll);
        TDeviceFixture f(messageMode ? MessageModeScenario() : TestScenario());
        f.Start();
        const QDateTime at(QDate(2026, 5, 4), QTime(8, 15, 30), Qt::UTC);
        const QString code = QStringLiteral("Your code is 1234");
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), code, at);
        if (!onePoll) {
            QVERIFY(f.Tick());
            QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        }
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), code, at);
        QVERIFY(f.Tick());
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({code, code}));
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 2);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        // Both rows name their modem, and neither still records an entry on it.
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE DEVICE = 'sim0' AND DEVICEKEY IS NULL"), 2);
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }

    // The program ends after a batch is stored and before its delete completes (the delete is
    // lost with it, the entry stays): the next run reads the entry again and stores it once. A
    // second copy of the same message that arrived meanwhile is still a message of its own.
    void endedBetweenStoreAndDeleteStoresOnce_data()
    {
        QTest::addColumn<bool>("messageMode");
        QTest::addColumn<bool>("copyArrives");
        QTest::newRow("PDU mode") << false << false;
        QTest::newRow("PDU mode, a copy arrives") << false << true;
        QTest::newRow("message mode") << true << false;
        QTest::newRow("message mode, a copy arrives") << true << true;
    }
    void endedBetweenStoreAndDeleteStoresOnce()
    {
        QFETCH(bool, messageMode);
        QFETCH(bool, copyArrives);
        TDeviceFixture f(messageMode ? MessageModeScenario() : TestScenario());
        f.Start();
        const QDateTime at(QDate(2026, 5, 4), QTime(8, 15, 30), Qt::UTC);
        const QString code = QStringLiteral("Your code is 1234");
        // A long one too: in message mode its rebuilt parts share the entry's key.
        const QString longText = QString(200, QLatin1Char('L'));
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), code, at);
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917013"), longText, at);
        const int entries = f.Modem->StoredCount(QStringLiteral("sim0"));
        f.Modem->Lose(QStringLiteral("SmsDelete"), entries);
        QVERIFY(f.Tick());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 3);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), entries);
        f.Manager.reset();

        if (copyArrives) {
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), code, at);
        }
        f.Start();
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 2);
        QVERIFY(f.Tick());
        QVERIFY(f.Tick());
        const QStringList expected = copyArrives ? QStringList({code, longText, code}) : QStringList({code, longText});
        QStringList texts;
        for (int i = f.Item()->SmsIncomingList()->Count() - 1; i >= 0; --i) {
            texts << f.Item()->SmsIncomingList()->Items(i)->Text();
        }
        QCOMPARE(texts, expected);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), copyArrives ? 4 : 3);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE DEVICEKEY IS NOT NULL"), 0);
    }

    // A read asked for while a delete is under way waits for it. Answered before the delete was
    // done, it would list the entry again, and the second delete by index, once the first had
    // freed the place, would remove the next message the device files there, never stored.
    void readWaitsForDeletesUnderWay_data()
    {
        QTest::addColumn<bool>("messageMode");
        QTest::newRow("PDU mode") << false;
        QTest::newRow("message mode") << true;
    }
    void readWaitsForDeletesUnderWay()
    {
        QFETCH(bool, messageMode);
        TDeviceFixture f(messageMode ? MessageModeScenario() : TestScenario());
        TMBManager& m = f.Start();
        QStringList listed;
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsReadComplete, this,
                [&](const QString&, const QList<TMbnSmsPdu>& Pdus, bool, quint32, qint32) {
                    for (const TMbnSmsPdu& pdu : Pdus) {
                        TSmsRecv recv;
                        listed << (recv.DecodePdu(pdu.PduData) ? recv.Text() : QStringLiteral("?"));
                    }
                });
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsMessageReadComplete, this,
                [&](const QString&, const QList<TMbnSmsMessage>& Messages, bool, quint32, qint32) {
                    for (const TMbnSmsMessage& message : Messages) {
                        listed << message.Text;
                    }
                });
        bool first = true;
        m.SetIncomingSmsNotify([&](TMBInterfaceItem*) {
            if (first) {
                first = false;
                // The next read, asked for once this one has ended and before its delete is done.
                QTimer::singleShot(0, this, [&] { f.Manager->ReadSms(QStringLiteral("sim0")); });
            }
        });
        // The moment the first delete is done, the device files a new message in the freed place.
        bool delivered = false;
        connect(f.Modem.get(), &IMbnInterfaceManager::SmsDeleteComplete, this, [&](const QString&, quint32, qint32) {
            if (!delivered) {
                delivered = true;
                f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917034"), QStringLiteral("next"));
            }
        });
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("once"));
        QVERIFY(f.Tick());
        QVERIFY(f.Tick());
        QVERIFY(delivered);
        // Each entry listed once, each message stored once, nothing left and nothing lost.
        QCOMPARE(listed, QStringList({"once", "next"}));
        QCOMPARE(f.IncomingTexts(), QStringList({"once", "next"}));
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 2);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE DEVICEKEY IS NOT NULL"), 0);
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }

    // A row stored by an older program names no modem and no entry: an entry with exactly its PDU
    // may be that row's message, stored before its delete, and is not stored again.
    void entryStoredByAnOlderProgramIsNotStoredAgain()
    {
        TDeviceFixture f;
        const QString pdu =
            BuildDeliverPdus(QStringLiteral("+4917012"), QDateTime(QDate(2026, 5, 4), QTime(8, 15, 30), Qt::UTC),
                             QStringLiteral("from before"))
                .first();
        {
            TSQLiteLock lock(f.Db.DB());
            TSQLiteQuery q(f.Db.DB(),
                           QStringLiteral(
                               "INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2026-05-04 10:15:31', 0, ?)"));
            f.Db.DB().SetParamAsString(1, pdu);
            f.Db.DB().Exec();
        }
        f.Start();
        f.Modem->DeliverPdu(QStringLiteral("sim0"), pdu);
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("new"));
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({"from before", "new"}));
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
    }

    // Two modems, one in each mode, with messages in and out, then a new run on the same file:
    // each inbox and outbox shows its own modem's messages, and a row of an older program, which
    // names no modem, shows in both as it did before.
    void eachModemKeepsItsOwnMessagesAfterARestart()
    {
        TSimScenario s =
            TSimScenario::Load(QStringLiteral(OMBRELAY_SOURCE_DIR "/app/platform/sim/scenarios/two-modems.json"));
        s.DelayMs = 1;
        TDeviceFixture f(s);
        const QString gsm = QStringLiteral("sim-gsm");
        const QString text = QStringLiteral("sim-text");
        const QString older =
            BuildDeliverPdus(QStringLiteral("+4917099"), QDateTime(), QStringLiteral("older")).first();
        TSmsSend olderReply;
        olderReply.SetTarget(QStringLiteral("+4917099"));
        olderReply.SetText(QStringLiteral("older reply"));
        {
            TSQLiteLock lock(f.Db.DB());
            {
                TSQLiteQuery q(f.Db.DB(),
                               QStringLiteral(
                                   "INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2020-01-01 10:00:00', 1, ?)"));
                f.Db.DB().SetParamAsString(1, older);
                f.Db.DB().Exec();
            }
            TSQLiteQuery q(f.Db.DB(),
                           QStringLiteral(
                               "INSERT INTO OUTGOING (DATE, SENT, PDU) VALUES ('2020-01-01 10:01:00', 1, ?)"));
            f.Db.DB().SetParamAsString(1, olderReply.EncodePdu().first());
            f.Db.DB().Exec();
        }
        TMBManager& m = f.Start();
        f.Modem->Deliver(gsm, QStringLiteral("+4917001"), QStringLiteral("to gsm"));
        f.Modem->Deliver(text, QStringLiteral("+4917002"), QStringLiteral("to text"));
        for (const QString& id : {gsm, text}) {
            TSmsSend send;
            send.SetTarget(QStringLiteral("+4917003"));
            send.SetText(QStringLiteral("from ") + id);
            m.SendMessage(id, send.Target(), send.Text(), send.EncodePdu());
        }
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(gsm), 0);
        QCOMPARE(f.Modem->StoredCount(text), 0);
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));

        auto texts = [](const auto* List) {
            QStringList r;
            for (int i = List->Count() - 1; i >= 0; --i) {
                r << List->Items(i)->Text();
            }
            return r;
        };
        const QStringList gsmInbox = {"older", "Welcome to the simulated network.", "to gsm"};
        const QStringList textInbox = {"older", "Your data plan renews tomorrow.", "to text"};
        // The running program and the next one agree.
        for (int run = 0; run < 2; ++run) {
            if (run == 1) {
                f.Manager.reset();
                f.Start();
            }
            QCOMPARE(texts(f.Item(gsm)->SmsIncomingList()), gsmInbox);
            QCOMPARE(texts(f.Item(text)->SmsIncomingList()), textInbox);
            QCOMPARE(texts(f.Item(gsm)->SmsOutgoingList()), QStringList({"older reply", "from sim-gsm"}));
            QCOMPARE(texts(f.Item(text)->SmsOutgoingList()), QStringList({"older reply", "from sim-text"}));
        }
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING WHERE DEVICE IS NULL"), 1);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE DEVICE IS NULL"), 1);
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
