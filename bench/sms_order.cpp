// Message lists in the orders a user sorts them by, and the conversation with one number:
//  - opening the conversation with a number that has 10,000 messages (5,000 each way) in a store
//    that holds as many from other numbers, through the messages page's conversation view,
//    against the bare query of the same rows from SQLite;
//  - a store of 1,000,000 INCOMING rows (bench/sms_million.h) sorted by the network's time, the
//    number and the text, newest or last first, until the first screenful is read, against the
//    bare ORDER BY ... LIMIT of a page of the same rows.
// Both stores are written the way an older program left them and opened once before the
// figures (the first opening files their rows and writes their sort keys).

#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/Options.h"
#include "core/SmsStore.h"
#include "gui/ConversationView.h"
#include "platform/sim/SimModem.h"
#include "sms_million.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Ombrelay;

namespace
{

constexpr int kConversation = 10000;
constexpr int kOthers = 10000;
constexpr int kIncoming = 1000000;
constexpr int kOutgoing = 200000;
constexpr int kScreen = 40;
const QString kNumber = QStringLiteral("+491701234567");

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

// The conversation's rows and as many of other numbers, each way half, with network stamps a
// minute apart, on the first modem.
void FillConversation(TDatabase& DB)
{
    const QDateTime base(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    const TDateTime start = 46023.0;
    TSmsSend send;
    TSQLiteLock lock(DB);
    TSQLiteTransaction transaction(DB);
    for (int i = 0; i < kConversation + kOthers; ++i) {
        const bool ours = i % 2 == 0;
        const QString number = ours ? kNumber : QStringLiteral("+49170%1").arg(i % 5000, 7, 10, QLatin1Char('0'));
        const QString text = QStringLiteral("Message %1 of the conversation, a line of ordinary length.").arg(i);
        const bool incoming = (i / 2) % 2 == 0;
        if (incoming) {
            TSQLiteQuery q(DB, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU, DEVICE) VALUES (?, 1, ?, ?)"));
            DB.SetParamAsDateTime(1, start + i * 60 / kSecondsPerDay);
            DB.SetParamAsString(2, BuildDeliverPdus(number, base.addSecs(i * 60), text).front());
            DB.SetParamAsString(3, Bench::MainDevice());
            DB.Exec();
        } else {
            send.SetTarget(number);
            send.SetText(text);
            TSQLiteQuery q(DB, QStringLiteral("INSERT INTO OUTGOING (DATE, SENT, PDU, DEVICE) VALUES (?, 1, ?, ?)"));
            DB.SetParamAsDateTime(1, start + i * 60 / kSecondsPerDay);
            DB.SetParamAsString(2, send.EncodePdu().front());
            DB.SetParamAsString(3, Bench::MainDevice());
            DB.Exec();
        }
    }
    transaction.Commit();
}

// The baseline: the conversation's rows of both tables from SQLite, every field stepped.
double BareConversationMs(TDatabase& DB)
{
    QElapsedTimer timer;
    timer.start();
    qint64 sum = 0;
    for (const char* table : {"INCOMING", "OUTGOING"}) {
        TSQLiteLock lock(DB);
        TSQLiteQuery q(DB, QStringLiteral("SELECT ID, DATE, PDU FROM %1 WHERE GROUPID = ID AND DEVICE = ? AND "
                                          "SORTNUMBER = ? ORDER BY STAMP")
                               .arg(QLatin1String(table)));
        DB.SetParamAsString(1, Bench::MainDevice());
        DB.SetParamAsString(2, kNumber);
        while (DB.Next()) {
            sum += DB.GetFieldAsInt64(0) + qint64(DB.GetFieldAsDateTime(1)) + DB.GetFieldAsString(2).size();
        }
    }
    if (sum == 42) {
        std::puts("");
    }
    return timer.nsecsElapsed() / 1e6;
}

int Conversation()
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    std::unique_ptr<TDatabase> db = TDatabase::Create();
    Database = db.get();
    FillConversation(*db);
    TSimScenario scenario = TSimScenario::Default();
    scenario.DelayMs = 0;
    auto modem = std::make_shared<TSimModem>(scenario);
    QElapsedTimer timer;
    timer.start();
    auto manager = std::make_shared<TMBManager>(modem);
    std::fprintf(stderr, "bench_sms_order: first opening of the conversation store %.2f s\n",
                 timer.nsecsElapsed() / 1e9);
    TMBInterfaceItem* item = manager->GetInterfaceList()->Items(0);
    std::vector<double> view;
    std::vector<double> bare;
    for (int run = 0; run < 5; ++run) {
        bare.push_back(BareConversationMs(*db));
        TConversationView conversation;
        timer.restart();
        conversation.ShowConversation(item, kNumber);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (conversation.Model()->Entries().size() != kConversation) {
            std::fprintf(stderr, "bench_sms_order: the conversation holds %d messages\n",
                         int(conversation.Model()->Entries().size()));
            return 1;
        }
        view.push_back(ms);
    }
    Figure("conversation_10k_open_ms", Median(view), Median(bare), 500);
    manager.reset();
    Database = nullptr;
    return 0;
}

// The baseline of an order: the first page of the first modem's messages in that order, every
// field stepped.
double BareFirstPageMs(TDatabase& DB, const QString& Key)
{
    QElapsedTimer timer;
    timer.start();
    qint64 sum = 0;
    {
        TSQLiteLock lock(DB);
        TSQLiteQuery q(DB, QStringLiteral("SELECT ID, DATE, SEEN, PDU FROM INCOMING WHERE GROUPID = ID AND DEVICE = ? "
                                          "ORDER BY %1 DESC, ID DESC LIMIT %2")
                               .arg(Key)
                               .arg(TSmsListBase::kPageSize));
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

// What sorting costs beyond the first page: the first rows of every message in that order, as
// the list reads them (so that it knows every position without reading the messages).
double BareAllHeadsMs(TDatabase& DB, const QString& Key)
{
    QElapsedTimer timer;
    timer.start();
    qint64 sum = 0;
    {
        TSQLiteLock lock(DB);
        TSQLiteQuery q(DB, QStringLiteral("SELECT ID, SEEN FROM INCOMING WHERE GROUPID = ID AND DEVICE = ? "
                                          "ORDER BY %1, ID")
                               .arg(Key));
        DB.SetParamAsString(1, Bench::MainDevice());
        while (DB.Next()) {
            sum += DB.GetFieldAsInt64(0) + DB.GetFieldAsBool(1);
        }
    }
    if (sum == 42) {
        std::puts("");
    }
    return timer.nsecsElapsed() / 1e6;
}

int Million()
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    std::unique_ptr<TDatabase> db = TDatabase::Create();
    Database = db.get();
    Bench::FillLarge(*db, kIncoming, kOutgoing);
    QElapsedTimer timer;
    timer.start();
    {
        TSmsIncomingList first(Bench::MainDevice());
        first.LoadMessages();
    }
    std::fprintf(stderr, "bench_sms_order: first opening of the older file %.2f s\n", timer.nsecsElapsed() / 1e9);
    struct TCase
    {
        const char* Name;
        TSmsListBase::TOrderColumn Column;
        const char* Key;
    };
    const TCase cases[] = {{"sort_1m_by_time", TSmsListBase::ocNetworkTime, "STAMP"},
                           {"sort_1m_by_number", TSmsListBase::ocNumber, "SORTNUMBER"},
                           {"sort_1m_by_text", TSmsListBase::ocText, "SORTTEXT"}};
    TSmsIncomingList inbox(Bench::MainDevice());
    inbox.LoadMessages();
    for (const TCase& c : cases) {
        std::vector<double> sorted;
        std::vector<double> bare;
        std::vector<double> heads;
        for (int run = 0; run < 3; ++run) {
            bare.push_back(BareFirstPageMs(*db, QLatin1String(c.Key)));
            heads.push_back(BareAllHeadsMs(*db, QLatin1String(c.Key)));
            inbox.SetOrder({TSmsListBase::ocStored, true});
            timer.restart();
            inbox.SetOrder({c.Column, true});
            qint64 sum = inbox.UnreadCount();
            for (int i = 0; i < kScreen; ++i) {
                sum += inbox.Items(i)->DisplayText().size();
            }
            sorted.push_back(timer.nsecsElapsed() / 1e6);
            if (sum == 42) {
                std::puts("");
            }
        }
        const QByteArray name(c.Name);
        Figure((name + "_ms").constData(), Median(sorted), Median(bare), 1000);
        // Against reading every first row in that order: the ratio the sort itself adds.
        std::printf("FIGURE %s_vs_ids value=%.2f baseline=%.2f ratio=%.2f goal=- info\n", c.Name, Median(sorted),
                    Median(heads), Median(sorted) / std::max(Median(heads), 1e-9));
    }
    Database = nullptr;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    InitSmsTables();
    TOptions opts;
    Options = &opts;
    if (const int failed = Conversation()) {
        return failed;
    }
    return Million();
}
