#include "core/MessageExport.h"

#include "base/Errors.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace Ombrelay
{

bool TMessageExport::ParseFormat(const QString& Name, TExportFormat& Format)
{
    const QString name = Name.trimmed().toLower();
    if (name == QLatin1String("csv")) {
        Format = TExportFormat::Csv;
    } else if (name == QLatin1String("json")) {
        Format = TExportFormat::Json;
    } else if (name == QLatin1String("txt") || name == QLatin1String("text")) {
        Format = TExportFormat::Text;
    } else {
        return false;
    }
    return true;
}

TExportFormat TMessageExport::FormatOfFile(const QString& FileName)
{
    TExportFormat format = TExportFormat::Csv;
    const qsizetype dot = FileName.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && ParseFormat(FileName.mid(dot + 1), format)) {
        return format;
    }
    return TExportFormat::Csv;
}

QString TMessageExport::CsvField(const QString& Value)
{
    if (!Value.contains(QLatin1Char(',')) && !Value.contains(QLatin1Char('"')) && !Value.contains(QLatin1Char('\n')) &&
        !Value.contains(QLatin1Char('\r'))) {
        return Value;
    }
    QString quoted = Value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray TMessageExport::Write(const QList<TMessageRecord>& Messages, TExportFormat Format)
{
    switch (Format) {
    case TExportFormat::Json: {
        QJsonArray array;
        for (const TMessageRecord& m : Messages) {
            array.append(m.ToJson());
        }
        return QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    case TExportFormat::Csv: {
        // Records end in CRLF, as the format says; line breaks inside a text stay as they are,
        // within quotes.
        QString out = QStringLiteral("id,direction,number,name,text,network_time,stored_time,state,read,device\r\n");
        for (const TMessageRecord& m : Messages) {
            const QStringList fields{QString::number(m.Id),
                                     m.DirectionText(),
                                     m.Number,
                                     m.Name,
                                     m.Text,
                                     m.NetworkTimeText(),
                                     m.StoredTimeText(),
                                     m.State,
                                     m.Read ? QStringLiteral("true") : QStringLiteral("false"),
                                     m.Device};
            QStringList quoted;
            for (const QString& field : fields) {
                quoted << CsvField(field);
            }
            out += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
        }
        return out.toUtf8();
    }
    case TExportFormat::Text: {
        QString out;
        for (const TMessageRecord& m : Messages) {
            const QString who = m.Name.isEmpty() ? m.Number : QStringLiteral("%1 (%2)").arg(m.Name, m.Number);
            out += (m.Outgoing ? QStringLiteral("To: ") : QStringLiteral("From: ")) + who + QLatin1Char('\n');
            if (m.HasNetworkTime) {
                out += QStringLiteral("Network time: ") + m.NetworkTimeText() + QLatin1Char('\n');
            }
            out += QStringLiteral("Stored: ") + m.StoredTimeText() + QLatin1Char('\n');
            out += QStringLiteral("State: ") + m.State;
            if (!m.Outgoing) {
                out += m.Read ? QStringLiteral(", read") : QStringLiteral(", unread");
            }
            out += QLatin1Char('\n');
            if (!m.Device.isEmpty()) {
                out += QStringLiteral("Device: ") + m.Device + QLatin1Char('\n');
            }
            out += QLatin1Char('\n') + m.Text + QStringLiteral("\n\n");
        }
        return out.toUtf8();
    }
    }
    return {};
}

void TMessageExport::WriteFile(const QString& FileName, const QList<TMessageRecord>& Messages, TExportFormat Format)
{
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw EOmbrelayError(
            QCoreApplication::translate("MessageExport", "The messages could not be exported to %1: %2")
                .arg(FileName, file.errorString()));
    }
    const QByteArray data = Write(Messages, Format);
    if (file.write(data) != data.size() || !file.commit()) {
        throw EOmbrelayError(
            QCoreApplication::translate("MessageExport", "The messages could not be exported to %1: %2")
                .arg(FileName, file.errorString()));
    }
}

} // namespace Ombrelay
