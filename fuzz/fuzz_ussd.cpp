// USSD answers as a modem may hand them over: any string with any coding scheme decodes or
// gives a reason, and a decoded 7-bit answer is never longer than its octets allow.

#include "sms/Ussd.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace Ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 2) {
        return 0;
    }
    // The first octet is the scheme (0xFF: none given), the second says hexadecimal or not.
    const int dcs = Data[0] == 0xFF ? -1 : Data[0];
    const bool hex = (Data[1] & 1) != 0;
    const QString str = QString::fromLatin1(reinterpret_cast<const char*>(Data + 2), static_cast<qsizetype>(Size - 2));
    const TUssdText r = DecodeUssd(str, dcs, hex);
    if (r.Ok != r.Error.isEmpty()) {
        std::abort();
    }
    if (r.Ok && hex && r.Text.size() > str.size() * 4 / 7 + 1) {
        std::abort();
    }
    return 0;
}
