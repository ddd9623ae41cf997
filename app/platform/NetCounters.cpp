#include "platform/NetCounters.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace Ombrelay
{

namespace
{

// Reads a small file whole; false when it cannot be opened or read.
bool ReadSmallFile(const QByteArray& Path, QByteArray& Content)
{
    const int fd = ::open(Path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[4096];
    ssize_t got = 0;
    do {
        got = ::read(fd, buffer, sizeof(buffer));
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got < 0) {
        return false;
    }
    Content = QByteArray(buffer, static_cast<int>(got));
    return true;
}

bool ReadNumberFile(const QByteArray& Path, quint64& Value)
{
    QByteArray text;
    if (!ReadSmallFile(Path, text)) {
        return false;
    }
    bool ok = false;
    Value = text.trimmed().toULongLong(&ok);
    return ok;
}

// The folder of interface Name under Root; empty when Name would lead anywhere else.
QByteArray InterfacePath(const QString& Root, const QString& Name)
{
    if (Name.isEmpty() || Name.contains(QLatin1Char('/')) || Name == QLatin1String(".") ||
        Name == QLatin1String("..")) {
        return QByteArray();
    }
    return QFile::encodeName(Root) + '/' + QFile::encodeName(Name);
}

} // namespace

bool ListNetInterfaces(const QString& Root, QList<TNetInterfaceEntry>& Entries)
{
    DIR* dir = ::opendir(QFile::encodeName(Root).constData());
    if (dir == nullptr) {
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        Entries.append({QFile::decodeName(entry->d_name), static_cast<quint64>(entry->d_ino)});
    }
    ::closedir(dir);
    return true;
}

bool NetInterfaceHasDevType(const QString& Root, const QString& Name, const QByteArray& DevType)
{
    const QByteArray base = InterfacePath(Root, Name);
    QByteArray uevent;
    if (base.isEmpty() || !ReadSmallFile(base + "/uevent", uevent)) {
        return false;
    }
    const QByteArray wanted = "DEVTYPE=" + DevType;
    for (const QByteArray& line : uevent.split('\n')) {
        if (line.trimmed() == wanted) {
            return true;
        }
    }
    return false;
}

bool ReadNetCounters(const QString& Root, const QString& Name, TNetCounters& Counters)
{
    const QByteArray base = InterfacePath(Root, Name);
    if (base.isEmpty()) {
        return false;
    }
    TNetCounters r;
    r.HasIfIndex = ReadNumberFile(base + "/ifindex", r.IfIndex);
    if (!ReadNumberFile(base + "/statistics/rx_bytes", r.RxBytes) ||
        !ReadNumberFile(base + "/statistics/tx_bytes", r.TxBytes)) {
        return false;
    }
    Counters = r;
    return true;
}

} // namespace Ombrelay
