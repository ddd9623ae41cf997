#pragma once

// A read-only view of the stored messages as whole messages (the rows of a long message joined),
// with what scripts and exports need: both times, direction, state, number and contact name.
// It works on any connection to the database, the program's own or a read-only one.

#include "base/DateTime.h"

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

#include <memory>

namespace Ombrelay
{

class TSQLiteDB;
class TContacts;

struct TMessageRecord
{
    // The row id of the message's first part; with Outgoing it names the message.
    qint64 Id = 0;
    bool Outgoing = false;
    // The interface it was received on or sent through; empty for rows of older programs.
    QString Device;
    QString Number;
    // The contact name of Number; empty when none is known.
    QString Name;
    // The whole text, missing parts marked; for rows that are not text, what they are.
    QString Text;
    // The network's time stamp (seconds since 1970 UTC); HasNetworkTime false when none came.
    qint64 NetworkTime = 0;
    bool HasNetworkTime = false;
    // When the first part was stored here (local time).
    TDateTime StoredTime = 0.0;
    // "received" for incoming messages. For outgoing ones "sending", "sent", "delivered",
    // "delivered 2 of 3" (parts of a long message) or "failed".
    QString State;
    // Outgoing: the Sent list's words ("delivered 10.12.26 18:02", "sent, still trying: recipient
    // busy", "failed: validity period expired"); empty for incoming.
    QString StateText;
    // Incoming: the user has seen it. Outgoing messages read as seen.
    bool Read = false;
    QList<qint64> RowIds;

    // The fields scripts rely on: id, direction, number, name, text, network_time, stored_time,
    // state, read (and device; state_text for outgoing messages). Times are ISO 8601; a missing
    // network time is null.
    QJsonObject ToJson() const;
    QString DirectionText() const { return Outgoing ? QStringLiteral("out") : QStringLiteral("in"); }
    QString NetworkTimeText() const;
    QString StoredTimeText() const;
};

struct TMessageFilter
{
    // Only messages of this interface (and those of older programs, which name none); empty
    // for every interface.
    QString Device;
    bool Incoming = true;
    bool Outgoing = true;
    bool UnreadOnly = false;
    // Only messages exchanged with this number (either form, national or international).
    QString Number;
};

class TMessageQuery
{
public:
    // The messages that pass Filter, newest stored first. Contacts may be null.
    static QList<TMessageRecord> List(TSQLiteDB& Db, const TMessageFilter& Filter, const TContacts* Contacts);
    // The messages that the rows RowIds of one table belong to (a message whose rows are
    // partly listed comes whole only with all of them), newest stored first.
    static QList<TMessageRecord> FromRows(TSQLiteDB& Db, bool Outgoing, const QList<qint64>& RowIds,
                                          const TContacts* Contacts);
    // The country calling code most of the newest messages' numbers carry ("49"), for matching
    // national forms of numbers; empty when none says its country.
    static QString HomeCountry(TSQLiteDB& Db);
    // Opens the database at FileName for reading only, without creating or changing anything,
    // waiting up to BusyTimeoutMs for a writer's lock. Raises ESQLiteException when it is missing.
    static std::unique_ptr<TSQLiteDB> OpenReadOnly(const QString& FileName);
};

} // namespace Ombrelay

Q_DECLARE_METATYPE(Ombrelay::TMessageRecord)
