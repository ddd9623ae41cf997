#pragma once

#include "base/DateTime.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <mutex>

namespace Ombrelay
{

// Comma text, the text-list convention used for "monitor.sites" and "targetphone":
// items joined with ","; an item holding a space, a comma, a double quote or a control
// character is quoted, inner quotes doubled. Reading splits at commas and, outside quotes,
// at spaces and control characters.
QStringList CommaTextToList(const QString& Text);
QString ListToCommaText(const QStringList& List);

// What the connection monitor needs, taken together under the options' monitor lock.
struct TMonitorSettings
{
    bool Enabled = false;
    quint32 Interval = 0;
    quint32 RedialThreshold = 0;
    quint32 RebootThreshold = 0;
    QStringList Sites;

    bool operator==(const TMonitorSettings&) const = default;
};

// The user's settings in memory, persisted as eleven key/value rows of CONFIG.
//
// The UI thread loads, saves and edits the fields; the monitor thread reads the monitor
// settings while it runs. It takes them with MonitorSnapshot(). Writes of the monitor fields
// (MonitorEnabled, MonitorInterval, the two thresholds, the site list) go through their
// setters or SetMonitorSettings, which take the monitor lock; code that edits MonitorSites()
// in place holds MonitorLock() while doing so.
class TOptions
{
public:
    TOptions() = default;
    TOptions(const TOptions&) = delete;
    TOptions& operator=(const TOptions&) = delete;

    // Reads the eleven keys from CONFIG (missing or NULL ones take their defaults) in one
    // transaction under the database lock.
    void LoadOptions();
    // Writes the eleven keys to CONFIG in one transaction. Raises while no LoadOptions has
    // succeeded in this run, so settings that were never read cannot overwrite stored ones.
    void SaveOptions();
    bool Loaded() const { return FLoaded; }
    // What the last LoadOptions could not take as stored (a hand-edited CONFIG), one line each.
    const QStringList& LoadWarnings() const { return FLoadWarnings; }

    const QString& InterfaceID() const { return FInterfaceID; }
    void SetInterfaceID(const QString& Value) { FInterfaceID = Value; }
    const QString& ProfileName() const { return FProfileName; }
    void SetProfileName(const QString& Value) { FProfileName = Value; }
    const QString& TargetPhone() const { return FTargetPhone; }
    void SetTargetPhone(const QString& Value) { FTargetPhone = Value; }
    bool AutoConnect() const { return FAutoConnect; }
    void SetAutoConnect(bool Value) { FAutoConnect = Value; }
    bool TrayWarning() const { return FTrayWarning; }
    void SetTrayWarning(bool Value) { FTrayWarning = Value; }
    TDateTime SuppressTime() const { return FSuppressTime; }
    void SetSuppressTime(TDateTime Value) { FSuppressTime = Value; }
    // "Remove messages from the modem once stored"; on unless the user turned it off.
    bool RemoveStoredMessages() const { return FRemoveStoredMessages; }
    void SetRemoveStoredMessages(bool Value) { FRemoveStoredMessages = Value; }
    // "Request delivery reports": every message sent asks the network for a status report.
    bool RequestDeliveryReports() const { return FRequestDeliveryReports; }
    void SetRequestDeliveryReports(bool Value) { FRequestDeliveryReports = Value; }
    // "Do not connect while roaming": auto-connect and the monitor's reconnect leave a roaming
    // modem alone, and a connect by hand asks first.
    bool NoRoamingConnect() const { return FNoRoamingConnect; }
    void SetNoRoamingConnect(bool Value) { FNoRoamingConnect = Value; }
    // "Switch modems on when found": a modem found switched off is switched on at once.
    bool SwitchOnModems() const { return FSwitchOnModems; }
    void SetSwitchOnModems(bool Value) { FSwitchOnModems = Value; }

    bool MonitorEnabled() const;
    void SetMonitorEnabled(bool Value);
    quint32 MonitorInterval() const;
    void SetMonitorInterval(quint32 Value);
    quint32 MonitorRedialThreshold() const;
    void SetMonitorRedialThreshold(quint32 Value);
    quint32 MonitorRebootThreshold() const;
    void SetMonitorRebootThreshold(quint32 Value);
    // The owned list itself; hold MonitorLock() while editing it in place.
    QStringList& MonitorSites() { return FMonitorSites; }
    const QStringList& MonitorSites() const { return FMonitorSites; }
    void SetMonitorSites(const QStringList& Value);

    TMonitorSettings MonitorSnapshot() const;
    void SetMonitorSettings(const TMonitorSettings& Value);
    std::mutex& MonitorLock() const { return FMonitorLock; }

    // The list offered when "monitor.sites" has never been stored.
    static QStringList DefaultMonitorSites();

private:
    QVariant ReadValue(const QString& Name, const QVariant& Default);
    void WriteValue(const QString& Name, const QVariant& Value);
    quint32 ReadCount(const QString& Name, quint32 Default);

    QString FInterfaceID;
    QString FProfileName;
    quint32 FMonitorInterval = 0;
    quint32 FMonitorRedialThreshold = 0;
    quint32 FMonitorRebootThreshold = 0;
    QStringList FMonitorSites;
    bool FMonitorEnabled = false;
    bool FAutoConnect = false;
    bool FTrayWarning = false;
    QString FTargetPhone;
    TDateTime FSuppressTime = 0.0;
    bool FRemoveStoredMessages = true;
    bool FRequestDeliveryReports = true;
    bool FNoRoamingConnect = false;
    bool FSwitchOnModems = true;
    bool FLoaded = false;
    QStringList FLoadWarnings;
    mutable std::mutex FMonitorLock;
};

// The process-wide instance, set by the module start-up (Modules.h).
extern TOptions* Options;

} // namespace Ombrelay
