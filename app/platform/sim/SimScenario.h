#pragma once

// What the simulated modem is: its interfaces, their capabilities, profiles and the messages
// their stores hold at power-on. Read from a JSON scenario file, or the built-in default.
//
// {
//   "delayMs": 20,                      // time between a request and each of its completions
//   "interfaces": [{
//     "id": "sim0",                     // interface identifier (unique)
//     "capabilities": { "cellularClass": 1, "voiceClass": 1, "dataClass": 53,
//                       "customDataClass": "", "gsmBandClass": 3, "cdmaBandClass": 0,
//                       "customBandClass": "", "smsCaps": 3, "controlCaps": 12,
//                       "deviceID": "...", "manufacturer": "...", "model": "...", "firmwareInfo": "..." },
//     "profiles": ["<profile XML>", ...],
//     "messages": ["07912143...", {"number": "+4912345", "text": "Hi", "time": "2024-05-01T10:00:00+02:00"}],
//     "capacity": 30,                   // messages the store holds
//     "smsMode": "pdu",                 // or "message": whole messages in and out
//     "readBatch": 10,                  // messages per read completion
//     "signal": 20,
//     "plugged": true,                  // false: in the scenario, but plugged in later ("plug")
//     "pin": "1234",                    // the SIM asks for this PIN at power-on (PUK "12345678")
//     "enabled": true,                  // false: the modem starts switched off
//     "statusReports": "delivered",      // each sent part that asks for a report gets one:
//                                        // "delivered", "failed", "pending" or "none" (default)
//     "connectDelayMs": 0,               // how long a connect stays in "connecting" (beyond delayMs)
//     "registration": "home"             // at power-on: "home", "roaming", "searching", "denied", "none"
//   }]
// }
//
// Numbers may also be given as strings ("0x35"). Unknown keys are errors, so that a misspelt
// key does not silently leave a default in place.

#include "platform/MbnPort.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Ombrelay
{

// The longest a simulated connect may be held in "connecting": an hour.
constexpr quint32 kMaxConnectDelayMs = 3600000;

struct TSimInterfaceScenario
{
    QString InterfaceID;
    TMbnInterfaceCaps Caps;
    QStringList Profiles;
    // Initial store: PDUs as they stand (PDU mode) ...
    QStringList Pdus;
    // ... and whole messages (kept whole in message mode, turned into SMS-DELIVER PDUs in PDU mode).
    QList<TMbnSmsMessage> Messages;
    int Capacity = 30;
    TMbnSmsFormat SmsFormat = TMbnSmsFormat::sfPdu;
    int ReadBatch = 10;
    quint32 Signal = 20;
    bool Plugged = true;
    // The SIM's PIN, asked for at power-on; empty for a SIM without a PIN lock.
    QString Pin;
    bool Enabled = true;
    // The outcome of the status report each sent part that asks for one gets ("delivered",
    // "failed", "pending"); empty for none.
    QString StatusReports;
    // How long a connect stays connecting before it completes (a slow network), beyond the delay.
    int ConnectDelayMs = 0;
    // Where the modem stands with the network at power-on.
    TMbnRegisterState Registration = TMbnRegisterState::rsHome;
};

struct TSimScenario
{
    int DelayMs = 20;
    QList<TSimInterfaceScenario> Interfaces;

    // One GSM modem with two profiles, in PDU mode.
    static TSimScenario Default();
    // Raises EOmbrelayError naming the file and what is wrong with it.
    static TSimScenario Load(const QString& FileName);
    // Raises EOmbrelayError with Origin (a file name) in front of what is wrong.
    static TSimScenario Parse(const QByteArray& Json, const QString& Origin = QStringLiteral("scenario"));
};

// The status octet a simulated report carries for an outcome ("delivered", "failed", "pending"),
// -1 for another word.
int SimReportStatus(const QString& Outcome);
// Whether Code is a PIN or PUK: MinDigits to MaxDigits decimal digits.
bool IsSimCode(const QString& Code, int MinDigits, int MaxDigits);
// Whether Text is a PDU as the store keeps it: whole octets as hexadecimal digits.
bool IsPduText(const QString& Text);

// A profile XML as a modem stack stores it, for scenarios built in code.
QString SimProfileXml(const QString& Name, bool IsDefault, const QString& AccessString,
                      const QString& UserName = QString(), const QString& Password = QString());

} // namespace Ombrelay
