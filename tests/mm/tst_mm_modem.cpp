// The ModemManager backend against the real ModemManager daemon on a private bus. The modem is
// our scripted AT modem (at_modem.py) on an abstract unix socket, which the daemon opens as the
// AT port of a virtual device; the daemon speaks PDU mode to it, the backend message mode to the
// device layer, so every message crosses two independent codecs.

#include "BusFixture.h"
#include "backends/Backend.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
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
    void messagesStayWhenRemovingIsOff();
    void connectWithoutNetworkManagerIsRefused();

private:
    QString Fixture(const QString& Line);
    QStringList FixtureList(const QString& Command);
    QList<TMbnSmsMessage> ReadPort();
    TMBManager& StartManager();
    TMBInterfaceItem* Item();

    TPrivateBus FBus;
    QTemporaryDir FLogs;
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
    const QString name = QStringLiteral("ombrelay-mm-%1-%2").arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch());
    FModem = StartChild(QStringLiteral("/usr/bin/python3"), {QStringLiteral(OMBRELAY_AT_MODEM), name});
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

    FDaemon =
        StartChild(QStringLiteral("/usr/sbin/ModemManager"),
                   {QStringLiteral("--test-session"), QStringLiteral("--test-enable"), QStringLiteral("--no-auto-scan"),
                    QStringLiteral("--test-no-udev"), QStringLiteral("--log-level=DEBUG")},
                   FLogs.filePath(QStringLiteral("ModemManager.log")));
    QVERIFY(FDaemon);
    QVERIFY2(TPrivateBus::WaitForName(kMM, 20000), "ModemManager did not take its name on the private bus");
    {
        // ModemManager answers but knows no modem yet: "auto" is the simulated modem, while
        // ModemManager asked for by name is taken, with no interface.
        const TBackendOptions none;
        QCOMPARE(CreateBackend(QStringLiteral("auto"), none)->Name(), QStringLiteral("sim"));
        const auto empty = CreateBackend(QStringLiteral("modemmanager"), none);
        QCOMPARE(empty->Name(), QStringLiteral("modemmanager"));
        QList<std::shared_ptr<IMbnInterface>> interfaces;
        QCOMPARE(empty->GetInterfaces(interfaces), TMbnResult(mrOk));
        QVERIFY(interfaces.isEmpty());
    }
    const QDBusMessage set =
        CallMM(kMMPath, QStringLiteral("org.freedesktop.ModemManager1.Test"), QStringLiteral("SetProfile"),
               {QStringLiteral("ombrelay"), QStringLiteral("generic"),
                QStringList{QStringLiteral("abstract:") + name}});
    QVERIFY2(set.type() == QDBusMessage::ReplyMessage, qPrintable(set.errorMessage()));

    // Probing and initialisation end in the state "disabled" (3); then enable it, as a
    // connection manager would.
    QTRY_VERIFY_WITH_TIMEOUT(!ModemPaths().isEmpty(), 30000);
    FModemPath = ModemPaths().first();
    QTRY_VERIFY_WITH_TIMEOUT(GetProperty(FModemPath, kModemIface, QStringLiteral("State")).toInt() >= 3, 30000);
    const QDBusMessage enable = CallMM(FModemPath, kModemIface, QStringLiteral("Enable"), {true}, 60000);
    QVERIFY2(enable.type() == QDBusMessage::ReplyMessage,
             qPrintable(enable.errorMessage() + QStringLiteral(" (log: ") + FLogs.path() + QLatin1Char(')')));
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

void TestModemManager::cleanup()
{
    FManager.reset();
    if (!QTest::currentTestFailed()) {
        FErrors.clear();
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
    if (!QTest::currentTestFailed()) {
        FLogs.setAutoRemove(true);
    } else {
        qInfo("ModemManager's log: %s", qPrintable(FLogs.filePath(QStringLiteral("ModemManager.log"))));
    }
}

TMBManager& TestModemManager::StartManager()
{
    FManager = std::make_shared<TMBManager>(FPort);
    connect(FManager.get(), &TMBManager::ErrorOccurred, this, [this](const QString& M) { FErrors << M; });
    return *FManager;
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

void TestModemManager::messagesStayWhenRemovingIsOff()
{
    FPort->SetRemoveStoredMessages(false);
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
    FPort->SetRemoveStoredMessages(true);
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

QTEST_GUILESS_MAIN(TestModemManager)
#include "tst_mm_modem.moc"
