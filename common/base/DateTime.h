#pragma once

#include <QDateTime>

namespace Ombrelay
{

// A date-time value: the integral part counts days from 1899-12-30 (day 0), the fraction is
// the time of day. Always local time. A date value has no fraction.
using TDateTime = double;

// Days between 1899-12-30 and 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kMsPerDay = 86400000.0;
constexpr double kSecondsPerDay = 86400.0;

// Builds a date from its parts; false (and Result untouched) for an impossible date.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result);
// Builds a time of day as a day fraction; false for an hour, minute, second or millisecond out of range.
bool TryEncodeTime(int Hour, int Minute, int Second, int MSec, TDateTime& Result);

void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day);
// The time fields from Value rounded to the nearest millisecond.
void DecodeTime(TDateTime Value, int& Hour, int& Minute, int& Second, int& MSec);

// Conversions to and from Qt's local date-time.
TDateTime FromQDateTime(const QDateTime& Value);
QDateTime ToQDateTime(TDateTime Value);
QDate ToQDate(TDateTime Value);

// The date part only (midnight of the same day).
TDateTime DateOf(TDateTime Value);

// The program's clock. Every "now" of the program comes from here, so that tests can set it.
class Clock
{
public:
    // The current local date-time, or the time a test has set.
    static TDateTime Now();
    static QDateTime NowQ();
    // Sets a fixed time for tests; SetNow(0) returns to the real clock.
    static void SetNow(TDateTime Value);
    // Moves a set time forward by Seconds.
    static void Advance(double Seconds);
    static bool IsSet();
};

} // namespace Ombrelay
