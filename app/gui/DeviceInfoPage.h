#pragma once

#include <QWidget>

class QTimer;
class QPushButton;
class QTreeWidget;

namespace Ombrelay
{

class TMainController;

// The "Device Info" page: the capabilities and identity of the selected interface.
class TDeviceInfoPage : public QWidget
{
    Q_OBJECT

public:
    explicit TDeviceInfoPage(const TMainController& Controller, QWidget* Parent = nullptr);

    // Rebuilds the rows for the selected interface (empty without one) and remembers the
    // interface as the one to select at the next start.
    void ShowDeviceInfo();
    // Rebuilds the network rows: registration, operator, access technology and signal of the
    // selected interface (empty without one).
    void ShowNetwork();

    QTreeWidget* lvDevCaps;
    QTreeWidget* lvNetwork;
    // Ticks once a second while a connection is up, so that its duration and bytes move on.
    QTimer* tmSession;

    // "1:02:03" (hours unbounded), "0:00:05" for five seconds.
    static QString DurationText(qint64 Seconds);
    // Shown while the SIM asks for a code, and while the modem is switched off.
    QPushButton* btnUnlock;
    QPushButton* btnSwitchOn;

Q_SIGNALS:
    void UnlockRequested();
    void SwitchOnRequested();

private:
    const TMainController& FController;
};

} // namespace Ombrelay
