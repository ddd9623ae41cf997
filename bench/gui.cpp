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
    QStringList Pdus;
    for (int I = 0; I < 50; ++I) {
        Pdus << BuildDeliverPdus(QStringLiteral("+49170%1").arg(1000000 + I), QDateTime(),
                                 QStringLiteral("Message number %1 of the benchmark, plain text.").arg(I))
                    .front();
    }
    TSQLiteLock Lock(DB);
    TSQLiteTransaction Transaction(DB);
    {
        TSQLiteQuery Query(DB, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (?, ?, ?)"));
        for (int I = 0; I < kMessages; ++I) {
            DB.SetParamAsDateTime(1, 46000.0 + I * 60 / kSecondsPerDay);
            DB.SetParamAsBool(2, I % 3 == 0);
            DB.SetParamAsString(3, Pdus[I % Pdus.size()]);
            DB.Exec();
        }
    }
    Transaction.Commit();
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
    QApplication App(argc, argv);
    QTemporaryDir Dir;
    qputenv("XDG_DATA_HOME", Dir.path().toLocal8Bit());
    InitSmsTables();
    std::unique_ptr<TDatabase> DB = TDatabase::Create();
    Database = DB.get();
    TOptions Opts;
    Options = &Opts;
    TMessageBox::SetAutoAnswer(QMessageBox::Ok);
    Fill(*DB);

    TSimScenario Scenario = TSimScenario::Default();
    Scenario.DelayMs = 0;
    Scenario.Interfaces[0].Capacity = 1000;
    auto Modem = std::make_shared<TSimModem>(Scenario);
    std::shared_ptr<TMBManager> Manager;
    auto View = std::make_unique<TfmMainView>([&] {
        Manager = std::make_shared<TMBManager>(Modem);
        return Manager;
    });
    View->resize(800, 600);
    View->show();
    if (!QTest::qWaitForWindowExposed(View.get())) {
        std::fprintf(stderr, "bench_gui: the window was not shown\n");
        return 1;
    }
    QTest::qWait(50);

    auto* lvSmsType = View->findChild<QListWidget*>(QStringLiteral("lvSmsType"));
    auto* lvMessages = View->findChild<QTableView*>(QStringLiteral("lvMessages"));
    if (!lvSmsType || !lvMessages) {
        std::fprintf(stderr, "bench_gui: the messages page has no lvSmsType or lvMessages\n");
        return 1;
    }

    // Opening the SMS tab with nothing selected in it, as at its first activation.
    std::vector<double> Open;
    for (int Run = 0; Run < kRuns; ++Run) {
        View->pcMain->setCurrentWidget(View->tsInfo);
        lvSmsType->clearSelection();
        QCoreApplication::processEvents();
        QElapsedTimer Timer;
        Timer.start();
        View->pcMain->setCurrentWidget(View->tsMessages);
        View->repaint();
        Open.push_back(Timer.nsecsElapsed() / 1e6);
        if (lvMessages->model()->rowCount() < kMessages) {
            std::fprintf(stderr, "bench_gui: the list shows %d rows\n", lvMessages->model()->rowCount());
            return 1;
        }
    }
    lvMessages->selectRow(0);

    // A new message: from the poll to the repainted list with one row more.
    std::vector<double> Refresh;
    for (int Run = 0; Run < kRuns; ++Run) {
        const int Before = lvMessages->model()->rowCount();
        Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917099"), QStringLiteral("New message %1").arg(Run));
        QElapsedTimer Timer;
        Timer.start();
        Manager->TimerTick();
        while (lvMessages->model()->rowCount() == Before && Timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        View->repaint();
        Refresh.push_back(Timer.nsecsElapsed() / 1e6);
        // Let the device clear its store before the next run.
        QTest::qWait(20);
    }

    // The baseline: a bare table view of the same size and rows, reset and repainted.
    std::vector<double> Bare;
    {
        QTableView Table;
        TTrivialModel Model;
        Table.setModel(&Model);
        Table.verticalHeader()->hide();
        Table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        Table.resize(lvMessages->size());
        Table.show();
        if (!QTest::qWaitForWindowExposed(&Table)) {
            return 1;
        }
        for (int Run = 0; Run < kRuns; ++Run) {
            QElapsedTimer Timer;
            Timer.start();
            ++Model.Rows;
            Model.Reset();
            Table.repaint();
            Bare.push_back(Timer.nsecsElapsed() / 1e6);
        }
    }

    Figure("gui_sms_tab_open_100k_ms", Median(Open), Median(Bare));
    Figure("gui_sms_refresh_new_message_100k_ms", Median(Refresh), Median(Bare));
    View.reset();
    Manager.reset();
    Options = nullptr;
    Database = nullptr;
    return 0;
}
