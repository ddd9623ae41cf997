#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include <functional>

namespace Ombrelay
{

// One running program per user and desktop session. The first start listens on a local socket
// in a private runtime folder of the user; a later start finds it there, sends one request and
// ends. Commands other than the second-start request are answered only when a handler for them
// is set.
class TSingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit TSingleInstance(QObject* Parent = nullptr);
    ~TSingleInstance() override;

    // The socket path: $XDG_RUNTIME_DIR/ombrelay/instance (or a private folder in the temporary
    // directory); the folder is created 0700 and refused when another user owns it or others
    // may enter it. Raises EOmbrelayError when no private folder can be had.
    static QString ServerPath();

    // Sends Command to a running instance; true when it answered. Reply gets its answer.
    static bool Send(const QString& Command, QString* Reply = nullptr, int TimeoutMs = 3000);

    // True when another instance runs and took the second-start request; otherwise this one
    // starts listening and false is returned. A socket is taken over only when the program that
    // made it is gone (its life lock is free); when it lives but does not answer in time, this
    // raises EOmbrelayError and leaves its socket alone.
    bool HandOverOrListen();

    using TCommandHandler = std::function<QString(const QString& Command)>;
    // Handles any command but the second-start request; its result is the answer line.
    void SetCommandHandler(TCommandHandler Handler) { FHandler = std::move(Handler); }

    using TReply = std::function<void(const QString& Answer)>;
    // Handles a command whose answer comes later (a message's state once the device decided):
    // returns false for a command it does not take; Reply writes the answer line, or nothing when
    // the client has gone. Asked before the command handler.
    using TDeferredHandler = std::function<bool(const QString& Command, TReply Reply)>;
    void SetDeferredCommandHandler(TDeferredHandler Handler) { FDeferredHandler = std::move(Handler); }

Q_SIGNALS:
    void SecondInstance();

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* Socket);

    QLocalServer FServer;
    TCommandHandler FHandler;
    TDeferredHandler FDeferredHandler;
    // Held (flock) from before listening until the end: while it is held, the program lives.
    int FLifeLock = -1;
};

} // namespace Ombrelay
