// USSD answers as modems hand them over: plain text, packed GSM 7-bit and UCS-2 in hexadecimal,
// with the network's data coding scheme; malformed answers give a reason, never a crash.

#include "sms/Ussd.h"

#include <QTest>

using namespace Ombrelay;

class TestUssd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodes_data();
    void decodes();
    void malformedAnswersGiveReasons_data();
    void malformedAnswersGiveReasons();
    void alphabetOfCodingScheme_data();
    void alphabetOfCodingScheme();
};

void TestUssd::decodes_data()
{
    QTest::addColumn<QString>("str");
    QTest::addColumn<int>("dcs");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain text, default alphabet")
        << QStringLiteral("Your balance is 5.00 EUR") << 15 << false << QStringLiteral("Your balance is 5.00 EUR");
    QTest::newRow("plain text, no scheme given")
        << QStringLiteral("1 Top up") << -1 << false << QStringLiteral("1 Top up");
    QTest::newRow("packed 7-bit") << QStringLiteral("C2303BEC1E9775A098CC35A3818A5529") << 15 << true
                                  << QStringLiteral("Balance: 12.34 EUR");
    QTest::newRow("packed 7-bit, lower-case digits")
        << QStringLiteral("c2303bec1e9775a098cc35a3818a5529") << 15 << true << QStringLiteral("Balance: 12.34 EUR");
    // Seven characters fill seven octets with seven bits to spare: the carriage return that
    // fills them is no character of the answer.
    QTest::newRow("packed 7-bit, carriage return fill")
        << QStringLiteral("C2303BEC1E971B") << 15 << true << QStringLiteral("Balance");
    // Eight characters fill the same seven octets exactly: the eighth is a character.
    QTest::newRow("packed 7-bit, eight in seven octets")
        << QStringLiteral("31D98C56B3DD70") << 15 << true << QStringLiteral("12345678");
    QTest::newRow("packed 7-bit, escaped euro sign")
        << QStringLiteral("C3F79C0EAA6DCA20FA9B1CCE03") << 15 << true << QStringLiteral("Cost 5€ today");
    QTest::newRow("packed 7-bit menu with line feed")
        << QStringLiteral("3110F50D07D5E10A198818A6871B") << 15 << true << QStringLiteral("1 Top up\n2 Data");
    QTest::newRow("packed 7-bit, no scheme given")
        << QStringLiteral("C2303BEC1E971B") << -1 << true << QStringLiteral("Balance");
    QTest::newRow("packed 7-bit, language indication")
        << QStringLiteral("4567035966B3DF") << 0x10 << true << QStringLiteral("Hello");
    QTest::newRow("UCS-2 (0x48)") << QStringLiteral("04110430043B0430043D0441003A00200031003000300020044004430431002E")
                                  << 0x48 << true << QStringLiteral("Баланс: 100 руб.");
    // A modem set to a plain character set still hands UCS-2 over as hexadecimal.
    QTest::newRow("UCS-2 (0x48) from a text-mode modem")
        << QStringLiteral("04110430043B0430043D0441003A00200031003000300020044004430431002E") << 0x48 << false
        << QStringLiteral("Баланс: 100 руб.");
    // +CUSD writes the scheme in decimal: 72 is 0x48.
    QTest::newRow("UCS-2 (72) with surrogate pair")
        << QStringLiteral("0042006F006E007500730020D83DDE00") << 72 << true << QStringLiteral("Bonus 😀");
    QTest::newRow("UCS-2 with language indication")
        << QStringLiteral("F23A041F04400438043204350442") << 0x11 << true << QStringLiteral("Привет");
    QTest::newRow("empty answer") << QString() << 15 << true << QString();
    QTest::newRow("empty UCS-2 answer") << QString() << 0x48 << true << QString();
}

void TestUssd::decodes()
{
    QFETCH(QString, str);
    QFETCH(int, dcs);
    QFETCH(bool, hex);
    QFETCH(QString, text);
    const TUssdText r = DecodeUssd(str, dcs, hex);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Text, text);
}

void TestUssd::malformedAnswersGiveReasons_data()
{
    QTest::addColumn<QString>("str");
    QTest::addColumn<int>("dcs");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("reason");

    QTest::newRow("7-bit, not hexadecimal")
        << QStringLiteral("C2G03B") << 15 << true << QStringLiteral("position 3 is not a hexadecimal digit");
    QTest::newRow("7-bit, odd length") << QStringLiteral("C2303") << 15 << true
                                       << QStringLiteral("odd number of hexadecimal digits (5)");
    QTest::newRow("UCS-2, plain text where hex belongs")
        << QStringLiteral("Balance") << 0x48 << false << QStringLiteral("UCS-2 answer: an odd number");
    QTest::newRow("UCS-2, half a character")
        << QStringLiteral("004100") << 0x48 << true << QStringLiteral("3 octets are not whole characters");
    QTest::newRow("UCS-2, not hexadecimal")
        << QStringLiteral("00410-42") << 0x48 << true << QStringLiteral("position 6 is not a hexadecimal digit");
    QTest::newRow("8-bit data") << QStringLiteral("0102") << 0x44 << true << QStringLiteral("8-bit data");
    QTest::newRow("8-bit data, group F") << QStringLiteral("0102") << 0xF4 << true << QStringLiteral("8-bit data");
    QTest::newRow("compressed") << QStringLiteral("0102") << 0x60 << true << QStringLiteral("compressed");
    QTest::newRow("scheme out of range") << QStringLiteral("41") << 300 << true
                                         << QStringLiteral("data coding scheme 300 is not one octet");
}

void TestUssd::malformedAnswersGiveReasons()
{
    QFETCH(QString, str);
    QFETCH(int, dcs);
    QFETCH(bool, hex);
    QFETCH(QString, reason);
    const TUssdText r = DecodeUssd(str, dcs, hex);
    QVERIFY(!r.Ok);
    QVERIFY2(r.Error.contains(reason), qPrintable(r.Error));
    QVERIFY(r.Text.isEmpty());
}

void TestUssd::alphabetOfCodingScheme_data()
{
    QTest::addColumn<int>("dcs");
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<int>("prefix");

    const int gsm7 = int(TUssdAlphabet::Gsm7);
    const int ucs2 = int(TUssdAlphabet::Ucs2);
    const int data8 = int(TUssdAlphabet::Data8);
    QTest::newRow("none given") << -1 << gsm7 << 0;
    QTest::newRow("0x0F language unspecified") << 0x0F << gsm7 << 0;
    QTest::newRow("0x00 German") << 0x00 << gsm7 << 0;
    QTest::newRow("0x10 7-bit with language") << 0x10 << gsm7 << 3;
    QTest::newRow("0x11 UCS-2 with language") << 0x11 << ucs2 << 2;
    QTest::newRow("0x20 Czech") << 0x20 << gsm7 << 0;
    QTest::newRow("0x44 general 8-bit") << 0x44 << data8 << 0;
    QTest::newRow("0x48 general UCS-2") << 0x48 << ucs2 << 0;
    QTest::newRow("0x58 UCS-2 with class") << 0x58 << ucs2 << 0;
    QTest::newRow("0x72 compressed with class") << 0x72 << int(TUssdAlphabet::Compressed) << 0;
    QTest::newRow("0x4C reserved alphabet") << 0x4C << gsm7 << 0;
    QTest::newRow("0xA0 reserved group") << 0xA0 << gsm7 << 0;
    QTest::newRow("0xF0 7-bit") << 0xF0 << gsm7 << 0;
    QTest::newRow("0xF4 8-bit") << 0xF4 << data8 << 0;
}

void TestUssd::alphabetOfCodingScheme()
{
    QFETCH(int, dcs);
    QFETCH(int, alphabet);
    QFETCH(int, prefix);
    int got = -1;
    QCOMPARE(int(UssdAlphabet(dcs, &got)), alphabet);
    QCOMPARE(got, prefix);
}

QTEST_APPLESS_MAIN(TestUssd)
#include "tst_ussd.moc"
