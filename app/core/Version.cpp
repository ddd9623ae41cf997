#include "core/Version.h"

namespace Ombrelay
{

QString ProgramVersion()
{
    return QStringLiteral(OMBRELAY_VERSION);
}

} // namespace Ombrelay
