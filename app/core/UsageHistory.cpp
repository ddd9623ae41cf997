#include "core/UsageHistory.h"

#include "sqlite/SQLiteDB.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLocale>

namespace Ombrelay
{

namespace
{

const QString kUnitsKey = QStringLiteral("usage.units");

QString DayText(QDate Date)
{
    return Date.toString(QStringLiteral("yyyy-MM-dd"));
}

QDate FirstOfMonth(QDate Date)
{
    return QDate(Date.year(), Date.month(), 1);
}

// The rows of one modem, or of all when Device is empty; Where is appended with AND.
QString FromUsage(const QString& Device, const QString& Where)
{
    return Device.isEmpty() ? QStringLiteral(" FROM USAGE WHERE ") + Where
                            : QStringLiteral(" FROM USAGEDEVICE WHERE DEVICE = :DEVICE AND ") + Where;
}

void BindDevice(TSQLiteDB& Db, const QString& Device)
{
    if (!Device.isEmpty()) {
        Db.SetParamByNameAsString(QStringLiteral("DEVICE"), Device);
    }
}

} // namespace

QString FormatByteSize(quint64 Value, TByteUnits Units)
{
    const QLocale locale;
    if (Value < 1000) {
        return QCoreApplication::translate("Usage", "%1 bytes").arg(Value);
    }
    static const char* const iec[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    static const char* const si[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    const quint64 base = Units == TByteUnits::Si ? 1000 : 1024;
    // The unit that keeps the number below 1000 (so 1000 to 1023 bytes read "0.97 KiB").
    int unit = 1;
    quint64 divisor = base;
    while (unit < 6 && Value / divisor >= 1000) {
        ++unit;
        divisor *= base;
    }
    const quint64 whole = Value / divisor;
    const int decimals = whole < 10 ? 2 : whole < 100 ? 1 : 0;
    const quint64 scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
    // Truncated, not rounded; the fraction is scaled in 128 bits because the remainder of an
    // exabyte count times 100 overflows 64.
    __extension__ using u128 = unsigned __int128;
    const u128 remainder = Value % divisor;
    const quint64 scaled = whole * scale + static_cast<quint64>((remainder * scale) / divisor);
    const QString number = locale.toString(static_cast<double>(scaled) / static_cast<double>(scale), 'f', decimals);
    return number + QLatin1Char(' ') + QLatin1String(Units == TByteUnits::Si ? si[unit - 1] : iec[unit - 1]);
}

TByteUnits LoadByteUnits(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = :NAME"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), kUnitsKey);
    if (Db.Next() && Db.GetFieldAsString(0).compare(QLatin1String("si"), Qt::CaseInsensitive) == 0) {
        return TByteUnits::Si;
    }
    return TByteUnits::Iec;
}

void SaveByteUnits(TSQLiteDB& Db, TByteUnits Units)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (:NAME, :VALUE)"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), kUnitsKey);
    Db.SetParamByNameAsString(QStringLiteral("VALUE"),
                              Units == TByteUnits::Si ? QStringLiteral("si") : QStringLiteral("iec"));
    Db.Exec();
}

QList<TUsageEntry> QueryUsageHistory(TSQLiteDB& Db, const QString& Device, TUsagePeriod Period, QDate From, QDate To)
{
    QList<TUsageEntry> result;
    if (!From.isValid() || !To.isValid() || From > To) {
        return result;
    }
    const bool months = Period == TUsagePeriod::Month;
    if (months) {
        From = FirstOfMonth(From);
        To = FirstOfMonth(To).addMonths(1).addDays(-1);
    }
    // Every day or month of the range, filled from the rows that exist.
    for (QDate d = From; d <= To; d = months ? d.addMonths(1) : d.addDays(1)) {
        result.append({d, 0, 0});
    }
    const QString key = months ? QStringLiteral("SUBSTR(DATE, 1, 7)") : QStringLiteral("DATE");
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT %1 AS PERIOD, SUM(INCOMING), SUM(OUTGOING)").arg(key) +
                               FromUsage(Device, QStringLiteral("DATE BETWEEN :DATE1 AND :DATE2")) +
                               QStringLiteral(" GROUP BY PERIOD ORDER BY PERIOD"));
    BindDevice(Db, Device);
    Db.SetParamByNameAsString(QStringLiteral("DATE1"), DayText(From));
    Db.SetParamByNameAsString(QStringLiteral("DATE2"), DayText(To));
    while (Db.Next()) {
        const QString text = Db.GetFieldAsString(0);
        const QDate date = months ? QDate::fromString(text + QStringLiteral("-01"), Qt::ISODate)
                                  : QDate::fromString(text, Qt::ISODate);
        const qint64 index =
            months ? (date.year() - From.year()) * 12 + date.month() - From.month() : From.daysTo(date);
        if (!date.isValid() || index < 0 || index >= result.size()) {
            continue;
        }
        result[index].In = static_cast<quint64>(Db.GetFieldAsInt64(1));
        result[index].Out = static_cast<quint64>(Db.GetFieldAsInt64(2));
    }
    return result;
}

QDate FirstUsageDate(TSQLiteDB& Db, const QString& Device)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT MIN(DATE)") +
                               FromUsage(Device, QStringLiteral("INCOMING + OUTGOING > 0")));
    BindDevice(Db, Device);
    if (Db.Next() && !Db.GetFieldIsNull(0)) {
        return QDate::fromString(Db.GetFieldAsString(0), Qt::ISODate);
    }
    return QDate();
}

QStringList UsageDevices(TSQLiteDB& Db)
{
    QStringList devices;
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT DISTINCT DEVICE FROM USAGEDEVICE ORDER BY DEVICE"));
    while (Db.Next()) {
        devices << Db.GetFieldAsString(0);
    }
    return devices;
}

void QueryUsageSum(TSQLiteDB& Db, const QString& Device, QDate From, QDate To, quint64& In, quint64& Out)
{
    In = 0;
    Out = 0;
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT SUM(INCOMING), SUM(OUTGOING)") +
                               FromUsage(Device, QStringLiteral("DATE BETWEEN :DATE1 AND :DATE2")));
    BindDevice(Db, Device);
    Db.SetParamByNameAsString(QStringLiteral("DATE1"), DayText(From));
    Db.SetParamByNameAsString(QStringLiteral("DATE2"), DayText(To));
    if (Db.Next()) {
        In = static_cast<quint64>(Db.GetFieldAsInt64(0));
        Out = static_cast<quint64>(Db.GetFieldAsInt64(1));
    }
}

QString UsageDateText(const TUsageEntry& Entry, TUsagePeriod Period)
{
    return Entry.Date.toString(Period == TUsagePeriod::Month ? QStringLiteral("yyyy-MM")
                                                             : QStringLiteral("yyyy-MM-dd"));
}

QString UsageHistoryCsv(const QList<TUsageEntry>& Entries, TUsagePeriod Period)
{
    QString text = QStringLiteral("date,download,upload,total\n");
    for (const TUsageEntry& e : Entries) {
        text += QStringLiteral("%1,%2,%3,%4\n").arg(UsageDateText(e, Period)).arg(e.In).arg(e.Out).arg(e.Total());
    }
    return text;
}

QJsonArray UsageHistoryJson(const QList<TUsageEntry>& Entries, TUsagePeriod Period)
{
    QJsonArray array;
    for (const TUsageEntry& e : Entries) {
        array.append(QJsonObject{{QStringLiteral("date"), UsageDateText(e, Period)},
                                 {QStringLiteral("download"), static_cast<qint64>(e.In)},
                                 {QStringLiteral("upload"), static_cast<qint64>(e.Out)},
                                 {QStringLiteral("total"), static_cast<qint64>(e.Total())}});
    }
    return array;
}

} // namespace Ombrelay
