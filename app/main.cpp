// Program entry: the module start-up, one running program per user session, the main window.

#ifdef OMBRELAY_HAVE_GUI

#include "Application.h"
#include "Backend.h"
#include "Errors.h"
#include "GuiCommon.h"
#include "MBInterfaceItem.h"
#include "MBManager.h"
#include "MainView.h"
#include "MessageBox.h"
#include "Modules.h"
#include "SingleInstance.h"

#include <QAction>
#include <QDir>
#include <QTabWidget>

#include <cstdio>
#include <memory>

using namespace Ombrelay;

namespace
{

void Fail(const QString& Text)
{
    std::fprintf(stderr, "ombrelay: %s\n", qPrintable(Text));
}

// Commands of the instance channel that tests use to look at the running window. Only a
// program started with --test-commands answers them.
QString TestCommand(TfmMainView& Window, const QString& Line)
{
    const QString Verb = Line.section(QLatin1Char(' '), 0, 0);
    const QString Arg = Line.section(QLatin1Char(' '), 1);
    if (Verb == QLatin1String("visible")) {
        return Window.isVisible() ? QStringLiteral("ok yes") : QStringLiteral("ok no");
    }
    if (Verb == QLatin1String("tab")) {
        for (int I = 0; I < Window.pcMain->count(); ++I) {
            if (Window.pcMain->widget(I)->objectName() == Arg) {
                Window.pcMain->setCurrentIndex(I);
                return QStringLiteral("ok");
            }
        }
        return QStringLiteral("error no tab ") + Arg;
    }
    if (Verb == QLatin1String("screenshot")) {
        if (!Window.grab().save(Arg, "PNG")) {
            return QStringLiteral("error cannot write ") + Arg;
        }
        return QStringLiteral("ok");
    }
    if (Verb == QLatin1String("poll")) {
        // Reads every device now instead of at the next tick of the manager's timer.
        IMBManager* Manager = Window.Manager();
        if (!Manager) {
            return QStringLiteral("error no modem manager");
        }
        QStringList Ids;
        for (const auto& Item : *Manager->GetInterfaceList()) {
            Ids << Item->InterfaceID();
        }
        try {
            for (const QString& Id : Ids) {
                Manager->ReadSms(Id);
            }
        } catch (const std::exception& E) {
            return QStringLiteral("error ") + QString::fromUtf8(E.what()).simplified();
        }
        return QStringLiteral("ok");
    }
    if (Verb == QLatin1String("errors")) {
        // The error reports shown so far, one line each after the count.
        QStringList Lines;
        for (const QString& Text : TMessageBox::Shown()) {
            Lines << Text.simplified();
        }
        Lines.prepend(QStringLiteral("ok %1").arg(Lines.size()));
        return Lines.join(QLatin1Char('\t'));
    }
    return QStringLiteral("error unknown command");
}

} // namespace

int main(int argc, char* argv[])
{
    TApplication App(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Virelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Ombrelay"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBRELAY_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("ombrelay"));
    // The program lives on in the notification area when its windows are closed.
    QApplication::setQuitOnLastWindowClosed(false);

    QStringList Arguments = QCoreApplication::arguments();
    const bool Hide = HasHideSwitch(Arguments);
    const bool TestCommands = Arguments.removeAll(QStringLiteral("--test-commands")) > 0;
    TBackendOptions BackendOptions;
    try {
        BackendOptions = ParseBackendOptions(Arguments);
    } catch (const EOmbrelayError& E) {
        Fail(E.Message());
        return 2;
    }

    std::unique_ptr<TModules> Modules;
    try {
        Modules = std::make_unique<TModules>();
    } catch (const std::exception& E) {
        const auto* Own = dynamic_cast<const EOmbrelayError*>(&E);
        const QString Text = Own ? Own->Message() : QString::fromUtf8(E.what());
        Fail(Text);
        TMessageBox::Critical(nullptr, QStringLiteral("Ombrelay"), Text);
        return 1;
    }

    TSingleInstance Instance;
    try {
        if (Instance.HandOverOrListen()) {
            // The running program pops up its menu; this one ends without showing anything.
            return 0;
        }
    } catch (const EOmbrelayError& E) {
        Fail(E.Message());
        return 1;
    }

    const TfmMainView::TManagerFactory Factory = [&BackendOptions] {
        return CreateMBManager(CreateBackend(BackendOptions));
    };
    TfmMainView Window(Factory);
    QObject::connect(&Window, &TfmMainView::Closed, &App, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&Instance, &TSingleInstance::SecondInstance, &Window, [&Window] {
        QCoreApplication::postEvent(&Window, new QEvent(static_cast<QEvent::Type>(WM_SECOND_INSTANCE)));
    });
    if (TestCommands) {
        Instance.SetCommandHandler([&Window](const QString& Line) { return TestCommand(Window, Line); });
    }
    App.HandleTerminationSignals([&Window] { Window.EndSession(); });
    Window.StartUp(Hide);
    return App.exec();
}

#else // the tree built without its desktop program

#include <cstdio>

int main()
{
    std::puts("Ombrelay was built without its desktop program (OMBRELAY_GUI=OFF).");
    return 1;
}

#endif
