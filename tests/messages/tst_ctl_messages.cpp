// ombrelayctl messages, the built tool run on a fixture database: listings and their filters,
// search, export, help and the exit statuses; it reads without writing or waiting for a writer.

#include "core/Contacts.h"
#include "core/SmsReports.h"
#include "core/SmsStore.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace Ombrelay;

namespace
{

struct TResult
{
    int Code = -1;
    QByteArray Out;
    QString Err;
};

TResult Ctl(const QStringList& Args, const QString& DataHome, const QString& RuntimeDir = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), DataHome);
    if (!RuntimeDir.isEmpty()) {
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir);
    }
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("OMBRELAY_CTL"), Args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
    }
    return TResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                   QString::fromUtf8(p.readAllStandardError())};
}

QStringList Field(const QByteArray& Json, const char* Name)
{
    QStringList values;
    for (const QJsonValue& v : QJsonDocument::fromJson(Json).array()) {
        values << v.toObject().value(QLatin1String(Name)).toVariant().toString();
    }
    return values;
}

const QDateTime kStamp(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);

} // namespace

class TestCtlMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { FDb.reset(); }

    void listFilters_data();
    void listFilters();
    void jsonFieldsOfLongMessage();
    void searchFindsThirdPart();
    void exportFormats_data();
    void exportFormats();
    void helpAndUsage_data();
    void helpAndUsage();
    void missingDatabaseFails();
    void readsBesideWriterAndReadOnlyFile();
    void sendWithoutProgramFails();
    void sentStates();

private:
    std::unique_ptr<TTempDatabase> FDb;
    QString FLongText;
};

void TestCtlMessages::initTestCase()
{
    QVERIFY(QFile::exists(qEnvironmentVariable("OMBRELAY_CTL")));
    FDb = std::make_unique<TTempDatabase>();
    FLongText = QString(150, QLatin1Char('x')) + QStringLiteral(" middle ") + QString(150, QLatin1Char('y')) +
                QStringLiteral(" \"quoted\", comma\nline ") + QString(90, QLatin1Char('z')) + QStringLiteral(" walrus");
    TSmsIncomingList inbox(QStringLiteral("sim0"));
    inbox.StoreReceived(BuildDeliverPdus(QStringLiteral("+4917011111"), kStamp, FLongText, 5), false);
    inbox.StoreReceived(BuildDeliverPdus(QStringLiteral("+4917022222"), kStamp.addSecs(60), QStringLiteral("read one")),
                        false);
    inbox.GetItem(0)->MarkSeen();
    TSmsIncomingList(QStringLiteral("sim1"))
        .StoreReceived(BuildDeliverPdus(QStringLiteral("+4917011111"), kStamp.addSecs(120), QStringLiteral("on sim1")),
                       false);
    TSmsSend send;
    send.SetTarget(QStringLiteral("+4917011111"));
    send.SetText(QStringLiteral("my reply"));
    TSmsOutgoingList::MarkSent(TSmsOutgoingList::StoreSubmitted(send.EncodePdu(), false, QStringLiteral("sim0")));
    TContacts(FDb->DB()).Set(QStringLiteral("+4917011111"), QStringLiteral("Anna"));
}

void TestCtlMessages::listFilters_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("texts");
    const QString longText = QString(150, QLatin1Char('x')) + QStringLiteral(" middle ") +
                             QString(150, QLatin1Char('y')) + QStringLiteral(" \"quoted\", comma\nline ") +
                             QString(90, QLatin1Char('z')) + QStringLiteral(" walrus");
    QTest::newRow("all") << QStringList{}
                         << QStringList{QStringLiteral("my reply"), QStringLiteral("on sim1"),
                                        QStringLiteral("read one"), longText};
    QTest::newRow("unread") << QStringList{QStringLiteral("--unread")}
                            << QStringList{QStringLiteral("on sim1"), longText};
    QTest::newRow("sent") << QStringList{QStringLiteral("--sent")} << QStringList{QStringLiteral("my reply")};
    QTest::newRow("from, national form") << QStringList{QStringLiteral("--from"), QStringLiteral("0170 11111")}
                                         << QStringList{QStringLiteral("my reply"), QStringLiteral("on sim1"),
                                                        longText};
    QTest::newRow("device") << QStringList{QStringLiteral("--device"), QStringLiteral("sim1")}
                            << QStringList{QStringLiteral("on sim1")};
}

void TestCtlMessages::listFilters()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, texts);
    const TResult r =
        Ctl(QStringList{QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--json")} + args,
            FDb->DataHome());
    QCOMPARE(r.Code, 0);
    QCOMPARE(Field(r.Out, "text"), texts);
    // The plain listing has one line per message, whatever the text holds.
    const TResult plain = Ctl(QStringList{QStringLiteral("messages"), QStringLiteral("list")} + args, FDb->DataHome());
    QCOMPARE(plain.Code, 0);
    QCOMPARE(plain.Out.count('\n'), texts.size());
}

void TestCtlMessages::jsonFieldsOfLongMessage()
{
    const TResult r = Ctl({QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--json"),
                           QStringLiteral("--unread"), QStringLiteral("--device"), QStringLiteral("sim0")},
                          FDb->DataHome());
    QCOMPARE(r.Code, 0);
    const QJsonArray array = QJsonDocument::fromJson(r.Out).array();
    QCOMPARE(array.size(), 1);
    const QJsonObject m = array[0].toObject();
    QStringList keys = m.keys();
    keys.sort();
    QCOMPARE(keys, (QStringList{"device", "direction", "id", "name", "network_time", "number", "read", "state",
                                "stored_time", "text"}));
    QCOMPARE(m[QStringLiteral("direction")].toString(), QStringLiteral("in"));
    QCOMPARE(m[QStringLiteral("number")].toString(), QStringLiteral("+4917011111"));
    QCOMPARE(m[QStringLiteral("name")].toString(), QStringLiteral("Anna"));
    QCOMPARE(m[QStringLiteral("text")].toString(), FLongText);
    QCOMPARE(m[QStringLiteral("network_time")].toString(), QStringLiteral("2026-12-09T12:00:00Z"));
    QVERIFY(QDateTime::fromString(m[QStringLiteral("stored_time")].toString(), Qt::ISODate).isValid());
    QCOMPARE(m[QStringLiteral("state")].toString(), QStringLiteral("received"));
    QCOMPARE(m[QStringLiteral("read")].toBool(), false);
    QCOMPARE(m[QStringLiteral("device")].toString(), QStringLiteral("sim0"));
}

void TestCtlMessages::searchFindsThirdPart()
{
    const TResult r =
        Ctl({QStringLiteral("messages"), QStringLiteral("search"), QStringLiteral("walrus"), QStringLiteral("--json")},
            FDb->DataHome());
    QCOMPARE(r.Code, 0);
    QCOMPARE(Field(r.Out, "text"), QStringList{FLongText});
    const TResult byName =
        Ctl({QStringLiteral("messages"), QStringLiteral("search"), QStringLiteral("anna"), QStringLiteral("--json")},
            FDb->DataHome());
    QCOMPARE(Field(byName.Out, "text").size(), 3);
}

void TestCtlMessages::exportFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("csv") << "csv";
    QTest::newRow("json") << "json";
    QTest::newRow("txt") << "txt";
}

void TestCtlMessages::exportFormats()
{
    QFETCH(QString, format);
    const QString out = FDb->DataHome() + QStringLiteral("/export.") + format;
    const TResult r = Ctl({QStringLiteral("messages"), QStringLiteral("export"), QStringLiteral("--format"), format,
                           QStringLiteral("--out"), out},
                          FDb->DataHome());
    QCOMPARE(r.Code, 0);
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    // The long message is one entry, joined: its text appears whole (CSV doubles its quotes).
    QString expected = FLongText;
    if (format == QLatin1String("csv")) {
        expected.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    } else if (format == QLatin1String("json")) {
        QFile again(out);
        again.open(QIODevice::ReadOnly);
        QVERIFY(Field(again.readAll(), "text").contains(FLongText));
        return;
    }
    QCOMPARE(text.count(expected), 1);
    QVERIFY(text.contains(QStringLiteral("Anna")));
}

void TestCtlMessages::helpAndUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("shows");
    QTest::newRow("top help") << QStringList{QStringLiteral("--help")} << 0 << "messages";
    QTest::newRow("group help") << QStringList{QStringLiteral("messages"), QStringLiteral("--help")} << 0 << "export";
    for (const char* command : {"list", "search", "export", "send"}) {
        QTest::newRow(command) << QStringList{QStringLiteral("messages"), QLatin1String(command),
                                              QStringLiteral("--help")}
                               << 0 << "--help";
    }
    QTest::newRow("no command") << QStringList{QStringLiteral("messages")} << 2 << "Usage";
    QTest::newRow("unknown command") << QStringList{QStringLiteral("messages"), QStringLiteral("frob")} << 2
                                     << "unknown command";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("messages"), QStringLiteral("list"),
                                                   QStringLiteral("--bogus")}
                                    << 2 << "bogus";
    QTest::newRow("unread and sent") << QStringList{QStringLiteral("messages"), QStringLiteral("list"),
                                                    QStringLiteral("--unread"), QStringLiteral("--sent")}
                                     << 2 << "exclude";
    QTest::newRow("export without format")
        << QStringList{QStringLiteral("messages"), QStringLiteral("export")} << 2 << "--format";
    QTest::newRow("export bad format") << QStringList{QStringLiteral("messages"), QStringLiteral("export"),
                                                      QStringLiteral("--format"), QStringLiteral("xml")}
                                       << 2 << "Unknown format";
    QTest::newRow("search without text") << QStringList{QStringLiteral("messages"), QStringLiteral("search")} << 2
                                         << "TEXT";
    QTest::newRow("send without text") << QStringList{QStringLiteral("messages"), QStringLiteral("send"),
                                                      QStringLiteral("+49170")}
                                       << 2 << "NUMBER and TEXT";
}

void TestCtlMessages::helpAndUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, shows);
    const TResult r = Ctl(args, FDb->DataHome());
    QCOMPARE(r.Code, code);
    const QString said = code == 0 ? QString::fromUtf8(r.Out) : r.Err;
    QVERIFY2(said.contains(shows), qPrintable(said));
}

void TestCtlMessages::missingDatabaseFails()
{
    QTemporaryDir empty;
    const TResult r = Ctl({QStringLiteral("messages"), QStringLiteral("list")}, empty.path());
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("no message database")), qPrintable(r.Err));
    QVERIFY(!QFile::exists(empty.path() + QStringLiteral("/Virelle/Ombrelay/Ombrelay.DB")));
}

void TestCtlMessages::readsBesideWriterAndReadOnlyFile()
{
    // The program holds a write transaction: the tool reads what was committed, at once.
    {
        TSQLiteLock lock(FDb->DB());
        FDb->DB().ExecSQL(QStringLiteral("BEGIN IMMEDIATE"));
        FDb->DB().ExecSQL(QStringLiteral("DELETE FROM INCOMING"));
        QElapsedTimer clock;
        clock.start();
        const TResult r =
            Ctl({QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--json")}, FDb->DataHome());
        FDb->DB().ExecSQL(QStringLiteral("ROLLBACK"));
        QCOMPARE(r.Code, 0);
        QCOMPARE(Field(r.Out, "text").size(), 4);
        QVERIFY(clock.elapsed() < 2500);
    }
    // A file the user may only read is read, and left as it was.
    const QString file = FDb->FilePath();
    const QByteArray before = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    QFile::setPermissions(file, QFile::ReadOwner);
    const TResult r =
        Ctl({QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--sent")}, FDb->DataHome());
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(r.Code, 0);
    QCOMPARE(r.Out.count('\n'), 1);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void TestCtlMessages::sendWithoutProgramFails()
{
    QTemporaryDir runtime;
    const TResult r =
        Ctl({QStringLiteral("messages"), QStringLiteral("send"), QStringLiteral("+49170"), QStringLiteral("hello")},
            FDb->DataHome(), runtime.path());
    QCOMPARE(r.Code, 1);
    QVERIFY2(r.Err.contains(QStringLiteral("not running")), qPrintable(r.Err));
    QVERIFY(r.Out.isEmpty());
}

// Sent messages in every state the modem's answers and the network's reports give, each in the
// plain listing and in JSON, and the same after the reports are read from a file of their own.
void TestCtlMessages::sentStates()
{
    struct TSent
    {
        QString Text;
        int Parts;
        QString Outcome; // "sending", "refused", or the reports of the parts ("d", "f", "p", "-")
        QString State;   // JSON
        QString Plain;   // start of the plain listing's state
    };
    const QList<TSent> cases{
        {QStringLiteral("being sent"), 1, QStringLiteral("sending"), QStringLiteral("sending"),
         QStringLiteral("sending")},
        {QStringLiteral("refused"), 1, QStringLiteral("refused"), QStringLiteral("failed"),
         QStringLiteral("failed: no network")},
        {QStringLiteral("no report"), 1, QStringLiteral("-"), QStringLiteral("sent"), QStringLiteral("sent")},
        {QStringLiteral("delivered"), 1, QStringLiteral("d"), QStringLiteral("delivered"),
         QStringLiteral("delivered ")},
        {QStringLiteral("two of three"), 3, QStringLiteral("d-d"), QStringLiteral("delivered 2 of 3"),
         QStringLiteral("delivered 2 of 3")},
        {QStringLiteral("undeliverable"), 2, QStringLiteral("df"), QStringLiteral("failed"),
         QStringLiteral("failed: validity period expired")},
        {QStringLiteral("still trying"), 1, QStringLiteral("p"), QStringLiteral("sent"),
         QStringLiteral("sent, still trying: recipient busy")},
    };
    TTempDatabase db;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QStringList reports;
    const QString to = QStringLiteral("+4917033333");
    NextMessageRef = 100;
    for (const TSent& c : cases) {
        TSmsSend send;
        send.SetTarget(to);
        send.SetText(c.Parts == 1 ? c.Text : c.Text + QString(153 * (c.Parts - 1), QLatin1Char('.')));
        send.SetStatusReportRequest(true);
        const int firstRef = NextMessageRef;
        const QList<qint64> rows = TSmsOutgoingList::StoreSubmitted(send.EncodePdu(), false, QStringLiteral("sim0"));
        QCOMPARE(rows.size(), c.Parts);
        if (c.Outcome == QLatin1String("sending")) {
            continue;
        }
        if (c.Outcome == QLatin1String("refused")) {
            TSmsOutgoingList::MarkFailed(rows, QStringLiteral("no network"));
            continue;
        }
        TSmsOutgoingList::MarkSent(rows);
        for (int part = 0; part < c.Parts; ++part) {
            const QChar o = c.Outcome.at(part);
            const int status = o == QLatin1Char('d') ? 0x00 : o == QLatin1Char('f') ? 0x46 : 0x21;
            if (o != QLatin1Char('-')) {
                reports << BuildStatusReportPdu((firstRef + part) % 256, QStringLiteral("01703 3333"), now, now,
                                                status);
            }
        }
    }
    TSmsReports::Store(QStringLiteral("sim0"), reports);
    const TResult json =
        Ctl({QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--sent"), QStringLiteral("--json")},
            db.DataHome());
    const TResult plain =
        Ctl({QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--sent")}, db.DataHome());
    Database = &FDb->DB();
    QCOMPARE(json.Code, 0);
    QCOMPARE(plain.Code, 0);
    const QStringList states = Field(json.Out, "state");
    const QStringList lines = QString::fromUtf8(plain.Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(states.size(), cases.size());
    QCOMPARE(lines.size(), cases.size());
    for (int i = 0; i < cases.size(); ++i) {
        // Newest first.
        const TSent& c = cases[cases.size() - 1 - i];
        QCOMPARE(Field(json.Out, "text")[i].left(c.Text.size()), c.Text);
        QCOMPARE(states[i], c.State);
        // The Sent list's words, in JSON and in the plain listing.
        QVERIFY2(Field(json.Out, "state_text")[i].startsWith(c.Plain), qPrintable(Field(json.Out, "state_text")[i]));
        const QString plainState = lines[i].section(QLatin1Char('\t'), 4, 4);
        QVERIFY2(plainState.startsWith(c.Plain), qPrintable(lines[i]));
    }
}

QTEST_GUILESS_MAIN(TestCtlMessages)
#include "tst_ctl_messages.moc"
