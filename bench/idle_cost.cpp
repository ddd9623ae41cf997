// Idle cost of the background services: with monitoring disabled, the usage thread and the
// monitor thread together should use at most 20 ms of CPU per minute.
//
// Two windows of the same length, one after the other in this process: the baseline runs two
// bare worker threads that wake every second and do nothing; the measured window runs the
// real usage thread (on this machine's /sys/class/net) and the monitor thread (reading
// disabled settings from the options). The figure is the process CPU time per minute.
//
//   bench_idle_cost [SECONDS]     (default 60)

#include "core/Common.h"
#include "core/DB.h"
#include "core/Monitor.h"
#include "core/Options.h"
#include "core/Usage.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace Ombrelay;

namespace
{

class TIdleThread : public TWaitableThread
{
public:
    ~TIdleThread() override { StopAndWait(); }

protected:
    void Execute() override
    {
        while (!Terminated()) {
            if (!WaitForShutdown(1000)) {
                break;
            }
        }
    }
};

struct TWindow
{
    double CpuMsPerMinute;
    double WakeupsPerSecond;
};

double ProcessCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

long ContextSwitches()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_nvcsw + ru.ru_nivcsw;
}

// Measures the process while Start's threads run for Seconds; the main thread only sleeps.
template <class Start>
TWindow Measure(int Seconds, Start StartThreads)
{
    auto threads = StartThreads();
    // Let start-up settle before the window opens.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double cpu0 = ProcessCpuMs();
    const long switches0 = ContextSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(Seconds));
    const double cpu = ProcessCpuMs() - cpu0;
    const long switches = ContextSwitches() - switches0;
    threads.reset();
    return {cpu * 60.0 / Seconds, static_cast<double>(switches) / Seconds};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;

    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    std::unique_ptr<TDatabase> database = TDatabase::Create();
    Database = database.get();
    TOptions options;
    options.LoadOptions(); // the defaults: monitoring off
    Options = &options;

    struct TPair
    {
        std::unique_ptr<TWaitableThread> A;
        std::unique_ptr<TWaitableThread> B;
    };

    const TWindow baseline = Measure(seconds, [] {
        auto pair = std::make_unique<TPair>();
        pair->A = std::make_unique<TIdleThread>();
        pair->B = std::make_unique<TIdleThread>();
        pair->A->start();
        pair->B->start();
        return pair;
    });
    const TWindow services = Measure(seconds, [] {
        auto pair = std::make_unique<TPair>();
        pair->A = std::make_unique<TUsageThread>();
        pair->B = std::make_unique<TMonitorThread>();
        pair->A->start();
        pair->B->start();
        return pair;
    });

    Options = nullptr;
    Database = nullptr;
    database.reset();

    const double goal = 20.0;
    const double ratio = baseline.CpuMsPerMinute > 0 ? services.CpuMsPerMinute / baseline.CpuMsPerMinute : 0.0;
    std::printf("idle_cost: %d s windows; services %.1f wake-ups/s, bare threads %.1f wake-ups/s\n", seconds,
                services.WakeupsPerSecond, baseline.WakeupsPerSecond);
    std::printf("FIGURE idle_cpu_ms_per_min value=%.2f baseline=%.2f ratio=%.2f goal=%.0f %s\n",
                services.CpuMsPerMinute, baseline.CpuMsPerMinute, ratio, goal,
                services.CpuMsPerMinute <= goal ? "pass" : "short");
    std::printf("FIGURE idle_wakeups_per_s value=%.2f baseline=%.2f ratio=%.2f goal=- %s\n", services.WakeupsPerSecond,
                baseline.WakeupsPerSecond,
                baseline.WakeupsPerSecond > 0 ? services.WakeupsPerSecond / baseline.WakeupsPerSecond : 0.0, "pass");
    return 0;
}
