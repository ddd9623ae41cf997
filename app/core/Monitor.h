#pragma once

#include "core/Common.h"
#include "core/MonitorLog.h"
#include "core/Options.h"

#include <QStringList>

#include <atomic>
#include <functional>

namespace Ombrelay
{

// Messages the monitor posts to the main window.
inline constexpr int WM_MONITOR_REDIAL = 3024;
inline constexpr int WM_MONITOR_REBOOT = 3025;

// HTTP status codes that count as reachable, in the order they are compared. A redirect, the
// permanent 308 included, is an answer of the site: it is reachable.
inline constexpr int AcceptedStatusCodes[] = {200, 301, 302, 303, 304, 307, 308};

// The online monitor. While monitoring is enabled it checks, every "interval" one-second
// ticks, whether the configured web sites answer both a HEAD request and an ICMP echo;
// consecutive failures ask the main window to reconnect or to warn and restart the PC, at
// multiples of the two thresholds. Its output is MonitorMessage and CheckFinished, emitted on the
// thread the monitor object lives on (the window's), in event-loop order.
class TMonitorThread : public TWaitableThread
{
    Q_OBJECT

public:
    using TSettingsSource = std::function<TMonitorSettings()>;
    // Where each site's result goes; the process-wide database's monitor log unless set.
    using TLogSink = std::function<void(const TMonitorLogEntry& Entry)>;

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
    // Set before the thread starts.
    void SetLogSink(TLogSink Sink) { FLogSink = std::move(Sink); }

    // The reason in words for a failed HEAD request: libcurl's result and, when it got an answer,
    // the status ("name not resolved", "connection refused", "timed out", "HTTP status 500").
    static QString HttpFailureReason(int CurlCode, long Status);

    // Values outside the settings dialog's ranges (interval 10 to 3600, thresholds 0 to 100), as
    // a hand-edited database may hold them, taken as the nearest allowed value.
    static TMonitorSettings Clamped(TMonitorSettings Settings);

Q_SIGNALS:
    void MonitorMessage(int Msg);
    // After each completed check: whether it passed and, when not, the reason of
    // the last site that failed.
    void CheckFinished(bool Online, const QString& Reason);

protected:
    void Execute() override;
    // The HTTP part: true when one site answers a HEAD request with an accepted status.
    virtual bool CheckWebSites(const QStringList& Sites);
    // The ICMP part: true when one IPv4 address of one site answers an echo.
    virtual bool PingWebSites(const QStringList& Sites);

    // Records one site's result of the running check.
    void Log(const QString& Site, const char* Method, bool Ok, const QString& Reason);

private:
    TSettingsSource FSettings;
    TLogSink FLogSink;
    QString FLastReason;
    unsigned long FPeriodMs;
    long FConnectTimeoutMs = DefaultConnectTimeoutMs;
    long FTotalTimeoutMs = DefaultTotalTimeoutMs;
    std::atomic<quint32> FTimerCount{0};
    std::atomic<quint32> FErrorCount{0};
    // What the last tick found; a new thread ticks at the normal period until it knows.
    std::atomic<bool> FEnabled{true};
};

} // namespace Ombrelay
