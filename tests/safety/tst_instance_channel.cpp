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
    const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    const QByteArray Native = QFile::encodeName(Path);
    std::strncpy(Address.sun_path, Native.constData(), sizeof(Address.sun_path) - 1);
    if (Fd < 0 || ::bind(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0 || ::listen(Fd, 8) != 0) {
        if (Fd >= 0) {
            ::close(Fd);
        }
        return -1;
    }
    return Fd;
}

// One line to the channel and its answer, with this thread's event loop running meanwhile (the
// channel under test lives on it); empty when nothing comes within 5 s.
QString AskHere(const QString& Line)
{
    QLocalSocket Socket;
    Socket.connectToServer(TSingleInstance::ServerPath());
    if (!Socket.waitForConnected(2000)) {
        return QString();
    }
    Socket.write(Line.toUtf8() + '\n');
    Socket.flush();
    QElapsedTimer Timer;
    Timer.start();
    while (!Socket.canReadLine() && Timer.elapsed() < 5000) {
        QTest::qWait(10);
    }
    return QString::fromUtf8(Socket.readLine()).trimmed();
}

bool IsSocket(const QString& Path)
{
    struct stat St
    {
    };
    return ::lstat(QFile::encodeName(Path).constData(), &St) == 0 && S_ISSOCK(St.st_mode);
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
    const QString Path = TSingleInstance::ServerPath();
    // What the other program left: its socket (nobody accepts on it), and its life lock only
    // while it lives.
    const int Listener = SilentListener(Path);
    QVERIFY(Listener >= 0);
    int Life = -1;
    if (OwnerLives) {
        Life =
            ::open(QFile::encodeName(Path + QStringLiteral(".alive")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(Life >= 0);
        QCOMPARE(::flock(Life, LOCK_EX | LOCK_NB), 0);
    } else {
        ::close(Listener);
    }

    QString Error;
    bool HandedOver = false;
    {
        TSingleInstance Instance;
        try {
            HandedOver = Instance.HandOverOrListen();
        } catch (const EOmbrelayError& E) {
            Error = E.Message();
        }
        if (!OwnerLives) {
            // Taken over: this one answers on the path now.
            QVERIFY2(Error.isEmpty(), qPrintable(Error));
            QVERIFY(!HandedOver);
            QCOMPARE(AskHere(QStringLiteral("anything")), QStringLiteral("error unknown command"));
        }
    }
    if (OwnerLives) {
        QVERIFY(!HandedOver);
        QVERIFY2(Error.contains(QLatin1String("does not answer")), qPrintable(Error));
        // The living program's socket is left where it was, still its own.
        QVERIFY(IsSocket(Path));
        QLocalSocket Client;
        Client.connectToServer(Path);
        QVERIFY(Client.waitForConnected(1000));
        ::close(Life);
        ::close(Listener);
    }
}

void TestInstanceChannel::clientHangsUpWhileBoxIsOpen()
{
    TSingleInstance Instance;
    QVERIFY(!Instance.HandOverOrListen());
    // Boxes are really shown: their nested event loop is what this is about.
    TMessageBox::SetAutoAnswer(QMessageBox::NoButton);

    auto* Client = new QLocalSocket(this);
    bool BoxShown = false;
    bool HandlerReturned = false;
    Instance.SetCommandHandler([&](const QString& Line) {
        if (Line != QLatin1String("box")) {
            return QStringLiteral("ok ") + Line;
        }
        // While the box is open the client hangs up; the box closes later, as the end of the
        // session closes it.
        QTimer::singleShot(100, Client, [Client] { Client->abort(); });
        QTimer::singleShot(800, qApp, [&BoxShown] {
            if (QWidget* Box = QApplication::activeModalWidget()) {
                BoxShown = true;
                Box->close();
            }
        });
        TMessageBox::Warning(nullptr, QStringLiteral("Ombrelay"), QStringLiteral("A box during a command"));
        HandlerReturned = true;
        return QStringLiteral("ok box");
    });

    Client->connectToServer(TSingleInstance::ServerPath());
    QVERIFY(Client->waitForConnected(2000));
    Client->write("box\n");
    Client->flush();
    QTRY_VERIFY_WITH_TIMEOUT(HandlerReturned, 10000);
    QVERIFY(BoxShown);
    delete Client;
    // Whatever was deleted meanwhile, the channel still serves the next client.
    QCOMPARE(AskHere(QStringLiteral("ping")), QStringLiteral("ok ping"));
}

QTEST_MAIN(TestInstanceChannel)
#include "tst_instance_channel.moc"
