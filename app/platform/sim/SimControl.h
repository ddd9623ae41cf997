#pragma once

// The simulated modem's control channel: a local socket on which one-line commands drive the
// device from outside (people trying the program, black-box tests). Each command gets one
// line back, "ok ..." or "error TEXT".

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace Ombrelay
{

class TSimModem;

class TSimControl : public QObject
{
    Q_OBJECT

public:
    // Listens at Path (created 0600). A stale socket left by an ended program is replaced; a
    // path held by a running program or by something that is not a socket raises EOmbrelayError.
    TSimControl(TSimModem& Modem, const QString& Path, QObject* Parent = nullptr);
    ~TSimControl() override;

    const QString& Path() const { return FPath; }
    // Runs one command line and returns its answer line (without the line end).
    QString Execute(const QString& Line);

private:
    void OnNewConnection();

    TSimModem& FModem;
    QString FPath;
    QLocalServer FServer;
};

} // namespace Ombrelay
