#pragma once

#include "core/MBManager.h"
#include "core/MainController.h"
#include "gui/DeviceInfoPage.h"
#include "gui/InterfaceBox.h"
#include "gui/MessageNotifier.h"
#include "gui/MessagesPage.h"
#include "gui/MonitorLogPage.h"
#include "gui/ProfilesPage.h"
#include "gui/TrayIcon.h"
#include "gui/UsagePage.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTabWidget;
class QToolBar;

namespace Ombrelay
{

class TPinDialog;

class TMBInterfaceItem;
class TMBProfleItem;
class TSignalPanel;
class TfmUssd;

// The second start of the program asks the running one to pop up its tray menu.
inline constexpr int WM_SECOND_INSTANCE = 3026;

// The main window: menus, tool bar, status bar, the interface box above the four pages, and the
// actions with their handlers. It wires the pages, the tray icon and the controller (which owns
// the manager and the monitor thread) together and keeps the dialogs.
class TfmMainView : public QMainWindow
{
    Q_OBJECT

public:
    using TManagerFactory = TMainController::TManagerFactory;
    // Runs a modal dialog; tests put a function here that fills the dialog and answers it.
    using TDialogRunner = std::function<int(QDialog& Dialog)>;
    using TUsageFigures = TUsagePage::TUsageFigures;
    using TUsageQuery = TUsagePage::TUsageQuery;

    explicit TfmMainView(const TManagerFactory& Factory, QWidget* Parent = nullptr);
    ~TfmMainView() override;

    static void SetDialogRunner(TDialogRunner Runner);
    // Whether a notification area is there; tests may decide it, otherwise the desktop does.
    static void SetTrayAvailableOverride(std::optional<bool> Value) { TTrayIcon::SetAvailableOverride(Value); }
    static bool TrayAvailable() { return TTrayIcon::Available(); }
    void SetUsageQuery(TUsageQuery Query) { tsUsage->SetUsageQuery(std::move(Query)); }

    // Shows the window at start-up unless Hide asks for the tray only; without a notification
    // area the window is shown anyway, since nothing else could bring it back.
    void StartUp(bool Hide);
    // The session ends (SIGTERM, logout): exit as Exit does, but with nobody left to click a
    // message box, a failure on the way out goes to the log instead of waiting for a click.
    void EndSession();

    // Read by tests and by the program's own screenshot command.
    IMBManager* Manager() const { return FController->Manager(); }
    TMainController* Controller() const { return FController; }
    bool CanConnect() const { return FController->CanConnect(); }
    bool CanDisconnect() const { return FController->CanDisconnect(); }
    bool PendingReconnect() const { return FController->PendingReconnect(); }
    quint32 SignalStrength() const { return FController->SignalStrength(); }
    TSignalPanel* SignalPanel() const { return FSignalPanel; }
    const QString& LastBalloonTitle() const { return FTray->LastBalloonTitle(); }
    const QString& LastBalloonText() const { return FTray->LastBalloonText(); }
    TTrayIcon* Tray() const { return FTray; }
    int BalloonCount() const { return FTray->BalloonCount(); }
    QString TrayStatus() const { return FTray->Status(); }
    bool TrayRoaming() const { return FTray->Roaming(); }
    int UsageQueries() const { return tsUsage->UsageQueries(); }
    TMBInterfaceItem* GetSelectedInterface() const { return FController->SelectedInterface(); }
    TMBProfleItem* GetSelectedProfile() const { return tsConnProf->GetSelectedProfile(); }
    // Announces the data plan alerts that are due (every minute, and when a test asks).
    void CheckPlanAlerts();
    // The titles of the plan alerts announced in this run.
    const QStringList& PlanAlerts() const { return FPlanAlerts; }
    // Re-evaluates every action's enabled rule (the update handlers).
    void UpdateActions();

    // The private window messages and the system commands, as the other parts raise them.
    void WMMonitorRedial() { FController->MonitorRedial(); }
    void WMMonitorReboot() { FController->MonitorReboot(); }
    void WMSecondInstance();
    static constexpr int SC_MINIMIZE = 0xF020;
    static constexpr int SC_CLOSE = 0xF060;
    // Minimise or close into the notification area; false when the command is not handled here.
    bool WMSysCommand(int Command);

    // Controls and actions of the frame, named as the tests and the rest of the program know
    // them; the pages' own controls are found by name (findChild).
    QAction* acSettings;
    QAction* acConnect;
    QAction* acDisconnect;
    QAction* acSendSms;
    QAction* acOpenApp;
    QAction* acExitApp;
    QAction* acAbout;
    QAction* acWebSite;
    // USSD: the dialog for the selected modem, open beside the window (null when closed).
    QAction* acUssd;
    TfmUssd* UssdDialog() const;
    // Takes the place of Connect in the tool bar while a connect is under way.
    QAction* acCancelConnect;
    // The standard Find key: the messages page with its search field ready for typing.
    QAction* acFind;
    QToolBar* tbMain;
    QMenu* pmTray;
    TInterfaceBox* cmbInterfaces;
    QTabWidget* pcMain;
    TDeviceInfoPage* tsInfo;
    TProfilesPage* tsConnProf;
    TUsagePage* tsUsage;
    TMessagesPage* tsMessages;
    TMonitorLogPage* tsMonitorLog;
    QStatusBar* sbMain;
    QLabel* sbMainPanel0;
    // Panel 2: the selected modem's registration ("Roaming: Operator, LTE").
    QLabel* sbRegistration;
    // The SIM unlock dialog while it is open.
    QPointer<TPinDialog> FPinDialog;
    void ShowUnlockDialog();

Q_SIGNALS:
    // The window was closed for good (Exit, or close without a notification area).
    void Closed();

protected:
    bool event(QEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;

private:
    // An action whose execution runs Execute behind the guard that reports its errors.
    QAction* NewAction(const char* Name, const QString& Caption, int Image, void (TfmMainView::*Execute)());
    void CreateActions();
    void CreateControls();
    void ConnectController();
    void FormCreate(const TManagerFactory& Factory);
    void ShowDeferredError(const QString& Text);
    void SaveOptionsOnExit();

    // Actions.
    void acSettingsExecute();
    // While roaming with "Do not connect while roaming" on, asks first.
    void acConnectExecute();
    void acCancelConnectExecute() { FController->CancelConnect(); }
    // A connection ended without being asked to: a notification with its reason.
    void ShowConnectionDropped(const QString& InterfaceID, const QString& Reason);
    void acDisconnectExecute() { FController->Disconnect(); }
    void acSendSmsExecute() { SendNewMessage(QString()); }
    // The new-message dialog with Text in it (empty for a new message, a message's for forward).
    void SendNewMessage(const QString& Text);
    // The new-message dialog filled in with a number and text (a failed message to edit).
    void SendSmsWith(const QString& Target, const QString& Text);
    void acOpenAppExecute();
    void acExitAppExecute();
    void acAboutExecute();
    void acWebSiteExecute();
    void acUssdExecute();
    void acFindExecute();

    // What the controller reports.
    void SmsReceived(TMBInterfaceItem* Sender);
    void SmsSent(TMBInterfaceItem* Sender);
    void ShowConnectionState(TConnectionState State);
    void ShowRestartWarning(int Seconds, const QString& Title, const QString& Text);
    // The modems offered for a data plan in the settings.
    QStringList UsageSettingsDevices() const;
    // Notifications of the messages that came in, once per batch of the manager's notifications.
    void AnnounceMessages();
    // A click on the last notification: the window with that message chosen.
    void OpenNoticedMessage();
    // The tray icon's tool tip: the state and the unread messages of every interface.
    void UpdateTrayStatus();

    // The interface box and the page control.
    void FillInterfaces();
    // A modem came or went: the list follows, the one shown stays shown while it is there.
    void InterfacesChanged();
    // What status bar panel 0 and the tray's tool tip say about the modems: none found, the
    // simulated one, or the selected one's state.
    void ShowDeviceSummary();
    void ShowRegistration(const TMbnRegistration& Registration);
    void ShowSignal(quint32 Value);
    void cmbInterfacesChange();
    void pcMainChange(int Index);

    TMainController* FController;
    TTrayIcon* FTray = nullptr;
    TSignalPanel* FSignalPanel = nullptr;
    bool FExiting = false;
    bool FEndingSession = false;
    bool FShownOnce = false;
    bool FGeometryRestored = false;
    TMessageNotifier FNotifier;
    bool FAnnouncePending = false;
    TMessageNotifier::TNotice FLastNotice;
    QString FStateText;
    QString FDeviceTip; // the selected modem's lines of the tray's tool tip
    // The restart warning on screen, if any.
    QPointer<QDialog> FRestartWarning;
    // USSD
    QPointer<TfmUssd> FUssd;
    QStringList FPlanAlerts;
};

} // namespace Ombrelay
