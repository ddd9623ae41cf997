// The main window over the store of a heavy user (bench/sms_million.h: 1,000,000 INCOMING and
// 200,000 OUTGOING rows from three modems), on the offscreen platform:
//  - from the window's construction to the SMS tab showing the newest messages of the first
//    modem, against stepping that modem's rows through the access layer,
//  - one new message delivered to the simulated modem until the list shows it, and
//  - a burst of 1,000 new messages: the longest time the event loop did not run while they
//    were read, stored and shown.
// The file is written the way an older program left it and opened once before the figures
// (the first opening may bring its rows up to date).

#include "core/DB.h"
#include "core/MBManager.h"
#include "core/Options.h"
#include "core/SmsStore.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"
#include "platform/sim/SimModem.h"
#include "sms_million.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Ombrelay;

namespace
{

constexpr int kIncoming = 1000000;
constexpr int kOutgoing = 200000;
constexpr int kBurst = 1000;

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

void Figure(const char* Name, double Value, double Baseline, double Goal)
{
    std::printf("FIGURE %s value=%.2f baseline=%.2f ratio=%.2f goal=%.0f %s\n", Name, Value, Baseline,
                Baseline > 0 ? Value / Baseline : 0.0, Goal, Value < Goal ? "pass" : "short");
}

double StepMs(TDatabase& DB)
{
    QElapsedTimer timer;
    timer.start();
    qint64 sum = 0;
    for (const auto& [table, flag] : {std::pair{"INCOMING", "SEEN"}, std::pair{"OUTGOING", "SENT"}}) {
        TSQLiteLock lock(DB);
        TSQLiteQuery q(DB, QStringLiteral("SELECT ID, DATE, %2, PDU FROM %1 WHERE DEVICE = ? OR DEVICE IS NULL")
                               .arg(QLatin1String(table), QLatin1String(flag)));
        DB.SetParamAsString(1, Bench::MainDevice());
        while (DB.Next()) {
            sum += DB.GetFieldAsInt64(0) + qint64(DB.GetFieldAsDateTime(1)) + DB.GetFieldAsBool(2) +
                   DB.GetFieldAsString(3).size();
        }
    }
    if (sum == 42) {
        std::puts("");
    }
    return timer.nsecsElapsed() / 1e6;
}

struct TWindow
{
    std::shared_ptr<TSimModem> Modem;
    std::shared_ptr<TMBManager> Manager;
    std::unique_ptr<TfmMainView> View;
    QTableView* List = nullptr;

    ~TWindow()
    {
        View.reset();
        Manager.reset();
    }
};

// Builds the window on a simulated modem and waits until the SMS tab shows the inbox.
std::unique_ptr<TWindow> Open()
{
    TSimScenario scenario = TSimScenario::Default();
    scenario.DelayMs = 0;
    scenario.Interfaces[0].Capacity = 2 * kBurst;
    auto w = std::make_unique<TWindow>();
    w->Modem = std::make_shared<TSimModem>(scenario);
    w->View = std::make_unique<TfmMainView>([&] {
        w->Manager = std::make_shared<TMBManager>(w->Modem);
        return w->Manager;
    });
    w->View->resize(800, 600);
    w->View->show();
    w->View->pcMain->setCurrentWidget(w->View->tsMessages);
    w->List = w->View->findChild<QTableView*>(QStringLiteral("lvMessages"));
    QElapsedTimer timer;
    timer.start();
    while (w->List->model()->rowCount() == 0 && timer.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    w->View->repaint();
    return w;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    InitSmsTables();
    std::unique_ptr<TDatabase> db = TDatabase::Create();
    Database = db.get();
    TOptions opts;
    Options = &opts;
    TMessageBox::SetAutoAnswer(QMessageBox::Ok);
    Bench::FillLarge(*db, kIncoming, kOutgoing);

    QElapsedTimer timer;
    // The file opened as at a start: the first open of the day checks it whole, later ones do not.
    std::vector<double> opens;
    for (int run = 0; run < 3; ++run) {
        Database = nullptr;
        db.reset();
        timer.restart();
        db = TDatabase::Create();
        opens.push_back(timer.nsecsElapsed() / 1e6);
        Database = db.get();
    }
    std::fprintf(stderr, "bench_gui_scale: database opened in %.0f ms (checked) and %.0f, %.0f ms\n", opens[0],
                 opens[1], opens[2]);

    timer.restart();
    Open();
    std::fprintf(stderr, "bench_gui_scale: first opening of the older file %.2f s\n", timer.nsecsElapsed() / 1e9);

    std::vector<double> step;
    std::vector<double> start;
    for (int run = 0; run < 3; ++run) {
        step.push_back(StepMs(*db));
        timer.restart();
        auto w = Open();
        start.push_back(timer.nsecsElapsed() / 1e6);
        if (w->List->model()->rowCount() < kIncoming / 2) {
            std::fprintf(stderr, "bench_gui_scale: the list shows %d rows\n", w->List->model()->rowCount());
            return 1;
        }
    }

    auto w = Open();
    w->List->selectRow(0);
    // One new message: from the poll to the repainted list with one row more.
    std::vector<double> arrival;
    for (int run = 0; run < 7; ++run) {
        const int before = w->List->model()->rowCount();
        w->Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917099"),
                          QStringLiteral("New message %1").arg(run));
        timer.restart();
        w->Manager->TimerTick();
        while (w->List->model()->rowCount() == before && timer.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        w->View->repaint();
        arrival.push_back(timer.nsecsElapsed() / 1e6);
        QTest::qWait(20);
    }

    // The burst: the longest stretch between two turns of the event loop until all are shown.
    for (int i = 0; i < kBurst; ++i) {
        w->Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+49170%1").arg(1000 + i % 50),
                          QStringLiteral("Burst message %1").arg(i));
    }
    const int before = w->List->model()->rowCount();
    double longest = 0;
    QElapsedTimer gap;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.nsecsElapsed() / 1e6);
        gap.restart();
    });
    timer.restart();
    gap.start();
    probe.start();
    w->Manager->TimerTick();
    while (w->List->model()->rowCount() < before + kBurst && timer.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    probe.stop();
    std::fprintf(stderr, "bench_gui_scale: %d of %d burst messages shown in %.2f s\n",
                 w->List->model()->rowCount() - before, kBurst, timer.nsecsElapsed() / 1e9);

    const double baseline = Median(step);
    Figure("gui_1m_start_to_sms_tab_ms", Median(start), baseline, 1000);
    // Against the structural check that every open used to run.
    Figure("gui_1m_database_open_ms", std::min(opens[1], opens[2]), opens[0], 1000);
    Figure("gui_1m_new_message_ms", Median(arrival), baseline, 50);
    Figure("gui_1m_burst_1000_longest_block_ms", longest, baseline, 100);
    w.reset();
    Options = nullptr;
    Database = nullptr;
    return 0;
}
