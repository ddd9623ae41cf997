#pragma once

// A private D-Bus for one test program, set as both its session and its system bus (QtDBus takes
// the system bus from DBUS_SYSTEM_BUS_ADDRESS), and child processes that die with the test even
// when it crashes.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <signal.h>
#include <sys/prctl.h>

#include <memory>

namespace Ombrelay
{

// A child that is killed when the test ends, however it ends.
inline std::unique_ptr<QProcess> StartChild(const QString& Program, const QStringList& Arguments,
                                            const QString& LogFile = QString())
{
    auto p = std::make_unique<QProcess>();
    p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    if (!LogFile.isEmpty()) {
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->setStandardOutputFile(LogFile);
    }
    p->start(Program, Arguments);
    if (!p->waitForStarted(5000)) {
        return nullptr;
    }
    return p;
}

inline void StopChild(std::unique_ptr<QProcess>& Process)
{
    if (Process && Process->state() != QProcess::NotRunning) {
        Process->kill();
        Process->waitForFinished(3000);
    }
    Process.reset();
}

class TPrivateBus
{
public:
    // Empty Error means the bus runs and the environment points at it.
    QString Start()
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/dbus-daemon"))) {
            return QStringLiteral("dbus-daemon is not installed (Debian package dbus)");
        }
        FDaemon =
            StartChild(QStringLiteral("/usr/bin/dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!FDaemon) {
            return QStringLiteral("dbus-daemon did not start");
        }
        QElapsedTimer t;
        t.start();
        while (!FDaemon->canReadLine() && t.elapsed() < 10000) {
            FDaemon->waitForReadyRead(200);
        }
        Address = QString::fromUtf8(FDaemon->readLine()).trimmed();
        if (Address.isEmpty()) {
            return QStringLiteral("dbus-daemon printed no address");
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", Address.toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", Address.toUtf8());
        return QString();
    }
    ~TPrivateBus() { StopChild(FDaemon); }

    static bool WaitForName(const QString& Name, int TimeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < TimeoutMs) {
            if (QDBusConnection::systemBus().interface()->isServiceRegistered(Name)) {
                return true;
            }
            QTest::qWait(100);
        }
        return false;
    }

    QString Address;

private:
    std::unique_ptr<QProcess> FDaemon;
};

} // namespace Ombrelay
