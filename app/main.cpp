// Program entry: the module start-up, one running program per user session, the main window.

#ifdef OMBRELAY_HAVE_GUI

#include "backends/Backend.h"
#include "base/Errors.h"
#include "core/MBManager.h"
#include "core/Modules.h"
#include "gui/Application.h"
#include "gui/GuiCommon.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"
#include "gui/SingleInstance.h"
#ifdef OMBRELAY_TEST_COMMANDS
#include "TestCommands.h"
#endif

#include <cstdio>
#include <memory>

using namespace Ombrelay;

namespace
{

void Fail(const QString& Text)
{
    std::fprintf(stderr, "ombrelay: %s\n", qPrintable(Text));
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
#ifdef OMBRELAY_TEST_COMMANDS
    const bool TestCommands = Arguments.removeAll(QStringLiteral("--test-commands")) > 0;
#endif
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
#ifdef OMBRELAY_TEST_COMMANDS
    if (TestCommands) {
        Instance.SetCommandHandler([&Window](const QString& Line) { return TestCommand(Window, Line); });
    }
#endif
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
