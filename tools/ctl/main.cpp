// ombrelayctl: Ombrelay's messages, usage and monitor log for scripts.
//
//   ombrelayctl messages ...   list, search, export and send messages
//   ombrelayctl usage ...      traffic history
//   ombrelayctl monitor ...    the online monitor's log
//
// Each group takes --help. Listings take --json.

#include "CtlCommon.h"
#include "core/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Ombrelay;

namespace
{

const char* const kUsage = "Usage: ombrelayctl [--help] [--version] COMMAND [ARGS...]\n"
                           "\n"
                           "Commands:\n"
                           "  messages   list, search, export and send messages\n"
                           "  usage      traffic history\n"
                           "  monitor    the online monitor's log\n"
                           "\n"
                           "Run 'ombrelayctl COMMAND --help' for a command's options.\n";

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrelayctl"));
    QCoreApplication::setApplicationVersion(ProgramVersion());

    // Options of ombrelayctl itself come before the command; the rest is the command's.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    if (!parser.parse(QCoreApplication::arguments())) {
        Ctl::Err(QStringLiteral("ombrelayctl: %1\n\n").arg(parser.errorText()));
        Ctl::Err(QString::fromUtf8(kUsage));
        return Ctl::ExitUsage;
    }
    if (parser.isSet(help)) {
        Ctl::Out(QString::fromUtf8(kUsage));
        return Ctl::ExitOk;
    }
    if (parser.isSet(version)) {
        Ctl::Out(QStringLiteral("ombrelayctl %1\n").arg(ProgramVersion()));
        return Ctl::ExitOk;
    }
    const QStringList rest = parser.positionalArguments();
    if (rest.isEmpty()) {
        Ctl::Err(QString::fromUtf8(kUsage));
        return Ctl::ExitUsage;
    }
    const QString command = rest.constFirst();
    if (command == QLatin1String("messages")) {
        return Ctl::RunMessages(rest);
    }
    if (command == QLatin1String("usage")) {
        return Ctl::RunUsage(rest);
    }
    if (command == QLatin1String("monitor")) {
        return Ctl::RunMonitor(rest);
    }
    Ctl::Err(QStringLiteral("ombrelayctl: unknown command '%1'\n\n").arg(command));
    Ctl::Err(QString::fromUtf8(kUsage));
    return Ctl::ExitUsage;
}
