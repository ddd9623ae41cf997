#pragma once

#include <QString>

namespace Ombrelay
{

// The program's version as "major.minor.release.build", compiled in from the build.
QString ProgramVersion();

} // namespace Ombrelay
