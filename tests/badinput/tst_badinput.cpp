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
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

// A scenario with one modem in PDU mode, room for many messages and the given profiles.
QString WriteScenario(const QTemporaryDir& Home, const QStringList& Profiles)
{
    QJsonObject modem{{QStringLiteral("id"), QStringLiteral("sim0")},
                      {QStringLiteral("capacity"), 500},
                      {QStringLiteral("readBatch"), 100},
                      {QStringLiteral("profiles"), QJsonArray::fromStringList(Profiles)}};
    QJsonObject scenario{{QStringLiteral("delayMs"), 20}, {QStringLiteral("interfaces"), QJsonArray{modem}}};
    const QString path = Home.filePath(QStringLiteral("scenario.json"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(QJsonDocument(scenario).toJson());
    return path;
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
    for (const char* tool : {"Xvfb", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
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
    QStringList pdus;
    const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    for (const char* corpus : {"fuzz_decode_pdu", "fuzz_add_message"}) {
        QDir dir(QStringLiteral(OMBRELAY_SOURCE_DIR "/fuzz/corpus/") + QLatin1String(corpus));
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files)) {
            QFile f(info.filePath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            const QString text = QString::fromLatin1(bytes).trimmed();
            if (hex.match(text).hasMatch()) {
                pdus << text;
            }
            if (!bytes.isEmpty() && bytes.size() < 400) {
                pdus << QString::fromLatin1(bytes.toHex()).toUpper();
            }
        }
    }
    // The same PDU read twice is taken for one the device kept after a delete that failed, and
    // stored once: every PDU here is distinct.
    for (QString& p : pdus) {
        p = p.toUpper();
    }
    pdus.removeDuplicates();
    QVERIFY(pdus.size() >= 10);
    // Hand-made: an SMS-DELIVER head (no service centre, sender +4917214365 8, SCTS) and broken bodies.
    const QString head = QStringLiteral("00040B919471123456F8000062101290000000");
    const QString headUdh8 = QStringLiteral("00440B919471123456F8000462101290000000");
    pdus << head + QStringLiteral("00")                     // no text at all
         << head + QStringLiteral("A0C834")                 // 160 septets announced, two octets there
         << headUdh8 + QStringLiteral("08FF0003010201")     // header longer than the message
         << headUdh8 + QStringLiteral("0A0500090102034869") // element longer than its header
         << headUdh8 + QStringLiteral("080500037FFFFE4869") // part 254 of 255
         << headUdh8 + QStringLiteral("080500037F00014869") // part 1 of 0
         << headUdh8 + QStringLiteral("080500037F02054869") // part 5 of 2
         << QStringLiteral("00") << QStringLiteral("07") << QStringLiteral("FF")
         << QStringLiteral("0004") + QStringLiteral("FF").repeated(180);

    QTemporaryDir home;
    TProgram program(FDisplay, home, false);
    QVERIFY(program.Start(
        {QStringLiteral("--sim-scenario"), WriteScenario(home, {Profile(QStringLiteral("A"), QStringLiteral("a"))})}));
    // What is not PDU text never reaches the device: the control channel refuses it.
    for (const QString& bad : {QStringLiteral("ABC"), QStringLiteral("ZZ"), QStringLiteral("0G")}) {
        QVERIFY(!program.Sim(QStringLiteral("deliver-pdu sim0 ") + bad).startsWith(QStringLiteral("ok")));
    }
    QVERIFY(!program.Sim(QStringLiteral("deliver-pdu sim0")).startsWith(QStringLiteral("ok")));
    for (const QString& pdu : pdus) {
        QCOMPARE(program.Sim(QStringLiteral("deliver-pdu sim0 ") + pdu), QStringLiteral("ok"));
    }
    QCOMPARE(program.Sim(QStringLiteral("stored sim0")), QStringLiteral("ok %1").arg(pdus.size()));
    program.Window(QStringLiteral("poll"));
    QVERIFY2(WaitFor([&] { return program.Sim(QStringLiteral("stored sim0")) == QLatin1String("ok 0"); }, 60000),
             qPrintable(program.Sim(QStringLiteral("stored sim0"))));
    QVERIFY(program.Running());
    // Every PDU delivered is in the database as it came: messages in INCOMING, status reports in
    // a table of their own.
    const QString everyPdu = QStringLiteral("(SELECT ID, PDU FROM INCOMING UNION ALL SELECT ID, PDU FROM REPORTS)");
    QStringList stored = program.Sql(QStringLiteral("SELECT UPPER(PDU) FROM %1 ORDER BY ID").arg(everyPdu))
                             .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList expected = pdus;
    stored.sort();
    expected.sort();
    for (const QString& p : expected) {
        QVERIFY2(stored.count(p) == expected.count(p), qPrintable(QStringLiteral("lost or doubled: ") + p));
    }
    QCOMPARE(stored, expected);

    // A sound message afterwards arrives whole.
    QCOMPARE(program.Sim(QStringLiteral("deliver sim0 +4915112345 Still here after the noise")),
             QStringLiteral("ok 1"));
    program.Window(QStringLiteral("poll"));
    QVERIFY(WaitFor(
        [&] {
            return program.Sql(QStringLiteral("SELECT COUNT(*) FROM %1").arg(everyPdu)) ==
                   QString::number(pdus.size() + 1);
        },
        20000));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("stored sim0")) == QLatin1String("ok 0"); }, 10000));
    const QString last = program.Sql(QStringLiteral("SELECT PDU FROM INCOMING ORDER BY ID DESC LIMIT 1"));
    const QString decoded = Run(QStringLiteral(OMBRELAY_PDU_TOOL), {QStringLiteral("decode"), last});
    QVERIFY2(decoded.contains(QStringLiteral("Still here after the noise")), qPrintable(decoded));
    QVERIFY(program.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok")));
    QCOMPARE(program.Stop(), 0);
}

void TestBadInput::brokenProfilesAreSkipped()
{
    QTemporaryDir home;
    const QStringList profiles = {
        Profile(QStringLiteral("Internet"), QStringLiteral("internet")),
        QStringLiteral("<MBNProfile><Name>Half"),
        QString(),
        QStringLiteral("\x01\x02 not XML at all <<<"),
        QStringLiteral("<Other><Name>Wrong root</Name></Other>"),
        Profile(QStringLiteral("Huge ") + QStringLiteral("x").repeated(200000), QStringLiteral("y").repeated(100000)),
        Profile(QStringLiteral("Business"), QStringLiteral("business.example")),
    };
    const QString scenario = WriteScenario(home, profiles);
    {
        TProgram first(FDisplay, home, false);
        QVERIFY(first.Start({QStringLiteral("--sim-scenario"), scenario}));
        // The three that do not parse are named, with where the parser stopped.
        QVERIFY(
            WaitFor([&] { return first.Window(QStringLiteral("errors")).startsWith(QStringLiteral("ok 1")); }, 10000));
        const QString errors = first.Window(QStringLiteral("errors"));
        for (int number : {2, 3, 4}) {
            QVERIFY2(errors.contains(QStringLiteral("Profile %1 of").arg(number)), qPrintable(errors));
        }
        QVERIFY2(errors.contains(QStringLiteral("Profile XML error:")), qPrintable(errors));
        QVERIFY2(!errors.contains(QStringLiteral("Profile 7 of")), qPrintable(errors));
        QCOMPARE(first.Stop(), 0);
        first.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'autoconnect'; "
                                 "UPDATE CONFIG SET VALUE = 'Business' WHERE NAME = 'profile.name'"));
    }
    // The profile after the broken ones still connects.
    TProgram second(FDisplay, home, false);
    QVERIFY(second.Start({QStringLiteral("--sim-scenario"), scenario}));
    QVERIFY(WaitFor([&] { return second.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 10000));
    QCOMPARE(second.Stop(), 0);
}

void TestBadInput::handEditedConfig()
{
    QTemporaryDir home;
    {
        TProgram first(FDisplay, home, false);
        QVERIFY(first.Start());
        QCOMPARE(first.Stop(), 0);
        first.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 'abc' WHERE NAME = 'monitor.interval'; "
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
    TProgram second(FDisplay, home, false);
    QVERIFY(second.Start());
    // The two counts beyond what a setting holds are named; the rest is taken as SQLite reads it.
    QVERIFY(WaitFor([&] { return second.Window(QStringLiteral("errors")).startsWith(QStringLiteral("ok 1")); }, 10000));
    const QString errors = second.Window(QStringLiteral("errors"));
    QVERIFY2(errors.contains(QStringLiteral("monitor.threshold.redial holds -5")) &&
                 errors.contains(QStringLiteral("monitor.threshold.reboot holds 1000000000000")),
             qPrintable(errors));
    QVERIFY(second.Running());
    QVERIFY(second.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok")));
    QCOMPARE(second.Stop(), 0);
    // The save wrote the settings as numbers and text again; a key it does not know is kept.
    QCOMPARE(second.Sql(QStringLiteral("SELECT NAME || '=' || typeof(VALUE) FROM CONFIG WHERE NAME IN ('autoconnect', "
                                       "'monitor.enabled', 'monitor.interval', 'monitor.sites', "
                                       "'monitor.threshold.reboot', 'monitor.threshold.redial', 'some.future.key', "
                                       "'targetphone', 'traywarning') ORDER BY NAME")),
             QStringLiteral("autoconnect=integer\nmonitor.enabled=integer\nmonitor.interval=integer\n"
                            "monitor.sites=text\nmonitor.threshold.reboot=integer\nmonitor.threshold.redial=integer\n"
                            "some.future.key=blob\ntargetphone=text\ntraywarning=integer"));
    const QStringList numbers =
        second
            .Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME IN ('monitor.interval', "
                                "'monitor.threshold.redial', 'monitor.threshold.reboot') ORDER BY NAME"))
            .split(QLatin1Char('\n'));
    QCOMPARE(numbers.size(), 3);
    for (const QString& n : numbers) {
        bool ok = false;
        const qint64 value = n.toLongLong(&ok);
        QVERIFY2(ok && value >= 0 && value <= 3600, qPrintable(n));
    }
    QCOMPARE(second.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'traywarning'")), QStringLiteral("1"));
    QCOMPARE(second.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME LIKE 'monitor.threshold.%' ORDER BY NAME")),
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
    QTemporaryDir home;
    {
        TProgram first(FDisplay, home, false);
        QVERIFY(first.Start({QStringLiteral("--sim-scenario"), WriteScenario(home, {})}));
        for (int i = 0; i < 40; ++i) {
            QVERIFY(first
                        .Sim(QStringLiteral("deliver sim0 +4915112345 Message %1 %2 end of %1")
                                 .arg(i, 2, 10, QLatin1Char('0'))
                                 .arg(QStringLiteral("z").repeated(150)))
                        .startsWith(QStringLiteral("ok")));
        }
        first.Window(QStringLiteral("poll"));
        QVERIFY2(
            WaitFor([&] { return first.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("80"); },
                    30000),
            qPrintable(first.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) + QLatin1Char(' ') +
                       first.Sim(QStringLiteral("stored sim0"))));
        QCOMPARE(first.Stop(), 0);
    }
    const QString db = home.filePath(QStringLiteral("data/Virelle/Ombrelay/Ombrelay.DB"));
    QFile::remove(db + QStringLiteral("-wal"));
    QFile::remove(db + QStringLiteral("-shm"));
    {
        QFile f(db);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        QVERIFY(size >= 3 * 4096);
        if (Damage == QLatin1String("half")) {
            QVERIFY(f.resize(size / 2));
        } else if (Damage == QLatin1String("garbage-page")) {
            f.seek(4096);
            f.write(QByteArray(4096, '\xA5'));
        } else if (Damage == QLatin1String("text")) {
            QVERIFY(f.resize(0));
            f.write("These are my notes, not a database.\n");
        } else {
            QVERIFY(f.resize(0));
        }
    }
    const QByteArray before = FileHash(db);

    TProgram second(FDisplay, home, false);
    if (!Refused) {
        // An empty file is what a first start creates: the program starts on it.
        QVERIFY(second.Start());
        QCOMPARE(second.Stop(), 0);
        QCOMPARE(second.Sql(QStringLiteral("SELECT COUNT(*) FROM CONFIG WHERE NAME = 'monitor.interval'")),
                 QStringLiteral("1"));
        return;
    }
    second.Launch();
    QVERIFY2(WaitFor([&] { return second.StdErr().contains(db); }, 20000), qPrintable(second.StdErr()));
    const QString text = second.StdErr();
    QVERIFY2(text.contains(QStringLiteral("is damaged or not a database")) &&
                 text.contains(QStringLiteral("Move the file elsewhere")),
             qPrintable(text));
    // It ends on its own once the report is acknowledged; here it is ended.
    second.Stop(5000);
    // The user's file is left exactly as it was, for recovery.
    QCOMPARE(FileHash(db), before);
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
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> clients;
    QTimer dripper;
    QObject::connect(&dripper, &QTimer::timeout, &silent, [&] {
        while (silent.hasPendingConnections()) {
            clients << silent.nextPendingConnection();
        }
        for (QTcpSocket* client : clients) {
            client->write("H");
        }
    });
    if (Drip) {
        dripper.start(1000);
    }
    QTemporaryDir home;
    {
        TProgram first(FDisplay, home, false);
        QVERIFY(first.Start());
        QCOMPARE(first.Stop(), 0);
        const QString longSite =
            QStringLiteral("http://") + QStringLiteral("a").repeated(5000) + QStringLiteral(".example/");
        first.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'monitor.enabled'; "
                                 "UPDATE CONFIG SET VALUE = 10 WHERE NAME = 'monitor.interval'; "
                                 "UPDATE CONFIG SET VALUE = 'http://127.0.0.1:%1/,\"\",http://,ftp://x,"
                                 "\"http://a b/\",%2,http://bücher.invalid/' WHERE NAME = 'monitor.sites'")
                      .arg(silent.serverPort())
                      .arg(longSite));
    }
    TProgram second(FDisplay, home, false);
    QVERIFY(second.Start());
    // The first check starts a second in and sits on the silent server: the window still answers.
    QVERIFY(WaitFor([&] { return !clients.isEmpty() || silent.hasPendingConnections(); }, 15000));
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(300);
        QVERIFY(second.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok")));
    }
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(second.Stop(), 0);
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QStringLiteral("shut-down took %1 ms").arg(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"
