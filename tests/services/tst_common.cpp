// The waitable worker thread, the program markers and the restart request.

#include "base/Errors.h"
#include "core/Common.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace Ombrelay;

namespace
{

// What a probe thread did; outlives the thread.
struct TProbeCounts
{
    std::atomic<int> PassesStarted{0};
    std::atomic<int> PassesDone{0};
    std::atomic<int> FinalWork{0};
    QSemaphore InPass;
    QSemaphore ReleasePass;
};

// A descendant whose pass can be held open by the test, counting passes and final work.
class TProbeThread : public TWaitableThread
{
public:
    TProbeThread(TProbeCounts& Counts, unsigned long PeriodMs, bool HoldPass = false, bool ThrowInPass = false)
        : FCounts(Counts)
        , FPeriodMs(PeriodMs)
        , FHoldPass(HoldPass)
        , FThrowInPass(ThrowInPass)
    {
    }
    ~TProbeThread() override { StopAndWait(); }

protected:
    void Execute() override
    {
        while (!Terminated()) {
            if (!WaitForShutdown(FPeriodMs)) {
                break;
            }
            ++FCounts.PassesStarted;
            if (FThrowInPass) {
                throw std::runtime_error("pass went wrong");
            }
            if (FHoldPass) {
                FCounts.InPass.release();
                FCounts.ReleasePass.acquire();
            }
            ++FCounts.PassesDone;
        }
        ++FCounts.FinalWork;
    }

private:
    TProbeCounts& FCounts;
    unsigned long FPeriodMs;
    bool FHoldPass;
    bool FThrowInPass;
};

} // namespace

class TestCommon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void destroyDuringWaitReturnsAtOnce();
    void destroyDuringPassFinishesPassAndFinalWorkOnce();
    void terminateAloneEndsWithinOnePeriod();
    void errorEndsOnlyTheThreadAndIsReported();

    void markersOpenAgainInSecondInstance();
    void markersDoNotFollowLinks();

    void rebootIsRequested();
    void rebootRefusedRaisesSystemError();
    void rebootWithoutLoginManagerRaises();
    void cleanupTestCase();

private:
    bool StartBus();

    QProcess FBus;
    QProcess FMock;
    QString FBusAddress;
    QString FMockLog;
    QTemporaryDir FTemp;
};

void TestCommon::destroyDuringWaitReturnsAtOnce()
{
    // A period far longer than the bound below: destruction must not wait for it.
    TProbeCounts counts;
    auto* thread = new TProbeThread(counts, 30000);
    thread->start();
    QTest::qWait(100);
    QElapsedTimer timer;
    timer.start();
    delete thread;
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(counts.PassesStarted.load(), 0);
    QCOMPARE(counts.FinalWork.load(), 1);
}

void TestCommon::destroyDuringPassFinishesPassAndFinalWorkOnce()
{
    TProbeCounts counts;
    auto* thread = new TProbeThread(counts, 10, true);
    thread->start();
    QVERIFY(counts.InPass.tryAcquire(1, 10000));

    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        delete thread;
        destroyed = true;
    });
    // Destruction waits for the pass in progress.
    QTest::qWait(200);
    QVERIFY(!destroyed);
    QCOMPARE(counts.PassesDone.load(), 0);
    // Let any further pass through too, so that one would be counted rather than hang.
    counts.ReleasePass.release(100);
    destroyer.join();
    QVERIFY(destroyed);
    // The pass finished, the signalled event ended the loop at once, the final work ran once.
    QCOMPARE(counts.PassesStarted.load(), 1);
    QCOMPARE(counts.PassesDone.load(), 1);
    QCOMPARE(counts.FinalWork.load(), 1);
}

void TestCommon::terminateAloneEndsWithinOnePeriod()
{
    TProbeCounts counts;
    TProbeThread thread(counts, 50);
    thread.start();
    QTest::qWait(120);
    thread.Terminate();
    // Not signalled: the loop ends at its next check, after the current period.
    QVERIFY(thread.wait(10000));
    QCOMPARE(counts.FinalWork.load(), 1);
    QVERIFY(counts.PassesDone.load() >= 1);
}

void TestCommon::errorEndsOnlyTheThreadAndIsReported()
{
    TProbeCounts counts;
    TProbeThread thread(counts, 10, false, true);
    QSignalSpy failed(&thread, &TWaitableThread::Failed);
    thread.start();
    QVERIFY(thread.wait(10000));
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("pass went wrong"));
    QCOMPARE(thread.FatalError(), QStringLiteral("pass went wrong"));
    QCOMPARE(counts.PassesStarted.load(), 1);
    // The error skips the final work: the loop never finished.
    QCOMPARE(counts.FinalWork.load(), 0);
}

void TestCommon::markersOpenAgainInSecondInstance()
{
    QVERIFY(FTemp.isValid());
    const QString runtime = FTemp.path() + QStringLiteral("/run");
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const QString name = QStringLiteral("Ombrelay Marker Test %1").arg(::getpid());

    const QStringList paths = AppMutexPaths(name);
    QCOMPARE(paths.size(), 2);
    QCOMPARE(paths.at(0), runtime + QLatin1Char('/') + name);
    for (int run = 0; run < 2; ++run) {
        CreateAppMutexes(name);
    }
    for (const QString& path : paths) {
        struct stat st
        {
        };
        QVERIFY2(::lstat(QFile::encodeName(path).constData(), &st) == 0, qPrintable(path));
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(st.st_mode & 0002, 0u);
    }
    struct stat session
    {
    };
    QVERIFY(::lstat(QFile::encodeName(paths.at(0)).constData(), &session) == 0);
    QCOMPARE(session.st_mode & 0077, 0u);
    QFile::remove(paths.at(1));
}

void TestCommon::markersDoNotFollowLinks()
{
    const QString runtime = FTemp.path() + QStringLiteral("/run-links");
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const QString name = QStringLiteral("Ombrelay Link Test %1").arg(::getpid());
    const QString victim = FTemp.path() + QStringLiteral("/victim");
    const QString marker = AppMutexPaths(name).at(0);
    QVERIFY(QFile::link(victim, marker));

    CreateAppMutexes(name);
    QVERIFY(!QFileInfo::exists(victim));
    QVERIFY(QFileInfo(marker).isSymLink());
    QFile::remove(AppMutexPaths(name).at(1));

    // A runtime folder others can enter is not used; the private fallback is.
    const QString open = FTemp.path() + QStringLiteral("/run-open");
    QVERIFY(QDir().mkpath(open));
    QVERIFY(::chmod(QFile::encodeName(open).constData(), 0777) == 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open));
    QVERIFY(!AppMutexPaths(name).at(0).startsWith(open));
}

bool TestCommon::StartBus()
{
    if (!FBusAddress.isEmpty()) {
        return true;
    }
    FBus.setProgram(QStringLiteral("dbus-daemon"));
    FBus.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    FBus.start();
    if (!FBus.waitForStarted(10000)) {
        return false;
    }
    while (!FBus.canReadLine()) {
        if (!FBus.waitForReadyRead(10000)) {
            return false;
        }
    }
    FBusAddress = QString::fromUtf8(FBus.readLine()).trimmed();
    // The program reaches the login manager on the system bus; here that is our private bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", FBusAddress.toUtf8());

    FMockLog = FTemp.path() + QStringLiteral("/logind.log");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), FBusAddress);
    FMock.setProcessEnvironment(env);
    FMock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The system's python, where python3-dbusmock is installed.
    FMock.setProgram(QStringLiteral("/usr/bin/python3"));
    FMock.setArguments({QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                        QStringLiteral("logind"), QStringLiteral("-l"), FMockLog});
    FMock.start();
    if (!FMock.waitForStarted(10000)) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    for (int i = 0; i < 200; ++i) {
        if (bus.isConnected() && bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1"))) {
            return true;
        }
        QTest::qWait(50);
    }
    return false;
}

void TestCommon::rebootIsRequested()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/lib/python3/dist-packages/dbusmock"))) {
        QSKIP("python3-dbusmock is not installed");
    }
    QVERIFY(FTemp.isValid());
    QVERIFY2(StartBus(), "private bus with the mock login manager did not come up");

    RebootSystem();

    const auto logged = [this] {
        QFile log(FMockLog);
        return log.open(QIODevice::ReadOnly) && log.readAll().contains("Reboot False");
    };
    QTRY_VERIFY(logged());
}

void TestCommon::rebootRefusedRaisesSystemError()
{
    if (FBusAddress.isEmpty()) {
        QSKIP("no private bus (see rebootIsRequested)");
    }
    // The login manager now refuses, as it does for a user without the right to restart.
    QDBusMessage add =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                       QStringLiteral("/org/freedesktop/login1"),
                                       QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddMethod"));
    add << QStringLiteral("org.freedesktop.login1.Manager") << QStringLiteral("Reboot") << QStringLiteral("b")
        << QString()
        << QStringLiteral("raise dbus.exceptions.DBusException('Permission denied by the restart policy', "
                          "name='org.freedesktop.DBus.Error.AccessDenied')");
    const QDBusMessage reply = QDBusConnection::systemBus().call(add);
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);

    try {
        RebootSystem();
        QFAIL("a refused restart must raise");
    } catch (const EOSError& E) {
        QVERIFY2(E.Message().startsWith(QStringLiteral("System Error.  Code: ")), qPrintable(E.Message()));
        QVERIFY(E.Message().contains(QStringLiteral("Permission denied by the restart policy")));
        QVERIFY(E.Message().contains(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")));
        QVERIFY(E.Code() != 0);
    }
}

void TestCommon::rebootWithoutLoginManagerRaises()
{
    if (FBusAddress.isEmpty()) {
        QSKIP("no private bus (see rebootIsRequested)");
    }
    FMock.terminate();
    QVERIFY(FMock.waitForFinished(10000));
    QTRY_VERIFY(
        !QDBusConnection::systemBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")));
    QVERIFY_THROWS_EXCEPTION(EOSError, RebootSystem());
}

void TestCommon::cleanupTestCase()
{
    for (QProcess* p : {&FMock, &FBus}) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
