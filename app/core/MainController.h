#pragma once

// What the main window decides without widgets: the broadband manager and the monitor thread
// with their life cycle, the connection state of the selected interface, and the answers to the
// monitor's messages.

#include "core/MBManager.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace Ombrelay
{

class TMBInterfaceItem;
class TMBProfleItem;
class TMonitorThread;

// Owns the manager (through IMBManager) and the monitor thread and applies the options to them.
// It follows the connection state and signal of the interface the window has selected, and
// decides what a reconnect or restart request of the monitor leads to. The window tells it what
// is selected and shows what its signals ask for; every operation runs on the thread that
// created it, and none lets an error of the manager escape into the event loop: those go out
// through ErrorOccurred.
class TMainController : public QObject
{
    Q_OBJECT

public:
    using TManagerFactory = std::function<std::shared_ptr<IMBManager>()>;

    static constexpr int RestartWarningSeconds = 60;

    explicit TMainController(QObject* Parent = nullptr);
    ~TMainController() override;

    // Creates the manager and registers the notifications, starts the monitor thread, loads the
    // options and hands the backend its settings, in this order. A manager that cannot be
    // created is reported and leaves none, but the options are still loaded, so that a later save
    // writes the user's settings back rather than empty ones.
    void StartUp(const TManagerFactory& Factory);
    // The same steps one by one; StartUp calls them. Monitor: the thread to run, a default
    // monitor over the process-wide options when none is given.
    void CreateManager(const TManagerFactory& Factory);
    void StartMonitor(std::unique_ptr<TMonitorThread> Monitor = nullptr);
    void LoadOptions();
    // Auto-connect: connects when the option is set and the connect rule holds now.
    void AutoConnect();
    // Stops the monitor thread (waiting for a check in progress), saves the options (a failure
    // goes to the log: nobody may be left to read a message) and releases the manager. Once.
    void ShutDown();
    // Saves the options, but only once they were loaded in this run.
    void SaveOptions();
    // Hands the settings that the backend honours to it.
    void ApplyBackendSettings();

    IMBManager* Manager() const { return FMBManager.get(); }

    // The window's selection; both are items the manager owns.
    void SetSelectedInterface(TMBInterfaceItem* Item) { FSelectedInterface = Item; }
    void SetSelectedProfile(TMBProfleItem* Profile) { FSelectedProfile = Profile; }
    TMBInterfaceItem* SelectedInterface() const { return FSelectedInterface; }
    TMBProfleItem* SelectedProfile() const { return FSelectedProfile; }

    // The last known state of the selected interface.
    bool CanConnect() const { return FCanConnect; }
    bool CanDisconnect() const { return FCanDisconnect; }
    bool PendingReconnect() const { return FPendingReconnect; }
    quint32 SignalStrength() const { return FSignalStrength; }
    const TMbnRegistration& Registration() const { return FRegistration; }
    // Locked SIM and modem power of the selected interface, and mobile broadband system-wide.
    const TMbnLockState& LockState() const { return FLockState; }
    bool Powered() const { return FPowered; }
    bool RadioEnabled() const { return FRadioEnabled; }
    // "SIM PIN required", "Modem switched off", ...; empty when the selection is ready.
    QString DeviceStateText() const;
    // The rules of the connect and disconnect actions.
    bool ProfileSelected() const { return FSelectedInterface && FSelectedProfile; }
    bool ConnectEnabled() const { return ProfileSelected() && FCanConnect; }
    bool DisconnectEnabled() const { return ProfileSelected() && FCanDisconnect; }

    // Start connecting or disconnecting the selection (the actions' handlers); the new state
    // arrives later. They raise the manager's errors to the caller.
    void Connect();
    void Disconnect();

    // Connection: cancel, roaming rule and session.
    // A connect of the selected interface is under way and may be given up.
    bool CancelEnabled() const { return FSelectedInterface && FConnecting; }
    // Gives up the connect under way; the state returns to disconnected. Raises like Disconnect.
    void CancelConnect();
    // The selected modem roams.
    bool Roaming() const { return FRegistration.State == TMbnRegisterState::rsRoaming; }
    // "Do not connect while roaming" is on and the selected modem roams: connects not asked for
    // by the user are left out, and one asked for is asked about first.
    bool RoamingRuleHolds() const;
    // The selected interface's connection: since when, what it carried, its addresses.
    TConnectionSession Session() const;

    // Read the selected interface's state and signal from the manager (after a selection change).
    void RefreshConnectionState();
    void RefreshSignal();
    void RefreshRegistration();
    void RefreshDeviceState();

    // The monitor's messages, WM_MONITOR_REDIAL and WM_MONITOR_REBOOT; others are ignored.
    void MonitorMessage(int Msg);
    // Reconnect: connect when disconnected; when connected, disconnect first and connect once
    // the state reaches disconnected; in between, nothing.
    void MonitorRedial();
    // Asks for the restart warning unless the user has suppressed it until now or later.
    void MonitorReboot();

Q_SIGNALS:
    // Something the user should read that did not stop the start-up; the window shows it once
    // the start-up is over.
    void Problem(const QString& Text);
    // An error with no caller to raise to: the manager's, or that of a connect or disconnect
    // this controller issued on its own.
    void ErrorOccurred(const QString& Message);
    // The manager's notifications, as they come.
    void SmsReceived(TMBInterfaceItem* Sender);
    void SmsSent(TMBInterfaceItem* Sender);
    // The selected interface's state or signal changed (or was read anew): show it.
    void ConnectionStateShown(TConnectionState State);
    void SignalStrengthShown(quint32 Value);
    // The selected interface's registration changed (or was read anew).
    void RegistrationShown(const Ombrelay::TMbnRegistration& Registration);
    // A modem came (Added) or went (Removed; the other is empty). When the selected one went,
    // the selection is already cleared; the window fills its list again and picks one.
    void InterfacesChanged(const QString& Added, const QString& Removed);
    // A connection ended without being asked to (any interface): tell the user why.
    void ConnectionDropped(const QString& InterfaceID, const QString& Reason);
    // The selected interface's profiles were read anew: the old ones are gone once this returns,
    // and the selected profile is cleared already.
    void ProfilesChanged();
    // Show the restart count-down for Seconds with this title and text.
    void RestartWarningWanted(int Seconds, const QString& Title, const QString& Text);
    // The selected interface's lock or power, or mobile broadband system-wide, changed (or was
    // read anew).
    void DeviceStateShown();
    // A PIN, PUK or switch-on request ended: Error is empty on success.
    void DeviceRequestFinished(const QString& InterfaceID, quint32 RequestId, const QString& Error);
    // The monitor finished a check: whether it passed, and the reason in words when not.
    void MonitorCheckShown(bool Online, const QString& Reason);

private:
    void InterfaceListChanged(const QString& Added, const QString& Removed);
    void ConnectionStateChanged(const QString& InterfaceID, TConnectionState State);
    void SignalChanged(const QString& InterfaceID, quint32 SignalStrength);
    void SetConnectionState(TConnectionState State);
    void SetSignalStrength(quint32 Value);
    bool IsSelected(const QString& InterfaceID) const;
    // Runs an operation that was not asked for by a caller who could hear of its failure.
    template <class F>
    void Reported(F&& Body);
    // Connects on the monitor's behalf and logs a failure to start as the reconnect's result.
    void ReconnectNow();
    void LogReconnectResult(bool Ok, const QString& Reason);

    bool FCanConnect = false;
    bool FCanDisconnect = false;
    bool FConnecting = false;
    bool FPendingReconnect = false;
    // A connect of the monitor's is under way: its outcome goes to the monitor log.
    bool FReconnectWatched = false;
    bool FReconnectConnecting = false;
    std::shared_ptr<IMBManager> FMBManager;
    std::unique_ptr<TMonitorThread> FMonitorThread;
    quint32 FSignalStrength = 0;
    TMbnRegistration FRegistration;
    TMbnLockState FLockState;
    bool FPowered = true;
    bool FRadioEnabled = true;
    TMBInterfaceItem* FSelectedInterface = nullptr;
    TMBProfleItem* FSelectedProfile = nullptr;
    bool FShutDown = false;
};

} // namespace Ombrelay
