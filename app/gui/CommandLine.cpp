#include "gui/CommandLine.h"

#include "gui/GuiCommon.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace Ombrelay
{

namespace
{

// Options QApplication takes out of the command line itself; listed so that they are not
// reported as unknown, and hidden from the help.
const char* const QtValueOptions[] = {
    "platform",     "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon",  "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",      "geometry",           "name",          "title",  "visual",
    "qmljsdebugger"};
const char* const QtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString Tr(const char* Text)
{
    return QCoreApplication::translate("CommandLine", Text);
}

} // namespace

TCommandLine ParseCommandLine(const QStringList& Arguments, const QStringList& BackendNames, bool TestCommandsAllowed)
{
    TCommandLine r;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        Tr(QT_TRANSLATE_NOOP("CommandLine",
                             "Cellular modem connections, text messages and data usage in the notification area.")));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  Tr(QT_TRANSLATE_NOOP("CommandLine", "Show this help and exit.")));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     Tr(QT_TRANSLATE_NOOP("CommandLine", "Show the version and exit.")));
    const QCommandLineOption hide(
        QStringLiteral("hide"),
        Tr(QT_TRANSLATE_NOOP("CommandLine", "Start in the notification area without showing the window "
                                            "(also written -hide or /hide). A second start hands over to the "
                                            "running program.")));
    const QCommandLineOption backend(
        QStringLiteral("backend"),
        Tr(QT_TRANSLATE_NOOP("CommandLine",
                             "The modem stack: %1. \"auto\" uses ModemManager when it answers with a modem, else the "
                             "simulated modem."))
            .arg(BackendNames.join(QStringLiteral(", "))),
        QStringLiteral("name"), QStringLiteral("auto"));
    const QCommandLineOption simScenario(
        QStringLiteral("sim-scenario"),
        Tr(QT_TRANSLATE_NOOP("CommandLine", "The simulated modem's devices, profiles and messages (JSON).")),
        QStringLiteral("file"));
    const QCommandLineOption simState(QStringLiteral("sim-state"),
                                      Tr(QT_TRANSLATE_NOOP("CommandLine",
                                                           "Where the simulated modem keeps its message store.")),
                                      QStringLiteral("file"));
    const QCommandLineOption simControl(
        QStringLiteral("sim-control"),
        Tr(QT_TRANSLATE_NOOP("CommandLine", "The local socket through which the simulated modem is driven.")),
        QStringLiteral("path"));
    QCommandLineOption testCommands(QStringLiteral("test-commands"),
                                    Tr(QT_TRANSLATE_NOOP("CommandLine",
                                                         "Answer the test commands on the instance socket.")));
    testCommands.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({help, version, hide, backend, simScenario, simState, simControl});
    if (TestCommandsAllowed) {
        parser.addOption(testCommands);
    }
    for (const char* name : QtValueOptions) {
        QCommandLineOption o(QLatin1String(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char* name : QtFlagOptions) {
        QCommandLineOption o{QLatin1String(name), QString{}};
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }

    // "/hide" in any case, and "-HIDE": the parser knows only the lower-case word.
    QStringList arguments;
    for (qsizetype i = 0; i < Arguments.size(); ++i) {
        const QString& arg = Arguments[i];
        const bool hideSpelling = i > 0 && (HasHideSwitch({QString(), arg}) ||
                                            arg.compare(QLatin1String("--hide"), Qt::CaseInsensitive) == 0);
        arguments.append(hideSpelling ? QStringLiteral("--hide") : arg);
    }
    if (arguments.isEmpty()) {
        arguments.append(QStringLiteral("ombrelay"));
    }

    // The program's own name, whatever path it was started by (and with or without an
    // application object, which the parser would otherwise ask).
    auto usage = [&parser] {
        const QString text = parser.helpText();
        return QStringLiteral("Usage: ombrelay [options]") + text.mid(text.indexOf(QLatin1Char('\n')));
    };
    auto fail = [&](const QString& Problem) {
        r.Action = TCommandLine::Error;
        r.Text = QStringLiteral("ombrelay: %1\n\n%2").arg(Problem, usage());
        return r;
    };

    if (!parser.parse(arguments)) {
        return fail(parser.errorText());
    }
    if (parser.isSet(help)) {
        r.Action = TCommandLine::Help;
        r.Text = usage();
        return r;
    }
    if (parser.isSet(version)) {
        r.Action = TCommandLine::Version;
        r.Text = QStringLiteral("ombrelay %1\n").arg(QStringLiteral(OMBRELAY_VERSION));
        return r;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(Tr(QT_TRANSLATE_NOOP("CommandLine", "Unexpected argument: %1"))
                        .arg(parser.positionalArguments().constFirst()));
    }
    r.Hide = parser.isSet(hide);
    r.TestCommands = TestCommandsAllowed && parser.isSet(testCommands);
    r.Backend = parser.value(backend);
    if (!BackendNames.contains(r.Backend)) {
        return fail(Tr(QT_TRANSLATE_NOOP("CommandLine", "Unknown backend \"%1\" (known: %2)."))
                        .arg(r.Backend, BackendNames.join(QStringLiteral(", "))));
    }
    const std::pair<const QCommandLineOption*, QString*> values[] = {{&simScenario, &r.SimScenario},
                                                                     {&simState, &r.SimState},
                                                                     {&simControl, &r.SimControl}};
    for (const auto& [option, value] : values) {
        if (parser.isSet(*option)) {
            *value = parser.value(*option);
            if (value->isEmpty()) {
                return fail(
                    Tr(QT_TRANSLATE_NOOP("CommandLine", "--%1 needs a value.")).arg(option->names().constFirst()));
            }
        }
    }
    return r;
}

} // namespace Ombrelay
