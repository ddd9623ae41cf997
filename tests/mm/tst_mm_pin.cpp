// A SIM that asks for its PIN and a modem that is switched off, against the real ModemManager
// daemon on a private bus with the scripted AT modem (at_modem.py) as its device: the lock and
// the attempts left as the daemon reports them, a wrong then a right PIN, the modem switched on
// by the setting, and its messages read afterwards without a new start.

#include "BusFixture.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/SmsStore.h"
#include "platform/modemmanager/MMBackend.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <unistd.h>

using namespace Ombrelay;

namespace
{

const QString kMM = QStringLiteral("org.freedesktop.ModemManager1");
const QString kMMPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kModemIface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPin = QStringLiteral("4711");
const QString kWrongPin = QStringLiteral("9999");

QDBusMessage CallMM(const QString& Path, const QString& Interface, const QString& Method, const QVariantList& Args,
                    int TimeoutMs = 25000)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kMM, Path, Interface, Method);
    m.setArguments(Args);
    return QDBusConnection::systemBus().call(m, QDBus::Block, TimeoutMs);
}

int ModemState(const QString& Path)
{
    const QDBusMessage r = CallMM(Path, kProps, QStringLiteral("Get"), {kModemIface, QStringLiteral("State")});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return -100;
    }
    return r.arguments().at(0).value<QDBusVariant>().variant().toInt();
}

QString FirstModemPath()
{
    const QDBusMessage r =
        CallMM(kMMPath, QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"), {});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return {};
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
        if (found.isEmpty() && interfaces.contains(kModemIface)) {
            found = path.path();
        }
    }
    arg.endMap();
    return found;
}

} // namespace

class TestModemManagerPin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup() { FAnyFailed = FAnyFailed || QTest::currentTestFailed(); }

    void wrongThenRightPinUnlocksAndMessagesAreRead();
    void disabledModemSwitchedOnBySettingAndRead();

private:
    QString Fixture(const QString& Line);
    QStringList InboxTexts();
    // The manager as the program makes it, with "Switch modems on when found" as given; errors
    // and request outcomes are collected.
    std::shared_ptr<TMBManager> StartManager(bool SwitchOn);

    TPrivateBus FBus;
    QTemporaryDir FLogs;
    std::unique_ptr<QProcess> FModem;
    std::unique_ptr<QProcess> FDaemon;
    std::unique_ptr<TTempDatabase> FDb;
    std::shared_ptr<TMMInterfaceManager> FPort;
    QString FModemPath;
    QString FId;
    QStringList FErrors;
    QStringList FOutcomes;
    // Each request's outcome (the setting's switch-on ends among them).
    QHash<quint32, QString> FOutcomeOf;
    bool FAnyFailed = false;
};

QString TestModemManagerPin::Fixture(const QString& Line)
{
    FModem->write((Line + QLatin1Char('\n')).toUtf8());
    FModem->waitForBytesWritten(2000);
    QElapsedTimer t;
    t.start();
    while (!FModem->canReadLine() && t.elapsed() < 5000) {
        FModem->waitForReadyRead(100);
    }
    return QString::fromUtf8(FModem->readLine()).trimmed();
}

QStringList TestModemManagerPin::InboxTexts()
{
    QStringList r;
    TSQLiteLock lock(FDb->DB());
    TSQLiteQuery q(FDb->DB(), QStringLiteral("SELECT PDU FROM INCOMING ORDER BY ID"));
    while (FDb->DB().Next()) {
        TSmsRecv recv;
        if (recv.DecodePdu(FDb->DB().GetFieldAsString(0))) {
            r << recv.Text();
        }
    }
    return r;
}

std::shared_ptr<TMBManager> TestModemManagerPin::StartManager(bool SwitchOn)
{
    auto m = std::make_shared<TMBManager>(FPort);
    connect(m.get(), &TMBManager::ErrorOccurred, this, [this](const QString& M) { FErrors << M; });
    m->SetDeviceRequestNotify([this](const QString&, quint32 RequestId, const QString& Error) {
        FOutcomes << (Error.isEmpty() ? QStringLiteral("ok") : Error);
        FOutcomeOf.insert(RequestId, FOutcomes.last());
    });
    m->SetSwitchOnModems(SwitchOn);
    return m;
}

void TestModemManagerPin::initTestCase()
{
    if (!QFile::exists(QStringLiteral("/usr/sbin/ModemManager"))) {
        QSKIP("ModemManager is not installed (Debian package modemmanager)");
    }
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) {
        QSKIP("/usr/bin/python3 is missing: the AT modem fixture needs it");
    }
    if (const QString error = FBus.Start(); !error.isEmpty()) {
        QSKIP(qPrintable(error));
    }
    QVERIFY(FLogs.isValid());
    InitSmsTables();
    const QString socket =
        QStringLiteral("ombrelay-pin-%1-%2").arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch());
    FModem = StartChild(QStringLiteral("/usr/bin/python3"), {QStringLiteral(OMBRELAY_AT_MODEM), socket});
    QVERIFY(FModem);
    QVERIFY(FModem->waitForReadyRead(5000));
    QCOMPARE(QString::fromUtf8(FModem->readLine()).trimmed(), QStringLiteral("ready"));
    // The SIM asks for its PIN from power-on; a message waits in its store.
    QCOMPARE(Fixture(QStringLiteral("pin ") + kPin), QStringLiteral("ok"));
    const QDateTime ts(QDate(2026, 4, 2), QTime(8, 15, 0), QTimeZone(7200));
    for (const QString& pdu :
         BuildDeliverPdus(QStringLiteral("+4915100000001"), ts, QStringLiteral("Waiting behind the PIN"), 1)) {
        QVERIFY(Fixture(QStringLiteral("store 0 ") + pdu).startsWith(QLatin1String("ok")));
    }

    FDaemon = StartModemManager(FLogs.filePath(QStringLiteral("ModemManager.log")));
    QVERIFY2(FDaemon, "ModemManager did not start or did not take its name on the private bus");
    const QString probe = ProbeAtModem(QStringLiteral("ombrelay-pin"), socket);
    QVERIFY2(probe.isEmpty(), qPrintable(probe));
    QTRY_VERIFY_WITH_TIMEOUT(!FirstModemPath().isEmpty(), 30000);
    FModemPath = FirstModemPath();
    // Probing ends in the state "locked" (2).
    QTRY_COMPARE_WITH_TIMEOUT(ModemState(FModemPath), 2, 30000);
    FLogs.setAutoRemove(false);

    TMMBackendOptions options;
    options.StartTimeoutMs = 5000;
    QString reason;
    FPort = TMMInterfaceManager::Create(options, true, &reason);
    QVERIFY2(FPort, qPrintable(reason));
    FDb = std::make_unique<TTempDatabase>();
}

void TestModemManagerPin::cleanupTestCase()
{
    FPort.reset();
    FDb.reset();
    if (FDaemon) {
        FDaemon->terminate();
        FDaemon->waitForFinished(3000);
    }
    StopChild(FDaemon);
    StopChild(FModem);
    if (!FAnyFailed) {
        FLogs.setAutoRemove(true);
    } else {
        qInfo("ModemManager's log: %s", qPrintable(FLogs.path()));
    }
}

void TestModemManagerPin::wrongThenRightPinUnlocksAndMessagesAreRead()
{
    auto manager = StartManager(true);
    QCOMPARE(manager->GetInterfaceList()->Count(), 1);
    TMBInterfaceItem* item = manager->GetInterfaceList()->Items(0);
    FId = item->InterfaceID();
    QCOMPARE(manager->GetLockState(FId).Lock, TMbnLock::lkSimPin);
    // ModemManager's generic AT plugin never asks the modem for the attempts left: unknown
    // (-1) there; where a plugin reports them they must be the SIM's.
    const bool retriesKnown = manager->GetLockState(FId).AttemptsLeft >= 0;
    if (retriesKnown) {
        QCOMPARE(manager->GetLockState(FId).AttemptsLeft, 3);
    }
    QCOMPARE(DeviceStateText(manager->GetLockState(FId), manager->IsPowered(FId), manager->RadioEnabled()),
             QStringLiteral("SIM PIN required"));
    // A locked modem's store is shut: polling neither reads nor complains.
    manager->TimerTick();
    QTest::qWait(500);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));

    const quint32 wrong = manager->SendPin(FId, kWrongPin);
    QTRY_VERIFY_WITH_TIMEOUT(FOutcomeOf.contains(wrong), 20000);
    QVERIFY(FOutcomeOf[wrong] != QLatin1String("ok"));
    if (retriesKnown) {
        QTRY_COMPARE_WITH_TIMEOUT(manager->GetLockState(FId).AttemptsLeft, 2, 10000);
    }
    QCOMPARE(manager->GetLockState(FId).Lock, TMbnLock::lkSimPin);
    QCOMPARE(Fixture(QStringLiteral("cpin")), QStringLiteral("ok SIM PIN 2"));

    const quint32 right = manager->SendPin(FId, kPin);
    QTRY_VERIFY_WITH_TIMEOUT(FOutcomeOf.contains(right), 20000);
    QCOMPARE(FOutcomeOf[right], QStringLiteral("ok"));
    // Unlocked, found off, switched on by the setting; the item read anew can now send and
    // receive, and the waiting message reaches the inbox without a new start.
    QTRY_VERIFY_WITH_TIMEOUT(ModemState(FModemPath) >= 6, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(manager->IsReady(FId), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(manager->GetInterfaceList()->Count() == 1 &&
                                 manager->GetInterfaceList()->Items(0)->CanSendAndReceiveSms(),
                             20000);
    QTRY_VERIFY_WITH_TIMEOUT(InboxTexts().contains(QStringLiteral("Waiting behind the PIN")), 30000);
    QCOMPARE(DeviceStateText(manager->GetLockState(FId), manager->IsPowered(FId), manager->RadioEnabled()), QString());
    // The codes appear in no text the program shows or logs.
    for (const QString& text : FErrors + FOutcomes) {
        QVERIFY2(!text.contains(kPin) && !text.contains(kWrongPin), qPrintable(text));
    }
}

void TestModemManagerPin::disabledModemSwitchedOnBySettingAndRead()
{
    if (FId.isEmpty()) {
        QSKIP("needs the unlocked modem of the test before");
    }
    // Another client switches the modem off; a message arrives meanwhile.
    const QDBusMessage off = CallMM(FModemPath, kModemIface, QStringLiteral("Enable"), {false}, 60000);
    QVERIFY2(off.type() == QDBusMessage::ReplyMessage, qPrintable(off.errorMessage()));
    QTRY_COMPARE_WITH_TIMEOUT(ModemState(FModemPath), 3, 20000);
    // ... and the backend has heard of it.
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            std::shared_ptr<IMbnInterface> i;
            bool on = true;
            return MbnSucceeded(FPort->GetInterface(FId, i)) && MbnSucceeded(i->GetPowered(on)) && !on;
        }(),
        10000);
    const QDateTime ts(QDate(2026, 4, 3), QTime(9, 0, 0), QTimeZone(7200));
    for (const QString& pdu :
         BuildDeliverPdus(QStringLiteral("+4915100000002"), ts, QStringLiteral("While it was off"), 2)) {
        QVERIFY(Fixture(QStringLiteral("store 0 ") + pdu).startsWith(QLatin1String("ok")));
    }

    {
        // Without the setting the modem is shown off and left so; nothing is read, nothing fails.
        FErrors.clear();
        auto manager = StartManager(false);
        QVERIFY(!manager->IsPowered(FId));
        QCOMPARE(DeviceStateText(manager->GetLockState(FId), false, true), QStringLiteral("Modem switched off"));
        manager->TimerTick();
        QTest::qWait(1000);
        QCOMPARE(ModemState(FModemPath), 3);
        QVERIFY(!InboxTexts().contains(QStringLiteral("While it was off")));
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
    }

    // With it (the default), a modem found off is switched on at once and read.
    auto manager = StartManager(true);
    QTRY_VERIFY_WITH_TIMEOUT(ModemState(FModemPath) >= 6, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(InboxTexts().contains(QStringLiteral("While it was off")), 30000);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestModemManagerPin)
#include "tst_mm_pin.moc"
