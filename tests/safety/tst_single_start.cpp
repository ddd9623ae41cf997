// Starting the real program while another start of it is stopped, killed or blocked by what
// was planted under its marker's name: it never takes a living program's socket, it takes a dead
// one's, and nothing in its runtime folder holds up its start.

#include "support/ProgramUnderTest.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <sys/stat.h>

using namespace Ombrelay;

namespace
{

struct TStart
{
    int Exit = -2;
    qint64 Ms = 0;
    QString Errors;
};

// One more start of the program in Program's folders, run to its end.
TStart StartAgain(const TProgram& Program)
{
    TStart Result;
    QProcess P;
    P.setProcessEnvironment(Program.Env());
    QElapsedTimer Timer;
    Timer.start();
    P.start(QStringLiteral(OMBRELAY_BINARY), {QStringLiteral("--backend=sim")});
    if (!P.waitForFinished(30000)) {
        P.kill();
        P.waitForFinished();
    } else {
        Result.Exit = P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
    }
    Result.Ms = Timer.elapsed();
    Result.Errors = QString::fromUtf8(P.readAllStandardError());
    return Result;
}

bool IsSocket(const QString& Path)
{
    struct stat St
    {
    };
    return ::lstat(QFile::encodeName(Path).constData(), &St) == 0 && S_ISSOCK(St.st_mode);
}

// Starts the program of Program's folders in Process (whose id the test needs) and waits until
// it answers.
bool StartAnswering(TProgram& Program, QProcess& Process)
{
    Process.setProcessEnvironment(Program.Env());
    Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Process.start(QStringLiteral(OMBRELAY_BINARY), Program.Arguments({}));
    if (!Process.waitForStarted(10000)) {
        return false;
    }
    return WaitFor(
        [&] {
            return Program.Sim(QStringLiteral("interfaces")).startsWith(QStringLiteral("ok")) &&
                   Program.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok"));
        },
        20000);
}

int EndProgram(QProcess& Process)
{
    Process.terminate();
    if (!Process.waitForFinished(15000)) {
        Process.kill();
        Process.waitForFinished();
        return -1;
    }
    return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
}

} // namespace

class TestSingleStart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void stoppedProgramKeepsItsSocket();
    void killedProgramsSocketIsTakenOver();
    void plantedSessionMarkerDoesNotBlock();

private:
    QString FDisplay;
    QProcess FXvfb;
};

void TestSingleStart::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        QSKIP("Xvfb is not installed (scripts/install-deps.sh)");
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 560), "no X server could be started");
}

void TestSingleStart::cleanupTestCase()
{
    EndProcesses({&FXvfb});
}

void TestSingleStart::stoppedProgramKeepsItsSocket()
{
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    QProcess First;
    QVERIFY(StartAnswering(Program, First));
    QVERIFY(IsSocket(Program.InstanceSocket()));

    // Stopped (or busy loading a large inbox): it does not answer within the 3 s.
    QCOMPARE(::kill(pid_t(First.processId()), SIGSTOP), 0);
    const TStart Second = StartAgain(Program);
    QCOMPARE(::kill(pid_t(First.processId()), SIGCONT), 0);
    QCOMPARE(Second.Exit, 1);
    QVERIFY2(Second.Errors.contains(QLatin1String("does not answer")), qPrintable(Second.Errors));
    QVERIFY2(Second.Ms < 15000, qPrintable(QString::number(Second.Ms)));
    // The socket is still there and still the first program's.
    QVERIFY(IsSocket(Program.InstanceSocket()));
    QTRY_VERIFY_WITH_TIMEOUT(Program.Window(QStringLiteral("visible")).startsWith(QLatin1String("ok")), 10000);

    // Running again: a third start hands over as usual.
    const TStart Third = StartAgain(Program);
    QCOMPARE(Third.Exit, 0);
    QVERIFY(First.state() == QProcess::Running);
    QVERIFY(Program.Window(QStringLiteral("visible")).startsWith(QLatin1String("ok")));
    QCOMPARE(EndProgram(First), 0);
}

void TestSingleStart::killedProgramsSocketIsTakenOver()
{
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    {
        QProcess First;
        QVERIFY(StartAnswering(Program, First));
        First.kill();
        QVERIFY(First.waitForFinished(10000));
    }
    // The killed program left its socket behind.
    QVERIFY(IsSocket(Program.InstanceSocket()));
    QElapsedTimer Timer;
    Timer.start();
    QVERIFY(Program.Start());
    QVERIFY2(Timer.elapsed() < 15000, qPrintable(QString::number(Timer.elapsed())));
    QCOMPARE(Program.Stop(), 0);
}

void TestSingleStart::plantedSessionMarkerDoesNotBlock()
{
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    // A FIFO where the program puts its per-session marker: opening it for reading would wait
    // for a writer forever.
    const QString Marker = Home.filePath(QStringLiteral("run/Virelle Ombrelay"));
    QCOMPARE(::mkfifo(QFile::encodeName(Marker).constData(), 0600), 0);
    QElapsedTimer Timer;
    Timer.start();
    QVERIFY(Program.Start());
    QVERIFY2(Timer.elapsed() < 15000, qPrintable(QString::number(Timer.elapsed())));
    QCOMPARE(Program.Stop(), 0);
    struct stat St
    {
    };
    QCOMPARE(::lstat(QFile::encodeName(Marker).constData(), &St), 0);
    QVERIFY(S_ISFIFO(St.st_mode));
}

QTEST_MAIN(TestSingleStart)
#include "tst_single_start.moc"
