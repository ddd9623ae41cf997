#include "gui/SingleInstance.h"

#include "base/Errors.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>

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
    FServer.close();
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

bool TSingleInstance::HandOverOrListen()
{
    const QString Path = ServerPath();
    // Two starts at the same moment: the lock lets one of them decide at a time.
    QLockFile Lock(Path + QStringLiteral(".lock"));
    Lock.setStaleLockTime(0);
    Lock.lock();
    if (Send(QLatin1String(SecondInstanceCommand))) {
        return true;
    }
    // Nobody answers: a socket left by a program that ended is in the way.
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
        connect(Socket, &QLocalSocket::readyRead, this, [this, Socket] {
            while (Socket->canReadLine()) {
                const QString Line = QString::fromUtf8(Socket->readLine()).trimmed();
                QString Answer;
                if (Line == QLatin1String(SecondInstanceCommand)) {
                    Answer = QStringLiteral("ok");
                    Socket->write(Answer.toUtf8() + '\n');
                    Socket->flush();
                    Q_EMIT SecondInstance();
                    continue;
                }
                Answer = FHandler ? FHandler(Line) : QStringLiteral("error unknown command");
                Socket->write(Answer.toUtf8() + '\n');
                Socket->flush();
            }
        });
    }
}

} // namespace Ombrelay
