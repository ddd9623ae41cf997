#pragma once

// The state file of the simulated modem: its message stores, kept across runs the way a modem's
// memory keeps them.
//
// {"interfaces": {"ID": {"pdus": [{"index": 0, "pdu": "..."}],
//                        "messages": [{"key", "number", "time", "text"}], "nextKey": N}}}

#include "platform/MbnPort.h"

#include <QList>
#include <QString>

#include <map>

namespace Ombrelay
{

// The stores of one interface.
struct TSimStores
{
    // PDU mode: the PDUs by storage index.
    std::map<quint32, QString> Pdus;
    // Message mode: whole messages, each with its key "mN" ...
    QList<TMbnSmsMessage> Messages;
    // ... and the N of the last key handed out, so that keys are never used twice.
    quint64 NextKey = 0;
};

using TSimStoresById = std::map<QString, TSimStores>;

// One change to the stores of an interface, as the journal keeps it.
struct TSimChange
{
    enum TKind
    {
        AddPdu,
        RemovePdu,
        AddMessage,
        RemoveMessage,
        Clear
    };
    TKind Kind = Clear;
    QString InterfaceID;
    // AddPdu, RemovePdu.
    quint32 Index = 0;
    QString Pdu;
    // AddMessage: the whole message with its key; RemoveMessage: only the key.
    TMbnSmsMessage Message;
    // AddMessage: the counter after the key was handed out.
    quint64 NextKey = 0;
};

// The state is a snapshot (FileName) and a journal of the changes since (FileName.journal),
// one line each, appended and flushed before the change is answered: a change costs what it
// writes, not the size of the whole store. Both carry a generation chosen at every snapshot; a
// journal of another generation (left by a crash between the two renames of a snapshot) is
// ignored, the snapshot holding everything it said. A last line cut short by a crash is ignored.
class TSimStateFile
{
public:
    explicit TSimStateFile(const QString& FileName = QString())
        : FFileName(FileName)
    {
    }
    ~TSimStateFile();
    TSimStateFile(const TSimStateFile&) = delete;
    TSimStateFile& operator=(const TSimStateFile&) = delete;

    const QString& FileName() const { return FFileName; }
    QString JournalName() const { return FFileName + QStringLiteral(".journal"); }
    bool IsSet() const { return !FFileName.isEmpty(); }
    bool Exists() const;

    // The stores of every interface the file holds, the journal replayed. Everything is checked
    // before anything is returned: a file that cannot be read or holds a damaged entry raises
    // EOmbrelayError.
    TSimStoresById Read() const;
    // Replaces the state as a whole (a new snapshot and an empty journal): each written beside
    // its file, flushed to the disk, then renamed over it, so that a crash leaves either the old
    // state or the new one. Opens the journal for Append. Raises EOmbrelayError.
    void Write(const TSimStoresById& Stores) const;
    // Whether Append can be used: a Write made the journal and nothing failed since.
    bool JournalOpen() const { return FJournalFd >= 0; }
    // Appends the changes as one write and flushes them. On failure the journal is cut back to
    // where it was and closed (the next state must be written whole); raises EOmbrelayError.
    void Append(const QList<TSimChange>& Changes);
    // The journal has grown past the snapshot: writing the state whole now keeps the cost of
    // every change bounded and the journal short to replay.
    bool CompactionDue() const;

private:
    void CloseJournal() const;

    QString FFileName;
    // The open journal and the sizes that decide on compaction; kept by Write (which tools and
    // tests call on a const object).
    mutable int FJournalFd = -1;
    mutable qint64 FJournalBytes = 0;
    mutable qint64 FSnapshotBytes = 0;
};

} // namespace Ombrelay
