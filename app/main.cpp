// Program entry: the module start-up, one running program per user session, the main window.

#ifdef OMBRELAY_HAVE_GUI

#include "backends/Backend.h"
#include "base/Errors.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/Modules.h"
#include "core/RemoteSend.h"
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
    TApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Virelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Ombrelay"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBRELAY_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("ombrelay"));
    // The program lives on in the notification area when its windows are closed.
    QApplication::setQuitOnLastWindowClosed(false);

    QStringList arguments = QCoreApplication::arguments();
    const bool hide = HasHideSwitch(arguments);
#ifdef OMBRELAY_TEST_COMMANDS
    const bool testCommands = arguments.removeAll(QStringLiteral("--test-commands")) > 0;
#endif
    TBackendOptions backendOptions;
    try {
        backendOptions = ParseBackendOptions(arguments);
    } catch (const EOmbrelayError& e) {
        Fail(e.Message());
        return 2;
    }

    std::unique_ptr<TModules> modules;
    try {
        modules = std::make_unique<TModules>();
    } catch (const std::exception& e) {
        const auto* own = dynamic_cast<const EOmbrelayError*>(&e);
        const QString text = own ? own->Message() : QString::fromUtf8(e.what());
        Fail(text);
        TMessageBox::Critical(nullptr, QStringLiteral("Ombrelay"), text);
        return 1;
    }

    TSingleInstance instance;
    try {
        if (instance.HandOverOrListen()) {
            // The running program pops up its menu; this one ends without showing anything.
            return 0;
        }
    } catch (const EOmbrelayError& e) {
        Fail(e.Message());
        return 1;
    }

    const TfmMainView::TManagerFactory factory = [&backendOptions] {
        return CreateMBManager(CreateBackend(backendOptions));
    };
    TfmMainView window(factory);
    QObject::connect(&window, &TfmMainView::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&instance, &TSingleInstance::SecondInstance, &window, [&window] {
        QCoreApplication::postEvent(&window, new QEvent(static_cast<QEvent::Type>(WM_SECOND_INSTANCE)));
    });
    // ombrelayctl messages send: the message goes through the selected modem, the answer once the
    // device decided.
    instance.SetDeferredCommandHandler([&window](const QString& Line, TSingleInstance::TReply Reply) {
        if (!TRemoteSend::IsRequest(Line)) {
            return false;
        }
        const TMBInterfaceItem* selected = window.GetSelectedInterface();
        TRemoteSend::Handle(window.Manager(), selected ? selected->InterfaceID() : QString(), Line, std::move(Reply));
        return true;
    });
#ifdef OMBRELAY_TEST_COMMANDS
    if (testCommands) {
        instance.SetCommandHandler([&window](const QString& Line) { return TestCommand(window, Line); });
    }
#endif
    app.HandleTerminationSignals([&window] { window.EndSession(); });
    window.StartUp(hide);
    return app.exec();
}

#else // the tree built without its desktop program

#include <cstdio>

int main()
{
    std::puts("Ombrelay was built without its desktop program (OMBRELAY_GUI=OFF).");
    return 1;
}

#endif
