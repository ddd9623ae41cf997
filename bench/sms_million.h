#pragma once

// A store of a heavy user: Incoming INCOMING rows from several modems (a third of them parts of
// three-part messages, interleaved with single messages from many senders, every message with
// its own network time stamp) and Outgoing OUTGOING rows, written as an older program wrote
// them (one prepared statement, one transaction). Most rows belong to the first modem, whose
// lists the benchmarks open.

#include "core/DB.h"
#include "sms/SMS.h"
#include "sms_corpus.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace Ombrelay::Bench
{

inline const QString& MainDevice()
{
    static const QString device = QStringLiteral("sim0");
    return device;
}

// Semi-octets of a decimal number of Digits digits, as a PDU carries them (each pair swapped).
inline void PutSwapped(QString& Pdu, qsizetype At, qint64 Value, int Digits)
{
    QString digits = QStringLiteral("%1").arg(Value, Digits, 10, QLatin1Char('0'));
    for (int i = 0; i + 1 < Digits; i += 2) {
        Pdu[At + i] = digits[i + 1];
        Pdu[At + i + 1] = digits[i];
    }
}

// A PDU of the pool with its sender's last seven digits, network time stamp and reference put
// in place: encoding every message anew would take most of the generator's time. The pool's
// PDUs come from senders "+49170" plus seven digits (twelve digits: offsets fixed).
inline QString Patched(const QString& Pool, int Number, const QDateTime& Stamp, int RefNo)
{
    QString pdu = Pool;
    // 00 SCA, first octet, address length, type, then the twelve digits from offset 8.
    PutSwapped(pdu, 8, 491700000000LL + Number, 12);
    const QDate d = Stamp.date();
    const QTime t = Stamp.time();
    PutSwapped(pdu, 24, d.year() % 100, 2);
    PutSwapped(pdu, 26, d.month(), 2);
    PutSwapped(pdu, 28, d.day(), 2);
    PutSwapped(pdu, 30, t.hour(), 2);
    PutSwapped(pdu, 32, t.minute(), 2);
    PutSwapped(pdu, 34, t.second(), 2);
    if (RefNo >= 0) {
        // After the time zone and the length: header length, element 00, its length, reference.
        const QString ref = QStringLiteral("%1").arg(RefNo, 2, 16, QLatin1Char('0')).toUpper();
        pdu[46] = ref[0];
        pdu[47] = ref[1];
    }
    return pdu;
}

inline void FillLarge(TDatabase& DB, int Incoming, int Outgoing)
{
    InitSmsTables();
    QRandomGenerator rng(18);
    static const std::array<QString, 3> devices = {MainDevice(), QStringLiteral("sim1"), QStringLiteral("sim2")};
    const QDateTime base(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    const QString sender = QStringLiteral("+491700000000");
    // Texts encoded once; each message takes its own sender, stamp and reference.
    QList<QString> singles;
    QList<QStringList> longs;
    QStringList sentTexts;
    for (int i = 0; i < 64; ++i) {
        singles << BuildDeliverPdus(sender, base, RandomText(rng, 20 + int(rng.bounded(140)), false)).front();
        QStringList parts = BuildDeliverPdus(sender, base, RandomText(rng, 307 + int(rng.bounded(150)), false), 0);
        parts.resize(3);
        longs << parts;
        sentTexts << RandomText(rng, rng.bounded(4) == 0 ? 307 + int(rng.bounded(150)) : 20 + int(rng.bounded(140)),
                                false);
    }
    {
        // The offsets above hold for the pool's PDUs: a patched part reads back as patched.
        TSmsRecv check;
        const QDateTime stamp = base.addSecs(86400 * 400 + 3723);
        check.DecodePdu(Patched(longs[0][1], 1234567, stamp, 0xAB));
        if (check.Sender() != QStringLiteral("+491701234567") || check.TimeStamp() != stamp.toSecsSinceEpoch() ||
            check.RefNo() != 0xAB || check.SeqNo() != 2) {
            std::fprintf(stderr, "sms_million.h: the patched PDU reads back wrong\n");
            std::abort();
        }
    }
    const TDateTime start = 43831.0;
    qint64 second = 0;
    TSQLiteLock lock(DB);
    TSQLiteTransaction transaction(DB);
    {
        TSQLiteQuery q(DB, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU, DEVICE) VALUES (?, ?, ?, ?)"));
        int rows = 0;
        auto add = [&](const QString& Pdu, const QString& Device) {
            second += 5;
            DB.SetParamAsDateTime(1, start + second / kSecondsPerDay);
            DB.SetParamAsBool(2, rows % 3 != 0);
            DB.SetParamAsString(3, Pdu);
            DB.SetParamAsString(4, Device);
            DB.Exec();
            ++rows;
        };
        auto device = [&]() -> const QString& {
            const quint32 d = rng.bounded(10);
            return devices[d < 8 ? 0 : d - 7];
        };
        // Groups of nine rows: the three parts of one message, each followed by two single ones.
        while (rows < Incoming) {
            const QString& dev = device();
            const QStringList& parts = longs[rng.bounded(int(longs.size()))];
            const int number = int(rng.bounded(5000));
            const QDateTime stamp = base.addSecs(second);
            const int ref = int(rng.bounded(256));
            for (const QString& part : parts) {
                add(Patched(part, number, stamp, ref), dev);
                for (int s = 0; s < 2; ++s) {
                    add(Patched(singles[rng.bounded(int(singles.size()))], int(rng.bounded(5000)), base.addSecs(second),
                                -1),
                        device());
                }
            }
        }
    }
    {
        TSQLiteQuery q(DB, QStringLiteral("INSERT INTO OUTGOING (DATE, SENT, PDU, DEVICE) VALUES (?, 1, ?, ?)"));
        // Submitted messages carry no stamp: a pool of encoded ones with senders patched.
        QList<QStringList> pool;
        TSmsSend send;
        for (const QString& text : std::as_const(sentTexts)) {
            send.SetTarget(QStringLiteral("+49170%1").arg(rng.bounded(5000), 7, 10, QLatin1Char('0')));
            send.SetText(text);
            pool << send.EncodePdu();
        }
        int rows = 0;
        while (rows < Outgoing) {
            const QString& dev = devices[rng.bounded(10) < 8 ? 0 : 1];
            for (const QString& pdu : pool[rng.bounded(int(pool.size()))]) {
                second += 5;
                DB.SetParamAsDateTime(1, start + second / kSecondsPerDay);
                DB.SetParamAsString(2, pdu);
                DB.SetParamAsString(3, dev);
                DB.Exec();
                ++rows;
            }
        }
    }
    transaction.Commit();
}

} // namespace Ombrelay::Bench
