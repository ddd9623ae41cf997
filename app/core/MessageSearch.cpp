#include "core/MessageSearch.h"

#include "core/Contacts.h"
#include "core/SmsStore.h"
#include "sqlite/SQLiteDB.h"

#include <QCoreApplication>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>

namespace Ombrelay
{

namespace
{

// Set once an update of the index failed in this process: from then on the recorded last row is
// left where it is, so that the next start indexes the table anew.
std::atomic<bool> GIndexBehind{false};

const QString kInsertEntry =
    QStringLiteral("INSERT INTO MESSAGE_SEARCH (rowid, TEXT, NUMBER, DEVICE, ROWS) VALUES (?, ?, ?, ?, ?)");
const QString kDeleteEntry = QStringLiteral("DELETE FROM MESSAGE_SEARCH WHERE rowid = ?");

qint64 EntryId(qint64 FirstRow, bool Outgoing)
{
    return FirstRow * 2 + (Outgoing ? 1 : 0);
}

QString TableOf(bool Outgoing)
{
    return Outgoing ? QStringLiteral("OUTGOING") : QStringLiteral("INCOMING");
}

// The number as written and its international digits ("0049 170" is found as "49170").
QString NumberForms(const QString& Number)
{
    const QString international = TPhoneNumber::International(Number);
    return international.isEmpty() ? Number : Number + QLatin1Char(' ') + international;
}

QString RowsText(const QList<qint64>& Rows)
{
    QStringList parts;
    for (const qint64 row : Rows) {
        parts << QString::number(row);
    }
    return parts.join(QLatin1Char(' '));
}

void InsertEntry(TSQLiteDB& Db, bool Outgoing, const TMessageRecord& Entry)
{
    Db.SetParamAsInt64(1, EntryId(Entry.Id, Outgoing));
    Db.SetParamAsString(2, Entry.Text);
    Db.SetParamAsString(3, NumberForms(Entry.Number));
    Db.SetParamAsString(4, Entry.Device);
    Db.SetParamAsString(5, RowsText(Entry.RowIds));
    Db.Exec();
}

// The words of Text as the index's tokenizer cuts them: runs of letters, digits and marks.
QStringList Words(const QString& Text)
{
    QStringList words;
    QString word;
    for (const QChar c : Text) {
        if (c.isLetterOrNumber() || c.isMark() || c.isSurrogate()) {
            word += c;
        } else if (!word.isEmpty()) {
            words << word;
            word.clear();
        }
    }
    if (!word.isEmpty()) {
        words << word;
    }
    return words;
}

QString Quoted(const QString& Word)
{
    QString w = Word;
    return QLatin1Char('"') + w.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

bool HasIndex(TSQLiteDB& Db)
{
    TSQLiteQuery query(Db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'MESSAGE_SEARCH'"));
    return Db.Next();
}

} // namespace

void TMessageSearch::Prepare(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    if (!HasIndex(Db)) {
        EnsureIndex(Db);
    }
}

void TMessageSearch::CheckAvailable(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    bool available = false;
    {
        TSQLiteQuery query(Db, QStringLiteral("SELECT sqlite_compileoption_used('ENABLE_FTS5')"));
        available = Db.Next() && Db.GetFieldAsInt(0) == 1;
    }
    if (!available) {
        throw ESQLiteException(QCoreApplication::translate("MessageSearch",
                                                           "The SQLite library in use (version %1) was built without "
                                                           "full-text search (FTS5), which message search needs.")
                                   .arg(QString::fromLatin1(sqlite3_libversion())),
                               SQLITE_ERROR);
    }
}

bool TMessageSearch::EnsureIndex(TSQLiteDB& Db)
{
    CheckAvailable(Db);
    TSQLiteLock lock(Db);
    bool created = false;
    {
        TSQLiteQuery query(Db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'MESSAGE_SEARCH'"));
        created = !Db.Next();
    }
    // Prefix indexes keep search as you type fast from the second letter on.
    Db.ExecSQL(QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS MESSAGE_SEARCH USING fts5(TEXT, NUMBER, "
                              "DEVICE UNINDEXED, ROWS UNINDEXED, tokenize = 'unicode61 remove_diacritics 2', "
                              "prefix = '2 3')"));
    Db.ExecSQL(QStringLiteral("CREATE TABLE IF NOT EXISTS MESSAGE_SEARCH_STATE (NAME TEXT NOT NULL PRIMARY KEY, "
                              "LASTID INTEGER NOT NULL)"));
    bool indexed = false;
    for (const bool outgoing : {false, true}) {
        qint64 last = -1;
        {
            TSQLiteQuery query(Db, QStringLiteral("SELECT LASTID FROM MESSAGE_SEARCH_STATE WHERE NAME = ?"));
            Db.SetParamAsString(1, TableOf(outgoing));
            if (Db.Next()) {
                last = Db.GetFieldAsInt64(0);
            }
        }
        qint64 max = 0;
        {
            TSQLiteQuery query(Db, QStringLiteral("SELECT MAX(ID) FROM ") + TableOf(outgoing));
            if (Db.Next() && !Db.GetFieldIsNull(0)) {
                max = Db.GetFieldAsInt64(0);
            }
        }
        if (created || last < 0) {
            Rebuild(Db, outgoing);
            indexed = true;
        } else if (last < max) {
            CatchUp(Db, outgoing, last);
            indexed = true;
        }
    }
    return indexed;
}

void TMessageSearch::Rebuild(TSQLiteDB& Db, bool Outgoing)
{
    TSQLiteLock lock(Db);
    TMessageFilter filter;
    filter.Incoming = !Outgoing;
    filter.Outgoing = Outgoing;
    const QList<TMessageRecord> records = TMessageQuery::List(Db, filter, nullptr);
    qint64 max = 0;
    TSQLiteTransaction transaction(Db);
    Db.ExecSQL(QStringLiteral("DELETE FROM MESSAGE_SEARCH WHERE rowid % 2 = %1").arg(Outgoing ? 1 : 0));
    {
        TSQLiteQuery query(Db, kInsertEntry);
        for (const TMessageRecord& r : records) {
            InsertEntry(Db, Outgoing, r);
            max = std::max(max, *std::max_element(r.RowIds.cbegin(), r.RowIds.cend()));
        }
    }
    {
        TSQLiteQuery query(Db, QStringLiteral("SELECT MAX(ID) FROM ") + TableOf(Outgoing));
        if (Db.Next() && !Db.GetFieldIsNull(0)) {
            max = std::max(max, Db.GetFieldAsInt64(0));
        }
    }
    {
        TSQLiteQuery query(Db,
                           QStringLiteral("INSERT OR REPLACE INTO MESSAGE_SEARCH_STATE (NAME, LASTID) VALUES (?, ?)"));
        Db.SetParamAsString(1, TableOf(Outgoing));
        Db.SetParamAsInt64(2, max);
        Db.Exec();
    }
    transaction.Commit();
}

void TMessageSearch::CatchUp(TSQLiteDB& Db, bool Outgoing, qint64 Last)
{
    // Only the messages behind are read: indexing the whole table again took minutes and
    // hundreds of megabytes for a million messages, at every start after such an end.
    TSQLiteLock lock(Db);
    const QString table = TableOf(Outgoing);
    bool grouped = false;
    {
        TSQLiteQuery query(Db, QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE name = 'GROUPID'"));
        Db.SetParamAsString(1, table);
        grouped = Db.Next();
    }
    QList<qint64> rows;
    QList<qint64> groups;
    {
        TSQLiteQuery query(Db, QStringLiteral("SELECT ID, %1 FROM %2 WHERE ID > ? ORDER BY ID")
                                   .arg(grouped ? QStringLiteral("GROUPID") : QStringLiteral("NULL"), table));
        Db.SetParamAsInt64(1, Last);
        while (Db.Next()) {
            rows << Db.GetFieldAsInt64(0);
            if (!Db.GetFieldIsNull(1) && Db.GetFieldAsInt64(1) <= Last) {
                groups << Db.GetFieldAsInt64(1);
            }
        }
    }
    // A long message whose first parts were indexed before is indexed again with all its parts.
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    for (const qint64 group : std::as_const(groups)) {
        TSQLiteQuery query(Db, QStringLiteral("SELECT ID FROM %1 WHERE GROUPID = ? AND ID <= ?").arg(table));
        Db.SetParamAsInt64(1, group);
        Db.SetParamAsInt64(2, Last);
        while (Db.Next()) {
            rows << Db.GetFieldAsInt64(0);
        }
    }
    IndexRows(Db, Outgoing, rows);
}

void TMessageSearch::Advance(TSQLiteDB& Db, bool Outgoing, qint64 LastRow)
{
    if (GIndexBehind) {
        return;
    }
    TSQLiteQuery query(Db, QStringLiteral("INSERT INTO MESSAGE_SEARCH_STATE (NAME, LASTID) VALUES (?, ?) ON "
                                          "CONFLICT (NAME) DO UPDATE SET LASTID = max(LASTID, excluded.LASTID)"));
    Db.SetParamAsString(1, TableOf(Outgoing));
    Db.SetParamAsInt64(2, LastRow);
    Db.Exec();
}

void TMessageSearch::Index(TSQLiteDB& Db, bool Outgoing, const QList<const TSmsItem*>& Items, const QString& Device)
{
    if (Items.isEmpty()) {
        return;
    }
    TSQLiteLock lock(Db);
    Prepare(Db);
    try {
        TSQLiteTransaction transaction(Db);
        qint64 last = 0;
        for (const TSmsItem* item : Items) {
            TMessageRecord entry;
            for (const qint64 row : item->RowIDs()) {
                entry.RowIds << row;
            }
            if (entry.RowIds.isEmpty()) {
                continue;
            }
            entry.Id = *std::min_element(entry.RowIds.cbegin(), entry.RowIds.cend());
            last = std::max(last, *std::max_element(entry.RowIds.cbegin(), entry.RowIds.cend()));
            entry.Text = item->DisplayText();
            entry.Number = item->Number();
            entry.Device = Device;
            {
                TSQLiteQuery query(Db, kDeleteEntry);
                Db.SetParamAsInt64(1, EntryId(entry.Id, Outgoing));
                Db.Exec();
            }
            TSQLiteQuery query(Db, kInsertEntry);
            InsertEntry(Db, Outgoing, entry);
        }
        Advance(Db, Outgoing, last);
        transaction.Commit();
    } catch (...) {
        GIndexBehind = true;
        throw;
    }
}

void TMessageSearch::IndexRows(TSQLiteDB& Db, bool Outgoing, const QList<qint64>& Rows)
{
    if (Rows.isEmpty()) {
        return;
    }
    TSQLiteLock lock(Db);
    Prepare(Db);
    try {
        const QList<TMessageRecord> records = TMessageQuery::FromRows(Db, Outgoing, Rows, nullptr);
        TSQLiteTransaction transaction(Db);
        for (const TMessageRecord& r : records) {
            {
                TSQLiteQuery query(Db, kDeleteEntry);
                Db.SetParamAsInt64(1, EntryId(r.Id, Outgoing));
                Db.Exec();
            }
            TSQLiteQuery query(Db, kInsertEntry);
            InsertEntry(Db, Outgoing, r);
        }
        Advance(Db, Outgoing, *std::max_element(Rows.cbegin(), Rows.cend()));
        transaction.Commit();
    } catch (...) {
        GIndexBehind = true;
        throw;
    }
}

void TMessageSearch::Remove(TSQLiteDB& Db, bool Outgoing, const QList<qint64>& Rows)
{
    TSQLiteLock lock(Db);
    if (!HasIndex(Db)) {
        return;
    }
    TSQLiteQuery query(Db, kDeleteEntry);
    for (const qint64 row : Rows) {
        Db.SetParamAsInt64(1, EntryId(row, Outgoing));
        Db.Exec();
    }
}

QString TMessageSearch::MatchExpression(const QString& Text, const QString& HomeCountry)
{
    QStringList terms;
    for (const QString& word : Words(Text)) {
        QString term = Quoted(word) + QLatin1Char('*');
        // 0170 also finds +49170 when the home country is known.
        const QString key = TPhoneNumber::Key(word, HomeCountry);
        if (!HomeCountry.isEmpty() && word.size() > 1 && word.startsWith(QLatin1Char('0')) && key != word) {
            term = QStringLiteral("(%1 OR %2*)").arg(term, Quoted(key));
        }
        terms << term;
    }
    return terms.join(QStringLiteral(" AND "));
}

QList<TMessageRecord> TMessageSearch::Search(TSQLiteDB& Db, const QString& Device, const QString& Text,
                                             const TContacts* Contacts, int Limit)
{
    const QString home = Contacts ? Contacts->HomeCountry() : QString();
    const QString words = MatchExpression(Text, home);
    if (words.isEmpty() || Limit <= 0) {
        return {};
    }
    QString expression = QStringLiteral("{TEXT NUMBER} : (%1)").arg(words);
    if (Contacts) {
        // Contacts whose name holds every word (as a word start) bring their numbers' messages.
        const QStringList wanted = Words(Text);
        QStringList numbers;
        for (const TContact& contact : Contacts->All()) {
            const QStringList nameWords = Words(contact.Name);
            const bool all = std::all_of(wanted.cbegin(), wanted.cend(), [&](const QString& W) {
                return std::any_of(nameWords.cbegin(), nameWords.cend(),
                                   [&](const QString& N) { return N.startsWith(W, Qt::CaseInsensitive); });
            });
            if (all) {
                const QString international = TPhoneNumber::International(contact.Number);
                const QString key = TPhoneNumber::Key(contact.Number, home);
                numbers << Quoted(international.isEmpty() ? key : international);
            }
        }
        numbers.removeDuplicates();
        if (!numbers.isEmpty()) {
            expression =
                QStringLiteral("(%1) OR (NUMBER : (%2))").arg(expression, numbers.join(QStringLiteral(" OR ")));
        }
    }
    TSQLiteLock lock(Db);
    if (!HasIndex(Db)) {
        try {
            EnsureIndex(Db);
        } catch (const ESQLiteException& e) {
            //: %1 says why the index could not be built.
            throw ESQLiteException(QCoreApplication::translate("MessageSearch",
                                                               "The messages have no search index yet (Ombrelay "
                                                               "builds it when it starts): %1")
                                       .arg(e.Message()),
                                   e.Code());
        }
    }
    QList<TMessageRecord> found;
    for (const bool outgoing : {false, true}) {
        QList<qint64> rows;
        {
            QString sql = QStringLiteral("SELECT ROWS FROM MESSAGE_SEARCH WHERE MESSAGE_SEARCH MATCH ? AND "
                                         "rowid % 2 = %1")
                              .arg(outgoing ? 1 : 0);
            if (!Device.isEmpty()) {
                // Rows of older programs name no device and belong to every one.
                sql += QStringLiteral(" AND (DEVICE = ? OR DEVICE = '')");
            }
            TSQLiteQuery query(Db, sql + QStringLiteral(" ORDER BY rowid DESC LIMIT %1").arg(Limit));
            Db.SetParamAsString(1, expression);
            if (!Device.isEmpty()) {
                Db.SetParamAsString(2, Device);
            }
            while (Db.Next()) {
                for (const QString& row : Db.GetFieldAsString(0).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                    rows << row.toLongLong();
                }
            }
        }
        // Rows deleted by a program that does not keep the index are simply not found.
        found += TMessageQuery::FromRows(Db, outgoing, rows, Contacts);
    }
    std::stable_sort(found.begin(), found.end(), [](const TMessageRecord& A, const TMessageRecord& B) {
        if (A.StoredTime != B.StoredTime) {
            return A.StoredTime > B.StoredTime;
        }
        return A.Id > B.Id;
    });
    if (found.size() > Limit) {
        found.resize(Limit);
    }
    return found;
}

} // namespace Ombrelay
