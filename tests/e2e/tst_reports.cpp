// Sent messages in the real program on the simulated modem: a send the device refused is shown
// failed after a restart and can be sent again; a long message goes from sent through "delivered
// 1 of 3" to delivered as the network's reports arrive (read the moment the device announces
// them); a report that matches nothing is kept; the states survive a restart.

#include "support/ProgramUnderTest.h"

#include <QStandardPaths>

using namespace Ombrelay;

namespace
{

// The Sent list's states, newest first.
QStringList States(const TProgram& Program)
{
    const QString answer = Program.Window(QStringLiteral("states sim0"));
    if (!answer.startsWith(QLatin1String("ok"))) {
        return {answer};
    }
    return answer.mid(3).split(QLatin1Char('\t'), Qt::SkipEmptyParts);
}

bool StatesBecome(const TProgram& Program, const std::function<bool(const QStringList&)>& Wanted, QStringList& Last)
{
    return WaitFor(
        [&] {
            Last = States(Program);
            return Wanted(Last);
        },
        10000);
}

} // namespace

class TestReportsProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        for (const char* tool : {"Xvfb", "sqlite3"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
                QSKIP(qPrintable(
                    QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
            }
        }
        QVERIFY2(StartXvfb(FXvfb, FDisplay, 70), "no X server could be started");
    }

    void cleanupTestCase()
    {
        FXvfb.terminate();
        FXvfb.waitForFinished();
    }

    void failedSendRetriedAndReportsFollow()
    {
        QTemporaryDir home;
        QStringList last;
        {
            TProgram program(FDisplay, home);
            QVERIFY(program.Start());
            // The device refuses the send in its answer.
            QCOMPARE(program.Sim(QStringLiteral("fail SmsSendComplete 1")), QStringLiteral("ok"));
            QCOMPARE(program.Window(QStringLiteral("send-as-dialog sim0 +491701234567 see you at eight")),
                     QStringLiteral("ok"));
            QVERIFY(WaitFor(
                [&] {
                    return program.Sql(QStringLiteral("SELECT SENT || FAILED FROM OUTGOING")) == QLatin1String("01");
                },
                10000));
            QCOMPARE(program.Stop(), 0);
        }
        TProgram program(FDisplay, home);
        QVERIFY(program.Start());
        QVERIFY2(StatesBecome(
                     program,
                     [](const QStringList& S) { return S.size() == 1 && S[0].startsWith(QLatin1String("failed: ")); },
                     last),
                 qPrintable(last.join(QLatin1String(" | "))));
        QCOMPARE(program.Window(QStringLiteral("retry sim0 0")), QStringLiteral("ok"));
        QVERIFY2(StatesBecome(
                     program,
                     [](const QStringList& S) {
                         return S.size() == 2 && S[0] == QLatin1String("sent") &&
                                S[1].endsWith(QLatin1String("sent again"));
                     },
                     last),
                 qPrintable(last.join(QLatin1String(" | "))));
        QVERIFY(program.Sim(QStringLiteral("sent sim0")).startsWith(QLatin1String("ok 00")));

        // A three-part message, then the network's reports one by one, without a poll.
        const QString text = QString(400, QLatin1Char('z'));
        QCOMPARE(program.Window(QStringLiteral("send-as-dialog sim0 +491701234567 ") + text), QStringLiteral("ok"));
        QVERIFY2(StatesBecome(
                     program, [](const QStringList& S) { return S.size() == 3 && S[0] == QLatin1String("sent"); },
                     last),
                 qPrintable(last.join(QLatin1String(" | "))));
        // Our SUBMIT PDUs carry no service-centre address: the reference is the third octet.
        const QStringList sent = program.Sim(QStringLiteral("sent sim0")).mid(3).split(QLatin1Char(' '));
        QCOMPARE(sent.size(), 4);
        const QStringList parts = sent.mid(1);
        for (const QString& pdu : parts) {
            QCOMPARE(pdu.mid(2, 2).toInt(nullptr, 16) & 0x20, 0x20); // a report was asked for
        }
        const QStringList expected = {QStringLiteral("delivered 1 of 3"), QStringLiteral("delivered 2 of 3"),
                                      QStringLiteral("delivered ")};
        for (int part = 0; part < 3; ++part) {
            const int reference = parts[part].mid(4, 2).toInt(nullptr, 16);
            QCOMPARE(program.Sim(QStringLiteral("report sim0 %1 delivered").arg(reference)), QStringLiteral("ok"));
            QVERIFY2(StatesBecome(
                         program, [&](const QStringList& S) { return S.value(0).startsWith(expected[part]); }, last),
                     qPrintable(last.join(QLatin1String(" | "))));
        }
        // A failed report on the message sent again.
        const int retried = sent[0].mid(4, 2).toInt(nullptr, 16);
        QCOMPARE(program.Sim(QStringLiteral("report sim0 %1 failed").arg(retried)), QStringLiteral("ok"));
        QVERIFY2(StatesBecome(
                     program,
                     [](const QStringList& S) {
                         return S.value(1) == QLatin1String("failed: validity period expired");
                     },
                     last),
                 qPrintable(last.join(QLatin1String(" | "))));
        // A report on nothing we sent: stored, matched to nothing, not in the inbox.
        QCOMPARE(program.Sim(QStringLiteral("deliver-pdu sim0 0006C80B914151999999F9622190015103406221900151244000")),
                 QStringLiteral("ok"));
        QVERIFY(WaitFor(
            [&] {
                return program.Sql(QStringLiteral("SELECT COUNT(*) FROM REPORTS WHERE OUTGOING IS NULL")) ==
                       QLatin1String("1");
            },
            10000));
        QCOMPARE(program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), QStringLiteral("0"));
        QCOMPARE(program.Sim(QStringLiteral("stored sim0")), QStringLiteral("ok 0"));
        const QStringList before = States(program);
        QCOMPARE(program.Stop(), 0);

        // Reports survive a restart: the states come from the stored rows.
        TProgram again(FDisplay, home);
        QVERIFY(again.Start());
        QCOMPARE(States(again), before);
        QCOMPARE(again.Stop(), 0);
    }

    // A report that matches no message sent from here is shown under the Sent folder, also
    // after a restart, with its recipient and outcome; the inbox stays empty.
    void unmatchedReportShown()
    {
        QTemporaryDir home;
        const QString wanted =
            QStringLiteral("Delivery report for a message not sent from here: +14159999999, delivered at ");
        auto shown = [](const TProgram& Program, QString& Label) {
            return WaitFor(
                [&] {
                    Label = Program.Window(QStringLiteral("label lbUnmatchedReports"));
                    return Label.startsWith(QLatin1String("ok Delivery"));
                },
                10000);
        };
        QString label;
        {
            TProgram program(FDisplay, home);
            QVERIFY(program.Start());
            QCOMPARE(program.Window(QStringLiteral("tab tsMessages")), QStringLiteral("ok"));
            QCOMPARE(program.Window(QStringLiteral("folder 1")), QStringLiteral("ok"));
            QCOMPARE(program.Window(QStringLiteral("label lbUnmatchedReports")), QStringLiteral("ok"));
            QCOMPARE(program.Sim(
                         QStringLiteral("deliver-pdu sim0 0006C80B914151999999F9622190015103406221900151244000")),
                     QStringLiteral("ok"));
            QVERIFY2(shown(program, label), qPrintable(label));
            QVERIFY2(label.mid(3).startsWith(wanted), qPrintable(label));
            // Not in the inbox, and gone from the device once stored.
            QCOMPARE(program.Window(QStringLiteral("folder 0")), QStringLiteral("ok"));
            QCOMPARE(program.Window(QStringLiteral("label lbUnmatchedReports")), QStringLiteral("ok"));
            QCOMPARE(program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), QStringLiteral("0"));
            QCOMPARE(program.Sim(QStringLiteral("stored sim0")), QStringLiteral("ok 0"));
            QCOMPARE(program.Stop(), 0);
        }
        TProgram again(FDisplay, home);
        QVERIFY(again.Start());
        QCOMPARE(again.Window(QStringLiteral("tab tsMessages")), QStringLiteral("ok"));
        QCOMPARE(again.Window(QStringLiteral("folder 1")), QStringLiteral("ok"));
        QVERIFY2(shown(again, label), qPrintable(label));
        QVERIFY2(label.mid(3).startsWith(wanted), qPrintable(label));
        QCOMPARE(again.Stop(), 0);
    }

private:
    QString FDisplay;
    QProcess FXvfb;
};

QTEST_MAIN(TestReportsProgram)
#include "tst_reports.moc"
