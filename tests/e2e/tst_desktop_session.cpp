// The real program on a desktop session: its window comes back where the user left it, never off
// the screen (also at scale 2 on a small screen), and pictures of it under a dark theme are made
// for a person to look at. The usage charts at the window's smallest size, light and dark, in
// German and at scale 2: no text of theirs is cut, and pictures of them are made.

#include "support/ProgramUnderTest.h"

#include <QDir>
#include <QFileInfo>
#include <QRect>
#include <QStandardPaths>

using namespace Ombrelay;

namespace
{

struct TPlace
{
    QRect Frame;
    QRect Client;
    QRect Screen;
};

// The "geometry" test command's answer; Frame stays empty when the answer is not one.
TPlace Place(const TProgram& Program)
{
    const QStringList w = Program.Window(QStringLiteral("geometry")).split(QLatin1Char(' '));
    TPlace r;
    if (w.size() != 13 || w[0] != QLatin1String("ok")) {
        return r;
    }
    auto rect = [&w](int At) { return QRect(w[At].toInt(), w[At + 1].toInt(), w[At + 2].toInt(), w[At + 3].toInt()); };
    r.Frame = rect(1);
    r.Client = rect(5);
    r.Screen = rect(9);
    return r;
}

} // namespace

class TestDesktopSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void geometrySurvivesRestart();
    void offScreenGeometryComesBack();
    void scaleTwoOnSmallScreen();
    void darkThemeScreenshots();
    void germanDesktopShowsGermanMenus();
    void usageChartsAtTheSmallestSize_data();
    void usageChartsAtTheSmallestSize();

private:
    QString FDisplay;
    QProcess FXvfb;
};

void TestDesktopSession::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    for (const char* tool : {"Xvfb", "xdotool", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
        }
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 400), "no X server could be started");
    QDir().mkpath(QStringLiteral(OMBRELAY_SCREENSHOTS));
}

void TestDesktopSession::cleanupTestCase()
{
    EndProcesses({&FXvfb});
}

void TestDesktopSession::geometrySurvivesRestart()
{
    QTemporaryDir home;
    const QRect wanted(37, 41, 700, 480);
    {
        TProgram first(FDisplay, home);
        QVERIFY(first.Start());
        const QString id = first
                               .XDoTool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                                         QStringLiteral("^Virelle Ombrelay$")})
                               .section(QLatin1Char('\n'), 0, 0);
        QVERIFY(!id.isEmpty());
        // As a user drags and resizes it.
        first.XDoTool({QStringLiteral("windowsize"), QStringLiteral("--sync"), id, QString::number(wanted.width()),
                       QString::number(wanted.height())});
        first.XDoTool({QStringLiteral("windowmove"), QStringLiteral("--sync"), id, QString::number(wanted.x()),
                       QString::number(wanted.y())});
        QVERIFY(WaitFor([&] { return Place(first).Client == wanted; }, 5000));
        // Ended as a logout ends it.
        QCOMPARE(first.Stop(), 0);
    }
    TProgram second(FDisplay, home);
    QVERIFY(second.Start());
    QVERIFY(WaitFor([&] { return Place(second).Client == wanted; }, 5000));
    QCOMPARE(Place(second).Client, wanted);
    QCOMPARE(second.Stop(), 0);
}

void TestDesktopSession::offScreenGeometryComesBack()
{
    QTemporaryDir home;
    {
        TProgram first(FDisplay, home);
        QVERIFY(first.Start());
        QCOMPARE(first.Stop(), 0);
    }
    // Left on a second screen that is gone now (the display is 1024x768).
    TProgram second(FDisplay, home);
    second.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = '2900,1500,640,520' WHERE NAME = 'window.geometry'"));
    QCOMPARE(second.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'window.geometry'")),
             QStringLiteral("2900,1500,640,520"));
    QVERIFY(second.Start());
    TPlace place;
    QVERIFY(WaitFor(
        [&] {
            place = Place(second);
            return place.Frame.isValid();
        },
        5000));
    QVERIFY2(place.Screen.contains(place.Frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                .arg(place.Frame.x())
                                                                .arg(place.Frame.y())
                                                                .arg(place.Frame.width())
                                                                .arg(place.Frame.height())));
    // It keeps the size it had: only the place changed.
    QCOMPARE(place.Client.size(), QSize(640, 520));
    QCOMPARE(second.Stop(), 0);
}

void TestDesktopSession::scaleTwoOnSmallScreen()
{
    // 1024x768 at scale 2 is 512x384: smaller than the window's first size.
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    program.SetEnv(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    QVERIFY(program.Start());
    TPlace place;
    QVERIFY(WaitFor(
        [&] {
            place = Place(program);
            return place.Frame.isValid();
        },
        5000));
    QCOMPARE(place.Screen.size(), QSize(512, 384));
    QVERIFY2(place.Screen.contains(place.Frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                .arg(place.Frame.x())
                                                                .arg(place.Frame.y())
                                                                .arg(place.Frame.width())
                                                                .arg(place.Frame.height())));
    Run(QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral(OMBRELAY_SCREENSHOTS "/scale2-display.png")},
        nullptr, program.Env());
    QCOMPARE(program.Stop(), 0);
}

void TestDesktopSession::darkThemeScreenshots()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    QCOMPARE(program.Sim(QStringLiteral("signal sim0 25")), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("palette dark")), QStringLiteral("ok"));
    for (const char* tab : {"tsInfo", "tsConnProf", "tsUsage", "tsMessages"}) {
        QCOMPARE(program.Window(QStringLiteral("tab %1").arg(QLatin1String(tab))), QStringLiteral("ok"));
        QTest::qWait(300);
        const QString file = QStringLiteral(OMBRELAY_SCREENSHOTS "/dark-%1.png").arg(QLatin1String(tab));
        QCOMPARE(program.Window(QStringLiteral("screenshot ") + file), QStringLiteral("ok"));
        QVERIFY(QFileInfo(file).size() > 0);
    }
    QCOMPARE(program.Stop(), 0);
}

void TestDesktopSession::germanDesktopShowsGermanMenus()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    program.SetEnv(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    program.SetEnv(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    program.SetEnv(QStringLiteral("LANGUAGE"), QStringLiteral("de"));
    QVERIFY(program.Start());
    QCOMPARE(program.Window(QStringLiteral("menus")), QStringLiteral("ok &Datei\tE&xtras\t&Hilfe"));
    // The core's words too: the registration and the simulated modem in the status bar.
    QCOMPARE(program.Sim(QStringLiteral("register sim0 searching")), QStringLiteral("ok"));
    QVERIFY2(
        WaitFor(
            [&] {
                return program.Window(QStringLiteral("statusbar")).contains(QStringLiteral("Suche nach einem Netz"));
            },
            5000),
        qPrintable(program.Window(QStringLiteral("statusbar"))));
    QVERIFY2(program.Window(QStringLiteral("statusbar")).startsWith(QStringLiteral("ok Simuliertes Modem\t")),
             qPrintable(program.Window(QStringLiteral("statusbar"))));
    QCOMPARE(program.Sim(QStringLiteral("register sim0 home")), QStringLiteral("ok"));
    QVERIFY(program.Sim(QStringLiteral("deliver sim0 +4917012345 Hallo, bis morgen")).startsWith(QStringLiteral("ok")));
    QCOMPARE(program.Window(QStringLiteral("poll")), QStringLiteral("ok"));
    for (const char* tab : {"tsInfo", "tsUsage", "tsMessages"}) {
        QCOMPARE(program.Window(QStringLiteral("tab %1").arg(QLatin1String(tab))), QStringLiteral("ok"));
        QTest::qWait(300);
        const QString file = QStringLiteral(OMBRELAY_SCREENSHOTS "/german-%1.png").arg(QLatin1String(tab));
        QCOMPARE(program.Window(QStringLiteral("screenshot ") + file), QStringLiteral("ok"));
    }
    QCOMPARE(program.Window(QStringLiteral("label lbPlan")),
             QStringLiteral("ok W\u00e4hlen Sie ein Modem, um seinen Datentarif zu sehen."));
    QCOMPARE(program.Stop(), 0);
}

void TestDesktopSession::usageChartsAtTheSmallestSize_data()
{
    QTest::addColumn<bool>("Dark");
    QTest::addColumn<bool>("German");
    QTest::addColumn<bool>("ScaleTwo");
    QTest::newRow("light") << false << false << false;
    QTest::newRow("dark") << true << false << false;
    QTest::newRow("german") << false << true << false;
    QTest::newRow("german-dark-scale2") << true << true << true;
}

void TestDesktopSession::usageChartsAtTheSmallestSize()
{
    QFETCH(bool, Dark);
    QFETCH(bool, German);
    QFETCH(bool, ScaleTwo);
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    if (German) {
        program.SetEnv(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        program.SetEnv(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
        program.SetEnv(QStringLiteral("LANGUAGE"), QStringLiteral("de"));
    }
    if (ScaleTwo) {
        program.SetEnv(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    }
    QVERIFY(program.Start());
    QCOMPARE(program.Stop(), 0);
    // Forty days of traffic before today, so that the chart has bars and dates to label.
    QCOMPARE(program.Sql(QStringLiteral(
                 "WITH RECURSIVE d(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM d WHERE n < 40) "
                 "INSERT INTO USAGE SELECT DATE('now', 'localtime', '-' || n || ' days'), (n * 7919 % 23 + 2) * "
                 "1000000, (n * 104729 % 7 + 1) * 300000 FROM d; SELECT COUNT(*) FROM USAGE")),
             QStringLiteral("40"));
    QVERIFY(program.Start());
    if (Dark) {
        QCOMPARE(program.Window(QStringLiteral("palette dark")), QStringLiteral("ok"));
    }
    QCOMPARE(program.Window(QStringLiteral("tab tsUsage")), QStringLiteral("ok"));
    QVERIFY(program.Window(QStringLiteral("resize 0 0")).startsWith(QStringLiteral("ok ")));
    // Traffic while the tab is shown draws the rate (a sample every two seconds).
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(program.Sim(QStringLiteral("traffic sim0 %1 %2").arg(400000 + i % 3 * 300000).arg(50000)),
                 QStringLiteral("ok"));
        QTest::qWait(1000);
    }
    auto whole = [&](const char* Chart, QString& Texts) {
        Texts = program.Window(QStringLiteral("chart-texts %1").arg(QLatin1String(Chart)));
        const QStringList texts = Texts.mid(3).split(QLatin1Char('\t'));
        return Texts.startsWith(QStringLiteral("ok ")) && texts.size() >= 4 &&
               std::none_of(texts.cbegin(), texts.cend(), [](const QString& T) {
                   return T.startsWith(QLatin1Char('!')) || T.contains(QLatin1String("...")) ||
                          T.contains(QChar(0x2026));
               });
    };
    for (const char* chart : {"chHistory", "chRate"}) {
        QString texts;
        QVERIFY2(WaitFor([&] { return whole(chart, texts); }, 5000), qPrintable(texts));
    }
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString window = QStringLiteral(OMBRELAY_SCREENSHOTS "/usage-smallest-%1.png").arg(tag);
    const QString charts = QStringLiteral(OMBRELAY_SCREENSHOTS "/usage-charts-smallest-%1.png").arg(tag);
    QCOMPARE(program.Window(QStringLiteral("screenshot ") + window), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("grab fmUsageHistory ") + charts), QStringLiteral("ok"));
    QVERIFY(QFileInfo(charts).size() > 0);
    QCOMPARE(program.Stop(), 0);
}

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktop_session.moc"
