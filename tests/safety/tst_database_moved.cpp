// The database deleted or replaced while the real program runs: the messages that arrive from
// then on would go to a file that no later start opens. The device keeps them, the window says
// so once, and the next start stores every one of them, once, in the database at the path.

#include "support/ProgramUnderTest.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

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

int Rows(const TProgram& Program)
{
    const QString answer = Program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING"));
    bool ok = false;
    const int n = answer.toInt(&ok);
    return ok ? n : -1;
}

// Delivers Count messages tagged Tag (each a single part) and asks for a read.
bool DeliverAndPoll(const TProgram& Program, const QString& Tag, int Count)
{
    for (int n = 0; n < Count; ++n) {
        if (Program.Sim(QStringLiteral("deliver %1 +4917000%2 %3 message %2").arg(kInterface).arg(n).arg(Tag)) !=
            QLatin1String("ok 1")) {
            return false;
        }
    }
    return Program.Window(QStringLiteral("poll")) == QLatin1String("ok");
}

int MovedNotices(const TProgram& Program)
{
    int n = 0;
    for (const QString& line : Program.Window(QStringLiteral("errors")).split(QLatin1Char('\t'))) {
        n += line.contains(QLatin1String("was moved or deleted while Ombrelay runs")) ? 1 : 0;
    }
    return n;
}

} // namespace

class TestDatabaseMoved : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void messagesStayOnDevice_data();
    void messagesStayOnDevice();

private:
    QString FDisplay;
    QProcess FXvfb;
};

void TestDatabaseMoved::initTestCase()
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
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 620), "no X server could be started");
}

void TestDatabaseMoved::cleanupTestCase()
{
    EndProcesses({&FXvfb});
}

void TestDatabaseMoved::messagesStayOnDevice_data()
{
    QTest::addColumn<bool>("Replace");
    // rm -rf of the data folder: the first messages go with it, as the user chose.
    QTest::newRow("data folder removed") << false;
    // Another file renamed over the database (a copy restored from a backup): what it holds
    // stays, and the messages that came after it join it.
    QTest::newRow("database replaced by another file") << true;
}

void TestDatabaseMoved::messagesStayOnDevice()
{
    QFETCH(bool, Replace);
    constexpr int kBefore = 3;
    constexpr int kAfter = 4;

    QTemporaryDir home(qEnvironmentVariable("OMBRELAY_TEST_TMP", QDir::tempPath()) + QStringLiteral("/moved-XXXXXX"));
    QVERIFY(home.isValid());
    const QStringList state{QStringLiteral("--sim-state"), home.filePath(QStringLiteral("modem.json"))};
    int kept = 0;
    {
        TProgram program(FDisplay, home);
        QVERIFY(program.Start(state));
        // The scenario's own messages first, then some more: all stored, the device emptied.
        QVERIFY(DeliverAndPoll(program, QStringLiteral("before"), kBefore));
        QTRY_COMPARE_WITH_TIMEOUT(Stored(program), 0, 20000);
        const int first = Rows(program);
        QVERIFY2(first >= kBefore, qPrintable(QString::number(first)));

        const QString folder = QFileInfo(program.DatabaseFile()).absolutePath();
        if (Replace) {
            // A consistent copy (the write-ahead log included), renamed over the file as a
            // restore would.
            const QString copy = home.filePath(QStringLiteral("restored.DB"));
            QCOMPARE(Run(QStringLiteral("sqlite3"), {program.DatabaseFile(), QStringLiteral(".backup '%1'").arg(copy)}),
                     QString());
            QVERIFY(QFile::exists(copy));
            QCOMPARE(std::rename(QFile::encodeName(copy).constData(),
                                 QFile::encodeName(program.DatabaseFile()).constData()),
                     0);
            kept = first;
        } else {
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(!QFile::exists(program.DatabaseFile()));
        }

        // Read, stored in the file that went, and not cleared: several polls later the device
        // still holds every one of them, and the window said so once.
        QVERIFY(DeliverAndPoll(program, QStringLiteral("after"), kAfter));
        QTest::qWait(1500);
        for (int poll = 0; poll < 3; ++poll) {
            QCOMPARE(program.Window(QStringLiteral("poll")), QStringLiteral("ok"));
            QTest::qWait(1000);
        }
        QCOMPARE(Stored(program), kAfter);
        QTRY_COMPARE_WITH_TIMEOUT(MovedNotices(program), 1, 10000);
        QVERIFY(program.Running());
        QCOMPARE(program.Stop(), 0);
    }

    // The next start stores them in the database at the path, and only then clears the device.
    TProgram program(FDisplay, home);
    QVERIFY(program.Start(state));
    QTRY_COMPARE_WITH_TIMEOUT(Stored(program), 0, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(Rows(program), kept + kAfter, 10000);
    // None twice.
    QCOMPARE(program.Sql(QStringLiteral("SELECT COUNT(DISTINCT PDU) FROM INCOMING")), QString::number(kept + kAfter));
    QCOMPARE(MovedNotices(program), 0);
    QCOMPARE(program.Stop(), 0);
}

QTEST_GUILESS_MAIN(TestDatabaseMoved)
#include "tst_database_moved.moc"
