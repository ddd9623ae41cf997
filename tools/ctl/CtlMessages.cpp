// ombrelayctl messages: list, search and export the stored messages (read from the database
// without writing to it or waiting for the program), and send one through the running program.

#include "CtlCommon.h"
#include "core/Contacts.h"
#include "core/DB.h"
#include "core/MessageExport.h"
#include "core/MessageQuery.h"
#include "core/MessageSearch.h"
#include "core/RemoteSend.h"
#include "sqlite/SQLiteDB.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace Ombrelay::Ctl
{

namespace
{

const char* const kUsage = "Usage: ombrelayctl messages COMMAND [OPTIONS]\n"
                           "\n"
                           "Commands:\n"
                           "  list     the stored messages, newest first\n"
                           "  search   the messages whose text, number or contact name holds every word\n"
                           "  export   every message to CSV, JSON or plain text\n"
                           "  send     send a message through the running Ombrelay\n"
                           "\n"
                           "Run 'ombrelayctl messages COMMAND --help' for a command's options.\n"
                           "JSON output is an array of messages with the fields id, direction (in, out),\n"
                           "number, name, text, network_time, stored_time, state, read and device (and\n"
                           "state_text for sent messages); a long message is one entry. state is \"received\"\n"
                           "for received messages; for sent ones \"sending\", \"sent\", \"delivered\",\n"
                           "\"delivered N of M\" (parts of a long message) or \"failed\", from the modem's answer\n"
                           "and the network's delivery reports; state_text says it in the Sent list's words\n"
                           "(\"failed: validity period expired\", \"sent, still trying: recipient busy\").\n";

// What went wrong on the command line: exit status 2.
struct TUsageError
{
    QString Text;
};

// What could not be done: exit status 1.
struct TFailure
{
    QString Text;
};

void AddDatabaseOption(QCommandLineParser& Parser)
{
    Parser.addOption(QCommandLineOption(QStringLiteral("database"),
                                        QStringLiteral("Read FILE instead of the user's message database."),
                                        QStringLiteral("FILE")));
}

// Parses Args; --help prints the command's help and ends with status 0 (returns false).
bool Parse(QCommandLineParser& Parser, const QStringList& Args, const QString& Description)
{
    Parser.setApplicationDescription(Description);
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    Parser.addOption(help);
    if (!Parser.parse(Args)) {
        throw TUsageError{Parser.errorText()};
    }
    if (Parser.isSet(help)) {
        Out(Parser.helpText());
        return false;
    }
    return true;
}

std::unique_ptr<TSQLiteDB> OpenDatabase(const QCommandLineParser& Parser)
{
    const QString file =
        Parser.isSet(QStringLiteral("database")) ? Parser.value(QStringLiteral("database")) : TDatabase::GetLocation();
    try {
        return TMessageQuery::OpenReadOnly(file);
    } catch (const EOmbrelayError& e) {
        throw TFailure{e.Message()};
    }
}

// One line per message for people: id, direction, stored time, number (and name), state, text.
void PrintRecords(const QList<TMessageRecord>& Records, bool Json)
{
    if (Json) {
        QJsonArray array;
        for (const TMessageRecord& r : Records) {
            array.append(r.ToJson());
        }
        OutJson(array);
        return;
    }
    for (const TMessageRecord& r : Records) {
        QString state = r.StateText.isEmpty() ? r.State : r.StateText;
        if (!r.Outgoing && !r.Read) {
            state += QStringLiteral(",unread");
        }
        const QString who = r.Name.isEmpty() ? r.Number : QStringLiteral("%1 (%2)").arg(r.Number, r.Name);
        QString text = r.Text;
        text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        Out(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                .arg(r.Id)
                .arg(r.DirectionText(), r.StoredTimeText(), who, state, text));
    }
}

// Contacts with the home country of the stored messages, so that national forms match.
std::unique_ptr<TContacts> LoadContacts(TSQLiteDB& Db)
{
    return std::make_unique<TContacts>(Db, TMessageQuery::HomeCountry(Db));
}

int List(const QStringList& Args)
{
    QCommandLineParser parser;
    parser.addOption(
        QCommandLineOption(QStringLiteral("unread"), QStringLiteral("Only received messages not read yet.")));
    parser.addOption(QCommandLineOption(QStringLiteral("sent"), QStringLiteral("Only messages sent (or being sent).")));
    parser.addOption(QCommandLineOption(QStringLiteral("from"),
                                        QStringLiteral("Only messages exchanged with NUMBER (national or "
                                                       "international form)."),
                                        QStringLiteral("NUMBER")));
    parser.addOption(QCommandLineOption(QStringLiteral("device"), QStringLiteral("Only messages of the modem IFACE."),
                                        QStringLiteral("IFACE")));
    parser.addOption(QCommandLineOption(QStringLiteral("json"), QStringLiteral("Print a JSON array.")));
    AddDatabaseOption(parser);
    if (!Parse(parser, Args, QStringLiteral("List the stored messages, newest first."))) {
        return ExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        throw TUsageError{
            QStringLiteral("'list' takes no arguments: %1").arg(parser.positionalArguments().join(QLatin1Char(' ')))};
    }
    if (parser.isSet(QStringLiteral("unread")) && parser.isSet(QStringLiteral("sent"))) {
        throw TUsageError{QStringLiteral("--unread and --sent exclude each other (sent messages have no read state).")};
    }
    const auto db = OpenDatabase(parser);
    const auto contacts = LoadContacts(*db);
    TMessageFilter filter;
    filter.UnreadOnly = parser.isSet(QStringLiteral("unread"));
    filter.Incoming = !parser.isSet(QStringLiteral("sent"));
    filter.Number = parser.value(QStringLiteral("from"));
    filter.Device = parser.value(QStringLiteral("device"));
    PrintRecords(TMessageQuery::List(*db, filter, contacts.get()), parser.isSet(QStringLiteral("json")));
    return ExitOk;
}

int Search(const QStringList& Args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The words to find (word starts match)."));
    parser.addOption(QCommandLineOption(QStringLiteral("device"), QStringLiteral("Only messages of the modem IFACE."),
                                        QStringLiteral("IFACE")));
    parser.addOption(QCommandLineOption(QStringLiteral("json"), QStringLiteral("Print a JSON array.")));
    AddDatabaseOption(parser);
    if (!Parse(parser, Args, QStringLiteral("Find messages by text, number or contact name, newest first."))) {
        return ExitOk;
    }
    const QString text = parser.positionalArguments().join(QLatin1Char(' '));
    if (text.trimmed().isEmpty()) {
        throw TUsageError{QStringLiteral("'search' needs the TEXT to find.")};
    }
    const auto db = OpenDatabase(parser);
    const auto contacts = LoadContacts(*db);
    QList<TMessageRecord> found;
    try {
        found = TMessageSearch::Search(*db, parser.value(QStringLiteral("device")), text, contacts.get(), 10000);
    } catch (const ESQLiteException& e) {
        throw TFailure{QStringLiteral("The search failed (has Ombrelay built its search index yet? Start it once): %1")
                           .arg(e.Message())};
    }
    PrintRecords(found, parser.isSet(QStringLiteral("json")));
    return ExitOk;
}

int Export(const QStringList& Args)
{
    QCommandLineParser parser;
    parser.addOption(
        QCommandLineOption(QStringLiteral("format"), QStringLiteral("csv, json or txt."), QStringLiteral("FORMAT")));
    parser.addOption(QCommandLineOption(QStringLiteral("out"),
                                        QStringLiteral("Write to FILE (replaced once complete) instead of the "
                                                       "standard output."),
                                        QStringLiteral("FILE")));
    parser.addOption(QCommandLineOption(QStringLiteral("device"), QStringLiteral("Only messages of the modem IFACE."),
                                        QStringLiteral("IFACE")));
    AddDatabaseOption(parser);
    if (!Parse(parser, Args, QStringLiteral("Export every stored message, UTF-8, long messages joined."))) {
        return ExitOk;
    }
    TExportFormat format = TExportFormat::Csv;
    if (!parser.isSet(QStringLiteral("format"))) {
        throw TUsageError{QStringLiteral("'export' needs --format csv|json|txt.")};
    }
    if (!TMessageExport::ParseFormat(parser.value(QStringLiteral("format")), format)) {
        throw TUsageError{
            QStringLiteral("Unknown format '%1': use csv, json or txt.").arg(parser.value(QStringLiteral("format")))};
    }
    if (!parser.positionalArguments().isEmpty()) {
        throw TUsageError{QStringLiteral("'export' takes no arguments.")};
    }
    const auto db = OpenDatabase(parser);
    const auto contacts = LoadContacts(*db);
    TMessageFilter filter;
    filter.Device = parser.value(QStringLiteral("device"));
    const QList<TMessageRecord> records = TMessageQuery::List(*db, filter, contacts.get());
    if (parser.isSet(QStringLiteral("out"))) {
        try {
            TMessageExport::WriteFile(parser.value(QStringLiteral("out")), records, format);
        } catch (const EOmbrelayError& e) {
            throw TFailure{e.Message()};
        }
    } else {
        const QByteArray data = TMessageExport::Write(records, format);
        std::fwrite(data.constData(), 1, size_t(data.size()), stdout);
        std::fflush(stdout);
    }
    return ExitOk;
}

// The running program's socket, found as it makes it: in a folder of this user closed to others
// (a socket planted elsewhere is never written to).
QString InstancePath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty() && QDir(runtime).exists()
                               ? runtime + QStringLiteral("/ombrelay")
                               : QDir::tempPath() + QStringLiteral("/ombrelay-%1").arg(::getuid());
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0) {
        return {};
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        throw TFailure{
            QStringLiteral("The folder %1 is not a private folder of this user; nothing was sent.").arg(folder)};
    }
    return folder + QStringLiteral("/instance");
}

int Send(const QStringList& Args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("NUMBER"), QStringLiteral("The recipient."));
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The message (long ones are sent in parts)."));
    parser.addOption(QCommandLineOption(QStringLiteral("device"),
                                        QStringLiteral("Send through the modem IFACE (default: the one selected in "
                                                       "Ombrelay)."),
                                        QStringLiteral("IFACE")));
    parser.addOption(QCommandLineOption(QStringLiteral("timeout"),
                                        QStringLiteral("Wait at most SECONDS for the modem, or with --wait-delivery "
                                                       "for the delivery report (default 60)."),
                                        QStringLiteral("SECONDS"), QStringLiteral("60")));
    parser.addOption(QCommandLineOption(QStringLiteral("wait-delivery"),
                                        QStringLiteral("Ask for a delivery report and wait for it: exit status 0 "
                                                       "once the message is delivered, 1 when it failed or no "
                                                       "report came in time.")));
    if (!Parse(parser, Args,
               QStringLiteral("Send a message through the running Ombrelay and print its state (sent, sending, "
                              "failed; with --wait-delivery delivered, failed, or the state when the wait ran "
                              "out). Exit status 1 when Ombrelay does not run or the message failed."))) {
        return ExitOk;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 || positional[0].trimmed().isEmpty() || positional[1].isEmpty()) {
        throw TUsageError{QStringLiteral("'send' needs NUMBER and TEXT (quote a text of several words).")};
    }
    bool ok = false;
    const int seconds = parser.value(QStringLiteral("timeout")).toInt(&ok);
    if (!ok || seconds <= 0) {
        throw TUsageError{QStringLiteral("--timeout needs a number of seconds.")};
    }
    const QString path = InstancePath();
    QLocalSocket socket;
    if (!path.isEmpty()) {
        socket.connectToServer(path);
    }
    if (path.isEmpty() || !socket.waitForConnected(3000)) {
        throw TFailure{QStringLiteral("Ombrelay is not running; start it to send messages. Nothing was sent.")};
    }
    const bool waitDelivery = parser.isSet(QStringLiteral("wait-delivery"));
    socket.write(TRemoteSend::Request(positional[0], positional[1], parser.value(QStringLiteral("device")), seconds,
                                      waitDelivery)
                     .toUtf8() +
                 '\n');
    socket.flush();
    // The program answers once the modem has decided, or with "sending" after its own wait.
    const qint64 deadline = qint64(seconds + 5) * 1000;
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0) {
            throw TFailure{QStringLiteral("Ombrelay ended the connection before it answered; the message may or may "
                                          "not have been sent (see its Sent folder).")};
        }
        if (clock.elapsed() > deadline) {
            throw TFailure{QStringLiteral("Ombrelay did not answer in time; the message may still be sent.")};
        }
        socket.waitForReadyRead(200);
    }
    const QByteArray line = socket.readLine().trimmed();
    const QJsonObject answer = QJsonDocument::fromJson(line).object();
    const QString state = answer.value(QStringLiteral("state")).toString();
    const QString error = answer.value(QStringLiteral("error")).toString();
    if (state.isEmpty()) {
        throw TFailure{error.isEmpty()
                           ? QStringLiteral("Ombrelay gave no usable answer: %1").arg(QString::fromUtf8(line))
                           : error};
    }
    Out(state + QLatin1Char('\n'));
    if (state == QLatin1String("failed")) {
        Err(QStringLiteral("ombrelayctl: the message %1%2\n")
                .arg(waitDelivery ? QStringLiteral("failed") : QStringLiteral("was not sent"),
                     error.isEmpty() ? QString() : QStringLiteral(": ") + error));
        return ExitFailed;
    }
    if (waitDelivery && state != QLatin1String("delivered")) {
        const QString detail = answer.value(QStringLiteral("detail")).toString();
        Err(QStringLiteral("ombrelayctl: no delivery report within %1 seconds; the message is %2.\n")
                .arg(seconds)
                .arg(detail.isEmpty() ? state : detail));
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace

int RunMessages(const QStringList& Args)
{
    const QString command = Args.value(1);
    if (command.isEmpty()) {
        Err(QString::fromUtf8(kUsage));
        return ExitUsage;
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        Out(QString::fromUtf8(kUsage));
        return ExitOk;
    }
    // QCommandLineParser takes the first argument for the program's name.
    const QStringList rest = QStringList{QStringLiteral("ombrelayctl messages ") + command} + Args.mid(2);
    try {
        if (command == QLatin1String("list")) {
            return List(rest);
        }
        if (command == QLatin1String("search")) {
            return Search(rest);
        }
        if (command == QLatin1String("export")) {
            return Export(rest);
        }
        if (command == QLatin1String("send")) {
            return Send(rest);
        }
    } catch (const TUsageError& e) {
        Err(QStringLiteral("ombrelayctl messages %1: %2\n").arg(command, e.Text));
        return ExitUsage;
    } catch (const TFailure& e) {
        Err(QStringLiteral("ombrelayctl: %1\n").arg(e.Text));
        return ExitFailed;
    } catch (const std::exception& e) {
        Err(QStringLiteral("ombrelayctl: %1\n").arg(QString::fromUtf8(e.what())));
        return ExitFailed;
    }
    Err(QStringLiteral("ombrelayctl messages: unknown command '%1'\n\n").arg(command));
    Err(QString::fromUtf8(kUsage));
    return ExitUsage;
}

} // namespace Ombrelay::Ctl
