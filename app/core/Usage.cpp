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

void TUsageThread::ReadSource(quint64 SourceId, IUsageSource& Source, quint64& AddIn, quint64& AddOut,
                              QHash<QString, TReading>& AddDevices)
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
        const quint64 in = c.RxBytes >= base.Rx ? c.RxBytes - base.Rx : 0;
        const quint64 out = c.TxBytes >= base.Tx ? c.TxBytes - base.Tx : 0;
        AddIn += in;
        AddOut += out;
        if (!c.Device.isEmpty() && (in != 0 || out != 0)) {
            TReading& device = AddDevices[c.Device];
            device.Rx += in;
            device.Tx += out;
        }
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
    QHash<QString, TReading> addDevices;
    ReadSource(0, FSysfs, addIn, addOut, addDevices);
    {
        std::lock_guard<std::mutex> lock(g_sourcesMutex);
        for (const TRegistered& r : g_sources) {
            ReadSource(r.Id, *r.Source, addIn, addOut, addDevices);
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
    if (!addDevices.isEmpty()) {
        QMutexLocker lock(&FDeviceMutex);
        for (auto it = addDevices.cbegin(); it != addDevices.cend(); ++it) {
            TReading& pending = FPendingDevices[it.key()];
            pending.Rx += it->Rx;
            pending.Tx += it->Tx;
        }
    }
    return addIn != 0 || addOut != 0;
}

namespace
{

// Adds In and Out to the row of Date in Table (USAGE, or USAGEDEVICE for Device), creating it.
void AddToRow(TDatabase& Db, const QString& Device, TDateTime Date, quint64 In, quint64 Out)
{
    const bool device = !Device.isEmpty();
    int rows = 0;
    {
        TSQLiteQuery query(Db, device ? QStringLiteral("UPDATE USAGEDEVICE SET INCOMING = INCOMING + :INCOMING,"
                                                       "OUTGOING = OUTGOING + :OUTGOING "
                                                       "WHERE DATE = :DATE AND DEVICE = :DEVICE")
                                      : QStringLiteral("UPDATE USAGE SET INCOMING = INCOMING + :INCOMING,"
                                                       "OUTGOING = OUTGOING + :OUTGOING WHERE DATE = :DATE"));
        Db.SetParamByNameAsDate(QStringLiteral("DATE"), Date);
        if (device) {
            Db.SetParamByNameAsString(QStringLiteral("DEVICE"), Device);
        }
        Db.SetParamByNameAsInt64(QStringLiteral("INCOMING"), static_cast<qint64>(In));
        Db.SetParamByNameAsInt64(QStringLiteral("OUTGOING"), static_cast<qint64>(Out));
        Db.Exec();
        rows = Db.RowsAffected();
    }
    if (rows == 0) {
        TSQLiteQuery query(Db, device ? QStringLiteral("INSERT INTO USAGEDEVICE (DATE, DEVICE, INCOMING, OUTGOING) "
                                                       "VALUES (:DATE, :DEVICE, :INCOMING, :OUTGOING)")
                                      : QStringLiteral("INSERT INTO USAGE VALUES (:DATE, :INCOMING, :OUTGOING)"));
        Db.SetParamByNameAsDate(QStringLiteral("DATE"), Date);
        if (device) {
            Db.SetParamByNameAsString(QStringLiteral("DEVICE"), Device);
        }
        Db.SetParamByNameAsInt64(QStringLiteral("INCOMING"), static_cast<qint64>(In));
        Db.SetParamByNameAsInt64(QStringLiteral("OUTGOING"), static_cast<qint64>(Out));
        Db.Exec();
    }
}

} // namespace

void TUsageThread::Flush()
{
    OMBRELAY_ASSERT("Core.Usage", Database != nullptr);
    if (PendingIn() == 0 && PendingOut() == 0) {
        return;
    }
    try {
        TSQLiteLock lock(*Database);
        // Taken under the lock, so that two writes (the loop's and one asked for from another
        // thread) never both store the same bytes.
        const quint64 in = PendingIn();
        const quint64 out = PendingOut();
        QHash<QString, TReading> devices;
        {
            QMutexLocker deviceLock(&FDeviceMutex);
            devices = FPendingDevices;
        }
        if (in == 0 && out == 0) {
            return;
        }
        // The row of the local date at the moment of the write.
        const TDateTime today = DateOf(Clock::Now());
        // The total and the per-modem rows are written together or not at all: a failure keeps
        // every amount pending for the next write, which must not find half of it stored.
        TSQLiteTransaction transaction(*Database);
        AddToRow(*Database, QString(), today, in, out);
        for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
            AddToRow(*Database, it.key(), today, it->Rx, it->Tx);
        }
        transaction.Commit();
        // Still under the lock, so that a reader never sees the written bytes twice.
        FPendingIn.fetch_sub(in, std::memory_order_acq_rel);
        FPendingOut.fetch_sub(out, std::memory_order_acq_rel);
        {
            QMutexLocker deviceLock(&FDeviceMutex);
            for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
                TReading& pending = FPendingDevices[it.key()];
                pending.Rx -= it->Rx;
                pending.Tx -= it->Tx;
                if (pending.Rx == 0 && pending.Tx == 0) {
                    FPendingDevices.remove(it.key());
                }
            }
        }
        QMutexLocker errorLock(&FErrorMutex);
        FLastFlushError.clear();
    } catch (const ESQLiteException& e) {
        // The bytes stay pending; the next write tries again.
        QMutexLocker errorLock(&FErrorMutex);
        FLastFlushError = e.Message();
    }
}

void TUsageThread::GetPending(const QString& Device, quint64& ValueIn, quint64& ValueOut) const
{
    if (Device.isEmpty()) {
        ValueIn = PendingIn();
        ValueOut = PendingOut();
        return;
    }
    QMutexLocker lock(&FDeviceMutex);
    const TReading pending = FPendingDevices.value(Device);
    ValueIn = pending.Rx;
    ValueOut = pending.Tx;
}

QStringList TUsageThread::PendingDevices() const
{
    QMutexLocker lock(&FDeviceMutex);
    QStringList devices = FPendingDevices.keys();
    devices.sort();
    return devices;
}

void TUsageThread::GetRange(const QString& Device, QDate From, QDate To, quint64& ValueIn, quint64& ValueOut)
{
    OMBRELAY_ASSERT("Core.Usage", Database != nullptr);
    TSQLiteLock lock(*Database);
    QueryUsageSum(*Database, Device, From, To, ValueIn, ValueOut);
    const QDate today = Clock::NowQ().date();
    if (From <= today && today <= To) {
        quint64 in = 0;
        quint64 out = 0;
        GetPending(Device, in, out);
        ValueIn += in;
        ValueOut += out;
    }
}

QList<TUsageEntry> TUsageThread::History(const QString& Device, TUsagePeriod Period, QDate From, QDate To)
{
    OMBRELAY_ASSERT("Core.Usage", Database != nullptr);
    // Under the lock: a write moves bytes from pending to the table under it too.
    TSQLiteLock lock(*Database);
    QList<TUsageEntry> entries = QueryUsageHistory(*Database, Device, Period, From, To);
    const QDate today = Clock::NowQ().date();
    for (TUsageEntry& e : entries) {
        const bool holdsToday = Period == TUsagePeriod::Month
                                    ? e.Date.year() == today.year() && e.Date.month() == today.month()
                                    : e.Date == today;
        if (holdsToday) {
            quint64 in = 0;
            quint64 out = 0;
            GetPending(Device, in, out);
            e.In += in;
            e.Out += out;
        }
    }
    return entries;
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

namespace
{
std::atomic<TByteUnits> g_byteUnits{TByteUnits::Iec};
}

TByteUnits ByteUnits()
{
    return g_byteUnits.load(std::memory_order_relaxed);
}

void SetByteUnits(TByteUnits Units)
{
    g_byteUnits.store(Units, std::memory_order_relaxed);
}

QString FormatByteSize(quint64 Value)
{
    return FormatByteSize(Value, ByteUnits());
}

} // namespace Ombrelay
