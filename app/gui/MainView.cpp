#include "gui/MainView.h"

#include "base/DateTime.h"
#include "base/Errors.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBProfleItem.h"
#include "core/Monitor.h"
#include "core/Options.h"
#include "core/SmsStore.h"
#include "core/Usage.h"
#include "gui/About.h"
#include "gui/CreateMessage.h"
#include "gui/GuiCommon.h"
#include "gui/Icons.h"
#include "gui/MessageBox.h"
#include "gui/Settings.h"
#include "gui/SignalPanel.h"
#include "gui/SmsMessagesModel.h"
#include "gui/TimedMessage.h"
#include "sms/SMS.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Ombrelay
{

namespace
{

TfmMainView::TDialogRunner& DialogRunner()
{
    static TfmMainView::TDialogRunner Runner = [](QDialog& Dialog) { return Dialog.exec(); };
    return Runner;
}

std::optional<bool>& TrayOverride()
{
    static std::optional<bool> Value;
    return Value;
}

QTreeWidget* NewInfoList(const char* Name, QWidget* Parent)
{
    auto* List = new QTreeWidget(Parent);
    List->setObjectName(QLatin1String(Name));
    List->setColumnCount(2);
    List->setHeaderHidden(true);
    List->setRootIsDecorated(false);
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setColumnWidth(0, 120);
    List->setColumnWidth(1, 400);
    return List;
}

QAction* NewAction(QObject* Parent, const char* Name, const QString& Caption, int Image = -1)
{
    auto* Action = new QAction(Caption, Parent);
    Action->setObjectName(QLatin1String(Name));
    if (Image >= 0) {
        Action->setIcon(QIcon(TIcons::MainImage(Image)));
    }
    return Action;
}

QString StateText(TConnectionState State)
{
    switch (State) {
    case csConnecting:
        return QStringLiteral("Connecting...");
    case csConnected:
        return QStringLiteral("Connected");
    case csDisconnecting:
        return QStringLiteral("Disconnecting...");
    case csDisconnected:
        return QStringLiteral("Disconnected");
    default:
        return QString();
    }
}

} // namespace

void TfmMainView::SetDialogRunner(TDialogRunner Runner)
{
    DialogRunner() = Runner ? std::move(Runner) : [](QDialog& Dialog) { return Dialog.exec(); };
}

void TfmMainView::SetTrayAvailableOverride(std::optional<bool> Value)
{
    TrayOverride() = Value;
}

bool TfmMainView::TrayAvailable()
{
    if (TrayOverride().has_value()) {
        return *TrayOverride();
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

TfmMainView::TfmMainView(const TManagerFactory& Factory, QWidget* Parent)
    : QMainWindow(Parent)
{
    setObjectName(QStringLiteral("fmMainView"));
    FUsageQuery = [] {
        TUsageFigures Figures;
        if (UsageThread) {
            UsageThread->GetToday(Figures.TodayIn, Figures.TodayOut);
            UsageThread->GetMonth(Figures.MonthIn, Figures.MonthOut);
        }
        return Figures;
    };
    CreateActions();
    CreateControls();
    FormCreate(Factory);
}

TfmMainView::~TfmMainView()
{
    FormDestroy();
}

// ---------------------------------------------------------------------------------------------
// Building the window

void TfmMainView::CreateActions()
{
    acSettings = NewAction(this, "acSettings", QStringLiteral("Settings"), 0);
    acSettings->setToolTip(QStringLiteral("Settings"));
    acConnect = NewAction(this, "acConnect", QStringLiteral("Connect"), 1);
    acConnect->setToolTip(QStringLiteral("Connnect"));
    acDisconnect = NewAction(this, "acDisconnect", QStringLiteral("Disconnect"), 2);
    acDisconnect->setToolTip(QStringLiteral("Disconnect"));
    acSendSms = NewAction(this, "acSendSms", QStringLiteral("New SMS..."), 5);
    acSendSms->setShortcut(QKeySequence::New);
    acOpenApp = NewAction(this, "acOpenApp", QStringLiteral("Open %s"));
    acExitApp = NewAction(this, "acExitApp", QStringLiteral("Exit"));
    acAbout = NewAction(this, "acAbout", QStringLiteral("About"));
    acWebSite = NewAction(this, "acWebSite", QStringLiteral("Web-site"));

    connect(acSettings, &QAction::triggered, this, [this] { Guarded(this, [this] { acSettingsExecute(); }); });
    connect(acConnect, &QAction::triggered, this, [this] { Guarded(this, [this] { acConnectExecute(); }); });
    connect(acDisconnect, &QAction::triggered, this, [this] { Guarded(this, [this] { acDisconnectExecute(); }); });
    connect(acSendSms, &QAction::triggered, this, [this] { Guarded(this, [this] { acSendSmsExecute(); }); });
    connect(acOpenApp, &QAction::triggered, this, [this] { Guarded(this, [this] { acOpenAppExecute(); }); });
    connect(acExitApp, &QAction::triggered, this, [this] { Guarded(this, [this] { acExitAppExecute(); }); });
    connect(acAbout, &QAction::triggered, this, [this] { Guarded(this, [this] { acAboutExecute(); }); });
    connect(acWebSite, &QAction::triggered, this, [this] { Guarded(this, [this] { acWebSiteExecute(); }); });
}

void TfmMainView::CreateControls()
{
    resize(632, 418 + 120);

    // Main menu.
    QMenu* mmiFile = menuBar()->addMenu(QStringLiteral("File"));
    mmiFile->setObjectName(QStringLiteral("mmiFile"));
    mmiFile->addAction(acSettings);
    mmiFile->addSeparator();
    mmiFile->addAction(acExitApp);
    QMenu* mmiTools = menuBar()->addMenu(QStringLiteral("Tools"));
    mmiTools->setObjectName(QStringLiteral("mmiTools"));
    mmiTools->addAction(acConnect);
    mmiTools->addAction(acDisconnect);
    mmiTools->addAction(acSendSms);
    QMenu* mmiHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mmiHelp->setObjectName(QStringLiteral("mmiHelp"));
    mmiHelp->addAction(acAbout);
    mmiHelp->addAction(acWebSite);
    for (QMenu* Menu : {mmiFile, mmiTools, mmiHelp}) {
        connect(Menu, &QMenu::aboutToShow, this, &TfmMainView::UpdateActions);
    }

    // Tool bar: captions under the images.
    tbMain = addToolBar(QStringLiteral("Main"));
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setMovable(false);
    tbMain->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tbMain->setIconSize(QSize(32, 32));
    tbMain->addAction(acSettings);
    tbMain->addAction(acConnect);
    tbMain->addAction(acDisconnect);
    tbMain->addAction(acSendSms);
    if (QWidget* Button = tbMain->widgetForAction(acSendSms)) {
        Button->setObjectName(QStringLiteral("tbSendSms"));
    }
    for (QAction* Action : tbMain->actions()) {
        if (QWidget* Button = tbMain->widgetForAction(Action)) {
            Button->setMinimumSize(74, 55);
        }
    }

    // Tray icon and its menu.
    pmTray = new QMenu(this);
    pmTray->setObjectName(QStringLiteral("pmTray"));
    pmTray->addAction(acOpenApp);
    pmTray->setDefaultAction(acOpenApp);
    pmTray->addSeparator();
    pmTray->addAction(acSendSms);
    pmTray->addAction(acConnect);
    pmTray->addAction(acDisconnect);
    pmTray->addSeparator();
    pmTray->addAction(acExitApp);
    connect(pmTray, &QMenu::aboutToShow, this, &TfmMainView::UpdateActions);
    tiMain = new QSystemTrayIcon(TIcons::AppIcon(), this);
    tiMain->setObjectName(QStringLiteral("tiMain"));
    tiMain->setToolTip(QStringLiteral("Ombrelay"));
    tiMain->setContextMenu(pmTray);
    connect(tiMain, &QSystemTrayIcon::activated, this, &TfmMainView::tiMainActivated);

    // Interface box and page control.
    auto* Central = new QWidget(this);
    auto* Layout = new QVBoxLayout(Central);
    Layout->setContentsMargins(10, 6, 10, 0);
    cmbInterfaces = new QComboBox(Central);
    cmbInterfaces->setObjectName(QStringLiteral("cmbInterfaces"));
    Layout->addWidget(cmbInterfaces);
    pcMain = new QTabWidget(Central);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    Layout->addWidget(pcMain, 1);
    setCentralWidget(Central);

    tsInfo = new QWidget;
    tsInfo->setObjectName(QStringLiteral("tsInfo"));
    lvDevCaps = NewInfoList("lvDevCaps", tsInfo);
    auto* InfoLayout = new QVBoxLayout(tsInfo);
    InfoLayout->setContentsMargins(10, 10, 10, 10);
    InfoLayout->addWidget(lvDevCaps);
    pcMain->addTab(tsInfo, QStringLiteral("Device Info"));

    tsConnProf = new QWidget;
    tsConnProf->setObjectName(QStringLiteral("tsConnProf"));
    cmbProfiles = new QComboBox(tsConnProf);
    cmbProfiles->setObjectName(QStringLiteral("cmbProfiles"));
    lvProfileInfo = NewInfoList("lvProfileInfo", tsConnProf);
    auto* ProfileLayout = new QVBoxLayout(tsConnProf);
    ProfileLayout->setContentsMargins(10, 10, 10, 10);
    ProfileLayout->addWidget(cmbProfiles);
    ProfileLayout->addWidget(lvProfileInfo);
    pcMain->addTab(tsConnProf, QStringLiteral("Profiles"));

    tsUsage = new QWidget;
    tsUsage->setObjectName(QStringLiteral("tsUsage"));
    lvUsage = new QTreeWidget(tsUsage);
    lvUsage->setObjectName(QStringLiteral("lvUsage"));
    lvUsage->setColumnCount(4);
    lvUsage->setHeaderLabels(
        {QString(), QStringLiteral("Download"), QStringLiteral("Upload"), QStringLiteral("Total")});
    lvUsage->setColumnWidth(0, 230);
    lvUsage->setColumnWidth(1, 110);
    lvUsage->setColumnWidth(2, 110);
    lvUsage->setColumnWidth(3, 110);
    lvUsage->setRootIsDecorated(false);
    lvUsage->setItemsExpandable(false);
    lvUsage->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvUsage->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const QString Groups[2] = {QStringLiteral("Today"), QStringLiteral("This month")};
    for (int I = 0; I < 2; ++I) {
        auto* Group = new QTreeWidgetItem(lvUsage, {Groups[I]});
        Group->setFlags(Qt::ItemIsEnabled);
        Group->setFirstColumnSpanned(true);
        QFont Bold = Group->font(0);
        Bold.setBold(true);
        Group->setFont(0, Bold);
        FUsageRows[I] = new QTreeWidgetItem(Group, {QStringLiteral("%s"), QString(), QString(), QString()});
        Group->setExpanded(true);
    }
    auto* UsageLayout = new QVBoxLayout(tsUsage);
    UsageLayout->setContentsMargins(10, 10, 10, 10);
    UsageLayout->addWidget(lvUsage);
    pcMain->addTab(tsUsage, QStringLiteral("Usage"));
    tmUsage = new QTimer(this);
    tmUsage->setObjectName(QStringLiteral("tmUsage"));
    tmUsage->setInterval(2000);
    connect(tmUsage, &QTimer::timeout, this, [this] { Guarded(this, [this] { tmUsageTimer(); }); });

    tsMessages = CreateMessagesTab();
    pcMain->addTab(tsMessages, QStringLiteral("SMS Messages"));
    pcMain->setCurrentWidget(tsInfo);

    // Status bar: panel 0 plain and empty, panel 1 drawn.
    sbMain = statusBar();
    sbMain->setObjectName(QStringLiteral("sbMain"));
    sbMain->setSizeGripEnabled(false);
    sbMainPanel0 = new QLabel(sbMain);
    sbMainPanel0->setObjectName(QStringLiteral("sbMainPanel0"));
    sbMainPanel0->setTextFormat(Qt::PlainText);
    sbMainPanel0->setFixedWidth(250);
    FSignalPanel = new TSignalPanel(sbMain);
    sbMain->addWidget(sbMainPanel0);
    sbMain->addWidget(FSignalPanel);

    connect(cmbInterfaces, &QComboBox::currentIndexChanged, this,
            [this] { Guarded(this, [this] { cmbInterfacesChange(); }); });
    // Choosing a profile by hand changes only what Connect uses.
    connect(cmbProfiles, &QComboBox::currentIndexChanged, this, &TfmMainView::UpdateActions);
    connect(pcMain, &QTabWidget::currentChanged, this,
            [this](int Index) { Guarded(this, [this, Index] { pcMainChange(Index); }); });
}

QWidget* TfmMainView::CreateMessagesTab()
{
    auto* Tab = new QWidget;
    Tab->setObjectName(QStringLiteral("tsMessages"));

    lvSmsType = new QListWidget(Tab);
    lvSmsType->setObjectName(QStringLiteral("lvSmsType"));
    lvSmsType->setViewMode(QListView::IconMode);
    lvSmsType->setFlow(QListView::TopToBottom);
    lvSmsType->setMovement(QListView::Static);
    lvSmsType->setWrapping(false);
    lvSmsType->setIconSize(QSize(32, 32));
    lvSmsType->setFixedWidth(90);
    lvSmsType->setSpacing(4);
    lvSmsType->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSmsType->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSmsType->setGridSize(QSize(80, 64));
    new QListWidgetItem(QIcon(TIcons::MainImage(3)), QStringLiteral("Inbox"), lvSmsType);
    new QListWidgetItem(QIcon(TIcons::MainImage(4)), QStringLiteral("Sent"), lvSmsType);
    // Keeps the selection visible when the list has no focus.
    QPalette Palette = lvSmsType->palette();
    Palette.setColor(QPalette::Inactive, QPalette::Highlight, Palette.color(QPalette::Active, QPalette::Highlight));
    Palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     Palette.color(QPalette::Active, QPalette::HighlightedText));
    lvSmsType->setPalette(Palette);

    auto* pnMessages = new QWidget(Tab);
    pnMessages->setObjectName(QStringLiteral("pnMessages"));
    spMessage = new QSplitter(Qt::Vertical, pnMessages);
    spMessage->setObjectName(QStringLiteral("spMessage"));
    spMessage->setHandleWidth(9);
    spMessage->setChildrenCollapsible(false);

    FMessagesModel = new TSmsMessagesModel(this);
    lvMessages = new QTableView(spMessage);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setModel(FMessagesModel);
    lvMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMessages->setShowGrid(false);
    lvMessages->setWordWrap(false);
    lvMessages->setTextElideMode(Qt::ElideRight);
    lvMessages->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    lvMessages->verticalHeader()->hide();
    // Fixed row heights: the view never measures rows, whatever the folder's size.
    lvMessages->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvMessages->verticalHeader()->setDefaultSectionSize(lvMessages->fontMetrics().height() + 6);
    lvMessages->horizontalHeader()->setHighlightSections(false);
    lvMessages->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lvMessages->setColumnWidth(0, 165);
    lvMessages->setColumnWidth(1, 120);
    lvMessages->setColumnWidth(2, 240);
    lvMessages->horizontalHeader()->setStretchLastSection(true);

    mmMessages = new QPlainTextEdit(spMessage);
    mmMessages->setObjectName(QStringLiteral("mmMessages"));
    mmMessages->setMinimumHeight(40);
    spMessage->addWidget(lvMessages);
    spMessage->addWidget(mmMessages);
    spMessage->setStretchFactor(0, 1);
    spMessage->setStretchFactor(1, 0);
    spMessage->setSizes({200, 89});

    auto* PanelLayout = new QVBoxLayout(pnMessages);
    PanelLayout->setContentsMargins(10, 0, 0, 0);
    PanelLayout->addWidget(spMessage);

    auto* Layout = new QHBoxLayout(Tab);
    Layout->setContentsMargins(10, 10, 10, 10);
    Layout->addWidget(lvSmsType);
    Layout->addWidget(pnMessages, 1);

    connect(lvSmsType, &QListWidget::itemSelectionChanged, this,
            [this] { Guarded(this, [this] { lvSmsTypeSelectItem(); }); });
    connect(lvMessages->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& Selected, const QItemSelection& Deselected) {
                Guarded(this, [&] { lvMessagesSelectItem(Selected, Deselected); });
            });
    return Tab;
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void TfmMainView::FormCreate(const TManagerFactory& Factory)
{
    setWindowTitle(QStringLiteral("Virelle Ombrelay"));
    setWindowIcon(TIcons::AppIcon());
    acOpenApp->setText(QStringLiteral("Open %1").arg(QStringLiteral("Ombrelay")));

    // A manager that cannot be created leaves the window without devices, but the rest of the
    // start-up still runs: above all the options are loaded, so that the next save writes the
    // user's settings back rather than empty ones.
    try {
        FMBManager = Factory ? Factory() : nullptr;
    } catch (const std::exception& E) {
        const auto* Own = dynamic_cast<const EOmbrelayError*>(&E);
        ShowDeferredError(Own ? Own->Message() : QString::fromUtf8(E.what()));
    }
    if (FMBManager) {
        FMBManager->SetIncomingSmsNotify(
            [this](TMBInterfaceItem* Sender) { Guarded(this, [this, Sender] { SmsReceived(Sender); }); });
        FMBManager->SetOutgoingSmsNotify(
            [this](TMBInterfaceItem* Sender) { Guarded(this, [this, Sender] { SmsSent(Sender); }); });
        FMBManager->SetConnectionStateNotify([this](const QString& InterfaceID, TConnectionState State) {
            Guarded(this, [&] { ConnectionStateChanged(InterfaceID, State); });
        });
        FMBManager->SetConnectionSignalNotify([this](const QString& InterfaceID, quint32 Strength) {
            Guarded(this, [&] { SignalChanged(InterfaceID, Strength); });
        });
        if (auto* Manager = dynamic_cast<TMBManager*>(FMBManager.get())) {
            connect(Manager, &TMBManager::ErrorOccurred, this, [this](const QString& Message) {
                TMessageBox::Critical(this, QStringLiteral("Ombrelay"), Message);
            });
        }
        const QStringList Warnings = FMBManager->GetLoadWarnings();
        if (!Warnings.isEmpty()) {
            ShowDeferredError(Warnings.join(QLatin1Char('\n')));
        }
    }

    FMonitorThread = std::make_unique<TMonitorThread>();
    connect(
        FMonitorThread.get(), &TMonitorThread::MonitorMessage, this,
        [this](int Msg) { Guarded(this, [this, Msg] { MonitorMessage(Msg); }); }, Qt::QueuedConnection);
    FMonitorThread->start();

    Guarded(this, [this] {
        if (Options) {
            Options->LoadOptions();
            if (!Options->LoadWarnings().isEmpty()) {
                ShowDeferredError(Options->LoadWarnings().join(QLatin1Char('\n')));
            }
            ApplyBackendSettings();
        }
    });
    // SQLite opens a file it cannot write for reading alone and says nothing until the first
    // write fails; the user hears of it now, not at the first message.
    if (Database && Database->ReadOnly()) {
        ShowDeferredError(QStringLiteral("The database file %1 can only be read. Received messages stay on the "
                                         "modem and settings are not saved until the file can be written.")
                              .arg(QDir::toNativeSeparators(Database->FileName())));
    }
    Guarded(this, [this] { FillInterfaces(); });
    Guarded(this, [this] { FillProfiles(); });
    UpdateActions();
    // AutoConnect: Connect re-checks its rule, so nothing happens unless it holds now.
    if (Options && Options->AutoConnect()) {
        ExecuteAction(acConnect);
    }
    tiMain->show();
}

void TfmMainView::FormDestroy()
{
    // The monitor may be in the middle of a check: wait for it before the options are saved.
    FMonitorThread.reset();
    try {
        SaveOptions();
    } catch (const std::exception& E) {
        qWarning("Ombrelay: the settings could not be saved: %s", E.what());
    }
    if (FMBManager) {
        FMBManager->SetIncomingSmsNotify({});
        FMBManager->SetOutgoingSmsNotify({});
        FMBManager->SetConnectionStateNotify({});
        FMBManager->SetConnectionSignalNotify({});
        FMBManager.reset();
    }
}

void TfmMainView::SaveOptions()
{
    // Settings that were never read in this run are never written over the stored ones.
    if (Options && Options->Loaded()) {
        Options->SaveOptions();
    }
}

void TfmMainView::ShowDeferredError(const QString& Text)
{
    QTimer::singleShot(0, this, [this, Text] { TMessageBox::Critical(this, QStringLiteral("Ombrelay"), Text); });
}

void TfmMainView::StartUp(bool Hide)
{
    if (Hide && TrayAvailable()) {
        return;
    }
    show();
    if (Hide) {
        // Hiding with no notification area would leave no way back to the window.
        const QString Why = QStringLiteral("There is no notification area on this desktop, so Ombrelay starts "
                                           "with its window shown.");
        qWarning("Ombrelay: %s", qPrintable(Why));
        sbMainPanel0->setText(QStringLiteral("No notification area"));
        sbMainPanel0->setToolTip(Why);
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
            SaveOptions();
        } catch (const std::exception& E) {
            qWarning("Ombrelay: the settings could not be saved: %s", E.what());
        }
    } else {
        Guarded(this, [this] { SaveOptions(); });
    }
    Event->accept();
    tiMain->hide();
    Q_EMIT Closed();
}

void TfmMainView::showEvent(QShowEvent* Event)
{
    if (!FShownOnce) {
        // Centred on the screen at its first showing.
        FShownOnce = true;
        if (QScreen* Screen = screen()) {
            move(Screen->availableGeometry().center() - rect().center());
        }
    }
    QMainWindow::showEvent(Event);
    UpdateUsageTimer();
}

void TfmMainView::hideEvent(QHideEvent* Event)
{
    QMainWindow::hideEvent(Event);
    UpdateUsageTimer();
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
    if (Options && Options->TrayWarning()) {
        TMessageBox::Information(this, QStringLiteral("Ombrelay"),
                                 QStringLiteral("The application will remain running in the notification area. In "
                                                "order to quit it choose 'Exit' from the popup menu."));
        Options->SetTrayWarning(false);
    }
    SaveOptions();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Actions

void TfmMainView::UpdateActions()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    const bool ProfileSelected = Item && GetSelectedProfile();
    acSettings->setEnabled(ProfileSelected);
    acConnect->setEnabled(ProfileSelected && FCanConnect);
    acDisconnect->setEnabled(ProfileSelected && FCanDisconnect);
    acSendSms->setEnabled(Item && Item->CanSendAndReceiveSms());
    for (QAction* Always : {acOpenApp, acExitApp, acAbout, acWebSite}) {
        Always->setEnabled(true);
    }
}

void TfmMainView::ExecuteAction(QAction* Action)
{
    // Code goes through the same rule as the user: a disabled action does nothing.
    UpdateActions();
    Action->trigger();
}

std::shared_ptr<IMbnInterfaceManager> TfmMainView::CurrentPort() const
{
    if (const auto* Manager = dynamic_cast<const TMBManager*>(FMBManager.get())) {
        return Manager->Port();
    }
    return nullptr;
}

void TfmMainView::ApplyBackendSettings()
{
    if (const auto Port = CurrentPort(); Port && Options) {
        Port->SetRemoveStoredMessages(Options->RemoveStoredMessages());
    }
}

void TfmMainView::acSettingsExecute()
{
    TfmSettings Dialog(this);
    Dialog.CopyIn(*Options);
    const auto Port = CurrentPort();
    Dialog.SetMessageStoreShared(Port && Port->SharesMessageStore());
    if (DialogRunner()(Dialog) == QDialog::Accepted) {
        Dialog.CopyOut(*Options);
        ApplyBackendSettings();
    }
}

void TfmMainView::acConnectExecute()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    TMBProfleItem* Profile = GetSelectedProfile();
    if (Item && Profile && FMBManager) {
        FMBManager->Connect(Item->InterfaceID(), Profile->Name());
    }
}

void TfmMainView::acDisconnectExecute()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (Item && FMBManager) {
        FMBManager->Disconnect(Item->InterfaceID());
    }
}

void TfmMainView::acSendSmsExecute()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (!Item || !FMBManager) {
        return;
    }
    TfmCreateMessage Dialog(this);
    Dialog.cmbTarget->addItems(CommaTextToList(Options->TargetPhone()));
    Dialog.cmbTarget->setCurrentIndex(-1);
    Dialog.cmbTarget->setEditText(QString());
    if (DialogRunner()(Dialog) != QDialog::Accepted) {
        return;
    }
    TSmsSend SmsSend;
    const QString Target = Dialog.cmbTarget->currentText();
    QStringList History;
    for (int I = 0; I < Dialog.cmbTarget->count(); ++I) {
        History.append(Dialog.cmbTarget->itemText(I));
    }
    if (!History.contains(Target, Qt::CaseInsensitive)) {
        History.prepend(Target);
    }
    Options->SetTargetPhone(ListToCommaText(History));
    SmsSend.SetTarget(Target);
    SmsSend.SetText(Dialog.mmText->toPlainText());
    // The outbox shows the message once the device confirms each part.
    FMBManager->SendMessage(Item->InterfaceID(), SmsSend.Target(), SmsSend.Text(), SmsSend.EncodePdu());
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
    TfmAbout Dialog(this);
    DialogRunner()(Dialog);
}

void TfmMainView::acWebSiteExecute()
{
    ShellOpen(QString::fromLatin1(TfmAbout::WebSiteUrl));
}

void TfmMainView::tiMainActivated(QSystemTrayIcon::ActivationReason Reason)
{
    // Trays of the StatusNotifierItem kind report a click as one activation, not a double-click.
    if (Reason == QSystemTrayIcon::DoubleClick || Reason == QSystemTrayIcon::Trigger) {
        acOpenAppExecute();
    }
}

// ---------------------------------------------------------------------------------------------
// Connection state, signal and the monitor's messages

void TfmMainView::ConnectionStateChanged(const QString& InterfaceID, TConnectionState State)
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (Item && Item->InterfaceID() == InterfaceID) {
        SetConnectionState(State);
    }
}

void TfmMainView::SignalChanged(const QString& InterfaceID, quint32 SignalStrength)
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (Item && Item->InterfaceID() == InterfaceID) {
        SetSignalStrength(SignalStrength);
    }
}

void TfmMainView::SetSignalStrength(quint32 Value)
{
    FSignalStrength = Value;
    FSignalPanel->SetSignalStrength(Value);
}

void TfmMainView::SetConnectionState(TConnectionState State)
{
    FSignalPanel->SetText(StateText(State));
    FCanConnect = State == csDisconnected;
    FCanDisconnect = State == csConnected;
    UpdateActions();
    if (State == csDisconnected && FPendingReconnect) {
        FPendingReconnect = false;
        ExecuteAction(acConnect);
    }
}

void TfmMainView::RefreshConnectionState()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (Item && FMBManager) {
        SetConnectionState(FMBManager->GetConnectionState(Item->InterfaceID()));
    }
}

void TfmMainView::RefreshSignal()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (Item && FMBManager) {
        SetSignalStrength(FMBManager->GetSignalStrength(Item->InterfaceID()));
    }
}

void TfmMainView::MonitorMessage(int Msg)
{
    if (Msg == WM_MONITOR_REDIAL) {
        WMMonitorRedial();
    } else if (Msg == WM_MONITOR_REBOOT) {
        WMMonitorReboot();
    }
}

void TfmMainView::WMMonitorRedial()
{
    UpdateActions();
    if (FCanConnect) {
        ExecuteAction(acConnect);
    } else if (FCanDisconnect) {
        FPendingReconnect = true;
        ExecuteAction(acDisconnect);
    }
}

void TfmMainView::WMMonitorReboot()
{
    if (Options && Clock::Now() <= Options->SuppressTime()) {
        return;
    }
    auto* Dialog = new TfmTimedMessage(60, QStringLiteral("Shutdown Warning"),
                                       QStringLiteral("Due to a connection failure this PC will be restarted"));
    Dialog->show();
}

void TfmMainView::WMSecondInstance()
{
    // Where the platform lets a program place a menu at the pointer (X11), the tray menu pops up
    // there; elsewhere (Wayland) the window comes up instead.
    if (TrayAvailable() && QGuiApplication::platformName() == QLatin1String("xcb")) {
        UpdateActions();
        pmTray->popup(QCursor::pos());
        pmTray->activateWindow();
    } else {
        acOpenAppExecute();
    }
}

// ---------------------------------------------------------------------------------------------
// Device, profile and usage views

TMBInterfaceItem* TfmMainView::GetSelectedInterface() const
{
    if (cmbInterfaces->currentIndex() < 0) {
        return nullptr;
    }
    return static_cast<TMBInterfaceItem*>(cmbInterfaces->currentData().value<void*>());
}

TMBProfleItem* TfmMainView::GetSelectedProfile() const
{
    if (cmbProfiles->currentIndex() < 0) {
        return nullptr;
    }
    return static_cast<TMBProfleItem*>(cmbProfiles->currentData().value<void*>());
}

void TfmMainView::FillInterfaces()
{
    const QSignalBlocker Blocker(cmbInterfaces);
    cmbInterfaces->clear();
    if (!FMBManager) {
        return;
    }
    int Selected = 0;
    const QString Saved = Options ? Options->InterfaceID() : QString();
    for (const auto& Item : *FMBManager->GetInterfaceList()) {
        QString Text = Item->ToString();
        // A simulated device is never shown as if it were a real one.
        if (Item->Backend() == QLatin1String("sim")) {
            Text += QStringLiteral(" (simulated)");
        }
        cmbInterfaces->addItem(Text, QVariant::fromValue(static_cast<void*>(Item.get())));
        if (Item->InterfaceID() == Saved) {
            Selected = cmbInterfaces->count() - 1;
        }
    }
    if (cmbInterfaces->count() > 0) {
        cmbInterfaces->setCurrentIndex(Selected);
        cmbInterfacesChange();
    }
}

void TfmMainView::cmbInterfacesChange()
{
    ShowDeviceInfo();
    FillProfiles();
    RefreshConnectionState();
    RefreshSignal();
    RefreshMessages();
    UpdateActions();
}

void TfmMainView::AddInfoRow(QTreeWidget* ListView, const QString& Caption, const QString& Value)
{
    new QTreeWidgetItem(ListView, {Caption, Value});
}

void TfmMainView::ShowDeviceInfo()
{
    lvDevCaps->setUpdatesEnabled(false);
    const auto Restore = qScopeGuard([this] { lvDevCaps->setUpdatesEnabled(true); });
    lvDevCaps->clear();
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (!Item) {
        return;
    }
    AddInfoRow(lvDevCaps, QStringLiteral("Cellular class"), Item->CellularClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Voice class"), Item->VoiceClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Data class"), Item->DataClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Band class"), Item->BandClass());
    AddInfoRow(lvDevCaps, QStringLiteral("SMS"), Item->SmsCaps());
    AddInfoRow(lvDevCaps, QStringLiteral("Control"), Item->CtlCaps());
    AddInfoRow(lvDevCaps, QStringLiteral("Model"), Item->ToString());
    AddInfoRow(lvDevCaps, QStringLiteral("IMEI"), Item->DeviceID());
    AddInfoRow(lvDevCaps, QStringLiteral("Firmware info"), Item->FirmwareInfo());
    if (Options) {
        Options->SetInterfaceID(Item->InterfaceID());
    }
}

void TfmMainView::FillProfiles()
{
    {
        const QSignalBlocker Blocker(cmbProfiles);
        cmbProfiles->clear();
        TMBInterfaceItem* Item = GetSelectedInterface();
        int Selected = 0;
        if (Item) {
            const QString Saved = Options ? Options->ProfileName() : QString();
            for (const auto& Profile : Item->ProfileList()) {
                cmbProfiles->addItem(Profile->Name(), QVariant::fromValue(static_cast<void*>(Profile.get())));
                if (Profile->Name() == Saved) {
                    Selected = cmbProfiles->count() - 1;
                }
            }
        }
        if (cmbProfiles->count() == 0) {
            return;
        }
        cmbProfiles->setCurrentIndex(Selected);
    }
    ShowProfileInfo();
}

void TfmMainView::ShowProfileInfo()
{
    lvProfileInfo->setUpdatesEnabled(false);
    const auto Restore = qScopeGuard([this] { lvProfileInfo->setUpdatesEnabled(true); });
    lvProfileInfo->clear();
    TMBProfleItem* Profile = GetSelectedProfile();
    if (!Profile) {
        return;
    }
    const QString Yes = QStringLiteral("Yes");
    const QString No = QStringLiteral("No");
    AddInfoRow(lvProfileInfo, QStringLiteral("Name"), Profile->Name());
    AddInfoRow(lvProfileInfo, QStringLiteral("Default"), Profile->IsDefault() ? Yes : No);
    AddInfoRow(lvProfileInfo, QStringLiteral("Compression"), Profile->Compression());
    AddInfoRow(lvProfileInfo, QStringLiteral("APN"), Profile->AccessString());
    AddInfoRow(lvProfileInfo, QStringLiteral("Auth type"), Profile->AuthProtocol());
    if (!Profile->UserName().isEmpty()) {
        AddInfoRow(lvProfileInfo, QStringLiteral("User name"), Profile->UserName());
    }
    const auto Port = CurrentPort();
    if (!Profile->Password().isEmpty()) {
        AddInfoRow(lvProfileInfo, QStringLiteral("Password"), QString(Profile->Password().size(), QChar(0x25CF)));
    } else if (Port && !Port->PasswordKeeper().isEmpty()) {
        // Not readable here: say where it is rather than show a mask of nothing.
        AddInfoRow(lvProfileInfo, QStringLiteral("Password"), QStringLiteral("Kept by ") + Port->PasswordKeeper());
    }
    AddInfoRow(lvProfileInfo, QStringLiteral("Ignore password"), Profile->IgnorePassword() ? Yes : No);
    AddInfoRow(lvProfileInfo, QStringLiteral("Connect mode"), Profile->ConnectionMode());
    AddInfoRow(lvProfileInfo, QStringLiteral("Home provider"), Profile->HomeProviderName());
    if (Options) {
        Options->SetProfileName(Profile->Name());
    }
}

void TfmMainView::SetTextIfChanged(QTreeWidgetItem* Item, int Column, const QString& Text)
{
    if (Item->text(Column) != Text) {
        Item->setText(Column, Text);
    }
}

void TfmMainView::tmUsageTimer()
{
    if (pcMain->currentWidget() != tsUsage) {
        return;
    }
    ++FUsageQueries;
    const TUsageFigures Figures = FUsageQuery();
    const QDate Today = Clock::NowQ().date();
    const QLocale Locale;
    SetTextIfChanged(FUsageRows[0], 0, Locale.toString(Today, QLocale::ShortFormat));
    SetTextIfChanged(FUsageRows[1], 0, Locale.toString(Today, QStringLiteral("MMMM yyyy")));
    const quint64 Values[2][2] = {{Figures.TodayIn, Figures.TodayOut}, {Figures.MonthIn, Figures.MonthOut}};
    for (int Row = 0; Row < 2; ++Row) {
        SetTextIfChanged(FUsageRows[Row], 1, FormatByteSize(Values[Row][0]));
        SetTextIfChanged(FUsageRows[Row], 2, FormatByteSize(Values[Row][1]));
        SetTextIfChanged(FUsageRows[Row], 3, FormatByteSize(Values[Row][0] + Values[Row][1]));
    }
}

void TfmMainView::UpdateUsageTimer()
{
    // The timer runs only while its tab can be seen: a hidden window does no timer work.
    const bool Run = isVisible() && pcMain->currentWidget() == tsUsage;
    if (Run && !tmUsage->isActive()) {
        tmUsage->start();
    } else if (!Run && tmUsage->isActive()) {
        tmUsage->stop();
    }
}

void TfmMainView::pcMainChange(int)
{
    UpdateUsageTimer();
    if (pcMain->currentWidget() == tsMessages && lvSmsType->selectedItems().isEmpty()) {
        lvSmsType->setCurrentRow(0);
    } else if (pcMain->currentWidget() == tsUsage) {
        tmUsageTimer();
    }
}

// ---------------------------------------------------------------------------------------------
// SMS view

int TfmMainView::SelectedSmsFolder() const
{
    const auto Selected = lvSmsType->selectedItems();
    if (Selected.isEmpty()) {
        return TSmsMessagesModel::fdNone;
    }
    return lvSmsType->row(Selected.first());
}

void TfmMainView::lvSmsTypeSelectItem()
{
    RefreshMessages();
}

void TfmMainView::RefreshMessages()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    const auto Folder = static_cast<TSmsMessagesModel::TFolder>(Item ? SelectedSmsFolder() : -1);
    const QModelIndexList Rows = lvMessages->selectionModel()->selectedRows();
    const int SelectedRow = Rows.isEmpty() ? -1 : Rows.first().row();
    FMessagesModel->SetSource(Item, Folder);
    if (Folder != TSmsMessagesModel::fdNone) {
        // The selection keeps its row index; the row may now show another message, whose
        // text is shown (and, in the inbox, marked seen) as if it had just been chosen.
        if (SelectedRow >= 0 && SelectedRow < FMessagesModel->rowCount()) {
            lvMessages->selectionModel()->select(FMessagesModel->index(SelectedRow, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        } else if (SelectedRow >= 0) {
            // The row is gone with the shorter folder, and so is its text.
            mmMessages->clear();
        }
    } else {
        mmMessages->clear();
    }
    UpdateInboxCaption();
}

void TfmMainView::UpdateInboxCaption()
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (!Item) {
        return;
    }
    const int Unread = Item->SmsIncomingList()->UnreadCount();
    QListWidgetItem* Inbox = lvSmsType->item(0);
    Inbox->setText(Unread == 0 ? QStringLiteral("Inbox") : QStringLiteral("Inbox (%1)").arg(Unread));
    QFont Font = lvSmsType->font();
    Font.setBold(Unread > 0);
    Inbox->setFont(Font);
}

void TfmMainView::lvMessagesSelectItem(const QItemSelection& Selected, const QItemSelection&)
{
    if (Selected.isEmpty()) {
        if (lvMessages->selectionModel()->selectedRows().isEmpty()) {
            mmMessages->clear();
        }
        return;
    }
    const int Row = Selected.indexes().first().row();
    TSmsItem* Message = FMessagesModel->ItemAt(Row);
    if (!Message) {
        return;
    }
    mmMessages->setPlainText(Message->Text());
    if (FMessagesModel->IsIncoming()) {
        static_cast<TSmsIncomingItem*>(Message)->MarkSeen();
        FMessagesModel->RowChanged(Row);
        UpdateInboxCaption();
    }
}

void TfmMainView::SmsReceived(TMBInterfaceItem* Sender)
{
    TMBInterfaceItem* Item = GetSelectedInterface();
    if (!Item || Sender != Item) {
        return;
    }
    const int Unread = Item->SmsIncomingList()->UnreadCount();
    const QString Title =
        QStringLiteral("%1 New Message%2").arg(Unread).arg(Unread >= 2 ? QStringLiteral("s") : QString());
    FLastBalloonTitle = Title;
    ++FBalloonCount;
    tiMain->showMessage(Title, QStringLiteral("You have received a new message"), QSystemTrayIcon::Information);
    RefreshMessages();
}

void TfmMainView::SmsSent(TMBInterfaceItem* Sender)
{
    if (Sender && Sender == GetSelectedInterface()) {
        RefreshMessages();
    }
}

} // namespace Ombrelay
