#include "gui/ProfilesPage.h"

#include "core/MBInterfaceItem.h"
#include "core/MBProfleItem.h"
#include "core/MainController.h"
#include "core/Options.h"
#include "gui/InfoList.h"

#include <QComboBox>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Ombrelay
{

TProfilesPage::TProfilesPage(const TMainController& Controller, QWidget* Parent)
    : QWidget(Parent)
    , FController(Controller)
{
    setObjectName(QStringLiteral("tsConnProf"));
    cmbProfiles = new QComboBox(this);
    cmbProfiles->setObjectName(QStringLiteral("cmbProfiles"));
    lvProfileInfo = NewInfoList("lvProfileInfo", this);
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(10, 10, 10, 10);
    Layout->addWidget(cmbProfiles);
    Layout->addWidget(lvProfileInfo);
    // Choosing a profile by hand changes only what Connect uses, not the rows or the saved name.
    connect(cmbProfiles, &QComboBox::currentIndexChanged, this,
            [this] { Q_EMIT ProfileSelected(GetSelectedProfile()); });
}

TMBProfleItem* TProfilesPage::GetSelectedProfile() const
{
    if (cmbProfiles->currentIndex() < 0) {
        return nullptr;
    }
    return static_cast<TMBProfleItem*>(cmbProfiles->currentData().value<void*>());
}

void TProfilesPage::FillProfiles()
{
    {
        const QSignalBlocker Blocker(cmbProfiles);
        cmbProfiles->clear();
        TMBInterfaceItem* Item = FController.SelectedInterface();
        int Selected = 0;
        if (Item) {
            const QString Saved = Options ? Options->ProfileName() : QString();
            for (const auto& Profile : Item->ProfileList()) {
                cmbProfiles->addItem(Profile->Name(), QVariant::fromValue(static_cast<void*>(Profile.get())));
                if (Profile->Name() == Saved) {
                    Selected = cmbProfiles->count() - 1;
                }
            }
        }
        if (cmbProfiles->count() > 0) {
            cmbProfiles->setCurrentIndex(Selected);
        }
    }
    Q_EMIT ProfileSelected(GetSelectedProfile());
    if (cmbProfiles->count() > 0) {
        ShowProfileInfo();
    }
}

void TProfilesPage::ShowProfileInfo()
{
    // One repaint for the whole rebuild.
    lvProfileInfo->setUpdatesEnabled(false);
    const auto Restore = qScopeGuard([this] { lvProfileInfo->setUpdatesEnabled(true); });
    lvProfileInfo->clear();
    TMBProfleItem* Profile = GetSelectedProfile();
    if (!Profile) {
        return;
    }
    const QString Yes = QStringLiteral("Yes");
    const QString No = QStringLiteral("No");
    AddInfoRow(lvProfileInfo, QStringLiteral("Name"), Profile->Name());
    AddInfoRow(lvProfileInfo, QStringLiteral("Default"), Profile->IsDefault() ? Yes : No);
    AddInfoRow(lvProfileInfo, QStringLiteral("Compression"), Profile->Compression());
    AddInfoRow(lvProfileInfo, QStringLiteral("APN"), Profile->AccessString());
    AddInfoRow(lvProfileInfo, QStringLiteral("Auth type"), Profile->AuthProtocol());
    if (!Profile->UserName().isEmpty()) {
        AddInfoRow(lvProfileInfo, QStringLiteral("User name"), Profile->UserName());
    }
    const IMBManager* Manager = FController.Manager();
    if (!Profile->Password().isEmpty()) {
        AddInfoRow(lvProfileInfo, QStringLiteral("Password"), QString(Profile->Password().size(), QChar(0x25CF)));
    } else if (Manager && !Manager->PasswordKeeper().isEmpty()) {
        // Not readable here: say where it is rather than show a mask of nothing.
        AddInfoRow(lvProfileInfo, QStringLiteral("Password"), QStringLiteral("Kept by ") + Manager->PasswordKeeper());
    }
    AddInfoRow(lvProfileInfo, QStringLiteral("Ignore password"), Profile->IgnorePassword() ? Yes : No);
    AddInfoRow(lvProfileInfo, QStringLiteral("Connect mode"), Profile->ConnectionMode());
    AddInfoRow(lvProfileInfo, QStringLiteral("Home provider"), Profile->HomeProviderName());
    if (Options) {
        Options->SetProfileName(Profile->Name());
    }
}

} // namespace Ombrelay
