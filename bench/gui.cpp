// The SMS tab of the main window with 100,000 messages in the inbox, on the offscreen platform:
//  - opening the tab (the first folder is selected, the list takes its rows, the window is
//    repainted), and
//  - the refresh after a new message (the device is polled, the message stored, filed and
//    announced, the list refreshed and repainted),
// each against a bare table view over a trivial model of the same size that is reset and
// repainted in the same window.

#include "core/DB.h"
#include "core/MBManager.h"
#include "core/Options.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"
#include "platform/sim/SimModem.h"
#include "sms/SMS.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QListWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Ombrelay;

namespace
{

constexpr int kMessages = 100000;
constexpr int kRuns = 7;
constexpr double kGoalMs = 50.0;

class TTrivialModel : public QAbstractTableModel
{
public:
    int Rows = kMessages;
    void Reset()
    {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& Parent = QModelIndex()) const override { return Parent.isValid() ? 0 : Rows; }
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override { return Parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& Index, int Role) const override
    {
        if (Role != Qt::DisplayRole) {
            return QVariant();
        }
        return QStringLiteral("row %1 column %2").arg(Index.row()).arg(Index.column());
    }
};

void Fill(TDatabase& DB)
{
    QStringList pdus;
    for (int i = 0; i < 50; ++i) {
        pdus << BuildDeliverPdus(QStringLiteral("+49170%1").arg(1000000 + i), QDateTime(),
                                 QStringLiteral("Message number %1 of the benchmark, plain text.").arg(i))
                    .front();
    }
    TSQLiteLock lock(DB);
    TSQLiteTransaction transaction(DB);
    {
        TSQLiteQuery query(DB, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (?, ?, ?)"));
        for (int i = 0; i < kMessages; ++i) {
            DB.SetParamAsDateTime(1, 46000.0 + i * 60 / kSecondsPerDay);
            DB.SetParamAsBool(2, i % 3 == 0);
            DB.SetParamAsString(3, pdus[i % pdus.size()]);
            DB.Exec();
        }
    }
    transaction.Commit();
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

void Figure(const char* Name, double Value, double Baseline)
{
    std::printf("FIGURE %s value=%.2f baseline=%.2f ratio=%.2f goal=%.0f %s\n", Name, Value, Baseline, Value / Baseline,
                kGoalMs, Value <= kGoalMs ? "pass" : "short");
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
    Fill(*db);

    TSimScenario scenario = TSimScenario::Default();
    scenario.DelayMs = 0;
    scenario.Interfaces[0].Capacity = 1000;
    auto modem = std::make_shared<TSimModem>(scenario);
    std::shared_ptr<TMBManager> manager;
    auto view = std::make_unique<TfmMainView>([&] {
        manager = std::make_shared<TMBManager>(modem);
        return manager;
    });
    view->resize(800, 600);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) {
        std::fprintf(stderr, "bench_gui: the window was not shown\n");
        return 1;
    }
    QTest::qWait(50);

    auto* lvSmsType = view->findChild<QListWidget*>(QStringLiteral("lvSmsType"));
    auto* lvMessages = view->findChild<QTableView*>(QStringLiteral("lvMessages"));
    if (!lvSmsType || !lvMessages) {
        std::fprintf(stderr, "bench_gui: the messages page has no lvSmsType or lvMessages\n");
        return 1;
    }

    // Opening the SMS tab with nothing selected in it, as at its first activation.
    std::vector<double> open;
    for (int run = 0; run < kRuns; ++run) {
        view->pcMain->setCurrentWidget(view->tsInfo);
        lvSmsType->clearSelection();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        view->pcMain->setCurrentWidget(view->tsMessages);
        view->repaint();
        open.push_back(timer.nsecsElapsed() / 1e6);
        if (lvMessages->model()->rowCount() < kMessages) {
            std::fprintf(stderr, "bench_gui: the list shows %d rows\n", lvMessages->model()->rowCount());
            return 1;
        }
    }
    lvMessages->selectRow(0);

    // A new message: from the poll to the repainted list with one row more.
    std::vector<double> refresh;
    for (int run = 0; run < kRuns; ++run) {
        const int before = lvMessages->model()->rowCount();
        modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917099"), QStringLiteral("New message %1").arg(run));
        QElapsedTimer timer;
        timer.start();
        manager->TimerTick();
        while (lvMessages->model()->rowCount() == before && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        view->repaint();
        refresh.push_back(timer.nsecsElapsed() / 1e6);
        // Let the device clear its store before the next run.
        QTest::qWait(20);
    }

    // The baseline: a bare table view of the same size and rows, reset and repainted.
    std::vector<double> bare;
    {
        QTableView table;
        TTrivialModel model;
        table.setModel(&model);
        table.verticalHeader()->hide();
        table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table.resize(lvMessages->size());
        table.show();
        if (!QTest::qWaitForWindowExposed(&table)) {
            return 1;
        }
        for (int run = 0; run < kRuns; ++run) {
            QElapsedTimer timer;
            timer.start();
            ++model.Rows;
            model.Reset();
            table.repaint();
            bare.push_back(timer.nsecsElapsed() / 1e6);
        }
    }

    Figure("gui_sms_tab_open_100k_ms", Median(open), Median(bare));
    Figure("gui_sms_refresh_new_message_100k_ms", Median(refresh), Median(bare));
    view.reset();
    manager.reset();
    Options = nullptr;
    Database = nullptr;
    return 0;
}
