#pragma once

#include <QList>
#include <QString>

namespace Ombrelay
{

// Cumulative byte counters of one cellular interface, as its source reports them.
struct TInterfaceCounters
{
    TInterfaceCounters() = default;
    TInterfaceCounters(QString AKey, quint64 ARxBytes, quint64 ATxBytes, QString ADevice = QString())
        : Key(std::move(AKey))
        , RxBytes(ARxBytes)
        , TxBytes(ATxBytes)
        , Device(std::move(ADevice))
    {
    }

    // Identifies the interface instance within its source. A re-created interface (a new PPP
    // link, a re-plugged device) must get a new key so that its counters, which start again at
    // zero, are not mistaken for a drop of the old one: sysfs keys are "name#ifindex".
    QString Key;
    quint64 RxBytes = 0;
    quint64 TxBytes = 0;
    // The modem the interface belongs to (its interface identifier), for the per-modem history;
    // empty for links that no modem claims (the sysfs source).
    QString Device;
};

// A source of interface byte counters for the usage thread. The sysfs source is built in;
// a device backend that knows its own link counters (the simulated modem, a bearer over PPP)
// registers one more with RegisterUsageSource.
class IUsageSource
{
public:
    virtual ~IUsageSource() = default;
    // Appends the counters of every interface that counts. False when the query failed: the
    // sample is skipped and the next successful one catches up, since counters are cumulative.
    // Called on the usage thread, about once a second. It must not wait for the GUI thread:
    // UnregisterUsageSource, called there, waits for a read in progress.
    virtual bool ReadCounters(QList<TInterfaceCounters>& List) = 0;
};

// Adds Source to the counters that the usage thread sums (callable from any thread; the
// caller keeps ownership). Counters a source reports at its first read after registration
// are its baseline: bytes that passed before are not counted. Interfaces that appear later
// count from zero.
void RegisterUsageSource(IUsageSource* Source);
// Removes Source; on return no read of it is in progress and none will start.
void UnregisterUsageSource(IUsageSource* Source);

} // namespace Ombrelay
