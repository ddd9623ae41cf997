#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace Ombrelay
{

class TSQLiteDB;

// A modem's data plan: so many bytes per billing period, the period starting on the same day of
// every month, and alerts when the use reaches chosen percentages of the limit.
struct TDataPlan
{
    // Bytes per period; 0: no plan.
    quint64 Limit = 0;
    // 1 to 31. In a month without that day the period starts on the month's last day.
    int StartDay = 1;
    // Percentages of the limit, each announced once per period.
    QList<int> Alerts{80, 100};

    bool operator==(const TDataPlan&) const = default;
};

// First and last day (both inclusive) of a billing period.
struct TBillingPeriod
{
    QDate Start;
    QDate End;

    int Days() const { return int(Start.daysTo(End)) + 1; }
    bool operator==(const TBillingPeriod&) const = default;
};

// The period that holds Day.
TBillingPeriod BillingPeriodOf(QDate Day, int StartDay);

// Where a plan stands on Today with Used bytes counted in its period so far.
struct TPlanStatus
{
    TBillingPeriod Period;
    quint64 Used = 0;
    // Limit minus used, 0 once the limit is reached.
    quint64 Left = 0;
    // Days of the period from today to its end, today included.
    int DaysLeft = 0;
    // The use at the period's end if it goes on at the pace of the days so far (today counted as
    // a whole day).
    quint64 Forecast = 0;
    // Used as whole percent of the limit (0 without a limit).
    int Percent = 0;
};

TPlanStatus DataPlanStatus(const TDataPlan& Plan, QDate Today, quint64 Used);

// The plan of Device, CONFIG rows of its own ("plan.DEVICE.limit", ".startday", ".alerts");
// the defaults when none is stored. Values out of range are taken as the nearest allowed one.
TDataPlan LoadDataPlan(TSQLiteDB& Db, const QString& Device);
void SaveDataPlan(TSQLiteDB& Db, const QString& Device, const TDataPlan& Plan);

// The alert percentages that Status has reached and that have not been announced in its period,
// lowest first; each is recorded as announced ("plan.DEVICE.alert.PERIODSTART.PERCENT"), so it
// comes once per period. Records of earlier periods are removed.
QList<int> TakeDueAlerts(TSQLiteDB& Db, const QString& Device, const TDataPlan& Plan, const TPlanStatus& Status);

} // namespace Ombrelay
