// The message store of a heavy user: 1,000,000 INCOMING rows and 200,000 OUTGOING rows from
// three modems (bench/sms_million.h). Figures for the first modem's inbox and outbox:
//  - opening both lists and reading the newest screenful of messages and the unread count,
//  - the resident memory of a process that did so,
//  - a page of 200 messages at the oldest end, read on demand after the opening,
//  - every message of both lists read in turn, against stepping the same rows through the
//    access layer,
//  - one new message stored, filed and counted.
// The file is written the way an older program left it; the first opening (which may bring its
// rows up to date) is timed apart and not counted in the figures.

#include "core/DB.h"
#include "core/SmsStore.h"
#include "sms_million.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Ombrelay;

namespace
{

constexpr int kIncoming = 1000000;
constexpr int kOutgoing = 200000;
constexpr int kScreen = 40;
constexpr int kPage = 200;

double ResidentMB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
        }
    }
    return 0;
}

void Figure(const char* Name, double Value, double Baseline, double Goal, bool Pass)
{
    std::printf("FIGURE %s value=%.3f baseline=%.3f ratio=%.2f goal=%g %s\n", Name, Value, Baseline,
                Baseline > 0 ? Value / Baseline : 0.0, Goal, Pass ? "pass" : "short");
}

// The baseline: every row of the first modem in both tables read through the access layer,
// nothing kept.
double Step(TDatabase& DB)
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
            sum += DB.GetFieldAsInt64(0);
            sum += qint64(DB.GetFieldAsDateTime(1));
            sum += DB.GetFieldAsBool(2);
            sum += DB.GetFieldAsString(3).size();
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (sum == 42) {
        std::puts("");
    }
    return seconds;
}

// What the window needs to show the newest messages: both lists opened, the newest screenful
// read and the unread count.
qint64 Open(TSmsIncomingList& Inbox, TSmsOutgoingList& Outbox)
{
    Inbox.LoadMessages();
    Outbox.LoadMessages();
    qint64 sum = Inbox.UnreadCount();
    for (int i = 0; i < std::min(kScreen, Inbox.Count()); ++i) {
        sum += Inbox.Items(i)->DisplayText().size();
    }
    return sum;
}

// Child process: opens the lists as the window does and prints the resident memory.
int MeasureMemory(const QString& Path)
{
    InitSmsTables();
    auto db = TDatabase::Create(Path);
    Database = db.get();
    TSmsIncomingList inbox(Bench::MainDevice());
    TSmsOutgoingList outbox(Bench::MainDevice());
    Open(inbox, outbox);
    std::printf("%.1f %d\n", ResidentMB(), inbox.Count() + outbox.Count());
    Database = nullptr;
    return 0;
}

// A process that opens the database and reads nothing: the memory the lists add to.
int MeasureEmpty(const QString& Path)
{
    InitSmsTables();
    auto db = TDatabase::Create(Path);
    std::printf("%.1f\n", ResidentMB());
    return 0;
}

double Child(const QString& Mode, const QString& Path, int Field)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {Mode, Path});
    child.waitForFinished(600000);
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    return Field < fields.size() ? fields[Field].toDouble() : -1;
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--memory") {
        return MeasureMemory(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && QByteArray(argv[1]) == "--empty") {
        return MeasureEmpty(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && QByteArray(argv[1]) == "--open") {
        // Opens the first modem's lists on a file of one's own and prints how long it took.
        InitSmsTables();
        auto db = TDatabase::Create(QString::fromLocal8Bit(argv[2]));
        Database = db.get();
        QElapsedTimer timer;
        timer.start();
        TSmsIncomingList inbox(Bench::MainDevice());
        TSmsOutgoingList outbox(Bench::MainDevice());
        Open(inbox, outbox);
        std::printf("opened %d + %d messages in %.1f ms\n", inbox.Count(), outbox.Count(), timer.nsecsElapsed() / 1e6);
        Database = nullptr;
        return 0;
    }
    if (argc >= 3 && QByteArray(argv[1]) == "--fill") {
        // Writes the store to a file of one's own (for other tests to start on, such as the
        // kill test's OMBRELAY_PREFILL), with optionally other counts:
        // --fill PATH [INCOMING OUTGOING].
        InitSmsTables();
        auto db = TDatabase::Create(QString::fromLocal8Bit(argv[2]));
        Bench::FillLarge(*db, argc >= 4 ? atoi(argv[3]) : kIncoming, argc >= 5 ? atoi(argv[4]) : kOutgoing);
        // Opened once, as the program's first start on it would: the rows are filed.
        Database = db.get();
        TSmsIncomingList inbox(Bench::MainDevice());
        TSmsOutgoingList outbox(Bench::MainDevice());
        Open(inbox, outbox);
        Database = nullptr;
        return 0;
    }
    InitSmsTables();
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Ombrelay.DB");
    auto db = TDatabase::Create(path);
    Database = db.get();
    QElapsedTimer timer;
    timer.start();
    Bench::FillLarge(*db, kIncoming, kOutgoing);
    std::fprintf(stderr, "bench_sms_scale: %d + %d rows written in %.2f s\n", kIncoming, kOutgoing,
                 timer.nsecsElapsed() / 1e9);
    timer.restart();
    {
        TSmsIncomingList inbox(Bench::MainDevice());
        TSmsOutgoingList outbox(Bench::MainDevice());
        Open(inbox, outbox);
        std::fprintf(stderr, "bench_sms_scale: first opening of the older file %.2f s (%d + %d messages)\n",
                     timer.nsecsElapsed() / 1e9, inbox.Count(), outbox.Count());
    }

    double step = 1e9;
    std::vector<double> open;
    std::vector<double> page;
    double whole = 1e9;
    for (int round = 0; round < 3; ++round) {
        step = std::min(step, Step(*db));
        TSmsIncomingList inbox(Bench::MainDevice());
        TSmsOutgoingList outbox(Bench::MainDevice());
        timer.restart();
        Open(inbox, outbox);
        open.push_back(timer.nsecsElapsed() / 1e6);
        // Scrolled to the oldest: one page of messages read.
        timer.restart();
        qint64 sum = 0;
        for (int i = inbox.Count() - 1; i >= std::max(0, inbox.Count() - kPage); --i) {
            sum += inbox.Items(i)->DisplayText().size();
        }
        page.push_back(timer.nsecsElapsed() / 1e6);
        // Every message of a freshly opened pair of lists, newest to oldest.
        TSmsIncomingList inbox2(Bench::MainDevice());
        TSmsOutgoingList outbox2(Bench::MainDevice());
        timer.restart();
        inbox2.LoadMessages();
        outbox2.LoadMessages();
        for (int i = 0; i < inbox2.Count(); ++i) {
            sum += inbox2.Items(i)->Text().size();
        }
        for (int i = 0; i < outbox2.Count(); ++i) {
            sum += outbox2.Items(i)->Text().size();
        }
        whole = std::min(whole, timer.nsecsElapsed() / 1e9);
        if (sum == 42) {
            std::puts("");
        }
    }

    // New messages with the lists open: stored, filed and the unread count read again.
    std::vector<double> arrival;
    {
        TSmsIncomingList inbox(Bench::MainDevice());
        TSmsOutgoingList outbox(Bench::MainDevice());
        Open(inbox, outbox);
        for (int i = 0; i < 9; ++i) {
            const QString pdu = BuildDeliverPdus(QStringLiteral("+4917055501"), QDateTime::currentDateTimeUtc(),
                                                 QStringLiteral("New message %1").arg(i))
                                    .front();
            timer.restart();
            inbox.StoreReceived({pdu}, false, {QStringLiteral("k%1").arg(i)});
            const int unread = inbox.UnreadCount();
            const int length = int(inbox.Items(0)->Text().size());
            arrival.push_back(timer.nsecsElapsed() / 1e6);
            if (unread + length == 42) {
                std::puts("");
            }
        }
    }
    Database = nullptr;
    db.reset();

    Figure("sms_1m_open_newest_ms", Median(open), step * 1000, 1000, Median(open) < 1000);
    Figure("sms_1m_oldest_page_ms", Median(page), step * 1000, 10, Median(page) < 10);
    Figure("sms_1m_whole_vs_step_ratio", whole / step, 1.0, 1.5, whole / step <= 1.5);
    Figure("sms_1m_new_message_ms", Median(arrival), step * 1000, 50, Median(arrival) < 50);
    const double empty = Child(QStringLiteral("--empty"), path, 0);
    const double rss = Child(QStringLiteral("--memory"), path, 0);
    Figure("sms_1m_rss_mb", rss, empty, 150, rss > 0 && rss < 150);
    return 0;
}
