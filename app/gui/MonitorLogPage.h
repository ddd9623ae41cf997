#pragma once

#include <QWidget>

class QComboBox;
class QTreeWidget;

namespace Ombrelay
{

// The "Monitor log" page: what the online monitor checked and asked for, newest first, filtered
// by kind. Read from the database when the page is shown and when the filter changes.
class TMonitorLogPage : public QWidget
{
    Q_OBJECT

public:
    // Rows shown at most; the log itself keeps 90 days.
    static constexpr int MaxRows = 2000;

    explicit TMonitorLogPage(QWidget* Parent = nullptr);
    void Refresh();

    QComboBox* cmbKind;
    QTreeWidget* lvMonitorLog;
};

} // namespace Ombrelay
