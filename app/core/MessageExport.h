#pragma once

// Messages written out for people and other programs: CSV (RFC 4180), JSON and plain text, all
// UTF-8, one entry per whole message with both times, direction, state, number and name.

#include "core/MessageQuery.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace Ombrelay
{

enum class TExportFormat
{
    Csv,
    Json,
    Text,
};

class TMessageExport
{
public:
    // "csv", "json" or "txt" (letter case ignored); false for anything else.
    static bool ParseFormat(const QString& Name, TExportFormat& Format);
    // The format a file name's extension names; Csv when it names none of them.
    static TExportFormat FormatOfFile(const QString& FileName);

    static QByteArray Write(const QList<TMessageRecord>& Messages, TExportFormat Format);
    // Writes to FileName as a whole or not at all (an existing file is replaced only once the
    // new one is complete). Raises EOmbrelayError with the reason when it cannot.
    static void WriteFile(const QString& FileName, const QList<TMessageRecord>& Messages, TExportFormat Format);

    // One field of a CSV record: quoted when it holds a comma, a quote or a line break, with
    // each quote doubled.
    static QString CsvField(const QString& Value);
};

} // namespace Ombrelay
