// Message store load: 100,000 INCOMING rows (a third of them parts of three-part messages,
// interleaved with single messages from many senders) and 20,000 OUTGOING rows loaded into the
// two lists, against merely stepping through the same rows with the access layer; and the
// resident memory of a process holding both lists.

#include "core/DB.h"
#include "core/SmsStore.h"
#include "sms_corpus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace Ombrelay;

namespace
{

constexpr int kIncoming = 100000;
constexpr int kOutgoing = 20000;

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

void Insert(TDatabase& DB, const QString& Table, const QList<std::pair<TDateTime, QString>>& Rows)
{
    TSQLiteLock lock(DB);
    TSQLiteTransaction transaction(DB);
    {
        const QString flag = Table == QStringLiteral("INCOMING") ? QStringLiteral("SEEN") : QStringLiteral("SENT");
        TSQLiteQuery q(DB, QStringLiteral("INSERT INTO %1 (DATE, %2, PDU) VALUES (?, ?, ?)").arg(Table, flag));
        int i = 0;
        for (const auto& [date, pdu] : Rows) {
            DB.SetParamAsDateTime(1, date);
            DB.SetParamAsBool(2, ++i % 3 == 0);
            DB.SetParamAsString(3, pdu);
            DB.Exec();
        }
    }
    transaction.Commit();
}

void Fill(TDatabase& DB)
{
    QRandomGenerator rng(11);
    const TDateTime start = 46000.0;
    QList<std::pair<TDateTime, QString>> rows;
    rows.reserve(kIncoming);
    int t = 0;
    auto at = [&] { return start + (t += 5) / kSecondsPerDay; };
    auto number = [&] { return QStringLiteral("+49170%1").arg(rng.bounded(5000), 7, 10, QLatin1Char('0')); };
    auto single = [&] {
        return BuildDeliverPdus(number(), QDateTime(), Bench::RandomText(rng, 20 + int(rng.bounded(140)), false))
            .front();
    };
    // Groups of nine rows: the three parts of one message, each followed by two single messages.
    while (rows.size() < kIncoming) {
        const QStringList parts =
            BuildDeliverPdus(number(), QDateTime(), Bench::RandomText(rng, 307 + int(rng.bounded(150)), false));
        for (const QString& part : parts) {
            rows.append({at(), part});
            rows.append({at(), single()});
            rows.append({at(), single()});
        }
    }
    rows.resize(kIncoming);
    Insert(DB, QStringLiteral("INCOMING"), rows);

    rows.clear();
    TSmsSend send;
    while (rows.size() < kOutgoing) {
        send.SetTarget(number());
        send.SetText(Bench::RandomText(rng, 20 + int(rng.bounded(300)), false));
        for (const QString& pdu : send.EncodePdu()) {
            rows.append({at(), pdu});
        }
    }
    rows.resize(kOutgoing);
    Insert(DB, QStringLiteral("OUTGOING"), rows);
}

// The baseline: every row of both tables read through the access layer, nothing kept.
double Step(TDatabase& DB)
{
    QElapsedTimer timer;
    timer.start();
    qint64 sum = 0;
    for (const auto& [table, flag] : {std::pair{"INCOMING", "SEEN"}, std::pair{"OUTGOING", "SENT"}}) {
        TSQLiteLock lock(DB);
        TSQLiteQuery q(DB, QStringLiteral("SELECT * FROM %1 ORDER BY ID").arg(QLatin1String(table)));
        while (DB.Next()) {
            sum += qint64(DB.GetFieldByNameAsDateTime(QStringLiteral("DATE")));
            sum += DB.GetFieldByNameAsString(QStringLiteral("PDU")).size();
            sum += DB.GetFieldByNameAsInt(QStringLiteral("ID"));
            sum += DB.GetFieldByNameAsBool(QLatin1String(flag));
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (sum == 42) {
        std::puts("");
    }
    return seconds;
}

double Load(int& Messages)
{
    QElapsedTimer timer;
    timer.start();
    TSmsIncomingList inbox;
    inbox.LoadMessages();
    TSmsOutgoingList outbox;
    outbox.LoadMessages();
    const double seconds = timer.nsecsElapsed() / 1e9;
    Messages = inbox.Count() + outbox.Count();
    return seconds;
}

// Child process: open the file, note the resident memory, load both lists, note it again.
int MeasureMemory(const QString& Path)
{
    InitSmsTables();
    auto db = TDatabase::Create(Path);
    Database = db.get();
    const double before = ResidentMB();
    TSmsIncomingList inbox;
    inbox.LoadMessages();
    TSmsOutgoingList outbox;
    outbox.LoadMessages();
    std::printf("%.1f %.1f %d\n", before, ResidentMB(), inbox.Count() + outbox.Count());
    Database = nullptr;
    return 0;
}

void Figure(const char* Name, double Value, double Baseline, double Ratio, double Goal, bool Pass)
{
    std::printf("FIGURE %s value=%.3f baseline=%.3f ratio=%.2f goal=%g %s\n", Name, Value, Baseline, Ratio, Goal,
                Pass ? "pass" : "short");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--memory") {
        return MeasureMemory(QString::fromLocal8Bit(argv[2]));
    }
    InitSmsTables();
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Ombrelay.DB");
    {
        auto db = TDatabase::Create(path);
        Database = db.get();
        Fill(*db);
        double step = 1e9;
        double load = 1e9;
        int messages = 0;
        for (int round = 0; round < 3; ++round) {
            step = std::min(step, Step(*db));
            load = std::min(load, Load(messages));
        }
        std::fprintf(stderr, "bench_sms_store: %d rows into %d messages\n", kIncoming + kOutgoing, messages);
        Figure("sms_load_120k_rows_s", load, step, load / step, 0.5, load <= 0.5);
        Figure("sms_load_vs_step_ratio", load / step, 1.0, load / step, 3, load / step <= 3.0);
        Database = nullptr;
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory"), path});
    child.waitForFinished(120000);
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 3) {
        const double before = fields[0].toDouble();
        const double after = fields[1].toDouble();
        Figure("sms_load_120k_rows_rss_mb", after, before, before > 0 ? after / before : 0, 100, after <= 100);
    } else {
        std::printf("FIGURE sms_load_120k_rows_rss_mb value=failed baseline=- ratio=- goal=100 short\n");
    }
    return 0;
}
