// Export: CSV quoting read back by an RFC 4180 reader, JSON fields, plain text; a file is
// replaced only when the new one is complete.

#include "base/Errors.h"
#include "core/MessageExport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Ombrelay;

namespace
{

// A strict RFC 4180 reader: records end in CRLF, quoted fields may hold anything.
QList<QStringList> ReadCsv(const QString& Text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < Text.size() && Text[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < Text.size() && Text[i + 1] == QLatin1Char('\n')) {
            record << field;
            records << record;
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

TMessageRecord Message(const QString& Text, bool Outgoing)
{
    TMessageRecord r;
    r.Id = Outgoing ? 7 : 3;
    r.Outgoing = Outgoing;
    r.Device = QStringLiteral("sim0");
    r.Number = QStringLiteral("+4917011111");
    r.Name = Outgoing ? QString() : QStringLiteral("Anna, \"the\" neighbour");
    r.Text = Text;
    r.HasNetworkTime = !Outgoing;
    r.NetworkTime = QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC).toSecsSinceEpoch();
    r.StoredTime = FromQDateTime(QDateTime(QDate(2026, 12, 9), QTime(13, 0, 5)));
    r.State = Outgoing ? QStringLiteral("failed") : QStringLiteral("received");
    r.Read = Outgoing;
    return r;
}

} // namespace

class TestMessageExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void csvReadsBack_data();
    void csvReadsBack();
    void jsonAndText();
    void unwritableFileKeepsOld();
};

void TestMessageExport::csvReadsBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "hello";
    QTest::newRow("comma") << "a, b";
    QTest::newRow("quotes") << "say \"hi\"";
    QTest::newRow("line breaks") << "one\ntwo\r\nthree\r";
    QTest::newRow("leading quote and spaces") << "\" spaced \"";
    QTest::newRow("not Latin") << "\u4f60\u597d \U0001F600";
    QTest::newRow("empty") << "";
}

void TestMessageExport::csvReadsBack()
{
    QFETCH(QString, text);
    const QList<TMessageRecord> messages{Message(text, false), Message(text, true)};
    const QList<QStringList> records = ReadCsv(QString::fromUtf8(TMessageExport::Write(messages, TExportFormat::Csv)));
    QCOMPARE(records.size(), 3);
    QCOMPARE(records[0], (QStringList{"id", "direction", "number", "name", "text", "network_time", "stored_time",
                                      "state", "read", "device"}));
    QCOMPARE(records[1].size(), 10);
    QCOMPARE(records[1][4], text);
    QCOMPARE(records[1][3], QStringLiteral("Anna, \"the\" neighbour"));
    QCOMPARE(records[1][5], QStringLiteral("2026-12-09T12:00:00Z"));
    QCOMPARE(records[2][1], QStringLiteral("out"));
    QCOMPARE(records[2][5], QString());
    QCOMPARE(records[2][7], QStringLiteral("failed"));
}

void TestMessageExport::jsonAndText()
{
    const QList<TMessageRecord> messages{Message(QStringLiteral("<b>line</b>\nnext"), false)};
    const QJsonArray array = QJsonDocument::fromJson(TMessageExport::Write(messages, TExportFormat::Json)).array();
    QCOMPARE(array.size(), 1);
    const QJsonObject o = array[0].toObject();
    QCOMPARE(o[QStringLiteral("text")].toString(), QStringLiteral("<b>line</b>\nnext"));
    QCOMPARE(o[QStringLiteral("read")].toBool(), false);
    QCOMPARE(QDateTime::fromString(o[QStringLiteral("stored_time")].toString(), Qt::ISODate),
             QDateTime(QDate(2026, 12, 9), QTime(13, 0, 5)));

    const QString text = QString::fromUtf8(TMessageExport::Write(messages, TExportFormat::Text));
    QVERIFY(text.contains(QStringLiteral("From: Anna, \"the\" neighbour (+4917011111)")));
    QVERIFY(text.contains(QStringLiteral("Network time: 2026-12-09T12:00:00Z")));
    QVERIFY(text.contains(QStringLiteral("\n<b>line</b>\nnext\n")));
}

void TestMessageExport::unwritableFileKeepsOld()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.json"));
    TMessageExport::WriteFile(file, {Message(QStringLiteral("first"), false)}, TMessageExport::FormatOfFile(file));
    // A place that cannot take a file (a folder of that name) is reported, not passed over.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.csv")));
    QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TMessageExport::WriteFile(dir.filePath(QStringLiteral("taken.csv")), {},
                                                                       TExportFormat::Csv));
    // Written again, the file is replaced whole.
    TMessageExport::WriteFile(file, {Message(QStringLiteral("second"), false)}, TExportFormat::Json);
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray data = in.readAll();
    QVERIFY(data.contains("second"));
    QVERIFY(!data.contains("first"));
}

QTEST_GUILESS_MAIN(TestMessageExport)
#include "tst_message_export.moc"
