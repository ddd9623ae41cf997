#include "sms/SMS.h"

#include "base/Errors.h"
#include "sms/MBException.h"

#include <QDateTime>

#include <algorithm>
#include <memory>
#include <mutex>
#include <random>

namespace Ombrelay
{

char16_t GsmToChar[128];
std::uint8_t CharToGsm[256];
std::atomic<std::uint8_t> NextMessageRef{0};

namespace
{

// The GSM 03.38 default alphabet. The Greek capitals are those of the standard: a receiver
// must show them, even though the encoder never writes them (they force UCS-2).
constexpr char16_t kDefaultAlphabet[128] = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC', // 0x00
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5', // 0x08
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8', // 0x10
    u'\u03A3', u'\u0398', u'\u039E', 0,         u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9', // 0x18
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',     // 0x20
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',      // 0x28
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',      // 0x30
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',      // 0x38
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',      // 0x40
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',      // 0x48
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',      // 0x50
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7', // 0x58
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',      // 0x60
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',      // 0x68
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',      // 0x70
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0', // 0x78
};

constexpr std::uint8_t kEscape = 0x1B;

// Septet after the escape code -> character. Codes the extension table lacks show the
// default-alphabet character of the same code, as receivers are required to do.
char16_t GExtension[128];
// ASCII characters that the 7-bit path can write without an escape.
bool GGsm7Ascii[128];

std::once_flag GInitOnce;
std::mutex GRandomLock;
std::mt19937 GRandom;

void BuildTables()
{
    std::copy(std::begin(kDefaultAlphabet), std::end(kDefaultAlphabet), std::begin(GsmToChar));
    std::fill(std::begin(CharToGsm), std::end(CharToGsm), kNoGsmCode);
    for (int i = 0; i < 128; ++i) {
        const char16_t c = GsmToChar[i];
        // The escape code and the Greek letters have no 8-bit character code.
        if (i != kEscape && c < 256) {
            CharToGsm[c] = static_cast<std::uint8_t>(i);
        }
    }
    for (int c = 0; c < 128; ++c) {
        GGsm7Ascii[c] = CharToGsm[c] != kNoGsmCode;
    }
    for (int i = 0; i < 128; ++i) {
        GExtension[i] = GsmToChar[i];
    }
    GExtension[kEscape] = u' '; // a second escape would lead to a further table nobody defines
    GExtension[0x0A] = u'\f';
    GExtension[0x14] = u'^';
    GExtension[0x28] = u'{';
    GExtension[0x29] = u'}';
    GExtension[0x2F] = u'\\';
    GExtension[0x3C] = u'[';
    GExtension[0x3D] = u'~';
    GExtension[0x3E] = u']';
    GExtension[0x40] = u'|';
    GExtension[0x65] = u'\u20AC';
    std::lock_guard<std::mutex> lock(GRandomLock);
    GRandom.seed(static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch()));
}

inline void EnsureTables()
{
    std::call_once(GInitOnce, BuildTables);
}

int DrawReference()
{
    std::lock_guard<std::mutex> lock(GRandomLock);
    return std::uniform_int_distribution<int>(0, 254)(GRandom);
}

// ---- Decoding ----

// A decoding failure inside the walk; the public entry points add the PDU text.
struct TDecodeFailure
{
    QString Reason;
};

[[noreturn]] void Fail(const QString& Reason)
{
    throw TDecodeFailure{Reason};
}

// Hex digit values; 0x100 marks a character that is not a hexadecimal digit.
struct THexTable
{
    std::uint16_t Value[256];
    constexpr THexTable()
        : Value{}
    {
        for (int i = 0; i < 256; ++i) {
            Value[i] = 0x100;
        }
        for (int i = 0; i < 10; ++i) {
            Value['0' + i] = static_cast<std::uint16_t>(i);
        }
        for (int i = 0; i < 6; ++i) {
            Value['A' + i] = static_cast<std::uint16_t>(10 + i);
            Value['a' + i] = static_cast<std::uint16_t>(10 + i);
        }
    }
};
constexpr THexTable kHex;

template <typename Char>
inline unsigned HexValue(Char c)
{
    const auto u = static_cast<std::make_unsigned_t<Char>>(c);
    return u < 256 ? kHex.Value[u] : 0x100;
}

// Octet of every pair of ASCII characters (index: first << 7 | second), 0x100 when either is
// not a hexadecimal digit: one look-up per octet on the decoder's hottest loop.
struct THexPairTable
{
    std::uint16_t Value[128 * 128];
    constexpr THexPairTable()
        : Value{}
    {
        const THexTable single;
        for (int a = 0; a < 128; ++a) {
            for (int b = 0; b < 128; ++b) {
                const unsigned hi = single.Value[a];
                const unsigned lo = single.Value[b];
                Value[a << 7 | b] = static_cast<std::uint16_t>((hi | lo) & 0x100 ? 0x100 : (hi << 4 | lo));
            }
        }
    }
};
constexpr THexPairTable kHexPairs;

// Seconds since 1970 UTC of a service-centre time stamp (swapped BCD: year, month, day, hour,
// minute, second, zone in quarter hours with the sign in bit 3); kNoTimeStamp when a digit or
// a field is out of range, as in the zeros a stack writes when it knows no time.
qint64 StampSeconds(const std::uint8_t* Stamp)
{
    int field[6];
    for (int i = 0; i < 6; ++i) {
        const int lo = Stamp[i] & 0x0F;
        const int hi = Stamp[i] >> 4;
        if (lo > 9 || hi > 9) {
            return TSmsRecv::kNoTimeStamp;
        }
        field[i] = lo * 10 + hi;
    }
    const int zoneLo = Stamp[6] & 0x07;
    const int zoneHi = Stamp[6] >> 4;
    if (zoneHi > 9) {
        return TSmsRecv::kNoTimeStamp;
    }
    const int quarters = zoneLo * 10 + zoneHi;
    const int year = 2000 + field[0];
    const int month = field[1];
    const int day = field[2];
    if (month < 1 || month > 12 || day < 1 || day > 31 || field[3] > 23 || field[4] > 59 || field[5] > 59 ||
        quarters > 79) {
        return TSmsRecv::kNoTimeStamp;
    }
    // Days from 1970-01-01 of a proleptic Gregorian date (the civil-from-days inverse).
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 days = qint64(era) * 146097 + doe - 719468;
    const qint64 local = days * 86400 + field[3] * 3600 + field[4] * 60 + field[5];
    const int offset = quarters * 900 * ((Stamp[6] & 0x08) ? -1 : 1);
    return local - offset;
}

class TReader
{
public:
    TReader(const std::uint8_t* Data, qsizetype Size)
        : FData(Data)
        , FSize(Size)
    {
    }
    std::uint8_t Octet(const char* Field)
    {
        if (FPos >= FSize) {
            Fail(QStringLiteral("input ends before the %1").arg(QLatin1String(Field)));
        }
        return FData[FPos++];
    }
    // Skips up to Count octets (fewer when the input ends first); returns their start and count.
    const std::uint8_t* Take(qsizetype Count, qsizetype& Got)
    {
        const std::uint8_t* start = FData + FPos;
        Got = std::clamp<qsizetype>(Count, 0, FSize - FPos);
        FPos += Got;
        return start;
    }

private:
    const std::uint8_t* FData;
    qsizetype FSize;
    qsizetype FPos = 0;
};

// Unpacks Count septets that follow Fill bits at Octets (the standard packing: the bit stream
// runs from bit 0 of the first octet). The caller guarantees Fill + 7 * Count <= 8 * octets.
template <typename Visit>
inline void ForEachSeptet(const std::uint8_t* Octets, int Fill, qsizetype Count, Visit&& Visitor)
{
    std::uint32_t acc = 0;
    int bits = 0;
    const std::uint8_t* q = Octets;
    if (Count > 0 && Fill > 0) {
        acc = static_cast<std::uint32_t>(*q++) >> Fill;
        bits = 8 - Fill;
    }
    for (qsizetype k = 0; k < Count; ++k) {
        if (bits < 7) {
            acc |= static_cast<std::uint32_t>(*q++) << bits;
            bits += 8;
        }
        Visitor(static_cast<std::uint8_t>(acc & 0x7F));
        acc >>= 7;
        bits -= 7;
    }
}

// Septets to text: an escape takes the next septet from the extension table; an escape that is
// the last septet adds nothing.
QString SeptetsToText(const std::uint8_t* Octets, int Fill, qsizetype Count)
{
    QString result(Count, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    char16_t* const begin = out;
    bool escaped = false;
    ForEachSeptet(Octets, Fill, Count, [&](std::uint8_t s) {
        if (escaped) {
            *out++ = GExtension[s];
            escaped = false;
        } else if (s == kEscape) {
            escaped = true;
        } else {
            *out++ = GsmToChar[s];
        }
    });
    result.truncate(out - begin);
    return result;
}

// Address digits: low nibble first; a final 'F' is the filler of an odd digit count.
QString SemiOctetsToDigits(const std::uint8_t* Octets, qsizetype Count, bool Plus)
{
    static const char16_t kNibble[] = u"0123456789ABCDEF";
    QString result(2 * Count + (Plus ? 1 : 0), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    char16_t* const begin = out;
    if (Plus) {
        *out++ = u'+';
    }
    for (qsizetype i = 0; i < Count; ++i) {
        *out++ = kNibble[Octets[i] & 0x0F];
        *out++ = kNibble[Octets[i] >> 4];
    }
    if (out > begin && out[-1] == u'F' && (!Plus || out - begin > 1)) {
        --out;
    }
    result.truncate(out - begin);
    return result;
}

// Sender (or destination) address: length in useful semi-octets, type of address, digits.
QString ReadAddress(TReader& Reader)
{
    const int digits = Reader.Octet("address length");
    const int type = Reader.Octet("type of address");
    qsizetype got = 0;
    const std::uint8_t* a = Reader.Take((digits + 1) / 2, got);
    switch ((type & 0x70) >> 4) {
    case 1:
        return SemiOctetsToDigits(a, got, true);
    case 5: {
        // Alphanumeric: the length counts semi-octets, so a name of 7 characters in 7 octets is
        // declared as 14 and unpacks to 8 septets; that eighth septet is padding when it is 0.
        qsizetype count = std::min<qsizetype>(4 * digits / 7, 8 * got / 7);
        if (count > 0 && 7 * count == 8 * got) {
            std::uint8_t last = 0;
            qsizetype k = 0;
            ForEachSeptet(a, 0, count, [&](std::uint8_t s) {
                if (++k == count) {
                    last = s;
                }
            });
            if (last == 0) {
                --count;
            }
        }
        return SeptetsToText(a, 0, count);
    }
    default:
        return SemiOctetsToDigits(a, got, false);
    }
}

enum TAlphabet
{
    alGsm7,
    alData,
    alUcs2,
    alCompressed,
    alReserved,
};

// The alphabet of a data coding scheme, read by its coding group.
TAlphabet AlphabetOf(std::uint8_t D)
{
    if ((D & 0x80) == 0) {
        // General data coding (00xx) and automatic deletion (01xx): bit 5 compression, bits 3..2
        // the alphabet, whose reserved value 11 is read as the default alphabet.
        if (D & 0x20) {
            return alCompressed;
        }
        switch ((D >> 2) & 0x03) {
        case 1:
            return alData;
        case 2:
            return alUcs2;
        default:
            return alGsm7;
        }
    }
    switch (D >> 4) {
    case 0x0C: // message waiting, discard message
    case 0x0D: // message waiting, store message
        return alGsm7;
    case 0x0E: // message waiting, store message, UCS-2
        return alUcs2;
    case 0x0F: // data coding and message class: bit 2 selects 8-bit data
        return (D & 0x04) ? alData : alGsm7;
    default:
        return alReserved;
    }
}

QString PduForMessage(QStringView Pdu)
{
    // A stranger's input can be long; the message keeps enough of it to be recognised.
    constexpr qsizetype kMax = 400;
    if (Pdu.size() > kMax) {
        return Pdu.left(kMax).toString() + QStringLiteral("...");
    }
    return Pdu.toString();
}

[[noreturn]] void RaiseDecodingError(const QString& Reason, const QString& Pdu)
{
    throw EMBException(QStringLiteral("PDU decoding error: %1: %2").arg(Reason, Pdu));
}

template <typename Char, typename PduTextFn>
bool DecodeHexText(TSmsRecv& Recv, const Char* Text, qsizetype Length, PduTextFn&& PduText)
{
    const qsizetype n = Length / 2;
    std::uint8_t stackBuffer[512];
    stackBuffer[0] = 0; // an empty input still passes a valid pointer
    std::unique_ptr<std::uint8_t[]> heapBuffer;
    std::uint8_t* octets = stackBuffer;
    if (n > qsizetype(sizeof(stackBuffer))) {
        heapBuffer.reset(new std::uint8_t[n]);
        octets = heapBuffer.get();
    }
    unsigned bad = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const auto hi = static_cast<std::make_unsigned_t<Char>>(Text[2 * i]);
        const auto lo = static_cast<std::make_unsigned_t<Char>>(Text[2 * i + 1]);
        if ((hi | lo) >= 128) {
            bad = 0x100;
            break;
        }
        const unsigned v = kHexPairs.Value[unsigned(hi) << 7 | unsigned(lo)];
        bad |= v;
        octets[i] = static_cast<std::uint8_t>(v);
    }
    if (Length & 1) {
        bad |= HexValue(Text[Length - 1]); // the odd last digit is ignored, but must be a digit
    }
    if (bad & 0x100) {
        qsizetype i = 0;
        while (HexValue(Text[i]) != 0x100) {
            ++i;
        }
        const char16_t c = static_cast<char16_t>(Text[i]);
        const QString shown = (c >= 0x20 && c < 0x7F) ? QStringLiteral("'%1'").arg(QChar(c))
                                                      : QStringLiteral("U+%1").arg(int(c), 4, 16, QLatin1Char('0'));
        RaiseDecodingError(QStringLiteral("%1 at position %2 is not a hexadecimal digit").arg(shown).arg(i + 1),
                           PduText());
    }
    try {
        return Recv.DecodeOctets(octets, n);
    } catch (const EMBException& e) {
        // DecodeOctets names no PDU text; say which one it was.
        const QString prefix = QStringLiteral("PDU decoding error: ");
        QString reason = e.Message();
        if (reason.startsWith(prefix)) {
            reason.remove(0, prefix.size());
        }
        RaiseDecodingError(reason, PduText());
    }
}

} // namespace

void InitSmsTables()
{
    EnsureTables();
}

void SeedSmsRandom(std::uint32_t Seed)
{
    EnsureTables();
    std::lock_guard<std::mutex> lock(GRandomLock);
    GRandom.seed(Seed);
}

void TSmsRecv::Reset()
{
    FSender.clear();
    FText.clear();
    FMultipart = false;
    FTotal = 0;
    FSeqNo = 0;
    FRefNo = 0;
    FTimeStamp = kNoTimeStamp;
    FContent = scText;
    FDataCoding = -1;
    FData.clear();
    FMessageRef = -1;
    FDischargeTime = kNoTimeStamp;
    FStatus = -1;
}

bool TSmsRecv::DecodePdu(QStringView Value)
{
    return DecodeHexText(*this, Value.utf16(), Value.size(), [Value] { return PduForMessage(Value); });
}

bool TSmsRecv::DecodePdu(const char* Value, qsizetype Size)
{
    return DecodeHexText(*this, Value, Size, [Value, Size] { return PduForMessage(QString::fromLatin1(Value, Size)); });
}

bool TSmsRecv::DecodeOctets(const std::uint8_t* Data, qsizetype Size)
{
    EnsureTables();
    Reset();
    try {
        return Walk(Data, Size);
    } catch (const TDecodeFailure& f) {
        throw EMBException(QStringLiteral("PDU decoding error: ") + f.Reason);
    }
}

bool TSmsRecv::Walk(const std::uint8_t* Data, qsizetype Size)
{
    TReader r(Data, Size);
    qsizetype got = 0;
    // Service-centre address: skipped.
    r.Take(r.Octet("service-centre length"), got);
    const std::uint8_t fo = r.Octet("first octet");
    const int type = fo & 0x03;
    if (type == 0x02) {
        // SMS-STATUS-REPORT: a report about a message we sent, matched to it by reference and
        // recipient. Reports cut short after the recipient have been seen from real stacks:
        // what is missing stays unknown rather than failing the whole report.
        FMessageRef = r.Octet("message reference");
        FSender = ReadAddress(r);
        FContent = scStatusReport;
        const std::uint8_t* stamp = r.Take(7, got);
        if (got == 7) {
            FTimeStamp = StampSeconds(stamp);
        }
        stamp = r.Take(7, got);
        if (got == 7) {
            FDischargeTime = StampSeconds(stamp);
        }
        const std::uint8_t* status = r.Take(1, got);
        if (got == 1) {
            FStatus = *status;
        }
        // The optional parameter indicator, its extension octets, then PID, DCS and user data
        // are of no use to the match: they are skipped (they stay in the stored PDU).
        return false;
    }
    const bool submit = type == 0x01;
    if (submit) {
        FMessageRef = r.Octet("message reference");
    }
    FSender = ReadAddress(r);
    r.Octet("protocol identifier");
    const std::uint8_t dcs = r.Octet("data coding scheme");
    FDataCoding = dcs;
    if (!submit) {
        const std::uint8_t* stamp = r.Take(7, got); // service-centre time stamp
        if (got == 7) {
            FTimeStamp = StampSeconds(stamp);
        }
    } else {
        // Validity period, by its format in bits 4..3: none, enhanced (7), relative (1), absolute (7).
        switch ((fo >> 3) & 0x03) {
        case 2:
            r.Take(1, got);
            break;
        case 1:
        case 3:
            r.Take(7, got);
            break;
        default:
            break;
        }
    }
    const int udl = r.Octet("user-data length");
    int h = 0; // header octets including the header-length octet
    if (fo & 0x40) {
        const int headerLength = r.Octet("user-data-header length");
        const std::uint8_t* header = r.Take(headerLength, got);
        ParseUserDataHeader(header, got);
        h = headerLength + 1;
    }
    switch (AlphabetOf(dcs)) {
    case alGsm7: {
        // The length counts septets, header and fill bits included.
        const int udOctets = (7 * udl + 7) / 8;
        if (udOctets < h) {
            Fail(QStringLiteral("user-data length of %1 septets is smaller than its header of %2 octets")
                     .arg(udl)
                     .arg(h));
        }
        const int fill = h > 0 ? (7 - (8 * h) % 7) % 7 : 0;
        const int headerSeptets = h > 0 ? (8 * h + fill) / 7 : 0;
        const qsizetype declared = std::max(0, udl - headerSeptets);
        const std::uint8_t* body = r.Take(udOctets - h, got);
        const qsizetype available = 8 * got >= fill ? (8 * got - fill) / 7 : 0;
        FText = SeptetsToText(body, fill, std::min(declared, available));
        return true;
    }
    case alUcs2: {
        if (udl < h) {
            Fail(QStringLiteral("user-data length of %1 octets is smaller than its header of %2 octets")
                     .arg(udl)
                     .arg(h));
        }
        const std::uint8_t* body = r.Take(udl - h, got);
        const qsizetype count = got / 2;
        FText = QString(count, Qt::Uninitialized);
        char16_t* out = reinterpret_cast<char16_t*>(FText.data());
        for (qsizetype i = 0; i < count; ++i) {
            out[i] = static_cast<char16_t>((body[2 * i] << 8) | body[2 * i + 1]);
        }
        return true;
    }
    case alData: {
        const std::uint8_t* body = r.Take(std::max(0, udl - h), got);
        FData = QByteArray(reinterpret_cast<const char*>(body), got);
        FContent = scData;
        return false;
    }
    case alCompressed:
        FContent = scCompressed;
        return false;
    case alReserved:
        FContent = scReservedCoding;
        return false;
    }
    return false;
}

TDeliveryOutcome TSmsRecv::StatusOutcome(int Status)
{
    if (Status < 0) {
        // A report cut short before its status says nothing yet.
        return doPending;
    }
    if (Status <= 0x1F) {
        return doDelivered;
    }
    if (Status >= 0x20 && Status <= 0x3F) {
        return doPending;
    }
    return doFailed;
}

QString TSmsRecv::StatusText(int Status)
{
    switch (Status) {
    case 0x00:
        return QStringLiteral("delivered");
    case 0x01:
        return QStringLiteral("delivered: forwarded, receipt not confirmed");
    case 0x02:
        return QStringLiteral("delivered: replaced by the service centre");
    }
    // The temporary errors repeat with and without further attempts.
    static const char* const kTemporary[] = {"network congestion",
                                             "recipient busy",
                                             "no response from the recipient",
                                             "service rejected",
                                             "quality of service not available",
                                             "error in the recipient's device"};
    static const char* const kPermanent[] = {"remote procedure error",
                                             "incompatible destination",
                                             "connection rejected by the recipient",
                                             "number not obtainable",
                                             "quality of service not available",
                                             "no interworking available",
                                             "validity period expired",
                                             "deleted by the sender",
                                             "deleted by the service centre",
                                             "message does not exist"};
    if (Status < 0 || Status > 0xFF) {
        return QStringLiteral("status unknown");
    }
    const QString number =
        QStringLiteral("status 0x") + QString::number(Status, 16).rightJustified(2, QLatin1Char('0')).toUpper();
    if (Status <= 0x1F) {
        return QStringLiteral("delivered (%1)").arg(number);
    }
    if (Status >= 0x20 && Status <= 0x25) {
        return QStringLiteral("still trying: ") + QLatin1String(kTemporary[Status - 0x20]);
    }
    if (Status <= 0x3F) {
        return QStringLiteral("still trying (%1)").arg(number);
    }
    if (Status >= 0x40 && Status <= 0x49) {
        return QStringLiteral("failed: ") + QLatin1String(kPermanent[Status - 0x40]);
    }
    if (Status >= 0x60 && Status <= 0x65) {
        return QStringLiteral("failed: ") + QLatin1String(kTemporary[Status - 0x60]);
    }
    return QStringLiteral("failed (%1)").arg(number);
}

void TSmsRecv::ParseUserDataHeader(const std::uint8_t* Data, qsizetype Size)
{
    // Information elements: identifier, length, data. The first concatenation element (8-bit or
    // 16-bit reference) counts; others (ports, indications, formatting) are skipped. A length
    // running past the header ends the walk.
    qsizetype i = 0;
    while (i + 2 <= Size) {
        const int id = Data[i];
        const int length = Data[i + 1];
        if (i + 2 + length > Size) {
            break;
        }
        const std::uint8_t* e = Data + i + 2;
        if (!FMultipart && id == 0x00 && length == 3) {
            FMultipart = true;
            FRefNo = e[0];
            FTotal = e[1];
            FSeqNo = e[2];
        } else if (!FMultipart && id == 0x08 && length == 4) {
            FMultipart = true;
            FRefNo = e[0] + 256 * e[1];
            FTotal = e[2];
            FSeqNo = e[3];
        }
        i += 2 + length;
    }
}

// ---- Encoding ----

namespace
{

constexpr int kMaxUserData = 140;

struct TPart
{
    qsizetype Start;
    qsizetype Length;
};

// Part boundaries: 160/70 code units for a single part, 153/67 per part of a long message.
// A part never ends between the two halves of a surrogate pair.
template <typename Out>
void SplitPositions(QStringView Text, bool Gsm7, Out&& Emit)
{
    const qsizetype length = Text.size();
    const qsizetype single = Gsm7 ? 160 : 70;
    const qsizetype limit = length <= single ? single : (Gsm7 ? 153 : 67);
    qsizetype pos = 0;
    while (pos < length) {
        qsizetype end = std::min(pos + limit, length);
        if (end < length && Text[end - 1].isHighSurrogate() && Text[end].isLowSurrogate()) {
            --end;
        }
        Emit(TPart{pos, end - pos});
        pos = end;
    }
}

// Packs septets after Fill zero bits, least significant bit first; returns the octet count.
int PackSeptets(const std::uint8_t* Septets, int Count, int Fill, std::uint8_t* Out)
{
    std::uint32_t acc = 0;
    int bits = Fill;
    int n = 0;
    for (int i = 0; i < Count; ++i) {
        acc |= static_cast<std::uint32_t>(Septets[i]) << bits;
        bits += 7;
        while (bits >= 8) {
            Out[n++] = static_cast<std::uint8_t>(acc);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) {
        Out[n++] = static_cast<std::uint8_t>(acc);
    }
    return n;
}

void AppendHex(const std::uint8_t* Octets, int Count, QString& Out)
{
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    const qsizetype start = Out.size();
    Out.resize(start + 2 * Count);
    char16_t* p = reinterpret_cast<char16_t*>(Out.data()) + start;
    for (int i = 0; i < Count; ++i) {
        *p++ = kDigits[Octets[i] >> 4];
        *p++ = kDigits[Octets[i] & 0x0F];
    }
}

// User-data length and user data of one part (header when multipart), written at Out.
int WriteUserData(QStringView Part, bool Ucs2, bool Multipart, int Ref, int Total, int SeqNo, std::uint8_t* Out)
{
    int n = 0;
    std::uint8_t* udl = Out + n++;
    int h = 0;
    if (Multipart) {
        const std::uint8_t header[6] = {0x05,
                                        0x00,
                                        0x03,
                                        static_cast<std::uint8_t>(Ref),
                                        static_cast<std::uint8_t>(Total),
                                        static_cast<std::uint8_t>(SeqNo)};
        std::copy(std::begin(header), std::end(header), Out + n);
        n += 6;
        h = 6;
    }
    if (Ucs2) {
        for (QChar c : Part) {
            Out[n++] = static_cast<std::uint8_t>(c.unicode() >> 8);
            Out[n++] = static_cast<std::uint8_t>(c.unicode());
        }
        *udl = static_cast<std::uint8_t>(n - 1);
    } else {
        std::uint8_t septets[160];
        const int count = static_cast<int>(Part.size());
        for (int i = 0; i < count; ++i) {
            septets[i] = CharToGsm[Part[i].unicode() & 0xFF];
        }
        const int fill = h > 0 ? (7 - (8 * h) % 7) % 7 : 0;
        n += PackSeptets(septets, count, fill, Out + n);
        *udl = static_cast<std::uint8_t>((8 * h + fill) / 7 + count);
    }
    OMBRELAY_ASSERT("Core.SMS", n - 1 <= kMaxUserData);
    return n;
}

} // namespace

bool TSmsSend::IsGsm7Bit(QStringView Text)
{
    EnsureTables();
    for (QChar c : Text) {
        const char16_t u = c.unicode();
        if (u >= 0x80 || !GGsm7Ascii[u]) {
            return false;
        }
    }
    return true;
}

QStringList TSmsSend::SplitText(const QString& Text)
{
    QStringList parts;
    SplitPositions(Text, IsGsm7Bit(Text), [&](TPart p) { parts.append(Text.mid(p.Start, p.Length)); });
    return parts;
}

int TSmsSend::CountParts(QStringView Text)
{
    int count = 0;
    SplitPositions(Text, IsGsm7Bit(Text), [&](TPart) { ++count; });
    return count;
}

int TSmsSend::Count() const
{
    return CountParts(FText);
}

QStringList TSmsSend::EncodePdu() const
{
    EnsureTables();
    const int ref = FConcatRef >= 0 ? (FConcatRef & 0xFF) : DrawReference();
    const bool gsm7 = IsGsm7Bit(FText);
    TPart parts[64];
    QList<TPart> moreParts;
    int partCount = 0;
    SplitPositions(FText, gsm7, [&](TPart p) {
        if (partCount < 64) {
            parts[partCount] = p;
        } else {
            moreParts.append(p);
        }
        ++partCount;
    });
    OMBRELAY_ASSERT("Core.SMS", partCount > 0);
    const bool multipart = partCount > 1;

    // Destination address: decimal digits of any script count; a digit that is not '0'..'9'
    // cannot be written as a nibble.
    std::uint8_t address[2 + 128];
    int digitCount = 0;
    int addressLength = 2;
    char16_t pending = 0;
    auto putPair = [&](char16_t first, char16_t second) {
        auto nibble = [](char16_t c) { return c == u'F' ? 0xF : c - u'0'; };
        const bool ok = first >= u'0' && first <= u'9' && ((second >= u'0' && second <= u'9') || second == u'F');
        if (!ok) {
            throw EOmbrelayError(
                QStringLiteral("'$%1%2' is not a valid integer value").arg(QChar(first)).arg(QChar(second)));
        }
        if (addressLength < int(sizeof(address))) {
            address[addressLength++] = static_cast<std::uint8_t>(nibble(first) | (nibble(second) << 4));
        }
    };
    for (QChar c : FTarget) {
        if (!c.isDigit()) {
            continue;
        }
        if (digitCount++ % 2 == 0) {
            pending = c.unicode();
        } else {
            putPair(pending, c.unicode());
        }
    }
    if (digitCount % 2 == 1) {
        putPair(pending, u'F');
    }
    // The length octet cannot say more; a wrapped count would announce digits that are not there.
    if (digitCount > 255) {
        throw EMBException(
            QStringLiteral("The destination number has %1 digits; at most 255 fit in a PDU").arg(digitCount));
    }
    address[0] = static_cast<std::uint8_t>(digitCount);
    address[1] = FTarget.startsWith(QLatin1Char('+')) ? 0x91 : 0x81;

    QStringList result;
    result.reserve(partCount);
    std::uint8_t pdu[4 + sizeof(address) + 3 + 1 + kMaxUserData + 8];
    for (int i = 0; i < partCount; ++i) {
        const TPart p = i < 64 ? parts[i] : moreParts[i - 64];
        int n = 0;
        pdu[n++] = 0x00; // no service-centre address: the device's own
        // SUBMIT, no validity period, header when multipart, status report when asked for.
        pdu[n++] = static_cast<std::uint8_t>((multipart ? 0x41 : 0x01) | (FStatusReportRequest ? 0x20 : 0x00));
        pdu[n++] = NextMessageRef.fetch_add(1); // taken and advanced in one step: no two PDUs share it
        std::copy(address, address + addressLength, pdu + n);
        n += addressLength;
        pdu[n++] = 0x00;               // protocol identifier
        pdu[n++] = gsm7 ? 0x00 : 0x08; // data coding scheme
        n += WriteUserData(QStringView(FText).mid(p.Start, p.Length), !gsm7, multipart, ref, partCount, i + 1, pdu + n);
        QString text;
        text.reserve(2 * n);
        AppendHex(pdu, n, text);
        result.append(text);
    }
    return result;
}

// ---- Whole messages rebuilt as SMS-DELIVER PDUs ----

namespace
{

// Septets of an alphanumeric address, escapes included, at most 11 (10 octets).
int NameToSeptets(const QString& Name, std::uint8_t* Out)
{
    constexpr int kMax = 11;
    int n = 0;
    for (QChar c : Name) {
        const char16_t u = c.unicode();
        int code = -1;
        int extension = -1;
        if (u < 256 && CharToGsm[u] != kNoGsmCode) {
            code = CharToGsm[u];
        } else {
            for (int i = 0; i < 128 && code < 0 && extension < 0; ++i) {
                if (i != kEscape && GsmToChar[i] == u) {
                    code = i;
                } else if (GExtension[i] == u && GExtension[i] != GsmToChar[i]) {
                    extension = i;
                }
            }
        }
        if (extension >= 0) {
            if (n + 2 > kMax) {
                break;
            }
            Out[n++] = kEscape;
            Out[n++] = static_cast<std::uint8_t>(extension);
            continue;
        }
        if (n + 1 > kMax) {
            break;
        }
        Out[n++] = static_cast<std::uint8_t>(code >= 0 ? code : 0x3F); // '?'
    }
    return n;
}

bool IsPhoneNumber(const QString& Sender)
{
    const qsizetype start = Sender.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (Sender.size() <= start || Sender.size() - start > 20) {
        return false;
    }
    for (qsizetype i = start; i < Sender.size(); ++i) {
        if (Sender[i] < QLatin1Char('0') || Sender[i] > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

std::uint8_t SwappedBcd(int Value)
{
    return static_cast<std::uint8_t>(((Value % 10) << 4) | ((Value / 10) % 10));
}

// The originating address and the service centre's time stamp of a DELIVER PDU.
struct TDeliverHead
{
    std::uint8_t Address[2 + 12] = {};
    int AddressLength = 2;
    std::uint8_t Stamp[7] = {};
};

TDeliverHead MakeDeliverHead(const QString& Sender, const QDateTime& TimeStamp)
{
    TDeliverHead head;
    std::uint8_t* address = head.Address;
    int& addressLength = head.AddressLength;
    std::uint8_t* stamp = head.Stamp;

    if (IsPhoneNumber(Sender)) {
        const bool plus = Sender.startsWith(QLatin1Char('+'));
        const QString digits = plus ? Sender.mid(1) : Sender;
        address[0] = static_cast<std::uint8_t>(digits.size());
        address[1] = plus ? 0x91 : 0x81;
        for (qsizetype i = 0; i < digits.size(); i += 2) {
            const int lo = digits[i].unicode() - u'0';
            const int hi = i + 1 < digits.size() ? digits[i + 1].unicode() - u'0' : 0xF;
            address[addressLength++] = static_cast<std::uint8_t>(lo | (hi << 4));
        }
    } else {
        std::uint8_t septets[11];
        const int count = NameToSeptets(Sender, septets);
        addressLength += PackSeptets(septets, count, 0, address + 2);
        address[0] = static_cast<std::uint8_t>((7 * count + 3) / 4); // useful semi-octets
        address[1] = 0xD0;
    }

    if (TimeStamp.isValid()) {
        const QDate d = TimeStamp.date();
        const QTime t = TimeStamp.time();
        stamp[0] = SwappedBcd(d.year() % 100);
        stamp[1] = SwappedBcd(d.month());
        stamp[2] = SwappedBcd(d.day());
        stamp[3] = SwappedBcd(t.hour());
        stamp[4] = SwappedBcd(t.minute());
        stamp[5] = SwappedBcd(t.second());
        // Time zone in quarter hours; the sign is bit 3 of the (swapped) tens digit.
        const int offset = TimeStamp.offsetFromUtc();
        stamp[6] = static_cast<std::uint8_t>(SwappedBcd(std::abs(offset) / 900 % 80) | (offset < 0 ? 0x08 : 0x00));
    }

    return head;
}

} // namespace

QStringList BuildDeliverPdus(const QString& Sender, const QDateTime& TimeStamp, const QString& Text, int RefNo)
{
    EnsureTables();
    const TDeliverHead head = MakeDeliverHead(Sender, TimeStamp);
    const bool gsm7 = TSmsSend::IsGsm7Bit(Text);
    QList<TPart> parts;
    SplitPositions(Text, gsm7, [&](TPart p) { parts.append(p); });
    if (parts.isEmpty()) {
        parts.append(TPart{0, 0}); // an empty message is still one PDU
    }
    const bool multipart = parts.size() > 1;
    const int ref = RefNo >= 0 ? (RefNo & 0xFF) : DrawReference();

    QStringList result;
    std::uint8_t pdu[4 + sizeof(head.Address) + 2 + 7 + 1 + kMaxUserData + 8];
    for (qsizetype i = 0; i < parts.size(); ++i) {
        int n = 0;
        pdu[n++] = 0x00;                    // no service-centre address
        pdu[n++] = multipart ? 0x44 : 0x04; // DELIVER, no more messages waiting, header when multipart
        std::copy(head.Address, head.Address + head.AddressLength, pdu + n);
        n += head.AddressLength;
        pdu[n++] = 0x00; // protocol identifier
        pdu[n++] = gsm7 ? 0x00 : 0x08;
        std::copy(head.Stamp, head.Stamp + 7, pdu + n);
        n += 7;
        n += WriteUserData(QStringView(Text).mid(parts[i].Start, parts[i].Length), !gsm7, multipart, ref,
                           static_cast<int>(parts.size()), static_cast<int>(i + 1), pdu + n);
        QString text;
        text.reserve(2 * n);
        AppendHex(pdu, n, text);
        result.append(text);
    }
    return result;
}

QStringList BuildDeliverDataPdus(const QString& Sender, const QDateTime& TimeStamp, const QByteArray& Data, int Class,
                                 int RefNo)
{
    if (Data.size() > kMaxDeliverData) {
        throw EMBException(QStringLiteral("%1 octets of data do not fit in one message").arg(Data.size()));
    }
    EnsureTables();
    const TDeliverHead head = MakeDeliverHead(Sender, TimeStamp);
    // 8-bit data: general coding group, or the class group when the message has a class.
    const std::uint8_t dcs = Class >= 0 && Class <= 3 ? static_cast<std::uint8_t>(0xF4 | Class) : 0x04;
    const qsizetype single = kMaxUserData;
    const qsizetype perPart = kMaxUserData - 6;
    const qsizetype total = Data.size() <= single ? 1 : (Data.size() + perPart - 1) / perPart;
    const bool multipart = total > 1;
    const int ref = RefNo >= 0 ? (RefNo & 0xFF) : DrawReference();

    QStringList result;
    std::uint8_t pdu[4 + sizeof(head.Address) + 2 + 7 + 1 + kMaxUserData + 8];
    for (qsizetype i = 0; i < total; ++i) {
        const qsizetype start = multipart ? i * perPart : 0;
        const qsizetype length = std::min(Data.size() - start, multipart ? perPart : single);
        int n = 0;
        pdu[n++] = 0x00;
        pdu[n++] = multipart ? 0x44 : 0x04;
        std::copy(head.Address, head.Address + head.AddressLength, pdu + n);
        n += head.AddressLength;
        pdu[n++] = 0x00;
        pdu[n++] = dcs;
        std::copy(head.Stamp, head.Stamp + 7, pdu + n);
        n += 7;
        pdu[n++] = static_cast<std::uint8_t>(length + (multipart ? 6 : 0));
        if (multipart) {
            const std::uint8_t header[6] = {0x05,
                                            0x00,
                                            0x03,
                                            static_cast<std::uint8_t>(ref),
                                            static_cast<std::uint8_t>(total),
                                            static_cast<std::uint8_t>(i + 1)};
            std::copy(std::begin(header), std::end(header), pdu + n);
            n += 6;
        }
        std::copy(Data.constData() + start, Data.constData() + start + length, pdu + n);
        n += int(length);
        QString text;
        text.reserve(2 * n);
        AppendHex(pdu, n, text);
        result.append(text);
    }
    return result;
}

QString BuildStatusReportPdu(int MessageRef, const QString& Recipient, const QDateTime& Received,
                             const QDateTime& Discharged, int Status)
{
    EnsureTables();
    const TDeliverHead received = MakeDeliverHead(Recipient, Received);
    const TDeliverHead discharged = MakeDeliverHead(Recipient, Discharged);
    std::uint8_t pdu[3 + sizeof(received.Address) + 7 + 7 + 1];
    int n = 0;
    pdu[n++] = 0x00; // no service-centre address
    pdu[n++] = 0x06; // SMS-STATUS-REPORT, no more messages to send
    pdu[n++] = static_cast<std::uint8_t>(MessageRef & 0xFF);
    std::copy(received.Address, received.Address + received.AddressLength, pdu + n);
    n += received.AddressLength;
    std::copy(std::begin(received.Stamp), std::end(received.Stamp), pdu + n);
    n += 7;
    std::copy(std::begin(discharged.Stamp), std::end(discharged.Stamp), pdu + n);
    n += 7;
    pdu[n++] = static_cast<std::uint8_t>(Status & 0xFF);
    QString text;
    AppendHex(pdu, n, text);
    return text;
}

QString GsmSeptetsToText(const std::uint8_t* Octets, qsizetype Count)
{
    return SeptetsToText(Octets, 0, Count);
}

} // namespace Ombrelay
