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
    TStart result;
    QProcess p;
    p.setProcessEnvironment(Program.Env());
    QElapsedTimer timer;
    timer.start();
    p.start(QStringLiteral(OMBRELAY_BINARY), {QStringLiteral("--backend=sim")});
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    } else {
        result.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    result.Ms = timer.elapsed();
    result.Errors = QString::fromUtf8(p.readAllStandardError());
    return result;
}

bool IsSocket(const QString& Path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(Path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
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
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QProcess first;
    QVERIFY(StartAnswering(program, first));
    QVERIFY(IsSocket(program.InstanceSocket()));

    // Stopped (or busy loading a large inbox): it does not answer within the 3 s.
    QCOMPARE(::kill(pid_t(first.processId()), SIGSTOP), 0);
    const TStart second = StartAgain(program);
    QCOMPARE(::kill(pid_t(first.processId()), SIGCONT), 0);
    QCOMPARE(second.Exit, 1);
    QVERIFY2(second.Errors.contains(QLatin1String("does not answer")), qPrintable(second.Errors));
    QVERIFY2(second.Ms < 15000, qPrintable(QString::number(second.Ms)));
    // The socket is still there and still the first program's.
    QVERIFY(IsSocket(program.InstanceSocket()));
    QTRY_VERIFY_WITH_TIMEOUT(program.Window(QStringLiteral("visible")).startsWith(QLatin1String("ok")), 10000);

    // Running again: a third start hands over as usual.
    const TStart third = StartAgain(program);
    QCOMPARE(third.Exit, 0);
    QVERIFY(first.state() == QProcess::Running);
    QVERIFY(program.Window(QStringLiteral("visible")).startsWith(QLatin1String("ok")));
    QCOMPARE(EndProgram(first), 0);
}

void TestSingleStart::killedProgramsSocketIsTakenOver()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    {
        QProcess first;
        QVERIFY(StartAnswering(program, first));
        first.kill();
        QVERIFY(first.waitForFinished(10000));
    }
    // The killed program left its socket behind.
    QVERIFY(IsSocket(program.InstanceSocket()));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(program.Start());
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(program.Stop(), 0);
}

void TestSingleStart::plantedSessionMarkerDoesNotBlock()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    // A FIFO where the program puts its per-session marker: opening it for reading would wait
    // for a writer forever.
    const QString marker = home.filePath(QStringLiteral("run/Virelle Ombrelay"));
    QCOMPARE(::mkfifo(QFile::encodeName(marker).constData(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(program.Start());
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(program.Stop(), 0);
    struct stat st
    {
    };
    QCOMPARE(::lstat(QFile::encodeName(marker).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
}

QTEST_MAIN(TestSingleStart)
#include "tst_single_start.moc"
