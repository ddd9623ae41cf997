#pragma once

// The test command channel: commands of the instance channel with which the whole-program tests
// look at the running window. It is compiled into the program only when the build enables
// OMBRELAY_TEST_COMMANDS (the default of a build with tests), and even then answers only a
// program started with --test-commands.

#include <QString>

namespace Ombrelay
{

class TfmMainView;

// Answers one command line ("visible", "tab NAME", "screenshot PATH", "poll", "errors",
// "cell ROW COLUMN") with
// one line, "ok ..." or "error TEXT".
QString TestCommand(TfmMainView& Window, const QString& Line);

} // namespace Ombrelay
