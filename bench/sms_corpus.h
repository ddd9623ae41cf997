#pragma once

// A mixed corpus of real-shaped PDU texts for the SMS benchmarks: 7-bit and UCS-2, single and
// multipart (8-bit references), numeric and alphanumeric senders, DELIVERs and SUBMITs.

#include "sms/SMS.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QStringList>

namespace Ombrelay::Bench
{

inline QString RandomText(QRandomGenerator& Rng, int Length, bool Wide)
{
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,!?");
    static const QString wide = QString::fromUtf8("абвгдежзийклмнопрстуф 中文字 äöü €");
    const QString& pool = Wide ? wide : plain;
    QString text;
    text.reserve(Length);
    for (int i = 0; i < Length; ++i) {
        text += pool[Rng.bounded(int(pool.size()))];
    }
    return text;
}

// Count PDU texts, deterministic for a seed.
inline QStringList MixedCorpus(int Count, quint32 Seed = 1)
{
    InitSmsTables();
    QRandomGenerator rng(Seed);
    static const QStringList names = {QStringLiteral("Virelle"), QStringLiteral("Bank"), QStringLiteral("Operator"),
                                      QStringLiteral("Parcel24")};
    const QDateTime stamp(QDate(2026, 12, 9), QTime(12, 0), Qt::OffsetFromUTC, 3600);
    QStringList corpus;
    while (corpus.size() < Count) {
        const int kind = int(rng.bounded(6));
        const QString number = QStringLiteral("+49170%1").arg(rng.bounded(10000000), 7, 10, QLatin1Char('0'));
        QStringList pdus;
        switch (kind) {
        case 0: // short 7-bit
            pdus = BuildDeliverPdus(number, stamp, RandomText(rng, 10 + int(rng.bounded(60)), false));
            break;
        case 1: // long 7-bit, several parts
            pdus = BuildDeliverPdus(number, stamp, RandomText(rng, 200 + int(rng.bounded(250)), false));
            break;
        case 2: // UCS-2
            pdus = BuildDeliverPdus(number, stamp, RandomText(rng, 10 + int(rng.bounded(60)), true));
            break;
        case 3: // long UCS-2
            pdus = BuildDeliverPdus(number, stamp, RandomText(rng, 80 + int(rng.bounded(100)), true));
            break;
        case 4: // alphanumeric sender
            pdus = BuildDeliverPdus(names[rng.bounded(int(names.size()))], stamp,
                                    RandomText(rng, 20 + int(rng.bounded(140)), false));
            break;
        default: { // our own SUBMITs
            TSmsSend send;
            send.SetTarget(number);
            send.SetText(RandomText(rng, 20 + int(rng.bounded(300)), false));
            pdus = send.EncodePdu();
            break;
        }
        }
        for (const QString& p : pdus) {
            if (corpus.size() < Count) {
                corpus.append(p);
            }
        }
    }
    return corpus;
}

} // namespace Ombrelay::Bench
