// DecodePdu on arbitrary input: as PDU text (8-bit and UTF-16 entry points), and as octets
// written out as hex text. The octet path must agree with DecodeOctets on the same octets.

#include "sms/MBException.h"
#include "sms/SMS.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace Ombrelay;

namespace
{

struct TResult
{
    bool Raised = false;
    bool Ok = false;
    QString Sender;
    QString Text;
    bool Multipart = false;
    int RefNo = 0;
    int Total = 0;
    int SeqNo = 0;
    int MessageRef = -1;
    int Status = -1;
    qint64 DischargeTime = 0;
};

template <typename Decode>
TResult Run(Decode&& Call)
{
    TSmsRecv r;
    TResult result;
    try {
        result.Ok = Call(r);
    } catch (const EMBException& e) {
        // Every failure is a decoding error with a readable text.
        if (!e.Message().startsWith(QStringLiteral("PDU decoding error: "))) {
            std::abort();
        }
        result.Raised = true;
        return result;
    }
    result.Sender = r.Sender();
    result.Text = r.Text();
    result.Multipart = r.Multipart();
    result.RefNo = r.RefNo();
    result.Total = r.Total();
    result.SeqNo = r.SeqNo();
    result.MessageRef = r.MessageRef();
    result.Status = r.Status();
    result.DischargeTime = r.DischargeTime();
    // A status report's fields are single octets or absent; every status has words.
    if (result.MessageRef < -1 || result.MessageRef > 255 || result.Status < -1 || result.Status > 255 ||
        TSmsRecv::StatusText(result.Status).isEmpty() ||
        (r.Content() != scStatusReport && (result.Status != -1 || result.DischargeTime != TSmsRecv::kNoTimeStamp))) {
        std::abort();
    }
    // Text is only ever set for a text PDU; fields stay within their ranges.
    if ((!result.Ok && !result.Text.isEmpty()) || result.Total < 0 || result.Total > 255 || result.SeqNo < 0 ||
        result.SeqNo > 255 || result.RefNo < 0 || result.RefNo > 65535) {
        std::abort();
    }
    return result;
}

bool Same(const TResult& A, const TResult& B)
{
    return A.Raised == B.Raised && A.Ok == B.Ok && A.Sender == B.Sender && A.Text == B.Text &&
           A.Multipart == B.Multipart && A.RefNo == B.RefNo && A.Total == B.Total && A.SeqNo == B.SeqNo &&
           A.MessageRef == B.MessageRef && A.Status == B.Status && A.DischargeTime == B.DischargeTime;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InitSmsTables();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const char* text = reinterpret_cast<const char*>(Data);
    const qsizetype size = static_cast<qsizetype>(Size);

    // The input as PDU text, through both entry points: same outcome.
    const TResult asLatin = Run([&](TSmsRecv& r) { return r.DecodePdu(text, size); });
    const QString latin = QString::fromLatin1(text, size);
    const TResult asString = Run([&](TSmsRecv& r) { return r.DecodePdu(latin); });
    if (!Same(asLatin, asString)) {
        std::abort();
    }
    Run([&](TSmsRecv& r) { return r.DecodePdu(QString::fromUtf8(text, size)); });

    // The input as octets: written as hex text (lower case) it decodes as the octets themselves.
    const QString hex = QString::fromLatin1(QByteArray(text, size).toHex());
    const TResult viaHex = Run([&](TSmsRecv& r) { return r.DecodePdu(hex); });
    const TResult direct = Run([&](TSmsRecv& r) { return r.DecodeOctets(Data, size); });
    if (viaHex.Raised != direct.Raised || (!direct.Raised && !Same(viaHex, direct))) {
        std::abort();
    }
    return 0;
}
