// Program entry: the module start-up, one running program per user session, the main window.

#ifdef OMBRELAY_HAVE_GUI

#include "backends/Backend.h"
#include "base/Errors.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/Modules.h"
#include "core/RemoteSend.h"
#include "core/RemoteUsage.h"
#include "gui/Application.h"
#include "gui/CommandLine.h"
#include "gui/GuiCommon.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"
#include "gui/SingleInstance.h"
#include "gui/Translations.h"
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
    // The command line first, without a window system: --help, --version and a mistyped option
    // work over ssh, and a wrong command line never opens a window.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i) {
        rawArguments.append(QString::fromLocal8Bit(argv[i]));
    }
#ifdef OMBRELAY_TEST_COMMANDS
    const bool testCommandsAllowed = true;
#else
    const bool testCommandsAllowed = false;
#endif
    const TCommandLine commandLine = ParseCommandLine(rawArguments, BackendNames(), testCommandsAllowed);
    switch (commandLine.Action) {
    case TCommandLine::Help:
    case TCommandLine::Version:
        std::fputs(commandLine.Text.toLocal8Bit().constData(), stdout);
        return 0;
    case TCommandLine::Error:
        std::fputs(commandLine.Text.toLocal8Bit().constData(), stderr);
        return 2;
    case TCommandLine::Run:
        break;
    }

    TApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Virelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Ombrelay"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBRELAY_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("ombrelay"));
    // The program lives on in the notification area when its windows are closed.
    QApplication::setQuitOnLastWindowClosed(false);
    TTranslations::Install();

    const bool hide = commandLine.Hide;
#ifdef OMBRELAY_TEST_COMMANDS
    const bool testCommands = commandLine.TestCommands;
#endif
    TBackendOptions backendOptions;
    backendOptions.Backend = commandLine.Backend;
    backendOptions.SimScenario = commandLine.SimScenario;
    backendOptions.SimState = commandLine.SimState;
    backendOptions.SimControl = commandLine.SimControl;

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
    // ombrelayctl usage: today's bytes that are counted and not yet written.
    instance.SetCommandHandler([&](const QString& Line) {
        if (TRemoteUsage::IsRequest(Line)) {
            return TRemoteUsage::HandleRequest();
        }
#ifdef OMBRELAY_TEST_COMMANDS
        if (testCommands) {
            return TestCommand(window, Line);
        }
#endif
        return QStringLiteral("error unknown command");
    });
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
