#include "platform/modemmanager/MMDecode.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace Ombrelay::MM
{

TInterfaceMap ReadInterfaceMap(const QDBusArgument& Arg)
{
    TInterfaceMap r;
    Arg.beginMap();
    while (!Arg.atEnd()) {
        QString name;
        QVariantMap props;
        Arg.beginMapEntry();
        Arg >> name >> props;
        Arg.endMapEntry();
        r.insert(name, props);
    }
    Arg.endMap();
    return r;
}

TInterfaceMap ToInterfaceMap(const QVariant& Value)
{
    if (Value.canConvert<QDBusArgument>()) {
        return ReadInterfaceMap(Value.value<QDBusArgument>());
    }
    return {};
}

QList<quint32> ToUIntList(const QVariant& Value)
{
    QList<quint32> r;
    if (Value.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = Value.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            quint32 v = 0;
            arg >> v;
            r << v;
        }
        arg.endArray();
    } else if (Value.canConvert<QList<quint32>>()) {
        r = Value.value<QList<quint32>>();
    }
    return r;
}

QList<quint32> ToFirstOfPairs(const QVariant& Value)
{
    QList<quint32> r;
    if (!Value.canConvert<QDBusArgument>()) {
        return r;
    }
    const QDBusArgument arg = Value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        quint32 a = 0;
        quint32 b = 0;
        arg.beginStructure();
        arg >> a >> b;
        arg.endStructure();
        r << a;
    }
    arg.endArray();
    return r;
}

quint32 ToSignalPercent(const QVariant& Value)
{
    if (!Value.canConvert<QDBusArgument>()) {
        return 0;
    }
    const QDBusArgument arg = Value.value<QDBusArgument>();
    quint32 percent = 0;
    bool recent = false;
    arg.beginStructure();
    arg >> percent >> recent;
    arg.endStructure();
    return percent;
}

QList<QString> ToPathList(const QVariant& Value)
{
    QList<QString> r;
    if (Value.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = Value.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusObjectPath p;
            arg >> p;
            r << p.path();
        }
        arg.endArray();
    } else if (Value.canConvert<QList<QDBusObjectPath>>()) {
        for (const QDBusObjectPath& p : Value.value<QList<QDBusObjectPath>>()) {
            r << p.path();
        }
    }
    return r;
}

QString ToPath(const QVariant& Value)
{
    if (Value.canConvert<QDBusObjectPath>()) {
        return Value.value<QDBusObjectPath>().path();
    }
    return Value.toString();
}

QVariant Unwrap(const QVariant& Value)
{
    if (Value.canConvert<QDBusVariant>()) {
        return Value.value<QDBusVariant>().variant();
    }
    return Value;
}

} // namespace Ombrelay::MM
