#include "core/MainController.h"

#include "base/DateTime.h"
#include "base/Errors.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBProfleItem.h"
#include "core/Monitor.h"
#include "core/MonitorLog.h"
#include "core/Options.h"

#include <QCoreApplication>
#include <QDir>

namespace Ombrelay
{

namespace
{

// Why a connect not asked for by the user was left out, as the monitor log says it.
const char* const kRoamingReason = "roaming, and \"Do not connect while roaming\" is on";

QString ErrorText(const std::exception& E)
{
    const auto* own = dynamic_cast<const EOmbrelayError*>(&E);
    return own ? own->Message() : QString::fromUtf8(E.what());
}

} // namespace

TMainController::TMainController(QObject* Parent)
    : QObject(Parent)
{
}

TMainController::~TMainController()
{
    ShutDown();
}

template <class F>
void TMainController::Reported(F&& Body)
{
    try {
        std::forward<F>(Body)();
    } catch (const std::exception& e) {
        Q_EMIT ErrorOccurred(ErrorText(e));
    } catch (...) {
        Q_EMIT ErrorOccurred(QCoreApplication::translate("MainController", "Unknown error"));
    }
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void TMainController::StartUp(const TManagerFactory& Factory)
{
    CreateManager(Factory);
    StartMonitor();
    Reported([this] { LoadOptions(); });
    // SQLite opens a file it cannot write for reading alone and says nothing until the first
    // write fails; the user hears of it now, not at the first message.
    if (Database && Database->ReadOnly()) {
        Q_EMIT Problem(QCoreApplication::translate("MainController",
                                                   "The database file %1 can only be read. Received messages stay "
                                                   "on the modem and settings are not saved until the file can be "
                                                   "written.")
                           .arg(QDir::toNativeSeparators(Database->FileName())));
    }
}

void TMainController::CreateManager(const TManagerFactory& Factory)
{
    try {
        FMBManager = Factory ? Factory() : nullptr;
    } catch (const std::exception& e) {
        Q_EMIT Problem(ErrorText(e));
    }
    if (!FMBManager) {
        return;
    }
    // Messages are read the moment the device announces them; the poll stays as the safety net.
    // OMBRELAY_READ_ON_EVENT=0 leaves reads to the poll alone (to measure what the event gains).
    FMBManager->SetReadOnNewMessage(qEnvironmentVariable("OMBRELAY_READ_ON_EVENT") != QLatin1String("0"));
    FMBManager->SetIncomingSmsNotify([this](TMBInterfaceItem* Sender) { Q_EMIT SmsReceived(Sender); });
    FMBManager->SetOutgoingSmsNotify([this](TMBInterfaceItem* Sender) { Q_EMIT SmsSent(Sender); });
    FMBManager->SetConnectionStateNotify(
        [this](const QString& InterfaceID, TConnectionState State) { ConnectionStateChanged(InterfaceID, State); });
    FMBManager->SetConnectionSignalNotify(
        [this](const QString& InterfaceID, quint32 Strength) { SignalChanged(InterfaceID, Strength); });
    FMBManager->SetErrorNotify([this](const QString& Message) { Q_EMIT ErrorOccurred(Message); });
    FMBManager->SetInterfacesChangedNotify(
        [this](const QString& Added, const QString& Removed) { InterfaceListChanged(Added, Removed); });
    FMBManager->SetConnectionDroppedNotify(
        [this](const QString& InterfaceID, const QString& Reason) { Q_EMIT ConnectionDropped(InterfaceID, Reason); });
    FMBManager->SetProfilesChangedNotify([this](const QString& InterfaceID) {
        if (IsSelected(InterfaceID)) {
            FSelectedProfile = nullptr;
            Q_EMIT ProfilesChanged();
        }
    });
    FMBManager->SetRegistrationNotify([this](const QString& InterfaceID) {
        if (IsSelected(InterfaceID)) {
            Reported([this] { RefreshRegistration(); });
        }
    });
    FMBManager->SetDeviceStateNotify([this](const QString& InterfaceID) {
        if (InterfaceID.isEmpty() || IsSelected(InterfaceID)) {
            Reported([this] { RefreshDeviceState(); });
        }
    });
    FMBManager->SetDeviceRequestNotify([this](const QString& InterfaceID, quint32 RequestId, const QString& Error) {
        Q_EMIT DeviceRequestFinished(InterfaceID, RequestId, Error);
    });
    const QStringList warnings = FMBManager->GetLoadWarnings();
    if (!warnings.isEmpty()) {
        Q_EMIT Problem(warnings.join(QLatin1Char('\n')));
    }
}

void TMainController::StartMonitor(std::unique_ptr<TMonitorThread> Monitor)
{
    FMonitorThread = Monitor ? std::move(Monitor) : std::make_unique<TMonitorThread>();
    // The monitor emits on its own thread; its messages are handled here in event-loop order.
    connect(
        FMonitorThread.get(), &TMonitorThread::MonitorMessage, this, [this](int Msg) { MonitorMessage(Msg); },
        Qt::QueuedConnection);
    connect(
        FMonitorThread.get(), &TMonitorThread::CheckFinished, this,
        [this](bool Online, const QString& Reason) { Q_EMIT MonitorCheckShown(Online, Reason); }, Qt::QueuedConnection);
    FMonitorThread->start();
}

void TMainController::LoadOptions()
{
    if (!Options) {
        return;
    }
    Options->LoadOptions();
    if (!Options->LoadWarnings().isEmpty()) {
        Q_EMIT Problem(Options->LoadWarnings().join(QLatin1Char('\n')));
    }
    ApplyBackendSettings();
}

void TMainController::AutoConnect()
{
    // Connect re-checks its rule, so nothing happens unless it holds now.
    if (Options && Options->AutoConnect() && ConnectEnabled()) {
        if (RoamingRuleHolds()) {
            LogMonitorEvent({Clock::Now(), QLatin1String(MonitorLogKind::Reconnect), QString(), QString(),
                             QStringLiteral("nothing done"),
                             QStringLiteral("auto-connect left out: ") + QLatin1String(kRoamingReason)});
            return;
        }
        Reported([this] { Connect(); });
    }
}

void TMainController::ShutDown()
{
    if (FShutDown) {
        return;
    }
    FShutDown = true;
    // The monitor may be in the middle of a check: wait for it before the options are saved.
    FMonitorThread.reset();
    try {
        SaveOptions();
    } catch (const std::exception& e) {
        qWarning("Ombrelay: the settings could not be saved: %s", e.what());
    }
    if (FMBManager) {
        FMBManager->SetIncomingSmsNotify({});
        FMBManager->SetOutgoingSmsNotify({});
        FMBManager->SetConnectionStateNotify({});
        FMBManager->SetConnectionSignalNotify({});
        FMBManager->SetErrorNotify({});
        FMBManager->SetInterfacesChangedNotify({});
        FMBManager->SetRegistrationNotify({});
        FMBManager->SetConnectionDroppedNotify({});
        FMBManager->SetProfilesChangedNotify({});
        FMBManager->SetDeviceStateNotify({});
        FMBManager->SetDeviceRequestNotify({});
        FMBManager.reset();
    }
    FSelectedInterface = nullptr;
    FSelectedProfile = nullptr;
}

void TMainController::SaveOptions()
{
    // Settings that were never read in this run are never written over the stored ones.
    if (Options && Options->Loaded()) {
        Options->SaveOptions();
    }
}

void TMainController::ApplyBackendSettings()
{
    if (FMBManager && Options) {
        FMBManager->SetRemoveStoredMessages(Options->RemoveStoredMessages());
        FMBManager->SetRequestDeliveryReports(Options->RequestDeliveryReports());
        FMBManager->SetSwitchOnModems(Options->SwitchOnModems());
    }
    // A disabled monitor sleeps long: it takes up new settings now.
    if (FMonitorThread) {
        FMonitorThread->Wake();
    }
}

// ---------------------------------------------------------------------------------------------
// Connection state and signal of the selected interface

void TMainController::Connect()
{
    if (FSelectedInterface && FSelectedProfile && FMBManager) {
        FMBManager->Connect(FSelectedInterface->InterfaceID(), FSelectedProfile->Name());
    }
}

void TMainController::Disconnect()
{
    if (FSelectedInterface && FMBManager) {
        FMBManager->Disconnect(FSelectedInterface->InterfaceID());
    }
}

void TMainController::CancelConnect()
{
    if (FSelectedInterface && FMBManager) {
        FMBManager->CancelConnect(FSelectedInterface->InterfaceID());
    }
}

bool TMainController::RoamingRuleHolds() const
{
    return Options && Options->NoRoamingConnect() && Roaming();
}

TConnectionSession TMainController::Session() const
{
    return FSelectedInterface && FMBManager ? FMBManager->GetSession(FSelectedInterface->InterfaceID())
                                            : TConnectionSession();
}

bool TMainController::IsSelected(const QString& InterfaceID) const
{
    return FSelectedInterface && FSelectedInterface->InterfaceID() == InterfaceID;
}

void TMainController::InterfaceListChanged(const QString& Added, const QString& Removed)
{
    if (!Removed.isEmpty() && IsSelected(Removed)) {
        // The item is destroyed once this returns: nothing may point at it or at its profiles.
        FSelectedInterface = nullptr;
        FSelectedProfile = nullptr;
        FPendingReconnect = false;
        FCanConnect = false;
        FCanDisconnect = false;
        FConnecting = false;
        FSignalStrength = 0;
        FRegistration = {};
        FLockState = {};
        FPowered = true;
    }
    Q_EMIT InterfacesChanged(Added, Removed);
}

void TMainController::ConnectionStateChanged(const QString& InterfaceID, TConnectionState State)
{
    if (IsSelected(InterfaceID)) {
        SetConnectionState(State);
    }
}

void TMainController::SignalChanged(const QString& InterfaceID, quint32 SignalStrength)
{
    if (IsSelected(InterfaceID)) {
        SetSignalStrength(SignalStrength);
    }
}

void TMainController::RefreshConnectionState()
{
    if (FSelectedInterface && FMBManager) {
        SetConnectionState(FMBManager->GetConnectionState(FSelectedInterface->InterfaceID()));
    }
}

void TMainController::RefreshSignal()
{
    if (FSelectedInterface && FMBManager) {
        SetSignalStrength(FMBManager->GetSignalStrength(FSelectedInterface->InterfaceID()));
    }
}

void TMainController::RefreshRegistration()
{
    FRegistration = FSelectedInterface && FMBManager ? FMBManager->GetRegistration(FSelectedInterface->InterfaceID())
                                                     : TMbnRegistration();
    Q_EMIT RegistrationShown(FRegistration);
}

void TMainController::RefreshDeviceState()
{
    FLockState = {};
    FPowered = true;
    FRadioEnabled = !FMBManager || FMBManager->RadioEnabled();
    if (FSelectedInterface && FMBManager) {
        FLockState = FMBManager->GetLockState(FSelectedInterface->InterfaceID());
        FPowered = FMBManager->IsPowered(FSelectedInterface->InterfaceID());
    }
    Q_EMIT DeviceStateShown();
}

QString TMainController::DeviceStateText() const
{
    return Ombrelay::DeviceStateText(FLockState, FPowered, FRadioEnabled);
}

void TMainController::SetSignalStrength(quint32 Value)
{
    FSignalStrength = Value;
    Q_EMIT SignalStrengthShown(Value);
}

void TMainController::SetConnectionState(TConnectionState State)
{
    FCanConnect = State == csDisconnected;
    FCanDisconnect = State == csConnected;
    FConnecting = State == csConnecting;
    Q_EMIT ConnectionStateShown(State);
    // A reconnect's outcome: connected, or back to disconnected after it was seen connecting (a
    // disconnected state that was still on its way when the connect went out says nothing).
    if (FReconnectWatched && State == csConnecting) {
        FReconnectConnecting = true;
    } else if (FReconnectWatched && State == csConnected) {
        LogReconnectResult(true, QStringLiteral("connected"));
    } else if (FReconnectWatched && FReconnectConnecting && State == csDisconnected && !FPendingReconnect) {
        LogReconnectResult(false, QStringLiteral("the connection did not come up"));
    }
    // The second half of a monitor's reconnect: the connection is down, bring it up again.
    if (State == csDisconnected && FPendingReconnect) {
        FPendingReconnect = false;
        if (RoamingRuleHolds()) {
            // Roaming began while the connection went down.
            LogReconnectResult(false, QLatin1String(kRoamingReason));
        } else if (ConnectEnabled()) {
            ReconnectNow();
        } else {
            LogReconnectResult(false, QStringLiteral("no profile selected"));
        }
    }
}

void TMainController::ReconnectNow()
{
    FReconnectWatched = true;
    FReconnectConnecting = false;
    try {
        Connect();
    } catch (const std::exception& e) {
        LogReconnectResult(false, ErrorText(e));
        Q_EMIT ErrorOccurred(ErrorText(e));
    } catch (...) {
        LogReconnectResult(false, QStringLiteral("Unknown error"));
        Q_EMIT ErrorOccurred(QCoreApplication::translate("MainController", "Unknown error"));
    }
}

void TMainController::LogReconnectResult(bool Ok, const QString& Reason)
{
    FReconnectWatched = false;
    FReconnectConnecting = false;
    LogMonitorEvent({Clock::Now(), QLatin1String(MonitorLogKind::ReconnectResult), QString(), QString(),
                     Ok ? QStringLiteral("ok") : QStringLiteral("failed"), Reason});
}

// ---------------------------------------------------------------------------------------------
// The monitor's messages

void TMainController::MonitorMessage(int Msg)
{
    if (Msg == WM_MONITOR_REDIAL) {
        MonitorRedial();
    } else if (Msg == WM_MONITOR_REBOOT) {
        MonitorReboot();
    }
}

void TMainController::MonitorRedial()
{
    auto logRequest = [](const QString& Result, const QString& Reason) {
        LogMonitorEvent({Clock::Now(), QLatin1String(MonitorLogKind::Reconnect), QString(), QString(), Result, Reason});
    };
    // Each step goes through the action's rule: with nothing selected, nothing happens.
    if ((FCanConnect || FCanDisconnect) && RoamingRuleHolds()) {
        // Not even the disconnect: a connection the user made while roaming stays up.
        logRequest(QStringLiteral("nothing done"), QLatin1String(kRoamingReason));
    } else if (FCanConnect) {
        if (ConnectEnabled()) {
            logRequest(QStringLiteral("connect"), QStringLiteral("disconnected"));
            ReconnectNow();
        } else {
            logRequest(QStringLiteral("nothing done"), QStringLiteral("no profile selected"));
        }
    } else if (FCanDisconnect && DisconnectEnabled()) {
        logRequest(QStringLiteral("disconnect and connect"), QStringLiteral("connected"));
        // Only a disconnect that went out leaves a connect waiting: otherwise the next
        // disconnected state, of whatever interface is selected by then or of a disconnect the
        // user asks for, would connect unasked.
        FPendingReconnect = true;
        bool sent = false;
        Reported([this, &sent] {
            Disconnect();
            sent = true;
        });
        if (!sent) {
            FPendingReconnect = false;
            LogReconnectResult(false, QStringLiteral("the disconnect was refused"));
        }
    } else {
        logRequest(QStringLiteral("nothing done"), FSelectedInterface ? QStringLiteral("connecting or disconnecting")
                                                                      : QStringLiteral("no modem selected"));
    }
}

void TMainController::MonitorReboot()
{
    if (Options && Clock::Now() <= Options->SuppressTime()) {
        LogMonitorEvent(
            {Clock::Now(), QLatin1String(MonitorLogKind::Suppressed), QString(), QString(),
             QStringLiteral("no warning"),
             QStringLiteral("put off until %1")
                 .arg(ToQDateTime(Options->SuppressTime()).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))});
        return;
    }
    LogMonitorEvent({Clock::Now(), QLatin1String(MonitorLogKind::RestartWarning), QString(), QString(),
                     QStringLiteral("shown"), QStringLiteral("restart in %1 seconds").arg(RestartWarningSeconds)});
    Q_EMIT RestartWarningWanted(RestartWarningSeconds,
                                QCoreApplication::translate("MainController", "Shutdown Warning"),
                                QCoreApplication::translate("MainController",
                                                            "Due to a connection failure this PC will be restarted"));
}

} // namespace Ombrelay
