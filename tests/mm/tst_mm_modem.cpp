// The ModemManager backend against the real ModemManager daemon on a private bus. The modem is
// our scripted AT modem (at_modem.py) on an abstract unix socket, which the daemon opens as the
// AT port of a virtual device; the daemon speaks PDU mode to it, the backend message mode to the
// device layer, so every message crosses two independent codecs.

#include "BusFixture.h"
#include "backends/Backend.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/SmsReports.h"
#include "core/SmsStore.h"
#include "platform/modemmanager/MMBackend.h"
#include "sms/MBException.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <unistd.h>

#include <algorithm>
#include <map>

using namespace Ombrelay;

namespace
{

const QString kMM = QStringLiteral("org.freedesktop.ModemManager1");
const QString kMMPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kModemIface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

// A real network's PDU (not made by our encoder): "How are you?" from +31641600986.
const QString kForeignPdu =
    QStringLiteral("07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07");

QDBusMessage CallMM(const QString& Path, const QString& Interface, const QString& Method, const QVariantList& Args,
                    int TimeoutMs = 25000)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kMM, Path, Interface, Method);
    m.setArguments(Args);
    return QDBusConnection::systemBus().call(m, QDBus::Block, TimeoutMs);
}

QVariant GetProperty(const QString& Path, const QString& Interface, const QString& Name)
{
    const QDBusMessage r = CallMM(Path, kProps, QStringLiteral("Get"), {Interface, Name});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return QVariant();
    }
    return r.arguments().at(0).value<QDBusVariant>().variant();
}

// The object paths of the modems ModemManager exports.
QStringList ModemPaths()
{
    const QDBusMessage r =
        CallMM(kMMPath, QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"), {});
    QStringList paths;
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return paths;
    }
    const QDBusArgument arg = r.arguments().at(0).value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        arg.beginMapEntry();
        arg >> path;
        arg.beginMap();
        while (!arg.atEnd()) {
            QString name;
            QVariantMap props;
            arg.beginMapEntry();
            arg >> name >> props;
            arg.endMapEntry();
            interfaces.insert(name, props);
        }
        arg.endMap();
        arg.endMapEntry();
        if (interfaces.contains(kModemIface)) {
            paths << path.path();
        }
    }
    arg.endMap();
    return paths;
}

QString LongText(int Length, const QString& Pattern)
{
    QString r;
    while (r.size() < Length) {
        r += Pattern;
    }
    return r.left(Length);
}

// The text of SUBMIT or DELIVER PDUs, parts joined in sequence order, and the number they name.
std::pair<QString, QString> DecodeParts(const QStringList& Pdus)
{
    std::map<int, QString> parts;
    QString number;
    for (const QString& pdu : Pdus) {
        TSmsRecv recv;
        if (!recv.DecodePdu(pdu)) {
            return {QStringLiteral("<undecodable %1>").arg(pdu), QString()};
        }
        parts[recv.Multipart() ? recv.SeqNo() : 0] = recv.Text();
        number = recv.Sender();
    }
    QString text;
    for (const auto& [seq, t] : parts) {
        text += t;
    }
    return {text, number};
}

// Whether a SUBMIT PDU (service-centre octets first) asks the network for a status report (TP-SRR).
bool AsksForReport(const QString& Pdu)
{
    const QByteArray octets = QByteArray::fromHex(Pdu.toLatin1());
    const int first = octets.isEmpty() ? 0 : 1 + quint8(octets[0]);
    return first < octets.size() && (quint8(octets[first]) & 0x20) != 0;
}

} // namespace

class TestModemManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void modemListedWithCapabilities();
    void storedMessagesReachInboxAndLeaveModem();
    void encoderPdusComeOutWithSameText_data();
    void encoderPdusComeOutWithSameText();
    void laterMessageIsStoredAndAnnounced();
    void sentMessageLeavesAsCmgs_data();
    void sentMessageLeavesAsCmgs();
    void signalFollowsCsq();
    void roamingFollowsCreg();
    void messagesStayWhenRemovingIsOff();
    void connectWithoutNetworkManagerIsRefused();
    void dataMessageStoredAsData_data();
    void dataMessageStoredAsData();
    void failedDeleteReportedOnce();
    void longMessageNotStoredAgainAcrossRestarts();
    void newMessagesStoredAfterDaemonRestart();
    void keptMessagesNotStoredAgainAfterBothRestarts();
    void textModeTimeStampKept();
    void cdsReportSetsSentState_data();
    void cdsReportSetsSentState();
    void storedReportsStoredAndMatched();

private:
    // The sent message of that text in the outbox, null when it is not there.
    const TSmsOutgoingItem* Sent(const QString& Text);
    // Its state (a TSendState, -1 while it is not listed) and the words the Sent list shows. The
    // outbox is looked up each time: the manager lists the modem anew when it becomes ready.
    int SentState(const QString& Text, QString* Words = nullptr);
    // ModemManager's objects of status reports (PduType 3) for the modem.
    int ReportObjects();
    // Sends Text to Number as the new-message dialog does and waits until the device confirmed it;
    // returns the fixture's index of the first part's +CMGS (its reference is that plus one).
    int SendConfirmed(const QString& Number, const QString& Text);
    QString Fixture(const QString& Line);
    QStringList FixtureList(const QString& Command);
    QList<TMbnSmsMessage> ReadPort();
    // Rows of the inbox, and how many of them hold each PDU.
    int InboxRows();
    QStringList InboxPdus();
    // Deletes through ModemManager, as another client would, whatever it lists.
    void ClearModem();
    TMBManager& StartManager();
    // "Remove messages from the modem once stored", for the backend and the manager alike.
    void SetRemoveStored(bool Value);
    TMBInterfaceItem* Item();

    // Starts ModemManager, gives it the fixture as its modem and enables that (CheckEmpty: first
    // that the backends see no modem while ModemManager knows none).
    void StartDaemon(bool CheckEmpty);
    // Stops ModemManager and starts it again, as an update or a crash would; its new paths
    // start from the beginning again.
    void RestartDaemon();
    // Ends the program's side (backend and manager) and starts it again, as a new start of the
    // program would.
    void RestartProgram();

    TPrivateBus FBus;
    QTemporaryDir FLogs;
    QString FSocketName;
    int FDaemonStarts = 0;
    bool FRemoveStored = true;
    bool FAnyFailed = false;
    std::unique_ptr<QProcess> FModem;
    std::unique_ptr<QProcess> FDaemon;
    QString FModemPath;
    std::unique_ptr<TTempDatabase> FDb;
    std::shared_ptr<TMMInterfaceManager> FPort;
    std::shared_ptr<TMBManager> FManager;
    QStringList FErrors;
    QString FId;
    // What the messages stored before the modem was enabled say: sender and text.
    QList<std::pair<QString, QString>> FInitial;
    int FInitialPdus = 0;
};

QString TestModemManager::Fixture(const QString& Line)
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

QStringList TestModemManager::FixtureList(const QString& Command)
{
    QStringList r = Fixture(Command).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!r.isEmpty() && r.first() == QLatin1String("ok")) {
        r.removeFirst();
    }
    return r;
}

void TestModemManager::initTestCase()
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

    // The fixture first: ModemManager connects to its socket as soon as the profile is set.
    FSocketName = QStringLiteral("ombrelay-mm-%1-%2").arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch());
    FModem = StartChild(QStringLiteral("/usr/bin/python3"), {QStringLiteral(OMBRELAY_AT_MODEM), FSocketName});
    QVERIFY(FModem);
    QVERIFY(FModem->waitForReadyRead(5000));
    QCOMPARE(QString::fromUtf8(FModem->readLine()).trimmed(), QStringLiteral("ready"));

    // Messages already in the modem's store: a network's PDU, and PDUs of our encoder (single and
    // multipart, 7-bit with escapes and UCS-2).
    const QDateTime ts(QDate(2026, 3, 1), QTime(12, 34, 56), QTimeZone(3600));
    FInitial = {{QStringLiteral("+31641600986"), QStringLiteral("How are you?")},
                {QStringLiteral("+4915112345678"),
                 LongText(200, QStringLiteral("Long 7-bit [text] with {escapes} € | "))},
                {QStringLiteral("+441234567890"), QStringLiteral("Привет, мир! ☺ Grüße")},
                {QStringLiteral("+33612345678"), LongText(100, QStringLiteral("Длинное сообщение в UCS-2. "))}};
    QCOMPARE(Fixture(QStringLiteral("store 1 ") + kForeignPdu), QStringLiteral("ok 0"));
    FInitialPdus = 1;
    for (qsizetype n = 1; n < FInitial.size(); ++n) {
        for (const QString& pdu : BuildDeliverPdus(FInitial[n].first, ts, FInitial[n].second, int(n))) {
            QVERIFY(Fixture(QStringLiteral("store 0 ") + pdu).startsWith(QLatin1String("ok")));
            ++FInitialPdus;
        }
    }
    QVERIFY(FInitialPdus >= 1 + 2 + 1 + 2);

    StartDaemon(true);
    if (QTest::currentTestFailed()) {
        return;
    }
    FLogs.setAutoRemove(false);

    TMMBackendOptions options;
    options.StartTimeoutMs = 5000;
    QString reason;
    FPort = TMMInterfaceManager::Create(options, true, &reason);
    QVERIFY2(FPort, qPrintable(reason));
    FId = GetProperty(FModemPath, kModemIface, QStringLiteral("DeviceIdentifier")).toString();
    QVERIFY(!FId.isEmpty());
    FDb = std::make_unique<TTempDatabase>();
}

void TestModemManager::StartDaemon(bool CheckEmpty)
{
    FDaemon = StartModemManager(FLogs.filePath(QStringLiteral("ModemManager-%1.log").arg(++FDaemonStarts)));
    QVERIFY2(FDaemon, "ModemManager did not start or did not take its name on the private bus");
    // With CheckEmpty, a program started before the modem is plugged in: it keeps the messages
    // on the modem, so that the tests after this find them there.
    std::unique_ptr<TTempDatabase> earlyDb;
    std::shared_ptr<TMBManager> early;
    if (CheckEmpty) {
        // ModemManager answers but knows no modem yet: "auto" takes it all the same (the window
        // says that no modem is found), and so does ModemManager asked for by name.
        TBackendOptions keep;
        keep.RemoveStoredMessages = false;
        const auto automatic = CreateBackend(QStringLiteral("auto"), keep);
        QCOMPARE(automatic->Name(), QStringLiteral("modemmanager"));
        const auto empty = CreateBackend(QStringLiteral("modemmanager"), keep);
        QCOMPARE(empty->Name(), QStringLiteral("modemmanager"));
        QList<std::shared_ptr<IMbnInterface>> interfaces;
        QCOMPARE(empty->GetInterfaces(interfaces), TMbnResult(mrOk));
        QVERIFY(interfaces.isEmpty());
        earlyDb = std::make_unique<TTempDatabase>();
        early = std::make_shared<TMBManager>(automatic);
        early->SetRemoveStoredMessages(false);
        QCOMPARE(early->GetInterfaceList()->Count(), 0);
    }
    const QString probe = ProbeAtModem(QStringLiteral("ombrelay"), FSocketName);
    QVERIFY2(probe.isEmpty(), qPrintable(probe));

    // Probing and initialisation end in the state "disabled" (3); then enable it, as a
    // connection manager would.
    QTRY_VERIFY_WITH_TIMEOUT(!ModemPaths().isEmpty(), 30000);
    FModemPath = ModemPaths().first();
    QTRY_VERIFY_WITH_TIMEOUT(GetProperty(FModemPath, kModemIface, QStringLiteral("State")).toInt() >= 3, 30000);
    const QDBusMessage enable = CallMM(FModemPath, kModemIface, QStringLiteral("Enable"), {true}, 60000);
    QVERIFY2(enable.type() == QDBusMessage::ReplyMessage,
             qPrintable(enable.errorMessage() + QStringLiteral(" (log: ") + FLogs.path() + QLatin1Char(')')));
    if (early) {
        // The modem plugged in after the start is listed at once, and its stored messages reach
        // the inbox at the next poll, without a restart.
        QTRY_COMPARE_WITH_TIMEOUT(early->GetInterfaceList()->Count(), 1, 20000);
        QCOMPARE(early->GetInterfaceList()->Items(0)->Backend(), QStringLiteral("modemmanager"));
        auto texts = [&earlyDb] {
            QStringList r;
            TSQLiteLock lock(earlyDb->DB());
            TSQLiteQuery q(earlyDb->DB(), QStringLiteral("SELECT PDU FROM INCOMING ORDER BY ID"));
            while (earlyDb->DB().Next()) {
                TSmsRecv recv;
                if (recv.DecodePdu(earlyDb->DB().GetFieldAsString(0))) {
                    r << recv.Text();
                }
            }
            return r;
        };
        early->TimerTick();
        QTRY_VERIFY_WITH_TIMEOUT(texts().contains(FInitial[0].second), 20000);
        QVERIFY(texts().contains(FInitial[2].second));
        early.reset();
    }
}

void TestModemManager::RestartDaemon()
{
    FDaemon->terminate();
    QVERIFY(FDaemon->waitForFinished(10000));
    StopChild(FDaemon);
    QTRY_VERIFY_WITH_TIMEOUT(!QDBusConnection::systemBus().interface()->isServiceRegistered(kMM), 10000);
    StartDaemon(false);
    if (QTest::currentTestFailed()) {
        return;
    }
    // The backend finds the modem again by its identifier, on the new daemon's path.
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            std::shared_ptr<IMbnInterface> i;
            std::shared_ptr<IMbnSms> sms;
            return MbnSucceeded(FPort->GetInterface(FId, i)) && MbnSucceeded(i->GetSms(sms));
        }(),
        20000);
}

void TestModemManager::RestartProgram()
{
    FManager.reset();
    FPort.reset();
    TMMBackendOptions options;
    options.StartTimeoutMs = 5000;
    QString reason;
    FPort = TMMInterfaceManager::Create(options, true, &reason);
    QVERIFY2(FPort, qPrintable(reason));
    SetRemoveStored(FRemoveStored);
}

void TestModemManager::cleanup()
{
    FManager.reset();
    if (!QTest::currentTestFailed()) {
        FErrors.clear();
    } else {
        FAnyFailed = true;
    }
}

void TestModemManager::cleanupTestCase()
{
    FManager.reset();
    FPort.reset();
    FDb.reset();
    if (FDaemon) {
        FDaemon->terminate();
        FDaemon->waitForFinished(3000);
    }
    StopChild(FDaemon);
    StopChild(FModem);
    // ModemManager's logs are kept when anything failed.
    if (!QTest::currentTestFailed() && !FAnyFailed) {
        FLogs.setAutoRemove(true);
    } else {
        qInfo("ModemManager's logs: %s", qPrintable(FLogs.path()));
    }
}

TMBManager& TestModemManager::StartManager()
{
    FManager = std::make_shared<TMBManager>(FPort);
    connect(FManager.get(), &TMBManager::ErrorOccurred, this, [this](const QString& M) { FErrors << M; });
    // As the program does: the setting reaches the backend through the manager, which keeps
    // entries it did not remove marked as still on the modem.
    FManager->SetRemoveStoredMessages(FRemoveStored);
    return *FManager;
}

void TestModemManager::SetRemoveStored(bool Value)
{
    FRemoveStored = Value;
    FPort->SetRemoveStoredMessages(Value);
    if (FManager) {
        FManager->SetRemoveStoredMessages(Value);
    }
}

TMBInterfaceItem* TestModemManager::Item()
{
    return FManager->GetInterfaceList()->GetByID(FId);
}

QList<TMbnSmsMessage> TestModemManager::ReadPort()
{
    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnSms> sms;
    if (MbnFailed(FPort->GetInterface(FId, i)) || MbnFailed(i->GetSms(sms))) {
        return {};
    }
    QSignalSpy spy(FPort.get(), &IMbnInterfaceManager::SmsMessageReadComplete);
    TMbnRequestId id = 0;
    if (MbnFailed(sms->SmsReadMessages(id))) {
        return {};
    }
    // Never inside the call.
    if (!spy.isEmpty()) {
        qWarning("read completed inside the call");
        return {};
    }
    for (int n = 0; n < 100 && spy.isEmpty(); ++n) {
        spy.wait(100);
    }
    if (spy.isEmpty() || spy.first().at(3).toUInt() != id || spy.first().at(4).toInt() != mrOk) {
        return {};
    }
    return spy.first().at(1).value<QList<TMbnSmsMessage>>();
}

int TestModemManager::InboxRows()
{
    TSQLiteLock lock(FDb->DB());
    FDb->DB().FetchTable(QStringLiteral("SELECT COUNT(*) FROM INCOMING"));
    return FDb->DB().GetResultSet(1).toInt();
}

QStringList TestModemManager::InboxPdus()
{
    TSQLiteLock lock(FDb->DB());
    TSQLiteQuery query(FDb->DB(), QStringLiteral("SELECT PDU FROM INCOMING ORDER BY ID"));
    QStringList r;
    while (FDb->DB().Next()) {
        r << FDb->DB().GetFieldAsString(0);
    }
    return r;
}

void TestModemManager::ClearModem()
{
    const QString messaging = QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging");
    const QDBusMessage listed = CallMM(FModemPath, messaging, QStringLiteral("List"), {});
    QCOMPARE(listed.type(), QDBusMessage::ReplyMessage);
    const QDBusArgument arg = listed.arguments().at(0).value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusObjectPath p;
        arg >> p;
        CallMM(FModemPath, messaging, QStringLiteral("Delete"), {QVariant::fromValue(p)});
    }
    arg.endArray();
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")), QStringList(), 10000);
}

void TestModemManager::modemListedWithCapabilities()
{
    QList<std::shared_ptr<IMbnInterface>> interfaces;
    QCOMPARE(FPort->GetInterfaces(interfaces), TMbnResult(mrOk));
    QCOMPARE(interfaces.size(), 1);
    // The identifier is ModemManager's device identifier, not the object path.
    QCOMPARE(interfaces.first()->InterfaceID(), FId);
    QCOMPARE(interfaces.first()->Backend(), QStringLiteral("modemmanager"));

    TMBManager& manager = StartManager();
    QCOMPARE(manager.GetInterfaceList()->Count(), 1);
    TMBInterfaceItem* item = Item();
    QVERIFY(item);
    QCOMPARE(item->Manufacturer(), QStringLiteral("Ombrelay Test"));
    QCOMPARE(item->Model(), QStringLiteral("AT Fixture 3G"));
    QCOMPARE(item->FirmwareInfo(), QStringLiteral("FW 1.2.3"));
    QCOMPARE(item->DeviceID(), QStringLiteral("490154203237518"));
    QCOMPARE(item->CellularClass(), QStringLiteral("GSM"));
    // The fixture's AT+WS46=? offers GSM and UMTS; ModemManager says nothing of its bands.
    QCOMPARE(item->DataClass(), QStringLiteral("GPRS, UMTS"));
    QCOMPARE(item->BandClass(), QString());
    // The generic plugin exports a Voice interface: whether voice and data go together is unknown.
    QCOMPARE(item->VoiceClass(), QString());
    QCOMPARE(item->SmsCaps(), QStringLiteral("Receive text SMS, Send text SMS"));
    QVERIFY(item->IsMessageMode());
    QVERIFY(item->CanSendAndReceiveSms());
    QVERIFY(!item->CanRecvPduSms());
    QVERIFY(item->CtlCaps().contains(QStringLiteral("Manual selection allowed")));
    QVERIFY(!item->CtlCaps().contains(QStringLiteral("Multiple cellular classes")));
}

void TestModemManager::storedMessagesReachInboxAndLeaveModem()
{
    QCOMPARE(FixtureList(QStringLiteral("list")).size(), FInitialPdus);
    TMBManager& manager = StartManager();
    int announced = 0;
    manager.SetIncomingSmsNotify([&announced](TMBInterfaceItem*) { ++announced; });
    manager.ReadSms(FId);
    TSmsIncomingList* inbox = Item()->SmsIncomingList();
    QTRY_COMPARE_WITH_TIMEOUT(inbox->Count(), int(FInitial.size()), 20000);
    QList<std::pair<QString, QString>> got;
    for (int n = 0; n < inbox->Count(); ++n) {
        QVERIFY(inbox->Items(n)->Rebuilt());
        got.append({inbox->Items(n)->Number(), inbox->Items(n)->Text()});
    }
    auto sorted = [](QList<std::pair<QString, QString>> L) {
        std::sort(L.begin(), L.end());
        return L;
    };
    QCOMPARE(sorted(got), sorted(FInitial));
    {
        // Each whole message is kept as the DELIVER PDUs our codec rebuilt from it.
        TSQLiteLock lock(FDb->DB());
        FDb->DB().FetchTable(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE REBUILT = 1"));
        QCOMPARE(FDb->DB().GetResultSet(1).toInt(), FInitialPdus);
    }
    QVERIFY(announced >= int(FInitial.size()));
    // Stored means gone from the modem: ModemManager deleted every part with AT+CMGD.
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")), QStringList(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 0, 10000);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

void TestModemManager::encoderPdusComeOutWithSameText_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("text");
    QTest::newRow("7-bit") << QStringLiteral("+15551230001") << QStringLiteral("Plain text @ £ $ ¥ è é ù");
    QTest::newRow("7-bit escapes") << QStringLiteral("+15551230002") << QStringLiteral("^ { } \\ [ ~ ] | €");
    QTest::newRow("7-bit multipart") << QStringLiteral("+15551230003")
                                     << LongText(400, QStringLiteral("three parts of seven-bit text, "));
    QTest::newRow("UCS-2") << QStringLiteral("+15551230004") << QStringLiteral("日本語のメッセージ");
    QTest::newRow("UCS-2 surrogates") << QStringLiteral("+15551230005") << QStringLiteral("Emoji 😀 and 🎉");
    QTest::newRow("UCS-2 multipart") << QStringLiteral("+15551230006")
                                     << LongText(150, QStringLiteral("Ελληνικό κείμενο, "));
}

void TestModemManager::encoderPdusComeOutWithSameText()
{
    QFETCH(QString, sender);
    QFETCH(QString, text);
    const QDateTime ts(QDate(2026, 7, 14), QTime(8, 15, 30), QTimeZone(-4 * 3600 - 1800));
    const QStringList pdus = BuildDeliverPdus(sender, ts, text, 77);
    for (const QString& pdu : pdus) {
        // Stored and announced with +CMTI: ModemManager fetches each part with AT+CMGR.
        QVERIFY(Fixture(QStringLiteral("deliver ") + pdu).startsWith(QLatin1String("ok")));
    }
    QList<TMbnSmsMessage> messages;
    QTRY_VERIFY_WITH_TIMEOUT((messages = ReadPort()).size() == 1, 20000);
    const TMbnSmsMessage& m = messages.first();
    QCOMPARE(m.Number, sender);
    QCOMPARE(m.Text, text);
    QCOMPARE(m.TimeStamp, ts);
    QCOMPARE(m.TimeStamp.offsetFromUtc(), ts.offsetFromUtc());

    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnSms> sms;
    QCOMPARE(FPort->GetInterface(FId, i), TMbnResult(mrOk));
    QCOMPARE(i->GetSms(sms), TMbnResult(mrOk));
    QSignalSpy deleted(FPort.get(), &IMbnInterfaceManager::SmsDeleteComplete);
    TMbnRequestId id = 0;
    QCOMPARE(sms->SmsDeleteMessage(m.Key, id), TMbnResult(mrOk));
    QCOMPARE(deleted.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(deleted.size(), 1, 10000);
    QCOMPARE(deleted.first().at(2).toInt(), int(mrOk));
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")), QStringList(), 10000);
    // A key that no read handed out is refused: nothing unread or half-received is ever deleted.
    QCOMPARE(sms->SmsDeleteMessage(QStringLiteral("/org/freedesktop/ModemManager1/SMS/999"), id),
             TMbnResult(mrNotFound));
}

void TestModemManager::laterMessageIsStoredAndAnnounced()
{
    TMBManager& manager = StartManager();
    int announced = 0;
    manager.SetIncomingSmsNotify([&announced](TMBInterfaceItem*) { ++announced; });
    QSignalSpy arrived(FPort.get(), &IMbnInterfaceManager::SmsNewMessage);
    const int before = Item()->SmsIncomingList()->Count();
    const QString text = QStringLiteral("Arrived while running");
    const QStringList pdus = BuildDeliverPdus(QStringLiteral("+4930123456"),
                                              QDateTime(QDate(2026, 5, 5), QTime(5, 5, 5), QTimeZone(7200)), text, 5);
    QCOMPARE(pdus.size(), 1);
    QVERIFY(Fixture(QStringLiteral("deliver ") + pdus.first()).startsWith(QLatin1String("ok")));
    // ModemManager announces it (Messaging.Added), and the next poll stores it.
    QTRY_VERIFY_WITH_TIMEOUT(!arrived.isEmpty(), 15000);
    QCOMPARE(arrived.first().at(0).toString(), FId);
    manager.TimerTick();
    TSmsIncomingList* inbox = Item()->SmsIncomingList();
    QTRY_COMPARE_WITH_TIMEOUT(inbox->Count(), before + 1, 15000);
    TSmsItem* found = nullptr;
    for (int n = 0; n < inbox->Count(); ++n) {
        if (inbox->Items(n)->Text() == text) {
            found = inbox->Items(n);
        }
    }
    QVERIFY(found);
    QCOMPARE(found->Number(), QStringLiteral("+4930123456"));
    QCOMPARE(announced, 1);
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")), QStringList(), 15000);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

void TestModemManager::sentMessageLeavesAsCmgs_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("parts");
    QTest::newRow("7-bit") << QStringLiteral("+15557654321") << QStringLiteral("Hello from Ombrelay [ok]") << 1;
    QTest::newRow("7-bit multipart") << QStringLiteral("+15557654322")
                                     << LongText(300, QStringLiteral("a longer message in two parts. ")) << 2;
    QTest::newRow("UCS-2") << QStringLiteral("+15557654323") << QStringLiteral("Отправлено ✓") << 1;
}

void TestModemManager::sentMessageLeavesAsCmgs()
{
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(int, parts);
    TMBManager& manager = StartManager();
    int confirmed = 0;
    manager.SetOutgoingSmsNotify([&confirmed](TMBInterfaceItem*) { ++confirmed; });
    const int sentBefore = FixtureList(QStringLiteral("sent")).size();
    TSmsSend send;
    send.SetTarget(number);
    send.SetText(text);
    const QStringList ours = send.EncodePdu();
    manager.SendMessage(FId, number, text, ours);
    // ModemManager split and encoded it itself; our decoder reads its PDUs back as the text sent.
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("sent")).size(), sentBefore + parts, 30000);
    const QStringList cmgs = FixtureList(QStringLiteral("sent")).mid(sentBefore);
    const auto [decoded, to] = DecodeParts(cmgs);
    QCOMPARE(decoded, text);
    QCOMPARE(to, number);
    // The outbox shows it sent once ModemManager's Send returned.
    QTRY_COMPARE_WITH_TIMEOUT(confirmed, ours.size(), 15000);
    TSmsOutgoingList* outbox = Item()->SmsOutgoingList();
    QVERIFY(outbox->Count() >= 1);
    bool found = false;
    for (int n = 0; n < outbox->Count(); ++n) {
        if (outbox->Items(n)->Text() == text) {
            found = true;
            QVERIFY(outbox->Items(n)->Sent());
            QVERIFY(outbox->Items(n)->Rebuilt());
        }
    }
    QVERIFY(found);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

void TestModemManager::signalFollowsCsq()
{
    std::shared_ptr<IMbnInterface> i;
    QCOMPARE(FPort->GetInterface(FId, i), TMbnResult(mrOk));
    auto strength = [&i] {
        quint32 s = 0;
        return MbnSucceeded(i->GetSignalStrength(s)) ? s : 1000u;
    };
    // The fixture answers +CSQ: 20 from the start.
    QTRY_COMPARE_WITH_TIMEOUT(strength(), 20u, 40000);
    TMBManager& manager = StartManager();
    QList<quint32> notified;
    manager.SetConnectionSignalNotify([&notified](const QString&, quint32 S) { notified << S; });
    QCOMPARE(Fixture(QStringLiteral("csq 25")), QStringLiteral("ok"));
    // ModemManager polls the signal about every 30 seconds; its percentage gives the code back.
    QTRY_COMPARE_WITH_TIMEOUT(strength(), 25u, 70000);
    QTRY_VERIFY_WITH_TIMEOUT(notified.contains(25u), 5000);
}

// The network the modem registers with, as +CREG/+CGREG report it: roaming is told apart from
// home, with the operator, and announced when it changes.
void TestModemManager::roamingFollowsCreg()
{
    std::shared_ptr<IMbnInterface> i;
    QCOMPARE(FPort->GetInterface(FId, i), TMbnResult(mrOk));
    auto registration = [&i] {
        TMbnRegistration r;
        return MbnSucceeded(i->GetRegistration(r)) ? r : TMbnRegistration{};
    };
    QTRY_COMPARE_WITH_TIMEOUT(registration().State, TMbnRegisterState::rsHome, 40000);
    QSignalSpy changes(FPort.get(), &IMbnInterfaceManager::RegisterStateChange);
    QCOMPARE(Fixture(QStringLiteral("creg 5")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(registration().State, TMbnRegisterState::rsRoaming, 70000);
    QCOMPARE(registration().OperatorCode, QStringLiteral("00101"));
    // The name from +COPS in its long form, the technology from the registration's <AcT> 2 (UTRAN).
    QCOMPARE(registration().OperatorName, QStringLiteral("Test Network"));
    QCOMPARE(registration().AccessTech, TMbnAccessTech::atUmts);
    QVERIFY(!changes.isEmpty());
    QCOMPARE(Fixture(QStringLiteral("creg 1")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(registration().State, TMbnRegisterState::rsHome, 70000);
}

void TestModemManager::messagesStayWhenRemovingIsOff()
{
    SetRemoveStored(false);
    TMBManager& manager = StartManager();
    int announced = 0;
    manager.SetIncomingSmsNotify([&announced](TMBInterfaceItem*) { ++announced; });
    const QString text = QStringLiteral("Leave me on the modem");
    const QStringList pdus = BuildDeliverPdus(QStringLiteral("+4940123456"),
                                              QDateTime(QDate(2026, 6, 6), QTime(6, 6, 6), QTimeZone(0)), text, 6);
    QVERIFY(Fixture(QStringLiteral("deliver ") + pdus.first()).startsWith(QLatin1String("ok")));
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 1, 15000);
    manager.TimerTick();
    QTRY_COMPARE_WITH_TIMEOUT(announced, 1, 15000);
    // Stored by the program, still in the modem for other clients...
    QTest::qWait(1000);
    QCOMPARE(FixtureList(QStringLiteral("list")).size(), 1);
    const QDBusMessage listed =
        CallMM(FModemPath, QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging"), QStringLiteral("List"), {});
    QCOMPARE(listed.type(), QDBusMessage::ReplyMessage);
    // ...and not taken again by the next polls.
    QCOMPARE(ReadPort().size(), 0);
    manager.TimerTick();
    QTest::qWait(1000);
    QCOMPARE(announced, 1);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));

    // Leave the modem as the other tests expect it.
    SetRemoveStored(true);
    const QDBusArgument arg = listed.arguments().at(0).value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusObjectPath p;
        arg >> p;
        CallMM(FModemPath, QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging"), QStringLiteral("Delete"),
               {QVariant::fromValue(p)});
    }
    arg.endArray();
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")), QStringList(), 10000);
}

void TestModemManager::connectWithoutNetworkManagerIsRefused()
{
    // This bus has no NetworkManager: connecting is refused with that reason, at once.
    QVERIFY(!FPort->NetworkManagerAvailable());
    TMBManager& manager = StartManager();
    QList<TConnectionState> states;
    manager.SetConnectionStateNotify([&states](const QString&, TConnectionState S) { states << S; });
    try {
        manager.Connect(FId, QStringLiteral("Internet"));
        QFAIL("Connect was accepted without NetworkManager");
    } catch (const EMBException& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(QLatin1String("NetworkManager is not running")), e.what());
    }
    QTest::qWait(200);
    QVERIFY(states.isEmpty());
    QCOMPARE(manager.GetConnectionState(FId), csDisconnected);
}

namespace
{

// A DELIVER PDU of 8-bit data as a network sends it: Udh (hex, without its length octet) may
// carry port addressing or a concatenation element.
QString DataDeliverPdu(const QString& Sender, int Dcs, const QString& Udh, const QByteArray& Data)
{
    QString pdu = QStringLiteral("00");
    pdu += Udh.isEmpty() ? QStringLiteral("04") : QStringLiteral("44");
    const QString digits = Sender.mid(1);
    pdu += QStringLiteral("%1").arg(digits.size(), 2, 16, QLatin1Char('0')) + QStringLiteral("91");
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        pdu += (i + 1 < digits.size() ? digits[i + 1] : QLatin1Char('F'));
        pdu += digits[i];
    }
    pdu += QStringLiteral("00") + QStringLiteral("%1").arg(Dcs, 2, 16, QLatin1Char('0'));
    pdu += QStringLiteral("62405161000040"); // 2026-04-15 16:00:00 +01:00
    const int udhOctets = Udh.isEmpty() ? 0 : int(Udh.size() / 2) + 1;
    pdu += QStringLiteral("%1").arg(udhOctets + Data.size(), 2, 16, QLatin1Char('0'));
    if (!Udh.isEmpty()) {
        pdu += QStringLiteral("%1").arg(Udh.size() / 2, 2, 16, QLatin1Char('0')) + Udh;
    }
    pdu += QString::fromLatin1(Data.toHex());
    return pdu.toUpper();
}

// The service centre's time stamp of a DELIVER PDU, as its seven octets in hexadecimal.
QString DeliverStamp(const QString& Pdu)
{
    const QByteArray b = QByteArray::fromHex(Pdu.toLatin1());
    int i = 1 + quint8(b.at(0)) + 1;        // service centre, first octet
    i += 2 + (quint8(b.at(i)) + 1) / 2 + 2; // sender, protocol identifier, coding
    return QString::fromLatin1(b.mid(i, 7).toHex()).toUpper();
}

} // namespace

void TestModemManager::dataMessageStoredAsData_data()
{
    QTest::addColumn<QStringList>("pdus");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("coding");
    // A WAP push (an MMS notification) to port 2948 from port 9200: the ports are not the message.
    QByteArray wap = QByteArray::fromHex("0106246170706C69636174696F6E2F766E642E7761702E6D6D732D6D65737361676500AF84"
                                         "8C82984F6D6272656C61792D7465737400");
    QTest::newRow("WAP push") << QStringList{DataDeliverPdu(QStringLiteral("+15550001111"), 0x04,
                                                            QStringLiteral("05040B8423F0"), wap)}
                              << wap << 0x04;
    // Binary of class 1 (to the device), with octets that are no text at all.
    QByteArray binary;
    for (int n = 0; n < 100; ++n) {
        binary.append(char((n * 37) & 0xFF));
    }
    QTest::newRow("binary class 1") << QStringList{DataDeliverPdu(QStringLiteral("+15550002222"), 0xF5, QString(),
                                                                  binary)}
                                    << binary << 0xF5;
    // Two parts of 8-bit data joined by ModemManager: stored whole again.
    QByteArray longData;
    for (int n = 0; n < 200; ++n) {
        longData.append(char((n * 11 + 3) & 0xFF));
    }
    QTest::newRow("multipart data") << QStringList{DataDeliverPdu(QStringLiteral("+15550003333"), 0x04,
                                                                  QStringLiteral("0003A70201"), longData.left(120)),
                                                   DataDeliverPdu(QStringLiteral("+15550003333"), 0x04,
                                                                  QStringLiteral("0003A70202"), longData.mid(120))}
                                    << longData << 0x04;
}

void TestModemManager::dataMessageStoredAsData()
{
    QFETCH(QStringList, pdus);
    QFETCH(QByteArray, data);
    QFETCH(int, coding);
    TMBManager& manager = StartManager();
    const QStringList before = InboxPdus();
    for (const QString& pdu : pdus) {
        QVERIFY(Fixture(QStringLiteral("deliver ") + pdu).startsWith(QLatin1String("ok")));
    }
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 1, 20000);
    manager.TimerTick();
    QTRY_VERIFY_WITH_TIMEOUT(InboxPdus().size() > before.size(), 15000);
    // Stored as 8-bit data with its coding, the whole payload in order...
    QByteArray stored;
    for (const QString& pdu : InboxPdus().mid(before.size())) {
        TSmsRecv recv;
        QVERIFY2(!recv.DecodePdu(pdu), qPrintable(pdu));
        QCOMPARE(recv.Content(), scData);
        QCOMPARE(recv.DataCoding(), coding);
        stored += recv.Data();
    }
    QCOMPARE(stored.toHex(), data.toHex());
    // ...shown as data, never as an empty message...
    TSmsIncomingList* inbox = Item()->SmsIncomingList();
    for (int n = 0; n < inbox->Count(); ++n) {
        QVERIFY(!inbox->Items(n)->DisplayText().isEmpty());
    }
    QCOMPARE(inbox->Items(0)->Kind(), ikNotText);
    // ...and only then gone from the modem.
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")), QStringList(), 15000);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

void TestModemManager::failedDeleteReportedOnce()
{
    TMBManager& manager = StartManager();
    QSignalSpy reads(FPort.get(), &IMbnInterfaceManager::SmsMessageReadComplete);
    auto poll = [&] {
        const qsizetype before = reads.size();
        manager.TimerTick();
        QTRY_VERIFY_WITH_TIMEOUT(reads.size() > before, 15000);
        QTest::qWait(1000); // the deletes that follow the read
    };
    auto deliver = [this](int N) {
        const QStringList pdus = BuildDeliverPdus(QStringLiteral("+498912345%1").arg(N),
                                                  QDateTime(QDate(2026, 8, 8), QTime(8, 8, N), QTimeZone(0)),
                                                  QStringLiteral("Delete me, number %1").arg(N), N);
        return Fixture(QStringLiteral("deliver ") + pdus.first()).startsWith(QLatin1String("ok"));
    };
    // The modem refuses every delete (+CMS ERROR: 321).
    QCOMPARE(Fixture(QStringLiteral("cmgd_error 1")), QStringLiteral("ok"));
    for (int n = 1; n <= 3; ++n) {
        QVERIFY(deliver(n));
    }
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 3, 20000);
    const int rows = InboxRows();
    // Three refusals in one poll and more polls after it: the user hears of it once.
    for (int n = 0; n < 3; ++n) {
        poll();
    }
    QCOMPARE(InboxRows(), rows + 3);
    QCOMPARE(FErrors.size(), 1);
    QVERIFY2(FErrors.first().contains(QLatin1String("could not be removed")), qPrintable(FErrors.first()));
    QVERIFY(Fixture(QStringLiteral("commands")).contains(QLatin1String("AT+CMGD")));
    // Deletes work again: the next message is stored and removed, and nothing more is said.
    QCOMPARE(Fixture(QStringLiteral("cmgd_error 0")), QStringLiteral("ok"));
    QVERIFY(deliver(4));
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 1, 20000);
    poll();
    QTRY_COMPARE_WITH_TIMEOUT(InboxRows(), rows + 4, 15000);
    poll();
    QCOMPARE(FErrors.size(), 1);
    QCOMPARE(ReadPort().size(), 0);
    FErrors.clear();
    // ModemManager forgets a part whose delete failed (it is not listed again until it restarts):
    // the fixture drops what is left, for the tests after this one.
    for (const QString& entry : FixtureList(QStringLiteral("list"))) {
        QCOMPARE(Fixture(QStringLiteral("remove ") + entry.section(QLatin1Char(':'), 0, 0)), QStringLiteral("ok"));
    }
}

void TestModemManager::longMessageNotStoredAgainAcrossRestarts()
{
    SetRemoveStored(false);
    const QString text = LongText(420, QStringLiteral("A long message left on the modem, "));
    const QStringList pdus =
        BuildDeliverPdus(QStringLiteral("+4969123456"),
                         QDateTime(QDate(2026, 9, 9), QTime(9, 9, 9), QTimeZone(-5 * 3600)), text, 9);
    QCOMPARE(pdus.size(), 3);
    for (const QString& pdu : pdus) {
        QVERIFY(Fixture(QStringLiteral("deliver ") + pdu).startsWith(QLatin1String("ok")));
    }
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 1, 20000);
    const int before = InboxRows();
    {
        TMBManager& manager = StartManager();
        manager.ReadSms(FId);
        QTRY_COMPARE_WITH_TIMEOUT(InboxRows(), before + 3, 15000);
    }
    // The program ends and starts again, five times; the message stays on the modem throughout.
    for (int run = 0; run < 5; ++run) {
        FManager.reset();
        FPort.reset();
        TMMBackendOptions options;
        options.StartTimeoutMs = 5000;
        QString reason;
        FPort = TMMInterfaceManager::Create(options, true, &reason);
        QVERIFY2(FPort, qPrintable(reason));
        SetRemoveStored(false);
        TMBManager& manager = StartManager();
        QSignalSpy read(FPort.get(), &IMbnInterfaceManager::SmsMessageReadComplete);
        manager.ReadSms(FId);
        QTRY_VERIFY_WITH_TIMEOUT(!read.isEmpty(), 15000);
        QCOMPARE(read.first().at(1).value<QList<TMbnSmsMessage>>().size(), 1);
        QTest::qWait(200);
        QCOMPARE(InboxRows(), before + 3);
    }
    QCOMPARE(FixtureList(QStringLiteral("list")).size(), 3);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
    SetRemoveStored(true);
    ClearModem();
}

void TestModemManager::newMessagesStoredAfterDaemonRestart()
{
    // A fresh daemon numbers its messages from 0, as the one after the next restart will.
    RestartDaemon();
    if (QTest::currentTestFailed()) {
        return;
    }
    SetRemoveStored(false);
    auto deliver = [this](const QString& Sender, const QString& Text, int Minute) {
        const QStringList pdus =
            BuildDeliverPdus(Sender, QDateTime(QDate(2026, 10, 10), QTime(10, Minute, 0), QTimeZone(3600)), Text,
                             Minute);
        return Fixture(QStringLiteral("deliver ") + pdus.first()).startsWith(QLatin1String("ok"));
    };
    {
        TMBManager& manager = StartManager();
        int announced = 0;
        manager.SetIncomingSmsNotify([&announced](TMBInterfaceItem*) { ++announced; });
        QVERIFY(deliver(QStringLiteral("+3512100001"), QStringLiteral("Old one"), 1));
        QVERIFY(deliver(QStringLiteral("+3512100002"), QStringLiteral("Old two"), 2));
        QVERIFY(deliver(QStringLiteral("+3512100003"), QStringLiteral("Old three"), 3));
        QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 3, 20000);
        manager.TimerTick();
        QTRY_COMPARE_WITH_TIMEOUT(announced, 3, 15000);
    }
    const int before = InboxRows();
    // Another client takes two of them off the modem; the third stays.
    const QStringList listed = FixtureList(QStringLiteral("list"));
    QCOMPARE(listed.size(), 3);
    QCOMPARE(Fixture(QStringLiteral("remove ") + listed.at(0).section(QLatin1Char(':'), 0, 0)), QStringLiteral("ok"));
    QCOMPARE(Fixture(QStringLiteral("remove ") + listed.at(1).section(QLatin1Char(':'), 0, 0)), QStringLiteral("ok"));

    RestartDaemon();
    if (QTest::currentTestFailed()) {
        return;
    }
    // The one left takes the first path again; the new ones the paths the others had.
    TMBManager& manager = StartManager();
    int announced = 0;
    manager.SetIncomingSmsNotify([&announced](TMBInterfaceItem*) { ++announced; });
    QVERIFY(deliver(QStringLiteral("+3512100004"), QStringLiteral("New four"), 4));
    QVERIFY(deliver(QStringLiteral("+3512100005"), QStringLiteral("New five"), 5));
    QVERIFY(deliver(QStringLiteral("+3512100006"), QStringLiteral("New six"), 6));
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")).size(), 4, 10000);
    QTest::qWait(2000); // ModemManager reads each announced message
    manager.TimerTick();
    QTRY_COMPARE_WITH_TIMEOUT(announced, 3, 15000);
    manager.TimerTick();
    QTest::qWait(1500);
    QCOMPARE(announced, 3);
    QCOMPARE(InboxRows(), before + 3);
    QStringList texts;
    TSmsIncomingList* inbox = Item()->SmsIncomingList();
    for (int n = 0; n < inbox->Count(); ++n) {
        texts << inbox->Items(n)->Text();
    }
    for (const QString& t : {QStringLiteral("New four"), QStringLiteral("New five"), QStringLiteral("New six")}) {
        QCOMPARE(texts.count(t), 1);
    }
    QCOMPARE(texts.count(QStringLiteral("Old three")), 1);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
    SetRemoveStored(true);
    ClearModem();
}

void TestModemManager::keptMessagesNotStoredAgainAfterBothRestarts()
{
    // Removal off: what was stored stays on the modem. After ModemManager and the program both
    // start again, every message has a new path; the inbox must still know each one, and two
    // identical deliveries must stay two messages.
    ClearModem();
    SetRemoveStored(false);
    const QStringList same = BuildDeliverPdus(QStringLiteral("+3581234567"),
                                              QDateTime(QDate(2026, 11, 11), QTime(11, 11, 11), QTimeZone(7200)),
                                              QStringLiteral("Your code is 1234"), 11);
    const QStringList other = BuildDeliverPdus(QStringLiteral("+3581234568"),
                                               QDateTime(QDate(2026, 11, 11), QTime(11, 12, 0), QTimeZone(7200)),
                                               QStringLiteral("Something else"), 12);
    auto codes = [this] {
        int n = 0;
        TSmsIncomingList* inbox = Item()->SmsIncomingList();
        for (int i = 0; i < inbox->Count(); ++i) {
            n += inbox->Items(i)->Text() == QLatin1String("Your code is 1234") ? 1 : 0;
        }
        return n;
    };
    // A read by a manager that stores what it gets; returns when the read and its stores are done.
    // (-1: no read completed.)
    auto poll = [this](TMBManager& Manager) -> qsizetype {
        QSignalSpy read(FPort.get(), &IMbnInterfaceManager::SmsMessageReadComplete);
        Manager.ReadSms(FId);
        for (int n = 0; n < 150 && read.isEmpty(); ++n) {
            read.wait(100);
        }
        QTest::qWait(300);
        return read.isEmpty() ? -1 : read.first().at(1).value<QList<TMbnSmsMessage>>().size();
    };
    for (const QString& pdu : {same.first(), same.first(), other.first()}) {
        QVERIFY(Fixture(QStringLiteral("deliver ") + pdu).startsWith(QLatin1String("ok")));
    }
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 3, 20000);
    const int before = InboxRows();
    RestartProgram();
    QCOMPARE(poll(StartManager()), 3);
    QCOMPARE(InboxRows(), before + 3);
    QCOMPARE(codes(), 2);
    // Read again in the same run: nothing new.
    QCOMPARE(poll(*FManager), 0);
    QCOMPARE(InboxRows(), before + 3);

    for (int round = 0; round < 2; ++round) {
        FManager.reset();
        RestartDaemon();
        if (QTest::currentTestFailed()) {
            return;
        }
        RestartProgram();
        QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")).size(), 3 + round, 10000);
        QVERIFY(poll(StartManager()) >= 0);
        QCOMPARE(InboxRows(), before + 3 + round);
        QCOMPARE(codes(), 2 + round);
        // A third identical delivery is a new message, in the run that sees it arrive.
        if (round == 0) {
            QVERIFY(Fixture(QStringLiteral("deliver ") + same.first()).startsWith(QLatin1String("ok")));
            // ModemManager fetches it after the announcement; the poll finds it then.
            for (int n = 0; n < 20 && InboxRows() == before + 3; ++n) {
                poll(*FManager);
            }
            QCOMPARE(InboxRows(), before + 4);
            QCOMPARE(codes(), 3);
            QCOMPARE(poll(*FManager), 0);
        }
    }
    QCOMPARE(FixtureList(QStringLiteral("list")).size(), 4);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
    SetRemoveStored(true);
    ClearModem();
}

void TestModemManager::textModeTimeStampKept()
{
    // A modem that refuses PDU mode: ModemManager reads its store in text mode, where the time
    // stamp comes as the modem writes it.
    QCOMPARE(Fixture(QStringLiteral("textmode 1")), QStringLiteral("ok"));
    QVERIFY(Fixture(QStringLiteral("storetext 1 +15550004444 24/03/16,09:00:00+04 East of Greenwich"))
                .startsWith(QLatin1String("ok")));
    QVERIFY(Fixture(QStringLiteral("storetext 0 +15550005555 25/12/31,23:59:58-22 West of Greenwich"))
                .startsWith(QLatin1String("ok")));
    RestartDaemon();
    if (QTest::currentTestFailed()) {
        return;
    }
    QVERIFY(Fixture(QStringLiteral("commands")).contains(QLatin1String("AT+CMGL=\"ALL\"")));
    QTRY_COMPARE_WITH_TIMEOUT(ReadPort().size(), 2, 20000);
    const int before = InboxRows();
    TMBManager& manager = StartManager();
    manager.ReadSms(FId);
    QTRY_COMPARE_WITH_TIMEOUT(InboxRows(), before + 2, 20000);
    QMap<QString, QString> stamps;
    for (const QString& pdu : InboxPdus().mid(before)) {
        TSmsRecv recv;
        QVERIFY(recv.DecodePdu(pdu));
        stamps.insert(recv.Text(), DeliverStamp(pdu));
    }
    // Swapped digits, the offset in quarter hours with its sign in bit 3.
    QCOMPARE(stamps.value(QStringLiteral("East of Greenwich")), QStringLiteral("42306190000040"));
    QCOMPARE(stamps.value(QStringLiteral("West of Greenwich")), QStringLiteral("5221133295852A"));
    // Deleting right after the read may meet ModemManager's storage lock (reported, retried at the
    // next poll): not this test's matter. Back to PDU mode, with an empty store, for what runs after.
    FErrors.clear();
    for (const QString& entry : FixtureList(QStringLiteral("list"))) {
        QCOMPARE(Fixture(QStringLiteral("remove ") + entry.section(QLatin1Char(':'), 0, 0)), QStringLiteral("ok"));
    }
    FManager.reset();
    QCOMPARE(Fixture(QStringLiteral("textmode 0")), QStringLiteral("ok"));
    RestartDaemon();
}

const TSmsOutgoingItem* TestModemManager::Sent(const QString& Text)
{
    TMBInterfaceItem* item = FManager ? Item() : nullptr;
    if (!item) {
        return nullptr;
    }
    TSmsOutgoingList* outbox = item->SmsOutgoingList();
    for (int n = 0; n < outbox->Count(); ++n) {
        if (outbox->Items(n)->Text() == Text) {
            return outbox->Items(n);
        }
    }
    return nullptr;
}

int TestModemManager::SentState(const QString& Text, QString* Words)
{
    const TSmsOutgoingItem* sent = Sent(Text);
    if (!sent) {
        return -1;
    }
    TSmsOutgoingList* outbox = Item()->SmsOutgoingList();
    if (Words) {
        *Words = outbox->StateText(*sent);
    }
    return int(outbox->State(*sent));
}

int TestModemManager::ReportObjects()
{
    const QDBusMessage listed =
        CallMM(FModemPath, QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging"), QStringLiteral("List"), {});
    if (listed.type() != QDBusMessage::ReplyMessage) {
        return -1;
    }
    int reports = 0;
    const QDBusArgument arg = listed.arguments().at(0).value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusObjectPath p;
        arg >> p;
        reports += GetProperty(p.path(), QStringLiteral("org.freedesktop.ModemManager1.Sms"), QStringLiteral("PduType"))
                               .toUInt() == 3
                       ? 1
                       : 0;
    }
    arg.endArray();
    return reports;
}

int TestModemManager::SendConfirmed(const QString& Number, const QString& Text)
{
    const int before = int(FixtureList(QStringLiteral("sent")).size());
    TSmsSend send;
    send.SetTarget(Number);
    send.SetText(Text);
    send.SetStatusReportRequest(true);
    const QStringList ours = send.EncodePdu();
    FManager->SendMessage(FId, Number, Text, ours);
    [&] { QTRY_COMPARE_WITH_TIMEOUT(int(FixtureList(QStringLiteral("sent")).size()), before + ours.size(), 30000); }();
    // The whole-message send asked ModemManager for a report, which it asks the network for on
    // the last part.
    if (!AsksForReport(FixtureList(QStringLiteral("sent")).value(before + int(ours.size()) - 1))) {
        qWarning("the last part was sent without TP-SRR");
        return -1;
    }
    [&] { QTRY_VERIFY_WITH_TIMEOUT(Sent(Text) && Sent(Text)->Sent(), 15000); }();
    return before;
}

// A status report sent unsolicited (+CDS, as ModemManager asks modems to with AT+CNMI=2,1,2,1,0)
// becomes a report object of ModemManager's own, apart from the sent message: it reaches the sent
// message by the network's reference of each part, and leaves ModemManager once stored.
void TestModemManager::cdsReportSetsSentState_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    // The status octet of the report on each part, in order; empty for a part without one.
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("words");
    const QString longText = LongText(200, QStringLiteral("Two parts, one report each. "));
    QTest::newRow("delivered") << QStringLiteral("+15552000001") << QStringLiteral("Did it arrive?")
                               << QStringList{QStringLiteral("00")} << int(ssDelivered) << QStringLiteral("delivered");
    QTest::newRow("failed, with the reason")
        << QStringLiteral("+15552000002") << QStringLiteral("Never arrives") << QStringList{QStringLiteral("46")}
        << int(ssFailed) << QStringLiteral("failed: validity period expired");
    QTest::newRow("still trying") << QStringLiteral("+15552000003") << QStringLiteral("Line busy")
                                  << QStringList{QStringLiteral("21")} << int(ssPending)
                                  << QStringLiteral("sent, still trying: recipient busy");
    // ModemManager asks for a report on the last part of a long message only: that report stands
    // for the whole message.
    QTest::newRow("long, last part delivered")
        << QStringLiteral("+15552000004") << longText + QLatin1Char('1') << QStringList{QString(), QStringLiteral("00")}
        << int(ssDelivered) << QStringLiteral("delivered");
    QTest::newRow("long, last part failed")
        << QStringLiteral("+15552000005") << longText + QLatin1Char('2') << QStringList{QString(), QStringLiteral("41")}
        << int(ssFailed) << QStringLiteral("failed: incompatible destination");
}

void TestModemManager::cdsReportSetsSentState()
{
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(QStringList, statuses);
    QFETCH(int, state);
    QFETCH(QString, words);
    TMBManager& manager = StartManager();
    // ModemManager announces the report object (Messaging.Added); the read follows at once.
    manager.SetReadOnNewMessage(true);
    int changed = 0;
    manager.SetOutgoingSmsNotify([&changed](TMBInterfaceItem*) { ++changed; });
    const auto rebuiltReports = [this] {
        TSQLiteLock lock(FDb->DB());
        FDb->DB().FetchTable(QStringLiteral("SELECT COUNT(*) FROM REPORTS WHERE REBUILT = 1 AND OUTGOING IS NOT NULL"));
        return FDb->DB().GetResultSet(1).toInt();
    };
    const int storedBefore = TSmsReports::Exists(FDb->DB()) ? rebuiltReports() : 0;
    const int first = SendConfirmed(number, text);
    QVERIFY(first >= 0);
    const int confirmed = changed;
    for (int part = 0; part < statuses.size(); ++part) {
        if (statuses[part].isEmpty()) {
            continue;
        }
        const QString pdu = Fixture(QStringLiteral("cds %1 %2").arg(statuses[part]).arg((first + 1 + part) % 256));
        QVERIFY2(pdu.startsWith(QLatin1String("ok ")), qPrintable(pdu));
    }
    QTRY_COMPARE_WITH_TIMEOUT(SentState(text), state, 20000);
    QString shown;
    SentState(text, &shown);
    QVERIFY2(shown.startsWith(words), qPrintable(shown));
    QVERIFY(changed > confirmed);
    // Stored as rebuilt reports (ModemManager never shows the network's PDU), each matched to its part...
    QTRY_COMPARE_WITH_TIMEOUT(rebuiltReports(), storedBefore + int(statuses.size() - statuses.count(QString())), 10000);
    // ...and only then removed from ModemManager.
    QTRY_COMPARE_WITH_TIMEOUT(ReportObjects(), 0, 10000);
    QCOMPARE(TSmsReports::Unmatched(FId).size(), 0);
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

// Reports the modem stored (ModemManager ignores +CDSI and reads the store only when it enables
// the modem) reach the program at its read after that, also for a message sent before; one that
// matches nothing sent from here is stored all the same.
void TestModemManager::storedReportsStoredAndMatched()
{
    ClearModem();
    StartManager();
    const QString text = QStringLiteral("Report waits in the store");
    const int first = SendConfirmed(QStringLiteral("+15552000010"), text);
    QVERIFY(first >= 0);
    const QString report = FixtureList(QStringLiteral("report 00 %1").arg((first + 1) % 256)).value(0);
    // A reference this modem never handed out, for a number nothing was sent to.
    const QString stray = FixtureList(QStringLiteral("report 45 %1").arg((first + 129) % 256)).value(0);
    for (const QString& pdu : {report, stray}) {
        QVERIFY(Fixture(QStringLiteral("store 1 ") + pdu).startsWith(QLatin1String("ok")));
    }
    FManager.reset();
    RestartDaemon();
    if (QTest::currentTestFailed()) {
        return;
    }
    StartManager().ReadSms(FId);
    QTRY_COMPARE_WITH_TIMEOUT(SentState(text), int(ssDelivered), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(TSmsReports::Unmatched(FId).size(), 1, 10000);
    const TStoredReport unmatched = TSmsReports::Unmatched(FId).first();
    QCOMPARE(unmatched.Recipient, QStringLiteral("+15552143000"));
    QCOMPARE(unmatched.Status, 0x45);
    QCOMPARE(unmatched.MessageRef, (first + 129) % 256);
    // Both left the modem's store once stored, and a read after that stores neither again.
    QTRY_COMPARE_WITH_TIMEOUT(FixtureList(QStringLiteral("list")), QStringList(), 20000);
    QSignalSpy read(FPort.get(), &IMbnInterfaceManager::SmsMessageReadComplete);
    FManager->ReadSms(FId);
    QTRY_VERIFY_WITH_TIMEOUT(!read.isEmpty(), 15000);
    QCOMPARE(TSmsReports::Unmatched(FId).size(), 1);
    QCOMPARE(SentState(text), int(ssDelivered));
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestModemManager)
#include "tst_mm_modem.moc"
