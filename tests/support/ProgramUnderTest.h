#pragma once

// The real program under test: started on the simulated modem with its own data and runtime
// folders, on a private X server and session bus, and asked through its two local sockets
// (the modem's control channel and the window's test commands).

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace Ombrelay
{

// Debian's interpreter, which has python3-dbusmock (another python3 may come first on PATH).
inline const QString TestPython = QStringLiteral("/usr/bin/python3");

// Runs a program to its end; its standard output, trimmed.
inline QString Run(const QString& Program, const QStringList& Arguments, int* ExitCode = nullptr,
                   const QProcessEnvironment& Env = QProcessEnvironment::systemEnvironment(), int TimeoutMs = 20000)
{
    QProcess p;
    p.setProcessEnvironment(Env);
    p.start(Program, Arguments);
    if (!p.waitForFinished(TimeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    if (ExitCode) {
        *ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// One line to a local socket, one line back; empty when nobody answers.
inline QString Ask(const QString& Path, const QString& Line, int TimeoutMs = 5000)
{
    QLocalSocket socket;
    socket.connectToServer(Path);
    if (!socket.waitForConnected(TimeoutMs)) {
        return QString();
    }
    socket.write(Line.toUtf8() + '\n');
    socket.waitForBytesWritten(TimeoutMs);
    QElapsedTimer timer;
    timer.start();
    while (!socket.canReadLine() && timer.elapsed() < TimeoutMs) {
        socket.waitForReadyRead(100);
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

// Polls Condition, running the event loop in between, for at most TimeoutMs.
inline bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < TimeoutMs) {
        if (Condition()) {
            return true;
        }
        QTest::qWait(100);
    }
    return Condition();
}

// Starts Xvfb on the first free display from FirstDisplay on (no lock file of another server);
// Display gets its name. False when none came up.
inline bool StartXvfb(QProcess& Xvfb, QString& Display, int FirstDisplay)
{
    for (int n = FirstDisplay + int(QCoreApplication::applicationPid() % 200); n < FirstDisplay + 300; ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
            continue;
        }
        Display = QStringLiteral(":%1").arg(n);
        Xvfb.start(QStringLiteral("Xvfb"),
                   {Display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!Xvfb.waitForStarted()) {
            return false;
        }
        if (WaitFor([&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 5000) &&
            Xvfb.state() == QProcess::Running) {
            return true;
        }
        Xvfb.kill();
        Xvfb.waitForFinished();
    }
    return false;
}

// dbusmock's notification daemon on the session bus, logging to LogFile; true once it is there.
inline bool StartNotificationDaemon(QProcess& Daemon, const QString& LogFile)
{
    Daemon.start(TestPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                              QStringLiteral("notification_daemon"), QStringLiteral("-l"), LogFile});
    if (!Daemon.waitForStarted()) {
        return false;
    }
    return WaitFor(
        [] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                QStringLiteral("org.freedesktop.Notifications"));
        },
        10000);
}

// A mock StatusNotifierItem watcher with a host on the session bus, so that the program has a
// notification area and sends its balloons to the notification service; true once it is there.
inline bool StartTrayWatcher(QProcess& Watcher)
{
    const QString name = QStringLiteral("org.kde.StatusNotifierWatcher");
    Watcher.start(TestPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), name,
                               QStringLiteral("/StatusNotifierWatcher"), name});
    if (!Watcher.waitForStarted() ||
        !WaitFor([&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(name); }, 10000)) {
        return false;
    }
    QDBusInterface mock(name, QStringLiteral("/StatusNotifierWatcher"), QStringLiteral("org.freedesktop.DBus.Mock"));
    const QDBusReply<void> r1 =
        mock.call(QStringLiteral("AddProperty"), name, QStringLiteral("IsStatusNotifierHostRegistered"),
                  QVariant::fromValue(QDBusVariant(true)));
    const QDBusReply<void> r2 = mock.call(QStringLiteral("AddProperty"), name, QStringLiteral("ProtocolVersion"),
                                          QVariant::fromValue(QDBusVariant(0)));
    const QDBusReply<void> r3 =
        mock.call(QStringLiteral("AddMethod"), name, QStringLiteral("RegisterStatusNotifierItem"), QStringLiteral("s"),
                  QString(), QString());
    return r1.isValid() && r2.isValid() && r3.isValid();
}

// Ends helper processes: politely, then for good.
inline void EndProcesses(std::initializer_list<QProcess*> Processes)
{
    for (QProcess* p : Processes) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished();
            }
        }
    }
}

// One start of the program with its own data and runtime folders.
class TProgram
{
public:
    // ForwardErrors: the program's standard error goes to the test's log; otherwise it is kept
    // for StdErr().
    TProgram(const QString& DisplayName, QTemporaryDir& Home, bool ForwardErrors = true)
        : FHome(Home)
        , FForwardErrors(ForwardErrors)
    {
        FEnv = QProcessEnvironment::systemEnvironment();
        FEnv.insert(QStringLiteral("DISPLAY"), DisplayName);
        FEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        FEnv.insert(QStringLiteral("XDG_DATA_HOME"), Home.filePath(QStringLiteral("data")));
        FEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), Home.filePath(QStringLiteral("run")));
        QDir().mkpath(Home.filePath(QStringLiteral("data")));
        QDir().mkpath(Home.filePath(QStringLiteral("run")));
        QFile::setPermissions(Home.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~TProgram() { Stop(); }
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    const QProcessEnvironment& Env() const { return FEnv; }
    // A variable for the next start (QT_SCALE_FACTOR, LANG, ...).
    void SetEnv(const QString& Name, const QString& Value) { FEnv.insert(Name, Value); }
    QString SimSocket() const { return FHome.filePath(QStringLiteral("sim.sock")); }
    QString InstanceSocket() const { return FHome.filePath(QStringLiteral("run/ombrelay/instance")); }
    QString DatabaseFile() const { return FHome.filePath(QStringLiteral("data/Virelle/Ombrelay/Ombrelay.DB")); }

    QStringList Arguments(const QStringList& Extra) const
    {
        return QStringList{QStringLiteral("--backend=sim"), QStringLiteral("--sim-control"), SimSocket(),
                           QStringLiteral("--test-commands")} +
               Extra;
    }

    // Starts the program; false when it does not come up answering within 20 s.
    bool Start(const QStringList& Extra = {})
    {
        if (!Launch(Extra)) {
            return false;
        }
        return WaitFor(
            [&] {
                return Sim(QStringLiteral("interfaces")).startsWith(QStringLiteral("ok")) &&
                       Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok"));
            },
            20000);
    }
    // Starts the program without waiting for it to answer.
    bool Launch(const QStringList& Extra = {})
    {
        FProcess = std::make_unique<QProcess>();
        FProcess->setProcessEnvironment(FEnv);
        if (FForwardErrors) {
            FProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        }
        FProcess->start(QStringLiteral(OMBRELAY_BINARY), Arguments(Extra));
        return FProcess->waitForStarted(10000);
    }

    // Ends the program as a logout does (SIGTERM); its exit code, -1 when it had to be killed.
    int Stop(int TimeoutMs = 15000)
    {
        if (!FProcess || FProcess->state() == QProcess::NotRunning) {
            return FProcess ? FProcess->exitCode() : 0;
        }
        FProcess->terminate();
        if (!FProcess->waitForFinished(TimeoutMs)) {
            FProcess->kill();
            FProcess->waitForFinished();
            return -1;
        }
        return FProcess->exitStatus() == QProcess::NormalExit ? FProcess->exitCode() : -1;
    }
    bool Running() const { return FProcess && FProcess->state() == QProcess::Running; }
    qint64 Pid() const { return FProcess ? FProcess->processId() : 0; }
    QString StdErr()
    {
        if (FProcess) {
            FErr += QString::fromUtf8(FProcess->readAllStandardError());
        }
        return FErr;
    }

    QString Sim(const QString& Line) const { return Ask(SimSocket(), Line); }
    QString Window(const QString& Line) const { return Ask(InstanceSocket(), Line); }
    QString Sql(const QString& Query) const
    {
        return Run(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), DatabaseFile(), Query});
    }

    // Whether the main window is mapped on the X server, as a user would see it.
    bool Viewable() const
    {
        const QString info = Run(QStringLiteral("xwininfo"),
                                 {QStringLiteral("-name"), QStringLiteral("Virelle Ombrelay")}, nullptr, FEnv);
        return info.contains(QStringLiteral("IsViewable"));
    }

    QString XDoTool(const QStringList& Arguments) const
    {
        return Run(QStringLiteral("xdotool"), Arguments, nullptr, FEnv);
    }

private:
    QTemporaryDir& FHome;
    bool FForwardErrors;
    QProcessEnvironment FEnv;
    std::unique_ptr<QProcess> FProcess;
    QString FErr;
};

} // namespace Ombrelay
