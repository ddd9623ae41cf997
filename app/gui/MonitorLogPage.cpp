#include "gui/MonitorLogPage.h"

#include "core/DB.h"
#include "core/MonitorLog.h"
#include "gui/GuiCommon.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Ombrelay
{

TMonitorLogPage::TMonitorLogPage(QWidget* Parent)
    : QWidget(Parent)
{
    setObjectName(QStringLiteral("tsMonitorLog"));
    cmbKind = new QComboBox(this);
    cmbKind->setObjectName(QStringLiteral("cmbKind"));
    cmbKind->addItem(tr("All entries"), QString());
    const std::pair<const char*, const char*> kinds[] = {
        {MonitorLogKind::Check, QT_TR_NOOP("Checks")},
        {MonitorLogKind::Reconnect, QT_TR_NOOP("Reconnect requests")},
        {MonitorLogKind::ReconnectResult, QT_TR_NOOP("Reconnect results")},
        {MonitorLogKind::RestartWarning, QT_TR_NOOP("Restart warnings")},
        {MonitorLogKind::Suppressed, QT_TR_NOOP("Suppressed warnings")},
        {MonitorLogKind::Restart, QT_TR_NOOP("Restart requests")}};
    for (const auto& [kind, caption] : kinds) {
        cmbKind->addItem(tr(caption), QLatin1String(kind));
    }
    lvMonitorLog = new QTreeWidget(this);
    lvMonitorLog->setObjectName(QStringLiteral("lvMonitorLog"));
    lvMonitorLog->setHeaderLabels({tr("Time"), tr("Kind"), tr("Site"), tr("Method"), tr("Result"), tr("Reason")});
    lvMonitorLog->setRootIsDecorated(false);
    lvMonitorLog->setColumnWidth(0, 150);
    lvMonitorLog->setColumnWidth(2, 200);
    auto* top = new QHBoxLayout();
    top->addWidget(new QLabel(tr("Show:"), this));
    top->addWidget(cmbKind);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addLayout(top);
    layout->addWidget(lvMonitorLog, 1);
    connect(cmbKind, &QComboBox::currentIndexChanged, this, [this] { Guarded(this, [this] { Refresh(); }); });
}

void TMonitorLogPage::Refresh()
{
    if (!Database) {
        return;
    }
    const QList<TMonitorLogEntry> entries = ReadMonitorLog(*Database, 0, cmbKind->currentData().toString());
    lvMonitorLog->clear();
    QList<QTreeWidgetItem*> items;
    for (auto it = entries.crbegin(); it != entries.crend() && items.size() < MaxRows; ++it) {
        items << new QTreeWidgetItem(
            {TSQLiteDB::DateToDBText(it->Time, true), it->Kind, it->Site, it->Method, it->Result, it->Reason});
    }
    lvMonitorLog->addTopLevelItems(items);
}

} // namespace Ombrelay
