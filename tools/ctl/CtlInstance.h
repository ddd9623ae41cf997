#pragma once

#include <QString>

namespace Ombrelay::Ctl
{

// Asks the running program one line over its per-user instance socket and gives its answer line.
// False, and nothing written, when no program runs or it does not answer within TimeoutMs; false
// with a note on stderr when the socket's folder is not a private one of this user (a socket
// planted elsewhere is never written to).
bool AskRunningProgram(const QString& Line, QString& Reply, int TimeoutMs = 3000);

} // namespace Ombrelay::Ctl
