#pragma once

#include "core/MBManager.h"

#include <QDialog>
#include <QMainWindow>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <optional>

class QAbstractTableModel;
class QAction;
class QComboBox;
class QItemSelection;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTableView;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ombrelay
{

class TMBInterfaceItem;
class TMBProfleItem;
class TMonitorThread;
class TSignalPanel;
class TSmsMessagesModel;

// The second start of the program asks the running one to pop up its tray menu.
inline constexpr int WM_SECOND_INSTANCE = 3026;

// The main window: interface box, the four tabs, status bar, tool bar, menus and tray icon.
// It owns the broadband manager (through IMBManager) and the monitor thread.
class TfmMainView : public QMainWindow
{
    Q_OBJECT

public:
    using TManagerFactory = std::function<std::shared_ptr<IMBManager>()>;
    // Runs a modal dialog; tests put a function here that fills the dialog and answers it.
    using TDialogRunner = std::function<int(QDialog& Dialog)>;
    // Today's and this month's received and sent bytes.
    struct TUsageFigures
    {
        quint64 TodayIn = 0, TodayOut = 0, MonthIn = 0, MonthOut = 0;
    };
    using TUsageQuery = std::function<TUsageFigures()>;

    explicit TfmMainView(const TManagerFactory& Factory, QWidget* Parent = nullptr);
    ~TfmMainView() override;

    static void SetDialogRunner(TDialogRunner Runner);
    // Whether a notification area is there; tests may decide it, otherwise the desktop does.
    static void SetTrayAvailableOverride(std::optional<bool> Value);
    static bool TrayAvailable();
    void SetUsageQuery(TUsageQuery Query) { FUsageQuery = std::move(Query); }

    // Shows the window at start-up unless Hide asks for the tray only; without a notification
    // area the window is shown anyway, since nothing else could bring it back.
    void StartUp(bool Hide);
    // The session ends (SIGTERM, logout): exit as Exit does, but with nobody left to click a
    // message box, a failure on the way out goes to the log instead of waiting for a click.
    void EndSession();

    // Read by tests and by the program's own screenshot command.
    IMBManager* Manager() const { return FMBManager.get(); }
    bool CanConnect() const { return FCanConnect; }
    bool CanDisconnect() const { return FCanDisconnect; }
    bool PendingReconnect() const { return FPendingReconnect; }
    quint32 SignalStrength() const { return FSignalStrength; }
    TSignalPanel* SignalPanel() const { return FSignalPanel; }
    const QString& LastBalloonTitle() const { return FLastBalloonTitle; }
    int BalloonCount() const { return FBalloonCount; }
    int UsageQueries() const { return FUsageQueries; }
    TMBInterfaceItem* GetSelectedInterface() const;
    TMBProfleItem* GetSelectedProfile() const;
    // Re-evaluates every action's enabled rule (the update handlers).
    void UpdateActions();

    // The private window messages and the system commands, as the other parts raise them.
    void WMMonitorRedial();
    void WMMonitorReboot();
    void WMSecondInstance();
    static constexpr int SC_MINIMIZE = 0xF020;
    static constexpr int SC_CLOSE = 0xF060;
    // Minimise or close into the notification area; false when the command is not handled here.
    bool WMSysCommand(int Command);

    // Controls and actions, named as the tests and the rest of the program know them.
    QAction* acSettings;
    QAction* acConnect;
    QAction* acDisconnect;
    QAction* acSendSms;
    QAction* acOpenApp;
    QAction* acExitApp;
    QAction* acAbout;
    QAction* acWebSite;
    QToolBar* tbMain;
    QMenu* pmTray;
    QSystemTrayIcon* tiMain;
    QComboBox* cmbInterfaces;
    QTabWidget* pcMain;
    QWidget* tsInfo;
    QWidget* tsConnProf;
    QWidget* tsUsage;
    QWidget* tsMessages;
    QTreeWidget* lvDevCaps;
    QComboBox* cmbProfiles;
    QTreeWidget* lvProfileInfo;
    QTreeWidget* lvUsage;
    QTimer* tmUsage;
    QListWidget* lvSmsType;
    QTableView* lvMessages;
    QSplitter* spMessage;
    QPlainTextEdit* mmMessages;
    QStatusBar* sbMain;
    QLabel* sbMainPanel0;

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
    void CreateControls();
    void CreateActions();
    QWidget* CreateMessagesTab();
    void FormCreate(const TManagerFactory& Factory);
    void FormDestroy();
    void SaveOptions();
    void ShowDeferredError(const QString& Text);

    // Actions.
    void acSettingsExecute();
    void acConnectExecute();
    void acDisconnectExecute();
    void acSendSmsExecute();
    void acOpenAppExecute();
    void acExitAppExecute();
    void acAboutExecute();
    void acWebSiteExecute();
    void tiMainActivated(QSystemTrayIcon::ActivationReason Reason);
    void ExecuteAction(QAction* Action);

    // Notifications of the manager.
    void SmsReceived(TMBInterfaceItem* Sender);
    void SmsSent(TMBInterfaceItem* Sender);
    void ConnectionStateChanged(const QString& InterfaceID, TConnectionState State);
    void SignalChanged(const QString& InterfaceID, quint32 SignalStrength);
    void MonitorMessage(int Msg);

    void SetConnectionState(TConnectionState State);
    void SetSignalStrength(quint32 Value);
    void RefreshConnectionState();
    void RefreshSignal();

    // Device, profile and usage views.
    void FillInterfaces();
    void cmbInterfacesChange();
    void ShowDeviceInfo();
    void FillProfiles();
    void ShowProfileInfo();
    // The backend under the manager, for its settings; null without a manager.
    std::shared_ptr<IMbnInterfaceManager> CurrentPort() const;
    // Hands the settings that the backend honours to it.
    void ApplyBackendSettings();
    static void AddInfoRow(QTreeWidget* ListView, const QString& Caption, const QString& Value);
    void tmUsageTimer();
    void pcMainChange(int Index);
    void UpdateUsageTimer();
    static void SetTextIfChanged(QTreeWidgetItem* Item, int Column, const QString& Text);

    // SMS view.
    void lvSmsTypeSelectItem();
    void lvMessagesSelectItem(const QItemSelection& Selected, const QItemSelection& Deselected);
    void RefreshMessages();
    void UpdateInboxCaption();
    int SelectedSmsFolder() const;

    bool FCanConnect = false;
    bool FCanDisconnect = false;
    bool FPendingReconnect = false;
    std::shared_ptr<IMBManager> FMBManager;
    std::unique_ptr<TMonitorThread> FMonitorThread;
    quint32 FSignalStrength = 0;

    bool FExiting = false;
    bool FEndingSession = false;
    bool FShownOnce = false;
    TSignalPanel* FSignalPanel = nullptr;
    TSmsMessagesModel* FMessagesModel = nullptr;
    QTreeWidgetItem* FUsageRows[2] = {nullptr, nullptr};
    TUsageQuery FUsageQuery;
    int FUsageQueries = 0;
    QString FLastBalloonTitle;
    int FBalloonCount = 0;
};

} // namespace Ombrelay
