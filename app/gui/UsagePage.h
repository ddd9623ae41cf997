#pragma once

#include <QWidget>

#include <functional>

class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ombrelay
{

class TUsageHistoryView;

// The "Usage" page: today's and this month's bytes, refreshed every two seconds while the page
// can be seen.
class TUsagePage : public QWidget
{
    Q_OBJECT

public:
    // Today's and this month's received and sent bytes.
    struct TUsageFigures
    {
        quint64 TodayIn = 0, TodayOut = 0, MonthIn = 0, MonthOut = 0;
    };
    using TUsageQuery = std::function<TUsageFigures()>;

    explicit TUsagePage(QWidget* Parent = nullptr);

    // Where the figures come from; the process-wide usage thread unless a test says otherwise.
    void SetUsageQuery(TUsageQuery Query) { FUsageQuery = std::move(Query); }
    int UsageQueries() const { return FUsageQueries; }

    // The page became the active one or stopped being it; on becoming it, it is filled at once.
    void SetActive(bool Active);
    // Runs the timer exactly while the page is active in a visible window: a hidden window
    // does no timer work. The window calls it when it is shown or hidden.
    void UpdateTimer();

    QTreeWidget* lvUsage;
    QTimer* tmUsage;
    TUsageHistoryView* fmHistory;

private:
    void tmUsageTimer();
    static void SetTextIfChanged(QTreeWidgetItem* Item, int Column, const QString& Text);

    bool FActive = false;
    QTreeWidgetItem* FUsageRows[2] = {nullptr, nullptr};
    TUsageQuery FUsageQuery;
    int FUsageQueries = 0;
    // For the live rate: today's total at the previous tick and when it was taken.
    quint64 FLastTotal = 0;
    qint64 FLastTotalMs = -1;
};

} // namespace Ombrelay
