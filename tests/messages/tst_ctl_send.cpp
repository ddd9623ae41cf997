// ombrelayctl with the real program on the simulated modem: a message sent through the running
// program reaches the device and its state is printed; a send the device refuses exits 1; a long
// message the device delivered is found by a word of its third part and exported joined.

#include "support/ProgramUnderTest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

using namespace Ombrelay;

namespace
{

int Ctl(const TProgram& Program, const QStringList& Args, QString* Out = nullptr)
{
    int code = -1;
    const QString out = Run(QStringLiteral(OMBRELAY_CTL), Args, &code, Program.Env(), 90000);
    if (Out) {
        *Out = out;
    }
    return code;
}

} // namespace

class TestCtlSend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { EndProcesses({&FXvfb}); }
    void sendReachesDeviceAndSearchFindsLongMessage();
    void waitDelivery_data();
    void waitDelivery();

private:
    QString FDisplay;
    QProcess FXvfb;
};

void TestCtlSend::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        QSKIP("Xvfb is not installed (scripts/install-deps.sh)");
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 630), "no X server could be started");
}

void TestCtlSend::sendReachesDeviceAndSearchFindsLongMessage()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start({QStringLiteral("-hide")}));

    QString out;
    QCOMPARE(Ctl(program,
                 {QStringLiteral("messages"), QStringLiteral("send"), QStringLiteral("+4917055555"),
                  QStringLiteral("Sent from a script")},
                 &out),
             0);
    QCOMPARE(out, QStringLiteral("sent"));
    const QStringList sent = program.Sim(QStringLiteral("sent sim0")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(sent.size(), 2); // "ok" and one PDU
    QCOMPARE(Ctl(program,
                 {QStringLiteral("messages"), QStringLiteral("list"), QStringLiteral("--sent"),
                  QStringLiteral("--json")},
                 &out),
             0);
    const QJsonArray listed = QJsonDocument::fromJson(out.toUtf8()).array();
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].toObject()[QStringLiteral("text")].toString(), QStringLiteral("Sent from a script"));
    QCOMPARE(listed[0].toObject()[QStringLiteral("state")].toString(), QStringLiteral("sent"));

    // The device refuses the next submission.
    QVERIFY(program.Sim(QStringLiteral("fail SmsSendPdu 1")).startsWith(QStringLiteral("ok")));
    QCOMPARE(Ctl(program,
                 {QStringLiteral("messages"), QStringLiteral("send"), QStringLiteral("+4917055555"),
                  QStringLiteral("Refused")},
                 &out),
             1);
    QCOMPARE(out, QStringLiteral("failed"));

    // A long message delivered in three parts is found by a word of its third part.
    const QString longText = QString(150, QLatin1Char('p')) + QStringLiteral(" one ") + QString(150, QLatin1Char('q')) +
                             QStringLiteral(" two ") + QString(60, QLatin1Char('r')) + QStringLiteral(" kingfisher");
    QVERIFY(program.Sim(QStringLiteral("deliver sim0 +4917066666 ") + longText).startsWith(QStringLiteral("ok")));
    QVERIFY(WaitFor(
        [&] {
            Ctl(program,
                {QStringLiteral("messages"), QStringLiteral("search"), QStringLiteral("kingfisher"),
                 QStringLiteral("--json")},
                &out);
            const QJsonArray found = QJsonDocument::fromJson(out.toUtf8()).array();
            return found.size() == 1 && found[0].toObject()[QStringLiteral("text")].toString() == longText;
        },
        15000));
    QCOMPARE(program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), QStringLiteral("3"));

    // Exported from what the program stored: the long message once and joined, with both of its
    // times; the sent message with its state.
    const QString file = home.filePath(QStringLiteral("export.json"));
    QCOMPARE(Ctl(program, {QStringLiteral("messages"), QStringLiteral("export"), QStringLiteral("--format"),
                           QStringLiteral("json"), QStringLiteral("--out"), file}),
             0);
    QFile exported(file);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    QStringList rows;
    for (const QJsonValue& v : QJsonDocument::fromJson(exported.readAll()).array()) {
        const QJsonObject o = v.toObject();
        const bool incoming = o[QStringLiteral("direction")].toString() == QLatin1String("in");
        QVERIFY2(o[QStringLiteral("network_time")].isString() == incoming &&
                     !o[QStringLiteral("stored_time")].toString().isEmpty(),
                 qPrintable(QJsonDocument(o).toJson()));
        rows << o[QStringLiteral("direction")].toString() + QLatin1Char(' ') + o[QStringLiteral("number")].toString() +
                    QLatin1Char(' ') + o[QStringLiteral("state")].toString() + QLatin1Char(' ') +
                    QString::number(o[QStringLiteral("text")].toString().size());
    }
    rows.sort();
    // The refused send was answered "failed" and never recorded.
    QCOMPARE(rows, (QStringList{QStringLiteral("in +4917066666 received %1").arg(longText.size()),
                                QStringLiteral("out +4917055555 sent 18")}));
}

// --wait-delivery answers with the network's report on a long message: delivered once every part
// is, failed with the reason when one part is not, and a time-out when no report comes.
void TestCtlSend::waitDelivery_data()
{
    QTest::addColumn<QStringList>("outcomes"); // per part, "" for none
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("delivered") << QStringList{"delivered", "delivered"} << 0 << "delivered"
                               << "";
    QTest::newRow("one part failed") << QStringList{"delivered", "failed"} << 1 << "failed"
                                     << "failed: validity period expired";
    QTest::newRow("one part without report") << QStringList{"delivered", ""} << 1 << "sent"
                                             << "no delivery report within 4 seconds; the message is delivered 1 of 2";
}

void TestCtlSend::waitDelivery()
{
    QFETCH(QStringList, outcomes);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start({QStringLiteral("-hide")}));
    QProcess ctl;
    ctl.setProcessEnvironment(program.Env());
    const QString text = QString(200, QLatin1Char('w'));
    ctl.start(QStringLiteral(OMBRELAY_CTL),
              {QStringLiteral("messages"), QStringLiteral("send"), QStringLiteral("--wait-delivery"),
               QStringLiteral("--timeout"), QStringLiteral("4"), QStringLiteral("+4917077777"), text});
    QStringList sent;
    QVERIFY(WaitFor(
        [&] {
            sent = program.Sim(QStringLiteral("sent sim0")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            return sent.size() == 3;
        },
        15000));
    for (int part = 0; part < 2; ++part) {
        // The send asked for a report (TP-SRR in the first octet after the service-centre
        // address); the message reference is the octet after it.
        const QString& pdu = sent[part + 1];
        const int sca = pdu.left(2).toInt(nullptr, 16);
        QVERIFY(pdu.mid(2 + 2 * sca, 2).toInt(nullptr, 16) & 0x20);
        const int reference = pdu.mid(4 + 2 * sca, 2).toInt(nullptr, 16);
        if (!outcomes[part].isEmpty()) {
            QVERIFY(program.Sim(QStringLiteral("report sim0 %1 %2").arg(reference).arg(outcomes[part]))
                        .startsWith(QStringLiteral("ok")));
        }
    }
    QVERIFY(ctl.waitForFinished(30000));
    QCOMPARE(ctl.exitCode(), code);
    QCOMPARE(QString::fromUtf8(ctl.readAllStandardOutput()).trimmed(), out);
    const QString stderrText = QString::fromUtf8(ctl.readAllStandardError());
    QVERIFY2(stderrText.contains(err), qPrintable(stderrText));
}

QTEST_MAIN(TestCtlSend)
#include "tst_ctl_send.moc"
