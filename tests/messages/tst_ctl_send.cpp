// ombrelayctl with the real program on the simulated modem: a message sent through the running
// program reaches the device and its state is printed; a send the device refuses exits 1; a long
// message the device delivered is found by a word of its third part.

#include "support/ProgramUnderTest.h"

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
}

QTEST_MAIN(TestCtlSend)
#include "tst_ctl_send.moc"
