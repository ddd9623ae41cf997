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
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(10, 10, 10, 10);
    Layout->addWidget(lvDevCaps);
}

void TDeviceInfoPage::ShowDeviceInfo()
{
    // One repaint for the whole rebuild.
    lvDevCaps->setUpdatesEnabled(false);
    const auto Restore = qScopeGuard([this] { lvDevCaps->setUpdatesEnabled(true); });
    lvDevCaps->clear();
    TMBInterfaceItem* Item = FController.SelectedInterface();
    if (!Item) {
        return;
    }
    AddInfoRow(lvDevCaps, QStringLiteral("Cellular class"), Item->CellularClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Voice class"), Item->VoiceClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Data class"), Item->DataClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Band class"), Item->BandClass());
    AddInfoRow(lvDevCaps, QStringLiteral("SMS"), Item->SmsCaps());
    AddInfoRow(lvDevCaps, QStringLiteral("Control"), Item->CtlCaps());
    AddInfoRow(lvDevCaps, QStringLiteral("Model"), Item->ToString());
    AddInfoRow(lvDevCaps, QStringLiteral("IMEI"), Item->DeviceID());
    AddInfoRow(lvDevCaps, QStringLiteral("Firmware info"), Item->FirmwareInfo());
    if (Options) {
        Options->SetInterfaceID(Item->InterfaceID());
    }
}

} // namespace Ombrelay
