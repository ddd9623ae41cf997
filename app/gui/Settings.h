#pragma once

#include "core/DataPlan.h"
#include "core/UsageHistory.h"

#include <QDialog>
#include <QHash>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QGroupBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace Ombrelay
{

class TOptions;
class TSQLiteDB;

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
    // The usage settings, CONFIG rows of their own: the byte units, and the data plan of each of
    // Devices (Selected shown first). Out writes the units and the plans the user changed; a
    // plan left alone keeps its stored limit to the byte.
    void CopyInUsage(TSQLiteDB& Db, const QStringList& Devices, const QString& Selected);
    void CopyOutUsage(TSQLiteDB& Db);
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
    QWidget* tsUsageSettings;
    QComboBox* cmbByteUnits;
    QComboBox* cmbPlanDevice;
    QDoubleSpinBox* udPlanLimit;
    QSpinBox* udPlanStartDay;
    QLineEdit* edPlanAlerts;
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

    // The plan editor: the shown modem's controls into FPlans, and FPlans into the controls.
    void KeepPlan();
    void ShowPlan();
    double PlanUnit() const;

    TInputQuery FInputQuery;
    // Every modem's plan as edited so far, and as loaded.
    QHash<QString, TDataPlan> FPlans;
    QHash<QString, TDataPlan> FLoadedPlans;
    QString FPlanDevice;
    // The limit as shown in the units of the time: unchanged, the stored bytes are kept.
    double FShownLimit = 0;
    TByteUnits FShownUnits = TByteUnits::Iec;
};

} // namespace Ombrelay
