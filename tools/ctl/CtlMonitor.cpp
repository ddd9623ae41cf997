#include "CtlCommon.h"
#include "CtlDatabase.h"
#include "base/DateTime.h"
#include "core/MonitorLog.h"

#include <QCommandLineParser>

namespace Ombrelay::Ctl
{

// ombrelayctl monitor log [--since TIME] [--kind KIND] [--json] [--database FILE]
//
// The online monitor's log, oldest first: every site checked (with the reason of a failure in
// words) and every reconnect, restart warning, suppression and restart it led to. TIME is
// "yyyy-mm-dd" or "yyyy-mm-dd hh:mm[:ss]", local time.
int RunMonitor(const QStringList& Args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The online monitor's log."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("log"), QStringLiteral("Show the log."));
    const QCommandLineOption since(QStringLiteral("since"), QStringLiteral("Entries from TIME on (local time)."),
                                   QStringLiteral("TIME"));
    const QCommandLineOption kind(
        QStringLiteral("kind"),
        QStringLiteral("Only one kind: check, reconnect, reconnect-result, restart-warning, suppressed, restart."),
        QStringLiteral("KIND"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("A JSON array of {time, kind, site, method, result, reason}."));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Read this database file."),
                                      QStringLiteral("FILE"));
    parser.addOptions({since, kind, json, database});
    if (!parser.parse(Args)) {
        Err(QStringLiteral("ombrelayctl monitor: %1\n").arg(parser.errorText()));
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Out(parser.helpText());
        return ExitOk;
    }
    if (parser.positionalArguments() != QStringList{QStringLiteral("log")}) {
        Err(QStringLiteral("ombrelayctl monitor: the command is 'ombrelayctl monitor log [--since TIME] [--json]'\n"));
        return ExitUsage;
    }
    TDateTime from = 0;
    if (parser.isSet(since)) {
        const QString text = parser.value(since).trimmed();
        QDateTime value;
        for (const char* format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd"}) {
            value = QDateTime::fromString(text, QLatin1String(format));
            if (value.isValid()) {
                break;
            }
        }
        if (!value.isValid()) {
            Err(QStringLiteral("ombrelayctl monitor: '%1' is not a time (yyyy-mm-dd [hh:mm[:ss]])\n").arg(text));
            return ExitUsage;
        }
        from = FromQDateTime(value);
    }
    const auto db = TCtlDatabase::OpenReadOnly(parser.value(database));
    if (!db) {
        return ExitFailed;
    }
    try {
        const QList<TMonitorLogEntry> entries = ReadMonitorLog(*db, from, parser.value(kind));
        if (parser.isSet(json)) {
            OutJson(MonitorLogJson(entries));
        } else {
            QString text;
            for (const TMonitorLogEntry& e : entries) {
                QStringList fields{TSQLiteDB::DateToDBText(e.Time, true), e.Kind};
                for (const QString& f : {e.Site, e.Method, e.Result, e.Reason}) {
                    if (!f.isEmpty()) {
                        fields << f;
                    }
                }
                text += fields.join(QStringLiteral("  ")) + QLatin1Char('\n');
            }
            Out(text);
        }
    } catch (const std::exception& e) {
        Err(QStringLiteral("ombrelayctl monitor: %1\n").arg(QString::fromUtf8(e.what())));
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace Ombrelay::Ctl
