#pragma once

// Faults injected into the simulated modem, per operation: the next N calls of an operation
// fail, or the next N requests of it are accepted and never complete. An operation is a port
// call (SmsRead, Connect, ...) or a completion (SmsReadComplete, ConnectComplete, ...); letter
// case is ignored.

#include <QHash>
#include <QString>
#include <QStringList>

namespace Ombrelay
{

class TSimFaults
{
public:
    static QStringList OperationNames();

    // Raise EOmbrelayError for an unknown operation, and Fail for a negative count.
    void Fail(const QString& Operation, int Count);
    void Lose(const QString& Operation, int Count);

    // True, and one fewer left, when the next call of Operation is to fail (to be lost).
    bool TakeFailure(const char* Operation);
    bool TakeLoss(const char* Operation);

private:
    QHash<QString, int> FFailures;
    QHash<QString, int> FLosses;
};

} // namespace Ombrelay
