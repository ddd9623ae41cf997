// The comma text of the settings (site list, recipient history) as a user may edit it by hand:
// any text parses, and a parsed list written out and read again is the same list.

#include "core/Options.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

using namespace Ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    const QStringList list = CommaTextToList(text);
    // Every item but the empty ones takes at least one character of the text.
    if (list.size() > text.size() + 1) {
        std::abort();
    }
    // Written and read again, the list comes back unchanged.
    if (CommaTextToList(ListToCommaText(list)) != list) {
        std::abort();
    }
    return 0;
}
