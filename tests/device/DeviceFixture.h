#pragma once

// A device under test: the simulated modem from a scenario, the manager over it and a real
// database file in a temporary folder.

#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/SmsStore.h"
#include "platform/sim/SimModem.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace Ombrelay
{

// One GSM interface per id, PDU mode, quick completions.
inline TSimScenario TestScenario(const QStringList& Ids = {QStringLiteral("sim0")}, int ReadBatch = 10,
                                 int Capacity = 100)
{
    TSimScenario s = TSimScenario::Default();
    s.DelayMs = 1;
    TSimInterfaceScenario base = s.Interfaces.first();
    s.Interfaces.clear();
    for (const QString& id : Ids) {
        TSimInterfaceScenario i = base;
        i.InterfaceID = id;
        i.ReadBatch = ReadBatch;
        i.Capacity = Capacity;
        s.Interfaces << i;
    }
    return s;
}

class TDeviceFixture
{
public:
    explicit TDeviceFixture(const TSimScenario& Scenario = TestScenario())
        : Modem(std::make_shared<TSimModem>(Scenario))
    {
        InitSmsTables();
    }
    ~TDeviceFixture()
    {
        Manager.reset();
        Modem.reset();
    }

    TMBManager& Start()
    {
        Manager = std::make_shared<TMBManager>(Modem);
        QObject::connect(Manager.get(), &TMBManager::ErrorOccurred,
                         [this](const QString& Message) { Errors << Message; });
        return *Manager;
    }

    // Runs the event loop until the modem has delivered every completion and event.
    bool Settle(int TimeoutMs = 10000)
    {
        QElapsedTimer t;
        t.start();
        int quiet = 0;
        while (t.elapsed() < TimeoutMs) {
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

    // One poll of every interface, and everything that follows from it.
    bool Tick()
    {
        Manager->TimerTick();
        return Settle();
    }

    TMBInterfaceItem* Item(const QString& Id = QStringLiteral("sim0")) const
    {
        return Manager->GetInterfaceList()->GetByID(Id);
    }

    int Count(const QString& Sql)
    {
        TSQLiteLock lock(Db.DB());
        Db.DB().FetchTable(Sql);
        return Db.DB().GetResultSet(1).toInt();
    }

    // The texts of the INCOMING rows, decoded, in row order.
    QStringList IncomingTexts()
    {
        QStringList r;
        TSQLiteLock lock(Db.DB());
        TSQLiteQuery q(Db.DB(), QStringLiteral("SELECT PDU FROM INCOMING ORDER BY ID"));
        while (Db.DB().Next()) {
            TSmsRecv recv;
            r << (recv.DecodePdu(Db.DB().GetFieldAsString(0)) ? recv.Text() : QStringLiteral("?"));
        }
        return r;
    }

    TTempDatabase Db;
    std::shared_ptr<TSimModem> Modem;
    std::shared_ptr<TMBManager> Manager;
    QStringList Errors;
};

} // namespace Ombrelay
