// The real program on the simulated modem while another process (a second session on the same
// home folder) holds the database's write lock: every message is stored once and none is lost,
// whether the lock is short or outlasts the wait. And text from a message (its text and its
// sender) shown literally in the message list, whatever markup it holds.

#include "support/ProgramUnderTest.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Ombrelay;

namespace
{

const QString kInterface = QStringLiteral("sim0");

int Number(const QString& Answer)
{
    return Answer.startsWith(QLatin1String("ok ")) ? Answer.mid(3).toInt() : -1;
}

int Stored(const TProgram& Program)
{
    return Number(Program.Sim(QStringLiteral("stored ") + kInterface));
}

int Count(const TProgram& Program, const QString& Query)
{
    bool ok = false;
    const int n = Program.Sql(Query).toInt(&ok);
    return ok ? n : -1;
}

// The error reports shown that contain Part.
int Reports(const TProgram& Program, const QString& Part)
{
    int n = 0;
    for (const QString& line : Program.Window(QStringLiteral("errors")).split(QLatin1Char('\t'))) {
        n += line.contains(Part) ? 1 : 0;
    }
    return n;
}

// Holds the write lock of a database (BEGIN IMMEDIATE) for a while, as another program would,
// or until released.
class TLocker
{
public:
    bool Lock(const QString& File, int HoldMs)
    {
        FProcess.start(TestPython,
                       {QStringLiteral("-c"),
                        QStringLiteral("import select, sqlite3, sys\n"
                                       "c = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=30)\n"
                                       "c.execute('BEGIN IMMEDIATE')\n"
                                       "print('locked', flush=True)\n"
                                       "select.select([sys.stdin], [], [], float(sys.argv[2]) / 1000)\n"
                                       "c.execute('COMMIT')\n"
                                       "print('released', flush=True)\n"),
                        File, QString::number(HoldMs)});
        return FProcess.waitForStarted() && FProcess.waitForReadyRead(10000) &&
               FProcess.readLine().trimmed() == "locked";
    }
    void Release() { FProcess.write("release\n"); }
    bool WaitReleased()
    {
        return FProcess.waitForFinished(30000) && FProcess.exitCode() == 0 && FProcess.readAll().contains("released");
    }

private:
    QProcess FProcess;
};

} // namespace

class TestProgramStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void storedOnceWhileAnotherHoldsTheLock_data();
    void storedOnceWhileAnotherHoldsTheLock();
    void markupShownAsText_data();
    void markupShownAsText();

private:
    QString FDisplay;
    QProcess FXvfb;
};

void TestProgramStore::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        QSKIP("Xvfb is not installed (scripts/install-deps.sh)");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty()) {
        QSKIP("the sqlite3 shell is not installed (scripts/install-deps.sh)");
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 640), "no X server could be started");
}

void TestProgramStore::cleanupTestCase()
{
    EndProcesses({&FXvfb});
}

void TestProgramStore::storedOnceWhileAnotherHoldsTheLock_data()
{
    QTest::addColumn<int>("HoldMs");
    QTest::addColumn<int>("Told");
    // A short write of the other program: the store waits for it, and nobody hears of it.
    QTest::newRow("lock held 0.5 s") << 500 << 0;
    // A lock past the wait: the store fails, the device keeps the messages, the user hears of
    // it once, and a later poll stores them. Held until the user is told (however slow the
    // machine), at most 30 s.
    QTest::newRow("lock held past the wait") << 30000 << 1;
}

void TestProgramStore::storedOnceWhileAnotherHoldsTheLock()
{
    QFETCH(int, HoldMs);
    QFETCH(int, Told);
    constexpr int kMessages = 6;
    QTemporaryDir home(qEnvironmentVariable("OMBRELAY_TEST_TMP", QDir::tempPath()) + QStringLiteral("/lock-XXXXXX"));
    QVERIFY(home.isValid());
    TProgram program(FDisplay, home);
    QVERIFY(program.Start({QStringLiteral("--sim-state"), home.filePath(QStringLiteral("modem.json"))}));
    // The scenario's own messages first.
    QCOMPARE(program.Window(QStringLiteral("poll")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(Stored(program), 0, 20000);
    const int before = Count(program, QStringLiteral("SELECT COUNT(*) FROM INCOMING"));
    QVERIFY(before >= 0);

    for (int n = 0; n < kMessages; ++n) {
        QCOMPARE(program.Sim(QStringLiteral("deliver %1 +4917100%2 Locked out, message %2").arg(kInterface).arg(n)),
                 QStringLiteral("ok 1"));
    }
    TLocker locker;
    QVERIFY(locker.Lock(program.DatabaseFile(), HoldMs));
    // The read completes while the other program writes: the store waits or fails.
    QCOMPARE(program.Window(QStringLiteral("poll")), QStringLiteral("ok"));
    if (Told > 0) {
        QTRY_VERIFY_WITH_TIMEOUT(Reports(program, QStringLiteral("cannot be stored")) > 0, 30000);
        locker.Release();
    }
    QVERIFY(locker.WaitReleased());

    // Polls until the device is empty; each message is then stored exactly once.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            program.Window(QStringLiteral("poll"));
            return Stored(program) == 0;
        }(),
        30000);
    QTRY_COMPARE_WITH_TIMEOUT(Count(program, QStringLiteral("SELECT COUNT(*) FROM INCOMING")), before + kMessages,
                              10000);
    QCOMPARE(Count(program, QStringLiteral("SELECT COUNT(DISTINCT PDU) FROM INCOMING")), before + kMessages);
    QVERIFY2(Reports(program, QStringLiteral("cannot be stored")) == Told,
             qPrintable(program.Window(QStringLiteral("errors"))));
    QVERIFY(program.Running());
    QCOMPARE(program.Stop(), 0);
}

void TestProgramStore::markupShownAsText_data()
{
    QTest::addColumn<QString>("Sender");
    QTest::addColumn<QString>("Text");
    QTest::newRow("bold, a local image, an entity")
        << QStringLiteral("+4944444") << QStringLiteral("<b>Hello</b> <img src=\"/etc/passwd\"> &amp; more");
    QTest::newRow("alphanumeric sender in markup")
        << QStringLiteral("<b>Bank</b>") << QStringLiteral("<a href=\"http://example.invalid\">click</a>");
}

void TestProgramStore::markupShownAsText()
{
    QFETCH(QString, Sender);
    QFETCH(QString, Text);
    QTemporaryDir home(qEnvironmentVariable("OMBRELAY_TEST_TMP", QDir::tempPath()) + QStringLiteral("/markup-XXXXXX"));
    QVERIFY(home.isValid());
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    QCOMPARE(program.Sim(QStringLiteral("deliver %1 %2 %3").arg(kInterface, Sender, Text)), QStringLiteral("ok 1"));
    QCOMPARE(program.Window(QStringLiteral("poll")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(Stored(program), 0, 20000);
    QCOMPARE(program.Window(QStringLiteral("tab tsMessages")), QStringLiteral("ok"));

    // The message's row: its sender cell reads the sender as sent.
    int row = -1;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int r = 0; r < 50; ++r) {
                const QString answer = program.Window(QStringLiteral("cell %1 1").arg(r));
                if (!answer.startsWith(QLatin1String("ok "))) {
                    return false;
                }
                if (QUrl::fromPercentEncoding(answer.section(QLatin1Char(' '), 1, 1).toLatin1()) == Sender) {
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
        const QStringList answer =
            program.Window(QStringLiteral("cell %1 %2").arg(row).arg(cell.Column)).split(QLatin1Char(' '));
        QCOMPARE(answer.size(), 4);
        QCOMPARE(answer[0], QStringLiteral("ok"));
        // The cell and its tool tip, as shown, are the literal text; nothing became an image or a link.
        QCOMPARE(QUrl::fromPercentEncoding(answer[1].toLatin1()), cell.Expected);
        QCOMPARE(QUrl::fromPercentEncoding(answer[2].toLatin1()), cell.Expected);
        QCOMPARE(answer[3], QStringLiteral("0"));
    }
    QCOMPARE(program.Stop(), 0);
}

QTEST_GUILESS_MAIN(TestProgramStore)
#include "tst_program_store.moc"
