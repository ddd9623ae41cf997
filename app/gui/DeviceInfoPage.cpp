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
    layout->addWidget(lvDevCaps);
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
    AddInfoRow(lvDevCaps, QStringLiteral("Cellular class"), item->CellularClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Voice class"), item->VoiceClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Data class"), item->DataClass());
    AddInfoRow(lvDevCaps, QStringLiteral("Band class"), item->BandClass());
    AddInfoRow(lvDevCaps, QStringLiteral("SMS"), item->SmsCaps());
    AddInfoRow(lvDevCaps, QStringLiteral("Control"), item->CtlCaps());
    AddInfoRow(lvDevCaps, QStringLiteral("Model"), item->ToString());
    AddInfoRow(lvDevCaps, QStringLiteral("IMEI"), item->DeviceID());
    AddInfoRow(lvDevCaps, QStringLiteral("Firmware info"), item->FirmwareInfo());
    if (Options) {
        Options->SetInterfaceID(item->InterfaceID());
    }
}

} // namespace Ombrelay
