#include "CtlCommon.h"
#include "CtlDatabase.h"
#include "CtlInstance.h"
#include "base/DateTime.h"
#include "core/RemoteUsage.h"
#include "core/UsageHistory.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace Ombrelay::Ctl
{

namespace
{

// A read transaction: every statement inside it sees the file as it was at its first read. A
// deferred one, so that it never takes the write lock from the program.
class TReadSnapshot
{
public:
    explicit TReadSnapshot(TSQLiteDB& Db)
        : FDb(Db)
    {
        FDb.ExecSQL(QStringLiteral("BEGIN DEFERRED"));
    }
    ~TReadSnapshot()
    {
        try {
            FDb.ExecSQL(QStringLiteral("COMMIT"));
        } catch (...) {
        }
    }
    TReadSnapshot(const TReadSnapshot&) = delete;
    TReadSnapshot& operator=(const TReadSnapshot&) = delete;

private:
    TSQLiteDB& FDb;
};

} // namespace

// ombrelayctl usage [--days N | --months N] [--device ID] [--csv | --json] [--database FILE]
//
// The traffic history as the database holds it, oldest first, one entry per day (the last 30
// days unless --days says otherwise) or per month (--months N, 0 for every month since the first
// counted one). The bytes the running program has counted and not yet written (it writes once a
// minute) are asked of it and added to its day, when it writes the database read here; without a
// running program the database alone answers.
int RunUsage(const QStringList& Args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The traffic history: download, upload and total in bytes."));
    parser.addHelpOption();
    const QCommandLineOption days(QStringLiteral("days"), QStringLiteral("The last N days (default 30)."),
                                  QStringLiteral("N"));
    const QCommandLineOption months(QStringLiteral("months"),
                                    QStringLiteral("The last N months; 0 for every month counted."),
                                    QStringLiteral("N"));
    const QCommandLineOption device(QStringLiteral("device"), QStringLiteral("One modem's traffic only."),
                                    QStringLiteral("ID"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Comma-separated values."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("A JSON array of {date, download, upload, total}."));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Read this database file."),
                                      QStringLiteral("FILE"));
    parser.addOptions({days, months, device, csv, json, database});
    if (!parser.parse(Args)) {
        Err(QStringLiteral("ombrelayctl usage: %1\n").arg(parser.errorText()));
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Out(parser.helpText());
        return ExitOk;
    }
    if (!parser.positionalArguments().isEmpty() || (parser.isSet(days) && parser.isSet(months)) ||
        (parser.isSet(csv) && parser.isSet(json))) {
        Err(QStringLiteral("ombrelayctl usage: give at most one of --days and --months, and of --csv and --json\n"));
        return ExitUsage;
    }
    const TUsagePeriod period = parser.isSet(months) ? TUsagePeriod::Month : TUsagePeriod::Day;
    bool ok = true;
    const QString countText = parser.isSet(months) ? parser.value(months)
                              : parser.isSet(days) ? parser.value(days)
                                                   : QStringLiteral("30");
    const int count = countText.toInt(&ok);
    if (!ok || count < 0 || count > 100000 || (period == TUsagePeriod::Day && count == 0)) {
        Err(QStringLiteral("ombrelayctl usage: '%1' is not a valid count\n").arg(countText));
        return ExitUsage;
    }

    const auto db = TCtlDatabase::OpenReadOnly(parser.value(database));
    if (!db) {
        return ExitFailed;
    }
    // Asked before the database is read: a write of the program after its answer is then seen
    // below and not counted twice (TRemoteUsage::AddTo).
    TRemoteUsage remote;
    QString reply;
    const bool live =
        AskRunningProgram(TRemoteUsage::Request(), reply) && TRemoteUsage::Parse(reply, remote) &&
        QFileInfo(remote.DatabaseFile).canonicalFilePath() == QFileInfo(db->FileName()).canonicalFilePath();
    try {
        const QString dev = parser.value(device);
        const QDate today = Clock::NowQ().date();
        QDate from;
        if (period == TUsagePeriod::Day) {
            from = today.addDays(1 - count);
        } else if (count == 0) {
            from = FirstUsageDate(*db, dev);
            if (!from.isValid()) {
                from = today;
            }
        } else {
            from = QDate(today.year(), today.month(), 1).addMonths(1 - count);
        }
        QList<TUsageEntry> entries;
        {
            // One read transaction: the history and the program's day's row from the same state of
            // the file, whatever the program writes meanwhile.
            TSQLiteLock lock(*db);
            TReadSnapshot snapshot(*db);
            entries = QueryUsageHistory(*db, dev, period, from, today);
            if (live) {
                quint64 storedIn = 0;
                quint64 storedOut = 0;
                QueryUsageSum(*db, dev, remote.Date, remote.Date, storedIn, storedOut);
                remote.AddTo(entries, period, dev, storedIn, storedOut);
            }
        }
        if (parser.isSet(json)) {
            OutJson(UsageHistoryJson(entries, period));
        } else if (parser.isSet(csv)) {
            Out(UsageHistoryCsv(entries, period));
        } else {
            QString text = QStringLiteral("%1 %2 %3 %4\n")
                               .arg(QStringLiteral("DATE"), -10)
                               .arg(QStringLiteral("DOWNLOAD"), 16)
                               .arg(QStringLiteral("UPLOAD"), 16)
                               .arg(QStringLiteral("TOTAL"), 16);
            for (const TUsageEntry& e : entries) {
                text += QStringLiteral("%1 %2 %3 %4\n")
                            .arg(UsageDateText(e, period), -10)
                            .arg(e.In, 16)
                            .arg(e.Out, 16)
                            .arg(e.Total(), 16);
            }
            Out(text);
        }
    } catch (const std::exception& e) {
        Err(QStringLiteral("ombrelayctl usage: %1\n").arg(QString::fromUtf8(e.what())));
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace Ombrelay::Ctl
