// Contacts: numbers in national and international form, the CONTACTS table, and vCard import
// (good files of every version, and bad ones that must store nothing).

#include "base/Errors.h"
#include "core/Contacts.h"
#include "support/TempDatabase.h"

#include <QTest>

using namespace Ombrelay;

class TestContacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keys_data();
    void keys();
    void homeCountryFromNumbers();
    void nameForEitherForm();
    void noCountryIsInvented();
    void setRenamesAndRefusesEmpty();
    void contactsOutliveReopen();
    void parsesVCards_data();
    void parsesVCards();
    void badVCardStoresNothing_data();
    void badVCardStoresNothing();
};

void TestContacts::keys_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("key");
    QTest::newRow("international") << "+49 170 1234567"
                                   << ""
                                   << "491701234567";
    QTest::newRow("00 prefix") << "0049 (170) 123-4567"
                               << ""
                               << "491701234567";
    QTest::newRow("national with home") << "0170 1234567"
                                        << "49"
                                        << "491701234567";
    QTest::newRow("national without home stays") << "0170/1234567"
                                                 << ""
                                                 << "01701234567";
    QTest::newRow("international ignores home") << "+33 6 12345678"
                                                << "49"
                                                << "33612345678";
    QTest::newRow("short code") << "22333"
                                << "49"
                                << "22333";
    QTest::newRow("alphanumeric sender") << "  PayBank "
                                         << "49"
                                         << "paybank";
    QTest::newRow("plus inside is not a number") << "12+34"
                                                 << "49"
                                                 << "12+34";
}

void TestContacts::keys()
{
    QFETCH(QString, number);
    QFETCH(QString, home);
    QFETCH(QString, key);
    QCOMPARE(TPhoneNumber::Key(number, home), key);
}

void TestContacts::homeCountryFromNumbers()
{
    QCOMPARE(TPhoneNumber::CountryCodeOf(QStringLiteral("491701")), QStringLiteral("49"));
    QCOMPARE(TPhoneNumber::CountryCodeOf(QStringLiteral("12125550100")), QStringLiteral("1"));
    QCOMPARE(TPhoneNumber::CountryCodeOf(QStringLiteral("353861234567")), QStringLiteral("353"));
    QCOMPARE(TPhoneNumber::MostCommonCountry({QStringLiteral("+4917011"), QStringLiteral("+33612"),
                                              QStringLiteral("+4915112"), QStringLiteral("017012"),
                                              QStringLiteral("PayBank")}),
             QStringLiteral("49"));
    // National numbers alone say nothing of the country.
    QCOMPARE(TPhoneNumber::MostCommonCountry({QStringLiteral("017012"), QStringLiteral("22333")}), QString());
    QCOMPARE(TPhoneNumber::National(QStringLiteral("+491701234567"), QStringLiteral("49")),
             QStringLiteral("01701234567"));
}

void TestContacts::nameForEitherForm()
{
    TTempDatabase db;
    TContacts contacts(db.DB(), QStringLiteral("49"));
    contacts.Set(QStringLiteral("+49 170 1234567"), QStringLiteral("Anna"));
    contacts.Set(QStringLiteral("0151 7654321"), QStringLiteral("Ben"));
    QCOMPARE(contacts.NameFor(QStringLiteral("01701234567")), QStringLiteral("Anna"));
    QCOMPARE(contacts.NameFor(QStringLiteral("+491701234567")), QStringLiteral("Anna"));
    QCOMPARE(contacts.NameFor(QStringLiteral("+491517654321")), QStringLiteral("Ben"));
    QCOMPARE(contacts.NameFor(QStringLiteral("004915176543210")), QString());
    QCOMPARE(contacts.NameFor(QStringLiteral("+431701234567")), QString());
}

void TestContacts::noCountryIsInvented()
{
    TTempDatabase db;
    TContacts contacts(db.DB());
    contacts.Set(QStringLiteral("+491701234567"), QStringLiteral("Anna"));
    QCOMPARE(contacts.NameFor(QStringLiteral("01701234567")), QString());
    contacts.SetHomeCountry(QStringLiteral("49"));
    QCOMPARE(contacts.NameFor(QStringLiteral("01701234567")), QStringLiteral("Anna"));
}

void TestContacts::setRenamesAndRefusesEmpty()
{
    TTempDatabase db;
    TContacts contacts(db.DB(), QStringLiteral("49"));
    const qint64 id = contacts.Set(QStringLiteral("+491701234567"), QStringLiteral("Anna"));
    // The same number in its other form is the same contact.
    QCOMPARE(contacts.Set(QStringLiteral("01701234567"), QStringLiteral("Anna  Berg ")), id);
    QCOMPARE(contacts.All().size(), 1);
    QCOMPARE(contacts.NameFor(QStringLiteral("+491701234567")), QStringLiteral("Anna Berg"));
    QVERIFY_THROWS_EXCEPTION(EOmbrelayError, contacts.Set(QStringLiteral("0170"), QStringLiteral("  ")));
    QVERIFY_THROWS_EXCEPTION(EOmbrelayError, contacts.Set(QString(), QStringLiteral("Nobody")));
    contacts.Remove(id);
    QCOMPARE(contacts.NameFor(QStringLiteral("01701234567")), QString());
}

void TestContacts::contactsOutliveReopen()
{
    TTempDatabase db;
    TContacts(db.DB()).Set(QStringLiteral("+491701234567"), QStringLiteral("Anna"));
    db.Open();
    QCOMPARE(TContacts(db.DB()).NameFor(QStringLiteral("+491701234567")), QStringLiteral("Anna"));
}

void TestContacts::parsesVCards_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected"); // "name=number|number"

    QTest::newRow("3.0 with folded name")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Ma\r\n ria Berg\r\nTEL;TYPE=CELL:+49 170 1234567\r\n"
                      "TEL;TYPE=HOME:030 123456\r\nEND:VCARD\r\n")
        << QStringList{QStringLiteral("Anna Maria Berg=+49 170 1234567|030 123456")};
    QTest::newRow("2.1 quoted-printable UTF-8 with soft break")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCr=\ngens;Bj=C3=B6rn\n"
                      "TEL;CELL:0151 7654321\nEND:VCARD\n")
        << QStringList{QStringLiteral("Bj\u00f6rn J\u00fcrgens=0151 7654321")};
    QTest::newRow("2.1 bare QUOTED-PRINTABLE, Latin-1")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:Ren=E9\r\n"
                      "TEL;WORK;VOICE:+33612345678\r\nEND:VCARD\r\n")
        << QStringList{QStringLiteral("Ren\u00e9=+33612345678")};
    QTest::newRow("4.0 tel URI and grouped property")
        << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Chen Li\r\nitem1.TEL;VALUE=uri;TYPE=\"voice,cell\":"
                      "tel:+86-138-0013-8000;ext=2\r\nEND:VCARD\r\n")
        << QStringList{QStringLiteral("Chen Li=+86-138-0013-8000")};
    QTest::newRow("UTF-8 text, escapes, several cards, one without number")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:M\xc3\xbcller\\, Grete\nTEL:+491711\nEND:VCARD\n"
                      "BEGIN:VCARD\nVERSION:3.0\nFN:No Phone\nEMAIL:x@example.org\nEND:VCARD\n"
                      "BEGIN:VCARD\nVERSION:3.0\nORG:Pizza Place;Kitchen\nTEL:+491722\nEND:VCARD\n")
        << QStringList{QStringLiteral("M\u00fcller, Grete=+491711"), QStringLiteral("Pizza Place=+491722")};
    QTest::newRow("photo lines are skipped")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Pic\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRg\r\n "
                      "AAAA==\r\nTEL:+491733\r\nEND:VCARD\r\n")
        << QStringList{QStringLiteral("Pic=+491733")};
}

void TestContacts::parsesVCards()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    QStringList got;
    for (const TVCardEntry& e : ParseVCards(file)) {
        got << e.Name + QLatin1Char('=') + e.Numbers.join(QLatin1Char('|'));
    }
    QCOMPARE(got, expected);

    TTempDatabase db;
    TContacts contacts(db.DB());
    int numbers = 0;
    for (const QString& entry : expected) {
        numbers += int(entry.section(QLatin1Char('='), 1).split(QLatin1Char('|')).size());
    }
    QCOMPARE(contacts.ImportVCard(file), numbers);
    const QString first = expected.front();
    QCOMPARE(contacts.NameFor(first.section(QLatin1Char('='), 1).section(QLatin1Char('|'), 0, 0)),
             first.section(QLatin1Char('='), 0, 0));
}

void TestContacts::badVCardStoresNothing_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");
    const QByteArray good("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Good\r\nTEL:+491799\r\nEND:VCARD\r\n");
    QTest::newRow("empty file") << QByteArray() << "line 1: the file holds no vCard";
    QTest::newRow("not a vCard") << QByteArray("name,number\nAnna,+49170\n") << "line 1: expected NAME:VALUE";
    QTest::newRow("missing END") << good + "BEGIN:VCARD\r\nFN:Cut\r\nTEL:+491788\r\n"
                                 << "line 6: the vCard that begins here has no END:VCARD";
    QTest::newRow("nested BEGIN") << QByteArray("BEGIN:VCARD\nBEGIN:VCARD\n") << "line 2: a vCard begins inside";
    QTest::newRow("text outside a card") << good + "TEL:+491777\r\n"
                                         << "line 6: text outside";
    QTest::newRow("broken quoted-printable")
        << good + "BEGIN:VCARD\r\nFN;ENCODING=QUOTED-PRINTABLE:Ab=ZZ\r\nEND:VCARD\r\n"
        << "line 7: a quoted-printable escape";
    QTest::newRow("invalid UTF-8") << good + "BEGIN:VCARD\r\nFN:Bad \xff\xfe\r\nTEL:+491766\r\nEND:VCARD\r\n"
                                   << "line 7: the text is not UTF-8";
    QTest::newRow("unknown charset") << good + "BEGIN:VCARD\r\nFN;CHARSET=X-NOPE:Bad\r\nEND:VCARD\r\n"
                                     << "line 7: unknown character set X-NOPE";
    QTest::newRow("unknown version") << QByteArray("BEGIN:VCARD\nVERSION:9.9\nEND:VCARD\n")
                                     << "line 2: unknown vCard version 9.9";
}

void TestContacts::badVCardStoresNothing()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    TTempDatabase db;
    TContacts contacts(db.DB());
    contacts.Set(QStringLiteral("+491700"), QStringLiteral("Kept"));
    try {
        contacts.ImportVCard(file);
        QFAIL("the file was taken");
    } catch (const EOmbrelayError& e) {
        QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
        QVERIFY(e.Message().contains(QStringLiteral("No contact was imported")));
    }
    // Nothing of the good cards before the fault is stored, nothing earlier is lost.
    QCOMPARE(contacts.All().size(), 1);
    QCOMPARE(TContacts(db.DB()).All().size(), 1);
    QCOMPARE(contacts.NameFor(QStringLiteral("+491700")), QStringLiteral("Kept"));
}

QTEST_GUILESS_MAIN(TestContacts)
#include "tst_contacts.moc"
