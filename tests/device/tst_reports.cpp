// Sent messages and what became of them: states from the device's answers and from the
// network's status reports, kept across restarts; sending again; reading at a device's event.

#include "DeviceFixture.h"
#include "core/SmsReports.h"

#include <QSignalSpy>
#include <QTest>

using namespace Ombrelay;

namespace
{

const QString kTo = QStringLiteral("+491701234567");

// A message of Parts parts that asks for status reports.
std::pair<QString, QStringList> Message(int Parts, const QString& To = kTo)
{
    TSmsSend send;
    send.SetTarget(To);
    const QString text = Parts == 1 ? QStringLiteral("one part") : QString(153 * (Parts - 1) + 10, QLatin1Char('r'));
    send.SetText(text);
    send.SetStatusReportRequest(true);
    return {text, send.EncodePdu()};
}

// The message reference the device sent each part with, in sending order.
QList<int> References(TDeviceFixture& F)
{
    QList<int> refs;
    for (const QString& pdu : F.Modem->SentPdus(QStringLiteral("sim0"))) {
        TSmsRecv r;
        r.DecodePdu(pdu);
        refs << r.MessageRef();
    }
    return refs;
}

// Restarts the program over the same database and device.
TMBManager& Restart(TDeviceFixture& F)
{
    F.Manager.reset();
    return F.Start();
}

TSmsOutgoingItem* Newest(TDeviceFixture& F)
{
    return F.Item()->SmsOutgoingList()->Items(0);
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A three-part message through every outcome its reports can give; the state is the same
    // after a restart, when it is computed from the stored rows alone.
    void reportsGiveTheState_data()
    {
        QTest::addColumn<QStringList>("outcomes"); // per part; "" for no report
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text"); // the start of the state text
        QTest::newRow("no report") << QStringList{"", "", ""} << int(ssSent) << "sent";
        QTest::newRow("one of three") << QStringList{"delivered", "", ""} << int(ssPartly) << "delivered 1 of 3";
        QTest::newRow("two of three") << QStringList{"delivered", "", "delivered"} << int(ssPartly)
                                      << "delivered 2 of 3";
        QTest::newRow("all") << QStringList{"delivered", "delivered", "delivered"} << int(ssDelivered) << "delivered ";
        QTest::newRow("still trying") << QStringList{"delivered", "pending", ""} << int(ssPending)
                                      << "delivered 1 of 3, still trying: recipient busy";
        QTest::newRow("one part failed") << QStringList{"delivered", "failed", "delivered"} << int(ssFailed)
                                         << "failed: validity period expired";
        QTest::newRow("pending, then delivered")
            << QStringList{"pending", "delivered", "delivered"} << int(ssPending) << "delivered 2 of 3, still trying";
    }

    void reportsGiveTheState()
    {
        QFETCH(QStringList, outcomes);
        QFETCH(int, state);
        QFETCH(QString, text);
        TDeviceFixture f;
        TMBManager& m = f.Start();
        int notified = 0;
        m.SetOutgoingSmsNotify([&](TMBInterfaceItem*) { ++notified; });
        const auto [body, pdus] = Message(3);
        m.SendMessage(QStringLiteral("sim0"), kTo, body, pdus);
        QVERIFY(f.Settle());
        TSmsOutgoingList* outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(outbox->Count(), 1);
        QCOMPARE(outbox->StateText(*Newest(f)), QStringLiteral("sent"));
        const QList<int> refs = References(f);
        QCOMPARE(refs.size(), 3);
        notified = 0;
        for (int part = 0; part < 3; ++part) {
            if (!outcomes[part].isEmpty()) {
                f.Modem->Report(QStringLiteral("sim0"), refs[part], outcomes[part]);
            }
        }
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        // Reports are no messages: the inbox stays empty, every report has its row.
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 0);
        const int reports = int(outcomes.size() - outcomes.count(QString()));
        if (reports > 0) {
            QCOMPARE(f.Count("SELECT COUNT(*) FROM REPORTS WHERE OUTGOING IS NOT NULL"), reports);
            QCOMPARE(notified, 1);
        }
        QCOMPARE(int(outbox->State(*Newest(f))), state);
        QVERIFY2(outbox->StateText(*Newest(f)).startsWith(text), qPrintable(outbox->StateText(*Newest(f))));
        const QString live = outbox->StateText(*Newest(f));
        Restart(f);
        QCOMPARE(int(f.Item()->SmsOutgoingList()->State(*Newest(f))), state);
        QCOMPARE(f.Item()->SmsOutgoingList()->StateText(*Newest(f)), live);
    }

    // A report is matched by reference and recipient to the most recent such part: references
    // repeat, and another recipient's part with the same reference is another message.
    void matchingByReferenceAndRecipient()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        NextMessageRef = 40;
        const auto [older, olderPdus] = Message(1);
        m.SendMessage(QStringLiteral("sim0"), kTo, older, olderPdus);
        NextMessageRef = 40;
        const auto [other, otherPdus] = Message(1, QStringLiteral("+3312345678"));
        m.SendMessage(QStringLiteral("sim0"), QStringLiteral("+3312345678"), other, otherPdus);
        NextMessageRef = 40;
        const auto [newer, newerPdus] = Message(1);
        m.SendMessage(QStringLiteral("sim0"), kTo, newer, newerPdus);
        NextMessageRef = 41;
        const auto [last, lastPdus] = Message(1, QStringLiteral("+3312345678"));
        m.SendMessage(QStringLiteral("sim0"), QStringLiteral("+3312345678"), last, lastPdus);
        QVERIFY(f.Settle());
        // The report names the recipient in national form.
        const QDateTime now = QDateTime::currentDateTime();
        f.Modem->DeliverPdu(QStringLiteral("sim0"),
                            BuildStatusReportPdu(40, QStringLiteral("01701234567"), now, now, 0));
        QVERIFY(f.Tick());
        TSmsOutgoingList* outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(outbox->Count(), 4);
        // Newest first: last (41, other), newer (40, kTo), other (40), older (40, kTo).
        QCOMPARE(int(outbox->State(*outbox->Items(1))), int(ssDelivered));
        QCOMPARE(int(outbox->State(*outbox->Items(0))), int(ssSent));
        QCOMPARE(int(outbox->State(*outbox->Items(2))), int(ssSent));
        QCOMPARE(int(outbox->State(*outbox->Items(3))), int(ssSent));
    }

    // Message references go on after a restart (a new process starts its counter at 0): a
    // report for a part sent before the restart reaches that part, not a new one.
    void referencesContinueAfterRestart_data()
    {
        QTest::addColumn<int>("start");
        QTest::newRow("middle") << 17;
        QTest::newRow("wraps after 255") << 255;
    }

    void referencesContinueAfterRestart()
    {
        QFETCH(int, start);
        TDeviceFixture f;
        TMBManager& m = f.Start();
        NextMessageRef = static_cast<std::uint8_t>(start);
        const auto [before, beforePdus] = Message(1);
        m.SendMessage(QStringLiteral("sim0"), kTo, before, beforePdus);
        QVERIFY(f.Settle());
        NextMessageRef = 0; // as a new process has it
        TMBManager& again = Restart(f);
        const auto [after, afterPdus] = Message(2);
        again.SendMessage(QStringLiteral("sim0"), kTo, after, afterPdus);
        QVERIFY(f.Settle());
        QCOMPARE(References(f), (QList<int>{start, (start + 1) % 256, (start + 2) % 256}));
        f.Modem->Report(QStringLiteral("sim0"), start, QStringLiteral("delivered"));
        QVERIFY(f.Tick());
        TSmsOutgoingList* outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(outbox->Count(), 2);
        QCOMPARE(outbox->Items(1)->Text(), before);
        QCOMPARE(int(outbox->State(*outbox->Items(1))), int(ssDelivered));
        QCOMPARE(int(outbox->State(*outbox->Items(0))), int(ssSent));
    }

    // A report that matches nothing, and one read again after its delete failed: each stored
    // once, none dropped, none in the inbox.
    void unmatchedAndRepeatedReports()
    {
        TDeviceFixture f;
        f.Start();
        const QDateTime now = QDateTime::currentDateTime();
        const QString stray = BuildStatusReportPdu(77, QStringLiteral("+4915199999"), now, now, 0x00);
        f.Modem->DeliverPdu(QStringLiteral("sim0"), stray);
        f.Modem->Fail(QStringLiteral("SmsDeleteIndex"), 1);
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 1);
        QVERIFY(f.Tick());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM REPORTS"), 1);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 0);
        const QList<TStoredReport> unmatched = TSmsReports::Unmatched(QStringLiteral("sim0"));
        QCOMPARE(unmatched.size(), 1);
        QCOMPARE(unmatched[0].Pdu, stray);
        QCOMPARE(unmatched[0].MessageRef, 77);
        QCOMPARE(unmatched[0].Recipient, QStringLiteral("+4915199999"));
        QCOMPARE(unmatched[0].Status, 0);
        // Another device's reports are not this one's.
        QVERIFY(TSmsReports::Unmatched(QStringLiteral("sim1")).isEmpty());
    }

    // A whole message sent by a stack that splits it itself (message mode): its rows carry our
    // PDUs, whose references the network never saw, and are matched by the network's reference of
    // each part once the stack gives the last one. A report that came before that is matched then;
    // the last part's report stands for the message (the stack asks for one on the last part).
    void wholeMessageMatchedByNetworkReference_data()
    {
        QTest::addColumn<int>("last"); // the network's reference of the last part
        QTest::newRow("middle") << 5;
        QTest::newRow("wraps before the last part") << 0;
    }

    void wholeMessageMatchedByNetworkReference()
    {
        QFETCH(int, last);
        TDeviceFixture f;
        f.Start();
        NextMessageRef = 200;
        const auto [text, pdus] = Message(2);
        const QList<qint64> rows = TSmsOutgoingList::StoreSubmitted(pdus, true, QStringLiteral("sim0"));
        TSmsOutgoingList::MarkSent(rows);
        const QDateTime now = QDateTime::currentDateTime();
        // The network's report comes first; and one naming the reference of our own rebuilt PDU.
        const QList<TStoredReport> early = TSmsReports::Store(QStringLiteral("sim0"),
                                                              {BuildStatusReportPdu(last, kTo, now, now, 0x00),
                                                               BuildStatusReportPdu(201, kTo, now, now, 0x00)},
                                                              true);
        QCOMPARE(early.size(), 2);
        QCOMPARE(early[0].Outgoing, 0);
        QCOMPARE(early[1].Outgoing, 0);
        const QList<TStoredReport> matched = TSmsReports::RecordNetworkReferences(QStringLiteral("sim0"), rows, last);
        QCOMPARE(matched.size(), 1);
        QCOMPARE(matched[0].Outgoing, rows[1]);
        QCOMPARE(matched[0].Status, 0);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM REPORTS WHERE REBUILT = 1"), 2);
        QCOMPARE(f.Count(QStringLiteral("SELECT NETREF FROM OUTGOING WHERE ID = %1").arg(rows[0])), (last + 255) % 256);
        const QList<TStoredReport> unmatched = TSmsReports::Unmatched(QStringLiteral("sim0"));
        QCOMPARE(unmatched.size(), 1);
        QCOMPARE(unmatched[0].MessageRef, 201);
        // Another recipient's report with the first part's reference is not this message's.
        QCOMPARE(TSmsReports::Store(QStringLiteral("sim0"),
                                    {BuildStatusReportPdu((last + 255) % 256, QStringLiteral("+3312345678"), now,
                                                          now.addSecs(1), 0x00)},
                                    true)
                     .value(0)
                     .Outgoing,
                 0);
        // As a new start reads it from the rows: delivered, though only the last part was reported on.
        Restart(f);
        TSmsOutgoingList* outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(outbox->Count(), 1);
        QCOMPARE(outbox->Items(0)->Text(), text);
        QCOMPARE(int(outbox->State(*Newest(f))), int(ssDelivered));
        QVERIFY2(outbox->StateText(*Newest(f)).startsWith(QLatin1String("delivered")),
                 qPrintable(outbox->StateText(*Newest(f))));
    }

    // Failed and interrupted sends keep their text and reason across a restart and can be sent
    // again; the failed attempt then says so and offers no second retry.
    void failedSendsAfterRestart_data()
    {
        QTest::addColumn<QString>("fault"); // how the send goes wrong
        QTest::addColumn<QString>("reason");
        QTest::newRow("device refuses in its answer") << "SmsSendComplete" << MbnErrorText(mrFailed);
        QTest::newRow("program ends before the answer")
            << "lose" << QStringLiteral("Ombrelay ended before the modem confirmed the send");
    }

    void failedSendsAfterRestart()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        TDeviceFixture f;
        TMBManager& m = f.Start();
        const auto [body, pdus] = Message(2);
        if (fault == QLatin1String("lose")) {
            f.Modem->Lose(QStringLiteral("SmsSendPdu"), 2);
        } else {
            f.Modem->Fail(fault, 2);
        }
        m.SendMessage(QStringLiteral("sim0"), kTo, body, pdus);
        QVERIFY(f.Settle());
        QVERIFY(f.Modem->SentPdus(QStringLiteral("sim0")).isEmpty());
        TMBManager& again = Restart(f);
        TSmsOutgoingList* outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(outbox->Count(), 1);
        TSmsOutgoingItem* failed = Newest(f);
        QCOMPARE(int(outbox->State(*failed)), int(ssFailed));
        QCOMPARE(outbox->StateText(*failed), QStringLiteral("failed: ") + reason);
        QCOMPARE(failed->Text(), body);
        QCOMPARE(failed->Number(), kTo);

        // By identity: the device's confirmation of the new message drops the page that held the
        // failed one, so the item is looked up again rather than kept.
        RetrySend(again, QStringLiteral("sim0"), *outbox, failed->Ident(), true);
        QVERIFY(f.Settle());
        // Settle sees the device quiet; the list's insertion may still be queued on a busy machine.
        QTRY_COMPARE(f.Modem->SentPdus(QStringLiteral("sim0")).size(), 2);
        QTRY_COMPARE(outbox->Count(), 2);
        QCOMPARE(int(outbox->State(*outbox->Items(1))), int(ssRetried));
        QCOMPARE(outbox->Items(0)->Text(), body);
        QCOMPARE(int(outbox->State(*outbox->Items(0))), int(ssSent));
        // Sent again once only.
        QVERIFY_THROWS_EXCEPTION(EMBException, RetrySend(again, QStringLiteral("sim0"), *Newest(f), true));
        Restart(f);
        outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(outbox->Count(), 2);
        QCOMPARE(int(outbox->State(*outbox->Items(1))), int(ssRetried));
        QVERIFY(outbox->StateText(*outbox->Items(1)).endsWith(QLatin1String("sent again")));
        QCOMPARE(int(outbox->State(*outbox->Items(0))), int(ssSent));
        // A send that the device then confirms is sent, even if another start marked it meanwhile.
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1 AND FAILED = 1"), 0);
    }

    // A send that another start of the program marked failed while its answer was on the way is
    // sent once the device confirms it.
    void confirmationOutranksAnInterruptedMark()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        f.Modem->SetDelay(200);
        const auto [body, pdus] = Message(1);
        m.SendMessage(QStringLiteral("sim0"), kTo, body, pdus);
        QCOMPARE(TSmsOutgoingList::ResolveInterrupted(), 1);
        QVERIFY(f.Settle());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1 AND FAILED = 0 AND REASON IS NULL"), 1);
        QCOMPARE(int(f.Item()->SmsOutgoingList()->State(*Newest(f))), int(ssSent));
    }

    // The simulated modem's scenario setting answers every part that asks for a report.
    void scenarioReportsEveryPart()
    {
        TSimScenario s = TestScenario();
        s.Interfaces[0].StatusReports = QStringLiteral("delivered");
        TDeviceFixture f(s);
        TMBManager& m = f.Start();
        const auto [body, pdus] = Message(3);
        m.SendMessage(QStringLiteral("sim0"), kTo, body, pdus);
        // A part that asks for none gets none.
        TSmsSend plain;
        plain.SetTarget(kTo);
        plain.SetText(QStringLiteral("no report"));
        m.SendMessage(QStringLiteral("sim0"), kTo, plain.Text(), plain.EncodePdu());
        QVERIFY(f.Settle());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 3);
        QVERIFY(f.Tick());
        TSmsOutgoingList* outbox = f.Item()->SmsOutgoingList();
        QCOMPARE(int(outbox->State(*outbox->Items(1))), int(ssDelivered));
        QCOMPARE(int(outbox->State(*outbox->Items(0))), int(ssSent));
    }

    // With the event on, a delivered message is stored without a poll; announcements that come
    // while a read is under way give one more read, never two at once, and nothing twice.
    void newMessageEventReads_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("delayMs");
        QTest::newRow("off: the poll alone") << false << 1;
        QTest::newRow("on") << true << 1;
        QTest::newRow("on, slow device") << true << 30;
    }

    void newMessageEventReads()
    {
        QFETCH(bool, on);
        QFETCH(int, delayMs);
        TDeviceFixture f;
        TMBManager& m = f.Start();
        m.SetReadOnNewMessage(on);
        f.Modem->SetDelay(delayMs);
        QSignalSpy reads(f.Modem.get(), &TSimModem::SmsReadComplete);
        // Messages arrive one by one, some while a read is under way.
        for (int n = 0; n < 6; ++n) {
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("msg %1").arg(n));
            QTest::qWait(delayMs / 2 + 1);
        }
        QVERIFY(f.Settle());
        if (!on) {
            QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 0);
            QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 6);
            QVERIFY(f.Tick());
        }
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 6);
        QCOMPARE(f.Count("SELECT COUNT(DISTINCT PDU) FROM INCOMING"), 6);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QCOMPARE(f.Item()->SmsIncomingList()->Count(), 6);
        // Read requests never overlapped: each completion's request id is larger than the last.
        quint32 last = 0;
        for (const QList<QVariant>& r : reads) {
            const quint32 id = r.at(3).toUInt();
            QVERIFY(id >= last);
            last = id;
        }
        QVERIFY(reads.size() <= 6 + 1);
        // Turned off again, the event reads nothing.
        m.SetReadOnNewMessage(false);
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("late"));
        QVERIFY(f.Settle());
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 1);
    }
};

QTEST_GUILESS_MAIN(TestReports)
#include "tst_reports.moc"
