#pragma once

// Network interfaces and their byte counters as the kernel lists them in a sysfs class folder
// (normally /sys/class/net): one sub-folder per interface, each with uevent, ifindex and
// statistics/{rx,tx}_bytes. The files are read directly, without Qt's file layer, because usage
// accounting samples them every second. Callable from any thread.

#include <QByteArray>
#include <QList>
#include <QString>

namespace Ombrelay
{

struct TNetInterfaceEntry
{
    QString Name;
    // A re-created interface (a new PPP link, a re-plugged device) gets a new entry, so a new
    // inode, even under the same name.
    quint64 Inode = 0;
};

// The interfaces under Root, hidden entries left out. False when Root cannot be listed.
bool ListNetInterfaces(const QString& Root, QList<TNetInterfaceEntry>& Entries);

// Whether the uevent of interface Name says DEVTYPE=DevType ("wwan" for a cellular link; tunnels
// and other links never carry that type). False when it cannot be read.
bool NetInterfaceHasDevType(const QString& Root, const QString& Name, const QByteArray& DevType);

struct TNetCounters
{
    quint64 RxBytes = 0;
    quint64 TxBytes = 0;
    // The kernel's index of the interface; a re-created link usually gets a new one.
    bool HasIfIndex = false;
    quint64 IfIndex = 0;
};

// Reads the byte counters of interface Name, and its index where the kernel gives one. False when
// the interface is gone, its counters cannot be read, or Name is not a plain entry name.
bool ReadNetCounters(const QString& Root, const QString& Name, TNetCounters& Counters);

} // namespace Ombrelay
