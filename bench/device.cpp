// A device holding 1,000 messages, read in batches of 50: every PDU stored in INCOMING, filed
// into the inbox (a fifth of them parts of two-part messages) and cleared from the device,
// against bare INSERTs of the same rows through the access layer in one transaction.

#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/SmsStore.h"
#include "platform/sim/SimModem.h"
#include "sms/SMS.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Ombrelay;

namespace
{

constexpr int kMessages = 1000;
constexpr int kRuns = 5;
constexpr double kGoal = 20000;

QStringList MakePdus(int Run)
{
    QStringList pdus;
    const QDateTime stamp = QDateTime::currentDateTime();
    int n = 0;
    while (pdus.size() < kMessages) {
        const QString sender = QStringLiteral("+49170%1").arg(1000 + n % 97);
        if (n % 8 == 0 && pdus.size() + 2 <= kMessages) {
            pdus << BuildDeliverPdus(sender, stamp,
                                     QStringLiteral("run %1 long %2 ").arg(Run).arg(n) +
                                         QString(150, QLatin1Char('x')));
        } else {
            pdus << BuildDeliverPdus(sender, stamp, QStringLiteral("run %1 message %2").arg(Run).arg(n));
        }
        ++n;
    }
    return pdus;
}

struct TRun
{
    double Device = 0;   // PDUs per second: read, stored, filed, cleared
    double Baseline = 0; // rows per second: bare INSERTs
};

TRun RunOnce(int Run)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    std::unique_ptr<TDatabase> db = TDatabase::Create();
    Database = db.get();
    const QStringList pdus = MakePdus(Run);

    TRun r;
    {
        TSimScenario s = TSimScenario::Default();
        s.DelayMs = 0;
        s.Interfaces[0].Capacity = kMessages;
        s.Interfaces[0].ReadBatch = 50;
        auto modem = std::make_shared<TSimModem>(s);
        for (const QString& pdu : pdus) {
            modem->DeliverPdu(QStringLiteral("sim0"), pdu);
        }
        QCoreApplication::processEvents();
        TMBManager manager(modem);
        QElapsedTimer t;
        t.start();
        manager.TimerTick();
        while (modem->StoredCount(QStringLiteral("sim0")) > 0 || modem->PendingEvents() > 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        const double seconds = t.nsecsElapsed() / 1e9;
        r.Device = kMessages / seconds;
        TSQLiteLock lock(*db);
        db->FetchTable(QStringLiteral("SELECT COUNT(*) FROM INCOMING"));
        if (db->GetResultSet(1).toInt() != kMessages) {
            std::fprintf(stderr, "bench_device: %s rows stored instead of %d\n", qPrintable(db->GetResultSet(1)),
                         kMessages);
            r.Device = 0;
        }
    }
    {
        TSQLiteLock lock(*db);
        QElapsedTimer t;
        t.start();
        TSQLiteTransaction transaction(*db);
        {
            TSQLiteQuery q(*db, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (:DATE, :SEEN, :PDU)"));
            for (const QString& pdu : pdus) {
                db->SetParamByNameAsDateTime(QStringLiteral("DATE"), Clock::Now());
                db->SetParamByNameAsBool(QStringLiteral("SEEN"), false);
                db->SetParamByNameAsString(QStringLiteral("PDU"), pdu);
                db->Exec();
            }
        }
        transaction.Commit();
        r.Baseline = kMessages / (t.nsecsElapsed() / 1e9);
    }
    Database = nullptr;
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    InitSmsTables();
    std::vector<TRun> runs;
    for (int i = 0; i < kRuns; ++i) {
        runs.push_back(RunOnce(i));
    }
    // The median of each, so that one slow run does not decide.
    std::vector<double> device, baseline;
    for (const TRun& r : runs) {
        device.push_back(r.Device);
        baseline.push_back(r.Baseline);
    }
    std::sort(device.begin(), device.end());
    std::sort(baseline.begin(), baseline.end());
    const double value = device[kRuns / 2];
    const double base = baseline[kRuns / 2];
    std::printf("FIGURE device_read_store_clear_pdus_per_s value=%.0f baseline=%.0f ratio=%.3f goal=%.0f %s\n", value,
                base, value / base, kGoal, value >= kGoal ? "pass" : "short");
    return 0;
}
