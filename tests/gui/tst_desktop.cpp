// How the program fits into the desktop: the window comes back where it was and always on a
// screen, colours read on a dark theme, and the new-message dialog says why it cannot send.

#include "base/Errors.h"
#include "gui/About.h"
#include "gui/Autostart.h"
#include "gui/CreateMessage.h"
#include "gui/GuiCommon.h"
#include "gui/Icons.h"
#include "gui/SignalPanel.h"
#include "gui/WindowState.h"
#include "support/TempDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Ombrelay;

namespace
{

// A dark palette as dark themes set it, with the link colour of a light theme left in it (the
// navy that vanishes on dark grey), so that the program must make it readable itself.
QPalette DarkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Link, QColor(0, 0, 128));
    return p;
}

// The most contrasting opaque colour of Image against Background: what the eye finds of it.
double BestContrast(const QImage& Image, const QColor& Background)
{
    double best = 1;
    for (int y = 0; y < Image.height(); ++y) {
        for (int x = 0; x < Image.width(); ++x) {
            const QColor c = Image.pixelColor(x, y);
            if (c.alpha() == 255) {
                best = std::max(best, ContrastRatio(c, Background));
            }
        }
    }
    return best;
}

// A window with a named splitter and a named list, as the main window's pages have them.
struct TWindow
{
    QMainWindow Window;
    QSplitter* Splitter;
    QTreeWidget* List;
    TWindow()
    {
        Splitter = new QSplitter(&Window);
        Splitter->setObjectName(QStringLiteral("spTest"));
        Splitter->addWidget(new QLabel(QStringLiteral("left")));
        List = new QTreeWidget;
        List->setObjectName(QStringLiteral("lvTest"));
        List->setColumnCount(3);
        Splitter->addWidget(List);
        Window.setCentralWidget(Splitter);
        Window.resize(500, 400);
    }
};

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fitOnScreens_data();
    void fitOnScreens();
    void windowStateSurvivesTheDatabase();
    void brokenStoredStateIsIgnored();
    void hiddenPageKeepsStoredSizes();

    void readableColor_data();
    void readableColor();
    void darkPaletteKeepsContrast();

    void autostartEntry_data();
    void autostartEntry();
    void autostartTurnedOffByTheDesktop();

    void sendHint_data();
    void sendHint();
    void dialogLabelsItsFields();
};

void TestDesktop::fitOnScreens_data()
{
    QTest::addColumn<QRect>("Stored");
    QTest::addColumn<QList<QRect>>("Screens");
    QTest::addColumn<QRect>("Expected");

    const QRect laptop(0, 0, 1366, 738);
    const QRect right(1366, 0, 1920, 1050);
    QTest::newRow("fits: stays") << QRect(100, 80, 632, 538) << QList<QRect>{laptop} << QRect(100, 80, 632, 538);
    QTest::newRow("second screen unplugged")
        << QRect(2000, 100, 632, 538) << QList<QRect>{laptop} << QRect(734, 100, 632, 538);
    QTest::newRow("on the second screen: stays")
        << QRect(2000, 100, 632, 538) << QList<QRect>{laptop, right} << QRect(2000, 100, 632, 538);
    QTest::newRow("mostly on the second: onto it")
        << QRect(1300, 100, 632, 538) << QList<QRect>{laptop, right} << QRect(1366, 100, 632, 538);
    QTest::newRow("above and left of everything")
        << QRect(-900, -700, 632, 538) << QList<QRect>{laptop, right} << QRect(0, 0, 632, 538);
    // Scale 2 on a 1024x768 screen: 512x384 logical pixels, smaller than the window.
    QTest::newRow("larger than a small screen")
        << QRect(-376, -77, 1264, 1076) << QList<QRect>{QRect(0, 0, 512, 384)} << QRect(0, 0, 512, 384);
    QTest::newRow("screen not at the origin")
        << QRect(0, 0, 400, 300) << QList<QRect>{QRect(100, 50, 800, 600)} << QRect(100, 50, 400, 300);
}

void TestDesktop::fitOnScreens()
{
    QFETCH(QRect, Stored);
    QFETCH(QList<QRect>, Screens);
    QFETCH(QRect, Expected);
    QCOMPARE(TWindowState::FitOnScreens(Stored, Screens), Expected);
}

void TestDesktop::windowStateSurvivesTheDatabase()
{
    TTempDatabase db;
    QList<int> sizes;
    int column = 0;
    {
        TWindow first;
        first.Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first.Window));
        first.Window.setGeometry(40, 30, 450, 350);
        first.Splitter->setSizes({120, 300});
        first.List->header()->resizeSection(0, 177);
        sizes = first.Splitter->sizes();
        column = first.List->header()->sectionSize(0);
        TWindowState::Store(first.Window);
    }
    // The program's other settings stay as they are; older programs ignore the new rows.
    db.Open();
    TWindow second;
    QVERIFY(TWindowState::Restore(second.Window));
    second.Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second.Window));
    QCOMPARE(second.Window.geometry().size(), QSize(450, 350));
    QCOMPARE(second.Splitter->sizes(), sizes);
    QCOMPARE(second.List->header()->sectionSize(0), column);
    QCOMPARE(column, 177);
}

void TestDesktop::brokenStoredStateIsIgnored()
{
    TTempDatabase db;
    TWindowState::Save({{QStringLiteral("window.geometry"), QStringLiteral("a,b,c")},
                        {QStringLiteral("window.splitter.spTest"), QStringLiteral("10,20,30")},
                        {QStringLiteral("window.columns.lvTest"), QStringLiteral("x")},
                        // Not ours: Save must leave other settings alone.
                        {QStringLiteral("InterfaceID"), QStringLiteral("overwritten")}});
    QVERIFY(!TWindowState::Load().contains(QStringLiteral("InterfaceID")));
    TWindow w;
    const QList<int> before = w.Splitter->sizes();
    const int column = w.List->header()->sectionSize(0);
    QVERIFY(!TWindowState::Restore(w.Window));
    QCOMPARE(w.Splitter->sizes(), before);
    QCOMPARE(w.List->header()->sectionSize(0), column);
    // Without any database (the program could not open one) nothing is read or written.
    db.Close();
    QVERIFY(TWindowState::Load().isEmpty());
    TWindowState::Store(w.Window);
}

void TestDesktop::hiddenPageKeepsStoredSizes()
{
    // A page not shown in this run has no real sizes (a splitter never laid out reports a few
    // pixels each): storing them would squeeze the page at the next start.
    TTempDatabase db;
    TWindowState::Save({{QStringLiteral("window.splitter.spTest"), QStringLiteral("150,330")}});
    TWindow w;
    w.Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.Window));
    w.Splitter->hide();
    TWindowState::Store(w.Window);
    QCOMPARE(TWindowState::Load().value(QStringLiteral("window.splitter.spTest")), QStringLiteral("150,330"));
}

void TestDesktop::readableColor_data()
{
    QTest::addColumn<QColor>("Colour");
    QTest::addColumn<QColor>("Background");
    QTest::newRow("navy on dark grey") << QColor(0, 0, 128) << QColor(0x2b, 0x2b, 0x2b);
    QTest::newRow("breeze blue on dark") << QColor(0x29, 0x80, 0xb9) << QColor(0x31, 0x36, 0x3b);
    QTest::newRow("pale yellow on white") << QColor(255, 255, 160) << QColor(Qt::white);
    QTest::newRow("red on black") << QColor(200, 0, 0) << QColor(Qt::black);
    QTest::newRow("grey on mid grey") << QColor(128, 128, 128) << QColor(120, 120, 120);
    QTest::newRow("already fine") << QColor(0, 0, 128) << QColor(Qt::white);
}

void TestDesktop::readableColor()
{
    QFETCH(QColor, Colour);
    QFETCH(QColor, Background);
    const QColor made = ReadableColor(Colour, Background);
    QVERIFY2(ContrastRatio(made, Background) >= 4.5, qPrintable(made.name()));
    if (ContrastRatio(Colour, Background) >= 4.5) {
        QCOMPARE(made, Colour);
    } else if (Colour.hslSaturation() > 50) {
        // Still the same kind of colour (a blue link stays blue), only lighter or darker.
        QVERIFY2(qAbs(made.hslHue() - Colour.toHsl().hslHue()) <= 2, qPrintable(made.name()));
    }
}

void TestDesktop::darkPaletteKeepsContrast()
{
    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    const QColor window = DarkPalette().color(QPalette::Window);

    // The About box's links and the count-down's warning: text, 4.5 to 1 at least.
    {
        TfmAbout about;
        for (QLabel* link : {about.findChild<QLabel*>(QStringLiteral("lbWebSite")),
                             about.findChild<QLabel*>(QStringLiteral("lbContact"))}) {
            QVERIFY(link);
            const QColor used = link->palette().color(link->foregroundRole());
            QVERIFY2(ContrastRatio(used, window) >= 4.5, qPrintable(used.name()));
        }
    }
    QVERIFY(ContrastRatio(WarningColor(DarkPalette()), window) >= 4.5);

    // Drawn images: their outlines and lit bars stand out from the window (3 to 1 for graphics).
    for (int i = 0; i < TIcons::MainImageCount(); ++i) {
        const QImage image = TIcons::MainImage(i, DarkPalette()).toImage();
        QVERIFY2(BestContrast(image, window) >= 3.0, qPrintable(QString::number(i)));
    }
    const QImage none = TIcons::SignalImage(0, DarkPalette()).toImage();
    const QImage full = TIcons::SignalImage(5, DarkPalette()).toImage();
    QVERIFY(BestContrast(full, window) >= 3.0);
    // Lit bars are told from unlit ones: the tallest bar changes colour.
    QVERIFY(full.pixelColor(14, 2) != none.pixelColor(14, 2));

    // The status panel draws its text in the palette's text colour, and names what it shows.
    TSignalPanel panel;
    panel.SetText(QStringLiteral("Connected"));
    panel.SetSignalStrength(31);
    panel.resize(250, 20);
    const QImage shot = panel.grab().toImage();
    QVERIFY(BestContrast(shot, window) >= 4.5);
    QVERIFY(!panel.accessibleName().isEmpty());
    QVERIFY2(panel.accessibleDescription().contains(QLatin1String("Connected")) &&
                 panel.accessibleDescription().contains(QLatin1String("5")),
             qPrintable(panel.accessibleDescription()));
    QApplication::setPalette(light);
}

void TestDesktop::autostartEntry_data()
{
    QTest::addColumn<QString>("Program");
    QTest::addColumn<QString>("Exec"); // the Exec line as a desktop file must spell it
    QTest::newRow("plain path") << "/usr/bin/ombrelay"
                                << "Exec=/usr/bin/ombrelay -hide";
    QTest::newRow("blank in the path") << "/opt/My Apps/ombrelay"
                                       << "Exec=\"/opt/My Apps/ombrelay\" -hide";
    QTest::newRow("quote and dollar") << "/opt/a\"b$c/ombrelay"
                                      << "Exec=\"/opt/a\\\\\"b\\\\$c/ombrelay\" -hide";
}

void TestDesktop::autostartEntry()
{
    QFETCH(QString, Program);
    QFETCH(QString, Exec);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString entry = config.filePath(QStringLiteral("autostart/ombrelay.desktop"));
    QCOMPARE(TAutostart::FilePath(), entry);
    QVERIFY(!TAutostart::Enabled());

    TAutostart::SetEnabled(true, Program);
    QVERIFY(TAutostart::Enabled());
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    file.close();
    QVERIFY2(lines.contains(Exec), qPrintable(lines.join(QLatin1Char('|'))));
    // The desktop's own checker accepts it, where it is installed.
    if (!QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty()) {
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validate.waitForFinished());
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
    }
    TAutostart::SetEnabled(false, Program);
    QVERIFY(!QFile::exists(entry));
    QVERIFY(!TAutostart::Enabled());
    // Turning off what is already off is no error.
    TAutostart::SetEnabled(false, Program);
    qunsetenv("XDG_CONFIG_HOME");
}

void TestDesktop::autostartTurnedOffByTheDesktop()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TAutostart::SetEnabled(true, QStringLiteral("/usr/bin/ombrelay"));
    QFile file(TAutostart::FilePath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    QVERIFY(!TAutostart::Enabled());
    // A folder that cannot be written: the error names the file instead of passing silently.
    QFile::remove(TAutostart::FilePath());
    QDir(config.path()).rmdir(QStringLiteral("autostart"));
    QFile blocker(config.filePath(QStringLiteral("autostart")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    try {
        TAutostart::SetEnabled(true, QStringLiteral("/usr/bin/ombrelay"));
        QFAIL("no error raised");
    } catch (const EOmbrelayError& e) {
        QVERIFY2(e.Message().contains(QLatin1String("autostart")), qPrintable(e.Message()));
    }
    qunsetenv("XDG_CONFIG_HOME");
}

void TestDesktop::sendHint_data()
{
    QTest::addColumn<QString>("Target");
    QTest::addColumn<QString>("Text");
    QTest::addColumn<QString>("Hint"); // a word of the hint; empty: Send may be pressed
    QTest::newRow("nothing yet") << ""
                                 << ""
                                 << "number";
    QTest::newRow("blank number") << "   "
                                  << "Hi"
                                  << "number";
    QTest::newRow("sixteen digits") << "+1234567890123456"
                                    << "Hi"
                                    << "15 digits";
    QTest::newRow("no text") << "+4917012345"
                             << ""
                             << "message";
    QTest::newRow("ready") << "+4917012345"
                           << "Hi"
                           << "";
}

void TestDesktop::sendHint()
{
    QFETCH(QString, Target);
    QFETCH(QString, Text);
    QFETCH(QString, Hint);
    TfmCreateMessage dialog;
    dialog.cmbTarget->setEditText(Target);
    dialog.mmText->setPlainText(Text);
    // The hint and the button always agree: a disabled Send says why.
    QCOMPARE(dialog.btnSend->isEnabled(), Hint.isEmpty());
    QCOMPARE(dialog.lbSendHint->text().isEmpty(), Hint.isEmpty());
    QVERIFY2(dialog.lbSendHint->text().contains(Hint), qPrintable(dialog.lbSendHint->text()));
}

void TestDesktop::dialogLabelsItsFields()
{
    TfmCreateMessage dialog;
    QCOMPARE(dialog.lbTarget->buddy(), dialog.cmbTarget);
    QCOMPARE(dialog.lbText->buddy(), dialog.mmText);
    QVERIFY(dialog.lbTarget->text().contains(QLatin1String("To")));
    QVERIFY(dialog.lbText->text().contains(QLatin1String("Message")));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
