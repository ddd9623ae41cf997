// The simulated modem's state file on its own: what is written reads back the same, a damaged file
// is refused whole with the reason, and a write that fails leaves the previous file as it was.
// Its journal: a crash that cuts the last change short loses only that change, a journal left
// from before the last snapshot is not replayed onto it, and a damaged earlier change is refused.

#include "base/Errors.h"
#include "platform/sim/SimInterface.h"
#include "platform/sim/SimModem.h"
#include "platform/sim/SimStateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Ombrelay;

namespace
{

QString TempBase()
{
    const QString base = qEnvironmentVariable("OMBRELAY_TEST_TMP", QDir::tempPath());
    QDir().mkpath(base);
    return base;
}

TMbnSmsMessage Message(const QString& Key, const QString& Number, const QDateTime& Time, const QString& Text)
{
    TMbnSmsMessage m;
    m.Key = Key;
    m.Number = Number;
    m.TimeStamp = Time;
    m.Text = Text;
    return m;
}

TSimChange PduChange(TSimChange::TKind Kind, quint32 Index, const QString& Pdu = QString())
{
    TSimChange c;
    c.Kind = Kind;
    c.InterfaceID = QStringLiteral("sim0");
    c.Index = Index;
    c.Pdu = Pdu;
    return c;
}

TSimChange MessageChange(TSimChange::TKind Kind, const QString& Key, quint64 NextKey = 0)
{
    TSimChange c;
    c.Kind = Kind;
    c.InterfaceID = QStringLiteral("msg0");
    c.Message = Message(Key, QStringLiteral("+4917012"), QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0), QTimeZone(3600)),
                        QStringLiteral("text of ") + Key);
    c.NextKey = NextKey;
    return c;
}

// Two interfaces, one of each kind, with a little in both stores.
TSimStoresById BaseStores()
{
    TSimStoresById stores;
    stores[QStringLiteral("sim0")].Pdus = {{0, QStringLiteral("00")}, {1, QStringLiteral("01")}};
    TSimStores& m = stores[QStringLiteral("msg0")];
    m.Messages << MessageChange(TSimChange::AddMessage, QStringLiteral("m1")).Message;
    m.NextKey = 1;
    return stores;
}

QByteArray ReadAll(const QString& Name)
{
    QFile f(Name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& Name, const QByteArray& Data)
{
    QFile f(Name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(Data) == Data.size();
}

} // namespace

class TestSimState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>(TempBase() + QStringLiteral("/simstate-XXXXXX"));
        QVERIFY(FDir->isValid());
        FFile = FDir->filePath(QStringLiteral("modem.json"));
    }

    void roundTrip()
    {
        TSimStoresById written;
        written[QStringLiteral("pdu0")].Pdus = {{0, QStringLiteral("0011AB")},
                                                {7, QStringLiteral("ffee")},
                                                {4294967295u, QStringLiteral("00")}};
        TSimStores& m = written[QStringLiteral("msg0")];
        m.Messages << Message(QStringLiteral("m3"), QStringLiteral("+4917012"),
                              QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0), QTimeZone(7200)),
                              QStringLiteral("first \"quoted\"\nline two, ünïcödé"))
                   << Message(QStringLiteral("m9"), QStringLiteral("12345"),
                              QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59), QTimeZone(-5 * 3600)), QString());
        m.NextKey = 9;
        written[QStringLiteral("empty")];

        const TSimStateFile file(FFile);
        QVERIFY(!file.Exists());
        file.Write(written);
        QVERIFY(file.Exists());
        QVERIFY(!QFile::exists(FFile + QStringLiteral(".tmp")));
        // Messages are private: only the owner reads them.
        QCOMPARE(QFileInfo(FFile).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFileDevice::Permissions());

        const TSimStoresById read = file.Read();
        QCOMPARE(read.size(), written.size());
        for (const auto& [id, stores] : written) {
            QVERIFY2(read.count(id), qPrintable(id));
            const TSimStores& r = read.at(id);
            QCOMPARE(r.Pdus, stores.Pdus);
            QCOMPARE(r.NextKey, stores.NextKey);
            QCOMPARE(r.Messages.size(), stores.Messages.size());
            for (qsizetype n = 0; n < r.Messages.size(); ++n) {
                QCOMPARE(r.Messages[n].Key, stores.Messages[n].Key);
                QCOMPARE(r.Messages[n].Number, stores.Messages[n].Number);
                QCOMPARE(r.Messages[n].Text, stores.Messages[n].Text);
                QCOMPARE(r.Messages[n].TimeStamp, stores.Messages[n].TimeStamp);
                // The sender's offset stays: the inbox shows the time where it was sent.
                QCOMPARE(r.Messages[n].TimeStamp.offsetFromUtc(), stores.Messages[n].TimeStamp.offsetFromUtc());
            }
        }

        // Written again with less, nothing of the old content remains.
        file.Write({{QStringLiteral("pdu0"), TSimStores()}});
        const TSimStoresById again = file.Read();
        QCOMPARE(again.size(), size_t(1));
        QVERIFY(again.at(QStringLiteral("pdu0")).Pdus.empty());
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("not JSON") << QByteArray("{\"interfaces\": ") << QStringLiteral("not a state file");
        QTest::newRow("an array") << QByteArray("[]") << QStringLiteral("not a state file");
        QTest::newRow("PDU not hexadecimal")
            << QByteArray(R"({"interfaces": {"sim0": {"pdus": [{"index": 0, "pdu": "XYZ1"}]}}})")
            << QStringLiteral("a stored PDU of sim0 is damaged");
        QTest::newRow("PDU of half an octet")
            << QByteArray(R"({"interfaces": {"sim0": {"pdus": [{"index": 0, "pdu": "001"}]}}})")
            << QStringLiteral("a stored PDU of sim0 is damaged");
        QTest::newRow("PDU empty") << QByteArray(R"({"interfaces": {"sim0": {"pdus": [{"index": 0, "pdu": ""}]}}})")
                                   << QStringLiteral("a stored PDU of sim0 is damaged");
        QTest::newRow("index missing") << QByteArray(R"({"interfaces": {"sim0": {"pdus": [{"pdu": "00"}]}}})")
                                       << QStringLiteral("a stored PDU of sim0 is damaged");
        QTest::newRow("index negative") << QByteArray(
                                               R"({"interfaces": {"sim0": {"pdus": [{"index": -1, "pdu": "00"}]}}})")
                                        << QStringLiteral("a stored PDU of sim0 is damaged");
        QTest::newRow("index beyond 32 bits")
            << QByteArray(R"({"interfaces": {"sim0": {"pdus": [{"index": 4294967296, "pdu": "00"}]}}})")
            << QStringLiteral("a stored PDU of sim0 is damaged");
        QTest::newRow("index twice")
            << QByteArray(
                   R"({"interfaces": {"sim0": {"pdus": [{"index": 3, "pdu": "00"}, {"index": 3, "pdu": "11"}]}}})")
            << QStringLiteral("a stored PDU of sim0 is damaged");
        QTest::newRow("message without key")
            << QByteArray(
                   R"({"interfaces": {"b": {"messages": [{"number": "1", "time": "2024-05-01T10:00:00Z", "text": ""}]}}})")
            << QStringLiteral("a stored message of b is damaged");
        QTest::newRow("message without number")
            << QByteArray(
                   R"({"interfaces": {"b": {"messages": [{"key": "m1", "time": "2024-05-01T10:00:00Z", "text": ""}]}}})")
            << QStringLiteral("a stored message of b is damaged");
        QTest::newRow("message with a bad time")
            << QByteArray(R"({"interfaces": {"b": {"messages": [{"key": "m1", "number": "1", "time": "yesterday"}]}}})")
            << QStringLiteral("a stored message of b is damaged");
        QTest::newRow("counter negative") << QByteArray(R"({"interfaces": {"b": {"nextKey": -3}}})")
                                          << QStringLiteral("the message counter of b is damaged");
        QTest::newRow("counter beyond any key") << QByteArray(R"({"interfaces": {"b": {"nextKey": 1e300}}})")
                                                << QStringLiteral("the message counter of b is damaged");
    }
    // A damaged file is refused whole, naming the file and what is wrong; the file stays as it is.
    void damaged()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        {
            QFile f(FFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(json);
        }
        try {
            TSimStateFile(FFile).Read();
            QFAIL("a damaged state file was taken");
        } catch (const EOmbrelayError& e) {
            QVERIFY2(e.Message().contains(FFile), qPrintable(e.Message()));
            QVERIFY2(e.Message().contains(error), qPrintable(e.Message()));
        }
        QFile f(FFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), json);
    }

    // What a file may leave out, and the largest values it may hold.
    void sparse()
    {
        QFile f(FFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"interfaces": {"a": {}, "b": {"pdus": [{"index": 4294967295, "pdu": "00"}],
                    "nextKey": 9007199254740992}}})");
        f.close();
        const TSimStoresById read = TSimStateFile(FFile).Read();
        QCOMPARE(read.size(), size_t(2));
        QVERIFY(read.at(QStringLiteral("a")).Pdus.empty());
        QCOMPARE(read.at(QStringLiteral("a")).NextKey, quint64(0));
        QCOMPARE(read.at(QStringLiteral("b")).Pdus.at(4294967295u), QStringLiteral("00"));
        QCOMPARE(read.at(QStringLiteral("b")).NextKey, quint64(9007199254740992ull));

        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{}");
        f.close();
        QVERIFY(TSimStateFile(FFile).Read().empty());
    }

    void unreadable()
    {
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSimStateFile(FFile).Read());
        QVERIFY(QDir().mkpath(FFile));
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSimStateFile(FFile).Read());
    }

    // The new state goes beside the file first: when that fails the old state is still whole.
    void failedWriteKeepsOld()
    {
        const TSimStateFile file(FFile);
        TSimStoresById stores;
        stores[QStringLiteral("sim0")].Pdus = {{1, QStringLiteral("0A")}};
        file.Write(stores);
        QFile f(FFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();

        // The temporary file's name taken by a folder: it cannot be created.
        QVERIFY(QDir().mkpath(FFile + QStringLiteral(".tmp")));
        stores[QStringLiteral("sim0")].Pdus[2] = QStringLiteral("0B");
        try {
            file.Write(stores);
            QFAIL("a failed write was reported as done");
        } catch (const EOmbrelayError& e) {
            QVERIFY2(e.Message().contains(QStringLiteral("cannot be written")), qPrintable(e.Message()));
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QCOMPARE(file.Read().at(QStringLiteral("sim0")).Pdus.size(), size_t(1));
    }

    // The journal as a crash may leave it: the last change cut anywhere (or followed by the
    // zeros of blocks the disk never wrote) is dropped, every change before it is kept.
    void journalAfterCrash_data()
    {
        QTest::addColumn<int>("Cut");
        QTest::addColumn<QByteArray>("Tail");
        QTest::addColumn<bool>("LastKept");

        QTest::newRow("whole") << 0 << QByteArray() << true;
        QTest::newRow("last change without its line end") << 1 << QByteArray() << false;
        QTest::newRow("last change cut in the middle") << 12 << QByteArray() << false;
        QTest::newRow("last change cut to one byte") << -1 << QByteArray() << false;
        QTest::newRow("zeros after the last change") << 0 << QByteArray(40, '\0') << true;
        QTest::newRow("last change cut, zeros after it") << 12 << QByteArray(40, '\0') << false;
        QTest::newRow("last line overwritten by zeros, line end kept") << -2 << QByteArray("\n") << false;
    }

    void journalAfterCrash()
    {
        QFETCH(int, Cut);
        QFETCH(QByteArray, Tail);
        QFETCH(bool, LastKept);

        {
            TSimStateFile file(FFile);
            file.Write(BaseStores());
            // One call with two changes, then one change per call, as the modem records them.
            file.Append({PduChange(TSimChange::AddPdu, 2, QStringLiteral("02")), PduChange(TSimChange::RemovePdu, 0)});
            file.Append({MessageChange(TSimChange::AddMessage, QStringLiteral("m2"), 2)});
            file.Append({MessageChange(TSimChange::RemoveMessage, QStringLiteral("m1"))});
            file.Append({PduChange(TSimChange::AddPdu, 3, QStringLiteral("0303"))});
        }
        const QString journalName = FFile + QStringLiteral(".journal");
        QByteArray journal = ReadAll(journalName);
        QVERIFY(journal.endsWith('\n'));
        const qsizetype lastStart = journal.lastIndexOf('\n', journal.size() - 2) + 1;
        if (Cut == -1) {
            journal.truncate(lastStart + 1);
        } else if (Cut == -2) {
            journal = journal.left(lastStart) + QByteArray(journal.size() - lastStart - 1, '\0');
        } else {
            journal.chop(Cut);
        }
        QVERIFY(WriteAll(journalName, journal + Tail));

        const TSimStoresById read = TSimStateFile(FFile).Read();
        std::map<quint32, QString> pdus{{1, QStringLiteral("01")}, {2, QStringLiteral("02")}};
        if (LastKept) {
            pdus[3] = QStringLiteral("0303");
        }
        QCOMPARE(read.at(QStringLiteral("sim0")).Pdus, pdus);
        const TSimStores& m = read.at(QStringLiteral("msg0"));
        QCOMPARE(m.Messages.size(), qsizetype(1));
        QCOMPARE(m.Messages[0].Key, QStringLiteral("m2"));
        QCOMPARE(m.Messages[0].Text, QStringLiteral("text of m2"));
        QCOMPARE(m.Messages[0].TimeStamp,
                 MessageChange(TSimChange::AddMessage, QStringLiteral("m2")).Message.TimeStamp);
        QCOMPARE(m.NextKey, quint64(2));

        // Started again on it: the torn line goes, and what follows is kept.
        {
            TSimStateFile file(FFile);
            file.Write(read);
            file.Append({PduChange(TSimChange::AddPdu, 9, QStringLiteral("09"))});
        }
        pdus[9] = QStringLiteral("09");
        QCOMPARE(TSimStateFile(FFile).Read().at(QStringLiteral("sim0")).Pdus, pdus);
    }

    // A crash between the snapshot's rename and the journal's: the journal still there is of
    // the snapshot before, whose changes the new one holds; replayed, a removed entry would
    // come back.
    void journalOfEarlierSnapshotIgnored()
    {
        TSimStateFile file(FFile);
        file.Write(BaseStores());
        file.Append({PduChange(TSimChange::AddPdu, 2, QStringLiteral("02"))});
        const QByteArray oldJournal = ReadAll(FFile + QStringLiteral(".journal"));

        TSimStoresById now = file.Read();
        QCOMPARE(now.at(QStringLiteral("sim0")).Pdus.size(), size_t(3));
        now[QStringLiteral("sim0")].Pdus.erase(2);
        file.Write(now);
        QVERIFY(WriteAll(FFile + QStringLiteral(".journal"), oldJournal));

        const TSimStoresById read = TSimStateFile(FFile).Read();
        QCOMPARE(read.at(QStringLiteral("sim0")).Pdus, now.at(QStringLiteral("sim0")).Pdus);
    }

    // A damaged change with more after it is no crash's doing: the file is refused whole.
    void damagedJournal_data()
    {
        QTest::addColumn<QByteArray>("Line");
        QTest::newRow("not JSON") << QByteArray("{\"if\": \"sim0\", \"op");
        QTest::newRow("unknown change") << QByteArray(R"({"if": "sim0", "op": "explode"})");
        QTest::newRow("PDU not hexadecimal")
            << QByteArray(R"({"if": "sim0", "op": "addPdu", "index": 5, "pdu": "xy"})");
        QTest::newRow("negative index") << QByteArray(R"({"if": "sim0", "op": "removePdu", "index": -1})");
        QTest::newRow("message without time")
            << QByteArray(R"({"if": "msg0", "op": "addMessage", "key": "m5", "number": "1", "nextKey": 5})");
    }

    void damagedJournal()
    {
        QFETCH(QByteArray, Line);
        {
            TSimStateFile file(FFile);
            file.Write(BaseStores());
            file.Append({PduChange(TSimChange::AddPdu, 2, QStringLiteral("02"))});
        }
        const QString journalName = FFile + QStringLiteral(".journal");
        QVERIFY(WriteAll(journalName, ReadAll(journalName) + Line + "\n" +
                                          R"({"if": "sim0", "op": "removePdu", "index": 0})" + "\n"));
        try {
            TSimStateFile(FFile).Read();
            QFAIL("a damaged journal was taken");
        } catch (const EOmbrelayError& e) {
            QVERIFY2(e.Message().contains(FFile), qPrintable(e.Message()));
            QVERIFY2(e.Message().contains(QLatin1String("journal")), qPrintable(e.Message()));
        }
    }

    // The modem across starts, with enough traffic for its journal to be folded into new
    // snapshots several times: a second modem on the file holds exactly what the first one had
    // answered, and the journal stays within the size of the snapshot.
    void modemKeepsWhatItAnswered_data()
    {
        QTest::addColumn<bool>("MessageMode");
        QTest::newRow("PDU mode") << false;
        QTest::newRow("message mode") << true;
    }

    void modemKeepsWhatItAnswered()
    {
        QFETCH(bool, MessageMode);
        constexpr int kDelivered = 1200;
        TSimScenario s = TSimScenario::Default();
        s.DelayMs = 0;
        s.Interfaces[0].Pdus.clear();
        s.Interfaces[0].Messages.clear();
        s.Interfaces[0].Capacity = kDelivered;
        s.Interfaces[0].SmsFormat = MessageMode ? TMbnSmsFormat::sfMessage : TMbnSmsFormat::sfPdu;
        const QString id = s.Interfaces[0].InterfaceID;
        const QDateTime stamp(QDate(2025, 3, 1), QTime(8, 0, 0), QTimeZone(3600));

        TSimStoresById expected;
        {
            TSimModem modem(s, FFile);
            for (int n = 0; n < kDelivered; ++n) {
                QCOMPARE(modem.Deliver(id, QStringLiteral("+4917%1").arg(n), QStringLiteral("text %1").arg(n), stamp),
                         1);
            }
            // Every third one deleted through the port, as a program clears what it stored.
            std::shared_ptr<IMbnInterface> i;
            std::shared_ptr<IMbnSms> sms;
            QVERIFY(MbnSucceeded(modem.GetInterface(id, i)) && MbnSucceeded(i->GetSms(sms)));
            const TSimStores before = modem.Find(id)->Stores();
            int asked = 0;
            if (MessageMode) {
                for (qsizetype n = 0; n < before.Messages.size(); n += 3, ++asked) {
                    TMbnRequestId request = 0;
                    QVERIFY(MbnSucceeded(sms->SmsDeleteMessage(before.Messages[n].Key, request)));
                }
            } else {
                int n = 0;
                for (const auto& entry : before.Pdus) {
                    if (n++ % 3 == 0) {
                        TMbnRequestId request = 0;
                        QVERIFY(MbnSucceeded(sms->SmsDeleteIndex(entry.first, request)));
                        ++asked;
                    }
                }
            }
            QTRY_COMPARE_WITH_TIMEOUT(modem.PendingEvents(), 0, 20000);
            QCOMPARE(modem.StoredCount(id), kDelivered - asked);
            // One more after the deletes: it takes the lowest free index, as a modem does.
            QCOMPARE(modem.Deliver(id, QStringLiteral("+4999"), QStringLiteral("last"), stamp), 1);
            QTRY_COMPARE_WITH_TIMEOUT(modem.PendingEvents(), 0, 5000);
            expected[id] = modem.Find(id)->Stores();
            QVERIFY(QFileInfo(FFile + QStringLiteral(".journal")).size() <=
                    qMax(QFileInfo(FFile).size(), qint64(64 * 1024)) + 1024);
        }
        // As a kill leaves it: nothing ran at the end.
        const TSimStoresById read = TSimStateFile(FFile).Read();
        TSimModem again(s, FFile);
        for (const TSimStores& r : std::initializer_list<TSimStores>{read.at(id), again.Find(id)->Stores()}) {
            const TSimStores& e = expected.at(id);
            QCOMPARE(r.Pdus, e.Pdus);
            QCOMPARE(r.NextKey, e.NextKey);
            QCOMPARE(r.Messages.size(), e.Messages.size());
            for (qsizetype n = 0; n < r.Messages.size(); ++n) {
                QCOMPARE(r.Messages[n].Key, e.Messages[n].Key);
                QCOMPARE(r.Messages[n].Text, e.Messages[n].Text);
            }
        }
    }

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FFile;
};

QTEST_GUILESS_MAIN(TestSimState)
#include "tst_simstate.moc"
