// Idle cost, two ways.
//
// 1. The background services in this process: with monitoring disabled, the usage thread and the
//    monitor thread together against two bare worker threads that wake every second.
// 2. The real program hidden in the notification area, monitor off, on an idle simulated modem,
//    against a bare Qt program that shows only a tray icon, both measured from /proc over the
//    same window: CPU time of all threads (schedstat, in nanoseconds) per minute and wake-ups
//    (voluntary and involuntary context switches of all threads) per second. Both run on their
//    own X server and session bus with a notification area (a StatusNotifierItem watcher).
//
//   bench_idle_cost [SERVICE_SECONDS [PROGRAM_SECONDS]]     (default 60 and 240)
//   bench_idle_cost --bare-tray                            (the baseline program itself)

#include "core/Common.h"
#include "core/DB.h"
#include "core/Monitor.h"
#include "core/Options.h"
#include "core/Usage.h"
// Qt's X11 header names a global Display, as the harness names a parameter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include "support/ProgramUnderTest.h"
#pragma GCC diagnostic pop

#include <QApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QPixmap>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

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

// CPU time and context switches of every thread of a process, by thread id.
struct TThreadCost
{
    qint64 CpuNs = 0;
    qint64 Switches = 0;
    QByteArray Name;
};
using TProcessCost = QHash<QString, TThreadCost>;

QByteArray ReadAll(const QString& Path)
{
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TProcessCost ReadCost(qint64 Pid)
{
    TProcessCost cost;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(Pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        TThreadCost c;
        // The first field of schedstat: time on the CPU in nanoseconds (stat's ticks are 10 ms).
        c.CpuNs =
            ReadAll(tasks + QLatin1Char('/') + tid + QStringLiteral("/schedstat")).split(' ').value(0).toLongLong();
        for (const QByteArray& line : ReadAll(tasks + QLatin1Char('/') + tid + QStringLiteral("/status")).split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:")) {
                c.Switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
            }
        }
        c.Name = ReadAll(tasks + QLatin1Char('/') + tid + QStringLiteral("/comm")).trimmed();
        cost.insert(tid, c);
    }
    return cost;
}

// Growth between two readings; a thread that came meanwhile counts from zero, one that ended is lost.
// Threads that woke are listed on Log, so that a figure that falls short says who woke.
TWindow Difference(const TProcessCost& Before, const TProcessCost& After, double Seconds, const char* Log)
{
    qint64 cpu = 0;
    qint64 switches = 0;
    for (auto it = After.cbegin(); it != After.cend(); ++it) {
        const TThreadCost base = Before.value(it.key());
        cpu += it->CpuNs - base.CpuNs;
        switches += it->Switches - base.Switches;
        if (it->Switches > base.Switches) {
            std::printf("idle_cost:   %s thread %s \"%s\": %lld wake-ups, %.2f ms CPU\n", Log, qPrintable(it.key()),
                        it->Name.constData(), static_cast<long long>(it->Switches - base.Switches),
                        double(it->CpuNs - base.CpuNs) / 1e6);
        }
    }
    return {double(cpu) / 1e6 * 60.0 / Seconds, double(switches) / Seconds};
}

// The ratio as text; "-" where the baseline measured nothing.
QByteArray Ratio(double Value, double Baseline)
{
    return Baseline > 0 ? QByteArray::number(Value / Baseline, 'f', 1) : QByteArray("-");
}

// The baseline: a Qt program with a tray icon and nothing else.
int BareTray(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QPixmap icon(32, 32);
    icon.fill(Qt::darkCyan);
    QSystemTrayIcon tray{QIcon(icon)};
    tray.setToolTip(QStringLiteral("bare"));
    tray.show();
    return app.exec();
}

void Skip(const char* Why)
{
    std::printf("idle_cost: the program's idle cost is not measured: %s\n", Why);
    std::printf("FIGURE idle_program_cpu_ms_per_min value=skipped baseline=- ratio=- goal=5 short\n");
    std::printf("FIGURE idle_program_wakeups_per_s value=skipped baseline=- ratio=- goal=0.2 short\n");
}

// The real program hidden in the tray against the bare tray program, measured side by side.
void MeasureProgram(int Seconds, const char* Self)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        return Skip("Xvfb is not installed (scripts/install-deps.sh)");
    }
    if (!QFile::exists(QStringLiteral("/proc/self/schedstat"))) {
        return Skip("this kernel has no schedstat in /proc");
    }
    QProcess xvfb;
    QProcess watcher;
    QString display;
    if (!StartXvfb(xvfb, display, 720)) {
        return Skip("no X server could be started");
    }
    if (!StartTrayWatcher(watcher)) {
        EndProcesses({&xvfb});
        return Skip("no StatusNotifierItem watcher could be started (python3-dbusmock)");
    }
    QTemporaryDir home;
    TProgram program(display, home, false);
    if (!program.Launch(
            {QStringLiteral("-hide"), QStringLiteral("--sim-state"), home.filePath(QStringLiteral("modem.json"))}) ||
        !WaitFor([&] { return program.Sim(QStringLiteral("interfaces")).startsWith(QStringLiteral("ok")); }, 20000)) {
        EndProcesses({&watcher, &xvfb});
        return Skip("the program did not start");
    }
    QProcess bare;
    bare.setProcessEnvironment(program.Env());
    bare.start(QString::fromLocal8Bit(Self), {QStringLiteral("--bare-tray")});
    bare.waitForStarted();
    const qint64 pid = program.Pid();
    // Start-up settles (the first device poll, the tray's registration, the usage thread's first
    // minute) before the window opens.
    QTest::qWait(75000);
    const bool hidden = program.Window(QStringLiteral("visible")) != QLatin1String("ok yes");
    const TProcessCost program0 = ReadCost(pid);
    const TProcessCost bare0 = ReadCost(bare.processId());
    QElapsedTimer timer;
    timer.start();
    // Only sleeps: this process's own event loop stays out of both programs' way.
    std::this_thread::sleep_for(std::chrono::seconds(Seconds));
    const double seconds = double(timer.elapsed()) / 1000.0;
    const TWindow p = Difference(program0, ReadCost(pid), seconds, "program");
    const TWindow b = Difference(bare0, ReadCost(bare.processId()), seconds, "bare tray");
    const bool running = program.Running() && bare.state() == QProcess::Running;
    program.Stop();
    EndProcesses({&bare, &watcher, &xvfb});
    if (!running || !hidden) {
        return Skip(!running ? "a program ended during the window" : "the window did not stay hidden");
    }
    std::printf("idle_cost: program hidden in the tray for %.0f s: %.2f ms CPU/min, %.3f wake-ups/s; "
                "bare tray program %.2f ms CPU/min, %.3f wake-ups/s\n",
                seconds, p.CpuMsPerMinute, p.WakeupsPerSecond, b.CpuMsPerMinute, b.WakeupsPerSecond);
    std::printf("FIGURE idle_program_cpu_ms_per_min value=%.2f baseline=%.2f ratio=%s goal=5 %s\n", p.CpuMsPerMinute,
                b.CpuMsPerMinute, Ratio(p.CpuMsPerMinute, b.CpuMsPerMinute).constData(),
                p.CpuMsPerMinute < 5.0 ? "pass" : "short");
    std::printf("FIGURE idle_program_wakeups_per_s value=%.3f baseline=%.3f ratio=%s goal=0.2 %s\n", p.WakeupsPerSecond,
                b.WakeupsPerSecond, Ratio(p.WakeupsPerSecond, b.WakeupsPerSecond).constData(),
                p.WakeupsPerSecond < 0.2 ? "pass" : "short");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--bare-tray") {
        return BareTray(argc, argv);
    }
    // The program is measured on a session bus of its own: run again inside one.
    if (qEnvironmentVariableIsEmpty("OMBRELAY_IDLE_BUS")) {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty()) {
            std::printf("idle_cost: dbus-run-session is missing (package dbus)\n");
        } else {
            qputenv("OMBRELAY_IDLE_BUS", "1");
            std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
            for (int i = 0; i < argc; ++i) {
                args.push_back(argv[i]);
            }
            args.push_back(nullptr);
            std::fflush(stdout);
            execvp("dbus-run-session", args.data());
            std::perror("idle_cost: dbus-run-session");
            return 1;
        }
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    const int programSeconds = argc > 2 ? std::max(10, std::atoi(argv[2])) : 240;

    {
        QTemporaryDir data;
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
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
        qputenv("XDG_DATA_HOME", oldData);

        const double goal = 20.0;
        const double ratio = baseline.CpuMsPerMinute > 0 ? services.CpuMsPerMinute / baseline.CpuMsPerMinute : 0.0;
        std::printf("idle_cost: %d s windows; services %.2f wake-ups/s, bare threads %.2f wake-ups/s\n", seconds,
                    services.WakeupsPerSecond, baseline.WakeupsPerSecond);
        std::printf("FIGURE idle_cpu_ms_per_min value=%.2f baseline=%.2f ratio=%.2f goal=%.0f %s\n",
                    services.CpuMsPerMinute, baseline.CpuMsPerMinute, ratio, goal,
                    services.CpuMsPerMinute <= goal ? "pass" : "short");
        std::printf("FIGURE idle_wakeups_per_s value=%.2f baseline=%.2f ratio=%.2f goal=- %s\n",
                    services.WakeupsPerSecond, baseline.WakeupsPerSecond,
                    baseline.WakeupsPerSecond > 0 ? services.WakeupsPerSecond / baseline.WakeupsPerSecond : 0.0,
                    "pass");
    }
    MeasureProgram(programSeconds, argv[0]);
    return 0;
}
