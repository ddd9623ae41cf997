// ombrelay-sim PATH COMMAND...: sends one command to a running simulated modem's control
// channel, prints the answer and exits 0 on "ok", 1 on "error", 2 when it cannot ask.

#include <QCoreApplication>
#include <QLocalSocket>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args[0] == QLatin1String("--help")) {
        std::fprintf(stderr, "usage: ombrelay-sim PATH COMMAND [ARGUMENTS...]\n"
                             "commands: interfaces | deliver IFACE NUMBER TEXT... | deliver-pdu IFACE HEX |\n"
                             "          stored IFACE | sent IFACE | signal IFACE 0..31 | state IFACE |\n"
                             "          drop IFACE | fail OPERATION N | traffic IFACE RX TX |\n"
                             "          report IFACE MR delivered|failed|pending\n");
        return 2;
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
