// A full SIM on the ModemManager backend: 30 messages in the modem's store, read, stored and
// deleted through the real ModemManager daemon (on a private bus) with the scripted AT modem of
// the tests, against the same daemon's own listing of them (mmcli --messaging-list-sms).
// Skipped, with the reason, where the daemon cannot run.
//
//   bench_mm_full_sim

#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/SmsStore.h"
#include "mm/BusFixture.h"
#include "platform/modemmanager/MMBackend.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QTimeZone>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <limits>

using namespace Ombrelay;

namespace
{

constexpr int kMessages = 30;
const QString kMM = QStringLiteral("org.freedesktop.ModemManager1");
const QString kModemIface = QStringLiteral("org.freedesktop.ModemManager1.Modem");

int Skip(const char* Why)
{
    std::printf("mm_full_sim: not measured: %s\n", Why);
    std::printf("FIGURE mm_full_sim_read_store_delete_s value=skipped baseline=- ratio=- goal=2 short\n");
    return 0;
}

// One line to the AT modem fixture's control channel, its answer back.
QString Fixture(QProcess& Modem, const QString& Line)
{
    Modem.write((Line + QLatin1Char('\n')).toUtf8());
    Modem.waitForBytesWritten(2000);
    QElapsedTimer t;
    t.start();
    while (!Modem.canReadLine() && t.elapsed() < 5000) {
        Modem.waitForReadyRead(100);
    }
    return QString::fromUtf8(Modem.readLine()).trimmed();
}

QDBusMessage CallMM(const QString& Path, const QString& Interface, const QString& Method, const QVariantList& Args,
                    int TimeoutMs = 25000)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kMM, Path, Interface, Method);
    m.setArguments(Args);
    return QDBusConnection::systemBus().call(m, QDBus::Block, TimeoutMs);
}

QString ModemPath()
{
    const QDBusMessage r =
        CallMM(QStringLiteral("/org/freedesktop/ModemManager1"), QStringLiteral("org.freedesktop.DBus.ObjectManager"),
               QStringLiteral("GetManagedObjects"), {});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return QString();
    }
    const QDBusArgument arg = r.arguments().at(0).value<QDBusArgument>();
    QString found;
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        arg.beginMapEntry();
        arg >> path >> interfaces;
        arg.endMapEntry();
        if (interfaces.contains(kModemIface) && found.isEmpty()) {
            found = path.path();
        }
    }
    arg.endMap();
    return found;
}

int ModemState(const QString& Path)
{
    const QDBusMessage r = CallMM(Path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                  {kModemIface, QStringLiteral("State")});
    return r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty()
               ? r.arguments().at(0).value<QDBusVariant>().variant().toInt()
               : -100;
}

bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < TimeoutMs) {
        if (Condition()) {
            return true;
        }
        QTest::qWait(50);
    }
    return Condition();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!QFile::exists(QStringLiteral("/usr/sbin/ModemManager")) || !QFile::exists(QStringLiteral("/usr/bin/mmcli"))) {
        return Skip("ModemManager is not installed (Debian package modemmanager)");
    }
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) {
        return Skip("/usr/bin/python3 is missing: the AT modem fixture needs it");
    }
    TPrivateBus bus;
    if (const QString error = bus.Start(); !error.isEmpty()) {
        return Skip(qPrintable(error));
    }
    InitSmsTables();
    const QString socket = QStringLiteral("ombrelay-bench-%1").arg(::getpid());
    auto modem = StartChild(QStringLiteral("/usr/bin/python3"), {QStringLiteral(OMBRELAY_AT_MODEM), socket});
    if (!modem || !modem->waitForReadyRead(5000) || modem->readLine().trimmed() != "ready") {
        return Skip("the AT modem fixture did not start");
    }
    // A full SIM: 30 single-part messages of different senders.
    for (int n = 0; n < kMessages; ++n) {
        const QDateTime ts(QDate(2026, 5, 1), QTime(10, n, 0), QTimeZone(3600));
        const QString pdu = BuildDeliverPdus(QStringLiteral("+49170555%1").arg(n, 4, 10, QLatin1Char('0')), ts,
                                             QStringLiteral("Message %1 on a full SIM").arg(n))
                                .first();
        if (!Fixture(*modem, QStringLiteral("store 1 ") + pdu).startsWith(QLatin1String("ok"))) {
            return Skip("the AT modem fixture refused a message");
        }
    }
    QTemporaryDir logs;
    auto daemon = StartChild(QStringLiteral("/usr/sbin/ModemManager"),
                             {QStringLiteral("--test-session"), QStringLiteral("--test-enable"),
                              QStringLiteral("--no-auto-scan"), QStringLiteral("--test-no-udev")},
                             logs.filePath(QStringLiteral("ModemManager.log")));
    if (!daemon || !TPrivateBus::WaitForName(kMM, 20000)) {
        return Skip("ModemManager did not take its name on the private bus");
    }
    const QDBusMessage set = CallMM(QStringLiteral("/org/freedesktop/ModemManager1"),
                                    QStringLiteral("org.freedesktop.ModemManager1.Test"), QStringLiteral("SetProfile"),
                                    {QStringLiteral("ombrelay"), QStringLiteral("generic"),
                                     QStringList{QStringLiteral("abstract:") + socket}});
    if (set.type() != QDBusMessage::ReplyMessage) {
        return Skip("ModemManager's test interface refused the modem");
    }
    QString path;
    if (!WaitFor([&] { return !(path = ModemPath()).isEmpty() && ModemState(path) >= 3; }, 30000)) {
        return Skip("ModemManager did not take up the modem");
    }
    if (CallMM(path, kModemIface, QStringLiteral("Enable"), {true}, 60000).type() != QDBusMessage::ReplyMessage) {
        return Skip("the modem could not be enabled");
    }
    const QString index = path.section(QLatin1Char('/'), -1);
    auto listed = [&] {
        QProcess mmcli;
        mmcli.start(QStringLiteral("/usr/bin/mmcli"),
                    {QStringLiteral("-m"), index, QStringLiteral("--messaging-list-sms")});
        mmcli.waitForFinished(20000);
        return int(mmcli.readAllStandardOutput().count("/SMS/"));
    };
    // ModemManager reads the store after enabling; it lists all 30 once it has.
    if (!WaitFor([&] { return listed() == kMessages; }, 30000)) {
        return Skip("ModemManager did not list the 30 messages");
    }

    // Baseline: ModemManager's own client lists the messages (best of three).
    qint64 baselineNs = std::numeric_limits<qint64>::max();
    for (int n = 0; n < 3; ++n) {
        QElapsedTimer t;
        t.start();
        listed();
        baselineNs = std::min(baselineNs, t.nsecsElapsed());
    }

    // Measured: the backend starts, reads the 30, stores them and deletes each from the modem.
    TTempDatabase db;
    QElapsedTimer t;
    t.start();
    TMMBackendOptions options;
    options.StartTimeoutMs = 5000;
    QString reason;
    std::shared_ptr<TMMInterfaceManager> port = TMMInterfaceManager::Create(options, true, &reason);
    if (!port) {
        return Skip(qPrintable(QStringLiteral("the backend did not start: ") + reason));
    }
    auto manager = std::make_shared<TMBManager>(port);
    QStringList errors;
    QObject::connect(manager.get(), &TMBManager::ErrorOccurred, [&errors](const QString& M) { errors << M; });
    manager->SetRemoveStoredMessages(true);
    const auto interfaces = manager->GetInterfaceList();
    if (interfaces->Count() != 1) {
        return Skip("the backend found no modem");
    }
    TMBInterfaceItem* item = interfaces->Items(0);
    manager->ReadSms(item->InterfaceID());
    const bool done = WaitFor(
        [&] {
            return item->SmsIncomingList()->Count() == kMessages &&
                   Fixture(*modem, QStringLiteral("list")) == QLatin1String("ok");
        },
        30000);
    const qint64 ns = t.nsecsElapsed();
    if (!done) {
        std::printf("mm_full_sim: after 30 s %d of %d stored; %s\n", item->SmsIncomingList()->Count(), kMessages,
                    qPrintable(errors.join(QLatin1Char(' '))));
        std::printf("FIGURE mm_full_sim_read_store_delete_s value=failed baseline=- ratio=- goal=2 short\n");
        return 0;
    }
    const double seconds = double(ns) / 1e9;
    const double baseline = double(baselineNs) / 1e9;
    std::printf("mm_full_sim: %d messages read, stored and deleted in %.3f s; mmcli lists them in %.3f s\n", kMessages,
                seconds, baseline);
    std::printf("FIGURE mm_full_sim_read_store_delete_s value=%.3f baseline=%.3f ratio=%.1f goal=2 %s\n", seconds,
                baseline, baseline > 0 ? seconds / baseline : 0.0, seconds < 2.0 ? "pass" : "short");
    manager.reset();
    port.reset();
    daemon->terminate();
    daemon->waitForFinished(5000);
    StopChild(daemon);
    StopChild(modem);
    return 0;
}
