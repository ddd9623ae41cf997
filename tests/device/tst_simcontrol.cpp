// The simulated modem from outside: its control channel through the real socket and the
// ombrelay-sim client, its scenario files, its state file, and the backend options.

#include "backends/Backend.h"
#include "base/Errors.h"
#include "platform/sim/SimControl.h"
#include "platform/sim/SimModem.h"
#include "sms/SMS.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Ombrelay;

namespace
{

QString TempBase()
{
    QString base = qEnvironmentVariable("OMBRELAY_TEST_TMP");
    return base.isEmpty() ? QDir::tempPath() : base;
}

struct TAnswer
{
    int Exit = -1;
    QString Line;
};

// Runs the client while this process's event loop serves the socket.
TAnswer Ask(const QString& Path, const QStringList& Command)
{
    QProcess p;
    p.start(QStringLiteral(OMBRELAY_SIM_CLIENT), QStringList{Path} + Command);
    QSignalSpy finished(&p, &QProcess::finished);
    if (!finished.wait(10000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).trimmed()};
}

} // namespace

class TestSimControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        InitSmsTables();
        QDir().mkpath(TempBase());
    }

    // Modems plugged in and pulled out from outside: announced to the port in that order.
    void plugCommandsThroughTheSocket()
    {
        QTemporaryDir dir(TempBase() + QStringLiteral("/simctl-XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("ctl"));
        TSimScenario s = TSimScenario::Default();
        s.DelayMs = 1;
        TSimModem modem(s);
        TSimControl control(modem, path);
        QStringList announced;
        connect(&modem, &IMbnInterfaceManager::InterfaceArrival, this,
                [&](const QString& Id) { announced << QStringLiteral("+") + Id; });
        connect(&modem, &IMbnInterfaceManager::InterfaceRemoval, this,
                [&](const QString& Id) { announced << QStringLiteral("-") + Id; });
        const QList<std::pair<QStringList, QString>> cases = {
            {{"unplug", "sim0"}, "ok"},
            {{"unplug", "sim0"}, "error sim0 is not plugged in"},
            {{"deliver", "sim0", "+49", "kept on the SIM"}, "ok 1"},
            {{"plug", "sim0"}, "ok"},
            {{"plug", "sim0"}, "error sim0 is plugged in already"},
            {{"plug", "usb7"}, "ok"},
            {{"interfaces"}, "ok sim0 usb7"},
            {{"plug"}, "error usage: plug IFACE"},
            {{"unplug", "nosuch"}, "error no interface nosuch"},
            {{"register", "sim0", "roaming", "Red", "Net"}, "ok"},
            {{"register", "sim0", "abroad"}, "error usage: register*"},
            {{"tech", "sim0", "5g"}, "ok"},
            {{"tech", "sim0", "6g"}, "error usage: tech*"},
        };
        for (const auto& [command, answer] : cases) {
            const QString line = Ask(path, command).Line;
            if (answer.endsWith('*')) {
                QVERIFY2(line.startsWith(answer.chopped(1)), qPrintable(line));
            } else {
                QCOMPARE(line, answer);
            }
        }
        const TMbnRegistration r = modem.Registration("sim0");
        QCOMPARE(r.State, TMbnRegisterState::rsRoaming);
        QCOMPARE(r.OperatorName, QStringLiteral("Red Net"));
        QCOMPARE(r.AccessTech, TMbnAccessTech::at5GNr);
        QTRY_COMPARE(announced, QStringList({"-sim0", "+sim0", "+usb7"}));
        QCOMPARE(modem.StoredCount("sim0"), 1);
    }

    void commandsThroughTheSocket()
    {
        QTemporaryDir dir(TempBase() + QStringLiteral("/simctl-XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("ctl"));
        TSimScenario s = TSimScenario::Default();
        s.DelayMs = 1;
        TSimModem modem(s);
        TSimControl control(modem, path);
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther |
                                                  QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther),
                 QFileDevice::Permissions());

        struct TCase
        {
            QStringList Command;
            int Exit;
            QString Answer; // exact, or a prefix ending in "*"
        };
        const QList<TCase> cases = {
            {{"interfaces"}, 0, "ok sim0"},
            {{"deliver", "sim0", "+491701234567", QString(170, 'x')}, 0, "ok 2"},
            {{"deliver", "sim0", "+49170", "two  spaces", "kept"}, 0, "ok 1"},
            {{"stored", "sim0"}, 0, "ok 3"},
            {{"deliver-pdu", "sim0", "0011ZZ"}, 1, "error not PDU text*"},
            {{"deliver", "nosuch", "+49", "hi"}, 1, "error no interface nosuch"},
            {{"signal", "sim0", "17"}, 0, "ok"},
            {{"signal", "sim0", "32"}, 1, "error the signal must be*"},
            {{"state", "sim0"}, 0, "ok disconnected"},
            {{"drop", "sim0"}, 0, "ok"},
            {{"drop", "sim0", "the", "operator", "ended", "it"}, 0, "ok"},
            {{"drop"}, 1, "error usage: drop IFACE [REASON...]"},
            {{"connect-delay", "sim0", "1500"}, 0, "ok"},
            {{"connect-delay", "sim0", "3600001"}, 1, "error MS must be a whole number from 0 to 3600000"},
            {{"connect-delay", "sim0"}, 1, "error usage: connect-delay IFACE MS"},
            {{"fail", "SmsRead", "2"}, 0, "ok"},
            {{"fail", "Teleport", "1"}, 1, "error unknown operation Teleport"},
            {{"traffic", "sim0", "1000", "250"}, 0, "ok"},
            {{"sent", "sim0"}, 0, "ok"},
            {{"stored"}, 1, "error usage: stored IFACE"},
            {{"stored", "sim0", "extra"}, 1, "error usage: stored IFACE"},
            {{"reboot"}, 1, "error unknown command reboot"},
        };
        for (const TCase& c : cases) {
            const TAnswer a = Ask(path, c.Command);
            const QString what = c.Command.join(' ') + QStringLiteral(" -> ") + a.Line;
            QVERIFY2(a.Exit == c.Exit, qPrintable(what));
            if (c.Answer.endsWith('*')) {
                QVERIFY2(a.Line.startsWith(c.Answer.chopped(1)), qPrintable(what));
            } else {
                QCOMPARE(a.Line, c.Answer);
            }
        }
        // The commands reached the device.
        QCOMPARE(modem.StoredCount("sim0"), 3);
        quint32 signal = 0;
        std::shared_ptr<IMbnInterface> i;
        QCOMPARE(modem.GetInterface("sim0", i), TMbnResult(mrOk));
        QCOMPARE(i->GetSignalStrength(signal), TMbnResult(mrOk));
        QCOMPARE(signal, 17u);
        quint64 rx = 0, tx = 0;
        i->GetByteCounters(rx, tx);
        QCOMPARE(rx, 1000u);
        QCOMPARE(tx, 250u);
        std::shared_ptr<IMbnSms> sms;
        QCOMPARE(i->GetSms(sms), TMbnResult(mrOk));
        TMbnRequestId id = 0;
        QCOMPARE(sms->SmsRead(id), TMbnResult(mrFailed));
        // What the device sent shows up in "sent".
        TSmsSend send;
        send.SetTarget("+4917012");
        send.SetText("out");
        const QString pdu = send.EncodePdu().first();
        QCOMPARE(sms->SmsSendPdu(pdu, quint32(pdu.size() / 2), id), TMbnResult(mrOk));
        QTRY_COMPARE(modem.SentPdus("sim0").size(), 1);
        QCOMPARE(Ask(path, {"sent", "sim0"}).Line, QStringLiteral("ok ") + pdu);
        // A long deliver's parts carry the whole text.
        QCOMPARE(Ask(path, {"fail", "SmsRead", "0"}).Exit, 0);
        QSignalSpy read(&modem, &IMbnInterfaceManager::SmsReadComplete);
        QCOMPARE(sms->SmsRead(id), TMbnResult(mrOk));
        QVERIFY(read.wait());
        QCOMPARE(read.first().at(1).value<QList<TMbnSmsPdu>>().size(), 3);
        TSmsRecv recv;
        QVERIFY(recv.DecodePdu(read.first().at(1).value<QList<TMbnSmsPdu>>().at(2).PduData));
        QCOMPARE(recv.Text(), QStringLiteral("two  spaces kept"));
    }

    void controlPathThatIsNotASocketIsLeftAlone()
    {
        QTemporaryDir dir(TempBase() + QStringLiteral("/simctl-XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("notes.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
        f.close();
        TSimModem modem;
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSimControl control(modem, path));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
    }

    // The device's memory outlives the program: a second modem on the same state file holds
    // what the first one held, and a damaged state file is an error that changes nothing.
    void stateFile()
    {
        QTemporaryDir dir(TempBase() + QStringLiteral("/simstate-XXXXXX"));
        const QString state = dir.filePath(QStringLiteral("modem.json"));
        TSimScenario s = TSimScenario::Default();
        s.DelayMs = 1;
        {
            TSimModem modem(s, state);
            modem.Deliver("sim0", "+4917012", "first");
            modem.Deliver("sim0", "+4917012", "second");
        }
        QVERIFY(QFile::exists(state));
        QVERIFY(!QFile::exists(state + ".tmp"));
        QCOMPARE(QFileInfo(state).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFileDevice::Permissions());
        {
            TSimModem modem(s, state);
            QCOMPARE(modem.StoredCount("sim0"), 2);
            // A delete reaches the file too.
            std::shared_ptr<IMbnInterface> i;
            modem.GetInterface("sim0", i);
            std::shared_ptr<IMbnSms> sms;
            i->GetSms(sms);
            TMbnRequestId id = 0;
            QSignalSpy deleted(&modem, &IMbnInterfaceManager::SmsDeleteComplete);
            sms->SmsDeleteIndex(0, id);
            QVERIFY(deleted.wait());
        }
        QCOMPARE(TSimModem(s, state).StoredCount("sim0"), 1);

        QFile f(state);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{\"interfaces\": {\"sim0\": {\"pdus\": [{\"index\": 0, \"pdu\": \"XYZ\"}]}}}");
        f.close();
        try {
            TSimModem modem(s, state);
            QFAIL("a damaged state file was taken");
        } catch (const EOmbrelayError& e) {
            QVERIFY2(e.Message().contains(state), qPrintable(e.Message()));
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("XYZ"));
    }

    void scenarioFiles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error"); // empty: valid
        QTest::newRow("two interfaces, one in message mode") << QByteArray(R"({"delayMs": 5, "interfaces": [
                   {"id": "a", "capabilities": {"dataClass": "0x35", "model": "X"}, "messages": [
                       {"number": "+4917012", "text": "hello", "time": "2026-01-02T03:04:05+01:00"}]},
                   {"id": "b", "smsMode": "message", "capacity": 3, "readBatch": 1,
                    "registration": "roaming", "connectDelayMs": 250,
                    "messages": [{"number": "+49", "text": "whole"}]}]})")
                                                             << QString();
        QTest::newRow("not JSON") << QByteArray("{interfaces") << QStringLiteral("not JSON");
        QTest::newRow("misspelt key") << QByteArray(R"({"interfaces": [{"ID": "a"}]})")
                                      << QStringLiteral("unknown key \"ID\"");
        QTest::newRow("same id twice") << QByteArray(R"({"interfaces": [{"id": "a"}, {"id": "a"}]})")
                                       << QStringLiteral("two interfaces have the id \"a\"");
        QTest::newRow("bad PDU") << QByteArray(R"({"interfaces": [{"messages": ["ABC"]}]})")
                                 << QStringLiteral("is not PDU text");
        QTest::newRow("more messages than room")
            << QByteArray(R"({"interfaces": [{"capacity": 1, "messages": ["0011", "0022"]}]})")
            << QStringLiteral("more initial messages than");
        QTest::newRow("unknown mode") << QByteArray(R"({"interfaces": [{"smsMode": "text"}]})")
                                      << QStringLiteral("\"smsMode\" must be");
        QTest::newRow("unknown registration") << QByteArray(R"({"interfaces": [{"registration": "abroad"}]})")
                                              << QStringLiteral("\"registration\" must be");
        QTest::newRow("connect delay beyond an hour") << QByteArray(R"({"interfaces": [{"connectDelayMs": 3600001}]})")
                                                      << QStringLiteral("\"connectDelayMs\" must be at most 3600000");
    }
    void scenarioFiles()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        if (error.isEmpty()) {
            const TSimScenario s = TSimScenario::Parse(json, "test.json");
            QCOMPARE(s.Interfaces.size(), 2);
            QCOMPARE(s.Interfaces[0].Caps.dataClass, 0x35u);
            QCOMPARE(s.Interfaces[1].SmsFormat, TMbnSmsFormat::sfMessage);
            QCOMPARE(s.Interfaces[1].Caps.smsCaps, quint32(mscTextReceive | mscTextSend));
            TSimModem modem(s);
            QCOMPARE(modem.StoredCount("a"), 1);
            QCOMPARE(modem.StoredCount("b"), 1);
            QCOMPARE(s.Interfaces[1].ConnectDelayMs, 250);
            QCOMPARE(modem.Registration("a").State, TMbnRegisterState::rsHome);
            QCOMPARE(modem.Registration("b").State, TMbnRegisterState::rsRoaming);
            return;
        }
        try {
            TSimScenario::Parse(json, "test.json");
            QFAIL("accepted");
        } catch (const EOmbrelayError& e) {
            QVERIFY2(e.Message().startsWith("Simulated modem scenario test.json: "), qPrintable(e.Message()));
            QVERIFY2(e.Message().contains(error), qPrintable(e.Message()));
        }
    }

    // The example scenario that ships with the program stays loadable.
    void shippedScenario()
    {
        const TSimScenario s =
            TSimScenario::Load(QStringLiteral(OMBRELAY_SOURCE_DIR "/app/platform/sim/scenarios/two-modems.json"));
        QCOMPARE(s.Interfaces.size(), 2);
        TSimModem modem(s);
        QCOMPARE(modem.StoredCount("sim-gsm"), 1);
        QCOMPARE(modem.StoredCount("sim-text"), 1);
    }

    void backendOptions()
    {
        QStringList args = {"ombrelay", "--backend=sim", "-hide", "--sim-state", "/tmp/x.json", "--sim-control=/tmp/c"};
        const TBackendOptions o = ParseBackendOptions(args);
        QCOMPARE(args, QStringList({"ombrelay", "-hide"}));
        QCOMPARE(o.Backend, QStringLiteral("sim"));
        QCOMPARE(o.SimState, QStringLiteral("/tmp/x.json"));
        QCOMPARE(o.SimControl, QStringLiteral("/tmp/c"));
        QVERIFY(o.SimScenario.isEmpty());
        QStringList bad = {"ombrelay", "--backend=teleport"};
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, ParseBackendOptions(bad));
        QStringList missing = {"ombrelay", "--sim-scenario"};
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, ParseBackendOptions(missing));
        // The simulated modem with its default scenario: one modem.
        TBackendOptions sim;
        sim.Backend = QStringLiteral("sim");
        const auto backend = CreateBackend(sim);
        QCOMPARE(backend->Name(), QStringLiteral("sim"));
        QList<std::shared_ptr<IMbnInterface>> interfaces;
        QCOMPARE(backend->GetInterfaces(interfaces), TMbnResult(mrOk));
        QCOMPARE(interfaces.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSimControl)
#include "tst_simcontrol.moc"
