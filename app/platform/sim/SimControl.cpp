#include "platform/sim/SimControl.h"

#include "base/Errors.h"
#include "platform/sim/SimModem.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QRegularExpression>

#include <sys/stat.h>

namespace Ombrelay
{

namespace
{

// A command line longer than this is not a command; the connection is closed.
constexpr qint64 kMaxLine = 64 * 1024;

// The first Count - 1 words of Line and, as the last element, the rest of the line as it stands
// (so that a message text keeps its own spacing).
QStringList SplitWords(const QString& Line, int Count)
{
    QStringList r;
    qsizetype at = 0;
    const qsizetype n = Line.size();
    while (r.size() < Count - 1) {
        while (at < n && Line[at].isSpace()) {
            ++at;
        }
        if (at >= n) {
            return r;
        }
        qsizetype end = at;
        while (end < n && !Line[end].isSpace()) {
            ++end;
        }
        r << Line.mid(at, end - at);
        at = end;
    }
    while (at < n && Line[at].isSpace()) {
        ++at;
    }
    if (at < n) {
        r << Line.mid(at);
    }
    return r;
}

quint64 ReadNumber(const QString& Text, const char* What, quint64 Max)
{
    bool ok = false;
    const quint64 v = Text.toULongLong(&ok, 10);
    if (!ok || v > Max) {
        throw EOmbrelayError(
            QStringLiteral("%1 must be a whole number from 0 to %2").arg(QLatin1String(What)).arg(Max));
    }
    return v;
}

} // namespace

TSimControl::TSimControl(TSimModem& Modem, const QString& Path, QObject* Parent)
    : QObject(Parent)
    , FModem(Modem)
    , FPath(Path)
{
    const QByteArray native = QFile::encodeName(Path);
    struct stat st;
    if (::lstat(native.constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            throw EOmbrelayError(
                QStringLiteral("Simulated modem control %1: the path exists and is not a socket").arg(Path));
        }
        QLocalSocket probe;
        probe.connectToServer(Path);
        if (probe.waitForConnected(200)) {
            throw EOmbrelayError(QStringLiteral("Simulated modem control %1: another program listens there").arg(Path));
        }
        QLocalServer::removeServer(Path);
    }
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    if (!FServer.listen(Path)) {
        throw EOmbrelayError(QStringLiteral("Simulated modem control %1: %2").arg(Path, FServer.errorString()));
    }
    ::chmod(native.constData(), 0600);
    connect(&FServer, &QLocalServer::newConnection, this, &TSimControl::OnNewConnection);
}

TSimControl::~TSimControl()
{
    FServer.close();
}

void TSimControl::OnNewConnection()
{
    while (QLocalSocket* socket = FServer.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(kMaxLine);
                const QString answer = Execute(QString::fromUtf8(line).trimmed());
                socket->write(answer.toUtf8() + '\n');
            }
            if (socket->bytesAvailable() > kMaxLine) {
                socket->write("error command too long\n");
                socket->disconnectFromServer();
            }
        });
    }
}

QString TSimControl::Execute(const QString& Line)
{
    const QStringList head = SplitWords(Line, 2);
    if (head.isEmpty()) {
        return QStringLiteral("error empty command");
    }
    const QString command = head[0];
    // The Count arguments of the command; with Rest the last one is the rest of the line.
    auto args = [&](int Count, const char* Usage, bool Rest = false) {
        QStringList a = SplitWords(Line, Count + 1);
        a.removeFirst();
        if (a.size() < Count || (!Rest && SplitWords(Line, Count + 2).size() > Count + 1)) {
            throw EOmbrelayError(QStringLiteral("usage: %1").arg(QLatin1String(Usage)));
        }
        return a;
    };
    try {
        if (command == QLatin1String("interfaces")) {
            args(0, "interfaces");
            return QStringLiteral("ok %1").arg(FModem.InterfaceIDs().join(QLatin1Char(' '))).trimmed();
        }
        if (command == QLatin1String("deliver")) {
            const QStringList a = args(3, "deliver IFACE NUMBER TEXT...", true);
            return QStringLiteral("ok %1").arg(FModem.Deliver(a[0], a[1], a[2]));
        }
        if (command == QLatin1String("deliver-pdu")) {
            const QStringList a = args(2, "deliver-pdu IFACE HEX");
            FModem.DeliverPdu(a[0], a[1]);
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("report")) {
            const QStringList a = args(3, "report IFACE MR delivered|failed|pending");
            FModem.Report(a[0], int(ReadNumber(a[1], "MR", 255)), a[2]);
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("stored")) {
            const QStringList a = args(1, "stored IFACE");
            return QStringLiteral("ok %1").arg(FModem.StoredCount(a[0]));
        }
        if (command == QLatin1String("sent")) {
            const QStringList a = args(1, "sent IFACE");
            return QStringLiteral("ok %1").arg(FModem.SentPdus(a[0]).join(QLatin1Char(' '))).trimmed();
        }
        if (command == QLatin1String("signal")) {
            const QStringList a = args(2, "signal IFACE 0..31");
            FModem.SetSignal(a[0], quint32(ReadNumber(a[1], "the signal", 31)));
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("state")) {
            const QStringList a = args(1, "state IFACE");
            return QStringLiteral("ok %1").arg(FModem.StateName(a[0]));
        }
        if (command == QLatin1String("drop")) {
            // The reason is optional: "drop IFACE" as before, "drop IFACE REASON..." with one.
            QStringList a = SplitWords(Line, 3);
            a.removeFirst();
            if (a.isEmpty()) {
                throw EOmbrelayError(QStringLiteral("usage: drop IFACE [REASON...]"));
            }
            FModem.Drop(a[0], a.value(1));
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("fail")) {
            const QStringList a = args(2, "fail OPERATION N");
            FModem.Fail(a[0], int(ReadNumber(a[1], "N", 1000000)));
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("traffic")) {
            const QStringList a = args(3, "traffic IFACE RX TX");
            FModem.AddTraffic(a[0], ReadNumber(a[1], "RX", Q_UINT64_C(1) << 50),
                              ReadNumber(a[2], "TX", Q_UINT64_C(1) << 50));
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("register")) {
            const QStringList a = args(2, "register IFACE home|roaming|searching|denied|none [OPERATOR]", true);
            const QStringList stateAndName = SplitWords(a[1], 2);
            static const QList<std::pair<const char*, TMbnRegisterState>> states = {
                {"home", TMbnRegisterState::rsHome},
                {"roaming", TMbnRegisterState::rsRoaming},
                {"searching", TMbnRegisterState::rsSearching},
                {"denied", TMbnRegisterState::rsDenied},
                {"none", TMbnRegisterState::rsNotRegistered}};
            for (const auto& [name, state] : states) {
                if (stateAndName.value(0) == QLatin1String(name)) {
                    FModem.SetRegistration(a[0], state, stateAndName.value(1));
                    return QStringLiteral("ok");
                }
            }
            throw EOmbrelayError(QStringLiteral("usage: register IFACE home|roaming|searching|denied|none [OPERATOR]"));
        }
        if (command == QLatin1String("tech")) {
            const QStringList a = args(2, "tech IFACE gsm|umts|hspa|lte|5g");
            static const QList<std::pair<const char*, TMbnAccessTech>> techs = {{"gsm", TMbnAccessTech::atGsm},
                                                                                {"umts", TMbnAccessTech::atUmts},
                                                                                {"hspa", TMbnAccessTech::atHspa},
                                                                                {"lte", TMbnAccessTech::atLte},
                                                                                {"5g", TMbnAccessTech::at5GNr}};
            for (const auto& [name, tech] : techs) {
                if (a[1] == QLatin1String(name)) {
                    FModem.SetAccessTech(a[0], tech);
                    return QStringLiteral("ok");
                }
            }
            throw EOmbrelayError(QStringLiteral("usage: tech IFACE gsm|umts|hspa|lte|5g"));
        }
        if (command == QLatin1String("plug")) {
            const QStringList a = args(1, "plug IFACE");
            FModem.Plug(a[0]);
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("unplug")) {
            const QStringList a = args(1, "unplug IFACE");
            FModem.Unplug(a[0]);
            return QStringLiteral("ok");
        }
        // USSD
        if (command == QLatin1String("ussd")) {
            // The answer is the rest of the line, "\n" a line break; a last word "menu" makes
            // it a question.
            const QStringList a = args(3, "ussd IFACE CODE ANSWER... [menu]", true);
            QString answer = a[2];
            const bool menu = answer.endsWith(QLatin1String(" menu"));
            if (menu) {
                answer.chop(5);
            }
            answer.replace(QLatin1String("\\n"), QLatin1String("\n"));
            FModem.SetUssdAnswer(a[0], a[1], answer.trimmed(), menu);
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("ussd-network")) {
            const QStringList a = args(3, "ussd-network IFACE notify|request TEXT...", true);
            if (a[1] != QLatin1String("notify") && a[1] != QLatin1String("request")) {
                throw EOmbrelayError(QStringLiteral("usage: ussd-network IFACE notify|request TEXT..."));
            }
            QString text = a[2];
            text.replace(QLatin1String("\\n"), QLatin1String("\n"));
            FModem.UssdFromNetwork(a[0], text, a[1] == QLatin1String("request"));
            return QStringLiteral("ok");
        }
        // The connection: a slow network.
        if (command == QLatin1String("connect-delay")) {
            const QStringList a = args(2, "connect-delay IFACE MS");
            FModem.SetConnectDelay(a[0], int(ReadNumber(a[1], "MS", kMaxConnectDelayMs)));
            return QStringLiteral("ok");
        }
        // Locked SIM and modem power.
        if (command == QLatin1String("pin")) {
            QStringList a = SplitWords(Line, 5);
            a.removeFirst();
            if (a.size() < 2 || a.size() > 3) {
                throw EOmbrelayError(QStringLiteral("usage: pin IFACE PIN [PUK]"));
            }
            FModem.SetPin(a[0], a[1], a.value(2));
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("lock")) {
            // What the SIM asks for now and the attempts left, for tests.
            const QStringList a = args(1, "lock IFACE");
            const TMbnLockState l = FModem.LockState(a[0]);
            static const char* const names[] = {"none", "pin", "puk", "blocked"};
            return QStringLiteral("ok %1 %2").arg(QLatin1String(names[int(l.Lock)])).arg(l.AttemptsLeft);
        }
        if (command == QLatin1String("enable")) {
            const QStringList a = args(2, "enable IFACE on|off");
            if (a[1] != QLatin1String("on") && a[1] != QLatin1String("off")) {
                throw EOmbrelayError(QStringLiteral("usage: enable IFACE on|off"));
            }
            FModem.SwitchPower(a[0], a[1] == QLatin1String("on"));
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("powered")) {
            const QStringList a = args(1, "powered IFACE");
            return FModem.IsPowered(a[0]) ? QStringLiteral("ok on") : QStringLiteral("ok off");
        }
        return QStringLiteral("error unknown command %1").arg(command);
    } catch (const EOmbrelayError& e) {
        return QStringLiteral("error %1").arg(e.Message());
    }
}

} // namespace Ombrelay
