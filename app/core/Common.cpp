#include "core/Common.h"

#include "base/Errors.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <mutex>
#include <vector>

namespace Ombrelay
{

// Carries a worker's emissions to the thread its object lives on. It lives on that thread too,
// and it outlives a thread object destroyed on another thread: it then goes with deleteLater.
class TEmitRelay : public QObject
{
public:
    TEmitRelay()
        : FFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        // Without a descriptor (none left) the worker's signals are lost, never its work.
        if (FFd >= 0) {
            auto* notifier = new QSocketNotifier(FFd, QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, &TEmitRelay::Deliver);
        }
    }

    ~TEmitRelay() override
    {
        qDeleteAll(children());
        if (FFd >= 0) {
            ::close(FFd);
        }
    }

    void Post(std::function<void()> Emit)
    {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (FDetached) {
                return;
            }
            FPending.push_back(std::move(Emit));
        }
        if (FFd >= 0) {
            const quint64 one = 1;
            // Only a full counter refuses, and then a wake-up is pending anyway.
            [[maybe_unused]] const ssize_t written = ::write(FFd, &one, sizeof one);
        }
    }

    // Drops what waits and waits for a delivery under way on the owner's thread. On that thread
    // itself (a receiver destroying the thread object) the recursive lock lets it through.
    void Detach()
    {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FDetached = true;
            FPending.clear();
        }
        std::lock_guard<std::recursive_mutex> delivering(FDelivering);
    }

    // Whether it may be deleted at once: on its own thread and not from inside a delivery.
    bool DeletableNow() const { return QThread::currentThread() == thread() && !FInDelivery; }

private:
    void Deliver()
    {
        quint64 count = 0;
        [[maybe_unused]] const ssize_t got = ::read(FFd, &count, sizeof count);
        std::lock_guard<std::recursive_mutex> delivering(FDelivering);
        std::vector<std::function<void()>> pending;
        {
            std::lock_guard<std::mutex> lock(FMutex);
            pending.swap(FPending);
        }
        FInDelivery = true;
        for (const auto& call : pending) {
            {
                std::lock_guard<std::mutex> lock(FMutex);
                if (FDetached) {
                    break;
                }
            }
            call();
        }
        FInDelivery = false;
    }

    std::mutex FMutex;
    std::recursive_mutex FDelivering;
    std::vector<std::function<void()>> FPending;
    bool FDetached = false;
    bool FInDelivery = false;
    int FFd;
};

TWaitableThread::TWaitableThread(QObject* Parent)
    : QThread(Parent)
    , FEmitRelay(new TEmitRelay)
{
}

TWaitableThread::~TWaitableThread()
{
    StopAndWait();
    FEmitRelay->Detach();
    if (FEmitRelay->DeletableNow()) {
        delete FEmitRelay;
    } else {
        FEmitRelay->deleteLater();
    }
}

void TWaitableThread::EmitOnOwnerThread(std::function<void()> Emit)
{
    if (QThread::currentThread() == thread()) {
        Emit();
        return;
    }
    FEmitRelay->Post(std::move(Emit));
}

void TWaitableThread::StopAndWait()
{
    // The event is signalled before Terminated is set: a thread in the middle of a pass then
    // finishes it, finds the event signalled at its next wait and leaves at once.
    SignalShutdown();
    Terminate();
    wait();
    // QThread::wait orders through Qt's own locks; taking the mutex that run() takes last makes
    // the same order visible to the standard library and to the thread sanitizer.
    std::lock_guard<std::mutex> lock(FMutex);
}

QString TWaitableThread::FatalError() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FFatalError;
}

bool TWaitableThread::WaitForShutdown(unsigned long Ms)
{
    std::unique_lock<std::mutex> lock(FMutex);
    // The predicate form, because a wait condition may wake without a signal.
    FShutdown.wait_for(lock, std::chrono::milliseconds(Ms), [this] { return FSignalled || FWoken; });
    FWoken = false;
    if (!FSignalled) {
        return true;
    }
    FSignalled = false;
    return false;
}

void TWaitableThread::Wake()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FWoken = true;
    }
    FShutdown.notify_all();
}

void TWaitableThread::SignalShutdown()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FSignalled = true;
    }
    FShutdown.notify_all();
}

void TWaitableThread::run()
{
    // An error ends only this thread; it is kept with the thread object and reported once.
    QString message;
    try {
        Execute();
        std::lock_guard<std::mutex> lock(FMutex);
        return;
    } catch (const EOmbrelayError& e) {
        message = e.Message();
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FFatalError = message;
    }
    EmitOnOwnerThread([this, message] { Q_EMIT Failed(message); });
    std::lock_guard<std::mutex> lock(FMutex);
}

namespace
{

// Markers stay open for the life of the process.
std::mutex g_markerMutex;
std::vector<int> g_markers;

QString MarkerFileName(const QString& Name)
{
    QString result = Name;
    result.replace(QLatin1Char('/'), QLatin1Char('_'));
    return result;
}

// A folder only this user can use: owned by us, not a link, no access for others.
bool IsPrivateFolder(const QByteArray& Path)
{
    struct stat st
    {
    };
    return ::lstat(Path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

QString SessionFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && IsPrivateFolder(runtime)) {
        return QString::fromLocal8Bit(runtime);
    }
    const QByteArray fallback = QByteArray("/tmp/ombrelay-") + QByteArray::number(::geteuid());
    if (::mkdir(fallback.constData(), 0700) != 0 && errno != EEXIST) {
        return QString();
    }
    // Someone else may have made it first: then it is not ours to use.
    return IsPrivateFolder(fallback) ? QString::fromLocal8Bit(fallback) : QString();
}

QString MachineFolder()
{
    struct stat st
    {
    };
    if (::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode)) {
        return QStringLiteral("/run/lock");
    }
    return QStringLiteral("/tmp");
}

// A marker we may keep: a plain file of ours. Anything else (a FIFO, a device, another user's
// file) was put there by someone else, and the start goes on without that marker.
bool IsOwnRegularFile(const struct stat& St)
{
    return S_ISREG(St.st_mode) && St.st_uid == ::geteuid();
}

void OpenMarker(const QString& Path, mode_t Mode)
{
    if (Path.isEmpty()) {
        return;
    }
    const QByteArray native = QFile::encodeName(Path);
    struct stat st
    {
    };
    // Look before opening, so that nothing planted is ever opened at all.
    if (::lstat(native.constData(), &st) == 0 && !IsOwnRegularFile(st)) {
        return;
    }
    // Never through a link, and never waiting: a FIFO swapped in after the look would block an
    // open without O_NONBLOCK until someone writes to it. A marker of another instance is
    // opened again as it is.
    const int fd = ::open(native.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, Mode);
    if (fd < 0) {
        return;
    }
    if (::fstat(fd, &st) != 0 || !IsOwnRegularFile(st)) {
        ::close(fd);
        return;
    }
    // A shared lock lets a tool see whether any instance still runs; the program never asks.
    (void)::flock(fd, LOCK_SH | LOCK_NB);
    std::lock_guard<std::mutex> lock(g_markerMutex);
    g_markers.push_back(fd);
}

int ErrnoForBusError(const QString& Name)
{
    if (Name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        Name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") ||
        Name == QLatin1String("org.freedesktop.DBus.Error.AuthFailed")) {
        return EPERM;
    }
    if (Name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        Name == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
        return ETIMEDOUT;
    }
    if (Name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        Name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        Name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        Name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")) {
        return ENOSYS;
    }
    if (Name == QLatin1String("org.freedesktop.DBus.Error.NoServer") ||
        Name == QLatin1String("org.freedesktop.DBus.Error.Disconnected")) {
        return ECONNREFUSED;
    }
    return EIO;
}

[[noreturn]] void RaiseBusError(const QDBusError& Error)
{
    const QString name = Error.name().isEmpty() ? QStringLiteral("org.freedesktop.DBus.Error.Failed") : Error.name();
    const QString text =
        Error.message().isEmpty() ? QStringLiteral("The restart request was refused.") : Error.message();
    throw EOSError(ErrnoForBusError(name), text, QStringLiteral(" (%1)").arg(name));
}

} // namespace

QStringList AppMutexPaths(const QString& Name)
{
    return AppMutexPaths(Name, MachineFolder());
}

QStringList AppMutexPaths(const QString& Name, const QString& MachineWideFolder)
{
    const QString file = MarkerFileName(Name);
    const QString session = SessionFolder();
    return {session.isEmpty() ? QString() : session + QLatin1Char('/') + file,
            MachineWideFolder + QStringLiteral("/Global-") + file};
}

void CreateAppMutexes(const QString& Name)
{
    CreateAppMutexes(Name, MachineFolder());
}

void CreateAppMutexes(const QString& Name, const QString& MachineWideFolder)
{
    const QStringList paths = AppMutexPaths(Name, MachineWideFolder);
    OpenMarker(paths.at(0), 0600);
    OpenMarker(paths.at(1), 0644);
}

void ReleaseAppMutexes()
{
    std::lock_guard<std::mutex> lock(g_markerMutex);
    for (const int fd : g_markers) {
        ::close(fd);
    }
    g_markers.clear();
}

void RebootSystem()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        RaiseBusError(bus.lastError());
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                       QStringLiteral("/org/freedesktop/login1"),
                                       QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"));
    // Not interactive: a request that would need a password prompt is refused, not left open.
    call << false;
    const QDBusMessage reply = bus.call(call, QDBus::Block);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        RaiseBusError(QDBusError(reply));
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        RaiseBusError(bus.lastError());
    }
}

} // namespace Ombrelay
