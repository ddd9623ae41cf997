// The simulated modem's state file on its own: what is written reads back the same, a damaged file
// is refused whole with the reason, and a write that fails leaves the previous file as it was.

#include "base/Errors.h"
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

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FFile;
};

QTEST_GUILESS_MAIN(TestSimState)
#include "tst_simstate.moc"
