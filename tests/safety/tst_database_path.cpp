// Whether the open database is still the file at its path: deleted, moved away, replaced by
// another file or its folder removed, it is not (what is committed there no later start reads);
// moved back, it is again, and the user is told once per time it went.

#include "core/DB.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace Ombrelay;

class TestDatabasePath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leavesItsPath_data();
    void leavesItsPath();
};

void TestDatabasePath::leavesItsPath_data()
{
    QTest::addColumn<QString>("Change");
    QTest::addColumn<bool>("StillThere");
    QTest::newRow("left alone") << QStringLiteral("none") << true;
    QTest::newRow("written to") << QStringLiteral("write") << true;
    QTest::newRow("deleted") << QStringLiteral("delete") << false;
    QTest::newRow("folder removed") << QStringLiteral("folder") << false;
    QTest::newRow("moved away") << QStringLiteral("move") << false;
    QTest::newRow("replaced by another file") << QStringLiteral("replace") << false;
    QTest::newRow("replaced by a copy of itself") << QStringLiteral("copy") << false;
}

void TestDatabasePath::leavesItsPath()
{
    QFETCH(QString, Change);
    QFETCH(bool, StillThere);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/Ombrelay.DB");
    const QString aside = dir.filePath(QStringLiteral("aside.DB"));
    std::unique_ptr<TDatabase> db = TDatabase::Create(file);
    QVERIFY(db->IsStillAtPath());
    auto rename = [](const QString& From, const QString& To) {
        return std::rename(QFile::encodeName(From).constData(), QFile::encodeName(To).constData()) == 0;
    };

    if (Change == QLatin1String("write")) {
        TSQLiteLock lock(*db);
        db->ExecSQL(QStringLiteral("INSERT INTO USAGE (DATE, INCOMING, OUTGOING) VALUES ('2026-01-01', 1, 1)"));
    } else if (Change == QLatin1String("delete")) {
        QVERIFY(QFile::remove(file));
    } else if (Change == QLatin1String("folder")) {
        QVERIFY(QDir(folder).removeRecursively());
    } else if (Change == QLatin1String("move")) {
        QVERIFY(rename(file, aside));
    } else if (Change == QLatin1String("replace")) {
        TDatabase::Create(aside);
        QVERIFY(rename(aside, file));
    } else if (Change == QLatin1String("copy")) {
        QVERIFY(QFile::copy(file, aside));
        QVERIFY(rename(aside, file));
    }
    QCOMPARE(db->IsStillAtPath(), StillThere);
    if (StillThere) {
        return;
    }
    // Told once, however often it is asked.
    QVERIFY(db->TakeMovedNotice());
    QVERIFY(!db->IsStillAtPath());
    QVERIFY(!db->TakeMovedNotice());

    if (Change == QLatin1String("move")) {
        // Moved back: the same file at the path again, and a second move is told again.
        QVERIFY(rename(aside, file));
        QVERIFY(db->IsStillAtPath());
        QVERIFY(rename(file, aside));
        QVERIFY(!db->IsStillAtPath());
        QVERIFY(db->TakeMovedNotice());
    }
}

QTEST_GUILESS_MAIN(TestDatabasePath)
#include "tst_database_path.moc"
