#pragma once

// A small HTTP server on loopback for tests of the online monitor.

#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

namespace Ombrelay
{

// A small HTTP server on a thread of its own: "/status/NNN" answers NNN with an empty body,
// "/hang" accepts and never answers. It keeps the request lines it saw. The test talks to it
// only through standard atomics and mutexes, so that the thread sanitizer sees every hand-over.
class THttpServer
{
public:
    THttpServer()
    {
        std::promise<void> ready;
        std::future<void> started = ready.get_future();
        FThread = std::thread([this, &ready] { Run(ready); });
        started.wait();
    }
    ~THttpServer()
    {
        FStop = true;
        FThread.join();
    }

    QString Url(const QString& Path, bool V6 = false) const
    {
        return V6 ? QStringLiteral("http://[::1]:%1%2").arg(FPort6.load()).arg(Path)
                  : QStringLiteral("http://127.0.0.1:%1%2").arg(FPort4.load()).arg(Path);
    }
    QStringList Requests() const
    {
        std::lock_guard<std::mutex> lock(FMutex);
        return FRequests;
    }
    void ClearRequests()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FRequests.clear();
    }

private:
    void Run(std::promise<void>& Ready)
    {
        QEventLoop loop;
        QTcpServer server4;
        QTcpServer server6;
        server4.listen(QHostAddress::LocalHost);
        server6.listen(QHostAddress::LocalHostIPv6);
        FPort4 = server4.serverPort();
        FPort6 = server6.serverPort();
        QHash<QTcpSocket*, QByteArray> buffers;
        for (QTcpServer* server : {&server4, &server6}) {
            QObject::connect(server, &QTcpServer::newConnection, &loop, [&, server] {
                while (QTcpSocket* socket = server->nextPendingConnection()) {
                    socket->setParent(&loop);
                    QObject::connect(socket, &QTcpSocket::readyRead, &loop,
                                     [&, socket] { Serve(socket, buffers[socket]); });
                }
            });
        }
        QTimer stop;
        QObject::connect(&stop, &QTimer::timeout, &loop, [&] {
            if (FStop) {
                loop.quit();
            }
        });
        stop.start(10);
        Ready.set_value();
        loop.exec();
        qDeleteAll(loop.findChildren<QTcpSocket*>());
    }

    void Serve(QTcpSocket* Socket, QByteArray& Buffer)
    {
        Buffer += Socket->readAll();
        if (!Buffer.contains("\r\n\r\n")) {
            return;
        }
        const QByteArray line = Buffer.left(Buffer.indexOf("\r\n"));
        Buffer.clear();
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FRequests.append(QString::fromLatin1(line));
        }
        const QByteArray path = line.split(' ').value(1);
        if (path == "/hang") {
            return;
        }
        const int status = path.startsWith("/status/") ? path.mid(8).toInt() : 404;
        Socket->write("HTTP/1.1 " + QByteArray::number(status) +
                      " Test\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        Socket->disconnectFromHost();
    }

    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<quint16> FPort4{0};
    std::atomic<quint16> FPort6{0};
    mutable std::mutex FMutex;
    QStringList FRequests;
};

} // namespace Ombrelay
