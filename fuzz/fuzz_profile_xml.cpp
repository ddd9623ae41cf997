// Profile XML from the device on arbitrary input: it reads, or fails with a profile XML error
// that names where; it never ends the program in any other way.

#include "core/MBProfleItem.h"
#include "sms/MBException.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace Ombrelay;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QString xml = QString::fromUtf8(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    try {
        const TMBProfleItem profile(xml);
        // A profile that reads has fields taken from the text itself: none can be longer.
        for (const QString* field : {&profile.Name(), &profile.AccessString(), &profile.UserName(), &profile.Password(),
                                     &profile.HomeProviderName()}) {
            if (field->size() > xml.size()) {
                std::abort();
            }
        }
    } catch (const EMBException& e) {
        if (!e.Message().startsWith(QStringLiteral("Profile XML error: "))) {
            std::abort();
        }
    }
    return 0;
}
