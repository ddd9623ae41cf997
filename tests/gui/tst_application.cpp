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
    TFailingReceiver Receiver;
    QCoreApplication::postEvent(&Receiver, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&Receiver, new QEvent(QEvent::User));
    QTRY_COMPARE(Receiver.Events, 2);
    QCOMPARE(TMessageBox::Shown(), (QStringList{"Interface not found: <gone>", "Interface not found: <gone>"}));
}

void TestApplication::instanceFolderMustBePrivate()
{
    QTemporaryDir Runtime;
    const QByteArray Old = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
    const QString Folder = Runtime.filePath(QStringLiteral("ombrelay"));

    // Created private when missing.
    QCOMPARE(TSingleInstance::ServerPath(), Folder + QStringLiteral("/instance"));
    struct stat Info;
    QCOMPARE(::stat(QFile::encodeName(Folder).constData(), &Info), 0);
    QCOMPARE(Info.st_mode & 0777, mode_t(0700));

    // A folder others may enter is refused rather than used.
    QCOMPARE(::chmod(QFile::encodeName(Folder).constData(), 0755), 0);
    QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSingleInstance::ServerPath());
    // So is a link planted in its place.
    QVERIFY(QDir(Folder).removeRecursively());
    QVERIFY(QFile::link(Runtime.path(), Folder));
    QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSingleInstance::ServerPath());

    // Nobody listening: this instance starts listening.
    QFile::remove(Folder);
    TSingleInstance Instance;
    QVERIFY(!Instance.HandOverOrListen());
    QVERIFY(QFile::exists(Folder + QStringLiteral("/instance")));
    qputenv("XDG_RUNTIME_DIR", Old);
}

int main(int argc, char** argv)
{
    TApplication App(argc, argv);
    TestApplication Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "tst_application.moc"
