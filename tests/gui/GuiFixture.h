#pragma once

// The main window on the simulated modem: a temporary database, the settings, the modem from a
// scenario and the manager over it, created the way the program creates them.

#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/Options.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"
#include "platform/sim/SimModem.h"
#include "platform/sim/SimScenario.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace Ombrelay
{

// One GSM interface per id with the given profiles (the default's two when none are given).
inline TSimScenario GuiScenario(const QStringList& Ids = {QStringLiteral("sim0")},
                                const QStringList& Profiles = QStringList())
{
    TSimScenario scenario = TSimScenario::Default();
    scenario.DelayMs = 1;
    TSimInterfaceScenario base = scenario.Interfaces.first();
    scenario.Interfaces.clear();
    for (const QString& id : Ids) {
        TSimInterfaceScenario interface = base;
        interface.InterfaceID = id;
        interface.Capacity = 100;
        if (!Profiles.isEmpty() || Ids.isEmpty()) {
            interface.Profiles = Profiles;
        }
        scenario.Interfaces << interface;
    }
    return scenario;
}

class TGuiFixture
{
public:
    explicit TGuiFixture(const TSimScenario& Scenario = GuiScenario())
        : Modem(std::make_shared<TSimModem>(Scenario))
    {
        InitSmsTables();
        Options = &Opts;
        TMessageBox::SetAutoAnswer(QMessageBox::Ok);
        TMessageBox::ClearShown();
    }
    ~TGuiFixture()
    {
        View.reset();
        Manager.reset();
        Modem.reset();
        Options = nullptr;
        TfmMainView::SetDialogRunner({});
        TfmMainView::SetTrayAvailableOverride(std::nullopt);
    }
    TGuiFixture(const TGuiFixture&) = delete;
    TGuiFixture& operator=(const TGuiFixture&) = delete;

    // Creates the main window as the program does and lets the modem answer what it asked.
    TfmMainView& Open()
    {
        View = std::make_unique<TfmMainView>([this] {
            Manager = std::make_shared<TMBManager>(Modem);
            return Manager;
        });
        View->SetUsageQuery([this] {
            ++UsageCalls;
            return Usage;
        });
        Settle();
        return *View;
    }

    // Runs the event loop until the modem has delivered every completion and event.
    bool Settle(int TimeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        int quiet = 0;
        while (timer.elapsed() < TimeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (Modem->PendingEvents() == 0) {
                if (++quiet > 3) {
                    return true;
                }
                QTest::qWait(2);
            } else {
                quiet = 0;
                QTest::qWait(1);
            }
        }
        return false;
    }

    // One poll of the device, as the manager's timer does it.
    bool Poll()
    {
        Manager->TimerTick();
        return Settle();
    }

    QString Config(const QString& Name)
    {
        TSQLiteLock lock(Db.DB());
        Db.DB().FetchTable(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = '%1'").arg(Name));
        return Db.DB().GetResultSet(1);
    }

    int Count(const QString& Sql)
    {
        TSQLiteLock lock(Db.DB());
        Db.DB().FetchTable(Sql);
        return Db.DB().GetResultSet(1).toInt();
    }

    TTempDatabase Db;
    TOptions Opts;
    std::shared_ptr<TSimModem> Modem;
    std::shared_ptr<TMBManager> Manager;
    std::unique_ptr<TfmMainView> View;
    TfmMainView::TUsageFigures Usage;
    int UsageCalls = 0;
};

} // namespace Ombrelay
