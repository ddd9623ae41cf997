#pragma once

// The names this backend uses on the system bus: services, object paths and interfaces of
// ModemManager and NetworkManager.

#include <QString>

namespace Ombrelay::MM
{

inline const QString kMMService = QStringLiteral("org.freedesktop.ModemManager1");
inline const QString kMMPath = QStringLiteral("/org/freedesktop/ModemManager1");
inline const QString kMMModem = QStringLiteral("org.freedesktop.ModemManager1.Modem");
inline const QString kMMMessaging = QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging");
inline const QString kMMVoice = QStringLiteral("org.freedesktop.ModemManager1.Modem.Voice");
inline const QString kMMUssd = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp.Ussd");
inline const QString kMM3gpp = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp");
inline const QString kMMSim = QStringLiteral("org.freedesktop.ModemManager1.Sim");
inline const QString kMMSms = QStringLiteral("org.freedesktop.ModemManager1.Sms");
inline const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

inline const QString kNmService = QStringLiteral("org.freedesktop.NetworkManager");
inline const QString kNmPath = QStringLiteral("/org/freedesktop/NetworkManager");
inline const QString kNmSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
inline const QString kNmSettings = QStringLiteral("org.freedesktop.NetworkManager.Settings");
inline const QString kNmConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
inline const QString kNmDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
inline const QString kNmActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");

} // namespace Ombrelay::MM
