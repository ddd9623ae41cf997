// Message search over 1,000,000 stored messages: p50 and p95 of a search as the program runs it
// (whole messages loaded, newest first, at most 200), against the bare FTS5 query for the same
// words on the same file in the same run.

#include "core/DB.h"
#include "core/MessageSearch.h"
#include "core/SmsStore.h"
#include "sms/SMS.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace Ombrelay;

namespace
{

constexpr int kMessages = 1000000;
constexpr int kQueries = 200;
constexpr int kLimit = 200;

QStringList Vocabulary()
{
    // Syllables make some 8,000 distinct words: common ones match many messages, rare ones few.
    static const char* const kParts[] = {"ka", "lo", "mi", "ne", "su", "ta", "ri", "po", "ze", "vu",
                                         "ba", "de", "fi", "go", "hu", "je", "ly", "mo", "nu", "pe"};
    QStringList words;
    for (const char* a : kParts) {
        for (const char* b : kParts) {
            for (const char* c : kParts) {
                words << QLatin1String(a) + QLatin1String(b) + QLatin1String(c);
            }
        }
    }
    return words;
}

double Percentile(QList<double> Values, double P)
{
    std::sort(Values.begin(), Values.end());
    return Values.at(std::min<qsizetype>(Values.size() - 1, qsizetype(P * double(Values.size()))));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    std::unique_ptr<TDatabase> db = TDatabase::Create();
    Database = db.get();
    const QStringList words = Vocabulary();
    QRandomGenerator rng(7);
    // Skewed choice: low indexes are common words.
    auto word = [&] { return words.at(int(std::pow(rng.generateDouble(), 3.0) * double(words.size()))); };
    {
        TSQLiteLock lock(*db);
        TSQLiteTransaction transaction(*db);
        TSQLiteQuery query(*db,
                           QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU, DEVICE) VALUES (?, 1, ?, 'sim0')"));
        const QDateTime stamp(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < kMessages; ++i) {
            QStringList text;
            for (int w = 0; w < 8; ++w) {
                text << word();
            }
            db->SetParamAsDateTime(1, 46000.0 + i / 1440.0);
            db->SetParamAsString(2, BuildDeliverPdus(QStringLiteral("+49170%1").arg(i % 5000), stamp.addSecs(i),
                                                     text.join(QLatin1Char(' ')))
                                        .front());
            db->Exec();
        }
        db->FreeQuery();
        transaction.Commit();
    }
    QElapsedTimer build;
    build.start();
    TMessageSearch::EnsureIndex(*db);
    std::printf("index of %d messages built in %.1f s\n", kMessages, double(build.elapsed()) / 1000.0);

    QStringList queries;
    for (int i = 0; i < kQueries; ++i) {
        queries << (i % 2 ? word() : word() + QLatin1Char(' ') + word().left(3));
    }
    QList<double> bare;
    QList<double> full;
    for (const QString& q : queries) {
        QElapsedTimer t;
        t.start();
        {
            TSQLiteLock lock(*db);
            TSQLiteQuery query(*db, QStringLiteral("SELECT rowid FROM MESSAGE_SEARCH WHERE MESSAGE_SEARCH MATCH ? "
                                                   "ORDER BY rowid DESC LIMIT %1")
                                        .arg(kLimit));
            db->SetParamAsString(1, TMessageSearch::MatchExpression(q));
            while (db->Next()) {
            }
        }
        bare << double(t.nsecsElapsed()) / 1e6;
        t.restart();
        TMessageSearch::Search(*db, QStringLiteral("sim0"), q, nullptr, kLimit);
        full << double(t.nsecsElapsed()) / 1e6;
    }
    for (const double p : {0.5, 0.95}) {
        const double value = Percentile(full, p);
        const double baseline = Percentile(bare, p);
        std::printf("FIGURE search_1m_p%d_ms value=%.2f baseline=%.2f ratio=%.2f goal=50 %s\n", int(p * 100), value,
                    baseline, value / std::max(baseline, 0.001), value < 50 ? "pass" : "short");
    }
    Database = nullptr;
    return 0;
}
