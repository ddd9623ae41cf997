#pragma once

#include <QDialog>

#include <functional>

class QAction;
class QCheckBox;
class QGroupBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace Ombrelay
{

class TOptions;

// The settings dialog: the connection monitor's settings and the auto-connect switch. It holds
// its values only in its controls; the caller copies them in and, on OK, back out.
class TfmSettings : public QDialog
{
    Q_OBJECT

public:
    explicit TfmSettings(QWidget* Parent = nullptr);

    // The one-line input asked for by "Add...": returns false when the user cancels. Replaceable,
    // so that tests answer it without a modal box.
    using TInputQuery = std::function<bool(QWidget* Parent, QString& Value)>;
    void SetInputQuery(TInputQuery Query) { FInputQuery = std::move(Query); }

    // The main window's exchange: six values in before showing, the same six out after OK.
    void CopyIn(const TOptions& Source);
    void CopyOut(TOptions& Target) const;
    // Whether the modem's message store is shared with other programs; only then can the user
    // choose to leave stored messages on it.
    void SetMessageStoreShared(bool Shared);

    QTabWidget* pcSettings;
    QWidget* tsMonitor;
    QWidget* tsGeneral;
    QCheckBox* cbMonitor;
    QGroupBox* gbMonitorChecks;
    QListWidget* lbMonitorSites;
    QPushButton* btnSiteAdd;
    QPushButton* btnSiteDel;
    QGroupBox* gbMonitorActions;
    QSpinBox* udMonitorInterval;
    QSpinBox* udMonitorRedialThreshold;
    QSpinBox* udMonitorRebootThreshold;
    QCheckBox* cbAutoConnect;
    QCheckBox* cbRemoveStored;
    QCheckBox* cbSwitchOnModems;
    QCheckBox* cbAutostart;
    QCheckBox* cbNoRoamingConnect;
    QPushButton* btnOK;
    QAction* acSiteAdd;
    QAction* acSiteDel;

    void acSiteAddExecute();
    void acSiteDelExecute();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void FormShow();
    void cbMonitorClick();
    void acSiteDelUpdate();
    void UpdateMonitorControls();
    static void SetControlsEnabled(QWidget* Container, bool Enabled);

    TInputQuery FInputQuery;
};

} // namespace Ombrelay
