// ombrelay-pdu: SMS PDUs on the command line.
//
//   ombrelay-pdu decode [HEX...]          one JSON line per PDU (arguments, else one PDU per line of stdin)
//   ombrelay-pdu decode --stats           decode stdin, print only the counts and the rate
//   ombrelay-pdu encode --to NUMBER [--ref N] [--mr N] TEXT
//   ombrelay-pdu count TEXT               "length / parts" as the new-message dialog shows it

#include "sms/MBException.h"
#include "sms/SMS.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <vector>

using namespace Ombrelay;

namespace
{

const char* const kUsage = "Usage:\n"
                           "  ombrelay-pdu decode [HEX...]      (no HEX: one PDU per line of standard input)\n"
                           "  ombrelay-pdu decode --stats       (decode standard input, print counts and rate)\n"
                           "  ombrelay-pdu encode --to NUMBER [--ref N] [--mr N] TEXT\n"
                           "  ombrelay-pdu count TEXT\n"
                           "  ombrelay-pdu --help | --version\n"
                           "\n"
                           "Options:\n"
                           "  -h, --help     show this help and exit\n"
                           "  -v, --version  show the version and exit\n";

int Usage(const char* Problem = nullptr)
{
    if (Problem) {
        std::fprintf(stderr, "ombrelay-pdu: %s\n", Problem);
    }
    std::fputs(kUsage, stderr);
    return 2;
}

void WriteLine(const QByteArray& Line)
{
    std::fwrite(Line.constData(), 1, Line.size(), stdout);
    std::fputc('\n', stdout);
}

struct TCounts
{
    qint64 Texts = 0;
    qint64 NotText = 0;
    qint64 Errors = 0;
};

// Decodes one PDU; with Json set, writes its line. Returns false when decoding raised.
bool DecodeOne(const char* Data, qsizetype Size, bool Json, TCounts& Counts)
{
    TSmsRecv recv;
    bool ok = false;
    QString error;
    try {
        ok = recv.DecodePdu(Data, Size);
    } catch (const EMBException& e) {
        error = e.Message();
    }
    if (!error.isEmpty()) {
        ++Counts.Errors;
    } else if (ok) {
        ++Counts.Texts;
    } else {
        ++Counts.NotText;
    }
    if (Json) {
        QJsonObject o;
        o.insert(QStringLiteral("pdu"), QString::fromLatin1(Data, Size));
        o.insert(QStringLiteral("ok"), ok);
        if (!error.isEmpty()) {
            o.insert(QStringLiteral("error"), error);
        }
        o.insert(QStringLiteral("sender"), error.isEmpty() ? recv.Sender() : QString());
        o.insert(QStringLiteral("text"), error.isEmpty() ? recv.Text() : QString());
        o.insert(QStringLiteral("multipart"), error.isEmpty() && recv.Multipart());
        o.insert(QStringLiteral("refno"), error.isEmpty() ? recv.RefNo() : 0);
        o.insert(QStringLiteral("total"), error.isEmpty() ? recv.Total() : 0);
        o.insert(QStringLiteral("seqno"), error.isEmpty() ? recv.SeqNo() : 0);
        WriteLine(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    return error.isEmpty();
}

// Reads standard input in blocks and hands over each line without its line break and
// surrounding blanks; nothing is kept from one line to the next but an unfinished line.
template <typename Visit>
void ForEachLine(Visit&& Visitor)
{
    std::vector<char> buffer(1 << 20);
    std::size_t kept = 0;
    auto emit = [&](const char* b, const char* e) {
        while (b < e && (*b == ' ' || *b == '\t' || *b == '\r')) {
            ++b;
        }
        while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r')) {
            --e;
        }
        if (e > b) {
            Visitor(b, e - b);
        }
    };
    for (;;) {
        if (kept == buffer.size()) {
            buffer.resize(buffer.size() * 2); // a line longer than the buffer
        }
        const std::size_t got = std::fread(buffer.data() + kept, 1, buffer.size() - kept, stdin);
        const std::size_t end = kept + got;
        std::size_t start = 0;
        for (const char* nl; (nl = static_cast<const char*>(std::memchr(buffer.data() + start, '\n', end - start)));) {
            emit(buffer.data() + start, nl);
            start = nl - buffer.data() + 1;
        }
        kept = end - start;
        std::memmove(buffer.data(), buffer.data() + start, kept);
        if (got == 0) {
            break;
        }
    }
    emit(buffer.data(), buffer.data() + kept);
}

int Decode(const QStringList& Args)
{
    TCounts counts;
    if (Args.contains(QStringLiteral("--stats"))) {
        if (Args.size() != 1) {
            return Usage("decode --stats reads standard input only");
        }
        QElapsedTimer timer;
        timer.start();
        ForEachLine([&](const char* Data, qsizetype Size) { DecodeOne(Data, Size, false, counts); });
        const double seconds = timer.nsecsElapsed() / 1e9;
        const qint64 total = counts.Texts + counts.NotText + counts.Errors;
        QJsonObject o;
        o.insert(QStringLiteral("texts"), counts.Texts);
        o.insert(QStringLiteral("notText"), counts.NotText);
        o.insert(QStringLiteral("errors"), counts.Errors);
        o.insert(QStringLiteral("seconds"), seconds);
        o.insert(QStringLiteral("pdusPerSecond"), seconds > 0 ? qRound64(total / seconds) : 0);
        WriteLine(QJsonDocument(o).toJson(QJsonDocument::Compact));
        return 0;
    }
    for (const QString& a : Args) {
        if (a.startsWith(QStringLiteral("--"))) {
            return Usage(qPrintable(QStringLiteral("unknown option %1").arg(a)));
        }
    }
    if (Args.isEmpty()) {
        ForEachLine([&](const char* Data, qsizetype Size) { DecodeOne(Data, Size, true, counts); });
    } else {
        for (const QString& a : Args) {
            const QByteArray latin = a.toLatin1();
            DecodeOne(latin.constData(), latin.size(), true, counts);
        }
    }
    return counts.Errors > 0 ? 1 : 0;
}

bool ParseByte(const QString& Text, int& Value)
{
    bool ok = false;
    Value = Text.toInt(&ok);
    return ok && Value >= 0 && Value <= 255;
}

int Encode(const QStringList& Args)
{
    QString to;
    int ref = -1;
    int mr = 0;
    QStringList words;
    for (int i = 0; i < Args.size(); ++i) {
        const QString& a = Args[i];
        const bool hasValue = i + 1 < Args.size();
        if (a == QStringLiteral("--to") && hasValue) {
            to = Args[++i];
        } else if (a == QStringLiteral("--ref") && hasValue) {
            if (!ParseByte(Args[++i], ref)) {
                return Usage("--ref takes 0..255");
            }
        } else if (a == QStringLiteral("--mr") && hasValue) {
            if (!ParseByte(Args[++i], mr)) {
                return Usage("--mr takes 0..255");
            }
        } else if (a.startsWith(QStringLiteral("--")) && words.isEmpty()) {
            return Usage(qPrintable(QStringLiteral("unknown or incomplete option %1").arg(a)));
        } else {
            words.append(a);
        }
    }
    if (to.isEmpty()) {
        return Usage("encode needs --to NUMBER");
    }
    const QString text = words.join(QLatin1Char(' '));
    if (text.isEmpty()) {
        return Usage("encode needs a TEXT");
    }
    NextMessageRef = static_cast<std::uint8_t>(mr);
    TSmsSend send;
    send.SetTarget(to);
    send.SetText(text);
    send.SetConcatRef(ref);
    try {
        for (const QString& pdu : send.EncodePdu()) {
            WriteLine(pdu.toLatin1());
        }
    } catch (const EOmbrelayError& e) {
        std::fprintf(stderr, "ombrelay-pdu: %s\n", e.what());
        return 1;
    }
    return 0;
}

int Count(const QStringList& Args)
{
    TSmsSend send;
    send.SetText(Args.join(QLatin1Char(' ')));
    WriteLine(QStringLiteral("%1 / %2").arg(send.Text().size()).arg(send.Count()).toUtf8());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    InitSmsTables();
    QStringList all;
    for (int i = 0; i < argc; ++i) {
        all.append(QString::fromLocal8Bit(argv[i]));
    }
    // Options of the tool itself come before the command; everything after it is the command's.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    if (!parser.parse(all)) {
        return Usage(qPrintable(parser.errorText()));
    }
    if (parser.isSet(help)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("ombrelay-pdu %s\n", OMBRELAY_VERSION);
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        return Usage("no command given");
    }
    const QStringList args = positional.mid(1);
    const QString& command = positional.constFirst();
    int rc;
    if (command == QLatin1String("decode")) {
        rc = Decode(args);
    } else if (command == QLatin1String("encode")) {
        rc = Encode(args);
    } else if (command == QLatin1String("count")) {
        rc = Count(args);
    } else if (command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        rc = 0;
    } else {
        rc = Usage(qPrintable(QStringLiteral("unknown command '%1'").arg(command)));
    }
    std::fflush(stdout);
    return rc;
}
