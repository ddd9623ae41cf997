// The simulated modem with a state file under a flood: 20,000 messages delivered (each flushed
// to the disk before its answer), then read and deleted one by one, as the program clears a
// device. Against the same count of bare flushed appends of a line of the same size, the least
// any delivery that is on the disk before its answer can cost. The state must cost what each
// change writes: the ratio stays the same whatever the count.
//   bench_sim_state [MESSAGES]   (default 20000)

#include "platform/sim/SimModem.h"
#include "sms/SMS.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Ombrelay;

namespace
{

constexpr double kGoal = 3;
const QString kInterface = QStringLiteral("sim0");

// Seconds for Count appends of Line, each flushed before the next.
double BareAppends(const QString& Folder, const QByteArray& Line, int Count)
{
    const QByteArray name = QFile::encodeName(QDir(Folder).filePath(QStringLiteral("bare.log")));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("bare.log");
        std::exit(1);
    }
    QElapsedTimer t;
    t.start();
    for (int n = 0; n < Count; ++n) {
        if (::write(fd, Line.constData(), size_t(Line.size())) != Line.size() || ::fdatasync(fd) != 0) {
            std::perror("bare.log");
            std::exit(1);
        }
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    ::close(fd);
    return seconds;
}

struct TFlood
{
    double Deliver = 0;
    double Clear = 0;
};

TFlood Flood(const QString& Folder, const QStringList& Pdus)
{
    TSimScenario s = TSimScenario::Default();
    s.DelayMs = 0;
    s.Interfaces[0].Pdus.clear();
    s.Interfaces[0].Messages.clear();
    s.Interfaces[0].Capacity = int(Pdus.size());
    s.Interfaces[0].ReadBatch = 50;
    TSimModem modem(s, QDir(Folder).filePath(QStringLiteral("modem.json")));

    TFlood r;
    QElapsedTimer t;
    t.start();
    for (const QString& pdu : Pdus) {
        modem.DeliverPdu(kInterface, pdu);
    }
    r.Deliver = t.nsecsElapsed() / 1e9;

    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnSms> sms;
    if (MbnFailed(modem.GetInterface(kInterface, i)) || MbnFailed(i->GetSms(sms))) {
        std::fprintf(stderr, "no SMS interface\n");
        std::exit(1);
    }
    QObject::connect(&modem, &TSimModem::SmsReadComplete,
                     [&](const QString&, const QList<TMbnSmsPdu>& Batch, bool, quint32, qint32) {
                         for (const TMbnSmsPdu& m : Batch) {
                             TMbnRequestId id = 0;
                             sms->SmsDeleteIndex(m.Index, id);
                         }
                     });
    t.restart();
    TMbnRequestId id = 0;
    sms->SmsRead(id);
    while (modem.StoredCount(kInterface) > 0 || modem.PendingEvents() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    r.Clear = t.nsecsElapsed() / 1e9;
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: bench_sim_state [MESSAGES]\n");
        return 2;
    }
    QStringList pdus;
    const QDateTime stamp = QDateTime::currentDateTime();
    for (int n = 0; n < count; ++n) {
        pdus << BuildDeliverPdus(QStringLiteral("+49170%1").arg(1000 + n % 97), stamp,
                                 QStringLiteral("flood message %1").arg(n));
    }
    // Beside the build, not in a memory-backed /tmp: flushing must reach a disk.
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-sim-state-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const TFlood flood = Flood(dir.path(), pdus);
    // A journal line is about the PDU and 40 bytes around it.
    const QByteArray line = pdus.first().toUtf8() + QByteArray(40, 'x') + '\n';
    const double baseline = BareAppends(dir.path(), line, count);
    const double value = flood.Deliver + flood.Clear;
    const double ratio = value / baseline;
    std::fprintf(stderr,
                 "sim_state: %d messages: delivered in %.2f s, read and deleted in %.2f s; %d bare appends %.2f s\n",
                 count, flood.Deliver, flood.Clear, count, baseline);
    std::printf("FIGURE sim_state_flood_%d_s value=%.2f baseline=%.2f ratio=%.2f goal=%.0f %s\n", count, value,
                baseline, ratio, kGoal, ratio <= kGoal ? "pass" : "short");
    return 0;
}
