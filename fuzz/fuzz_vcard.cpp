// vCard files as users import them: any bytes either parse or raise the parser's own error, and
// what parses holds only non-empty names and numbers.

#include "base/Errors.h"
#include "core/Contacts.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

using namespace Ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    try {
        for (const TVCardEntry& entry : ParseVCards(bytes)) {
            if (entry.Name.trimmed().isEmpty() || entry.Numbers.isEmpty()) {
                std::abort();
            }
            for (const QString& number : entry.Numbers) {
                if (number.isEmpty()) {
                    std::abort();
                }
            }
        }
    } catch (const EOmbrelayError&) {
        // A refused file, with its reason.
    }
    return 0;
}
