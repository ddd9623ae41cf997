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
    const QByteArray native = QFile::encodeName(Path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        throw EOSError(errno, QString::fromLocal8Bit(std::strerror(errno)), QStringLiteral("\r\n") + Path);
    }
    struct stat info;
    if (::lstat(native.constData(), &info) != 0) {
        throw EOSError(errno, QString::fromLocal8Bit(std::strerror(errno)), QStringLiteral("\r\n") + Path);
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        throw EOmbrelayError(TSingleInstance::tr("The folder %1 is not a private folder of this user.").arg(Path));
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
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder;
    if (!base.isEmpty() && QDir(base).exists()) {
        folder = PrivateFolder(base + QStringLiteral("/ombrelay"));
    } else {
        folder = PrivateFolder(QDir::tempPath() + QStringLiteral("/ombrelay-%1").arg(::getuid()));
    }
    return folder + QStringLiteral("/instance");
}

bool TSingleInstance::Send(const QString& Command, QString* Reply, int TimeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(ServerPath());
    if (!socket.waitForConnected(TimeoutMs)) {
        return false;
    }
    socket.write(Command.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(TimeoutMs)) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(TimeoutMs)) {
            return false;
        }
    }
    if (Reply) {
        *Reply = QString::fromUtf8(socket.readLine()).trimmed();
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
    const int error = errno;
    ::close(Fd);
    Fd = -1;
    return error == EWOULDBLOCK ? TLifeLock::Held : TLifeLock::Unknown;
}

} // namespace

bool TSingleInstance::HandOverOrListen()
{
    const QString path = ServerPath();
    // Two starts at the same moment: the lock lets one of them decide at a time.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    lock.lock();
    int fd = -1;
    const TLifeLock life = TakeLifeLock(path + QStringLiteral(".alive"), fd);
    // Asked even when the life lock was free, for a program of an earlier release that keeps none;
    // where no socket or only a stale one exists, the connection is refused at once.
    if (Send(QLatin1String(SecondInstanceCommand))) {
        if (fd >= 0) {
            ::close(fd);
        }
        return true;
    }
    if (life == TLifeLock::Held) {
        // The program runs but is busy or stopped: taking its socket would put two programs on
        // one database.
        throw EOmbrelayError(tr("Ombrelay is already running but does not answer. Wait a moment "
                                "and start it again, or end the running program first."));
    }
    // Nobody holds the life lock: the socket, if any, was left by a program that ended.
    FLifeLock = fd;
    QLocalServer::removeServer(path);
    if (!FServer.listen(path)) {
        throw EOmbrelayError(tr("Cannot listen on %1: %2").arg(path, FServer.errorString()));
    }
    return false;
}

void TSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = FServer.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
    }
}

void TSingleInstance::OnReadyRead(QLocalSocket* Socket)
{
    // A handler may open a modal box; the client can hang up meanwhile, and the nested event
    // loop then deletes the socket before the handler returns.
    const QPointer<QLocalSocket> guard(Socket);
    while (guard && guard->canReadLine()) {
        const QString line = QString::fromUtf8(guard->readLine()).trimmed();
        QString answer;
        if (line == QLatin1String(SecondInstanceCommand)) {
            answer = QStringLiteral("ok");
            guard->write(answer.toUtf8() + '\n');
            guard->flush();
            Q_EMIT SecondInstance();
            continue;
        }
        if (FDeferredHandler && FDeferredHandler(line, [guard](const QString& Answer) {
                if (guard) {
                    guard->write(Answer.toUtf8() + '\n');
                    guard->flush();
                }
            })) {
            continue;
        }
        if (!guard) {
            return;
        }
        answer = FHandler ? FHandler(line) : QStringLiteral("error unknown command");
        if (!guard) {
            return;
        }
        guard->write(answer.toUtf8() + '\n');
        guard->flush();
    }
}

} // namespace Ombrelay
