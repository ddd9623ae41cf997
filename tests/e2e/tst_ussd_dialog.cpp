// The USSD dialog in the real program on the simulated modem: a code sent, the network's menu
// shown, answered in the same session, the final answer shown; a cancelled session; a code the
// network does not answer; and the codes sent kept across a restart.

#include "support/ProgramUnderTest.h"

#include <QStandardPaths>
#include <QUrl>

using namespace Ombrelay;

namespace
{

struct TUssdView
{
    QString State; // busy, menu or idle
    QString Status;
    QString Answer;
    QStringList Codes;
};

TUssdView Show(const TProgram& Program)
{
    const QStringList f = Program.Window(QStringLiteral("ussd show")).split(QLatin1Char(' '));
    TUssdView v;
    if (f.size() != 5 || f[0] != QLatin1String("ok")) {
        v.State = f.join(QLatin1Char(' '));
        return v;
    }
    auto decode = [](const QString& Text) { return QUrl::fromPercentEncoding(Text.toLatin1()); };
    v.State = f[1];
    v.Status = decode(f[2]);
    v.Answer = decode(f[3]);
    v.Codes = decode(f[4]).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return v;
}

// Waits until the dialog's state is State; the last view in View.
bool Becomes(const TProgram& Program, const QString& State, TUssdView& View)
{
    return WaitFor(
        [&] {
            View = Show(Program);
            return View.State == State;
        },
        10000);
}

} // namespace

class TestUssdDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
            QSKIP("Xvfb is not installed (scripts/install-deps.sh)");
        }
        QVERIFY2(StartXvfb(FXvfb, FDisplay, 860), "no X server could be started");
    }

    void cleanupTestCase()
    {
        FXvfb.terminate();
        FXvfb.waitForFinished();
    }

    void exchangeCancelAndRecentCodes()
    {
        QTemporaryDir home;
        TUssdView v;
        {
            TProgram program(FDisplay, home);
            QVERIFY(program.Start());
            QCOMPARE(program.Window(QStringLiteral("ussd open")), QStringLiteral("ok"));

            // Initiate, the menu, the reply, the final answer.
            QCOMPARE(program.Window(QStringLiteral("ussd send *100#")), QStringLiteral("ok"));
            QVERIFY2(Becomes(program, QStringLiteral("menu"), v), qPrintable(v.State + QLatin1Char(' ') + v.Status));
            QVERIFY2(v.Answer.startsWith(QLatin1String("Your balance is 12.34 EUR.\n1 Data left")),
                     qPrintable(v.Answer));
            QCOMPARE(v.Status, QStringLiteral("The network waits for your reply."));
            QCOMPARE(program.Window(QStringLiteral("ussd reply 1")), QStringLiteral("ok"));
            QVERIFY2(Becomes(program, QStringLiteral("idle"), v), qPrintable(v.State));
            QCOMPARE(v.Answer, QStringLiteral("You have 2.5 GB of data left until 31.12."));
            QCOMPARE(v.Status, QStringLiteral("Session ended."));
            // Nothing is asked any more: the reply box is off.
            QCOMPARE(program.Window(QStringLiteral("ussd reply 2")), QStringLiteral("error Reply is disabled"));

            // A UCS-2 answer of a scripted code, shown decoded; then cancelled at its menu.
            QCOMPARE(program.Sim(QStringLiteral("ussd sim0 *110# ucs2:041C0435043D044E000A00310020041E043A menu")),
                     QStringLiteral("ok"));
            QCOMPARE(program.Window(QStringLiteral("ussd send *110#")), QStringLiteral("ok"));
            QVERIFY(Becomes(program, QStringLiteral("menu"), v));
            QCOMPARE(v.Answer, QStringLiteral("Меню\n1 Ок"));
            QCOMPARE(program.Window(QStringLiteral("ussd cancel")), QStringLiteral("ok"));
            QVERIFY(Becomes(program, QStringLiteral("idle"), v));
            QCOMPARE(v.Status, QStringLiteral("Session cancelled."));

            // A code the network does not answer says so.
            QCOMPARE(program.Window(QStringLiteral("ussd send *999#")), QStringLiteral("ok"));
            QVERIFY(WaitFor(
                [&] {
                    v = Show(program);
                    return v.Status == QLatin1String("The network did not answer.");
                },
                10000));
            QCOMPARE(v.State, QStringLiteral("idle"));
            QCOMPARE(v.Codes, (QStringList{QStringLiteral("*999#"), QStringLiteral("*110#"), QStringLiteral("*100#")}));
            // Failures are told in the dialog, not in message boxes.
            QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
            QCOMPARE(program.Stop(), 0);
        }
        // The codes sent are there after a restart, newest first.
        TProgram program(FDisplay, home);
        QVERIFY(program.Start());
        QCOMPARE(program.Window(QStringLiteral("ussd open")), QStringLiteral("ok"));
        v = Show(program);
        QCOMPARE(v.Codes, (QStringList{QStringLiteral("*999#"), QStringLiteral("*110#"), QStringLiteral("*100#")}));
        QCOMPARE(program.Stop(), 0);
    }

private:
    QProcess FXvfb;
    QString FDisplay;
};

QTEST_GUILESS_MAIN(TestUssdDialog)
#include "tst_ussd_dialog.moc"
