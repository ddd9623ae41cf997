// The PDU codec against PDUs written out by hand, malformed input, and random round trips.

#include "sms/MBException.h"
#include "sms/SMS.h"

#include <QRandomGenerator>
#include <QTest>

#include <thread>
#include <vector>

using namespace Ombrelay;

namespace
{

// Septets packed after Fill bits, as the test's own reference for the 7-bit layout.
QByteArray Pack(const std::vector<int>& Septets, int Fill = 0)
{
    std::vector<int> bits(Fill, 0);
    for (int s : Septets) {
        for (int b = 0; b < 7; ++b) {
            bits.push_back((s >> b) & 1);
        }
    }
    while (bits.size() % 8) {
        bits.push_back(0);
    }
    QByteArray out;
    for (size_t i = 0; i < bits.size(); i += 8) {
        int v = 0;
        for (int j = 0; j < 8; ++j) {
            v |= bits[i + j] << j;
        }
        out.append(char(v));
    }
    return out;
}

// A DELIVER from "12345" with the given coding, user-data length and user data.
QString Deliver(int Dcs, int Udl, const QByteArray& UserData, int FirstOctet = 0x04)
{
    QByteArray pdu = QByteArray::fromHex("00") + char(FirstOctet) + QByteArray::fromHex("05812143F500") + char(Dcs) +
                     QByteArray(7, '\0') + char(Udl) + UserData;
    return QString::fromLatin1(pdu.toHex().toUpper());
}

QString Septets7(const std::vector<int>& Septets)
{
    return Deliver(0x00, int(Septets.size()), Pack(Septets));
}

QString Decoded(const QString& Pdu)
{
    TSmsRecv r;
    if (!r.DecodePdu(Pdu)) {
        return QStringLiteral("<not text>");
    }
    return r.Text();
}

} // namespace

class TestSmsCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        InitSmsTables();
        InitSmsTables(); // idempotent
    }

    // Every PDU written out in full: decoded field by field, and where a target is given,
    // produced byte for byte by the encoder from (target, text, reference, message reference).
    void examples_data()
    {
        QTest::addColumn<QStringList>("pdus");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("refNo");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("target"); // empty: decode only
        QTest::addColumn<int>("messageRef");

        const QString x153(153, QLatin1Char('x'));
        // 153 septets 'x' after the header and one fill bit: 134 octets.
        const QString part1 = QStringLiteral("004100048110320000A00500032A0201F0783C") + QStringLiteral("1E8FC7E3F1") +
                              QStringLiteral("783C1E8FC7E3F1").repeated(18);
        QTest::newRow("deliver 7-bit") << QStringList{"000405812143F500009930925161958002E834"} << "12345"
                                       << QStringList{"hi"} << 0 << 0 << QString() << 0;
        QTest::newRow("submit 7-bit") << QStringList{"00010004919471000002E834"} << "+4917" << QStringList{"hi"} << 0
                                      << 0 << "+4917" << 0;
        QTest::newRow("submit UCS-2") << QStringList{"000100049194710008060061006200E9"} << "+4917"
                                      << QStringList{QString::fromUtf8("abé")} << 0 << 0 << "+4917" << 0;
        QTest::newRow("161 letters, two parts")
            << QStringList{part1, "0041010481103200000F0500032A0202F0783C1E8FC7E301"} << "0123"
            << QStringList{x153, QString(8, QLatin1Char('x'))} << 42 << 2 << "0123" << 0;
        QTest::newRow("address with punctuation") << QStringList{"000100099144201032F4000002E834"} << "+440201234"
                                                  << QStringList{"hi"} << 0 << 0 << "+44 (0) 20-1234" << 0;
        QTest::newRow("16-bit reference, no fill bits")
            << QStringList{"0040048121430000000000000000000D06080434120302C8329BFD06"} << "1234" << QStringList{"Hello"}
            << 0x1234 << 3 << QString() << 0;
        QTest::newRow("alphanumeric sender, padding septet")
            << QStringList{"00040ED0D6B4BCCC66970100000000000000000002E834"} << "Virelle" << QStringList{"hi"} << 0 << 0
            << QString() << 0;
        QTest::newRow("lower-case digits") << QStringList{"000405812143f500009930925161958002e834"} << "12345"
                                           << QStringList{"hi"} << 0 << 0 << QString() << 0;
        QTest::newRow("odd length: last digit ignored")
            << QStringList{"00010004919471000002E8340"} << "+4917" << QStringList{"hi"} << 0 << 0 << QString() << 0;
        QTest::newRow("address length 0, international")
            << QStringList{"0001000091000002E834"} << "+" << QStringList{"hi"} << 0 << 0 << QString() << 0;
        QTest::newRow("even digit count keeps all digits")
            << QStringList{"00010004811032000002E834"} << "0123" << QStringList{"hi"} << 0 << 0 << QString() << 0;
    }

    void examples()
    {
        QFETCH(QStringList, pdus);
        QFETCH(QString, sender);
        QFETCH(QStringList, texts);
        QFETCH(int, refNo);
        QFETCH(int, total);
        QFETCH(QString, target);
        QFETCH(int, messageRef);

        for (int i = 0; i < pdus.size(); ++i) {
            TSmsRecv r;
            QVERIFY(r.DecodePdu(pdus[i]));
            QCOMPARE(r.Sender(), sender);
            QCOMPARE(r.Text(), texts[i]);
            QCOMPARE(r.Content(), scText);
            QCOMPARE(r.Multipart(), total > 0);
            QCOMPARE(r.RefNo(), refNo);
            QCOMPARE(r.Total(), total);
            if (total > 1 && pdus.size() > 1) {
                QCOMPARE(r.SeqNo(), i + 1);
            }
        }
        if (!target.isEmpty()) {
            TSmsSend s;
            s.SetTarget(target);
            s.SetText(texts.join(QString()));
            s.SetConcatRef(refNo);
            NextMessageRef = static_cast<std::uint8_t>(messageRef);
            QCOMPARE(s.EncodePdu(), pdus);
            QCOMPARE(int(NextMessageRef), (messageRef + pdus.size()) % 256);
            QCOMPARE(s.Count(), int(pdus.size()));
        }
    }

    // Message references run 0..255 and wrap; the concatenation reference is shared by all parts
    // and drawn from 0..254 when not fixed.
    void messageReferences()
    {
        NextMessageRef = 255;
        SeedSmsRandom(7);
        TSmsSend s;
        s.SetTarget(QStringLiteral("+4917"));
        s.SetText(QString(400, QLatin1Char('a')));
        const QStringList pdus = s.EncodePdu();
        QCOMPARE(pdus.size(), 3);
        QCOMPARE(pdus[0].mid(4, 2), QStringLiteral("FF"));
        QCOMPARE(pdus[1].mid(4, 2), QStringLiteral("00"));
        QCOMPARE(int(NextMessageRef), 2);
        QSet<int> refs;
        for (const QString& p : pdus) {
            TSmsRecv r;
            QVERIFY(r.DecodePdu(p));
            refs.insert(r.RefNo());
        }
        QCOMPARE(refs.size(), 1);
        QVERIFY(*refs.begin() <= 254);
    }

    void partCounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("parts");
        QTest::addColumn<QList<int>>("lengths");
        const QString e = QString::fromUtf8("€");
        const QString smile = QString::fromUtf8("😀"); // a surrogate pair
        QTest::newRow("empty") << QString() << 0 << QList<int>{};
        QTest::newRow("160 plain") << QString(160, 'a') << 1 << QList<int>{160};
        QTest::newRow("161 plain") << QString(161, 'a') << 2 << QList<int>{153, 8};
        QTest::newRow("307 plain") << QString(307, 'a') << 3 << QList<int>{153, 153, 1};
        QTest::newRow("70 UCS-2") << QString(69, 'a') + e << 1 << QList<int>{70};
        QTest::newRow("71 UCS-2") << QString(70, 'a') + e << 2 << QList<int>{67, 4};
        QTest::newRow("pair across the cut") << QString(66, 'a') + smile + QString(10, 'b') << 2 << QList<int>{66, 12};
        QTest::newRow("pair ends the part") << QString(65, 'a') + smile + QString(10, 'b') << 2 << QList<int>{67, 10};
        QTest::newRow("only pairs") << smile.repeated(40) << 2 << QList<int>{66, 14};
    }

    // Parts never split a surrogate pair; Count and the parts agree.
    void partCounts()
    {
        QFETCH(QString, text);
        QFETCH(int, parts);
        QFETCH(QList<int>, lengths);
        TSmsSend s;
        s.SetText(text);
        QCOMPARE(s.Count(), parts);
        const QStringList split = TSmsSend::SplitText(text);
        QList<int> got;
        for (const QString& p : split) {
            got.append(int(p.size()));
            QVERIFY(!p.back().isHighSurrogate());
            QVERIFY(!p.front().isLowSurrogate());
        }
        QCOMPARE(got, lengths);
        QCOMPARE(split.join(QString()), text);
    }

    void alphabetChoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("gsm7");
        QTest::newRow("plain with punctuation") << QStringLiteral("Hello, @home $5 _x_ #1!\r\n") << true;
        QTest::newRow("square bracket") << QStringLiteral("a[b") << false;
        QTest::newRow("euro") << QString::fromUtf8("5 €") << false;
        QTest::newRow("grave accent") << QStringLiteral("a`b") << false;
        QTest::newRow("DEL") << QStringLiteral("a\x7F") << false;
        QTest::newRow("tab") << QStringLiteral("a\tb") << false;
        QTest::newRow("NUL") << QString(QChar(0)) << false;
        QTest::newRow("form feed") << QStringLiteral("a\fb") << false;
        QTest::newRow("Greek still UCS-2") << QString::fromUtf8("ΔΣ") << false;
        QTest::newRow("e acute still UCS-2") << QString::fromUtf8("é") << false;
    }

    // A character without its own code in the default alphabet makes the message UCS-2, so
    // nothing is ever sent as '@' in its place; the text reads back unchanged.
    void alphabetChoice()
    {
        QFETCH(QString, text);
        QFETCH(bool, gsm7);
        QCOMPARE(TSmsSend::IsGsm7Bit(text), gsm7);
        TSmsSend s;
        s.SetTarget(QStringLiteral("123"));
        s.SetText(text);
        const QStringList pdus = s.EncodePdu();
        QCOMPARE(pdus.size(), 1);
        TSmsRecv r;
        QVERIFY(r.DecodePdu(pdus[0]));
        QCOMPARE(r.DataCoding(), gsm7 ? 0x00 : 0x08);
        QCOMPARE(r.Text(), text);
    }

    void extensionTable_data()
    {
        QTest::addColumn<int>("septet");
        QTest::addColumn<QString>("expected");
        QTest::newRow("form feed") << 0x0A << QStringLiteral("\f");
        QTest::newRow("circumflex") << 0x14 << QStringLiteral("^");
        QTest::newRow("left brace") << 0x28 << QStringLiteral("{");
        QTest::newRow("right brace") << 0x29 << QStringLiteral("}");
        QTest::newRow("backslash") << 0x2F << QStringLiteral("\\");
        QTest::newRow("left bracket") << 0x3C << QStringLiteral("[");
        QTest::newRow("tilde") << 0x3D << QStringLiteral("~");
        QTest::newRow("right bracket") << 0x3E << QStringLiteral("]");
        QTest::newRow("vertical line") << 0x40 << QStringLiteral("|");
        QTest::newRow("euro") << 0x65 << QString::fromUtf8("€");
        QTest::newRow("undefined: default letter") << 0x41 << QStringLiteral("A");
        QTest::newRow("undefined 0x00: '@', not NUL") << 0x00 << QStringLiteral("@");
        QTest::newRow("undefined 0x10: Delta") << 0x10 << QString::fromUtf8("Δ");
    }

    void extensionTable()
    {
        QFETCH(int, septet);
        QFETCH(QString, expected);
        QCOMPARE(Decoded(Septets7({'a', 0x1B, septet, 'b'})), QStringLiteral("a") + expected + QStringLiteral("b"));
    }

    // The alphabet's special cases: Greek capitals, a trailing escape, '@' at the end of texts
    // of every length modulo 8 (the declared length decides, not a trailing zero septet).
    void alphabetRules()
    {
        QCOMPARE(Decoded(Septets7({0x10, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A})),
                 QString::fromUtf8("ΔΦΓΛΩΠΨΣΘΞ"));
        QCOMPARE(Decoded(Septets7({0x11})), QStringLiteral("_"));
        QCOMPARE(Decoded(Septets7({'a', 'b', 0x1B})), QStringLiteral("ab"));
        QCOMPARE(Decoded(Septets7({0x05, 0x24, 0x40, 0x5C, 0x60, 0x7F})), QString::fromUtf8("é¤¡Ö¿à"));
        for (int length = 1; length <= 17; ++length) {
            const QString text = QString(length - 1, QLatin1Char('m')) + QLatin1Char('@');
            std::vector<int> septets(length - 1, 'm');
            septets.push_back(0x00);
            QCOMPARE(Decoded(Septets7(septets)), text);
            // Our own messages read back with the '@', multipart ones too.
            for (int extra : {0, 153}) {
                TSmsSend s;
                s.SetTarget(QStringLiteral("1"));
                s.SetText(QString(extra, 'a') + text);
                QString joined;
                for (const QString& p : s.EncodePdu()) {
                    joined += Decoded(p);
                }
                QCOMPARE(joined, s.Text());
            }
        }
    }

    void alphanumericSender_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("declared");
        QTest::newRow("7 letters, declared 14") << QStringLiteral("Virelle") << 14;
        QTest::newRow("7 letters, declared 13") << QStringLiteral("Virelle") << 13;
        QTest::newRow("ends in @, declared 13") << QStringLiteral("Virell@") << 13;
        QTest::newRow("ends in @, declared 14") << QStringLiteral("Virell@") << 14;
        QTest::newRow("3 letters") << QStringLiteral("Bob") << 6;
        QTest::newRow("11 letters") << QStringLiteral("Operator-NL") << 20;
    }

    // Only the padding septet goes: a name keeps a final '@' that its length covers.
    void alphanumericSender()
    {
        QFETCH(QString, name);
        QFETCH(int, declared);
        std::vector<int> septets;
        for (QChar c : name) {
            septets.push_back(c == QLatin1Char('@') ? 0 : c.unicode());
        }
        const QByteArray a = Pack(septets);
        QByteArray pdu = QByteArray::fromHex("0004") + char(declared) + char(0xD0) + a +
                         QByteArray::fromHex("00000000000000000002E834");
        TSmsRecv r;
        QVERIFY(r.DecodePdu(QString::fromLatin1(pdu.toHex())));
        QCOMPARE(r.Sender(), name);
        QCOMPARE(r.Text(), QStringLiteral("hi"));
    }

    void dataCodingSchemes_data()
    {
        QTest::addColumn<int>("dcs");
        QTest::addColumn<int>("content"); // scText: decoded; otherwise what it is
        QTest::addColumn<bool>("ucs2");
        QTest::newRow("0x00 7-bit") << 0x00 << int(scText) << false;
        QTest::newRow("0x11 class 1") << 0x11 << int(scText) << false;
        QTest::newRow("0x0C reserved alphabet as 7-bit") << 0x0C << int(scText) << false;
        QTest::newRow("0x04 8-bit") << 0x04 << int(scData) << false;
        QTest::newRow("0x08 UCS-2") << 0x08 << int(scText) << true;
        QTest::newRow("0x19 UCS-2 class 1") << 0x19 << int(scText) << true;
        QTest::newRow("0x20 compressed") << 0x20 << int(scCompressed) << false;
        QTest::newRow("0x40 automatic deletion") << 0x40 << int(scText) << false;
        QTest::newRow("0x48 automatic deletion UCS-2") << 0x48 << int(scText) << true;
        QTest::newRow("0x44 automatic deletion 8-bit") << 0x44 << int(scData) << false;
        QTest::newRow("0x60 automatic deletion compressed") << 0x60 << int(scCompressed) << false;
        QTest::newRow("0x80 reserved group") << 0x80 << int(scReservedCoding) << false;
        QTest::newRow("0xB4 reserved group") << 0xB4 << int(scReservedCoding) << false;
        QTest::newRow("0xC0 voicemail, discard") << 0xC0 << int(scText) << false;
        QTest::newRow("0xD8 voicemail, store") << 0xD8 << int(scText) << false;
        QTest::newRow("0xE0 voicemail UCS-2") << 0xE0 << int(scText) << true;
        QTest::newRow("0xF0 flash") << 0xF0 << int(scText) << false;
        QTest::newRow("0xF1 class 1") << 0xF1 << int(scText) << false;
        QTest::newRow("0xF4 8-bit data") << 0xF4 << int(scData) << false;
    }

    void dataCodingSchemes()
    {
        QFETCH(int, dcs);
        QFETCH(int, content);
        QFETCH(bool, ucs2);
        const QString pdu =
            ucs2 ? Deliver(dcs, 4, QByteArray::fromHex("00680069")) : Deliver(dcs, 2, QByteArray::fromHex("E834"));
        TSmsRecv r;
        QCOMPARE(r.DecodePdu(pdu), content == scText);
        QCOMPARE(int(r.Content()), content);
        QCOMPARE(r.Text(), content == scText ? QStringLiteral("hi") : QString());
        QCOMPARE(r.Sender(), QStringLiteral("12345"));
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("pdu");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("multipart");
        QTest::addColumn<int>("seqNo");
        // SUBMITs as other software stores them: validity period relative (1 octet), absolute (7).
        QTest::newRow("submit, relative validity") << "0011000491947100 00AA 02E834" << true << "hi" << false << 0;
        QTest::newRow("submit, absolute validity")
            << "0019000491947100 00 99309251619580 02E834" << true << "hi" << false << 0;
        QTest::newRow("submit, enhanced validity")
            << "0009000491947100 00 01000000000000 02E834" << true << "hi" << false << 0;
        // A header with a port element before the concatenation element (UCS-2 keeps it simple).
        QTest::newRow("port element, then concatenation")
            << "0044048121430008 00000000000000 10 0B 0504000000000003070302 00680069" << true << "hi" << true << 2;
        QTest::newRow("only the first concatenation element counts")
            << "0044048121430008 00000000000000 0D 0A 00030703020003080301 0068" << true << "h" << true << 2;
        QTest::newRow("malformed element length ends the walk")
            << "0044048121430008 00000000000000 08 05 0007070302 0068" << true << "h" << false << 0;
        QTest::newRow("concatenation with wrong length is skipped")
            << "0044048121430008 00000000000000 09 06 000401020304 0068" << true << "h" << false << 0;
        QTest::newRow("status report") << "000602 04812143 00000000000000 00000000000000 00" << false << "" << false
                                       << 0;
        QTest::newRow("user data of zero octets") << "0004048121430000 00000000000000 00" << true << "" << false << 0;
        QTest::newRow("user data shorter than declared")
            << "0004048121430000 00000000000000 05 E834" << true << "hi" << false << 0;
        QTest::newRow("input ends inside the time stamp") << "000404812143000000" << true << "" << false << 0;
    }

    void layouts()
    {
        QFETCH(QString, pdu);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QFETCH(bool, multipart);
        QFETCH(int, seqNo);
        pdu.remove(QLatin1Char(' '));
        TSmsRecv r;
        if (QByteArray(QTest::currentDataTag()).startsWith("input ends inside")) {
            // The time stamp is cut short, then the user-data length is missing.
            QVERIFY_THROWS_EXCEPTION(EMBException, r.DecodePdu(pdu));
            return;
        }
        QCOMPARE(r.DecodePdu(pdu), ok);
        QCOMPARE(r.Text(), text);
        QCOMPARE(r.Multipart(), multipart);
        QCOMPARE(r.SeqNo(), seqNo);
        if (QByteArray(QTest::currentDataTag()) == "status report") {
            QCOMPARE(r.Content(), scStatusReport);
            QCOMPARE(r.Sender(), QStringLiteral("1234"));
        } else {
            QVERIFY(r.Sender().endsWith(QStringLiteral("1234")) || r.Sender() == QStringLiteral("+4917"));
        }
    }

    void malformed_data()
    {
        QTest::addColumn<QString>("pdu");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << ""
                               << "input ends before the service-centre length";
        QTest::newRow("non-hex letter") << "00040G812143F500009930925161958002E834"
                                        << "'G' at position 6 is not a hexadecimal digit";
        QTest::newRow("plus") << "00+04"
                              << "'+' at position 3 is not a hexadecimal digit";
        QTest::newRow("non-ASCII") << QString::fromUtf8("00é4") << "U+00e9 at position 3 is not a hexadecimal digit";
        QTest::newRow("odd last character not a digit") << "00040"
                                                        << "'0'"; // placeholder, replaced below
        QTest::newRow("first octet missing") << "00"
                                             << "input ends before the first octet";
        QTest::newRow("service centre swallows all") << "0704"
                                                     << "input ends before the first octet";
        QTest::newRow("address length missing") << "0004"
                                                << "input ends before the address length";
        QTest::newRow("type of address missing") << "000405"
                                                 << "input ends before the type of address";
        QTest::newRow("message reference missing") << "0001"
                                                   << "input ends before the message reference";
        QTest::newRow("protocol identifier missing") << "0004058121"
                                                     << "input ends before the protocol identifier";
        QTest::newRow("coding scheme missing") << "000405812143F500"
                                               << "input ends before the data coding scheme";
        QTest::newRow("user-data length missing") << "000405812143F50000993092516195"
                                                  << "input ends before the user-data length";
        QTest::newRow("header length missing") << "004405812143F5000099309251619580 07"
                                               << "input ends before the user-data-header length";
        QTest::newRow("7-bit length smaller than header")
            << "004405812143F5000099309251619580 02 0500032A0201 E834"
            << "user-data length of 2 septets is smaller than its header of 6 octets";
        QTest::newRow("UCS-2 length smaller than header")
            << "004405812143F5000899309251619580 04 0500032A0201 0068"
            << "user-data length of 4 octets is smaller than its header of 6 octets";
    }

    // Input that is not a PDU gives a clear error naming the PDU, never a read past its end.
    void malformed()
    {
        QFETCH(QString, pdu);
        QFETCH(QString, reason);
        pdu.remove(QLatin1Char(' '));
        if (QByteArray(QTest::currentDataTag()) == "odd last character not a digit") {
            pdu = QStringLiteral("00010004919471000002E834x");
            reason = QStringLiteral("'x' at position 25 is not a hexadecimal digit");
        }
        TSmsRecv r;
        try {
            r.DecodePdu(pdu);
            QFAIL("no error");
        } catch (const EMBException& e) {
            QCOMPARE(e.Message(), QStringLiteral("PDU decoding error: %1: %2").arg(reason, pdu));
        }
        // The same through the 8-bit entry point.
        const QByteArray latin = pdu.toUtf8();
        QVERIFY_THROWS_EXCEPTION(EMBException, r.DecodePdu(latin.constData(), latin.size()));
    }

    // Random texts of every kind encode and decode back to the same text and part numbering.
    void roundTrip()
    {
        QRandomGenerator rng(20261209);
        const QString plain = QStringLiteral("abcXYZ 0123456789 .,;:!?'\"()*+-/<=>#%&@$_\r\n");
        const QString wide = QString::fromUtf8("абвгдежзийΔΣΩ中文字éüß€[]{}\\^~|`😀🎉");
        for (int round = 0; round < 400; ++round) {
            const int kind = round % 4;
            const int length = 1 + int(rng.bounded(kind == 3 ? 2000 : 400));
            QString text;
            while (text.size() < length) {
                if (kind == 0 || (kind == 2 && rng.bounded(10) != 0)) {
                    text += plain[rng.bounded(int(plain.size()))];
                } else {
                    const QString pool = kind == 3 && rng.bounded(2) ? plain : wide;
                    qsizetype i = rng.bounded(int(pool.size()));
                    if (pool[i].isLowSurrogate()) {
                        --i;
                    }
                    text += pool[i];
                    if (pool[i].isHighSurrogate()) {
                        text += pool[i + 1];
                    }
                }
            }
            if (kind == 2) {
                text.insert(int(rng.bounded(int(text.size()))),
                            rng.bounded(2) ? QStringLiteral("[") : QString::fromUtf8("€"));
            }
            TSmsSend s;
            s.SetTarget(QStringLiteral("+4917123456"));
            s.SetText(text);
            const QStringList pdus = s.EncodePdu();
            QCOMPARE(int(pdus.size()), s.Count());
            QString joined;
            for (int i = 0; i < pdus.size(); ++i) {
                TSmsRecv r;
                QVERIFY(r.DecodePdu(pdus[i]));
                QCOMPARE(r.Sender(), QStringLiteral("+4917123456"));
                QCOMPARE(r.Multipart(), pdus.size() > 1);
                if (r.Multipart()) {
                    QCOMPARE(r.SeqNo(), i + 1);
                    QCOMPARE(r.Total(), int(pdus.size()));
                }
                QVERIFY(pdus[i].size() <= 2 * (4 + 7 + 2 + 1 + 140));
                joined += r.Text();
            }
            QCOMPARE(joined, text);
        }
    }

    // The shared state (tables, message reference, reference generator) may be used from several
    // threads: every PDU gets its own message reference.
    void concurrentUse()
    {
        NextMessageRef = 0;
        QList<QStringList> results(4);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t, &results] {
                InitSmsTables();
                TSmsSend s;
                s.SetTarget(QStringLiteral("+4917"));
                s.SetText(QStringLiteral("hi"));
                for (int i = 0; i < 50; ++i) {
                    results[t] += s.EncodePdu();
                    TSmsRecv r;
                    r.DecodePdu(results[t].back());
                }
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        QSet<QString> references;
        for (const QStringList& list : results) {
            for (const QString& pdu : list) {
                references.insert(pdu.mid(4, 2));
            }
        }
        QCOMPARE(references.size(), 200);
        QCOMPARE(int(NextMessageRef), 200);
    }

    // A target digit of another script counts but cannot be written.
    void foreignDigitInTarget()
    {
        TSmsSend s;
        s.SetTarget(QString::fromUtf8("12٣"));
        s.SetText(QStringLiteral("hi"));
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, s.EncodePdu());
        // More digits than the length octet can count: refused rather than wrapped.
        s.SetTarget(QString(256, QLatin1Char('1')));
        QVERIFY_THROWS_EXCEPTION(EMBException, s.EncodePdu());
        s.SetTarget(QString(255, QLatin1Char('1')));
        QCOMPARE(s.EncodePdu().front().mid(6, 2), QStringLiteral("FF"));
    }

    void deliverRebuilt_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("expectedSender");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("parts");
        QTest::newRow("international") << "+491701234567"
                                       << "+491701234567"
                                       << "hello" << 1;
        QTest::newRow("national, odd digits") << "01234"
                                              << "01234"
                                              << "hello" << 1;
        QTest::newRow("alphanumeric") << "Virelle"
                                      << "Virelle"
                                      << "hello" << 1;
        QTest::newRow("alphanumeric, 8 letters") << "Operator"
                                                 << "Operator"
                                                 << "hello" << 1;
        QTest::newRow("alphanumeric with extension") << "A[B]"
                                                     << "A[B]"
                                                     << "x" << 1;
        QTest::newRow("alphanumeric too long") << "Informationsdienst"
                                               << "Information"
                                               << "x" << 1;
        QTest::newRow("alphanumeric outside the alphabet") << QString::fromUtf8("Ко") << "??"
                                                           << "x" << 1;
        QTest::newRow("long 7-bit") << "+4917"
                                    << "+4917" << QString(400, 'z') + "@" << 3;
        QTest::newRow("long UCS-2") << "+4917"
                                    << "+4917" << QString::fromUtf8("Привет 😀 ").repeated(20) << 3;
        QTest::newRow("empty text") << "+4917"
                                    << "+4917"
                                    << "" << 1;
    }

    // A whole message from a stack in message mode becomes DELIVER PDUs that decode back to the
    // same sender, text and parts.
    void deliverRebuilt()
    {
        QFETCH(QString, sender);
        QFETCH(QString, expectedSender);
        QFETCH(QString, text);
        QFETCH(int, parts);
        const QDateTime stamp(QDate(2026, 12, 9), QTime(23, 45, 6), Qt::OffsetFromUTC, -(3 * 3600 + 1800));
        const QStringList pdus = BuildDeliverPdus(sender, stamp, text, 77);
        QCOMPARE(int(pdus.size()), parts);
        QCOMPARE(std::max(TSmsSend::CountParts(text), 1), parts);
        QString joined;
        for (int i = 0; i < pdus.size(); ++i) {
            TSmsRecv r;
            QVERIFY(r.DecodePdu(pdus[i]));
            QCOMPARE(r.Sender(), expectedSender);
            QCOMPARE(r.Multipart(), parts > 1);
            if (parts > 1) {
                QCOMPARE(r.RefNo(), 77);
                QCOMPARE(r.Total(), parts);
                QCOMPARE(r.SeqNo(), i + 1);
            }
            joined += r.Text();
            // The time stamp: 26-12-09 23:45:06, 14 quarter hours west (sign bit set).
            const int at = pdus[i].indexOf(QStringLiteral("622190325460"));
            QVERIFY2(at > 0, qPrintable(pdus[i]));
            QCOMPARE(pdus[i].mid(at + 12, 2), QStringLiteral("49"));
        }
        QCOMPARE(joined, text);
    }
    void serviceCentreTimeStamp_data()
    {
        QTest::addColumn<QString>("pdu");
        QTest::addColumn<qint64>("seconds"); // since 1970 UTC; kNoTimeStamp for none
        const QDate day(2026, 12, 9);
        auto deliver = [](const QDateTime& Stamp) {
            return BuildDeliverPdus(QStringLiteral("+4917"), Stamp, QStringLiteral("x")).front();
        };
        const QDateTime utc(day, QTime(23, 45, 6), Qt::UTC);
        QTest::newRow("UTC") << deliver(utc) << utc.toSecsSinceEpoch();
        // The same instant written as local time two hours east, and three and a half west.
        QTest::newRow("east of UTC") << deliver(utc.toOffsetFromUtc(7200)) << utc.toSecsSinceEpoch();
        QTest::newRow("west of UTC") << deliver(utc.toOffsetFromUtc(-12600)) << utc.toSecsSinceEpoch();
        const QDateTime leap(QDate(2028, 2, 29), QTime(0, 0, 59), Qt::UTC);
        QTest::newRow("29 February") << deliver(leap) << leap.toSecsSinceEpoch();
        // Zeros, as written when the time is not known, and a digit that is not decimal.
        QTest::newRow("no time") << deliver(QDateTime()) << TSmsRecv::kNoTimeStamp;
        QString badDigit = deliver(utc);
        const int at = badDigit.indexOf(QStringLiteral("622190"));
        badDigit.replace(at + 6, 2, QStringLiteral("3A"));
        QTest::newRow("hour not decimal") << badDigit << TSmsRecv::kNoTimeStamp;
        TSmsSend send;
        send.SetTarget(QStringLiteral("+4917"));
        send.SetText(QStringLiteral("x"));
        QTest::newRow("SUBMIT carries none") << send.EncodePdu().front() << TSmsRecv::kNoTimeStamp;
    }

    // The service centre's time stamp, as the instant it names: the message store tells the
    // parts of long messages apart by it.
    void serviceCentreTimeStamp()
    {
        QFETCH(QString, pdu);
        QFETCH(qint64, seconds);
        TSmsRecv r;
        QVERIFY(r.DecodePdu(pdu));
        QCOMPARE(r.TimeStamp(), seconds);
        // A decoder used again forgets the previous stamp.
        TSmsSend send;
        send.SetTarget(QStringLiteral("+4917"));
        send.SetText(QStringLiteral("y"));
        QVERIFY(r.DecodePdu(send.EncodePdu().front()));
        QCOMPARE(r.TimeStamp(), TSmsRecv::kNoTimeStamp);
    }

    // Status reports as service centres send them: the fields that match a report to the part it
    // reports on (reference, recipient) and the outcome, whatever optional parameters follow.
    void statusReports_data()
    {
        QTest::addColumn<QString>("pdu");
        QTest::addColumn<int>("reference");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<qint64>("received");   // TP-SCTS
        QTest::addColumn<qint64>("discharged"); // TP-DT
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("words");
        const qint64 scts = QDateTime(QDate(2026, 12, 9), QTime(9, 15, 30), Qt::UTC).toSecsSinceEpoch();
        const qint64 dt = scts + 12;
        // Service centre +447802000332, reference 0x0D, recipient +44791234567, both times
        // written at UTC+1 (four quarter hours).
        const QString head = QStringLiteral("07914487200030F3 06 0D 0B914497214365F7 62219001510340 62219001512440");
        auto row = [&](const char* Name, const QString& Tail, int Status, TDeliveryOutcome Outcome, const char* Words) {
            QTest::newRow(Name) << QString(head + Tail) << 0x0D << QStringLiteral("+44791234567") << scts << dt
                                << Status << int(Outcome) << QString::fromLatin1(Words);
        };
        // The optional part: none, an empty indicator, PID + DCS + UDL with no text, an indicator
        // with an extension octet, and a report that carries text.
        row("delivered, no parameter indicator", QStringLiteral("00"), 0x00, doDelivered, "delivered");
        row("delivered, empty indicator", QStringLiteral("00 00"), 0x00, doDelivered, "delivered");
        row("indicator with PID, DCS, UDL", QStringLiteral("00 07 00 00 00"), 0x00, doDelivered, "delivered");
        row("indicator with extension", QStringLiteral("00 80 00"), 0x00, doDelivered, "delivered");
        row("report carrying text", QStringLiteral("46 04 02 E834"), 0x46, doFailed, "failed: validity period expired");
        struct TStatus
        {
            int Code;
            TDeliveryOutcome Outcome;
            const char* Words;
        };
        static const TStatus kStatuses[] = {
            {0x01, doDelivered, "delivered: forwarded, receipt not confirmed"},
            {0x02, doDelivered, "delivered: replaced by the service centre"},
            {0x20, doPending, "still trying: network congestion"},
            {0x21, doPending, "still trying: recipient busy"},
            {0x22, doPending, "still trying: no response from the recipient"},
            {0x23, doPending, "still trying: service rejected"},
            {0x24, doPending, "still trying: quality of service not available"},
            {0x25, doPending, "still trying: error in the recipient's device"},
            {0x30, doPending, "still trying (status 0x30)"},
            {0x40, doFailed, "failed: remote procedure error"},
            {0x41, doFailed, "failed: incompatible destination"},
            {0x42, doFailed, "failed: connection rejected by the recipient"},
            {0x43, doFailed, "failed: number not obtainable"},
            {0x44, doFailed, "failed: quality of service not available"},
            {0x45, doFailed, "failed: no interworking available"},
            {0x46, doFailed, "failed: validity period expired"},
            {0x49, doFailed, "failed: message does not exist"},
            {0x60, doFailed, "failed: network congestion"},
            {0x61, doFailed, "failed: recipient busy"},
            {0x62, doFailed, "failed: no response from the recipient"},
            {0x63, doFailed, "failed: service rejected"},
            {0x64, doFailed, "failed: quality of service not available"},
            {0x65, doFailed, "failed: error in the recipient's device"},
            // Reserved values: the service centre completed nothing it can name.
            {0x66, doFailed, "failed (status 0x66)"},
            {0xFF, doFailed, "failed (status 0xFF)"},
        };
        for (const TStatus& st : kStatuses) {
            const QByteArray name = QByteArrayLiteral("status 0x") + QByteArray::number(st.Code, 16);
            row(name.constData(), QString::number(st.Code, 16).rightJustified(2, QLatin1Char('0')), st.Code, st.Outcome,
                st.Words);
        }
        // A national recipient, no service-centre address, times the stack did not know.
        QTest::newRow("national recipient, no times")
            << QStringLiteral("00 06 FF 0A811032547698 00000000000000 00000000000000 21") << 0xFF
            << QStringLiteral("0123456789") << TSmsRecv::kNoTimeStamp << TSmsRecv::kNoTimeStamp << 0x21
            << int(doPending) << QStringLiteral("still trying: recipient busy");
        // Cut short after the recipient: the status is unknown, nothing is made up.
        QTest::newRow("ends after the recipient")
            << QStringLiteral("00 06 07 04812143") << 7 << QStringLiteral("1234") << TSmsRecv::kNoTimeStamp
            << TSmsRecv::kNoTimeStamp << -1 << int(doPending) << QStringLiteral("status unknown");
    }

    void statusReports()
    {
        QFETCH(QString, pdu);
        QFETCH(int, reference);
        QFETCH(QString, recipient);
        QFETCH(qint64, received);
        QFETCH(qint64, discharged);
        QFETCH(int, status);
        QFETCH(int, outcome);
        QFETCH(QString, words);
        pdu.remove(QLatin1Char(' '));
        TSmsRecv r;
        // A report is never a text message, whatever its user data says.
        QVERIFY(!r.DecodePdu(pdu));
        QCOMPARE(r.Content(), scStatusReport);
        QVERIFY(r.Text().isEmpty());
        QCOMPARE(r.MessageRef(), reference);
        QCOMPARE(r.Sender(), recipient);
        QCOMPARE(r.TimeStamp(), received);
        QCOMPARE(r.DischargeTime(), discharged);
        QCOMPARE(r.Status(), status);
        QCOMPARE(int(TSmsRecv::StatusOutcome(r.Status())), outcome);
        QCOMPARE(TSmsRecv::StatusText(r.Status()), words);
        // The fields of one report do not leak into the next decode.
        // The builder the simulated modem uses writes what the decoder read.
        if (status >= 0 && received != TSmsRecv::kNoTimeStamp) {
            const QString built = BuildStatusReportPdu(reference, recipient, QDateTime::fromSecsSinceEpoch(received),
                                                       QDateTime::fromSecsSinceEpoch(discharged), status);
            TSmsRecv b;
            QVERIFY(!b.DecodePdu(built));
            QCOMPARE(b.MessageRef(), reference);
            QCOMPARE(b.Sender(), recipient);
            QCOMPARE(b.TimeStamp(), received);
            QCOMPARE(b.DischargeTime(), discharged);
            QCOMPARE(b.Status(), status);
        }
        QVERIFY(r.DecodePdu(QStringLiteral("0004048121430000000000000000000002E834")));
        QCOMPARE(r.Status(), -1);
        QCOMPARE(r.MessageRef(), -1);
        QCOMPARE(r.DischargeTime(), TSmsRecv::kNoTimeStamp);
    }

    // TP-SRR asks for a report on every part; the decoder reads back the reference a report will
    // carry, and the text is unchanged.
    void statusReportRequest_data()
    {
        QTest::addColumn<bool>("request");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("firstOctet");
        QTest::newRow("off, one part") << false << QStringLiteral("hello") << 0x01;
        QTest::newRow("on, one part") << true << QStringLiteral("hello") << 0x21;
        QTest::newRow("on, three parts") << true << QString(400, QLatin1Char('x')) << 0x61;
        QTest::newRow("on, UCS-2") << true << QStringLiteral("\u00fcber \u4e2d") << 0x21;
    }

    void statusReportRequest()
    {
        QFETCH(bool, request);
        QFETCH(QString, text);
        QFETCH(int, firstOctet);
        NextMessageRef = 250;
        TSmsSend s;
        s.SetTarget(QStringLiteral("+4917"));
        s.SetText(text);
        s.SetStatusReportRequest(request);
        QString joined;
        int expectedRef = 250;
        for (const QString& pdu : s.EncodePdu()) {
            QCOMPARE(pdu.mid(2, 2).toInt(nullptr, 16), firstOctet);
            TSmsRecv r;
            QVERIFY(r.DecodePdu(pdu));
            QCOMPARE(r.MessageRef(), expectedRef);
            expectedRef = (expectedRef + 1) & 0xFF;
            joined += r.Text();
        }
        QCOMPARE(joined, text);
    }
};

QTEST_GUILESS_MAIN(TestSmsCodec)
#include "tst_sms_codec.moc"
