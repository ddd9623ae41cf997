// Bad input from outside, met by the real program on the simulated modem under its own X server
// and a private session bus: the program says what is wrong, keeps running and loses nothing.

#include "support/ProgramUnderTest.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Ombrelay;

namespace
{

QByteArray FileHash(const QString& Path)
{
    QFile F(Path);
    if (!F.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return QCryptographicHash::hash(F.readAll(), QCryptographicHash::Sha256).toHex();
}

// A scenario with one modem in PDU mode, room for many messages and the given profiles.
QString WriteScenario(const QTemporaryDir& Home, const QStringList& Profiles)
{
    QJsonObject Modem{{QStringLiteral("id"), QStringLiteral("sim0")},
                      {QStringLiteral("capacity"), 500},
                      {QStringLiteral("readBatch"), 100},
                      {QStringLiteral("profiles"), QJsonArray::fromStringList(Profiles)}};
    QJsonObject Scenario{{QStringLiteral("delayMs"), 20}, {QStringLiteral("interfaces"), QJsonArray{Modem}}};
    const QString Path = Home.filePath(QStringLiteral("scenario.json"));
    QFile F(Path);
    F.open(QIODevice::WriteOnly);
    F.write(QJsonDocument(Scenario).toJson());
    return Path;
}

QString Profile(const QString& Name, const QString& Apn)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><MBNProfile xmlns=\"urn:ombrelay:sim:profile\">"
                          "<Name>%1</Name><IsDefault>false</IsDefault><ConnectionMode>manual</ConnectionMode>"
                          "<Context><AccessString>%2</AccessString><AuthProtocol>NONE</AuthProtocol></Context>"
                          "</MBNProfile>")
        .arg(Name, Apn);
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void malformedPdusAreKept();
    void brokenProfilesAreSkipped();
    void handEditedConfig();
    void damagedDatabase_data();
    void damagedDatabase();
    void monitorSitesBadOrHanging_data();
    void monitorSitesBadOrHanging();

private:
    QString FDisplay;
    QProcess FXvfb;
    QProcess FNotifications;
    QProcess FWatcher;
    QTemporaryDir FLogs;
};

void TestBadInput::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    for (const char* Tool : {"Xvfb", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(Tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(Tool))));
        }
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 420), "no X server could be started");
    QVERIFY(StartNotificationDaemon(FNotifications, FLogs.filePath(QStringLiteral("notifications.log"))));
}

void TestBadInput::cleanupTestCase()
{
    EndProcesses({&FWatcher, &FNotifications, &FXvfb});
}

void TestBadInput::malformedPdusAreKept()
{
    // The fuzz corpora, each file as PDU text where it is one and as the octets it holds.
    QStringList Pdus;
    const QRegularExpression Hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    for (const char* Corpus : {"fuzz_decode_pdu", "fuzz_add_message"}) {
        QDir Dir(QStringLiteral(OMBRELAY_SOURCE_DIR "/fuzz/corpus/") + QLatin1String(Corpus));
        for (const QFileInfo& Info : Dir.entryInfoList(QDir::Files)) {
            QFile F(Info.filePath());
            QVERIFY(F.open(QIODevice::ReadOnly));
            const QByteArray Bytes = F.readAll();
            const QString Text = QString::fromLatin1(Bytes).trimmed();
            if (Hex.match(Text).hasMatch()) {
                Pdus << Text;
            }
            if (!Bytes.isEmpty() && Bytes.size() < 400) {
                Pdus << QString::fromLatin1(Bytes.toHex()).toUpper();
            }
        }
    }
    // The same PDU read twice is taken for one the device kept after a delete that failed, and
    // stored once: every PDU here is distinct.
    for (QString& P : Pdus) {
        P = P.toUpper();
    }
    Pdus.removeDuplicates();
    QVERIFY(Pdus.size() >= 10);
    // Hand-made: an SMS-DELIVER head (no service centre, sender +4917214365 8, SCTS) and broken bodies.
    const QString Head = QStringLiteral("00040B919471123456F8000062101290000000");
    const QString HeadUdh8 = QStringLiteral("00440B919471123456F8000462101290000000");
    Pdus << Head + QStringLiteral("00")                     // no text at all
         << Head + QStringLiteral("A0C834")                 // 160 septets announced, two octets there
         << HeadUdh8 + QStringLiteral("08FF0003010201")     // header longer than the message
         << HeadUdh8 + QStringLiteral("0A0500090102034869") // element longer than its header
         << HeadUdh8 + QStringLiteral("080500037FFFFE4869") // part 254 of 255
         << HeadUdh8 + QStringLiteral("080500037F00014869") // part 1 of 0
         << HeadUdh8 + QStringLiteral("080500037F02054869") // part 5 of 2
         << QStringLiteral("00") << QStringLiteral("07") << QStringLiteral("FF")
         << QStringLiteral("0004") + QStringLiteral("FF").repeated(180);

    QTemporaryDir Home;
    TProgram Program(FDisplay, Home, false);
    QVERIFY(Program.Start(
        {QStringLiteral("--sim-scenario"), WriteScenario(Home, {Profile(QStringLiteral("A"), QStringLiteral("a"))})}));
    // What is not PDU text never reaches the device: the control channel refuses it.
    for (const QString& Bad : {QStringLiteral("ABC"), QStringLiteral("ZZ"), QStringLiteral("0G")}) {
        QVERIFY(!Program.Sim(QStringLiteral("deliver-pdu sim0 ") + Bad).startsWith(QStringLiteral("ok")));
    }
    QVERIFY(!Program.Sim(QStringLiteral("deliver-pdu sim0")).startsWith(QStringLiteral("ok")));
    for (const QString& Pdu : Pdus) {
        QCOMPARE(Program.Sim(QStringLiteral("deliver-pdu sim0 ") + Pdu), QStringLiteral("ok"));
    }
    QCOMPARE(Program.Sim(QStringLiteral("stored sim0")), QStringLiteral("ok %1").arg(Pdus.size()));
    Program.Window(QStringLiteral("poll"));
    QVERIFY2(WaitFor([&] { return Program.Sim(QStringLiteral("stored sim0")) == QLatin1String("ok 0"); }, 60000),
             qPrintable(Program.Sim(QStringLiteral("stored sim0"))));
    QVERIFY(Program.Running());
    // Every PDU delivered is in the database as it came.
    QStringList Stored = Program.Sql(QStringLiteral("SELECT UPPER(PDU) FROM INCOMING ORDER BY ID"))
                             .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList Expected = Pdus;
    Stored.sort();
    Expected.sort();
    for (const QString& P : Expected) {
        QVERIFY2(Stored.count(P) == Expected.count(P), qPrintable(QStringLiteral("lost or doubled: ") + P));
    }
    QCOMPARE(Stored, Expected);

    // A sound message afterwards arrives whole.
    QCOMPARE(Program.Sim(QStringLiteral("deliver sim0 +4915112345 Still here after the noise")),
             QStringLiteral("ok 1"));
    Program.Window(QStringLiteral("poll"));
    QVERIFY(WaitFor(
        [&] {
            return Program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QString::number(Pdus.size() + 1);
        },
        20000));
    QVERIFY(WaitFor([&] { return Program.Sim(QStringLiteral("stored sim0")) == QLatin1String("ok 0"); }, 10000));
    const QString Last = Program.Sql(QStringLiteral("SELECT PDU FROM INCOMING ORDER BY ID DESC LIMIT 1"));
    const QString Decoded = Run(QStringLiteral(OMBRELAY_PDU_TOOL), {QStringLiteral("decode"), Last});
    QVERIFY2(Decoded.contains(QStringLiteral("Still here after the noise")), qPrintable(Decoded));
    QVERIFY(Program.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok")));
    QCOMPARE(Program.Stop(), 0);
}

void TestBadInput::brokenProfilesAreSkipped()
{
    QTemporaryDir Home;
    const QStringList Profiles = {
        Profile(QStringLiteral("Internet"), QStringLiteral("internet")),
        QStringLiteral("<MBNProfile><Name>Half"),
        QString(),
        QStringLiteral("\x01\x02 not XML at all <<<"),
        QStringLiteral("<Other><Name>Wrong root</Name></Other>"),
        Profile(QStringLiteral("Huge ") + QStringLiteral("x").repeated(200000), QStringLiteral("y").repeated(100000)),
        Profile(QStringLiteral("Business"), QStringLiteral("business.example")),
    };
    const QString Scenario = WriteScenario(Home, Profiles);
    {
        TProgram First(FDisplay, Home, false);
        QVERIFY(First.Start({QStringLiteral("--sim-scenario"), Scenario}));
        // The three that do not parse are named, with where the parser stopped.
        QVERIFY(
            WaitFor([&] { return First.Window(QStringLiteral("errors")).startsWith(QStringLiteral("ok 1")); }, 10000));
        const QString Errors = First.Window(QStringLiteral("errors"));
        for (int Number : {2, 3, 4}) {
            QVERIFY2(Errors.contains(QStringLiteral("Profile %1 of").arg(Number)), qPrintable(Errors));
        }
        QVERIFY2(Errors.contains(QStringLiteral("Profile XML error:")), qPrintable(Errors));
        QVERIFY2(!Errors.contains(QStringLiteral("Profile 7 of")), qPrintable(Errors));
        QCOMPARE(First.Stop(), 0);
        First.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'autoconnect'; "
                                 "UPDATE CONFIG SET VALUE = 'Business' WHERE NAME = 'profile.name'"));
    }
    // The profile after the broken ones still connects.
    TProgram Second(FDisplay, Home, false);
    QVERIFY(Second.Start({QStringLiteral("--sim-scenario"), Scenario}));
    QVERIFY(WaitFor([&] { return Second.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 10000));
    QCOMPARE(Second.Stop(), 0);
}

void TestBadInput::handEditedConfig()
{
    QTemporaryDir Home;
    {
        TProgram First(FDisplay, Home, false);
        QVERIFY(First.Start());
        QCOMPARE(First.Stop(), 0);
        First.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 'abc' WHERE NAME = 'monitor.interval'; "
                                 "UPDATE CONFIG SET VALUE = -5 WHERE NAME = 'monitor.threshold.redial'; "
                                 "UPDATE CONFIG SET VALUE = 1e12 WHERE NAME = 'monitor.threshold.reboot'; "
                                 "UPDATE CONFIG SET VALUE = X'00FF10' WHERE NAME = 'autoconnect'; "
                                 "UPDATE CONFIG SET VALUE = NULL WHERE NAME = 'traywarning'; "
                                 "UPDATE CONFIG SET VALUE = 'yes' WHERE NAME = 'monitor.enabled'; "
                                 "UPDATE CONFIG SET VALUE = '\"unclosed, ,,' WHERE NAME = 'monitor.sites'; "
                                 "UPDATE CONFIG SET VALUE = X'FFFE41' WHERE NAME = 'targetphone'; "
                                 "UPDATE CONFIG SET VALUE = 12345 WHERE NAME = 'profile.name'; "
                                 "INSERT INTO CONFIG VALUES ('some.future.key', X'0102')"));
    }
    TProgram Second(FDisplay, Home, false);
    QVERIFY(Second.Start());
    // The two counts beyond what a setting holds are named; the rest is taken as SQLite reads it.
    QVERIFY(WaitFor([&] { return Second.Window(QStringLiteral("errors")).startsWith(QStringLiteral("ok 1")); }, 10000));
    const QString Errors = Second.Window(QStringLiteral("errors"));
    QVERIFY2(Errors.contains(QStringLiteral("monitor.threshold.redial holds -5")) &&
                 Errors.contains(QStringLiteral("monitor.threshold.reboot holds 1000000000000")),
             qPrintable(Errors));
    QVERIFY(Second.Running());
    QVERIFY(Second.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok")));
    QCOMPARE(Second.Stop(), 0);
    // The save wrote the settings as numbers and text again; a key it does not know is kept.
    QCOMPARE(Second.Sql(QStringLiteral("SELECT NAME || '=' || typeof(VALUE) FROM CONFIG WHERE NAME IN ('autoconnect', "
                                       "'monitor.enabled', 'monitor.interval', 'monitor.sites', "
                                       "'monitor.threshold.reboot', 'monitor.threshold.redial', 'some.future.key', "
                                       "'targetphone', 'traywarning') ORDER BY NAME")),
             QStringLiteral("autoconnect=integer\nmonitor.enabled=integer\nmonitor.interval=integer\n"
                            "monitor.sites=text\nmonitor.threshold.reboot=integer\nmonitor.threshold.redial=integer\n"
                            "some.future.key=blob\ntargetphone=text\ntraywarning=integer"));
    const QStringList Numbers =
        Second
            .Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME IN ('monitor.interval', "
                                "'monitor.threshold.redial', 'monitor.threshold.reboot') ORDER BY NAME"))
            .split(QLatin1Char('\n'));
    QCOMPARE(Numbers.size(), 3);
    for (const QString& N : Numbers) {
        bool Ok = false;
        const qint64 Value = N.toLongLong(&Ok);
        QVERIFY2(Ok && Value >= 0 && Value <= 3600, qPrintable(N));
    }
    QCOMPARE(Second.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'traywarning'")), QStringLiteral("1"));
    QCOMPARE(Second.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME LIKE 'monitor.threshold.%' ORDER BY NAME")),
             QStringLiteral("5\n2"));
}

void TestBadInput::damagedDatabase_data()
{
    QTest::addColumn<QString>("Damage");
    QTest::addColumn<bool>("Refused");
    QTest::newRow("truncated to half") << "half" << true;
    QTest::newRow("page of garbage") << "garbage-page" << true;
    QTest::newRow("not SQLite") << "text" << true;
    QTest::newRow("zero length") << "empty" << false;
}

void TestBadInput::damagedDatabase()
{
    QFETCH(QString, Damage);
    QFETCH(bool, Refused);
    QTemporaryDir Home;
    {
        TProgram First(FDisplay, Home, false);
        QVERIFY(First.Start({QStringLiteral("--sim-scenario"), WriteScenario(Home, {})}));
        for (int I = 0; I < 40; ++I) {
            QVERIFY(First
                        .Sim(QStringLiteral("deliver sim0 +4915112345 Message %1 %2 end of %1")
                                 .arg(I, 2, 10, QLatin1Char('0'))
                                 .arg(QStringLiteral("z").repeated(150)))
                        .startsWith(QStringLiteral("ok")));
        }
        First.Window(QStringLiteral("poll"));
        QVERIFY2(
            WaitFor([&] { return First.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("80"); },
                    30000),
            qPrintable(First.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) + QLatin1Char(' ') +
                       First.Sim(QStringLiteral("stored sim0"))));
        QCOMPARE(First.Stop(), 0);
    }
    const QString Db = Home.filePath(QStringLiteral("data/Virelle/Ombrelay/Ombrelay.DB"));
    QFile::remove(Db + QStringLiteral("-wal"));
    QFile::remove(Db + QStringLiteral("-shm"));
    {
        QFile F(Db);
        QVERIFY(F.open(QIODevice::ReadWrite));
        const qint64 Size = F.size();
        QVERIFY(Size >= 3 * 4096);
        if (Damage == QLatin1String("half")) {
            QVERIFY(F.resize(Size / 2));
        } else if (Damage == QLatin1String("garbage-page")) {
            F.seek(4096);
            F.write(QByteArray(4096, '\xA5'));
        } else if (Damage == QLatin1String("text")) {
            QVERIFY(F.resize(0));
            F.write("These are my notes, not a database.\n");
        } else {
            QVERIFY(F.resize(0));
        }
    }
    const QByteArray Before = FileHash(Db);

    TProgram Second(FDisplay, Home, false);
    if (!Refused) {
        // An empty file is what a first start creates: the program starts on it.
        QVERIFY(Second.Start());
        QCOMPARE(Second.Stop(), 0);
        QCOMPARE(Second.Sql(QStringLiteral("SELECT COUNT(*) FROM CONFIG WHERE NAME = 'monitor.interval'")),
                 QStringLiteral("1"));
        return;
    }
    Second.Launch();
    QVERIFY2(WaitFor([&] { return Second.StdErr().contains(Db); }, 20000), qPrintable(Second.StdErr()));
    const QString Text = Second.StdErr();
    QVERIFY2(Text.contains(QStringLiteral("is damaged or not a database")) &&
                 Text.contains(QStringLiteral("Move the file elsewhere")),
             qPrintable(Text));
    // It ends on its own once the report is acknowledged; here it is ended.
    Second.Stop(5000);
    // The user's file is left exactly as it was, for recovery.
    QCOMPARE(FileHash(Db), Before);
}

void TestBadInput::monitorSitesBadOrHanging_data()
{
    QTest::addColumn<bool>("Drip");
    QTest::newRow("never answers") << false;
    QTest::newRow("one byte a second") << true;
}

void TestBadInput::monitorSitesBadOrHanging()
{
    QFETCH(bool, Drip);
    // A server that takes connections and never answers, or answers one byte a second.
    QTcpServer Silent;
    QVERIFY(Silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> Clients;
    QTimer Dripper;
    QObject::connect(&Dripper, &QTimer::timeout, &Silent, [&] {
        while (Silent.hasPendingConnections()) {
            Clients << Silent.nextPendingConnection();
        }
        for (QTcpSocket* Client : Clients) {
            Client->write("H");
        }
    });
    if (Drip) {
        Dripper.start(1000);
    }
    QTemporaryDir Home;
    {
        TProgram First(FDisplay, Home, false);
        QVERIFY(First.Start());
        QCOMPARE(First.Stop(), 0);
        const QString Long =
            QStringLiteral("http://") + QStringLiteral("a").repeated(5000) + QStringLiteral(".example/");
        First.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'monitor.enabled'; "
                                 "UPDATE CONFIG SET VALUE = 10 WHERE NAME = 'monitor.interval'; "
                                 "UPDATE CONFIG SET VALUE = 'http://127.0.0.1:%1/,\"\",http://,ftp://x,"
                                 "\"http://a b/\",%2,http://bücher.invalid/' WHERE NAME = 'monitor.sites'")
                      .arg(Silent.serverPort())
                      .arg(Long));
    }
    TProgram Second(FDisplay, Home, false);
    QVERIFY(Second.Start());
    // The first check starts a second in and sits on the silent server: the window still answers.
    QVERIFY(WaitFor([&] { return !Clients.isEmpty() || Silent.hasPendingConnections(); }, 15000));
    for (int I = 0; I < 5; ++I) {
        QTest::qWait(300);
        QVERIFY(Second.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok")));
    }
    QElapsedTimer Timer;
    Timer.start();
    QCOMPARE(Second.Stop(), 0);
    QVERIFY2(Timer.elapsed() < 5000, qPrintable(QStringLiteral("shut-down took %1 ms").arg(Timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"
