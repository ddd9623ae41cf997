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
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(cmbProfiles);
    layout->addWidget(lvProfileInfo);
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
        const QSignalBlocker blocker(cmbProfiles);
        cmbProfiles->clear();
        TMBInterfaceItem* item = FController.SelectedInterface();
        int selected = 0;
        if (item) {
            const QString saved = Options ? Options->ProfileName() : QString();
            for (const auto& profile : item->ProfileList()) {
                cmbProfiles->addItem(profile->Name(), QVariant::fromValue(static_cast<void*>(profile.get())));
                if (profile->Name() == saved) {
                    selected = cmbProfiles->count() - 1;
                }
            }
        }
        if (cmbProfiles->count() > 0) {
            cmbProfiles->setCurrentIndex(selected);
        }
    }
    Q_EMIT ProfileSelected(GetSelectedProfile());
    // With no profile (or no modem any more) this clears what the last one showed.
    ShowProfileInfo();
}

void TProfilesPage::ShowProfileInfo()
{
    // One repaint for the whole rebuild.
    lvProfileInfo->setUpdatesEnabled(false);
    const auto restore = qScopeGuard([this] { lvProfileInfo->setUpdatesEnabled(true); });
    lvProfileInfo->clear();
    TMBProfleItem* profile = GetSelectedProfile();
    if (!profile) {
        return;
    }
    const QString yes = tr("Yes");
    const QString no = tr("No");
    AddInfoRow(lvProfileInfo, tr("Name"), profile->Name());
    AddInfoRow(lvProfileInfo, tr("Default"), profile->IsDefault() ? yes : no);
    AddInfoRow(lvProfileInfo, tr("Compression"), profile->Compression());
    AddInfoRow(lvProfileInfo, tr("APN"), profile->AccessString());
    AddInfoRow(lvProfileInfo, tr("Auth type"), profile->AuthProtocol());
    if (!profile->UserName().isEmpty()) {
        AddInfoRow(lvProfileInfo, tr("User name"), profile->UserName());
    }
    const IMBManager* manager = FController.Manager();
    if (!profile->Password().isEmpty()) {
        AddInfoRow(lvProfileInfo, tr("Password"), QString(profile->Password().size(), QChar(0x25CF)));
    } else if (manager && !manager->PasswordKeeper().isEmpty()) {
        // Not readable here: say where it is rather than show a mask of nothing.
        AddInfoRow(lvProfileInfo, tr("Password"), tr("Kept by %1").arg(manager->PasswordKeeper()));
    }
    AddInfoRow(lvProfileInfo, tr("Ignore password"), profile->IgnorePassword() ? yes : no);
    AddInfoRow(lvProfileInfo, tr("Connect mode"), profile->ConnectionMode());
    AddInfoRow(lvProfileInfo, tr("Home provider"), profile->HomeProviderName());
    if (Options) {
        Options->SetProfileName(profile->Name());
    }
}

} // namespace Ombrelay
