// The single-instance channel in one process: who may take the socket over, and a client that
// hangs up while its command has a modal box open.

#include "base/Errors.h"
#include "gui/MessageBox.h"
#include "gui/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace Ombrelay;

namespace
{

// A socket bound at Path that listens but never accepts: connections wait in its backlog, as
// with a program that is stopped or busy. Returns the descriptor.
int SilentListener(const QString& Path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(Path);
    std::strncpy(address.sun_path, native.constData(), sizeof(address.sun_path) - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 8) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

// One line to the channel and its answer, with this thread's event loop running meanwhile (the
// channel under test lives on it); empty when nothing comes within 5 s.
QString AskHere(const QString& Line)
{
    QLocalSocket socket;
    socket.connectToServer(TSingleInstance::ServerPath());
    if (!socket.waitForConnected(2000)) {
        return QString();
    }
    socket.write(Line.toUtf8() + '\n');
    socket.flush();
    QElapsedTimer timer;
    timer.start();
    while (!socket.canReadLine() && timer.elapsed() < 5000) {
        QTest::qWait(10);
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

bool IsSocket(const QString& Path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(Path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

class TestInstanceChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void takeOverOnlyWhenTheOwnerIsGone_data();
    void takeOverOnlyWhenTheOwnerIsGone();
    void clientHangsUpWhileBoxIsOpen();

private:
    std::unique_ptr<QTemporaryDir> FRuntime;
};

void TestInstanceChannel::init()
{
    FRuntime = std::make_unique<QTemporaryDir>();
    QVERIFY(FRuntime->isValid());
    QCOMPARE(::chmod(QFile::encodeName(FRuntime->path()).constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(FRuntime->path()));
}

void TestInstanceChannel::cleanup()
{
    TMessageBox::SetAutoAnswer(QMessageBox::NoButton);
    FRuntime.reset();
}

void TestInstanceChannel::takeOverOnlyWhenTheOwnerIsGone_data()
{
    QTest::addColumn<bool>("OwnerLives");
    QTest::newRow("socket of a program that ended") << false;
    QTest::newRow("program lives but does not answer") << true;
}

void TestInstanceChannel::takeOverOnlyWhenTheOwnerIsGone()
{
    QFETCH(bool, OwnerLives);
    const QString path = TSingleInstance::ServerPath();
    // What the other program left: its socket (nobody accepts on it), and its life lock only
    // while it lives.
    const int listener = SilentListener(path);
    QVERIFY(listener >= 0);
    int life = -1;
    if (OwnerLives) {
        life =
            ::open(QFile::encodeName(path + QStringLiteral(".alive")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(life >= 0);
        QCOMPARE(::flock(life, LOCK_EX | LOCK_NB), 0);
    } else {
        ::close(listener);
    }

    QString error;
    bool handedOver = false;
    {
        TSingleInstance instance;
        try {
            handedOver = instance.HandOverOrListen();
        } catch (const EOmbrelayError& e) {
            error = e.Message();
        }
        if (!OwnerLives) {
            // Taken over: this one answers on the path now.
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(!handedOver);
            QCOMPARE(AskHere(QStringLiteral("anything")), QStringLiteral("error unknown command"));
        }
    }
    if (OwnerLives) {
        QVERIFY(!handedOver);
        QVERIFY2(error.contains(QLatin1String("does not answer")), qPrintable(error));
        // The living program's socket is left where it was, still its own.
        QVERIFY(IsSocket(path));
        QLocalSocket client;
        client.connectToServer(path);
        QVERIFY(client.waitForConnected(1000));
        ::close(life);
        ::close(listener);
    }
}

void TestInstanceChannel::clientHangsUpWhileBoxIsOpen()
{
    TSingleInstance instance;
    QVERIFY(!instance.HandOverOrListen());
    // Boxes are really shown: their nested event loop is what this is about.
    TMessageBox::SetAutoAnswer(QMessageBox::NoButton);

    auto* client = new QLocalSocket(this);
    bool boxShown = false;
    bool handlerReturned = false;
    instance.SetCommandHandler([&](const QString& Line) {
        if (Line != QLatin1String("box")) {
            return QStringLiteral("ok ") + Line;
        }
        // While the box is open the client hangs up; the box closes later, as the end of the
        // session closes it.
        QTimer::singleShot(100, client, [client] { client->abort(); });
        QTimer::singleShot(800, qApp, [&boxShown] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                boxShown = true;
                box->close();
            }
        });
        TMessageBox::Warning(nullptr, QStringLiteral("Ombrelay"), QStringLiteral("A box during a command"));
        handlerReturned = true;
        return QStringLiteral("ok box");
    });

    client->connectToServer(TSingleInstance::ServerPath());
    QVERIFY(client->waitForConnected(2000));
    client->write("box\n");
    client->flush();
    QTRY_VERIFY_WITH_TIMEOUT(handlerReturned, 10000);
    QVERIFY(boxShown);
    delete client;
    // Whatever was deleted meanwhile, the channel still serves the next client.
    QCOMPARE(AskHere(QStringLiteral("ping")), QStringLiteral("ok ping"));
}

QTEST_MAIN(TestInstanceChannel)
#include "tst_instance_channel.moc"
