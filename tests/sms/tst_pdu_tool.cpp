// ombrelay-pdu as a user runs it: JSON lines for decode, PDU lines for encode, the dialog's
// counter for count, and the streaming statistics.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace
{

struct TRun
{
    int Code;
    QList<QByteArray> Lines;
    QByteArray Errors;
};

TRun Run(const QStringList& Args, const QByteArray& Input = QByteArray())
{
    QProcess p;
    p.start(qEnvironmentVariable("OMBRELAY_PDU_TOOL"), Args);
    p.write(Input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return {p.exitCode(), lines, p.readAllStandardError()};
}

QJsonObject Json(const QByteArray& Line)
{
    return QJsonDocument::fromJson(Line).object();
}

} // namespace

class TestPduTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode()
    {
        const TRun r = Run(
            {"decode", "000405812143F500009930925161958002E834", "00040G", "000405812143F500049930925161958002E834"});
        QCOMPARE(r.Code, 1); // one PDU raised
        QCOMPARE(r.Lines.size(), 3);
        const QJsonObject text = Json(r.Lines[0]);
        QCOMPARE(text.value("ok").toBool(), true);
        QCOMPARE(text.value("sender").toString(), QStringLiteral("12345"));
        QCOMPARE(text.value("text").toString(), QStringLiteral("hi"));
        QVERIFY(!text.contains("error"));
        for (const char* key : {"pdu", "multipart", "refno", "total", "seqno"}) {
            QVERIFY2(text.contains(QLatin1String(key)), key);
        }
        const QJsonObject bad = Json(r.Lines[1]);
        QCOMPARE(bad.value("ok").toBool(), false);
        QVERIFY(bad.value("error").toString().startsWith(QStringLiteral("PDU decoding error: ")));
        const QJsonObject data = Json(r.Lines[2]);
        QCOMPARE(data.value("ok").toBool(), false);
        QVERIFY(!data.contains("error"));
    }

    // Standard input: one PDU per line, blank lines and CR LF tolerated; a multipart part.
    void decodeStdin()
    {
        const TRun r =
            Run({"decode"}, "00010004919471000002E834\r\n\n0041010481103200000F0500032A0202F0783C1E8FC7E301");
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Lines.size(), 2);
        const QJsonObject part = Json(r.Lines[1]);
        QCOMPARE(part.value("multipart").toBool(), true);
        QCOMPARE(part.value("refno").toInt(), 42);
        QCOMPARE(part.value("total").toInt(), 2);
        QCOMPARE(part.value("seqno").toInt(), 2);
        QCOMPARE(part.value("text").toString(), QString(8, 'x'));
    }

    void encode()
    {
        const TRun r = Run({"encode", "--to", "0123", "--ref", "42", "--mr", "0", QString(161, 'x')});
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Lines.size(), 2);
        QVERIFY(r.Lines[0].startsWith("004100048110320000A00500032A0201F0783C"));
        QCOMPARE(r.Lines[1], QByteArray("0041010481103200000F0500032A0202F0783C1E8FC7E301"));
        QCOMPARE(Run({"encode", "hi"}).Code, 2); // no --to
        QCOMPARE(Run({"encode", "--to", "1", "--ref", "256", "hi"}).Code, 2);
    }

    void count_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("empty") << QString() << QByteArray("0 / 0");
        QTest::newRow("160") << QString(160, 'a') << QByteArray("160 / 1");
        QTest::newRow("161") << QString(161, 'a') << QByteArray("161 / 2");
        QTest::newRow("71 UCS-2") << QString(70, 'a') + QChar(0x20AC) << QByteArray("71 / 2");
        QTest::newRow("307") << QString(307, 'a') << QByteArray("307 / 3");
    }

    void count()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, shown);
        const TRun r = Run({"count", text});
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Lines, QList<QByteArray>{shown});
    }

    void stats()
    {
        QByteArray input;
        for (int i = 0; i < 3000; ++i) {
            input += "000405812143F500009930925161958002E834\n000405812143F500049930925161958002E834\n00040G\n";
        }
        const TRun r = Run({"decode", "--stats"}, input);
        QCOMPARE(r.Code, 0);
        QCOMPARE(r.Lines.size(), 1);
        const QJsonObject s = Json(r.Lines[0]);
        QCOMPARE(s.value("texts").toInt(), 3000);
        QCOMPARE(s.value("notText").toInt(), 3000);
        QCOMPARE(s.value("errors").toInt(), 3000);
        QVERIFY(s.value("pdusPerSecond").toDouble() > 0);
    }
};

QTEST_GUILESS_MAIN(TestPduTool)
#include "tst_pdu_tool.moc"
