// Two sessions of one user on one home folder: two real programs with their own runtime folder
// (instance socket, session marker), display, session bus and modem, and one data folder, so
// one database. Both store bursts of messages, long ones among them, at the same time: neither
// user hears of a locked database (or of anything else), every message is stored once, each
// inbox shows its own modem's messages, and both devices end up empty.

#include "support/ProgramUnderTest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace Ombrelay;

namespace
{

int Number(const QString& Answer)
{
    return Answer.startsWith(QLatin1String("ok ")) ? Answer.mid(3).toInt() : -1;
}

// A modem of its own for each session: its own interface, device identity and message mode.
QByteArray Scenario(const QString& Interface, const QString& DeviceId, bool MessageMode)
{
    QJsonObject caps{{QStringLiteral("deviceID"), DeviceId},
                     {QStringLiteral("manufacturer"), QStringLiteral("Ombrelay")},
                     {QStringLiteral("model"), QStringLiteral("Simulated Modem")},
                     {QStringLiteral("dataClass"), 0x3F},
                     {QStringLiteral("controlCaps"), 0x41}};
    QJsonObject iface{{QStringLiteral("id"), Interface},
                      {QStringLiteral("capabilities"), caps},
                      {QStringLiteral("capacity"), 200},
                      {QStringLiteral("readBatch"), 5}};
    if (MessageMode) {
        iface.insert(QStringLiteral("smsMode"), QStringLiteral("message"));
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("interfaces"), QJsonArray{iface}}}).toJson();
}

// One desktop session: its display, its session bus, its runtime folder, and the program in it.
class TSession
{
public:
    TSession(const QString& Name, const QString& DataHome, bool MessageMode)
        : Interface(QStringLiteral("sim") + Name)
        , FHome(qEnvironmentVariable("OMBRELAY_TEST_TMP", QDir::tempPath()) + QStringLiteral("/session-XXXXXX"))
        , FName(Name)
        , FDataHome(DataHome)
        , FMessageMode(MessageMode)
    {
    }
    ~TSession()
    {
        Program.reset();
        EndProcesses({&FBus, &FXvfb});
    }

    // The display and the bus of the session; false when either cannot be had.
    bool Open(int FirstDisplay)
    {
        if (!FHome.isValid() || !StartXvfb(FXvfb, FDisplay, FirstDisplay)) {
            return false;
        }
        FBus.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!FBus.waitForStarted(10000) || !WaitFor([&] { return FBus.canReadLine(); }, 10000)) {
            return false;
        }
        const QString bus = QString::fromUtf8(FBus.readLine()).trimmed();
        QFile scenario(FHome.filePath(QStringLiteral("modem.json")));
        if (!scenario.open(QIODevice::WriteOnly) ||
            scenario.write(Scenario(Interface, QStringLiteral("35999900000%1").arg(FName == QLatin1String("A") ? 1 : 2),
                                    FMessageMode)) < 0) {
            return false;
        }
        scenario.close();
        Program = std::make_unique<TProgram>(FDisplay, FHome, false);
        Program->SetEnv(QStringLiteral("XDG_DATA_HOME"), FDataHome);
        Program->SetEnv(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        return !bus.isEmpty();
    }
    bool Launch()
    {
        return Program->Launch({QStringLiteral("--sim-scenario"), FHome.filePath(QStringLiteral("modem.json")),
                                QStringLiteral("--sim-state"), FHome.filePath(QStringLiteral("state.json"))});
    }
    bool Answers() const
    {
        return Program->Running() && Program->Sim(QStringLiteral("interfaces")) == QLatin1String("ok ") + Interface &&
               Program->Window(QStringLiteral("visible")).startsWith(QLatin1String("ok"));
    }
    // Where the program stands, for a failure's message.
    QString Describe()
    {
        return QStringLiteral("%1: %2, modem %3, window %4, told %5, log:\n%6")
            .arg(Interface, Program->Running() ? QStringLiteral("running") : QStringLiteral("ended"),
                 Program->Sim(QStringLiteral("interfaces")), Program->Window(QStringLiteral("visible")), Told(),
                 Program->StdErr());
    }
    int Stored() const { return Number(Program->Sim(QStringLiteral("stored ") + Interface)); }
    // What the window's error boxes said, and what the program wrote to its log about the
    // database.
    QString Told() const { return Program->Window(QStringLiteral("errors")); }
    QStringList LoggedTrouble()
    {
        QStringList lines;
        for (const QString& line : Program->StdErr().split(QLatin1Char('\n'))) {
            if (line.contains(QLatin1String("lock"), Qt::CaseInsensitive) ||
                line.contains(QLatin1String("busy"), Qt::CaseInsensitive) ||
                line.contains(QLatin1String("database"), Qt::CaseInsensitive) ||
                line.contains(QLatin1String("Ombrelay:"))) {
                lines << line;
            }
        }
        return lines;
    }
    // The message list's texts of the inbox as the window shows them.
    QStringList InboxTexts() const
    {
        QStringList texts;
        for (int row = 0;; ++row) {
            const QString answer = Program->Window(QStringLiteral("cell %1 2").arg(row));
            if (!answer.startsWith(QLatin1String("ok "))) {
                break;
            }
            texts << QUrl::fromPercentEncoding(answer.section(QLatin1Char(' '), 1, 1).toLatin1());
        }
        return texts;
    }

    const QString Interface;
    std::unique_ptr<TProgram> Program;
    // The texts delivered to this session's modem, and the entries they took there.
    QStringList Delivered;
    int Entries = 0;

private:
    QTemporaryDir FHome;
    QString FName;
    QString FDataHome;
    bool FMessageMode;
    QProcess FXvfb;
    QProcess FBus;
    QString FDisplay;
};

} // namespace

class TestTwoSessions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void bothStoreEveryMessageOnce();
};

void TestTwoSessions::initTestCase()
{
    for (const char* tool : {"Xvfb", "dbus-daemon", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
        }
    }
}

void TestTwoSessions::bothStoreEveryMessageOnce()
{
    constexpr int kRounds = 30;
    QTemporaryDir data(qEnvironmentVariable("OMBRELAY_TEST_TMP", QDir::tempPath()) + QStringLiteral("/home-XXXXXX"));
    QVERIFY(data.isValid());
    const QString database = data.filePath(QStringLiteral("Virelle/Ombrelay/Ombrelay.DB"));
    // One modem in PDU mode, the other in message mode: both ways of storing meet in the file.
    TSession a(QStringLiteral("A"), data.path(), false);
    TSession b(QStringLiteral("B"), data.path(), true);
    QVERIFY2(a.Open(700) && b.Open(760), "no display or session bus could be started");

    // Both come up at the same time on a database neither has made yet.
    QVERIFY(a.Launch());
    QVERIFY(b.Launch());
    QVERIFY2(WaitFor([&] { return a.Answers() && b.Answers(); }, 60000),
             qPrintable(a.Describe() + QLatin1Char('\n') + b.Describe()));

    // Bursts to both modems, round by round; each modem announces its messages and its program
    // reads and stores them while the other does the same. Some are long (three parts).
    const QString filler = QStringLiteral(" and then some more words to make it long").repeated(10);
    for (int round = 0; round < kRounds; ++round) {
        for (TSession* s : {&a, &b}) {
            QString text = QStringLiteral("%1 message %2").arg(s->Interface).arg(round, 2, 10, QLatin1Char('0'));
            if (round % 4 == 1) {
                text += filler;
            }
            const int entries = Number(
                s->Program->Sim(QStringLiteral("deliver %1 +49171%2 %3").arg(s->Interface).arg(round).arg(text)));
            QVERIFY2(entries > 0, qPrintable(text));
            s->Delivered << text;
            s->Entries += entries;
        }
        if (round % 3 == 2) {
            // And a read now and then besides, as the timer of each program asks for.
            QCOMPARE(a.Program->Window(QStringLiteral("poll")), QStringLiteral("ok"));
            QCOMPARE(b.Program->Window(QStringLiteral("poll")), QStringLiteral("ok"));
        }
    }
    QVERIFY(a.Entries > kRounds);

    // Both devices emptied: everything was stored and only then cleared.
    QVERIFY2(WaitFor(
                 [&] {
                     a.Program->Window(QStringLiteral("poll"));
                     b.Program->Window(QStringLiteral("poll"));
                     return a.Stored() == 0 && b.Stored() == 0;
                 },
                 120000),
             qPrintable(QStringLiteral("left on the devices: %1 and %2").arg(a.Stored()).arg(b.Stored())));

    // Nobody was told of anything, and neither log speaks of a locked or busy database.
    for (TSession* s : {&a, &b}) {
        QCOMPARE(s->Told(), QStringLiteral("ok 0"));
        const QStringList trouble = s->LoggedTrouble();
        QVERIFY2(trouble.isEmpty(), qPrintable(trouble.join(QLatin1Char('\n'))));
    }

    // Every message once in the file, whole, with the modem it came through; no row twice on one
    // device. (Two devices may hold the same PDU: the later parts of the long messages are the
    // same words from the same number, and can carry the same reference in the same second.)
    const QString rows =
        Run(QStringLiteral("sqlite3"),
            {QStringLiteral("-batch"), database,
             QStringLiteral("SELECT COUNT(*) || ' ' || COUNT(DISTINCT DEVICE || ' ' || PDU) FROM INCOMING")});
    const QStringList counts = rows.split(QLatin1Char(' '));
    QCOMPARE(counts.size(), 2);
    QVERIFY2(counts[0] == counts[1],
             qPrintable(Run(QStringLiteral("sqlite3"),
                            {QStringLiteral("-batch"), database,
                             QStringLiteral(
                                 "SELECT ID, DEVICE, DEVICEKEY, GROUPID, DATE, SEEN, PDU FROM INCOMING WHERE DEVICE "
                                 "|| ' ' || PDU IN (SELECT DEVICE || ' ' || PDU FROM INCOMING GROUP BY DEVICE, "
                                 "PDU HAVING COUNT(*) > 1)")})));
    int exit = -1;
    const QString listed = Run(QStringLiteral(OMBRELAY_CTL),
                               {QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--json"),
                                QStringLiteral("--database"), database},
                               &exit);
    QCOMPARE(exit, 0);
    QHash<QString, QStringList> devicesOf;
    for (const QJsonValue& v : QJsonDocument::fromJson(listed.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("direction")).toString() == QLatin1String("in")) {
            devicesOf[o.value(QStringLiteral("text")).toString()] << o.value(QStringLiteral("device")).toString();
        }
    }
    for (TSession* s : {&a, &b}) {
        for (const QString& text : std::as_const(s->Delivered)) {
            QVERIFY2(devicesOf.value(text) == QStringList{s->Interface},
                     qPrintable(QStringLiteral("%1: %2").arg(text, devicesOf.value(text).join(QLatin1Char(',')))));
        }
    }
    QCOMPARE(devicesOf.size(), a.Delivered.size() + b.Delivered.size());

    // Each window lists its own modem's messages, each once and whole.
    for (TSession* s : {&a, &b}) {
        QCOMPARE(s->Program->Window(QStringLiteral("tab tsMessages")), QStringLiteral("ok"));
        QCOMPARE(s->Program->Window(QStringLiteral("folder 0")), QStringLiteral("ok"));
        QStringList shown = s->InboxTexts();
        QStringList expected = s->Delivered;
        shown.sort();
        expected.sort();
        QCOMPARE(shown, expected);
    }

    QCOMPARE(a.Program->Stop(), 0);
    QCOMPARE(b.Program->Stop(), 0);
}

QTEST_GUILESS_MAIN(TestTwoSessions)
#include "tst_two_sessions.moc"
