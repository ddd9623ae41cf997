#pragma once

#include "core/Common.h"
#include "core/Options.h"

#include <QStringList>

#include <atomic>
#include <functional>

namespace Ombrelay
{

// Messages the monitor posts to the main window.
inline constexpr int WM_MONITOR_REDIAL = 3024;
inline constexpr int WM_MONITOR_REBOOT = 3025;

// HTTP status codes that count as reachable, in the order they are compared.
inline constexpr int AcceptedStatusCodes[] = {200, 301, 302, 303, 304, 307};

// The online monitor. While monitoring is enabled it checks, every "interval" one-second
// ticks, whether the configured web sites answer both a HEAD request and an ICMP echo;
// consecutive failures ask the main window to reconnect or to warn and restart the PC, at
// multiples of the two thresholds. Its only output is MonitorMessage, emitted on this thread:
// the window connects to it queued.
class TMonitorThread : public TWaitableThread
{
    Q_OBJECT

public:
    using TSettingsSource = std::function<TMonitorSettings()>;

    static constexpr unsigned long DefaultPeriodMs = 1000;
    // While disabled the thread ticks only every this many periods (Wake answers a change at once).
    static constexpr unsigned long DisabledPeriods = 60;
    // Without these a server that accepts and never answers would hold the check, and the
    // program's exit behind it, for ever.
    static constexpr long DefaultConnectTimeoutMs = 10000;
    static constexpr long DefaultTotalTimeoutMs = 20000;
    static constexpr quint32 EchoTimeOutMs = 1000;

    // Reads the settings from the process-wide Options on every tick.
    explicit TMonitorThread(QObject* Parent = nullptr);
    // Reads the settings from Settings on every tick (called on the monitor thread).
    explicit TMonitorThread(TSettingsSource Settings, unsigned long PeriodMs = DefaultPeriodMs,
                            QObject* Parent = nullptr);
    ~TMonitorThread() override;

    // One tick: count it while enabled and run a check at multiples of the interval. The thread
    // runs it once per period; a test may drive it directly on a thread that was never started.
    void Tick();

    quint32 TimerCount() const { return FTimerCount.load(std::memory_order_acquire); }
    quint32 ErrorCount() const { return FErrorCount.load(std::memory_order_acquire); }
    // Time-outs of each HEAD request; set before the thread starts.
    void SetHttpTimeouts(long ConnectMs, long TotalMs);

    // Values outside the settings dialog's ranges (interval 10 to 3600, thresholds 0 to 100), as
    // a hand-edited database may hold them, taken as the nearest allowed value.
    static TMonitorSettings Clamped(TMonitorSettings Settings);

Q_SIGNALS:
    void MonitorMessage(int Msg);

protected:
    void Execute() override;
    // The HTTP part: true when one site answers a HEAD request with an accepted status.
    virtual bool CheckWebSites(const QStringList& Sites);
    // The ICMP part: true when one IPv4 address of one site answers an echo.
    virtual bool PingWebSites(const QStringList& Sites);

private:
    TSettingsSource FSettings;
    unsigned long FPeriodMs;
    long FConnectTimeoutMs = DefaultConnectTimeoutMs;
    long FTotalTimeoutMs = DefaultTotalTimeoutMs;
    std::atomic<quint32> FTimerCount{0};
    std::atomic<quint32> FErrorCount{0};
    // What the last tick found; a new thread ticks at the normal period until it knows.
    std::atomic<bool> FEnabled{true};
};

} // namespace Ombrelay
