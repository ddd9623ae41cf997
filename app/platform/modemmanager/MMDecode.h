#pragma once

// Decoding of the values QtDBus hands over from ModemManager and NetworkManager. A value of a
// compound type comes as a QDBusArgument to be read field by field, a simple one as itself; each
// decoder takes both where both occur and yields an empty result for anything else.

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class QDBusArgument;

namespace Ombrelay::MM
{

// The properties of an object, by interface ("a{sa{sv}}").
using TInterfaceMap = QMap<QString, QVariantMap>;

TInterfaceMap ReadInterfaceMap(const QDBusArgument& Arg);
TInterfaceMap ToInterfaceMap(const QVariant& Value);
// Unsigned integers of an "au" value, however QtDBus handed it over.
QList<quint32> ToUIntList(const QVariant& Value);
// The first members of each structure of an "a(uu)" value.
QList<quint32> ToFirstOfPairs(const QVariant& Value);
// The signal quality "(ub)": a percentage and whether it is recent.
quint32 ToSignalPercent(const QVariant& Value);
// The paths of an "ao" value.
QList<QString> ToPathList(const QVariant& Value);
// An object path ("o"), or a string as it stands.
QString ToPath(const QVariant& Value);
// The value inside a variant ("v"), or the value itself when it is none.
QVariant Unwrap(const QVariant& Value);

} // namespace Ombrelay::MM
