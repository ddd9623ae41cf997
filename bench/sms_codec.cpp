// Codec throughput: DecodePdu over a mixed corpus of PDU texts against a plain hex-to-octets pass
// over the same texts, and EncodePdu of three-part 7-bit messages against writing the same
// number of octets as hex text.

#include "sms_corpus.h"

#include <QElapsedTimer>

#include <cstdio>

using namespace Ombrelay;

namespace
{

volatile unsigned GSink;

void Figure(const char* Name, double Value, double Baseline, double Goal)
{
    std::printf("FIGURE %s value=%.0f baseline=%.0f ratio=%.2f goal=%.0f %s\n", Name, Value, Baseline,
                Baseline > 0 ? Value / Baseline : 0.0, Goal, Value >= Goal ? "pass" : "short");
}

// Runs Body over the corpus for at least MinSeconds; returns items per second.
template <typename Body>
double Rate(int Items, double MinSeconds, Body&& Run)
{
    QElapsedTimer timer;
    timer.start();
    qint64 done = 0;
    do {
        Run();
        done += Items;
    } while (timer.nsecsElapsed() < MinSeconds * 1e9);
    return done / (timer.nsecsElapsed() / 1e9);
}

unsigned HexToOctets(const QString& Text, unsigned char* Out)
{
    auto v = [](char16_t c) -> unsigned { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    const char16_t* p = reinterpret_cast<const char16_t*>(Text.utf16());
    const qsizetype n = Text.size() / 2;
    unsigned sum = 0;
    for (qsizetype i = 0; i < n; ++i) {
        Out[i] = static_cast<unsigned char>((v(p[2 * i]) << 4) | v(p[2 * i + 1]));
        sum += Out[i];
    }
    return sum;
}

} // namespace

int main()
{
    const QStringList corpus = Bench::MixedCorpus(20000);
    unsigned char octets[1024];

    // Warm-up, then the baseline and the decoder alternately, best of three each.
    double hexRate = 0;
    double decodeRate = 0;
    for (int round = 0; round < 3; ++round) {
        hexRate = std::max(hexRate, Rate(int(corpus.size()), 0.5, [&] {
                               unsigned sum = 0;
                               for (const QString& p : corpus) {
                                   sum += HexToOctets(p, octets);
                               }
                               GSink = sum;
                           }));
        decodeRate = std::max(decodeRate, Rate(int(corpus.size()), 0.5, [&] {
                                  unsigned sum = 0;
                                  for (const QString& p : corpus) {
                                      TSmsRecv r;
                                      sum += r.DecodePdu(p) ? unsigned(r.Text().size()) : 1u;
                                  }
                                  GSink = sum;
                              }));
    }
    Figure("sms_decode_pdus_per_s", decodeRate, hexRate, 2500000);

    // Three-part 7-bit messages.
    QRandomGenerator rng(3);
    QStringList texts;
    for (int i = 0; i < 1000; ++i) {
        texts.append(Bench::RandomText(rng, 307 + int(rng.bounded(152)), false));
    }
    TSmsSend send;
    send.SetTarget(QStringLiteral("+491701234567"));
    double hexOutRate = 0;
    double encodeRate = 0;
    for (int round = 0; round < 3; ++round) {
        // Baseline: three parts' worth of octets (3 x 154) written as hex text.
        hexOutRate = std::max(hexOutRate, Rate(int(texts.size()), 0.5, [&] {
                                  unsigned sum = 0;
                                  for (const QString& t : texts) {
                                      for (int part = 0; part < 3; ++part) {
                                          QString hex(2 * 154, Qt::Uninitialized);
                                          char16_t* out = reinterpret_cast<char16_t*>(hex.data());
                                          for (int i = 0; i < 154; ++i) {
                                              const unsigned o = t[i].unicode() + part;
                                              *out++ = u"0123456789ABCDEF"[(o >> 4) & 0xF];
                                              *out++ = u"0123456789ABCDEF"[o & 0xF];
                                          }
                                          sum += hex.size();
                                      }
                                  }
                                  GSink = sum;
                              }));
        encodeRate = std::max(encodeRate, Rate(int(texts.size()), 0.5, [&] {
                                  unsigned sum = 0;
                                  for (const QString& t : texts) {
                                      send.SetText(t);
                                      sum += unsigned(send.EncodePdu().size());
                                  }
                                  GSink = sum;
                              }));
    }
    Figure("sms_encode_3part_msgs_per_s", encodeRate, hexOutRate, 200000);
    return 0;
}
