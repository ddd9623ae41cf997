#include "core/Contacts.h"

#include "base/Errors.h"
#include "sqlite/SQLiteDB.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <algorithm>

namespace Ombrelay
{

// ---- Phone numbers ----

namespace
{

// Country calling codes of one and two digits; every other code has three. A code is the
// shortest prefix of the international digits that is a code, since none is a prefix of another.
bool IsShortCountryCode(QStringView Code)
{
    static const char* const kCodes[] = {"1",  "7",  "20", "27", "30", "31", "32", "33", "34", "36", "39", "40",
                                         "41", "43", "44", "45", "46", "47", "48", "49", "51", "52", "53", "54",
                                         "55", "56", "57", "58", "60", "61", "62", "63", "64", "65", "66", "81",
                                         "82", "84", "86", "90", "91", "92", "93", "94", "95", "98"};
    return std::any_of(std::begin(kCodes), std::end(kCodes), [&](const char* C) { return Code == QLatin1String(C); });
}

// The number without the separators people write into it; empty when anything else but digits
// and one leading '+' remains.
QString Compact(const QString& Number)
{
    QString out;
    out.reserve(Number.size());
    for (const QChar c : Number) {
        if (c.isSpace() || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('(') ||
            c == QLatin1Char(')') || c == QLatin1Char('/')) {
            continue;
        }
        if (c.isDigit() && c.unicode() < 128) {
            out += c;
        } else if (c == QLatin1Char('+') && out.isEmpty()) {
            out += c;
        } else {
            return {};
        }
    }
    return out == QLatin1String("+") ? QString() : out;
}

} // namespace

QString TPhoneNumber::CountryCodeOf(const QString& Digits)
{
    for (int length = 1; length <= 3 && length <= Digits.size(); ++length) {
        const QStringView code = QStringView(Digits).left(length);
        if (length == 3 || IsShortCountryCode(code)) {
            // A code never starts with 0.
            return code.startsWith(QLatin1Char('0')) ? QString() : code.toString();
        }
    }
    return {};
}

QString TPhoneNumber::International(const QString& Number)
{
    const QString compact = Compact(Number);
    if (compact.startsWith(QLatin1Char('+'))) {
        return compact.mid(1);
    }
    // 00 is the international prefix of most of the world's networks.
    if (compact.startsWith(QLatin1String("00")) && compact.size() > 2 && compact.at(2) != QLatin1Char('0')) {
        return compact.mid(2);
    }
    return {};
}

QString TPhoneNumber::Key(const QString& Number, const QString& HomeCountry)
{
    const QString compact = Compact(Number);
    if (compact.isEmpty()) {
        // Not a phone number: an alphanumeric sender is matched by its text.
        return Number.trimmed().toCaseFolded();
    }
    const QString international = International(compact);
    if (!international.isEmpty()) {
        return international;
    }
    // One trunk zero: a national number, which needs the home country to be compared with an
    // international one.
    if (!HomeCountry.isEmpty() && compact.size() > 1 && compact.startsWith(QLatin1Char('0')) &&
        compact.at(1) != QLatin1Char('0')) {
        return HomeCountry + compact.mid(1);
    }
    return compact;
}

QString TPhoneNumber::National(const QString& Number, const QString& HomeCountry)
{
    const QString international = International(Number);
    if (HomeCountry.isEmpty() || !international.startsWith(HomeCountry) || international.size() <= HomeCountry.size()) {
        return {};
    }
    return QLatin1Char('0') + international.mid(HomeCountry.size());
}

QString TPhoneNumber::MostCommonCountry(const QStringList& Numbers)
{
    QHash<QString, int> counts;
    for (const QString& number : Numbers) {
        const QString code = CountryCodeOf(International(number));
        if (!code.isEmpty()) {
            ++counts[code];
        }
    }
    QString best;
    int bestCount = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount || (it.value() == bestCount && it.key() < best)) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return best;
}

// ---- The table ----

TContacts::TContacts(TSQLiteDB& Db, const QString& HomeCountry)
    : FDb(Db)
    , FHomeCountry(HomeCountry)
{
    TSQLiteLock lock(FDb);
    bool exists = false;
    {
        TSQLiteQuery query(FDb,
                           QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'CONTACTS'"));
        exists = FDb.Next();
    }
    if (exists) {
        Load();
    }
}

void TContacts::CreateTable(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    Db.ExecSQL(QStringLiteral("CREATE TABLE IF NOT EXISTS CONTACTS (ID INTEGER NOT NULL PRIMARY KEY, "
                              "NUMBER TEXT NOT NULL, NAME TEXT NOT NULL)"));
}

void TContacts::Load()
{
    FContacts.clear();
    TSQLiteQuery query(FDb, QStringLiteral("SELECT ID, NUMBER, NAME FROM CONTACTS ORDER BY ID"));
    while (FDb.Next()) {
        FContacts.append(TContact{FDb.GetFieldAsInt64(0), FDb.GetFieldAsString(1), FDb.GetFieldAsString(2)});
    }
    Rehash();
}

void TContacts::Rehash()
{
    FByKey.clear();
    // Backwards, so that the first contact stored for a number wins.
    for (int i = int(FContacts.size()) - 1; i >= 0; --i) {
        FByKey.insert(TPhoneNumber::Key(FContacts[i].Number, FHomeCountry), i);
    }
}

void TContacts::SetHomeCountry(const QString& Value)
{
    FHomeCountry = Value;
    Rehash();
}

TContact TContacts::Find(const QString& Number) const
{
    const auto it = FByKey.constFind(TPhoneNumber::Key(Number, FHomeCountry));
    return it == FByKey.cend() ? TContact{} : FContacts.at(it.value());
}

QString TContacts::NameFor(const QString& Number) const
{
    return Find(Number).Name;
}

qint64 TContacts::SetUnlocked(const QString& Number, const QString& Name)
{
    const QString number = Number.trimmed();
    const QString name = Name.simplified();
    if (number.isEmpty() || name.isEmpty()) {
        throw EOmbrelayError(QCoreApplication::translate("Contacts", "A contact needs a number and a name."));
    }
    const TContact existing = Find(number);
    if (existing.Id != 0) {
        TSQLiteQuery query(FDb, QStringLiteral("UPDATE CONTACTS SET NAME = ?, NUMBER = ? WHERE ID = ?"));
        FDb.SetParamAsString(1, name);
        FDb.SetParamAsString(2, number);
        FDb.SetParamAsInt64(3, existing.Id);
        FDb.Exec();
        return existing.Id;
    }
    TSQLiteQuery query(FDb, QStringLiteral("INSERT INTO CONTACTS (NUMBER, NAME) VALUES (?, ?)"));
    FDb.SetParamAsString(1, number);
    FDb.SetParamAsString(2, name);
    FDb.Exec();
    return FDb.GetLastInsertRowId();
}

qint64 TContacts::Set(const QString& Number, const QString& Name)
{
    TSQLiteLock lock(FDb);
    CreateTable(FDb);
    const qint64 id = SetUnlocked(Number, Name);
    Load();
    return id;
}

void TContacts::Remove(qint64 Id)
{
    TSQLiteLock lock(FDb);
    {
        TSQLiteQuery query(FDb, QStringLiteral("DELETE FROM CONTACTS WHERE ID = ?"));
        FDb.SetParamAsInt64(1, Id);
        FDb.Exec();
    }
    Load();
}

int TContacts::ImportVCard(const QByteArray& Data)
{
    // Parsed whole before anything is written: a fault in the file stores nothing.
    const QList<TVCardEntry> entries = ParseVCards(Data);
    TSQLiteLock lock(FDb);
    CreateTable(FDb);
    int stored = 0;
    {
        TSQLiteTransaction transaction(FDb);
        for (const TVCardEntry& entry : entries) {
            for (const QString& number : entry.Numbers) {
                SetUnlocked(number, entry.Name);
                ++stored;
            }
        }
        transaction.Commit();
    }
    Load();
    return stored;
}

// ---- vCard ----

namespace
{

struct TProperty
{
    QByteArray Name;
    QList<std::pair<QByteArray, QByteArray>> Params;
    QByteArray Value;
    int Line = 0;

    QByteArray Param(const char* Key) const
    {
        for (const auto& [key, value] : Params) {
            if (key == Key) {
                return value;
            }
        }
        return {};
    }
    // vCard 2.1 also writes a parameter's value alone: TEL;CELL;QUOTED-PRINTABLE:...
    bool HasBare(const char* Bare) const
    {
        return std::any_of(Params.cbegin(), Params.cend(),
                           [&](const auto& P) { return P.first == Bare && P.second.isNull(); });
    }
    bool QuotedPrintable() const
    {
        return Param("ENCODING").toUpper() == "QUOTED-PRINTABLE" || HasBare("QUOTED-PRINTABLE");
    }
};

[[noreturn]] void Fault(int Line, const QString& What)
{
    //: %1 is a line number, %2 one of the vCard faults of this context.
    throw EOmbrelayError(
        QCoreApplication::translate("Contacts", "The vCard file cannot be read: line %1: %2. No contact was imported.")
            .arg(Line)
            .arg(What));
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9') {
        return C - '0';
    }
    if (C >= 'A' && C <= 'F') {
        return C - 'A' + 10;
    }
    if (C >= 'a' && C <= 'f') {
        return C - 'a' + 10;
    }
    return -1;
}

QByteArray DecodeQuotedPrintable(const QByteArray& Text, int Line)
{
    QByteArray out;
    out.reserve(Text.size());
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const char c = Text.at(i);
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 1 == Text.size()) {
            // A soft line break left at the very end.
            break;
        }
        if (i + 2 >= Text.size()) {
            Fault(Line, QCoreApplication::translate("Contacts", "a quoted-printable escape is cut off"));
        }
        const int high = HexDigit(Text.at(i + 1));
        const int low = HexDigit(Text.at(i + 2));
        if (high < 0 || low < 0) {
            Fault(Line,
                  QCoreApplication::translate("Contacts", "a quoted-printable escape is not two hexadecimal digits"));
        }
        out += char(high * 16 + low);
        i += 2;
    }
    return out;
}

QString DecodeText(const TProperty& Property)
{
    const QByteArray raw =
        Property.QuotedPrintable() ? DecodeQuotedPrintable(Property.Value, Property.Line) : Property.Value;
    const QByteArray charset = Property.Param("CHARSET");
    if (charset.isEmpty() || charset.toUpper() == "UTF-8") {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(raw);
        if (decoder.hasError()) {
            Fault(Property.Line,
                  QCoreApplication::translate("Contacts", "the text is not UTF-8 (give the file's CHARSET)"));
        }
        return text;
    }
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid()) {
        Fault(Property.Line,
              QCoreApplication::translate("Contacts", "unknown character set %1").arg(QString::fromLatin1(charset)));
    }
    const QString text = decoder.decode(raw);
    if (decoder.hasError()) {
        Fault(Property.Line,
              QCoreApplication::translate("Contacts", "the text is not valid %1").arg(QString::fromLatin1(charset)));
    }
    return text;
}

// Splits a structured value at unescaped Separator and removes the escapes.
QStringList SplitValue(const QString& Value, QChar Separator)
{
    QStringList parts(1);
    for (qsizetype i = 0; i < Value.size(); ++i) {
        const QChar c = Value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < Value.size()) {
            const QChar next = Value.at(++i);
            parts.last() += (next == QLatin1Char('n') || next == QLatin1Char('N')) ? QChar(QLatin1Char(' ')) : next;
        } else if (c == Separator) {
            parts.append(QString());
        } else {
            parts.last() += c;
        }
    }
    return parts;
}

TProperty ParseProperty(const QByteArray& Line, int LineNo)
{
    // The name and parameters end at the first colon outside a quoted parameter value.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < Line.size(); ++i) {
        if (Line.at(i) == '"') {
            quoted = !quoted;
        } else if (Line.at(i) == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0) {
        Fault(LineNo, QCoreApplication::translate("Contacts", "expected NAME:VALUE"));
    }
    TProperty property;
    property.Line = LineNo;
    property.Value = Line.mid(colon + 1);
    const QList<QByteArray> parts = Line.left(colon).split(';');
    QByteArray name = parts.front().trimmed().toUpper();
    // A group prefix (item1.TEL) names a group, not the property.
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) {
        name = name.mid(dot + 1);
    }
    if (name.isEmpty()) {
        Fault(LineNo, QCoreApplication::translate("Contacts", "a property without a name"));
    }
    property.Name = name;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray param = parts[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0) {
            property.Params.append({param.toUpper(), QByteArray()});
        } else {
            QByteArray value = param.mid(eq + 1);
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"')) {
                value = value.mid(1, value.size() - 2);
            }
            property.Params.append({param.left(eq).trimmed().toUpper(), value});
        }
    }
    return property;
}

QString TelNumber(const TProperty& Property)
{
    QString value = DecodeText(Property).trimmed();
    // vCard 4.0 writes TEL as a URI: tel:+49-170-1234567;ext=12.
    if (value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
        value = value.mid(4);
        const qsizetype semicolon = value.indexOf(QLatin1Char(';'));
        if (semicolon >= 0) {
            value.truncate(semicolon);
        }
    }
    return value.trimmed();
}

} // namespace

QList<TVCardEntry> ParseVCards(const QByteArray& Data)
{
    // Physical lines, each with the number of its first line.
    QList<std::pair<QByteArray, int>> lines;
    {
        int number = 0;
        qsizetype start = 0;
        bool continueQp = false;
        while (start <= Data.size()) {
            qsizetype end = Data.indexOf('\n', start);
            if (end < 0) {
                end = Data.size();
            }
            QByteArray line = Data.mid(start, end - start);
            start = end + 1;
            ++number;
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (continueQp) {
                // The previous line ended in a quoted-printable soft break: this one goes on.
                lines.last().first += line;
            } else if (!lines.isEmpty() && !line.isEmpty() && (line.at(0) == ' ' || line.at(0) == '\t')) {
                // A folded line: the line break and one white space character are removed.
                lines.last().first += line.mid(1);
            } else if (!line.trimmed().isEmpty()) {
                lines.append({line, number});
            }
            continueQp = false;
            if (!lines.isEmpty() && lines.last().first.endsWith('=')) {
                const QByteArray& last = lines.last().first;
                const qsizetype colon = last.indexOf(':');
                if (colon > 0 && last.left(colon).toUpper().contains("QUOTED-PRINTABLE")) {
                    lines.last().first.chop(1);
                    continueQp = true;
                }
            }
            if (end == Data.size()) {
                break;
            }
        }
    }

    QList<TVCardEntry> entries;
    bool inCard = false;
    int cardLine = 0;
    QString fn;
    QString n;
    QString org;
    QStringList numbers;
    for (const auto& [line, number] : lines) {
        const TProperty property = ParseProperty(line, number);
        const QByteArray value = property.Value.trimmed().toUpper();
        if (property.Name == "BEGIN") {
            if (value != "VCARD") {
                Fault(number, QCoreApplication::translate("Contacts", "BEGIN of something else than a vCard"));
            }
            if (inCard) {
                Fault(number,
                      QCoreApplication::translate("Contacts", "a vCard begins inside another one (END:VCARD missing)"));
            }
            inCard = true;
            cardLine = number;
            fn.clear();
            n.clear();
            org.clear();
            numbers.clear();
            continue;
        }
        if (!inCard) {
            Fault(number, QCoreApplication::translate("Contacts", "text outside BEGIN:VCARD ... END:VCARD"));
        }
        if (property.Name == "END") {
            if (value != "VCARD") {
                Fault(number, QCoreApplication::translate("Contacts", "END of something else than a vCard"));
            }
            inCard = false;
            QString name = fn.simplified();
            if (name.isEmpty()) {
                name = n.simplified();
            }
            if (name.isEmpty()) {
                name = org.simplified();
            }
            if (!numbers.isEmpty() && !name.isEmpty()) {
                entries.append(TVCardEntry{name, numbers});
            }
            continue;
        }
        if (property.Name == "VERSION") {
            if (value != "2.1" && value != "3.0" && value != "4.0") {
                Fault(number, QCoreApplication::translate("Contacts", "unknown vCard version %1")
                                  .arg(QString::fromLatin1(value)));
            }
        } else if (property.Name == "FN") {
            fn = SplitValue(DecodeText(property), QChar(0)).join(QString());
        } else if (property.Name == "N") {
            // Family; Given; Additional; Prefixes; Suffixes, written as people say them.
            const QStringList parts = SplitValue(DecodeText(property), QLatin1Char(';'));
            const QString family = parts.value(0);
            n = QStringList{parts.value(3), parts.value(1), parts.value(2), family, parts.value(4)}.join(
                QLatin1Char(' '));
        } else if (property.Name == "ORG") {
            org = SplitValue(DecodeText(property), QLatin1Char(';')).value(0);
        } else if (property.Name == "TEL") {
            const QString tel = TelNumber(property);
            if (!tel.isEmpty() && !numbers.contains(tel)) {
                numbers.append(tel);
            }
        }
    }
    if (inCard) {
        Fault(cardLine, QCoreApplication::translate("Contacts", "the vCard that begins here has no END:VCARD"));
    }
    if (lines.isEmpty()) {
        Fault(1, QCoreApplication::translate("Contacts", "the file holds no vCard"));
    }
    return entries;
}

} // namespace Ombrelay
