#pragma once

#include <QComboBox>

namespace Ombrelay
{

class IMBManager;
class TMBInterfaceItem;

// The box above the pages that chooses the interface every page shows.
class TInterfaceBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TInterfaceBox(QWidget* Parent = nullptr);

    // Lists the manager's interfaces (none without a manager) and selects the saved one, else
    // the first; no change signal comes from the refill. True when the box holds any.
    bool Fill(IMBManager* Manager);
    // The item behind the selection, owned by the manager; null without a selection.
    TMBInterfaceItem* SelectedItem() const;
};

} // namespace Ombrelay
