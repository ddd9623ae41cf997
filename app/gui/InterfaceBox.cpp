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
    const QSignalBlocker blocker(this);
    clear();
    if (!Manager) {
        return false;
    }
    int selected = 0;
    const QString saved = Options ? Options->InterfaceID() : QString();
    for (const auto& item : *Manager->GetInterfaceList()) {
        QString text = item->ToString();
        // A simulated device is never shown as if it were a real one.
        if (item->Backend() == QLatin1String("sim")) {
            text = tr("%1 (simulated)").arg(text);
        }
        addItem(text, QVariant::fromValue(static_cast<void*>(item.get())));
        // The last match wins.
        if (item->InterfaceID() == saved) {
            selected = count() - 1;
        }
    }
    if (count() == 0) {
        return false;
    }
    setCurrentIndex(selected);
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
