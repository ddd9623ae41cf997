#pragma once

// SMS PDU codec: SMS-DELIVER and SMS-SUBMIT PDUs (3GPP TS 23.040 layout) with the GSM 7-bit
// default alphabet and UCS-2 (3GPP TS 23.038). Qt Core only: this is the part of the program
// that reads input from strangers, so every read is bounded by the input.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <atomic>
#include <cstdint>
#include <limits>

namespace Ombrelay
{

// GSM 7-bit default alphabet: septet -> UTF-16 code unit. The escape code 0x1B holds 0.
extern char16_t GsmToChar[128];
// 8-bit character code -> septet, built from GsmToChar (a later code wins). Characters that no
// septet produces hold kNoGsmCode.
extern std::uint8_t CharToGsm[256];
constexpr std::uint8_t kNoGsmCode = 0xFF;

// Count septets packed from bit 0 of Octets (which must hold at least 7 * Count bits) as text of
// the default alphabet with its extension table.
QString GsmSeptetsToText(const std::uint8_t* Octets, qsizetype Count);

// Builds the alphabet tables and seeds the generator of concatenation references from the
// clock. Idempotent and thread-safe; the module start-up calls it first.
void InitSmsTables();

// Message reference (TP-MR) of the next SUBMIT PDU: written into each PDU, then incremented,
// wrapping from 255 to 0. Starts at 0.
extern std::atomic<std::uint8_t> NextMessageRef;

// Reseeds the generator of concatenation references (tests and tools that need fixed output).
void SeedSmsRandom(std::uint32_t Seed);

// Common base of the two codec classes.
class TSmsBase
{
};

// What a PDU carries, as far as the message store needs to know.
enum TSmsContent
{
    scText,           // 7-bit or UCS-2 text: DecodePdu returned true
    scData,           // 8-bit data
    scCompressed,     // compressed text (not supported)
    scReservedCoding, // a reserved data coding group
    scStatusReport,   // SMS-STATUS-REPORT: a delivery report, not a message
};

// What the status of a status report (TP-ST) says became of the message it reports on.
enum TDeliveryOutcome
{
    doDelivered, // received by the recipient, forwarded or replaced: the service centre is done
    doPending,   // the service centre is still trying
    doFailed,    // the service centre gave up
};

class TSmsRecv : public TSmsBase
{
public:
    // Decodes one PDU text (hexadecimal, upper or lower case, starting with the service-centre
    // length). True when Sender and Text hold the result; false when the PDU carries no text
    // (see Content). Raises EMBException ("PDU decoding error: ...") for input that is not a
    // PDU: a character that is not a hexadecimal digit, input that ends before a one-octet field,
    // a user-data length smaller than its header.
    bool DecodePdu(QStringView Value);
    bool DecodePdu(const QString& Value) { return DecodePdu(QStringView(Value)); }
    // The same for PDU text held as 8-bit characters (tools reading files).
    bool DecodePdu(const char* Value, qsizetype Size);
    // The same from octets already converted.
    bool DecodeOctets(const std::uint8_t* Data, qsizetype Size);

    const QString& Sender() const { return FSender; }
    const QString& Text() const { return FText; }
    bool Multipart() const { return FMultipart; }
    int Total() const { return FTotal; }
    int SeqNo() const { return FSeqNo; }
    int RefNo() const { return FRefNo; }
    // The service centre's time stamp of a DELIVER PDU in seconds since 1970 UTC (its zone
    // offset applied); kNoTimeStamp for a SUBMIT PDU or a stamp that is not a valid time.
    qint64 TimeStamp() const { return FTimeStamp; }
    static constexpr qint64 kNoTimeStamp = std::numeric_limits<qint64>::min();
    TSmsContent Content() const { return FContent; }
    // The data coding scheme octet, -1 before it was read.
    int DataCoding() const { return FDataCoding; }
    // The user data of an 8-bit message (Content scData), header excluded.
    const QByteArray& Data() const { return FData; }

    // The message reference (TP-MR) of a SUBMIT PDU or a status report; -1 for others.
    int MessageRef() const { return FMessageRef; }
    // Of a status report (Content scStatusReport), whose Sender() is the recipient of the message
    // it reports on and TimeStamp() the time the service centre received that message: the time
    // of the outcome (TP-DT, kNoTimeStamp when not a valid time) and the status (TP-ST), -1 when
    // the report ends before it.
    qint64 DischargeTime() const { return FDischargeTime; }
    int Status() const { return FStatus; }
    // The outcome a status octet stands for; reserved and unknown values are failures, as the
    // service centre completed nothing it can name.
    static TDeliveryOutcome StatusOutcome(int Status);
    // The status in words: "delivered", "still trying: recipient busy", "failed: validity period
    // expired", ...
    static QString StatusText(int Status);

private:
    void Reset();
    bool Walk(const std::uint8_t* Data, qsizetype Size);
    void ParseUserDataHeader(const std::uint8_t* Data, qsizetype Size);

    QString FSender;
    QString FText;
    bool FMultipart = false;
    int FTotal = 0;
    int FSeqNo = 0;
    int FRefNo = 0;
    qint64 FTimeStamp = kNoTimeStamp;
    TSmsContent FContent = scText;
    int FDataCoding = -1;
    QByteArray FData;
    int FMessageRef = -1;
    qint64 FDischargeTime = kNoTimeStamp;
    int FStatus = -1;
};

class TSmsSend : public TSmsBase
{
public:
    const QString& Target() const { return FTarget; }
    void SetTarget(const QString& Value) { FTarget = Value; }
    const QString& Text() const { return FText; }
    void SetText(const QString& Value) { FText = Value; }
    // Number of parts EncodePdu would produce for Text; 0 for an empty text.
    int Count() const;
    // Concatenation reference for the next EncodePdu: 0..255, or -1 (the default) to draw one.
    void SetConcatRef(int Value) { FConcatRef = Value; }
    // Whether each PDU asks the service centre for a status report (TP-SRR); off by default.
    bool StatusReportRequest() const { return FStatusReportRequest; }
    void SetStatusReportRequest(bool Value) { FStatusReportRequest = Value; }

    // One SMS-SUBMIT PDU text per part, in part order. Text must not be empty.
    QStringList EncodePdu() const;

    // True when the whole text can go in the 7-bit default alphabet without escapes.
    static bool IsGsm7Bit(QStringView Text);
    // The parts of a message; a part never ends inside a surrogate pair.
    static QStringList SplitText(const QString& Text);
    // Part count of SplitText without building the parts.
    static int CountParts(QStringView Text);

private:
    QString FTarget;
    QString FText;
    int FConcatRef = -1;
    bool FStatusReportRequest = false;
};

// Builds the SMS-DELIVER PDU texts that carry a whole message as a modem stack in message mode
// hands it over (sender, the service centre's time stamp with its offset, text): split into
// concatenated parts by the same rules as EncodePdu, so that DecodePdu reads back the same
// sender, text and parts. RefNo 0..255 fixes the concatenation reference, -1 draws one.
// A numeric sender ("+" and digits) becomes an international or unknown-type number; any
// other sender an alphanumeric address (at most 11 characters of the GSM alphabet; others are
// written as '?').
QStringList BuildDeliverPdus(const QString& Sender, const QDateTime& TimeStamp, const QString& Text, int RefNo = -1);

// The most 8-bit data BuildDeliverDataPdus carries: 255 parts of 134 octets.
constexpr qsizetype kMaxDeliverData = 255 * 134;

// The same for an 8-bit data message (WAP push, MMS notification, binary SMS): the data coding
// scheme says 8-bit data, with the message class when Class is 0..3 (none for -1); Data is split
// into parts of 140 octets, 134 when there are several. Data longer than kMaxDeliverData is
// refused with EMBException.
QStringList BuildDeliverDataPdus(const QString& Sender, const QDateTime& TimeStamp, const QByteArray& Data,
                                 int Class = -1, int RefNo = -1);

// Builds an SMS-STATUS-REPORT PDU text as a service centre sends it: the reference of the part
// reported on, its recipient (written as BuildDeliverPdus writes a sender), the time the centre
// received the part, the time of the outcome, and the status octet (TP-ST).
QString BuildStatusReportPdu(int MessageRef, const QString& Recipient, const QDateTime& Received,
                             const QDateTime& Discharged, int Status);

} // namespace Ombrelay
