#include "gui/Settings.h"

#include "core/Options.h"
#include "core/Usage.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace Ombrelay
{

namespace
{

bool DefaultInputQuery(QWidget* Parent, QString& Value)
{
    bool ok = false;
    Value =
        QInputDialog::getText(Parent, TfmSettings::tr("Add Web Site"), QString(), QLineEdit::Normal, QString(), &ok);
    return ok;
}

QSpinBox* NewUpDown(const char* Name, int Min, int Max, QWidget* Parent)
{
    auto* box = new QSpinBox(Parent);
    box->setObjectName(QLatin1String(Name));
    box->setRange(Min, Max);
    return box;
}

} // namespace

TfmSettings::TfmSettings(QWidget* Parent)
    : QDialog(Parent)
    , FInputQuery(DefaultInputQuery)
{
    setObjectName(QStringLiteral("fmSettings"));
    setWindowTitle(tr("Settings"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    pcSettings = new QTabWidget(this);
    pcSettings->setObjectName(QStringLiteral("pcSettings"));
    tsMonitor = new QWidget;
    tsMonitor->setObjectName(QStringLiteral("tsMonitor"));
    tsGeneral = new QWidget;
    tsGeneral->setObjectName(QStringLiteral("tsGeneral"));
    pcSettings->addTab(tsMonitor, tr("Connection &Monitor"));
    pcSettings->addTab(tsGeneral, tr("&General"));

    cbMonitor = new QCheckBox(tr("&Check if the computer is online"), tsMonitor);
    cbMonitor->setObjectName(QStringLiteral("cbMonitor"));

    gbMonitorChecks = new QGroupBox(tsMonitor);
    gbMonitorChecks->setObjectName(QStringLiteral("gbMonitorChecks"));
    auto* sitesLabel = new QLabel(tr("&Web sites"), gbMonitorChecks);
    lbMonitorSites = new QListWidget(gbMonitorChecks);
    lbMonitorSites->setObjectName(QStringLiteral("lbMonitorSites"));
    lbMonitorSites->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbMonitorSites->setFlow(QListView::TopToBottom);
    lbMonitorSites->setWrapping(true);
    lbMonitorSites->setResizeMode(QListView::Adjust);
    lbMonitorSites->setMinimumSize(300, 90);

    acSiteAdd = new QAction(tr("&Add..."), this);
    acSiteAdd->setObjectName(QStringLiteral("acSiteAdd"));
    acSiteDel = new QAction(tr("&Delete"), this);
    acSiteDel->setObjectName(QStringLiteral("acSiteDel"));
    // The Delete key removes the selected sites while the list has the focus.
    acSiteDel->setShortcuts(QKeySequence::Delete);
    acSiteDel->setShortcutContext(Qt::WidgetShortcut);
    lbMonitorSites->addAction(acSiteDel);
    sitesLabel->setBuddy(lbMonitorSites);
    btnSiteAdd = new QPushButton(acSiteAdd->text(), gbMonitorChecks);
    btnSiteAdd->setObjectName(QStringLiteral("btnSiteAdd"));
    btnSiteDel = new QPushButton(acSiteDel->text(), gbMonitorChecks);
    btnSiteDel->setObjectName(QStringLiteral("btnSiteDel"));
    btnSiteAdd->setAutoDefault(false);
    btnSiteDel->setAutoDefault(false);
    connect(btnSiteAdd, &QPushButton::clicked, acSiteAdd, &QAction::trigger);
    connect(btnSiteDel, &QPushButton::clicked, acSiteDel, &QAction::trigger);
    connect(acSiteAdd, &QAction::triggered, this, &TfmSettings::acSiteAddExecute);
    connect(acSiteDel, &QAction::triggered, this, &TfmSettings::acSiteDelExecute);
    connect(acSiteDel, &QAction::enabledChanged, btnSiteDel, &QPushButton::setEnabled);

    auto* checksLayout = new QGridLayout(gbMonitorChecks);
    checksLayout->addWidget(sitesLabel, 0, 0, 1, 2);
    checksLayout->addWidget(lbMonitorSites, 1, 0, 3, 1);
    checksLayout->addWidget(btnSiteAdd, 1, 1);
    checksLayout->addWidget(btnSiteDel, 2, 1);
    checksLayout->setRowStretch(3, 1);

    gbMonitorActions = new QGroupBox(tr("Options"), tsMonitor);
    gbMonitorActions->setObjectName(QStringLiteral("gbMonitorActions"));
    udMonitorInterval = NewUpDown("udMonitorInterval", 10, 3600, gbMonitorActions);
    udMonitorRedialThreshold = NewUpDown("udMonitorRedialThreshold", 0, 100, gbMonitorActions);
    udMonitorRebootThreshold = NewUpDown("udMonitorRebootThreshold", 0, 100, gbMonitorActions);
    auto* actionsLayout = new QFormLayout(gbMonitorActions);
    actionsLayout->addRow(tr("Run a check every (seconds)"), udMonitorInterval);
    actionsLayout->addRow(tr("Reconnect after (failures)"), udMonitorRedialThreshold);
    actionsLayout->addRow(tr("Restart the computer after (failures)"), udMonitorRebootThreshold);

    auto* monitorLayout = new QVBoxLayout(tsMonitor);
    monitorLayout->addWidget(cbMonitor);
    monitorLayout->addWidget(gbMonitorChecks);
    monitorLayout->addWidget(gbMonitorActions);

    cbAutoConnect = new QCheckBox(tr("Connect on &startup"), tsGeneral);
    cbAutoConnect->setObjectName(QStringLiteral("cbAutoConnect"));
    auto* generalLayout = new QVBoxLayout(tsGeneral);
    generalLayout->addWidget(cbAutoConnect);
    cbNoRoamingConnect = new QCheckBox(tr("Do not connect while &roaming"), tsGeneral);
    cbNoRoamingConnect->setObjectName(QStringLiteral("cbNoRoamingConnect"));
    cbNoRoamingConnect->setToolTip(tr("Connecting on startup and the online monitor's reconnect leave a roaming "
                                      "modem alone; connecting by hand asks first."));
    generalLayout->addWidget(cbNoRoamingConnect);
    cbRemoveStored = new QCheckBox(tr("&Remove messages from the modem once stored"), tsGeneral);
    cbRemoveStored->setObjectName(QStringLiteral("cbRemoveStored"));
    generalLayout->addWidget(cbRemoveStored);
    cbSwitchOnModems = new QCheckBox(tr("S&witch modems on when found"), tsGeneral);
    cbSwitchOnModems->setObjectName(QStringLiteral("cbSwitchOnModems"));
    cbSwitchOnModems->setToolTip(tr("A modem found switched off (at the start, when plugged in, or once its SIM is "
                                    "unlocked) is switched on at once. One switched off later stays off."));
    generalLayout->addWidget(cbSwitchOnModems);
    // Not one of the stored settings: the desktop's autostart entry is the setting itself.
    cbAutostart = new QCheckBox(tr("Start Ombrelay when I &log in"), tsGeneral);
    cbAutostart->setObjectName(QStringLiteral("cbAutostart"));
    generalLayout->addWidget(cbAutostart);
    SetMessageStoreShared(false);
    generalLayout->addStretch();

    tsUsageSettings = new QWidget;
    tsUsageSettings->setObjectName(QStringLiteral("tsUsageSettings"));
    pcSettings->addTab(tsUsageSettings, tr("&Usage"));
    cmbByteUnits = new QComboBox(tsUsageSettings);
    cmbByteUnits->setObjectName(QStringLiteral("cmbByteUnits"));
    cmbByteUnits->addItem(tr("kB, MB, GB (1000 bytes each step)"), int(TByteUnits::Si));
    cmbByteUnits->addItem(tr("KiB, MiB, GiB (1024 bytes each step)"), int(TByteUnits::Iec));
    auto* planBox = new QGroupBox(tr("Data plan"), tsUsageSettings);
    cmbPlanDevice = new QComboBox(planBox);
    cmbPlanDevice->setObjectName(QStringLiteral("cmbPlanDevice"));
    udPlanLimit = new QDoubleSpinBox(planBox);
    udPlanLimit->setObjectName(QStringLiteral("udPlanLimit"));
    udPlanLimit->setDecimals(2);
    udPlanLimit->setRange(0, 100000000);
    udPlanLimit->setSpecialValueText(tr("no plan"));
    udPlanStartDay = NewUpDown("udPlanStartDay", 1, 31, planBox);
    edPlanAlerts = new QLineEdit(planBox);
    edPlanAlerts->setObjectName(QStringLiteral("edPlanAlerts"));
    edPlanAlerts->setToolTip(tr("Percentages of the limit, separated by commas; each is announced once per period."));
    auto* planLayout = new QFormLayout(planBox);
    planLayout->addRow(tr("&Modem"), cmbPlanDevice);
    planLayout->addRow(tr("Monthly &limit"), udPlanLimit);
    planLayout->addRow(tr("Billing period starts on &day"), udPlanStartDay);
    planLayout->addRow(tr("&Alerts at percent"), edPlanAlerts);
    auto* usageLayout = new QFormLayout(tsUsageSettings);
    usageLayout->addRow(tr("&Byte units"), cmbByteUnits);
    usageLayout->addRow(planBox);
    connect(cmbPlanDevice, &QComboBox::currentIndexChanged, this, [this] {
        KeepPlan();
        FPlanDevice = cmbPlanDevice->currentData().toString();
        ShowPlan();
    });
    // The limit is shown in the units chosen here.
    connect(cmbByteUnits, &QComboBox::currentIndexChanged, this, [this] {
        KeepPlan();
        ShowPlan();
    });
    planBox->setEnabled(false);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(btnOK);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcSettings);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cbMonitor, &QCheckBox::clicked, this, &TfmSettings::cbMonitorClick);
    connect(lbMonitorSites, &QListWidget::itemSelectionChanged, this, &TfmSettings::acSiteDelUpdate);
    pcSettings->setCurrentIndex(0);
    UpdateMonitorControls();
}

void TfmSettings::CopyIn(const TOptions& Source)
{
    const TMonitorSettings monitor = Source.MonitorSnapshot();
    cbAutoConnect->setChecked(Source.AutoConnect());
    cbNoRoamingConnect->setChecked(Source.NoRoamingConnect());
    cbRemoveStored->setChecked(Source.RemoveStoredMessages());
    cbSwitchOnModems->setChecked(Source.SwitchOnModems());
    cbMonitor->setChecked(monitor.Enabled);
    lbMonitorSites->clear();
    lbMonitorSites->addItems(monitor.Sites);
    udMonitorInterval->setValue(static_cast<int>(std::min<quint32>(monitor.Interval, INT32_MAX)));
    udMonitorRedialThreshold->setValue(static_cast<int>(std::min<quint32>(monitor.RedialThreshold, INT32_MAX)));
    udMonitorRebootThreshold->setValue(static_cast<int>(std::min<quint32>(monitor.RebootThreshold, INT32_MAX)));
    UpdateMonitorControls();
}

void TfmSettings::CopyOut(TOptions& Target) const
{
    Target.SetAutoConnect(cbAutoConnect->isChecked());
    Target.SetNoRoamingConnect(cbNoRoamingConnect->isChecked());
    Target.SetRemoveStoredMessages(cbRemoveStored->isChecked());
    Target.SetSwitchOnModems(cbSwitchOnModems->isChecked());
    TMonitorSettings monitor;
    monitor.Enabled = cbMonitor->isChecked();
    for (int i = 0; i < lbMonitorSites->count(); ++i) {
        monitor.Sites.append(lbMonitorSites->item(i)->text());
    }
    monitor.Interval = static_cast<quint32>(udMonitorInterval->value());
    monitor.RedialThreshold = static_cast<quint32>(udMonitorRedialThreshold->value());
    monitor.RebootThreshold = static_cast<quint32>(udMonitorRebootThreshold->value());
    // One locked assignment, so the monitor never sees half of the new settings.
    Target.SetMonitorSettings(monitor);
}

double TfmSettings::PlanUnit() const
{
    return TByteUnits(cmbByteUnits->currentData().toInt()) == TByteUnits::Si ? 1000.0 * 1000.0 : 1024.0 * 1024.0;
}

void TfmSettings::CopyInUsage(TSQLiteDB& Db, const QStringList& Devices, const QString& Selected)
{
    {
        const QSignalBlocker block(cmbByteUnits);
        cmbByteUnits->setCurrentIndex(std::max(0, int(cmbByteUnits->findData(int(LoadByteUnits(Db))))));
    }
    FPlans.clear();
    FLoadedPlans.clear();
    FPlanDevice.clear();
    QStringList devices = Devices;
    devices.removeDuplicates();
    devices.removeAll(QString());
    for (const QString& d : devices) {
        FLoadedPlans.insert(d, LoadDataPlan(Db, d));
    }
    FPlans = FLoadedPlans;
    {
        const QSignalBlocker block(cmbPlanDevice);
        cmbPlanDevice->clear();
        for (const QString& d : devices) {
            cmbPlanDevice->addItem(d, d);
        }
        cmbPlanDevice->setCurrentIndex(std::max(0, int(cmbPlanDevice->findData(Selected))));
    }
    cmbPlanDevice->parentWidget()->setEnabled(!devices.isEmpty());
    FPlanDevice = cmbPlanDevice->currentData().toString();
    ShowPlan();
}

void TfmSettings::CopyOutUsage(TSQLiteDB& Db)
{
    KeepPlan();
    const auto units = TByteUnits(cmbByteUnits->currentData().toInt());
    SaveByteUnits(Db, units);
    SetByteUnits(units);
    for (auto it = FPlans.cbegin(); it != FPlans.cend(); ++it) {
        if (it.value() != FLoadedPlans.value(it.key())) {
            SaveDataPlan(Db, it.key(), it.value());
        }
    }
}

void TfmSettings::KeepPlan()
{
    if (FPlanDevice.isEmpty() || !FPlans.contains(FPlanDevice)) {
        return;
    }
    TDataPlan& plan = FPlans[FPlanDevice];
    // Shown rounded to two decimals: only a limit the user changed is taken from the box.
    if (udPlanLimit->value() != FShownLimit) {
        plan.Limit = quint64(std::llround(udPlanLimit->value() * (FShownUnits == TByteUnits::Si ? 1e6 : 1048576.0)));
    }
    plan.StartDay = udPlanStartDay->value();
    QList<int> alerts;
    for (const QString& part : edPlanAlerts->text().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int percent = part.trimmed().toInt(&ok);
        // A word or a percentage of nothing is no alert.
        if (ok && percent > 0) {
            alerts << percent;
        }
    }
    plan.Alerts = alerts;
}

void TfmSettings::ShowPlan()
{
    const TDataPlan plan = FPlans.value(FPlanDevice);
    FShownUnits = TByteUnits(cmbByteUnits->currentData().toInt());
    udPlanLimit->setSuffix(FShownUnits == TByteUnits::Si ? tr(" MB") : tr(" MiB"));
    udPlanLimit->setValue(double(plan.Limit) / PlanUnit());
    // What the box holds after its own rounding.
    FShownLimit = udPlanLimit->value();
    udPlanStartDay->setValue(plan.StartDay);
    QStringList alerts;
    for (int a : plan.Alerts) {
        alerts << QString::number(a);
    }
    edPlanAlerts->setText(alerts.join(QStringLiteral(", ")));
}

void TfmSettings::SetMessageStoreShared(bool Shared)
{
    cbRemoveStored->setEnabled(Shared);
    cbRemoveStored->setToolTip(
        Shared ? tr("Other programs on this computer read the modem's messages too; removing a message "
                    "removes it for them as well. Messages are always kept in Ombrelay's own store.")
               : tr("This modem's messages are read by Ombrelay alone, so they are always removed "
                    "once stored: a full modem store takes no new messages."));
}

void TfmSettings::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    FormShow();
}

void TfmSettings::FormShow()
{
    UpdateMonitorControls();
}

void TfmSettings::cbMonitorClick()
{
    UpdateMonitorControls();
}

void TfmSettings::UpdateMonitorControls()
{
    SetControlsEnabled(gbMonitorChecks, cbMonitor->isChecked());
    SetControlsEnabled(gbMonitorActions, cbMonitor->isChecked());
    acSiteDelUpdate();
}

void TfmSettings::SetControlsEnabled(QWidget* Container, bool Enabled)
{
    // Only the contents follow the check box; the container keeps its own state.
    const auto children = Container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        child->setEnabled(Enabled);
        SetControlsEnabled(child, Enabled);
    }
}

void TfmSettings::acSiteAddExecute()
{
    QString value;
    if (!FInputQuery(this, value) || value.isEmpty()) {
        return;
    }
    if (!value.contains(QStringLiteral("://"))) {
        value.prepend(QStringLiteral("http://"));
    }
    lbMonitorSites->addItem(value);
}

void TfmSettings::acSiteDelExecute()
{
    const auto selected = lbMonitorSites->selectedItems();
    for (QListWidgetItem* item : selected) {
        delete item;
    }
}

void TfmSettings::acSiteDelUpdate()
{
    const bool enabled = !lbMonitorSites->selectedItems().isEmpty() && cbMonitor->isChecked();
    acSiteDel->setEnabled(enabled);
    btnSiteDel->setEnabled(enabled);
}

} // namespace Ombrelay
