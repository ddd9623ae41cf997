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

class TSimStateFile
{
public:
    explicit TSimStateFile(const QString& FileName = QString())
        : FFileName(FileName)
    {
    }

    const QString& FileName() const { return FFileName; }
    bool IsSet() const { return !FFileName.isEmpty(); }
    bool Exists() const;

    // The stores of every interface the file holds. Everything is checked before anything is
    // returned: a file that cannot be read or holds a damaged entry raises EOmbrelayError.
    TSimStoresById Read() const;
    // Replaces the file as a whole: written beside it, flushed to the disk, then renamed over it,
    // so that a crash leaves either the old state or the new one. Raises EOmbrelayError.
    void Write(const TSimStoresById& Stores) const;

private:
    QString FFileName;
};

} // namespace Ombrelay
