#pragma once

// The platform port over the Linux modem stack: ModemManager (modems, signal, messages) and
// NetworkManager (connection profiles, connecting), both reached on the system bus through QtDBus.
//
// ModemManager never hands out PDUs: it joins long messages itself and splits them when sending,
// so the interfaces of this backend speak the port's message mode. The port's queries (interfaces,
// capabilities, signal, profiles, state) are answered from a cache that the bus's signals keep
// current; every request is an asynchronous call whose reply becomes the completion, so nothing
// here ever waits for the bus except the bounded first read when the backend is created.

#include "platform/MbnPort.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace Ombrelay
{

class TMMInterface;

struct TMMBackendOptions
{
    // Messages leave the modem once the program has stored them. Off, they stay for other
    // clients of ModemManager (which all see the same store) and this program skips the ones it
    // already took for as long as it runs.
    bool RemoveStoredMessages = true;
    // Every message sent asks the network for a status report (delivery-report-request).
    bool RequestDeliveryReports = true;
    // How long the first read of ModemManager and NetworkManager may take, in milliseconds.
    int StartTimeoutMs = 2000;
    // Where the kernel lists network interfaces and their byte counters.
    QString SysfsRoot = QStringLiteral("/sys/class/net");
};

class TMMInterfaceManager : public IMbnInterfaceManager, public std::enable_shared_from_this<TMMInterfaceManager>
{
    Q_OBJECT

public:
    // Reads the modems and profiles once, waiting at most Options.StartTimeoutMs. Returns null and
    // says why in Reason when ModemManager does not answer, or when RequireModem is set and it
    // knows no modem.
    static std::shared_ptr<TMMInterfaceManager> Create(const TMMBackendOptions& Options, bool RequireModem,
                                                       QString* Reason = nullptr);
    ~TMMInterfaceManager() override;

    QString Name() const override { return QStringLiteral("modemmanager"); }
    TMbnResult GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces) override;
    TMbnResult GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface) override;
    TMbnResult CreateProfileManager(std::shared_ptr<IMbnConnectionProfileManager>& ProfileManager) override;
    QString ErrorText(TMbnResult Code) const override;
    bool SharesMessageStore() const override { return true; }
    QString PasswordKeeper() const override { return QStringLiteral("NetworkManager"); }
    // NetworkManager's WwanEnabled; on while NetworkManager does not say otherwise.
    bool RadioEnabled() const override { return FWwanEnabled; }

    // Whether NetworkManager answered; without it the interfaces cannot connect.
    bool NetworkManagerAvailable() const { return FNmAvailable; }

    // Internal to the backend: used by its interfaces.
    QDBusConnection& Bus() { return FBus; }
    TMbnRequestId NextRequestId() { return ++FLastRequestId; }
    // A failure code of this backend carrying Text, for ErrorText.
    TMbnResult MakeError(const QString& Text);
    TMbnResult MakeError(const QDBusMessage& Reply);
    // The gsm profiles of NetworkManager that may be used with the modem of this identifier.
    struct TNmProfile
    {
        QString Path;
        QString Id;
        QString Apn;
        QString UserName;
        QString DeviceId;
        bool AutoConnect = true;
        bool HomeOnly = false;
        qint32 Priority = 0;
    };
    QList<TNmProfile> ProfilesFor(const QString& InterfaceID) const;
    bool RemoveStoredMessages() const { return FOptions.RemoveStoredMessages; }
    const QString& SysfsRoot() const { return FOptions.SysfsRoot; }
    // The last state (and its reason) of an active connection that no interface knew yet.
    bool TakeUnclaimedState(const QString& ActivePath, quint32& State, quint32& Reason);
    // The setting may change while the program runs; it holds from the next delete on.
    void SetRemoveStoredMessages(bool Value) override { FOptions.RemoveStoredMessages = Value; }
    bool RequestDeliveryReports() const { return FOptions.RequestDeliveryReports; }
    void SetRequestDeliveryReports(bool Value) override { FOptions.RequestDeliveryReports = Value; }

private Q_SLOTS:
    void OnInterfacesAdded(const QDBusMessage& Message);
    void OnInterfacesRemoved(const QDBusMessage& Message);
    void OnMMPropertiesChanged(const QDBusMessage& Message);
    void OnMessageAdded(const QDBusMessage& Message);
    void OnNmPropertiesChanged(const QDBusMessage& Message);
    void OnNmActiveStateChanged(const QDBusMessage& Message);
    void OnNmSettingsChanged(const QDBusMessage& Message);
    void OnNmDeviceAdded(const QDBusMessage& Message);

private:
    explicit TMMInterfaceManager(const TMMBackendOptions& Options);
    bool Load(bool RequireModem, QString* Reason);
    void LoadNetworkManager(int TimeoutMs);
    void AddModem(const QString& Path, const QMap<QString, QVariantMap>& Interfaces);
    std::shared_ptr<TMMInterface> FindByPath(const QString& Path) const;
    void ReloadProfiles();
    // Finds the NetworkManager device of each modem again (a device that came later, or
    // NetworkManager started after the program).
    void ReloadDevices();
    void OnServiceRegistered(const QString& Service);
    void OnServiceUnregistered(const QString& Service);
    static QList<TNmProfile> ReadProfiles(const QList<QString>& Paths, const QList<QDBusMessage>& Replies);
    // A bounded wait for one reply, used only while the backend is created.
    static QDBusMessage CallBounded(QDBusConnection& Bus, const QDBusMessage& Message, int TimeoutMs);

    TMMBackendOptions FOptions;
    QDBusConnection FBus;
    QDBusServiceWatcher FWatcher;
    QList<std::shared_ptr<TMMInterface>> FInterfaces;
    QList<TNmProfile> FProfiles;
    bool FNmAvailable = false;
    bool FWwanEnabled = true;
    void SetWwanEnabled(bool Value);
    bool FProfilesLoading = false;
    bool FProfilesStale = false;
    TMbnRequestId FLastRequestId = 0;
    QHash<TMbnResult, QString> FErrors;
    QHash<QString, std::pair<quint32, quint32>> FUnclaimedStates;
    TMbnResult FNextError = mrBackendBase - 1;
};

} // namespace Ombrelay
