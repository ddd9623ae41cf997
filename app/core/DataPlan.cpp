#include "core/DataPlan.h"

#include "base/DateTime.h"
#include "sqlite/SQLiteDB.h"

#include <QStringList>

#include <algorithm>

namespace Ombrelay
{

namespace
{

QString Key(const QString& Device, const char* Name)
{
    return QStringLiteral("plan.") + Device + QLatin1Char('.') + QLatin1String(Name);
}

// The day StartDay of the month of Day, or that month's last day when it is shorter.
QDate StartIn(QDate Day, int StartDay)
{
    const QDate first(Day.year(), Day.month(), 1);
    return QDate(Day.year(), Day.month(), std::min(StartDay, first.daysInMonth()));
}

bool ReadConfig(TSQLiteDB& Db, const QString& Name, QString& Value)
{
    TSQLiteQuery query(Db, QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = :NAME"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), Name);
    if (Db.Next() && !Db.GetFieldIsNull(0)) {
        Value = Db.GetFieldAsString(0);
        return true;
    }
    return false;
}

void WriteConfig(TSQLiteDB& Db, const QString& Name, const QString& Value)
{
    TSQLiteQuery query(Db, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (:NAME, :VALUE)"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), Name);
    Db.SetParamByNameAsString(QStringLiteral("VALUE"), Value);
    Db.Exec();
}

QList<int> ParseAlerts(const QString& Text)
{
    QList<int> alerts;
    for (const QString& part : Text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok);
        if (ok && value >= 1 && value <= 1000 && !alerts.contains(value)) {
            alerts << value;
        }
    }
    std::sort(alerts.begin(), alerts.end());
    return alerts;
}

} // namespace

TBillingPeriod BillingPeriodOf(QDate Day, int StartDay)
{
    StartDay = std::clamp(StartDay, 1, 31);
    QDate start = StartIn(Day, StartDay);
    if (Day < start) {
        start = StartIn(QDate(Day.year(), Day.month(), 1).addMonths(-1), StartDay);
    }
    const QDate next = StartIn(QDate(start.year(), start.month(), 1).addMonths(1), StartDay);
    return {start, next.addDays(-1)};
}

TPlanStatus DataPlanStatus(const TDataPlan& Plan, QDate Today, quint64 Used)
{
    TPlanStatus status;
    status.Period = BillingPeriodOf(Today, Plan.StartDay);
    status.Used = Used;
    status.Left = Plan.Limit > Used ? Plan.Limit - Used : 0;
    status.DaysLeft = int(Today.daysTo(status.Period.End)) + 1;
    const qint64 elapsed = status.Period.Start.daysTo(Today) + 1;
    __extension__ using u128 = unsigned __int128;
    status.Forecast = static_cast<quint64>(u128(Used) * u128(status.Period.Days()) / u128(elapsed));
    status.Percent = Plan.Limit == 0 ? 0 : static_cast<int>(std::min<u128>(u128(Used) * 100 / Plan.Limit, 100000));
    return status;
}

TDataPlan LoadDataPlan(TSQLiteDB& Db, const QString& Device)
{
    TDataPlan plan;
    TSQLiteLock lock(Db);
    QString value;
    if (ReadConfig(Db, Key(Device, "limit"), value)) {
        plan.Limit = value.toULongLong();
    }
    if (ReadConfig(Db, Key(Device, "startday"), value)) {
        plan.StartDay = std::clamp(value.toInt(), 1, 31);
    }
    if (ReadConfig(Db, Key(Device, "alerts"), value)) {
        plan.Alerts = ParseAlerts(value);
    }
    return plan;
}

void SaveDataPlan(TSQLiteDB& Db, const QString& Device, const TDataPlan& Plan)
{
    // The same cleaning as at load: in range, no repeats, ascending.
    QStringList given;
    for (int a : Plan.Alerts) {
        given << QString::number(a);
    }
    QStringList alerts;
    for (int a : ParseAlerts(given.join(QLatin1Char(',')))) {
        alerts << QString::number(a);
    }
    TSQLiteLock lock(Db);
    TSQLiteTransaction transaction(Db);
    WriteConfig(Db, Key(Device, "limit"), QString::number(Plan.Limit));
    WriteConfig(Db, Key(Device, "startday"), QString::number(std::clamp(Plan.StartDay, 1, 31)));
    // A comma after the list keeps a single percentage from being stored as a number.
    WriteConfig(Db, Key(Device, "alerts"), alerts.join(QLatin1Char(',')) + QLatin1Char(','));
    transaction.Commit();
}

QList<int> TakeDueAlerts(TSQLiteDB& Db, const QString& Device, const TDataPlan& Plan, const TPlanStatus& Status)
{
    QList<int> due;
    if (Plan.Limit == 0) {
        return due;
    }
    const QString prefix = Key(Device, "alert");
    const QString periodPrefix =
        prefix + QLatin1Char('.') + Status.Period.Start.toString(Qt::ISODate) + QLatin1Char('.');
    TSQLiteLock lock(Db);
    TSQLiteTransaction transaction(Db);
    {
        // Records of other periods are of no use any more.
        TSQLiteQuery query(Db, QStringLiteral("DELETE FROM CONFIG WHERE SUBSTR(NAME, 1, :LEN1) = :PREFIX "
                                              "AND SUBSTR(NAME, 1, :LEN2) <> :PERIOD"));
        Db.SetParamByNameAsInt(QStringLiteral("LEN1"), int(prefix.size() + 1));
        Db.SetParamByNameAsString(QStringLiteral("PREFIX"), prefix + QLatin1Char('.'));
        Db.SetParamByNameAsInt(QStringLiteral("LEN2"), int(periodPrefix.size()));
        Db.SetParamByNameAsString(QStringLiteral("PERIOD"), periodPrefix);
        Db.Exec();
    }
    QList<int> alerts = Plan.Alerts;
    std::sort(alerts.begin(), alerts.end());
    __extension__ using u128 = unsigned __int128;
    for (int percent : alerts) {
        if (percent <= 0 || u128(Status.Used) * 100 < u128(Plan.Limit) * u128(percent)) {
            continue;
        }
        const QString name = periodPrefix + QString::number(percent);
        QString value;
        if (ReadConfig(Db, name, value)) {
            continue;
        }
        WriteConfig(Db, name, TSQLiteDB::DateToDBText(Clock::Now(), true));
        due << percent;
    }
    transaction.Commit();
    return due;
}

} // namespace Ombrelay
