// The running markers against what others can put under their names in a shared lock folder
// (mode 1777, like /run/lock) or in the runtime folder: nothing found there may hold up the
// start, and nothing but a plain file of this user is kept as a marker.

#include "core/Common.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

using namespace Ombrelay;

namespace
{

// The files this process holds open, as the system names them.
QStringList OpenFiles()
{
    QStringList Result;
    const QDir Fds(QStringLiteral("/proc/self/fd"));
    for (const QString& Entry : Fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        char Target[4096];
        const QByteArray Link = QFile::encodeName(Fds.filePath(Entry));
        const ssize_t N = ::readlink(Link.constData(), Target, sizeof(Target) - 1);
        if (N > 0) {
            Result << QFile::decodeName(QByteArray(Target, int(N)));
        }
    }
    return Result;
}

struct stat StatOf(const QString& Path)
{
    struct stat St
    {
    };
    ::lstat(QFile::encodeName(Path).constData(), &St);
    return St;
}

} // namespace

class TestMarkers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void plantedMarker_data();
    void plantedMarker();

private:
    QTemporaryDir FTemp;
    int FRow = 0;
};

void TestMarkers::initTestCase()
{
    QVERIFY(FTemp.isValid());
}

void TestMarkers::cleanup()
{
    ReleaseAppMutexes();
}

void TestMarkers::plantedMarker_data()
{
    QTest::addColumn<bool>("MachineWide");
    QTest::addColumn<QString>("Planted");
    QTest::addColumn<bool>("Kept");

    QTest::newRow("machine-wide: nothing there") << true << "nothing" << true;
    QTest::newRow("machine-wide: our own file") << true << "own file" << true;
    QTest::newRow("machine-wide: FIFO") << true << "fifo" << false;
    QTest::newRow("machine-wide: another user's file") << true << "other user's file" << false;
    QTest::newRow("machine-wide: link to a file of ours") << true << "link" << false;
    QTest::newRow("machine-wide: folder") << true << "folder" << false;
    QTest::newRow("session: FIFO") << false << "fifo" << false;
    QTest::newRow("session: another user's file") << false << "other user's file" << false;
}

void TestMarkers::plantedMarker()
{
    QFETCH(bool, MachineWide);
    QFETCH(QString, Planted);
    QFETCH(bool, Kept);

    const bool Root = ::geteuid() == 0;
    if (Planted == QLatin1String("other user's file") && !Root) {
        QSKIP("planting a file of another user needs root");
    }

    // A fresh runtime folder (private) and a shared lock folder (open to all, sticky) per row.
    const QString Row = QString::number(++FRow);
    const QString Runtime = FTemp.filePath(QStringLiteral("run-") + Row);
    const QString Shared = FTemp.filePath(QStringLiteral("lock-") + Row);
    QVERIFY(QDir().mkpath(Runtime));
    QVERIFY(QDir().mkpath(Shared));
    QCOMPARE(::chmod(QFile::encodeName(Runtime).constData(), 0700), 0);
    QCOMPARE(::chmod(QFile::encodeName(Shared).constData(), 01777), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Runtime));

    const QString Name = QStringLiteral("Virelle Ombrelay");
    const QStringList Paths = AppMutexPaths(Name, Shared);
    QCOMPARE(Paths.size(), 2);
    QVERIFY(Paths.at(0).startsWith(Runtime));
    QVERIFY(Paths.at(1).startsWith(Shared));
    const QString Marker = Paths.at(MachineWide ? 1 : 0);
    const QByteArray Native = QFile::encodeName(Marker);
    const QString Victim = FTemp.filePath(QStringLiteral("victim-") + Row);

    if (Planted == QLatin1String("own file")) {
        QFile F(Marker);
        QVERIFY(F.open(QIODevice::WriteOnly));
    } else if (Planted == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(Native.constData(), 0666), 0);
    } else if (Planted == QLatin1String("other user's file")) {
        QFile F(Marker);
        QVERIFY(F.open(QIODevice::WriteOnly));
        F.write("theirs");
        F.close();
        QCOMPARE(::chmod(Native.constData(), 0644), 0);
        QCOMPARE(::chown(Native.constData(), 65534, 65534), 0);
    } else if (Planted == QLatin1String("link")) {
        QFile F(Victim);
        QVERIFY(F.open(QIODevice::WriteOnly));
        F.close();
        QVERIFY(QFile::link(Victim, Marker));
    } else if (Planted == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(Marker));
    }
    const struct stat Before = StatOf(Marker);

    // On another thread, so that a start that hangs fails here instead of hanging the test.
    auto Done = std::async(std::launch::async, [&] { CreateAppMutexes(Name, Shared); });
    const bool InTime = Done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!InTime) {
        // A reader blocked on the FIFO goes on once a writer opens it.
        const int Writer = ::open(Native.constData(), O_WRONLY | O_NONBLOCK);
        Done.wait();
        if (Writer >= 0) {
            ::close(Writer);
        }
    }
    QVERIFY2(InTime, "the markers were not made within 5 s");

    const QStringList Open = OpenFiles();
    const QString Held = QFileInfo(Marker).canonicalFilePath();
    QCOMPARE(Open.contains(Held) || Open.contains(Marker) || Open.contains(Victim), Kept);
    // The other marker is made as always.
    const QString Other = Paths.at(MachineWide ? 0 : 1);
    QVERIFY2(Open.contains(Other), qPrintable(Other));

    if (Planted == QLatin1String("nothing")) {
        const struct stat After = StatOf(Marker);
        QVERIFY(S_ISREG(After.st_mode));
        QCOMPARE(After.st_uid, ::geteuid());
        QCOMPARE(After.st_mode & 0022, 0u);
        return;
    }
    // What was there is left as it was.
    const struct stat After = StatOf(Marker);
    QCOMPARE(After.st_mode, Before.st_mode);
    QCOMPARE(After.st_uid, Before.st_uid);
    QCOMPARE(After.st_ino, Before.st_ino);
    QCOMPARE(After.st_size, Before.st_size);
}

QTEST_GUILESS_MAIN(TestMarkers)
#include "tst_markers.moc"
