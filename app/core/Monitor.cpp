#include "core/Monitor.h"

#include "iputil/IPUtil.h"

#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

namespace Ombrelay
{

namespace
{

void GlobalCurlInit()
{
    // Not thread-safe in every libcurl build: done once, from the constructing thread.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Lets a request in progress end as soon as the thread is being destroyed.
int AbortOnShutdown(void* Thread, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const TWaitableThread*>(Thread)->Terminated() ? 1 : 0;
}

class TCurlHandle
{
public:
    TCurlHandle()
        : FHandle(curl_easy_init())
    {
    }
    ~TCurlHandle()
    {
        if (FHandle != nullptr) {
            curl_easy_cleanup(FHandle);
        }
    }
    TCurlHandle(const TCurlHandle&) = delete;
    TCurlHandle& operator=(const TCurlHandle&) = delete;
    CURL* Get() const { return FHandle; }

private:
    CURL* FHandle;
};

TMonitorSettings OptionsSnapshot()
{
    return Options != nullptr ? Options->MonitorSnapshot() : TMonitorSettings{};
}

} // namespace

TMonitorThread::TMonitorThread(QObject* Parent)
    : TMonitorThread(&OptionsSnapshot, DefaultPeriodMs, Parent)
{
}

TMonitorThread::TMonitorThread(TSettingsSource Settings, unsigned long PeriodMs, QObject* Parent)
    : TWaitableThread(Parent)
    , FSettings(std::move(Settings))
    , FPeriodMs(PeriodMs)
{
    GlobalCurlInit();
}

TMonitorThread::~TMonitorThread()
{
    StopAndWait();
}

void TMonitorThread::SetHttpTimeouts(long ConnectMs, long TotalMs)
{
    FConnectTimeoutMs = ConnectMs;
    FTotalTimeoutMs = TotalMs;
}

TMonitorSettings TMonitorThread::Clamped(TMonitorSettings Settings)
{
    Settings.Interval = std::clamp<quint32>(Settings.Interval, 10, 3600);
    Settings.RedialThreshold = std::min<quint32>(Settings.RedialThreshold, 100);
    Settings.RebootThreshold = std::min<quint32>(Settings.RebootThreshold, 100);
    return Settings;
}

void TMonitorThread::Execute()
{
    while (!Terminated()) {
        // Disabled, it only looks at the settings now and then; the settings dialog wakes it.
        const bool enabled = FEnabled.load(std::memory_order_relaxed);
        if (!WaitForShutdown(enabled ? FPeriodMs : FPeriodMs * DisabledPeriods)) {
            break;
        }
        Tick();
    }
}

void TMonitorThread::Tick()
{
    // A copy taken under the options' lock: the settings exchange may replace the site list
    // while a check walks it.
    const TMonitorSettings settings = Clamped(FSettings());
    FEnabled.store(settings.Enabled, std::memory_order_relaxed);
    if (!settings.Enabled) {
        return;
    }
    const quint32 timerCount = FTimerCount.load(std::memory_order_relaxed);
    if (timerCount % settings.Interval == 0) {
        bool online = false;
        FLastReason.clear();
        try {
            online = CheckWebSites(settings.Sites) && PingWebSites(settings.Sites);
        } catch (...) {
            // Whatever goes wrong in a check is that check failing; the monitor runs on.
            online = false;
        }
        if (Terminated()) {
            // Cut short by shutdown: neither a success nor a failure.
            return;
        }
        EmitOnOwnerThread(
            [this, online, reason = online ? QString() : FLastReason] { Q_EMIT CheckFinished(online, reason); });
        if (online) {
            FErrorCount.store(0, std::memory_order_release);
        } else {
            const quint32 errors = FErrorCount.load(std::memory_order_relaxed) + 1;
            FErrorCount.store(errors, std::memory_order_release);
            // At most one message per check; the restart wins when both thresholds divide.
            if (settings.RebootThreshold != 0 && errors % settings.RebootThreshold == 0) {
                EmitOnOwnerThread([this] { Q_EMIT MonitorMessage(WM_MONITOR_REBOOT); });
            } else if (settings.RedialThreshold != 0 && errors % settings.RedialThreshold == 0) {
                EmitOnOwnerThread([this] { Q_EMIT MonitorMessage(WM_MONITOR_REDIAL); });
            }
        }
    }
    FTimerCount.store(timerCount + 1, std::memory_order_release);
}

QString TMonitorThread::HttpFailureReason(int CurlCode, long Status)
{
    switch (CurlCode) {
    case CURLE_OK:
        return QStringLiteral("HTTP status %1").arg(Status);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("name not resolved");
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("connection refused");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("timed out");
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return QStringLiteral("not an HTTP or HTTPS URL");
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return QStringLiteral("connection closed without an answer");
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("secure connection failed");
    default:
        return QString::fromUtf8(curl_easy_strerror(static_cast<CURLcode>(CurlCode)));
    }
}

void TMonitorThread::Log(const QString& Site, const char* Method, bool Ok, const QString& Reason)
{
    if (!Ok) {
        FLastReason = Reason;
    }
    TMonitorLogEntry entry;
    entry.Time = Clock::Now();
    entry.Kind = QLatin1String(MonitorLogKind::Check);
    entry.Site = Site;
    entry.Method = QLatin1String(Method);
    entry.Result = Ok ? QStringLiteral("ok") : QStringLiteral("failed");
    entry.Reason = Reason;
    if (FLogSink) {
        FLogSink(entry);
    } else {
        LogMonitorEvent(entry);
    }
}

bool TMonitorThread::CheckWebSites(const QStringList& Sites)
{
    // One client per check.
    TCurlHandle curl;
    if (curl.Get() == nullptr) {
        return false;
    }
    for (const QString& site : Sites) {
        if (Terminated()) {
            return false;
        }
        try {
            const QByteArray url = site.toUtf8();
            CURL* h = curl.Get();
            curl_easy_reset(h);
            // HEAD only, over HTTP(S) only: an entry such as file:// or a bare word fails here
            // like any unreachable site. Redirects are not followed: a redirect status already
            // shows that the site is reachable.
            curl_easy_setopt(h, CURLOPT_URL, url.constData());
            curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
            curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, FConnectTimeoutMs);
            curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, FTotalTimeoutMs);
            curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &AbortOnShutdown);
            curl_easy_setopt(h, CURLOPT_XFERINFODATA, static_cast<void*>(this));
            const CURLcode result = curl_easy_perform(h);
            if (Terminated()) {
                return false;
            }
            long status = 0;
            if (result != CURLE_OK || curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
                Log(site, "HTTP", false, HttpFailureReason(result, 0));
                continue;
            }
            if (std::find(std::begin(AcceptedStatusCodes), std::end(AcceptedStatusCodes), status) !=
                std::end(AcceptedStatusCodes)) {
                Log(site, "HTTP", true, QStringLiteral("HTTP status %1").arg(status));
                return true;
            }
            Log(site, "HTTP", false, HttpFailureReason(CURLE_OK, status));
        } catch (...) {
            // That site failed; the next one is tried.
            Log(site, "HTTP", false, QStringLiteral("internal error"));
        }
    }
    return false;
}

bool TMonitorThread::PingWebSites(const QStringList& Sites)
{
    for (const QString& site : Sites) {
        if (Terminated()) {
            return false;
        }
        try {
            // An entry without a host (not a URL) fails this part for that site.
            const QString host = QUrl(site, QUrl::StrictMode).host();
            if (host.isEmpty()) {
                Log(site, "ICMP", false, QStringLiteral("not a URL with a host"));
                continue;
            }
            TIPAddrList addresses;
            if (!ResolveHost(host, atIPv4, addresses) || addresses.empty()) {
                Log(site, "ICMP", false, QStringLiteral("name not resolved"));
                continue;
            }
            for (const TIPAddr& address : addresses) {
                if (Terminated()) {
                    return false;
                }
                if (address.SendEcho(EchoTimeOutMs)) {
                    Log(site, "ICMP", true, QStringLiteral("echo reply"));
                    return true;
                }
            }
            Log(site, "ICMP", false, QStringLiteral("no echo reply"));
        } catch (...) {
            Log(site, "ICMP", false, QStringLiteral("internal error"));
        }
    }
    return false;
}

} // namespace Ombrelay
