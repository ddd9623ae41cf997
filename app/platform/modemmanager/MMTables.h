#pragma once

// The fixed mappings between ModemManager's and NetworkManager's values and the port's: signal
// quality, bands, time stamps, connection states and the reasons for their end, capabilities.

#include "platform/MbnPort.h"
#include "platform/modemmanager/MMDecode.h"

#include <QDateTime>
#include <QString>

namespace Ombrelay::MM
{

// ModemManager's signal quality percentage (0..100) as the port's code on its 0..31 scale.
quint32 SignalCodeFromPercent(quint32 Percent);

// ModemManager's band names, as its own tools print them ("band-N" for one it does not name).
QString BandName(quint32 Band);
bool IsCdmaBand(quint32 Band);

// A time stamp as ModemManager writes it; invalid when it is none.
QDateTime ParseTimeStamp(const QString& Text);

QString XmlEscape(const QString& Text);

// The reasons NetworkManager gives for an active connection that ended.
QString ActiveStateReasonText(quint32 Reason);
// NetworkManager's active-connection state mapped to the port's activation state.
quint32 MapNmActiveState(quint32 State);

// The capability record of a modem from the properties of its Modem interface and the set of
// interfaces it has (Messaging, Voice, ...). The identity fields come from Modem.
TMbnInterfaceCaps MapCapabilities(const QVariantMap& Modem, const TInterfaceMap& Interfaces);

// Registration from the 3GPP interface's RegistrationState, OperatorName and OperatorCode and
// the Modem interface's AccessTechnologies (the best technology named wins).
TMbnRegistration MapRegistration(const QVariantMap& Modem, const QVariantMap& Modem3gpp);

} // namespace Ombrelay::MM
