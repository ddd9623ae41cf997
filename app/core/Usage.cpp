#include "core/Usage.h"

#include "base/DateTime.h"
#include "base/Errors.h"
#include "core/DB.h"
#include "platform/NetCounters.h"
#include "sqlite/SQLiteDB.h"

#include <QDateTime>
#include <QLocale>
#include <QMutexLocker>

#include <algorithm>
#include <mutex>
#include <vector>

namespace Ombrelay
{

TUsageThread* UsageThread = nullptr;

namespace
{

// Registered sources, each with an id that is never used again, so that a new source at the
// address of an old one does not inherit its readings.
struct TRegistered
{
    IUsageSource* Source;
    quint64 Id;
};

std::mutex g_sourcesMutex;
std::vector<TRegistered> g_sources;
quint64 g_nextSourceId = 1; // 0 is the sysfs source of each usage thread

} // namespace

void RegisterUsageSource(IUsageSource* Source)
{
    if (Source == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    for (const TRegistered& r : g_sources) {
        if (r.Source == Source) {
            return;
        }
    }
    g_sources.push_back({Source, g_nextSourceId++});
    // Its first read is its baseline: taken now, not after an idle minute of traffic.
    if (UsageThread) {
        UsageThread->Wake();
    }
}

void UnregisterUsageSource(IUsageSource* Source)
{
    // Reads happen under the same lock, so none is in progress once it is taken.
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    std::erase_if(g_sources, [Source](const TRegistered& r) { return r.Source == Source; });
}

bool ReadSysfsInterfaceCounters(const QString& Root, const QString& Name, TInterfaceCounters& Counters)
{
    TNetCounters c;
    if (!ReadNetCounters(Root, Name, c) || !c.HasIfIndex) {
        return false;
    }
    Counters.Key = Name + QLatin1Char('#') + QString::number(c.IfIndex);
    Counters.RxBytes = c.RxBytes;
    Counters.TxBytes = c.TxBytes;
    return true;
}

TSysfsUsageSource::TSysfsUsageSource(const QString& Root)
    : FRoot(Root)
{
}

bool TSysfsUsageSource::ReadCounters(QList<TInterfaceCounters>& List)
{
    QList<TNetInterfaceEntry> entries;
    if (!ListNetInterfaces(FRoot, entries)) {
        return false;
    }
    for (auto it = FKnown.begin(); it != FKnown.end(); ++it) {
        it->Seen = false;
    }
    for (const TNetInterfaceEntry& entry : std::as_const(entries)) {
        const QString id = entry.Name + QLatin1Char('/') + QString::number(entry.Inode);
        auto known = FKnown.find(id);
        if (known == FKnown.end()) {
            known = FKnown.insert(id, {NetInterfaceHasDevType(FRoot, entry.Name, "wwan"), false});
        }
        known->Seen = true;
        if (!known->Wwan) {
            continue;
        }
        // An interface that vanishes while it is read simply does not count this time.
        TInterfaceCounters counters;
        if (ReadSysfsInterfaceCounters(FRoot, entry.Name, counters)) {
            List.append(counters);
        }
    }
    for (auto it = FKnown.begin(); it != FKnown.end();) {
        it = it->Seen ? std::next(it) : FKnown.erase(it);
    }
    return true;
}

TUsageThread::TUsageThread(const QString& SysfsRoot, unsigned long PeriodMs)
    : FSysfs(SysfsRoot)
    , FPeriodMs(PeriodMs)
{
}

TUsageThread::~TUsageThread()
{
    StopAndWait();
}

namespace
{

// Milliseconds until shortly before the next local midnight; a wake-up then writes the day's
// bytes to its own row.
qint64 MsToDayEnd()
{
    constexpr qint64 kMargin = 500;
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 ms = now.msecsTo(QDateTime(now.date().addDays(1), QTime(0, 0))) - kMargin;
    return ms > 0 ? ms : ms + 24 * 3600 * 1000;
}

} // namespace

void TUsageThread::Execute()
{
    // The baseline at once: bytes that pass from now on count.
    Pass();
    while (!Terminated()) {
        // Sixty quiet samples include a write, so nothing is pending while the thread sleeps long.
        const bool idle = FQuietSamples.load(std::memory_order_relaxed) >= SamplesPerFlush;
        const qint64 dayEnd = MsToDayEnd();
        const qint64 period = qint64(FPeriodMs) * (idle ? SamplesPerFlush : 1);
        if (!WaitForShutdown(static_cast<unsigned long>(std::min(period, dayEnd)))) {
            break;
        }
        Pass();
        if (dayEnd <= period) {
            // The end of a day: its bytes go to its own row.
            Flush();
        }
    }
    // The bytes up to the end.
    Sample();
    Flush();
}

void TUsageThread::SampleNow()
{
    if (Sample()) {
        FQuietSamples.store(0, std::memory_order_relaxed);
    }
}

void TUsageThread::Pass()
{
    if (Sample()) {
        FQuietSamples.store(0, std::memory_order_relaxed);
    } else {
        FQuietSamples.fetch_add(1, std::memory_order_relaxed);
    }
    const quint32 count = FCount.load(std::memory_order_relaxed) + 1;
    FCount.store(count, std::memory_order_release);
    if (count % SamplesPerFlush == 0) {
        Flush();
    }
}

void TUsageThread::ReadSource(quint64 SourceId, IUsageSource& Source, quint64& AddIn, quint64& AddOut)
{
    QList<TInterfaceCounters> list;
    bool ok = false;
    try {
        ok = Source.ReadCounters(list);
    } catch (...) {
        ok = false;
    }
    // The first read of a source, successful or not, fixes its baseline: interfaces it reports
    // then count from their values, interfaces that turn up later count from zero (they were
    // made while we watched). A failed first read therefore counts everything of the next one.
    auto [it, first] = FReadings.try_emplace(SourceId);
    if (!ok) {
        return;
    }
    TReadings& readings = it->second;
    for (const TInterfaceCounters& c : list) {
        TReading base;
        const auto old = readings.constFind(c.Key);
        if (old != readings.cend()) {
            base = *old;
        } else if (first) {
            base = {c.RxBytes, c.TxBytes};
        }
        // A counter that went down was reset: it counts on from its new value.
        AddIn += c.RxBytes >= base.Rx ? c.RxBytes - base.Rx : 0;
        AddOut += c.TxBytes >= base.Tx ? c.TxBytes - base.Tx : 0;
        readings.insert(c.Key, {c.RxBytes, c.TxBytes});
    }
    // An interface missing from one listing keeps its last reading, so that it does not count
    // from zero if it shows again under the same key. Only a long run of re-created links
    // fills the table; then what is absent now is forgotten.
    if (readings.size() > MaxRememberedInterfaces) {
        for (auto r = readings.begin(); r != readings.end();) {
            const bool present =
                std::any_of(list.cbegin(), list.cend(), [&](const TInterfaceCounters& c) { return c.Key == r.key(); });
            r = present ? std::next(r) : readings.erase(r);
        }
    }
}

bool TUsageThread::Sample()
{
    std::lock_guard<std::mutex> sampleLock(FSampleMutex);
    quint64 addIn = 0;
    quint64 addOut = 0;
    ReadSource(0, FSysfs, addIn, addOut);
    {
        std::lock_guard<std::mutex> lock(g_sourcesMutex);
        for (const TRegistered& r : g_sources) {
            ReadSource(r.Id, *r.Source, addIn, addOut);
        }
        // Forget the readings of sources that were unregistered.
        for (auto it = FReadings.begin(); it != FReadings.end();) {
            const bool known = it->first == 0 || std::any_of(g_sources.begin(), g_sources.end(),
                                                             [&](const TRegistered& r) { return r.Id == it->first; });
            it = known ? std::next(it) : FReadings.erase(it);
        }
    }
    if (addIn != 0) {
        FPendingIn.fetch_add(addIn, std::memory_order_acq_rel);
    }
    if (addOut != 0) {
        FPendingOut.fetch_add(addOut, std::memory_order_acq_rel);
    }
    return addIn != 0 || addOut != 0;
}

void TUsageThread::Flush()
{
    OMBRELAY_ASSERT("Core.Usage", Database != nullptr);
    const quint64 in = PendingIn();
    const quint64 out = PendingOut();
    if (in == 0 && out == 0) {
        return;
    }
    try {
        TSQLiteLock lock(*Database);
        // The row of the local date at the moment of the write.
        const TDateTime today = DateOf(Clock::Now());
        int rows = 0;
        {
            TSQLiteQuery query(*Database, QStringLiteral("UPDATE USAGE SET INCOMING = INCOMING + :INCOMING,"
                                                         "OUTGOING = OUTGOING + :OUTGOING WHERE DATE = :DATE"));
            Database->SetParamByNameAsDate(QStringLiteral("DATE"), today);
            Database->SetParamByNameAsInt64(QStringLiteral("INCOMING"), static_cast<qint64>(in));
            Database->SetParamByNameAsInt64(QStringLiteral("OUTGOING"), static_cast<qint64>(out));
            Database->Exec();
            rows = Database->RowsAffected();
        }
        if (rows == 0) {
            TSQLiteQuery query(*Database, QStringLiteral("INSERT INTO USAGE VALUES (:DATE, :INCOMING, :OUTGOING)"));
            Database->SetParamByNameAsDate(QStringLiteral("DATE"), today);
            Database->SetParamByNameAsInt64(QStringLiteral("INCOMING"), static_cast<qint64>(in));
            Database->SetParamByNameAsInt64(QStringLiteral("OUTGOING"), static_cast<qint64>(out));
            Database->Exec();
        }
        // Still under the lock, so that a reader never sees the written bytes twice.
        FPendingIn.fetch_sub(in, std::memory_order_acq_rel);
        FPendingOut.fetch_sub(out, std::memory_order_acq_rel);
        QMutexLocker errorLock(&FErrorMutex);
        FLastFlushError.clear();
    } catch (const ESQLiteException& e) {
        // The bytes stay pending; the next write tries again.
        QMutexLocker errorLock(&FErrorMutex);
        FLastFlushError = e.Message();
    }
}

QString TUsageThread::LastFlushError() const
{
    QMutexLocker lock(&FErrorMutex);
    return FLastFlushError;
}

void TUsageThread::QueryRange(TDateTime DateFrom, TDateTime DateTo, quint64& ValueIn, quint64& ValueOut)
{
    OMBRELAY_ASSERT("Core.Usage", Database != nullptr);
    ValueIn = 0;
    ValueOut = 0;
    TSQLiteLock lock(*Database);
    {
        TSQLiteQuery query(*Database, QStringLiteral("SELECT SUM(INCOMING) AS INCOMING, SUM(OUTGOING) AS OUTGOING "
                                                     "FROM USAGE WHERE DATE BETWEEN :DATE1 AND :DATE2"));
        Database->SetParamByNameAsDate(QStringLiteral("DATE1"), DateFrom);
        Database->SetParamByNameAsDate(QStringLiteral("DATE2"), DateTo);
        while (Database->Next()) {
            ValueIn += static_cast<quint64>(Database->GetFieldByNameAsInt64(QStringLiteral("INCOMING")));
            ValueOut += static_cast<quint64>(Database->GetFieldByNameAsInt64(QStringLiteral("OUTGOING")));
        }
    }
    // Read under the lock: a write moves bytes from pending to the table under it too.
    ValueIn += PendingIn();
    ValueOut += PendingOut();
}

void TUsageThread::GetToday(quint64& ValueIn, quint64& ValueOut)
{
    const TDateTime today = DateOf(Clock::Now());
    QueryRange(today, today, ValueIn, ValueOut);
}

void TUsageThread::GetMonth(quint64& ValueIn, quint64& ValueOut)
{
    int year = 0;
    int month = 0;
    int day = 0;
    DecodeDate(Clock::Now(), year, month, day);
    TDateTime first = 0;
    TDateTime last = 0;
    TryEncodeDate(year, month, 1, first);
    TryEncodeDate(year, month, QDate(year, month, 1).daysInMonth(), last);
    QueryRange(first, last, ValueIn, ValueOut);
}

QString FormatByteSize(quint64 Value)
{
    const QLocale locale;
    if (Value < 1000) {
        return QStringLiteral("%1 bytes").arg(Value);
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    // The unit that keeps the number below 1000 (so 1000 to 1023 bytes read "0.97 KB").
    int unit = 1;
    while (unit < 6 && (Value >> (10 * unit)) >= 1000) {
        ++unit;
    }
    const int shift = 10 * unit;
    const quint64 whole = Value >> shift;
    const int decimals = whole < 10 ? 2 : whole < 100 ? 1 : 0;
    const quint64 scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
    // Truncated, not rounded, as the platform formatter does; the fraction is scaled in 128 bits
    // because the remainder of an exabyte count times 100 overflows 64.
    __extension__ using u128 = unsigned __int128;
    const u128 remainder = Value & ((u128(1) << shift) - 1);
    const quint64 scaled = whole * scale + static_cast<quint64>((remainder * scale) >> shift);
    const QString number = locale.toString(static_cast<double>(scaled) / static_cast<double>(scale), 'f', decimals);
    return number + QLatin1Char(' ') + QLatin1String(units[unit - 1]);
}

} // namespace Ombrelay
