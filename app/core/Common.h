#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace Ombrelay
{

class TEmitRelay;

// The name under which the program marks itself as running.
inline constexpr const char* ProgramName = "Virelle Ombrelay";

// A worker thread that sleeps between passes on a private shutdown event, so that destroying
// it wakes it at once instead of after its sleep period.
//
// The owner starts it (start()) after construction: a base constructor cannot safely run the
// derived Execute. Destruction signals the event, sets Terminated and waits until Execute has
// returned, final work included. A descendant must call StopAndWait() first thing in its own
// destructor, because its members are gone before this class's destructor runs.
class TWaitableThread : public QThread
{
    Q_OBJECT

public:
    explicit TWaitableThread(QObject* Parent = nullptr);
    ~TWaitableThread() override;

    bool Terminated() const noexcept { return FTerminated.load(std::memory_order_acquire); }
    // Sets Terminated without waking the thread: the loop ends at its next check.
    void Terminate() noexcept { FTerminated.store(true, std::memory_order_release); }
    // Ends the current wait early, as if its period had elapsed: the thread makes a pass now
    // (a thread that sleeps long while idle thus answers a change at once).
    void Wake();
    // The message of the error that ended Execute, empty while none did.
    QString FatalError() const;

Q_SIGNALS:
    // Emitted on the owner's thread when an error ends Execute.
    void Failed(const QString& Message);

protected:
    // Waits on the shutdown event for at most Ms milliseconds. True when the period elapsed or
    // Wake was called (do a pass), false when the event was signalled; the signal is consumed
    // (auto-reset).
    bool WaitForShutdown(unsigned long Ms);
    // Signals the shutdown event.
    void SignalShutdown();
    // Signal, set Terminated, wait for Execute to return. Safe to call more than once.
    void StopAndWait();

    virtual void Execute() = 0;

    // Runs Emit on the thread this object lives on (the owner's): at once when called there,
    // otherwise from the owner's event loop, in call order. The worker's signals go this way
    // rather than as queued signals: Qt hands those over under locks that a thread sanitizer
    // cannot see in a Qt not built with it, and it reported the copied arguments as races. This
    // hand-off is a standard mutex and an event descriptor, both of which it does see. An Emit
    // still waiting when this object is destroyed is dropped; destruction on another thread
    // waits for an Emit under way.
    void EmitOnOwnerThread(std::function<void()> Emit);

private:
    void run() final;

    // The standard types rather than Qt's: their waits are visible to the thread sanitizer.
    mutable std::mutex FMutex;
    std::condition_variable FShutdown;
    bool FSignalled = false;
    bool FWoken = false;
    std::atomic<bool> FTerminated{false};
    QString FFatalError;
    TEmitRelay* FEmitRelay;
};

// Creates the two markers that show the program running: a per-session one in the user's
// runtime folder and a machine-wide one. They stay open until the process ends; failures are
// not reported, and an existing marker of another instance is simply opened again. Only a
// regular file of this user is kept as a marker: whatever else sits under a marker's name (a
// FIFO, another user's file, a link) is left alone and never holds up the start.
void CreateAppMutexes(const QString& Name);
// The same with the machine-wide marker in MachineWideFolder instead of the system's lock folder.
void CreateAppMutexes(const QString& Name, const QString& MachineWideFolder);
// Closes the markers (they would close with the process anyway); for the module shut-down.
void ReleaseAppMutexes();
// The two marker paths CreateAppMutexes uses for Name (session first, then machine-wide).
QStringList AppMutexPaths(const QString& Name);
QStringList AppMutexPaths(const QString& Name, const QString& MachineWideFolder);

// Asks the login manager on the system bus to restart the computer now. Raises EOSError with
// the bus's error text when the request is refused.
void RebootSystem();

} // namespace Ombrelay
