// The application object and the program entry's helpers: an error that escapes an event
// handler is reported and the program goes on; the instance channel's folder must be private.

#include "base/Errors.h"
#include "gui/Application.h"
#include "gui/MessageBox.h"
#include "gui/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Ombrelay;

namespace
{

// An object whose event handler fails the way a handler calling into the core can.
class TFailingReceiver : public QObject
{
public:
    int Events = 0;

protected:
    bool event(QEvent* Event) override
    {
        if (Event->type() == QEvent::User) {
            ++Events;
            throw EOmbrelayError(QStringLiteral("Interface not found: <gone>"));
        }
        return QObject::event(Event);
    }
};

} // namespace

class TestApplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void errorInEventHandlerIsShown();
    void instanceFolderMustBePrivate();
};

void TestApplication::errorInEventHandlerIsShown()
{
    TMessageBox::SetAutoAnswer(QMessageBox::Ok);
    TMessageBox::ClearShown();
    TFailingReceiver receiver;
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QTRY_COMPARE(receiver.Events, 2);
    QCOMPARE(TMessageBox::Shown(), (QStringList{"Interface not found: <gone>", "Interface not found: <gone>"}));
}

void TestApplication::instanceFolderMustBePrivate()
{
    QTemporaryDir runtime;
    const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString folder = runtime.filePath(QStringLiteral("ombrelay"));

    // Created private when missing.
    QCOMPARE(TSingleInstance::ServerPath(), folder + QStringLiteral("/instance"));
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0700));

    // A folder others may enter is refused rather than used.
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSingleInstance::ServerPath());
    // So is a link planted in its place.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QFile::link(runtime.path(), folder));
    QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSingleInstance::ServerPath());

    // Nobody listening: this instance starts listening.
    QFile::remove(folder);
    TSingleInstance instance;
    QVERIFY(!instance.HandOverOrListen());
    QVERIFY(QFile::exists(folder + QStringLiteral("/instance")));
    qputenv("XDG_RUNTIME_DIR", old);
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
