#pragma once

#include "base/DateTime.h"
#include "core/Common.h"
#include "core/UsageHistory.h"
#include "core/UsageSource.h"

#include <QHash>
#include <QMutex>
#include <QString>

#include <atomic>
#include <map>
#include <mutex>

namespace Ombrelay
{

// Counters of the cellular interfaces the kernel lists under Root (normally /sys/class/net):
// those whose uevent says DEVTYPE=wwan. Tunnels and other links never carry that type. PPP
// links are left to the backend that made them: a ppp interface may just as well be PPPoE or a
// VPN, which the tree cannot tell apart, while the backend knows its bearer and can report that
// interface's counters through its own source (ReadSysfsInterfaceCounters helps).
class TSysfsUsageSource : public IUsageSource
{
public:
    explicit TSysfsUsageSource(const QString& Root = QStringLiteral("/sys/class/net"));
    bool ReadCounters(QList<TInterfaceCounters>& List) override;

private:
    struct TKnown
    {
        bool Wwan = false;
        // Seen in the latest listing; the others are dropped after it.
        bool Seen = false;
    };

    QString FRoot;
    // What the uevent said about each entry, by name and inode: a re-created interface gets a
    // new inode, so its type is read again, while a known one costs no file read per sample.
    QHash<QString, TKnown> FKnown;
};

// Reads the counters of interface Name under Root, keyed "name#ifindex". False when the
// interface is gone or its files cannot be read.
bool ReadSysfsInterfaceCounters(const QString& Root, const QString& Name, TInterfaceCounters& Counters);

// Counts the bytes received and sent over the cellular interfaces and keeps daily totals in
// USAGE: samples every second while bytes move, adds the growth to today's row every 60
// samples and once more when it stops. The counters are cumulative, so nothing is missed by
// sampling less often: after 60 samples without growth the thread samples once every 60
// periods (what was counted is written by then), and also just before midnight (so each day keeps its own bytes), when
// a source registers (its baseline), when the window shows the figures (SampleNow) and when it stops.
//
// Growth is taken per interface against that interface's own last reading, so a link that
// is re-created with its counters back at zero (a PPP reconnect) loses nothing, and one that
// drops (a re-plugged device) simply counts on from its new value. Bytes that a failed write
// could not store stay pending for the next one.
class TUsageThread : public TWaitableThread
{
    Q_OBJECT

public:
    static constexpr unsigned long DefaultPeriodMs = 1000;
    static constexpr quint32 SamplesPerFlush = 60;
    static constexpr qsizetype MaxRememberedInterfaces = 256;

    // The sysfs source reads SysfsRoot; registered sources are read beside it. The owner starts
    // the thread.
    explicit TUsageThread(const QString& SysfsRoot = QStringLiteral("/sys/class/net"),
                          unsigned long PeriodMs = DefaultPeriodMs);
    ~TUsageThread() override;

    // Bytes received and sent on the current local date, and in the current calendar month,
    // including what is counted but not yet written. Callable from any thread; a database
    // failure raises ESQLiteException.
    void GetToday(quint64& ValueIn, quint64& ValueOut);
    void GetMonth(quint64& ValueIn, quint64& ValueOut);
    // The traffic of Device (every interface when empty) from From to To, both inclusive, with
    // what is counted but not yet written added to today. Callable from any thread.
    void GetRange(const QString& Device, QDate From, QDate To, quint64& ValueIn, quint64& ValueOut);
    // The history of Device (all when empty) as QueryUsageHistory gives it, today's pending bytes
    // included.
    QList<TUsageEntry> History(const QString& Device, TUsagePeriod Period, QDate From, QDate To);
    // Counted, not yet written, for one modem (all interfaces when Device is empty).
    void GetPending(const QString& Device, quint64& ValueIn, quint64& ValueOut) const;
    // The modems that have counted, not yet written bytes.
    QStringList PendingDevices() const;

    // One pass of the loop (sample, and a write at every 60th). The thread runs it once per
    // period; a test may drive it directly on a thread that was never started.
    void Pass();
    // Writes the pending bytes to today's row. A database failure keeps them pending.
    void Flush();
    // Takes a sample now, on the calling thread, so that GetToday and GetMonth count every byte
    // up to this moment.
    void SampleNow();

    quint32 Count() const { return FCount.load(std::memory_order_acquire); }
    quint64 PendingIn() const { return FPendingIn.load(std::memory_order_acquire); }
    quint64 PendingOut() const { return FPendingOut.load(std::memory_order_acquire); }
    // The message of the last failed write; empty after a successful one.
    QString LastFlushError() const;

protected:
    void Execute() override;

private:
    struct TReading
    {
        quint64 Rx = 0;
        quint64 Tx = 0;
    };
    using TReadings = QHash<QString, TReading>;

    // True when a counter grew.
    bool Sample();
    void ReadSource(quint64 SourceId, IUsageSource& Source, quint64& AddIn, quint64& AddOut,
                    QHash<QString, TReading>& AddDevices);
    void QueryRange(TDateTime DateFrom, TDateTime DateTo, quint64& ValueIn, quint64& ValueOut);

    TSysfsUsageSource FSysfs;
    unsigned long FPeriodMs;
    std::atomic<quint32> FCount{0};
    // Samples in a row that found no growth; the thread sleeps longer after a minute of them.
    std::atomic<quint32> FQuietSamples{0};
    // Samples come from the worker and from SampleNow.
    std::mutex FSampleMutex;
    // Last reading of every interface, per source (by registration id); a source's first read
    // makes the baseline of the interfaces it reports then.
    std::map<quint64, TReadings> FReadings;
    // Counted, not yet written. Written by the worker; read by any thread.
    std::atomic<quint64> FPendingIn{0};
    std::atomic<quint64> FPendingOut{0};
    // The same per modem, for the per-modem history.
    mutable QMutex FDeviceMutex;
    QHash<QString, TReading> FPendingDevices;
    mutable QMutex FErrorMutex;
    QString FLastFlushError;
};

// The short byte-size text in the units the user chose (SetByteUnits; IEC until then).
QString FormatByteSize(quint64 Value);
TByteUnits ByteUnits();
void SetByteUnits(TByteUnits Units);

// The process-wide instance, created running by the module start-up.
extern TUsageThread* UsageThread;

} // namespace Ombrelay
