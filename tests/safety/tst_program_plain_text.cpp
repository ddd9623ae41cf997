// Text that comes from a message, its text and its (alphanumeric) sender, shown literally by the
// real program wherever a user meets it: the message list and the tool tips a hover shows there,
// the message opened below the list, the conversation, and the notification that announces it.
// Markup in it is never drawn, and no file it names is ever opened: the marker files it points to
// are watched with inotify while the program shows them.

#include "support/ProgramUnderTest.h"
#include "support/RenderedTip.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextFrame>
#include <QUrl>

#include <sys/inotify.h>
#include <unistd.h>

using namespace Ombrelay;

namespace
{

const QString kInterface = QStringLiteral("sim0");

QString Decode(const QString& Field)
{
    return QUrl::fromPercentEncoding(Field.toLatin1());
}

// A rendered text as one paragraph's words (tips wrap, separators and no-break blanks differ).
QString Words(QString Text)
{
    Text.replace(QChar::LineSeparator, QLatin1Char(' ')).replace(QChar::Nbsp, QLatin1Char(' '));
    return Text.simplified();
}

// Nothing in a rendered document became an image, a link or a table.
bool OnlyText(const QTextDocument& Document)
{
    if (!Document.rootFrame()->childFrames().isEmpty()) {
        return false;
    }
    for (QTextBlock block = Document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat() || format.isAnchor()) {
                return false;
            }
        }
    }
    return true;
}

// One hover over an item of a list: its text, the tip the label was given, how the label drew
// it, and what it read.
struct THover
{
    bool Ok = false;
    QString Display;
    QString Tip;
    QString Format;
    QString Shown;
};

THover Hover(const TProgram& Program, const QString& View, int Row, int Column)
{
    const QStringList answer =
        Program.Window(QStringLiteral("hover %1 %2 %3").arg(View).arg(Row).arg(Column)).split(QLatin1Char(' '));
    THover h;
    if (answer.size() != 5 || answer[0] != QLatin1String("ok")) {
        return h;
    }
    h.Ok = true;
    h.Display = Decode(answer[1]);
    h.Tip = Decode(answer[2]);
    h.Format = answer[3];
    h.Shown = Decode(answer[4]);
    return h;
}

// The notifications the desktop's notification service was asked to show: summary and body.
QList<std::pair<QString, QString>> Notifications()
{
    QDBusInterface mock(QStringLiteral("org.freedesktop.Notifications"),
                        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.DBus.Mock"));
    const QDBusMessage reply = mock.call(QStringLiteral("GetMethodCalls"), QStringLiteral("Notify"));
    QList<std::pair<QString, QString>> result;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return result;
    }
    const QDBusArgument calls = reply.arguments().constFirst().value<QDBusArgument>();
    calls.beginArray();
    while (!calls.atEnd()) {
        quint64 time = 0;
        QVariantList args;
        calls.beginStructure();
        calls >> time >> args;
        calls.endStructure();
        // Notify(app name, replaces id, icon, summary, body, actions, hints, time-out)
        if (args.size() >= 5) {
            result.append({args[3].toString(), args[4].toString()});
        }
    }
    calls.endArray();
    return result;
}

// A notification's first line of text, as the program cuts it.
QString Preview(const QString& Text)
{
    QString line = Text.simplified();
    if (line.size() > 120) {
        line = line.left(120) + QChar(0x2026);
    }
    return line;
}

} // namespace

class TestProgramPlainText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void shownAsWritten_data();
    void shownAsWritten();

private:
    // The marker files a message points to, opened by nobody while they are watched.
    QStringList Opened();

    QString FDisplay;
    QProcess FXvfb;
    QProcess FNotifications;
    QProcess FWatcher;
    QTemporaryDir FHome{qEnvironmentVariable("OMBRELAY_TEST_TMP", QDir::tempPath()) + QStringLiteral("/markup-XXXXXX")};
    std::unique_ptr<TProgram> FProgram;
    int FInotify = -1;
    QHash<int, QString> FMarkers;
};

void TestProgramPlainText::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        QSKIP("Xvfb is not installed (scripts/install-deps.sh)");
    }
    QVERIFY(FHome.isValid());
    FInotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(FInotify >= 0);
    for (const char* name : {"marker-url.png", "marker-path.png"}) {
        const QString path = FHome.filePath(QLatin1String(name));
        QFile marker(path);
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        const int watch = ::inotify_add_watch(FInotify, QFile::encodeName(path).constData(), IN_OPEN | IN_ACCESS);
        QVERIFY(watch >= 0);
        FMarkers.insert(watch, path);
    }
    // The watch sees an open.
    {
        QFile probe(FMarkers.constBegin().value());
        QVERIFY(probe.open(QIODevice::ReadOnly));
    }
    QCOMPARE(Opened().size(), 1);

    QVERIFY2(StartXvfb(FXvfb, FDisplay, 720), "no X server could be started");
    QVERIFY(StartNotificationDaemon(FNotifications, FHome.filePath(QStringLiteral("notifications.log"))));
    QVERIFY(StartTrayWatcher(FWatcher));
    FProgram = std::make_unique<TProgram>(FDisplay, FHome);
    QVERIFY(FProgram->Start());
    QCOMPARE(FProgram->Window(QStringLiteral("tab tsMessages")), QStringLiteral("ok"));
}

void TestProgramPlainText::cleanupTestCase()
{
    if (FProgram) {
        QCOMPARE(FProgram->Stop(), 0);
        FProgram.reset();
    }
    EndProcesses({&FWatcher, &FNotifications, &FXvfb});
    if (FInotify >= 0) {
        ::close(FInotify);
    }
}

QStringList TestProgramPlainText::Opened()
{
    QStringList opened;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(FInotify, buffer, sizeof buffer);
        if (n <= 0) {
            return opened;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & (IN_OPEN | IN_ACCESS)) {
                opened << FMarkers.value(event->wd);
            }
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
}

void TestProgramPlainText::shownAsWritten_data()
{
    const QString url = QUrl::fromLocalFile(FHome.filePath(QStringLiteral("marker-url.png"))).toString();
    const QString path = FHome.filePath(QStringLiteral("marker-path.png"));
    QTest::addColumn<QString>("Sender");
    QTest::addColumn<QString>("Text");
    QTest::newRow("bold, an image by URL")
        << QStringLiteral("+4944401") << QStringLiteral("<b>bold</b> <img src=\"%1\"> &amp; <i>more</i>").arg(url);
    QTest::newRow("an image by path, an entity")
        << QStringLiteral("+4944402") << QStringLiteral("See <img src=\"%1\"> &lt;b&gt; &#60;u>").arg(path);
    QTest::newRow("alphanumeric sender in markup, a link")
        << QStringLiteral("<b>Bank</b>") << QStringLiteral("<a href=\"http://example.invalid/x\">click</a> here");
    QTest::newRow("alphanumeric sender in markup, a table")
        << QStringLiteral("<i>Shop</i>") << QStringLiteral("<table><tr><td>1</td></tr></table><qt>done</qt>");
}

void TestProgramPlainText::shownAsWritten()
{
    QFETCH(QString, Sender);
    QFETCH(QString, Text);
    TProgram& program = *FProgram;
    const int noticesBefore = int(Notifications().size());
    QVERIFY(
        program.Sim(QStringLiteral("deliver %1 %2 %3").arg(kInterface, Sender, Text)).startsWith(QLatin1String("ok ")));
    QCOMPARE(program.Window(QStringLiteral("poll")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(program.Sim(QStringLiteral("stored ") + kInterface), QStringLiteral("ok 0"), 20000);

    // The notification: its summary is plain text for the service, its body markup (the service
    // reads markup): each reads as written.
    QTRY_VERIFY_WITH_TIMEOUT(Notifications().size() > noticesBefore, 10000);
    const auto notice = Notifications().constLast();
    QCOMPARE(notice.first, QStringLiteral("Message from ") + Sender);
    {
        // Markup whatever it looks like: the service was told it reads markup.
        TRenderedTip body{QString()};
        body.setHtml(notice.second);
        QCOMPARE(Words(body.toPlainText()), Preview(Text));
        QVERIFY2(body.Loaded.isEmpty(), qPrintable(body.Loaded.join(QLatin1Char(' '))));
        QVERIFY(OnlyText(body));
    }

    // The inbox: the message's row, found by its sender as the list shows it.
    QCOMPARE(program.Window(QStringLiteral("folder 0")), QStringLiteral("ok"));
    int row = -1;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int r = 0; r < 20; ++r) {
                const THover h = Hover(program, QStringLiteral("lvMessages"), r, 1);
                if (!h.Ok) {
                    return false;
                }
                if (h.Display == Sender) {
                    row = r;
                    return true;
                }
            }
            return false;
        }(),
        10000);
    const struct
    {
        int Column;
        QString Expected;
    } cells[] = {{1, Sender}, {2, Text}};
    for (const auto& cell : cells) {
        const THover h = Hover(program, QStringLiteral("lvMessages"), row, cell.Column);
        QVERIFY(h.Ok);
        QCOMPARE(h.Display, cell.Expected);
        // The tip the program's label showed reads as written, however it drew it ...
        QVERIFY2(h.Format != QLatin1String("none"), "no tool tip was shown");
        QCOMPARE(Words(h.Shown), cell.Expected.simplified());
        // ... and rendered as the label renders it, it asks for no file and holds no image or link.
        TRenderedTip rendered(h.Tip);
        QCOMPARE(rendered.Shown(), cell.Expected.simplified());
        QVERIFY2(rendered.Loaded.isEmpty(), qPrintable(rendered.Loaded.join(QLatin1Char(' '))));
        QVERIFY(OnlyText(rendered));
    }

    // Clicked open: the text below the list, whole and literal.
    QCOMPARE(program.Window(QStringLiteral("click-row lvMessages %1").arg(row)), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(Decode(program.Window(QStringLiteral("text mmMessages")).mid(3)), Text, 5000);

    // The conversation with the sender: chosen by the sender as listed, the message in it.
    QCOMPARE(program.Window(QStringLiteral("folder 2")), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("select cmbNumber ") + Sender), QStringLiteral("ok"));
    QCOMPARE(Decode(program.Window(QStringLiteral("text cmbNumber")).mid(3)), Sender);
    const THover entry = Hover(program, QStringLiteral("lvConversation"), 0, 0);
    QVERIFY(entry.Ok);
    QVERIFY2(entry.Display.startsWith(Sender + QStringLiteral(" \u00b7 ")), qPrintable(entry.Display));
    QVERIFY2(entry.Display.endsWith(QLatin1Char('\n') + Text), qPrintable(entry.Display));
    TRenderedTip times(entry.Tip);
    QVERIFY(times.Loaded.isEmpty());
    QVERIFY(OnlyText(times));
    QCOMPARE(program.Window(QStringLiteral("folder 0")), QStringLiteral("ok"));

    // Nothing anywhere opened a file the message names.
    const QStringList opened = Opened();
    QVERIFY2(opened.isEmpty(), qPrintable(opened.join(QLatin1Char(' '))));
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
}

int main(int argc, char** argv)
{
    // Tips are rendered here as well as in the program; this process needs no screen for it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestProgramPlainText test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program_plain_text.moc"
