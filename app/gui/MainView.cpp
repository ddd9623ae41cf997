#include "gui/MainView.h"

#include "core/DB.h"
#include "core/DataPlan.h"
#include "core/MBInterfaceItem.h"
#include "core/MBProfleItem.h"
#include "core/Monitor.h"
#include "core/Options.h"
#include "core/SmsStore.h"
#include "core/Usage.h"
#include "core/UsageHistory.h"
#include "gui/About.h"
#include "gui/Autostart.h"
#include "gui/CreateMessage.h"
#include "gui/GuiCommon.h"
#include "gui/Icons.h"
#include "gui/MessageBox.h"
#include "gui/MessageTools.h"
#include "gui/PinDialog.h"
#include "gui/Settings.h"
#include "gui/SignalPanel.h"
#include "gui/TimedMessage.h"
#include "gui/UsageHistoryView.h"
#include "gui/UssdDialog.h"
#include "gui/WindowState.h"
#include "sms/SMS.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace Ombrelay
{

namespace
{

TfmMainView::TDialogRunner& DialogRunner()
{
    static TfmMainView::TDialogRunner runner = [](QDialog& Dialog) { return Dialog.exec(); };
    return runner;
}

QString StateText(TConnectionState State)
{
    switch (State) {
    case csConnecting:
        return TfmMainView::tr("Connecting...");
    case csConnected:
        return TfmMainView::tr("Connected");
    case csDisconnecting:
        return TfmMainView::tr("Disconnecting...");
    case csDisconnected:
        return TfmMainView::tr("Disconnected");
    default:
        return QString();
    }
}

} // namespace

void TfmMainView::SetDialogRunner(TDialogRunner Runner)
{
    DialogRunner() = Runner ? std::move(Runner) : [](QDialog& Dialog) { return Dialog.exec(); };
}

TfmMainView::TfmMainView(const TManagerFactory& Factory, QWidget* Parent)
    : QMainWindow(Parent)
    , FController(new TMainController(this))
{
    setObjectName(QStringLiteral("fmMainView"));
    CreateActions();
    CreateControls();
    ConnectController();
    FormCreate(Factory);
}

TfmMainView::~TfmMainView()
{
    FController->ShutDown();
}

// ---------------------------------------------------------------------------------------------
// Building the window

QAction* TfmMainView::NewAction(const char* Name, const QString& Caption, int Image, void (TfmMainView::*Execute)())
{
    auto* action = new QAction(Caption, this);
    action->setObjectName(QLatin1String(Name));
    if (Image >= 0) {
        action->setIcon(TIcons::MainIcon(Image));
        action->setProperty("ombrelayImage", Image);
    }
    connect(action, &QAction::triggered, this,
            [this, Execute] { Guarded(this, [this, Execute] { (this->*Execute)(); }); });
    return action;
}

void TfmMainView::CreateActions()
{
    acSettings = NewAction("acSettings", tr("&Settings..."), 0, &TfmMainView::acSettingsExecute);
    acSettings->setToolTip(tr("Settings of the selected profile"));
    acSettings->setShortcuts(QKeySequence::Preferences);
    acSettings->setIconText(tr("Settings"));
    acConnect = NewAction("acConnect", tr("&Connect"), 1, &TfmMainView::acConnectExecute);
    acConnect->setToolTip(tr("Connect with the selected profile"));
    acConnect->setIconText(tr("Connect"));
    acDisconnect = NewAction("acDisconnect", tr("&Disconnect"), 2, &TfmMainView::acDisconnectExecute);
    acDisconnect->setToolTip(tr("Disconnect"));
    acDisconnect->setIconText(tr("Disconnect"));
    acSendSms = NewAction("acSendSms", tr("&New Message..."), 5, &TfmMainView::acSendSmsExecute);
    acSendSms->setShortcut(QKeySequence::New);
    acSendSms->setToolTip(tr("Write a new text message"));
    acSendSms->setIconText(tr("New SMS"));
    acOpenApp = NewAction("acOpenApp", QStringLiteral("Open %s"), -1, &TfmMainView::acOpenAppExecute);
    acExitApp = NewAction("acExitApp", tr("E&xit"), -1, &TfmMainView::acExitAppExecute);
    acExitApp->setShortcuts(QKeySequence::Quit);
    acAbout = NewAction("acAbout", tr("&About Ombrelay"), -1, &TfmMainView::acAboutExecute);
    acWebSite = NewAction("acWebSite", tr("&Web Site"), -1, &TfmMainView::acWebSiteExecute);
    acUssd = NewAction("acUssd", tr("&USSD..."), -1, &TfmMainView::acUssdExecute);
    acUssd->setToolTip(tr("Send a USSD code such as *100# to the network"));
    acCancelConnect = NewAction("acCancelConnect", tr("C&ancel"), 2, &TfmMainView::acCancelConnectExecute);
    acCancelConnect->setToolTip(tr("Give up the connect under way"));
    acCancelConnect->setIconText(tr("Cancel"));
    acCancelConnect->setVisible(false);
    acFind = NewAction("acFind", tr("&Find Messages..."), -1, &TfmMainView::acFindExecute);
    acFind->setShortcuts(QKeySequence::Find);
    // Shortcuts of the main window reach the actions wherever the focus is in it.
    for (QAction* action : {acSettings, acConnect, acDisconnect, acSendSms, acExitApp, acFind}) {
        action->setShortcutContext(Qt::WindowShortcut);
    }
}

void TfmMainView::CreateControls()
{
    resize(632, 418 + 120);

    // Main menu.
    QMenu* mmiFile = menuBar()->addMenu(tr("&File"));
    mmiFile->setObjectName(QStringLiteral("mmiFile"));
    mmiFile->addAction(acSettings);
    AddMessageDataActions(mmiFile, this, [this] {
        const TMBInterfaceItem* item = GetSelectedInterface();
        return item ? item->InterfaceID() : QString();
    });
    mmiFile->addSeparator();
    mmiFile->addAction(acExitApp);
    QMenu* mmiTools = menuBar()->addMenu(tr("&Tools"));
    mmiTools->setObjectName(QStringLiteral("mmiTools"));
    mmiTools->addAction(acConnect);
    mmiTools->addAction(acCancelConnect);
    mmiTools->addAction(acDisconnect);
    mmiTools->addAction(acSendSms);
    mmiTools->addAction(acUssd);
    mmiTools->addAction(acFind);
    QMenu* mmiHelp = menuBar()->addMenu(tr("&Help"));
    mmiHelp->setObjectName(QStringLiteral("mmiHelp"));
    mmiHelp->addAction(acAbout);
    mmiHelp->addAction(acWebSite);
    for (QMenu* menu : {mmiFile, mmiTools, mmiHelp}) {
        connect(menu, &QMenu::aboutToShow, this, &TfmMainView::UpdateActions);
    }

    // Tool bar: captions under the images.
    tbMain = addToolBar(tr("Main Toolbar"));
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setMovable(false);
    tbMain->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tbMain->setIconSize(QSize(32, 32));
    tbMain->addAction(acSettings);
    tbMain->addAction(acConnect);
    tbMain->addAction(acCancelConnect);
    tbMain->addAction(acDisconnect);
    tbMain->addAction(acSendSms);
    if (QWidget* button = tbMain->widgetForAction(acSendSms)) {
        button->setObjectName(QStringLiteral("tbSendSms"));
    }
    for (QAction* action : tbMain->actions()) {
        if (QWidget* button = tbMain->widgetForAction(action)) {
            button->setMinimumSize(74, 55);
        }
    }

    FTray = new TTrayIcon(acOpenApp, acSendSms, acConnect, acDisconnect, acExitApp, this);
    pmTray = FTray->Menu();
    connect(pmTray, &QMenu::aboutToShow, this, &TfmMainView::UpdateActions);
    connect(FTray, &TTrayIcon::OpenWanted, this, &TfmMainView::acOpenAppExecute);
    connect(FTray, &TTrayIcon::NoticeClicked, this, [this] { Guarded(this, [this] { OpenNoticedMessage(); }); });

    // Interface box and page control.
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(10, 6, 10, 0);
    cmbInterfaces = new TInterfaceBox(central);
    cmbInterfaces->setAccessibleName(tr("Modem"));
    layout->addWidget(cmbInterfaces);
    pcMain = new QTabWidget(central);
    // The pages' own smallest sizes add up past a small screen at scale 2; the tabs may be
    // squeezed instead, so that the window always fits the screen it is on.
    pcMain->setMinimumSize(320, 200);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    layout->addWidget(pcMain, 1);
    setCentralWidget(central);

    tsInfo = new TDeviceInfoPage(*FController);
    pcMain->addTab(tsInfo, tr("&Device Info"));
    tsConnProf = new TProfilesPage(*FController);
    pcMain->addTab(tsConnProf, tr("&Profiles"));
    tsUsage = new TUsagePage;
    pcMain->addTab(tsUsage, tr("&Usage"));
    tsMessages = new TMessagesPage(*FController);
    connect(tsMessages, &TMessagesPage::EditRequested, this,
            [this](const QString& Target, const QString& Text) { Guarded(this, [&] { SendSmsWith(Target, Text); }); });
    pcMain->addTab(tsMessages, tr("SMS &Messages"));
    tsMonitorLog = new TMonitorLogPage;
    pcMain->addTab(tsMonitorLog, tr("Monitor &Log"));
    pcMain->setCurrentWidget(tsInfo);
    connect(tsMessages, &TMessagesPage::NewMessageWanted, this,
            [this](const QString& Text) { Guarded(this, [this, &Text] { SendNewMessage(Text); }); });
    connect(tsMessages, &TMessagesPage::UnreadChanged, this, &TfmMainView::UpdateTrayStatus);
    connect(tsMessages, &TMessagesPage::MessagesRemoved, this,
            [this](const QList<qint64>& Idents) { FNotifier.Forget(Idents); });

    // Status bar: panel 0 plain and empty, panel 1 drawn.
    sbMain = statusBar();
    sbMain->setObjectName(QStringLiteral("sbMain"));
    sbMain->setSizeGripEnabled(false);
    sbMainPanel0 = new QLabel(sbMain);
    sbMainPanel0->setObjectName(QStringLiteral("sbMainPanel0"));
    sbMainPanel0->setTextFormat(Qt::PlainText);
    // Each panel as wide as its text while the window has room, and narrower only when it has
    // not, so that a large font or scale never cuts the panel on the right.
    sbMainPanel0->setMinimumWidth(40);
    FSignalPanel = new TSignalPanel(sbMain);
    sbMainPanel0->setAccessibleName(tr("Status"));
    sbMain->addWidget(sbMainPanel0);
    sbMain->addWidget(FSignalPanel);
    sbRegistration = new QLabel(sbMain);
    sbRegistration->setObjectName(QStringLiteral("sbMainPanel2"));
    sbRegistration->setTextFormat(Qt::PlainText);
    sbRegistration->setMinimumWidth(40);
    sbMain->addWidget(sbRegistration, 1);

    connect(cmbInterfaces, &QComboBox::currentIndexChanged, this,
            [this] { Guarded(this, [this] { cmbInterfacesChange(); }); });
    connect(tsConnProf, &TProfilesPage::ProfileSelected, this, [this](TMBProfleItem* Profile) {
        FController->SetSelectedProfile(Profile);
        UpdateActions();
    });
    connect(pcMain, &QTabWidget::currentChanged, this,
            [this](int Index) { Guarded(this, [this, Index] { pcMainChange(Index); }); });
}

void TfmMainView::ConnectController()
{
    connect(FController, &TMainController::Problem, this, &TfmMainView::ShowDeferredError);
    connect(FController, &TMainController::ErrorOccurred, this,
            [this](const QString& Message) { TMessageBox::Critical(this, QStringLiteral("Ombrelay"), Message); });
    connect(FController, &TMainController::SmsReceived, this,
            [this](TMBInterfaceItem* Sender) { Guarded(this, [this, Sender] { SmsReceived(Sender); }); });
    connect(FController, &TMainController::SmsSent, this,
            [this](TMBInterfaceItem* Sender) { Guarded(this, [this, Sender] { SmsSent(Sender); }); });
    connect(FController, &TMainController::ConnectionStateShown, this, &TfmMainView::ShowConnectionState);
    connect(FController, &TMainController::SignalStrengthShown, this, &TfmMainView::ShowSignal);
    connect(FController, &TMainController::RegistrationShown, this, &TfmMainView::ShowRegistration);
    connect(FController, &TMainController::RestartWarningWanted, this, &TfmMainView::ShowRestartWarning);
    connect(FController, &TMainController::ConnectionDropped, this,
            [this](const QString& InterfaceID, const QString& Reason) {
                Guarded(this, [&] { ShowConnectionDropped(InterfaceID, Reason); });
            });
    connect(FController, &TMainController::ProfilesChanged, this, [this] {
        Guarded(this, [this] {
            tsConnProf->FillProfiles();
            UpdateActions();
        });
    });
    connect(FController, &TMainController::DeviceStateShown, this,
            [this] { ShowRegistration(FController->Registration()); });
    connect(tsInfo, &TDeviceInfoPage::UnlockRequested, this, [this] { Guarded(this, [this] { ShowUnlockDialog(); }); });
    connect(tsInfo, &TDeviceInfoPage::SwitchOnRequested, this, [this] {
        Guarded(this, [this] {
            if (FController->SelectedInterface() && FController->Manager()) {
                FController->Manager()->SwitchOn(FController->SelectedInterface()->InterfaceID());
            }
        });
    });
    connect(FController, &TMainController::InterfacesChanged, this,
            [this] { Guarded(this, [this] { InterfacesChanged(); }); });
    connect(FController, &TMainController::MonitorCheckShown, this, [this](bool Online, const QString& Reason) {
        // The last failure stays in the tooltip until a check passes.
        sbMain->setToolTip(Online ? tr("Online monitor: the last check passed")
                                  : tr("Online monitor: the last check failed: %1").arg(Reason));
    });
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void TfmMainView::FormCreate(const TManagerFactory& Factory)
{
    setWindowTitle(QStringLiteral("Virelle Ombrelay"));
    setWindowIcon(TIcons::AppIcon());
    acOpenApp->setText(tr("Open %1").arg(QStringLiteral("Ombrelay")));
    // Manager and its notifications, monitor thread, options.
    FController->StartUp(Factory);
    Guarded(this, [this] { FillInterfaces(); });
    Guarded(this, [this] { tsConnProf->FillProfiles(); });
    UpdateActions();
    FController->AutoConnect();
    UpdateTrayStatus();
    FTray->Show();
    if (Database) {
        Guarded(this, [] { SetByteUnits(LoadByteUnits(*Database)); });
    }
    // Data plan alerts come whether or not the window is shown.
    auto* planTimer = new QTimer(this);
    planTimer->setObjectName(QStringLiteral("tmPlanAlerts"));
    planTimer->setInterval(60000);
    connect(planTimer, &QTimer::timeout, this, [this] { CheckPlanAlerts(); });
    planTimer->start();
}

void TfmMainView::CheckPlanAlerts()
{
    if (!Database || !UsageThread) {
        return;
    }
    try {
        QStringList devices = UsageDevices(*Database);
        if (IMBManager* manager = Manager()) {
            for (const auto& item : *manager->GetInterfaceList()) {
                if (!devices.contains(item->InterfaceID())) {
                    devices << item->InterfaceID();
                }
            }
        }
        const QDate today = Clock::NowQ().date();
        for (const QString& device : std::as_const(devices)) {
            const TDataPlan plan = LoadDataPlan(*Database, device);
            if (plan.Limit == 0) {
                continue;
            }
            const TBillingPeriod period = BillingPeriodOf(today, plan.StartDay);
            quint64 in = 0;
            quint64 out = 0;
            UsageThread->GetRange(device, period.Start, period.End, in, out);
            const TPlanStatus status = DataPlanStatus(plan, today, in + out);
            for (int percent : TakeDueAlerts(*Database, device, plan, status)) {
                const QString title = tr("Data plan: %1 % used").arg(percent);
                const QString text = tr("%1 has used %2 of its %3 plan; %4 left until %5.")
                                         .arg(device, FormatByteSize(status.Used), FormatByteSize(plan.Limit),
                                              FormatByteSize(status.Left), status.Period.End.toString(Qt::ISODate));
                FTray->Icon()->showMessage(title, text,
                                           percent >= 100 ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
                FPlanAlerts << title;
            }
        }
    } catch (const std::exception& e) {
        // A failed look at the plans is tried again at the next tick; nobody waits for it.
        qWarning("Ombrelay: the data plans could not be checked: %s", e.what());
    }
}

void TfmMainView::ShowDeferredError(const QString& Text)
{
    QTimer::singleShot(0, this, [this, Text] { TMessageBox::Critical(this, QStringLiteral("Ombrelay"), Text); });
}

void TfmMainView::StartUp(bool Hide)
{
    // The place and sizes of the last run, moved onto a screen of today's set-up.
    Guarded(this, [this] { FGeometryRestored = TWindowState::Restore(*this); });
    if (Hide && TrayAvailable()) {
        return;
    }
    show();
    if (Hide) {
        // Hiding with no notification area would leave no way back to the window.
        const QString why = tr("There is no notification area on this desktop, so Ombrelay starts "
                               "with its window shown.");
        qWarning("Ombrelay: %s", qPrintable(why));
        sbMainPanel0->setText(tr("No notification area"));
        sbMainPanel0->setToolTip(why);
    }
}

bool TfmMainView::event(QEvent* Event)
{
    switch (static_cast<int>(Event->type())) {
    case WM_MONITOR_REDIAL:
        Guarded(this, [this] { WMMonitorRedial(); });
        return true;
    case WM_MONITOR_REBOOT:
        Guarded(this, [this] { WMMonitorReboot(); });
        return true;
    case WM_SECOND_INSTANCE:
        Guarded(this, [this] { WMSecondInstance(); });
        return true;
    default:
        return QMainWindow::event(Event);
    }
}

void TfmMainView::changeEvent(QEvent* Event)
{
    QMainWindow::changeEvent(Event);
    if (Event->type() == QEvent::PaletteChange || Event->type() == QEvent::ThemeChange) {
        // The drawn images take their outlines from the palette: draw them again.
        for (QAction* action : findChildren<QAction*>()) {
            const QVariant image = action->property("ombrelayImage");
            if (image.isValid()) {
                action->setIcon(TIcons::MainIcon(image.toInt(), palette()));
            }
        }
    }
    if (Event->type() == QEvent::WindowStateChange && isMinimized() && TrayAvailable()) {
        // Leave the state change first; then go to the notification area.
        QTimer::singleShot(0, this, [this] { Guarded(this, [this] { WMSysCommand(SC_MINIMIZE); }); });
    }
}

void TfmMainView::closeEvent(QCloseEvent* Event)
{
    if (!FExiting && TrayAvailable()) {
        Event->ignore();
        Guarded(this, [this] { WMSysCommand(SC_CLOSE); });
        return;
    }
    // Exit, or a desktop without a notification area: the program ends, its settings saved.
    if (FEndingSession) {
        try {
            TWindowState::Store(*this);
            FController->SaveOptions();
        } catch (const std::exception& e) {
            qWarning("Ombrelay: the settings could not be saved: %s", e.what());
        }
    } else {
        Guarded(this, [this] { TWindowState::Store(*this); });
        Guarded(this, [this] { FController->SaveOptions(); });
    }
    Event->accept();
    FTray->Hide();
    Q_EMIT Closed();
}

void TfmMainView::showEvent(QShowEvent* Event)
{
    if (!FShownOnce) {
        // Centred on the screen at its first showing, unless it has a place from the last run;
        // never larger than the screen (a small screen at a high scale factor).
        FShownOnce = true;
        QScreen* current = screen();
        if (!FGeometryRestored && current) {
            QRect r(QPoint(), size());
            r.moveCenter(current->availableGeometry().center());
            setGeometry(TWindowState::FitOnDesktop(r));
        }
    }
    QMainWindow::showEvent(Event);
    tsUsage->UpdateTimer();
}

void TfmMainView::hideEvent(QHideEvent* Event)
{
    QMainWindow::hideEvent(Event);
    tsUsage->UpdateTimer();
}

bool TfmMainView::WMSysCommand(int Command)
{
    if (Command != SC_MINIMIZE && Command != SC_CLOSE) {
        return false;
    }
    if (!TrayAvailable()) {
        if (Command == SC_MINIMIZE) {
            showMinimized();
        } else {
            close();
        }
        return true;
    }
    FTray->WarnOnce(this);
    TWindowState::Store(*this);
    FController->SaveOptions();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Actions

void TfmMainView::UpdateActions()
{
    // The controller's rules, so that its own connects and the user's follow the same ones.
    TMBInterfaceItem* item = GetSelectedInterface();
    acSettings->setEnabled(FController->ProfileSelected());
    acConnect->setEnabled(FController->ConnectEnabled());
    // While connecting, Cancel stands where Connect was.
    const bool cancel = FController->CancelEnabled();
    acCancelConnect->setEnabled(cancel);
    acCancelConnect->setVisible(cancel);
    acConnect->setVisible(!cancel);
    acDisconnect->setEnabled(FController->DisconnectEnabled());
    acSendSms->setEnabled(item && item->CanSendAndReceiveSms());
    acUssd->setEnabled(item != nullptr);
    for (QAction* always : {acOpenApp, acExitApp, acAbout, acWebSite}) {
        always->setEnabled(true);
    }
}

QStringList TfmMainView::UsageSettingsDevices() const
{
    // The modems present and those with counted traffic: each may have a data plan.
    QStringList devices;
    if (IMBManager* manager = FController->Manager()) {
        for (const auto& item : *manager->GetInterfaceList()) {
            devices << item->InterfaceID();
        }
    }
    if (Database) {
        devices << UsageDevices(*Database);
    }
    devices.removeDuplicates();
    devices.sort();
    return devices;
}

void TfmMainView::acSettingsExecute()
{
    TfmSettings dialog(this);
    dialog.CopyIn(*Options);
    const IMBManager* manager = FController->Manager();
    dialog.SetMessageStoreShared(manager && manager->SharesMessageStore());
    const bool autostart = TAutostart::Enabled();
    dialog.cbAutostart->setChecked(autostart);
    if (Database) {
        dialog.CopyInUsage(*Database, UsageSettingsDevices(), tsUsage->fmHistory->SelectedDevice());
    }
    if (DialogRunner()(dialog) == QDialog::Accepted) {
        dialog.CopyOut(*Options);
        if (Database) {
            dialog.CopyOutUsage(*Database);
            tsUsage->fmHistory->SettingsChanged();
        }
        FController->ApplyBackendSettings();
        if (dialog.cbAutostart->isChecked() != autostart) {
            TAutostart::SetEnabled(dialog.cbAutostart->isChecked(), QCoreApplication::applicationFilePath());
        }
    }
}

TfmUssd* TfmMainView::UssdDialog() const
{
    return FUssd.data();
}

void TfmMainView::acUssdExecute()
{
    TMBInterfaceItem* item = GetSelectedInterface();
    auto* manager = dynamic_cast<TMBManager*>(FController->Manager());
    if (!item || !manager) {
        return;
    }
    // One dialog at a time, for the modem it was opened on; another modem gets a new one.
    if (FUssd && FUssd->InterfaceID() != item->InterfaceID()) {
        FUssd->close();
        FUssd->deleteLater();
        FUssd = nullptr;
    }
    if (!FUssd) {
        FUssd = new TfmUssd(manager->Port(), item->InterfaceID(), item->ToString(), this);
        FUssd->setAttribute(Qt::WA_DeleteOnClose);
    }
    FUssd->show();
    FUssd->raise();
    FUssd->activateWindow();
}

void TfmMainView::SendNewMessage(const QString& Text)
{
    SendSmsWith(QString(), Text);
}

void TfmMainView::SendSmsWith(const QString& Target, const QString& Text)
{
    TMBInterfaceItem* item = GetSelectedInterface();
    IMBManager* manager = FController->Manager();
    if (!item || !manager) {
        return;
    }
    TfmCreateMessage dialog(this);
    dialog.cmbTarget->addItems(CommaTextToList(Options->TargetPhone()));
    dialog.cmbTarget->setCurrentIndex(-1);
    dialog.cmbTarget->setEditText(Target);
    dialog.mmText->setPlainText(Text);
    if (DialogRunner()(dialog) != QDialog::Accepted) {
        return;
    }
    TSmsSend smsSend;
    const QString target = dialog.cmbTarget->currentText();
    QStringList history;
    for (int i = 0; i < dialog.cmbTarget->count(); ++i) {
        history.append(dialog.cmbTarget->itemText(i));
    }
    if (!history.contains(target, Qt::CaseInsensitive)) {
        history.prepend(target);
    }
    Options->SetTargetPhone(ListToCommaText(history));
    smsSend.SetTarget(target);
    smsSend.SetText(dialog.mmText->toPlainText());
    smsSend.SetStatusReportRequest(Options->RequestDeliveryReports());
    // The outbox shows the message once the device confirms each part.
    manager->SendMessage(item->InterfaceID(), smsSend.Target(), smsSend.Text(), smsSend.EncodePdu());
}

void TfmMainView::acOpenAppExecute()
{
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void TfmMainView::EndSession()
{
    FEndingSession = true;
    acExitApp->trigger();
}

void TfmMainView::acExitAppExecute()
{
    FExiting = true;
    if (!close()) {
        FExiting = false;
    }
}

void TfmMainView::acAboutExecute()
{
    TfmAbout dialog(this);
    DialogRunner()(dialog);
}

void TfmMainView::acWebSiteExecute()
{
    ShellOpen(QString::fromLatin1(TfmAbout::WebSiteUrl));
}

void TfmMainView::acFindExecute()
{
    pcMain->setCurrentWidget(tsMessages);
    tsMessages->FocusSearch();
}

// ---------------------------------------------------------------------------------------------
// What the controller and the window's messages ask for

void TfmMainView::ShowConnectionState(TConnectionState State)
{
    FSignalPanel->SetText(StateText(State));
    FStateText = StateText(State);
    UpdateTrayStatus();
    UpdateActions();
    ShowDeviceSummary();
    // The session rows come and go with the connection.
    tsInfo->ShowNetwork();
}

void TfmMainView::acConnectExecute()
{
    if (FController->RoamingRuleHolds() &&
        TMessageBox::Question(this, tr("Roaming"),
                              tr("You are roaming: the modem uses a network abroad, where data may cost much "
                                 "more. Connect anyway?")) != QMessageBox::Yes) {
        return;
    }
    FController->Connect();
}

void TfmMainView::ShowConnectionDropped(const QString& InterfaceID, const QString& Reason)
{
    IMBManager* manager = FController->Manager();
    const TMBInterfaceItem* item = manager ? manager->GetInterfaceList()->FindByID(InterfaceID) : nullptr;
    const QString modem = item && !item->ToString().trimmed().isEmpty() ? item->ToString().trimmed() : InterfaceID;
    const QString text = Reason.isEmpty() ? tr("The connection of %1 ended.").arg(modem)
                                          : tr("The connection of %1 ended: %2.").arg(modem, Reason);
    // A click on it opens the window, not the message of an earlier notification.
    FLastNotice = {};
    FTray->ShowNotice(tr("Connection dropped"), text);
}

void TfmMainView::ShowRestartWarning(int Seconds, const QString& Title, const QString& Text)
{
    // Modeless. A warning that repeats while one is open reuses it: the open one already counts
    // down to the same restart, and stacking copies exactly on top of each other hides all but one.
    if (FRestartWarning) {
        FRestartWarning->raise();
        FRestartWarning->activateWindow();
        return;
    }
    auto* dialog = new TfmTimedMessage(quint32(Seconds), Title, Text);
    FRestartWarning = dialog;
    dialog->show();
}

void TfmMainView::WMSecondInstance()
{
    // Where the menu cannot pop up at the pointer, the window comes up instead.
    if (!FTray->PopUpMenu()) {
        acOpenAppExecute();
    }
}

void TfmMainView::SmsReceived(TMBInterfaceItem* Sender)
{
    // The manager tells once per stored PDU: the notifications wait for the whole batch, so
    // that they speak of messages, not of parts.
    if (!FAnnouncePending) {
        FAnnouncePending = true;
        QTimer::singleShot(0, this, [this] { Guarded(this, [this] { AnnounceMessages(); }); });
    }
    TMBInterfaceItem* item = GetSelectedInterface();
    if (!item || Sender != item) {
        return;
    }
    tsMessages->RefreshMessages();
}

void TfmMainView::AnnounceMessages()
{
    FAnnouncePending = false;
    IMBManager* manager = FController->Manager();
    if (!manager) {
        return;
    }
    for (const TMessageNotifier::TNotice& notice : FNotifier.Collect(*manager->GetInterfaceList())) {
        FLastNotice = notice;
        FTray->ShowNotice(notice.Title, notice.Text);
    }
    UpdateTrayStatus();
}

void TfmMainView::OpenNoticedMessage()
{
    acOpenAppExecute();
    IMBManager* manager = FController->Manager();
    if (!manager || FLastNotice.InterfaceID.isEmpty()) {
        return;
    }
    TMBInterfaceItem* item = manager->GetInterfaceList()->FindByID(FLastNotice.InterfaceID);
    if (!item) {
        return;
    }
    const int index = cmbInterfaces->findData(QVariant::fromValue(static_cast<void*>(item)));
    if (index >= 0 && index != cmbInterfaces->currentIndex()) {
        cmbInterfaces->setCurrentIndex(index);
    }
    pcMain->setCurrentWidget(tsMessages);
    tsMessages->OpenMessage(FLastNotice.Ident);
}

void TfmMainView::UpdateTrayStatus()
{
    int unread = 0;
    IMBManager* manager = FController->Manager();
    if (manager) {
        for (const auto& item : *manager->GetInterfaceList()) {
            unread += item->SmsIncomingList()->UnreadCount();
        }
    }
    // The device summary already names the state; without one (no modem) there is nothing unread.
    QStringList lines{QStringLiteral("Ombrelay")};
    if (!FDeviceTip.isEmpty()) {
        lines << FDeviceTip;
    } else if (!FStateText.isEmpty()) {
        lines << FStateText;
    }
    if (manager && manager->GetInterfaceList()->Count() > 0) {
        lines << (unread == 0 ? tr("No unread messages") : tr("%n unread message(s)", nullptr, unread));
        // The sender of the newest announced message, by the contact's name when known.
        if (unread > 0 && !FLastNotice.Sender.isEmpty()) {
            lines << tr("Last from %1").arg(FLastNotice.Sender);
        }
    }
    FTray->SetStatus(lines.join(QLatin1Char('\n')));
}

void TfmMainView::SmsSent(TMBInterfaceItem* Sender)
{
    if (Sender && Sender == GetSelectedInterface()) {
        tsMessages->RefreshMessages();
    }
}

// ---------------------------------------------------------------------------------------------
// Interface box and page control

void TfmMainView::FillInterfaces()
{
    if (cmbInterfaces->Fill(FController->Manager())) {
        cmbInterfacesChange();
    }
    ShowDeviceSummary();
}

void TfmMainView::InterfacesChanged()
{
    TMBInterfaceItem* before = FController->SelectedInterface();
    if (cmbInterfaces->Fill(FController->Manager()) && before && cmbInterfaces->SelectedItem() == before) {
        // Another modem came or went; the one shown stays, with the user's profile choice.
        ShowDeviceSummary();
        UpdateActions();
        return;
    }
    // The one shown went (the controller let go of it already), or the first one came.
    cmbInterfacesChange();
    if (!FController->SelectedInterface()) {
        FSignalPanel->SetText(QString());
        FSignalPanel->SetSignalStrength(0);
        FSignalPanel->SetSignalToolTip(QString());
        ShowRegistration({});
    }
    ShowDeviceSummary();
}

void TfmMainView::ShowSignal(quint32 Value)
{
    FSignalPanel->SetSignalStrength(Value);
    const int percent = SignalPercent(Value);
    FSignalPanel->SetSignalToolTip(percent < 0 ? tr("Signal unknown (%1)").arg(Value)
                                               : tr("Signal %1% (%2 of 31)").arg(percent).arg(Value));
    tsInfo->ShowNetwork();
}

void TfmMainView::ShowRegistration(const TMbnRegistration& Registration)
{
    // A locked SIM, a modem switched off or mobile broadband switched off say more than the
    // registration, which they keep from happening.
    const QString device = FController->DeviceStateText();
    sbRegistration->setText(device.isEmpty() ? RegistrationText(Registration) : device);
    sbRegistration->setToolTip(
        Registration.OperatorCode.isEmpty() ? QString() : tr("Operator code %1").arg(Registration.OperatorCode));
    FTray->SetRoaming(Registration.State == TMbnRegisterState::rsRoaming);
    tsInfo->ShowNetwork();
    ShowDeviceSummary();
}

void TfmMainView::ShowDeviceSummary()
{
    IMBManager* manager = FController->Manager();
    TMBInterfaceItem* item = GetSelectedInterface();
    QString panel;
    QString why;
    if (manager && manager->GetInterfaceList()->Count() == 0) {
        panel = tr("No modem found");
        why = manager->BackendName() == QLatin1String("sim")
                  ? tr("The simulated modem has no device plugged in.")
                  : tr("Plug a modem in; it is shown as soon as the system finds it.");
    } else if (item && item->Backend() == QLatin1String("sim")) {
        panel = tr("Simulated modem");
        why = tr("No modem stack (ModemManager) is running: the modem shown is simulated, and "
                 "nothing it sends leaves this computer.");
    }
    // Panel 0 keeps what the start-up had to say about the notification area.
    if (sbMainPanel0->text() != tr("No notification area")) {
        sbMainPanel0->setText(panel);
        sbMainPanel0->setToolTip(why);
    }
    QString tip;
    if (!panel.isEmpty() && !item) {
        tip = panel;
    } else if (item) {
        tip = item->ToString();
        if (item->Backend() == QLatin1String("sim")) {
            tip = tr("%1 (simulated)").arg(tip);
        }
        if (!FSignalPanel->Text().isEmpty()) {
            tip += QStringLiteral(": ") + FSignalPanel->Text();
        }
        if (!sbRegistration->text().isEmpty()) {
            tip += QLatin1Char('\n') + sbRegistration->text();
        }
    }
    FDeviceTip = tip;
    UpdateTrayStatus();
}

void TfmMainView::cmbInterfacesChange()
{
    FController->SetSelectedInterface(cmbInterfaces->SelectedItem());
    tsInfo->ShowDeviceInfo();
    tsConnProf->FillProfiles();
    FController->RefreshConnectionState();
    FController->RefreshSignal();
    FController->RefreshDeviceState();
    FController->RefreshRegistration();
    tsMessages->RefreshMessages();
    UpdateActions();
}

void TfmMainView::pcMainChange(int)
{
    tsUsage->SetActive(pcMain->currentWidget() == tsUsage);
    if (pcMain->currentWidget() == tsMessages) {
        tsMessages->Activated();
    }
    if (pcMain->currentWidget() == tsMonitorLog) {
        Guarded(this, [this] { tsMonitorLog->Refresh(); });
    }
}

void TfmMainView::ShowUnlockDialog()
{
    TMBInterfaceItem* item = FController->SelectedInterface();
    if (!item || FPinDialog) {
        return;
    }
    // Not modal to the program: the tray and the test channel keep working while it asks.
    FPinDialog = new TPinDialog(*FController, item->InterfaceID(), this);
    FPinDialog->setAttribute(Qt::WA_DeleteOnClose);
    FPinDialog->open();
}

} // namespace Ombrelay
