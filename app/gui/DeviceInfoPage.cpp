#include "gui/DeviceInfoPage.h"

#include "core/MBInterfaceItem.h"
#include "core/MainController.h"
#include "core/Options.h"
#include "gui/InfoList.h"

#include <QScopeGuard>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Ombrelay
{

TDeviceInfoPage::TDeviceInfoPage(const TMainController& Controller, QWidget* Parent)
    : QWidget(Parent)
    , FController(Controller)
{
    setObjectName(QStringLiteral("tsInfo"));
    lvDevCaps = NewInfoList("lvDevCaps", this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(lvDevCaps, 2);
    lvNetwork = NewInfoList("lvNetwork", this);
    layout->addWidget(lvNetwork, 1);
}

void TDeviceInfoPage::ShowNetwork()
{
    lvNetwork->setUpdatesEnabled(false);
    const auto restore = qScopeGuard([this] { lvNetwork->setUpdatesEnabled(true); });
    lvNetwork->clear();
    if (!FController.SelectedInterface()) {
        return;
    }
    const TMbnRegistration& r = FController.Registration();
    QString state = RegistrationText(r);
    state = state.section(QLatin1Char(':'), 0, 0);
    AddInfoRow(lvNetwork, tr("Network"), state.isEmpty() ? tr("Unknown") : state);
    AddInfoRow(lvNetwork, tr("Operator"), r.OperatorName);
    AddInfoRow(lvNetwork, tr("Operator code"), r.OperatorCode);
    AddInfoRow(lvNetwork, tr("Access technology"), AccessTechText(r.AccessTech));
    const quint32 raw = FController.SignalStrength();
    const int percent = SignalPercent(raw);
    AddInfoRow(lvNetwork, tr("Signal"), percent < 0 ? tr("Unknown") : tr("%1% (%2 of 31)").arg(percent).arg(raw));
}

void TDeviceInfoPage::ShowDeviceInfo()
{
    // One repaint for the whole rebuild.
    lvDevCaps->setUpdatesEnabled(false);
    const auto restore = qScopeGuard([this] { lvDevCaps->setUpdatesEnabled(true); });
    lvDevCaps->clear();
    TMBInterfaceItem* item = FController.SelectedInterface();
    if (!item) {
        return;
    }
    AddInfoRow(lvDevCaps, tr("Cellular class"), item->CellularClass());
    AddInfoRow(lvDevCaps, tr("Voice class"), item->VoiceClass());
    AddInfoRow(lvDevCaps, tr("Data class"), item->DataClass());
    AddInfoRow(lvDevCaps, tr("Band class"), item->BandClass());
    AddInfoRow(lvDevCaps, tr("SMS"), item->SmsCaps());
    AddInfoRow(lvDevCaps, tr("Control"), item->CtlCaps());
    AddInfoRow(lvDevCaps, tr("Model"), item->ToString());
    AddInfoRow(lvDevCaps, tr("IMEI"), item->DeviceID());
    AddInfoRow(lvDevCaps, tr("Firmware info"), item->FirmwareInfo());
    if (Options) {
        Options->SetInterfaceID(item->InterfaceID());
    }
}

} // namespace Ombrelay
