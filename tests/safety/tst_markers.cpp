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
    QStringList result;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& entry : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        char target[4096];
        const QByteArray link = QFile::encodeName(fds.filePath(entry));
        const ssize_t n = ::readlink(link.constData(), target, sizeof(target) - 1);
        if (n > 0) {
            result << QFile::decodeName(QByteArray(target, int(n)));
        }
    }
    return result;
}

struct stat StatOf(const QString& Path)
{
    struct stat st
    {
    };
    ::lstat(QFile::encodeName(Path).constData(), &st);
    return st;
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

    const bool root = ::geteuid() == 0;
    if (Planted == QLatin1String("other user's file") && !root) {
        QSKIP("planting a file of another user needs root");
    }

    // A fresh runtime folder (private) and a shared lock folder (open to all, sticky) per row.
    const QString row = QString::number(++FRow);
    const QString runtime = FTemp.filePath(QStringLiteral("run-") + row);
    const QString shared = FTemp.filePath(QStringLiteral("lock-") + row);
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QDir().mkpath(shared));
    QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));

    const QString name = QStringLiteral("Virelle Ombrelay");
    const QStringList paths = AppMutexPaths(name, shared);
    QCOMPARE(paths.size(), 2);
    QVERIFY(paths.at(0).startsWith(runtime));
    QVERIFY(paths.at(1).startsWith(shared));
    const QString marker = paths.at(MachineWide ? 1 : 0);
    const QByteArray native = QFile::encodeName(marker);
    const QString victim = FTemp.filePath(QStringLiteral("victim-") + row);

    if (Planted == QLatin1String("own file")) {
        QFile f(marker);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (Planted == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(native.constData(), 0666), 0);
    } else if (Planted == QLatin1String("other user's file")) {
        QFile f(marker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("theirs");
        f.close();
        QCOMPARE(::chmod(native.constData(), 0644), 0);
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
    } else if (Planted == QLatin1String("link")) {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(QFile::link(victim, marker));
    } else if (Planted == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(marker));
    }
    const struct stat before = StatOf(marker);

    // On another thread, so that a start that hangs fails here instead of hanging the test.
    auto done = std::async(std::launch::async, [&] { CreateAppMutexes(name, shared); });
    const bool inTime = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!inTime) {
        // A reader blocked on the FIFO goes on once a writer opens it.
        const int writer = ::open(native.constData(), O_WRONLY | O_NONBLOCK);
        done.wait();
        if (writer >= 0) {
            ::close(writer);
        }
    }
    QVERIFY2(inTime, "the markers were not made within 5 s");

    const QStringList open = OpenFiles();
    const QString held = QFileInfo(marker).canonicalFilePath();
    QCOMPARE(open.contains(held) || open.contains(marker) || open.contains(victim), Kept);
    // The other marker is made as always.
    const QString other = paths.at(MachineWide ? 0 : 1);
    QVERIFY2(open.contains(other), qPrintable(other));

    if (Planted == QLatin1String("nothing")) {
        const struct stat after = StatOf(marker);
        QVERIFY(S_ISREG(after.st_mode));
        QCOMPARE(after.st_uid, ::geteuid());
        QCOMPARE(after.st_mode & 0022, 0u);
        return;
    }
    // What was there is left as it was.
    const struct stat after = StatOf(marker);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_size, before.st_size);
}

QTEST_GUILESS_MAIN(TestMarkers)
#include "tst_markers.moc"
