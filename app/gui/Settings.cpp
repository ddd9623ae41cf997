#include "gui/Settings.h"

#include "core/Options.h"

#include <QAction>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

namespace Ombrelay
{

namespace
{

bool DefaultInputQuery(QWidget* Parent, QString& Value)
{
    bool Ok = false;
    Value = QInputDialog::getText(Parent, QStringLiteral("Add Web-site"), QString(), QLineEdit::Normal, QString(), &Ok);
    return Ok;
}

QSpinBox* NewUpDown(const char* Name, int Min, int Max, QWidget* Parent)
{
    auto* Box = new QSpinBox(Parent);
    Box->setObjectName(QLatin1String(Name));
    Box->setRange(Min, Max);
    return Box;
}

} // namespace

TfmSettings::TfmSettings(QWidget* Parent)
    : QDialog(Parent)
    , FInputQuery(DefaultInputQuery)
{
    setObjectName(QStringLiteral("fmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    pcSettings = new QTabWidget(this);
    pcSettings->setObjectName(QStringLiteral("pcSettings"));
    tsMonitor = new QWidget;
    tsMonitor->setObjectName(QStringLiteral("tsMonitor"));
    tsGeneral = new QWidget;
    tsGeneral->setObjectName(QStringLiteral("tsGeneral"));
    pcSettings->addTab(tsMonitor, QStringLiteral("Connection Monitor"));
    pcSettings->addTab(tsGeneral, QStringLiteral("General"));

    cbMonitor = new QCheckBox(QStringLiteral("Check if the computer is online"), tsMonitor);
    cbMonitor->setObjectName(QStringLiteral("cbMonitor"));

    gbMonitorChecks = new QGroupBox(tsMonitor);
    gbMonitorChecks->setObjectName(QStringLiteral("gbMonitorChecks"));
    auto* SitesLabel = new QLabel(QStringLiteral("Web-sites"), gbMonitorChecks);
    lbMonitorSites = new QListWidget(gbMonitorChecks);
    lbMonitorSites->setObjectName(QStringLiteral("lbMonitorSites"));
    lbMonitorSites->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbMonitorSites->setFlow(QListView::TopToBottom);
    lbMonitorSites->setWrapping(true);
    lbMonitorSites->setResizeMode(QListView::Adjust);
    lbMonitorSites->setMinimumSize(300, 90);

    acSiteAdd = new QAction(QStringLiteral("Add..."), this);
    acSiteAdd->setObjectName(QStringLiteral("acSiteAdd"));
    acSiteDel = new QAction(QStringLiteral("Delete"), this);
    acSiteDel->setObjectName(QStringLiteral("acSiteDel"));
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

    auto* ChecksLayout = new QGridLayout(gbMonitorChecks);
    ChecksLayout->addWidget(SitesLabel, 0, 0, 1, 2);
    ChecksLayout->addWidget(lbMonitorSites, 1, 0, 3, 1);
    ChecksLayout->addWidget(btnSiteAdd, 1, 1);
    ChecksLayout->addWidget(btnSiteDel, 2, 1);
    ChecksLayout->setRowStretch(3, 1);

    gbMonitorActions = new QGroupBox(QStringLiteral("Options"), tsMonitor);
    gbMonitorActions->setObjectName(QStringLiteral("gbMonitorActions"));
    udMonitorInterval = NewUpDown("udMonitorInterval", 10, 3600, gbMonitorActions);
    udMonitorRedialThreshold = NewUpDown("udMonitorRedialThreshold", 0, 100, gbMonitorActions);
    udMonitorRebootThreshold = NewUpDown("udMonitorRebootThreshold", 0, 100, gbMonitorActions);
    auto* ActionsLayout = new QFormLayout(gbMonitorActions);
    ActionsLayout->addRow(QStringLiteral("Run a check every (secs)"), udMonitorInterval);
    ActionsLayout->addRow(QStringLiteral("Reconnect after (failures)"), udMonitorRedialThreshold);
    ActionsLayout->addRow(QStringLiteral("Reboot PC after (failures)"), udMonitorRebootThreshold);

    auto* MonitorLayout = new QVBoxLayout(tsMonitor);
    MonitorLayout->addWidget(cbMonitor);
    MonitorLayout->addWidget(gbMonitorChecks);
    MonitorLayout->addWidget(gbMonitorActions);

    cbAutoConnect = new QCheckBox(QStringLiteral("Connect on startup"), tsGeneral);
    cbAutoConnect->setObjectName(QStringLiteral("cbAutoConnect"));
    auto* GeneralLayout = new QVBoxLayout(tsGeneral);
    GeneralLayout->addWidget(cbAutoConnect);
    cbRemoveStored = new QCheckBox(QStringLiteral("Remove messages from the modem once stored"), tsGeneral);
    cbRemoveStored->setObjectName(QStringLiteral("cbRemoveStored"));
    GeneralLayout->addWidget(cbRemoveStored);
    SetMessageStoreShared(false);
    GeneralLayout->addStretch();

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* ButtonRow = new QHBoxLayout;
    ButtonRow->addStretch();
    ButtonRow->addWidget(btnOK);

    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(pcSettings);
    Layout->addLayout(ButtonRow);
    Layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cbMonitor, &QCheckBox::clicked, this, &TfmSettings::cbMonitorClick);
    connect(lbMonitorSites, &QListWidget::itemSelectionChanged, this, &TfmSettings::acSiteDelUpdate);
    pcSettings->setCurrentIndex(0);
    UpdateMonitorControls();
}

void TfmSettings::CopyIn(const TOptions& Source)
{
    const TMonitorSettings Monitor = Source.MonitorSnapshot();
    cbAutoConnect->setChecked(Source.AutoConnect());
    cbRemoveStored->setChecked(Source.RemoveStoredMessages());
    cbMonitor->setChecked(Monitor.Enabled);
    lbMonitorSites->clear();
    lbMonitorSites->addItems(Monitor.Sites);
    udMonitorInterval->setValue(static_cast<int>(std::min<quint32>(Monitor.Interval, INT32_MAX)));
    udMonitorRedialThreshold->setValue(static_cast<int>(std::min<quint32>(Monitor.RedialThreshold, INT32_MAX)));
    udMonitorRebootThreshold->setValue(static_cast<int>(std::min<quint32>(Monitor.RebootThreshold, INT32_MAX)));
    UpdateMonitorControls();
}

void TfmSettings::CopyOut(TOptions& Target) const
{
    Target.SetAutoConnect(cbAutoConnect->isChecked());
    Target.SetRemoveStoredMessages(cbRemoveStored->isChecked());
    TMonitorSettings Monitor;
    Monitor.Enabled = cbMonitor->isChecked();
    for (int I = 0; I < lbMonitorSites->count(); ++I) {
        Monitor.Sites.append(lbMonitorSites->item(I)->text());
    }
    Monitor.Interval = static_cast<quint32>(udMonitorInterval->value());
    Monitor.RedialThreshold = static_cast<quint32>(udMonitorRedialThreshold->value());
    Monitor.RebootThreshold = static_cast<quint32>(udMonitorRebootThreshold->value());
    // One locked assignment, so the monitor never sees half of the new settings.
    Target.SetMonitorSettings(Monitor);
}

void TfmSettings::SetMessageStoreShared(bool Shared)
{
    cbRemoveStored->setEnabled(Shared);
    cbRemoveStored->setToolTip(
        Shared ? QStringLiteral("Other programs on this computer read the modem's messages too; removing a message "
                                "removes it for them as well. Messages are always kept in Ombrelay's own store.")
               : QStringLiteral("This modem's messages are read by Ombrelay alone, so they are always removed "
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
    const auto Children = Container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* Child : Children) {
        Child->setEnabled(Enabled);
        SetControlsEnabled(Child, Enabled);
    }
}

void TfmSettings::acSiteAddExecute()
{
    QString Value;
    if (!FInputQuery(this, Value) || Value.isEmpty()) {
        return;
    }
    if (!Value.contains(QStringLiteral("://"))) {
        Value.prepend(QStringLiteral("http://"));
    }
    lbMonitorSites->addItem(Value);
}

void TfmSettings::acSiteDelExecute()
{
    const auto Selected = lbMonitorSites->selectedItems();
    for (QListWidgetItem* Item : Selected) {
        delete Item;
    }
}

void TfmSettings::acSiteDelUpdate()
{
    const bool Enabled = !lbMonitorSites->selectedItems().isEmpty() && cbMonitor->isChecked();
    acSiteDel->setEnabled(Enabled);
    btnSiteDel->setEnabled(Enabled);
}

} // namespace Ombrelay
