#pragma once

// Names for phone numbers: the CONTACTS table, the matching of a number written in national
// form (0170 1234567) with the same number in international form (+49 170 1234567), and the
// import of vCard files.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace Ombrelay
{

class TSQLiteDB;

struct TContact
{
    qint64 Id = 0;
    QString Number;
    QString Name;
};

// Phone number forms. A number is compared by its key: the international digits ("49170...")
// when the number says its country or the home country is known, else its digits as written.
// The home country is never guessed from a national number alone.
class TPhoneNumber
{
public:
    // The country calling code (1 to 3 digits) that starts the international digits Digits, or
    // an empty string when none does.
    static QString CountryCodeOf(const QString& Digits);
    // The international digits of Number ("+49 170 1" and "0049 170 1" give "491701"), or an
    // empty string when the number does not say its country.
    static QString International(const QString& Number);
    // The key described above. HomeCountry is a calling code ("49") or empty. Text that is not
    // a phone number (an alphanumeric sender) is its own key, case folded.
    static QString Key(const QString& Number, const QString& HomeCountry);
    // The national form ("0170...") of an international number of HomeCountry, else empty.
    static QString National(const QString& Number, const QString& HomeCountry);
    // The country code most of Numbers carry in international form; empty when none does.
    static QString MostCommonCountry(const QStringList& Numbers);
};

// The CONTACTS table on one connection. Names are looked up through an in-memory map that is
// filled at construction and kept in step by Add, Update and Remove.
class TContacts
{
public:
    // Creates the table when missing (unless the connection is read-only) and loads it.
    explicit TContacts(TSQLiteDB& Db, const QString& HomeCountry = QString());

    static void CreateTable(TSQLiteDB& Db);

    const QString& HomeCountry() const { return FHomeCountry; }
    void SetHomeCountry(const QString& Value);

    // The name for Number, or an empty string.
    QString NameFor(const QString& Number) const;
    // The contact whose number matches Number; Id 0 when none does.
    TContact Find(const QString& Number) const;
    QList<TContact> All() const { return FContacts; }

    // Adds a contact, or renames the one whose number matches; returns its id. A name or number
    // that is empty is refused with EOmbrelayError.
    qint64 Set(const QString& Number, const QString& Name);
    void Remove(qint64 Id);

    // Adds every contact of a vCard text in one transaction. When the text does not parse,
    // EOmbrelayError says where and nothing is written. Returns how many numbers were stored.
    int ImportVCard(const QByteArray& Data);

private:
    void Load();
    void Rehash();
    qint64 SetUnlocked(const QString& Number, const QString& Name);

    TSQLiteDB& FDb;
    QString FHomeCountry;
    QList<TContact> FContacts;
    QHash<QString, int> FByKey;
};

// One person of a vCard: the display name and every telephone number.
struct TVCardEntry
{
    QString Name;
    QStringList Numbers;
};

// vCard 2.1, 3.0 and 4.0: folded lines, quoted-printable (with soft line breaks), UTF-8 and
// Latin-1 charsets, grouped properties (item1.TEL), TEL as text or tel: URI, FN or else N.
// Raises EOmbrelayError naming the line of the first fault; returns nothing in part.
QList<TVCardEntry> ParseVCards(const QByteArray& Data);

} // namespace Ombrelay
