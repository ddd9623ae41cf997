#include "gui/SingleInstance.h"

#include "base/Errors.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Ombrelay
{

namespace
{

const char* const SecondInstanceCommand = "second-instance";

// A folder only this user may enter: created 0700, or an existing one that is ours and closed
// to others. A folder of someone else (a planted one in a shared place) is never used.
QString PrivateFolder(const QString& Path)
{
    const QByteArray Native = QFile::encodeName(Path);
    if (::mkdir(Native.constData(), 0700) != 0 && errno != EEXIST) {
        throw EOSError(errno, QString::fromLocal8Bit(std::strerror(errno)), QStringLiteral("\r\n") + Path);
    }
    struct stat Info;
    if (::lstat(Native.constData(), &Info) != 0) {
        throw EOSError(errno, QString::fromLocal8Bit(std::strerror(errno)), QStringLiteral("\r\n") + Path);
    }
    if (!S_ISDIR(Info.st_mode) || Info.st_uid != ::getuid() || (Info.st_mode & 077) != 0) {
        throw EOmbrelayError(QStringLiteral("The folder %1 is not a private folder of this user.").arg(Path));
    }
    return Path;
}

} // namespace

TSingleInstance::TSingleInstance(QObject* Parent)
    : QObject(Parent)
{
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&FServer, &QLocalServer::newConnection, this, &TSingleInstance::OnNewConnection);
}

TSingleInstance::~TSingleInstance()
{
    // The socket goes first: the life lock says it is in use as long as it exists.
    FServer.close();
    if (FLifeLock >= 0) {
        ::close(FLifeLock);
    }
}

QString TSingleInstance::ServerPath()
{
    QString Base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString Folder;
    if (!Base.isEmpty() && QDir(Base).exists()) {
        Folder = PrivateFolder(Base + QStringLiteral("/ombrelay"));
    } else {
        Folder = PrivateFolder(QDir::tempPath() + QStringLiteral("/ombrelay-%1").arg(::getuid()));
    }
    return Folder + QStringLiteral("/instance");
}

bool TSingleInstance::Send(const QString& Command, QString* Reply, int TimeoutMs)
{
    QLocalSocket Socket;
    Socket.connectToServer(ServerPath());
    if (!Socket.waitForConnected(TimeoutMs)) {
        return false;
    }
    Socket.write(Command.toUtf8() + '\n');
    if (!Socket.waitForBytesWritten(TimeoutMs)) {
        return false;
    }
    while (!Socket.canReadLine()) {
        if (!Socket.waitForReadyRead(TimeoutMs)) {
            return false;
        }
    }
    if (Reply) {
        *Reply = QString::fromUtf8(Socket.readLine()).trimmed();
    }
    return true;
}

namespace
{

// Whether a program holds the life lock next to Path. A program holds it from before it listens
// until it ends, and the system drops it with the process, however it ends.
enum class TLifeLock
{
    Taken, // nobody held it: this start holds it now, in Fd
    Held,  // a program lives
    Unknown,
};

TLifeLock TakeLifeLock(const QString& Path, int& Fd)
{
    Fd = ::open(QFile::encodeName(Path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (Fd < 0) {
        return TLifeLock::Unknown;
    }
    if (::flock(Fd, LOCK_EX | LOCK_NB) == 0) {
        return TLifeLock::Taken;
    }
    const int Error = errno;
    ::close(Fd);
    Fd = -1;
    return Error == EWOULDBLOCK ? TLifeLock::Held : TLifeLock::Unknown;
}

} // namespace

bool TSingleInstance::HandOverOrListen()
{
    const QString Path = ServerPath();
    // Two starts at the same moment: the lock lets one of them decide at a time.
    QLockFile Lock(Path + QStringLiteral(".lock"));
    Lock.setStaleLockTime(0);
    Lock.lock();
    int Fd = -1;
    const TLifeLock Life = TakeLifeLock(Path + QStringLiteral(".alive"), Fd);
    // Asked even when the life lock was free, for a program of an earlier release that keeps none;
    // where no socket or only a stale one exists, the connection is refused at once.
    if (Send(QLatin1String(SecondInstanceCommand))) {
        if (Fd >= 0) {
            ::close(Fd);
        }
        return true;
    }
    if (Life == TLifeLock::Held) {
        // The program runs but is busy or stopped: taking its socket would put two programs on
        // one database.
        throw EOmbrelayError(QStringLiteral("Ombrelay is already running but does not answer. Wait a moment "
                                            "and start it again, or end the running program first."));
    }
    // Nobody holds the life lock: the socket, if any, was left by a program that ended.
    FLifeLock = Fd;
    QLocalServer::removeServer(Path);
    if (!FServer.listen(Path)) {
        throw EOmbrelayError(QStringLiteral("Cannot listen on %1: %2").arg(Path, FServer.errorString()));
    }
    return false;
}

void TSingleInstance::OnNewConnection()
{
    while (QLocalSocket* Socket = FServer.nextPendingConnection()) {
        connect(Socket, &QLocalSocket::disconnected, Socket, &QObject::deleteLater);
        connect(Socket, &QLocalSocket::readyRead, this, [this, Socket] { OnReadyRead(Socket); });
    }
}

void TSingleInstance::OnReadyRead(QLocalSocket* Socket)
{
    // A handler may open a modal box; the client can hang up meanwhile, and the nested event
    // loop then deletes the socket before the handler returns.
    const QPointer<QLocalSocket> Guard(Socket);
    while (Guard && Guard->canReadLine()) {
        const QString Line = QString::fromUtf8(Guard->readLine()).trimmed();
        QString Answer;
        if (Line == QLatin1String(SecondInstanceCommand)) {
            Answer = QStringLiteral("ok");
            Guard->write(Answer.toUtf8() + '\n');
            Guard->flush();
            Q_EMIT SecondInstance();
            continue;
        }
        Answer = FHandler ? FHandler(Line) : QStringLiteral("error unknown command");
        if (!Guard) {
            return;
        }
        Guard->write(Answer.toUtf8() + '\n');
        Guard->flush();
    }
}

} // namespace Ombrelay
