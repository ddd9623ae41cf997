// USSD through the real ModemManager daemon on a private bus: our scripted AT modem answers
// AT+CUSD with +CUSD, the daemon runs the session, and the backend's Ussd facet carries the
// exchange to a session of the core, as the dialog uses it.

#include "BusFixture.h"
#include "core/UssdSession.h"
#include "platform/modemmanager/MMBackend.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Ombrelay;

namespace
{

const QString kMM = QStringLiteral("org.freedesktop.ModemManager1");
const QString kMMPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kModemIface = QStringLiteral("org.freedesktop.ModemManager1.Modem");

QDBusMessage CallMM(const QString& Path, const QString& Interface, const QString& Method, const QVariantList& Args,
                    int TimeoutMs = 25000)
{
    QDBusMessage m = QDBusMessage::createMethodCall(kMM, Path, Interface, Method);
    m.setArguments(Args);
    return QDBusConnection::systemBus().call(m, QDBus::Block, TimeoutMs);
}

QVariant GetProperty(const QString& Path, const QString& Interface, const QString& Name)
{
    const QDBusMessage r =
        CallMM(Path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {Interface, Name});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return QVariant();
    }
    return r.arguments().at(0).value<QDBusVariant>().variant();
}

// The object path of the one modem ModemManager exports.
QString ModemPath()
{
    const QDBusMessage r =
        CallMM(kMMPath, QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"), {});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return QString();
    }
    const QDBusArgument arg = r.arguments().at(0).value<QDBusArgument>();
    QMap<QDBusObjectPath, QMap<QString, QVariantMap>> objects;
    arg >> objects;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        if (it->contains(kModemIface)) {
            return it.key().path();
        }
    }
    return QString();
}

// What a session said, in order: "menu: TEXT", "answer: TEXT" or "failed: TEXT".
struct TTranscript
{
    explicit TTranscript(TUssdSession& Session)
    {
        QObject::connect(&Session, &TUssdSession::Answered, [this](const QString& Text, bool Menu) {
            Lines << (Menu ? QStringLiteral("menu: ") : QStringLiteral("answer: ")) + Text;
        });
        QObject::connect(&Session, &TUssdSession::Failed,
                         [this](const QString& Message) { Lines << QStringLiteral("failed: ") + Message; });
    }
    QStringList Lines;
};

} // namespace

class TestModemManagerUssd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup() { FAnyFailed = FAnyFailed || QTest::currentTestFailed(); }

    void twoStepExchange();
    void unicodeAnswer();
    void unansweredCode();

private:
    QString Fixture(const QString& Line);
    std::shared_ptr<TMMInterfaceManager> FPort;
    TPrivateBus FBus;
    QTemporaryDir FLogs;
    std::unique_ptr<QProcess> FModem;
    std::unique_ptr<QProcess> FDaemon;
    QString FId;
    bool FAnyFailed = false;
};

QString TestModemManagerUssd::Fixture(const QString& Line)
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

void TestModemManagerUssd::initTestCase()
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
    const QString socket =
        QStringLiteral("ombrelay-ussd-%1-%2").arg(::getpid()).arg(QDateTime::currentMSecsSinceEpoch());
    FModem = StartChild(QStringLiteral("/usr/bin/python3"), {QStringLiteral(OMBRELAY_AT_MODEM), socket});
    QVERIFY(FModem);
    QVERIFY(FModem->waitForReadyRead(5000));
    QCOMPARE(QString::fromUtf8(FModem->readLine()).trimmed(), QStringLiteral("ready"));
    // USSD before the daemon probes the modem, or it finds no Ussd interface.
    QCOMPARE(Fixture(QStringLiteral("ussd_support 1")), QStringLiteral("ok"));

    FDaemon = StartModemManager(FLogs.filePath(QStringLiteral("ModemManager.log")));
    QVERIFY2(FDaemon, "ModemManager did not start or did not take its name on the private bus");
    const QString probe = ProbeAtModem(QStringLiteral("ombrelay"), socket);
    QVERIFY2(probe.isEmpty(), qPrintable(probe));

    TMMBackendOptions options;
    options.StartTimeoutMs = 5000;
    QString reason;
    // The backend before the modem: it is announced when the daemon has it.
    FPort = TMMInterfaceManager::Create(options, false, &reason);
    QVERIFY2(FPort, qPrintable(reason));
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            QList<std::shared_ptr<IMbnInterface>> list;
            FPort->GetInterfaces(list);
            if (list.isEmpty()) {
                return false;
            }
            FId = list.first()->InterfaceID();
            return true;
        }(),
        30000);
    std::shared_ptr<IMbnInterface> i;
    QCOMPARE(FPort->GetInterface(FId, i), TMbnResult(mrOk));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&i] {
            std::shared_ptr<IMbnUssd> ussd;
            return MbnSucceeded(i->GetUssd(ussd));
        }(),
        30000);
    // USSD needs an enabled modem, as a connection manager would leave it.
    const QString modemPath = ModemPath();
    QVERIFY(!modemPath.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(GetProperty(modemPath, kModemIface, QStringLiteral("State")).toInt() >= 3, 30000);
    const QDBusMessage enable = CallMM(modemPath, kModemIface, QStringLiteral("Enable"), {true}, 60000);
    QVERIFY2(enable.type() == QDBusMessage::ReplyMessage,
             qPrintable(enable.errorMessage() + QStringLiteral(" (log: ") + FLogs.path() + QLatin1Char(')')));
    FLogs.setAutoRemove(false);
}

void TestModemManagerUssd::cleanupTestCase()
{
    FPort.reset();
    if (FDaemon) {
        FDaemon->terminate();
        FDaemon->waitForFinished(3000);
    }
    StopChild(FDaemon);
    StopChild(FModem);
    // The daemon's log is kept when anything failed.
    if (!FAnyFailed) {
        FLogs.setAutoRemove(true);
    } else {
        qInfo("ModemManager's log: %s", qPrintable(FLogs.path()));
    }
}

void TestModemManagerUssd::twoStepExchange()
{
    QCOMPARE(Fixture(QStringLiteral("ussd *100# 1 15 Balance 5.00 EUR. 1 Data left 2 Exit")), QStringLiteral("ok"));
    QCOMPARE(Fixture(QStringLiteral("ussd 1 0 15 You have 2 GB left")), QStringLiteral("ok"));
    TUssdSession session(FPort, FId);
    TTranscript t(session);
    QVERIFY(session.Unsupported().isEmpty());
    QVERIFY(session.Send(QStringLiteral("*100#")));
    QTRY_COMPARE_WITH_TIMEOUT(t.Lines.size(), 1, 30000);
    QCOMPARE(t.Lines[0], QStringLiteral("menu: Balance 5.00 EUR. 1 Data left 2 Exit"));
    QVERIFY(session.AwaitsResponse());
    QVERIFY(session.Respond(QStringLiteral("1")));
    QTRY_COMPARE_WITH_TIMEOUT(t.Lines.size(), 2, 30000);
    QCOMPARE(t.Lines[1], QStringLiteral("answer: You have 2 GB left"));
    QVERIFY(!session.AwaitsResponse());
    QVERIFY(!session.Busy());
    // The daemon spoke AT+CUSD to the modem for both steps.
    const QString commands = Fixture(QStringLiteral("commands"));
    QCOMPARE(commands.count(QStringLiteral("+CUSD=1,")), 2);
}

void TestModemManagerUssd::unicodeAnswer()
{
    // A UCS-2 answer (scheme 72, that is 0x48), as networks send Cyrillic text, from a modem that
    // keeps a plain character set: the daemon reads its hexadecimal as octets of that set and
    // stops at the first zero octet. The user is told that the answer could not be read, never
    // shown the remains as the network's answer.
    QCOMPARE(Fixture(QStringLiteral("ussd *101# 0 72 04110430043B0430043D0441003A0020003100300030")),
             QStringLiteral("ok"));
    TUssdSession session(FPort, FId);
    TTranscript t(session);
    QVERIFY(session.Send(QStringLiteral("*101#")));
    QTRY_COMPARE_WITH_TIMEOUT(t.Lines.size(), 1, 30000);
    QVERIFY2(t.Lines[0].startsWith(QLatin1String("failed: The network's answer could not be read: ")),
             qPrintable(t.Lines[0]));
    QVERIFY(!session.Busy());
}

void TestModemManagerUssd::unansweredCode()
{
    TUssdSession session(FPort, FId);
    TTranscript t(session);
    QVERIFY(session.Send(QStringLiteral("*999#")));
    QTRY_COMPARE_WITH_TIMEOUT(t.Lines.size(), 1, 30000);
    QVERIFY2(t.Lines[0].startsWith(QLatin1String("failed: ")), qPrintable(t.Lines[0]));
    QVERIFY(!session.Busy());
    // The modem is free again for the next code.
    QCOMPARE(Fixture(QStringLiteral("ussd *102# 0 15 Top-up done")), QStringLiteral("ok"));
    QVERIFY(session.Send(QStringLiteral("*102#")));
    QTRY_COMPARE_WITH_TIMEOUT(t.Lines.size(), 2, 30000);
    QCOMPARE(t.Lines[1], QStringLiteral("answer: Top-up done"));
}

QTEST_GUILESS_MAIN(TestModemManagerUssd)
#include "tst_mm_ussd.moc"
