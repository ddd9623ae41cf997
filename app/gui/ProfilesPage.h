#pragma once

#include <QWidget>

class QComboBox;
class QTreeWidget;

namespace Ombrelay
{

class TMainController;
class TMBProfleItem;

// The "Profiles" page: the selected interface's connection profiles, one shown in rows.
class TProfilesPage : public QWidget
{
    Q_OBJECT

public:
    explicit TProfilesPage(const TMainController& Controller, QWidget* Parent = nullptr);

    // Refills the box with the selected interface's profiles, selects the saved one (else the
    // first) and shows its rows. Without profiles the rows keep what they showed.
    void FillProfiles();
    TMBProfleItem* GetSelectedProfile() const;

    QComboBox* cmbProfiles;
    QTreeWidget* lvProfileInfo;

Q_SIGNALS:
    // The selected profile changed, by hand or by a refill: Connect uses the new one.
    void ProfileSelected(TMBProfleItem* Profile);

private:
    void ShowProfileInfo();

    const TMainController& FController;
};

} // namespace Ombrelay
