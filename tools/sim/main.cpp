// ombrelay-sim PATH COMMAND...: sends one command to a running simulated modem's control
// channel, prints the answer and exits 0 on "ok", 1 on "error", 2 when it cannot ask.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocalSocket>
#include <QStringList>

#include <cstdio>

namespace
{

const char* const kUsage = "Usage: ombrelay-sim [--help] [--version] PATH COMMAND [ARGUMENTS...]\n"
                           "Sends one command to the simulated modem listening on PATH.\n"
                           "\n"
                           "Commands: interfaces | deliver IFACE NUMBER TEXT... | deliver-pdu IFACE HEX |\n"
                           "          stored IFACE | sent IFACE | signal IFACE 0..31 | state IFACE |\n"
                           "          drop IFACE | fail OPERATION N | traffic IFACE RX TX |\n"
                           "          report IFACE MR delivered|failed|pending |\n"
                           "          plug IFACE | unplug IFACE |\n"
                           "          register IFACE home|roaming|searching|denied|none [OPERATOR] |\n"
                           "          tech IFACE gsm|umts|hspa|lte|5g\n"
                           "\n"
                           "Options:\n"
                           "  -h, --help     show this help and exit\n"
                           "  -v, --version  show the version and exit\n";

int Usage(const QString& Problem)
{
    std::fprintf(stderr, "ombrelay-sim: %s\n\n%s", qPrintable(Problem), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The tool's own options come before PATH; everything after it belongs to the command.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    if (!parser.parse(app.arguments())) {
        return Usage(parser.errorText());
    }
    if (parser.isSet(help)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("ombrelay-sim %s\n", OMBRELAY_VERSION);
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() < 2) {
        return Usage(args.isEmpty() ? QStringLiteral("no PATH given") : QStringLiteral("no COMMAND given"));
    }
    QString line = args.mid(1).join(QLatin1Char(' '));
    if (line.contains(QLatin1Char('\n'))) {
        std::fprintf(stderr, "ombrelay-sim: a command is one line\n");
        return 2;
    }
    QLocalSocket socket;
    socket.connectToServer(args[0]);
    if (!socket.waitForConnected(5000)) {
        std::fprintf(stderr, "ombrelay-sim: cannot reach %s: %s\n", qPrintable(args[0]),
                     qPrintable(socket.errorString()));
        return 2;
    }
    socket.write(line.toUtf8() + '\n');
    socket.flush();
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(10000)) {
            std::fprintf(stderr, "ombrelay-sim: no answer from %s\n", qPrintable(args[0]));
            return 2;
        }
    }
    const QByteArray answer = socket.readLine().trimmed();
    std::printf("%s\n", answer.constData());
    return answer == "ok" || answer.startsWith("ok ") ? 0 : 1;
}
