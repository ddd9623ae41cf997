#include "gui/InterfaceBox.h"

#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/Options.h"

namespace Ombrelay
{

TInterfaceBox::TInterfaceBox(QWidget* Parent)
    : QComboBox(Parent)
{
    setObjectName(QStringLiteral("cmbInterfaces"));
}

bool TInterfaceBox::Fill(IMBManager* Manager)
{
    const QSignalBlocker Blocker(this);
    clear();
    if (!Manager) {
        return false;
    }
    int Selected = 0;
    const QString Saved = Options ? Options->InterfaceID() : QString();
    for (const auto& Item : *Manager->GetInterfaceList()) {
        QString Text = Item->ToString();
        // A simulated device is never shown as if it were a real one.
        if (Item->Backend() == QLatin1String("sim")) {
            Text += QStringLiteral(" (simulated)");
        }
        addItem(Text, QVariant::fromValue(static_cast<void*>(Item.get())));
        // The last match wins.
        if (Item->InterfaceID() == Saved) {
            Selected = count() - 1;
        }
    }
    if (count() == 0) {
        return false;
    }
    setCurrentIndex(Selected);
    return true;
}

TMBInterfaceItem* TInterfaceBox::SelectedItem() const
{
    if (currentIndex() < 0) {
        return nullptr;
    }
    return static_cast<TMBInterfaceItem*>(currentData().value<void*>());
}

} // namespace Ombrelay
