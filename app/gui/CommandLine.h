#pragma once

// The program's command line, read before any window system is touched, so that --help,
// --version and a mistyped option work in a terminal without a display.

#include <QString>
#include <QStringList>

namespace Ombrelay
{

struct TCommandLine
{
    enum TAction
    {
        Run,     // start the program
        Help,    // print Text on standard output, exit 0
        Version, // print Text on standard output, exit 0
        Error,   // print Text (the problem, then the usage) on standard error, exit 2
    };
    TAction Action = Run;
    QString Text;

    bool Hide = false;
    bool TestCommands = false;
    QString Backend = QStringLiteral("auto");
    QString SimScenario;
    QString SimState;
    QString SimControl;
};

// Reads Arguments (Arguments[0] is the program). The hide switch is accepted as "-hide",
// "/hide" and "--hide", letters in any case. BackendNames are the values --backend takes;
// --test-commands is known only when TestCommandsAllowed. Qt's own options (-platform, -style,
// -display, ...) are accepted and left for QApplication.
TCommandLine ParseCommandLine(const QStringList& Arguments, const QStringList& BackendNames, bool TestCommandsAllowed);

} // namespace Ombrelay
