#pragma once

// Full-text search over every stored message with SQLite's FTS5. The index holds one entry per
// whole message (the texts of a long message's parts joined) with its number in the forms it is
// written and searched in; contact names are matched at search time, so renaming a contact
// needs no new index. Entries are keyed by the message's first row: rowid = row * 2, + 1 for
// OUTGOING.

#include "core/MessageQuery.h"

#include <QList>
#include <QString>

namespace Ombrelay
{

class TSmsItem;
class TSQLiteDB;
class TContacts;

class TMessageSearch
{
public:
    // Raises ESQLiteException with a clear text when this SQLite was built without FTS5.
    static void CheckAvailable(TSQLiteDB& Db);

    // Creates the index when missing and brings it up to date: the messages of rows beyond those
    // indexed (a run that ended between storing and indexing) are indexed, whole; a table the
    // index never covered (a file of an older program) is indexed in full. Returns true when
    // anything was indexed.
    static bool EnsureIndex(TSQLiteDB& Db);

    // EnsureIndex when the index does not exist yet.
    static void Prepare(TSQLiteDB& Db);

    // Puts the messages (new, or grown by a part) of one table into the index, in one transaction.
    static void Index(TSQLiteDB& Db, bool Outgoing, const QList<const TSmsItem*>& Items, const QString& Device);
    // Indexes the PDUs of rows just stored (an outgoing message recorded before it is sent).
    static void IndexRows(TSQLiteDB& Db, bool Outgoing, const QList<qint64>& Rows);
    // Removes the entries of the messages whose first row is among Rows.
    static void Remove(TSQLiteDB& Db, bool Outgoing, const QList<qint64>& Rows);

    // The messages of Device (every device when empty) whose text or number holds every word of
    // Text as a word or word start, or whose number is that of a contact whose name does;
    // newest first, at most Limit of them. Empty for text without words.
    static QList<TMessageRecord> Search(TSQLiteDB& Db, const QString& Device, const QString& Text,
                                        const TContacts* Contacts, int Limit = 500);

    // The FTS5 expression for what a user typed: each word quoted (so that no character of it
    // is syntax) and a prefix. Empty for text without words. National numbers (a leading 0)
    // also match their international form when HomeCountry is known.
    static QString MatchExpression(const QString& Text, const QString& HomeCountry = QString());

    static constexpr const char* TableName = "MESSAGE_SEARCH";

private:
    static void Rebuild(TSQLiteDB& Db, bool Outgoing);
    static void CatchUp(TSQLiteDB& Db, bool Outgoing, qint64 Last);
    static void Advance(TSQLiteDB& Db, bool Outgoing, qint64 LastRow);
};

} // namespace Ombrelay
