#include "base/DateTime.h"

#include <atomic>
#include <cmath>

namespace Ombrelay
{

namespace
{
const QDate kDayZero(1899, 12, 30);
std::atomic<double> g_testNow{0.0};
} // namespace

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result)
{
    if (Year < 1 || Year > 9999 || !QDate::isValid(Year, Month, Day)) {
        return false;
    }
    Result = static_cast<double>(kDayZero.daysTo(QDate(Year, Month, Day)));
    return true;
}

bool TryEncodeTime(int Hour, int Minute, int Second, int MSec, TDateTime& Result)
{
    if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59 || MSec < 0 || MSec > 999) {
        return false;
    }
    Result = ((Hour * 3600.0 + Minute * 60.0 + Second) * 1000.0 + MSec) / kMsPerDay;
    return true;
}

namespace
{
// Splits a value into whole days and milliseconds of the day, rounding to the millisecond.
void SplitValue(TDateTime Value, qint64& Days, qint64& Ms)
{
    // Negative values count days backwards but the time is still positive (as the runtime does).
    const double whole = std::trunc(Value);
    qint64 ms = std::llround(std::fabs(Value - whole) * kMsPerDay);
    qint64 days = static_cast<qint64>(whole);
    if (ms >= static_cast<qint64>(kMsPerDay)) {
        ms -= static_cast<qint64>(kMsPerDay);
        days += Value < 0 ? -1 : 1;
    }
    Days = days;
    Ms = ms;
}
} // namespace

void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day)
{
    qint64 days = 0;
    qint64 ms = 0;
    SplitValue(Value, days, ms);
    const QDate d = kDayZero.addDays(days);
    Year = d.year();
    Month = d.month();
    Day = d.day();
}

void DecodeTime(TDateTime Value, int& Hour, int& Minute, int& Second, int& MSec)
{
    qint64 days = 0;
    qint64 ms = 0;
    SplitValue(Value, days, ms);
    Hour = static_cast<int>(ms / 3600000);
    Minute = static_cast<int>(ms / 60000 % 60);
    Second = static_cast<int>(ms / 1000 % 60);
    MSec = static_cast<int>(ms % 1000);
}

TDateTime FromQDateTime(const QDateTime& Value)
{
    const QDateTime local = Value.toLocalTime();
    const QTime t = local.time();
    return static_cast<double>(kDayZero.daysTo(local.date())) + t.msecsSinceStartOfDay() / kMsPerDay;
}

QDateTime ToQDateTime(TDateTime Value)
{
    qint64 days = 0;
    qint64 ms = 0;
    SplitValue(Value, days, ms);
    return QDateTime(kDayZero.addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

QDate ToQDate(TDateTime Value)
{
    return ToQDateTime(Value).date();
}

TDateTime DateOf(TDateTime Value)
{
    qint64 days = 0;
    qint64 ms = 0;
    SplitValue(Value, days, ms);
    return static_cast<double>(days);
}

TDateTime Clock::Now()
{
    const double set = g_testNow.load();
    if (set != 0.0) {
        return set;
    }
    return FromQDateTime(QDateTime::currentDateTime());
}

QDateTime Clock::NowQ()
{
    return ToQDateTime(Now());
}

void Clock::SetNow(TDateTime Value)
{
    g_testNow.store(Value);
}

void Clock::Advance(double Seconds)
{
    double cur = g_testNow.load();
    g_testNow.store(cur + Seconds / kSecondsPerDay);
}

bool Clock::IsSet()
{
    return g_testNow.load() != 0.0;
}

} // namespace Ombrelay
