#pragma once

// A private D-Bus for one test program, set as both its session and its system bus (QtDBus takes
// the system bus from DBUS_SYSTEM_BUS_ADDRESS), and child processes that die with the test even
// when it crashes.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
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

// ModemManager in its test mode on the private bus: no udev and no scanning of ports, so it
// sees only the modems a test points it at (ProbeAtModem). Its log goes to LogFile. Null when it
// did not start or did not take its name within 20 s.
inline std::unique_ptr<QProcess> StartModemManager(const QString& LogFile)
{
    auto daemon =
        StartChild(QStringLiteral("/usr/sbin/ModemManager"),
                   {QStringLiteral("--test-session"), QStringLiteral("--test-enable"), QStringLiteral("--no-auto-scan"),
                    QStringLiteral("--test-no-udev"), QStringLiteral("--log-level=DEBUG")},
                   LogFile);
    if (daemon && !TPrivateBus::WaitForName(QStringLiteral("org.freedesktop.ModemManager1"), 20000)) {
        StopChild(daemon);
    }
    return daemon;
}

// Has ModemManager probe the scripted AT modem (at_modem.py) listening on the abstract socket
// Socket, with its generic plugin, as if it had been plugged in. The daemon's error, empty when
// it took the port.
inline QString ProbeAtModem(const QString& ProfileName, const QString& Socket)
{
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ModemManager1"),
                                                    QStringLiteral("/org/freedesktop/ModemManager1"),
                                                    QStringLiteral("org.freedesktop.ModemManager1.Test"),
                                                    QStringLiteral("SetProfile"));
    m.setArguments({ProfileName, QStringLiteral("generic"), QStringList{QStringLiteral("abstract:") + Socket}});
    const QDBusMessage r = QDBusConnection::systemBus().call(m, QDBus::Block, 25000);
    if (r.type() == QDBusMessage::ReplyMessage) {
        return QString();
    }
    return r.errorMessage().isEmpty() ? QStringLiteral("ModemManager did not answer SetProfile") : r.errorMessage();
}

} // namespace Ombrelay
