// The program's command line: what each spelling starts, and that every mistake ends with the
// problem and the usage instead of a window.

#include "gui/CommandLine.h"

#include <QTest>

using namespace Ombrelay;

namespace
{

const QStringList Backends{"auto", "sim", "modemmanager"};

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void testCommandsOnlyInTestBuilds();
    void helpListsEveryDocumentedOption();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("Arguments");
    QTest::addColumn<int>("Action");
    QTest::addColumn<bool>("Hide");
    QTest::addColumn<QString>("Backend");
    QTest::addColumn<QString>("Scenario");
    // For errors: a word the message must hold.
    QTest::addColumn<QString>("Problem");

    const int run = TCommandLine::Run;
    const int error = TCommandLine::Error;
    QTest::newRow("nothing") << QStringList{"ombrelay"} << run << false << "auto"
                             << ""
                             << "";
    QTest::newRow("-hide") << QStringList{"ombrelay", "-hide"} << run << true << "auto"
                           << ""
                           << "";
    QTest::newRow("/HIDE") << QStringList{"ombrelay", "/HIDE"} << run << true << "auto"
                           << ""
                           << "";
    QTest::newRow("-HiDe among others") << QStringList{"ombrelay", "--backend=sim", "-HiDe"} << run << true << "sim"
                                        << ""
                                        << "";
    QTest::newRow("--hide") << QStringList{"ombrelay", "--hide"} << run << true << "auto"
                            << ""
                            << "";
    QTest::newRow("backend separate value")
        << QStringList{"ombrelay", "--backend", "modemmanager"} << run << false << "modemmanager"
        << ""
        << "";
    QTest::newRow("scenario both spellings")
        << QStringList{"ombrelay", "--sim-scenario=/a.json", "--sim-state", "/s"} << run << false << "auto"
        << "/a.json"
        << "";
    QTest::newRow("Qt's own options pass")
        << QStringList{"ombrelay", "-platform", "offscreen", "-style=fusion"} << run << false << "auto"
        << ""
        << "";
    QTest::newRow("-h") << QStringList{"ombrelay", "-h"} << int(TCommandLine::Help) << false << "auto"
                        << ""
                        << "";
    QTest::newRow("--version") << QStringList{"ombrelay", "--version"} << int(TCommandLine::Version) << false << "auto"
                               << ""
                               << "";
    QTest::newRow("help wins over a bad backend")
        << QStringList{"ombrelay", "--backend=nope", "--help"} << int(TCommandLine::Help) << false << "auto"
        << ""
        << "";
    QTest::newRow("unknown option") << QStringList{"ombrelay", "--no-such-option"} << error << false << "auto"
                                    << ""
                                    << "no-such-option";
    QTest::newRow("unknown backend") << QStringList{"ombrelay", "--backend=wwan"} << error << false << "auto"
                                     << ""
                                     << "wwan";
    QTest::newRow("empty backend") << QStringList{"ombrelay", "--backend="} << error << false << "auto"
                                   << ""
                                   << "backend";
    QTest::newRow("missing value") << QStringList{"ombrelay", "--sim-state"} << error << false << "auto"
                                   << ""
                                   << "sim-state";
    QTest::newRow("empty value") << QStringList{"ombrelay", "--sim-control="} << error << false << "auto"
                                 << ""
                                 << "sim-control";
    QTest::newRow("stray word") << QStringList{"ombrelay", "hide"} << error << false << "auto"
                                << ""
                                << "hide";
    QTest::newRow("hide misspelt") << QStringList{"ombrelay", "-hid"} << error << false << "auto"
                                   << ""
                                   << "hid";
    QTest::newRow("test channel in a release build")
        << QStringList{"ombrelay", "--test-commands"} << error << false << "auto"
        << ""
        << "test-commands";
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, Arguments);
    QFETCH(int, Action);
    QFETCH(bool, Hide);
    QFETCH(QString, Backend);
    QFETCH(QString, Scenario);
    QFETCH(QString, Problem);

    const TCommandLine c = ParseCommandLine(Arguments, Backends, false);
    QCOMPARE(int(c.Action), Action);
    if (Action == TCommandLine::Run) {
        QCOMPARE(c.Hide, Hide);
        QCOMPARE(c.Backend, Backend);
        QCOMPARE(c.SimScenario, Scenario);
        QVERIFY(!c.TestCommands);
    } else if (Action == TCommandLine::Error) {
        // The problem first, then the usage, so that the user sees both.
        QVERIFY2(c.Text.section(QLatin1Char('\n'), 0, 0).contains(Problem), qPrintable(c.Text));
        QVERIFY2(c.Text.contains(QLatin1String("Usage: ombrelay")), qPrintable(c.Text));
    } else if (Action == TCommandLine::Version) {
        QCOMPARE(c.Text.trimmed(), QStringLiteral("ombrelay " OMBRELAY_VERSION));
    }
}

void TestCommandLine::testCommandsOnlyInTestBuilds()
{
    const TCommandLine c = ParseCommandLine({"ombrelay", "--backend=sim", "--test-commands", "-hide"}, Backends, true);
    QCOMPARE(int(c.Action), int(TCommandLine::Run));
    QVERIFY(c.TestCommands);
    QVERIFY(c.Hide);
    // Even where it exists, the test channel is not offered to users.
    QVERIFY(!ParseCommandLine({"ombrelay", "--help"}, Backends, true).Text.contains(QLatin1String("test-commands")));
}

void TestCommandLine::helpListsEveryDocumentedOption()
{
    const QString help = ParseCommandLine({"ombrelay", "--help"}, Backends, false).Text;
    for (const char* option : {"--hide", "--backend", "--sim-scenario", "--sim-state", "--sim-control", "--help",
                               "--version", "modemmanager"}) {
        QVERIFY2(help.contains(QLatin1String(option)), option);
    }
    // Qt's own options are accepted but are not ours to document.
    QVERIFY(!help.contains(QLatin1String("platform")));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
