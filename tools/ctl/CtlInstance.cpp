#include "CtlInstance.h"

#include "CtlCommon.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace Ombrelay::Ctl
{

bool AskRunningProgram(const QString& Line, QString& Reply, int TimeoutMs)
{
    // The socket's place as the program makes it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty() && QDir(runtime).exists()
                               ? runtime + QStringLiteral("/ombrelay")
                               : QDir::tempPath() + QStringLiteral("/ombrelay-%1").arg(::getuid());
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        Err(QStringLiteral("ombrelayctl: the folder %1 is not a private folder of this user; the running "
                           "program was not asked.\n")
                .arg(folder));
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(folder + QStringLiteral("/instance"));
    if (!socket.waitForConnected(TimeoutMs)) {
        return false;
    }
    socket.write(Line.toUtf8() + '\n');
    socket.flush();
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const qint64 left = TimeoutMs - clock.elapsed();
        if (left <= 0 || (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)) {
            return false;
        }
        socket.waitForReadyRead(int(std::min<qint64>(left, 200)));
    }
    Reply = QString::fromUtf8(socket.readLine()).trimmed();
    return true;
}

} // namespace Ombrelay::Ctl
