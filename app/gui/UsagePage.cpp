#include "gui/UsagePage.h"

#include "base/DateTime.h"
#include "core/DB.h"
#include "core/Usage.h"
#include "gui/GuiCommon.h"
#include "gui/UsageHistoryView.h"

#include <QDateTime>
#include <QLocale>
#include <QScrollArea>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Ombrelay
{

TUsagePage::TUsagePage(QWidget* Parent)
    : QWidget(Parent)
{
    setObjectName(QStringLiteral("tsUsage"));
    FUsageQuery = [] {
        TUsageFigures figures;
        if (UsageThread) {
            // The usage thread samples rarely while nothing moves: the figures shown count every
            // byte up to now.
            UsageThread->SampleNow();
            UsageThread->GetToday(figures.TodayIn, figures.TodayOut);
            UsageThread->GetMonth(figures.MonthIn, figures.MonthOut);
        }
        return figures;
    };

    lvUsage = new QTreeWidget(this);
    lvUsage->setObjectName(QStringLiteral("lvUsage"));
    lvUsage->setColumnCount(4);
    lvUsage->setHeaderLabels({QString(), tr("Download"), tr("Upload"), tr("Total")});
    lvUsage->setColumnWidth(0, 230);
    lvUsage->setColumnWidth(1, 110);
    lvUsage->setColumnWidth(2, 110);
    lvUsage->setColumnWidth(3, 110);
    lvUsage->setRootIsDecorated(false);
    lvUsage->setItemsExpandable(false);
    lvUsage->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvUsage->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Two groups of one row each, created once and only rewritten afterwards.
    const QString groups[2] = {tr("Today"), tr("This month")};
    for (int i = 0; i < 2; ++i) {
        auto* group = new QTreeWidgetItem(lvUsage, {groups[i]});
        group->setFlags(Qt::ItemIsEnabled);
        group->setFirstColumnSpanned(true);
        QFont bold = group->font(0);
        bold.setBold(true);
        group->setFont(0, bold);
        FUsageRows[i] = new QTreeWidgetItem(group, {QStringLiteral("%s"), QString(), QString(), QString()});
        group->setExpanded(true);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(lvUsage);
    lvUsage->setMaximumHeight(130);
    // The history and its charts scroll, so that they never push the window's smallest size
    // past a small screen.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("sbHistory"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    fmHistory = new TUsageHistoryView(scroll);
    scroll->setWidget(fmHistory);
    layout->addWidget(scroll, 1);

    tmUsage = new QTimer(this);
    tmUsage->setObjectName(QStringLiteral("tmUsage"));
    tmUsage->setInterval(2000);
    connect(tmUsage, &QTimer::timeout, this, [this] { Guarded(this, [this] { tmUsageTimer(); }); });
}

void TUsagePage::SetActive(bool Active)
{
    FActive = Active;
    // The rate starts afresh each time the page is shown.
    FLastTotalMs = -1;
    UpdateTimer();
    if (Active) {
        tmUsageTimer();
    }
}

void TUsagePage::UpdateTimer()
{
    const bool run = window()->isVisible() && FActive;
    if (run && !tmUsage->isActive()) {
        tmUsage->start();
    } else if (!run && tmUsage->isActive()) {
        tmUsage->stop();
    }
}

void TUsagePage::SetTextIfChanged(QTreeWidgetItem* Item, int Column, const QString& Text)
{
    // An unchanged view is not repainted.
    if (Item->text(Column) != Text) {
        Item->setText(Column, Text);
    }
}

void TUsagePage::tmUsageTimer()
{
    if (!FActive) {
        return;
    }
    ++FUsageQueries;
    const TUsageFigures figures = FUsageQuery();
    const QDate today = Clock::NowQ().date();
    const QLocale locale;
    SetTextIfChanged(FUsageRows[0], 0, locale.toString(today, QLocale::ShortFormat));
    SetTextIfChanged(FUsageRows[1], 0, locale.toString(today, QStringLiteral("MMMM yyyy")));
    const quint64 values[2][2] = {{figures.TodayIn, figures.TodayOut}, {figures.MonthIn, figures.MonthOut}};
    for (int row = 0; row < 2; ++row) {
        SetTextIfChanged(FUsageRows[row], 1, FormatByteSize(values[row][0]));
        SetTextIfChanged(FUsageRows[row], 2, FormatByteSize(values[row][1]));
        SetTextIfChanged(FUsageRows[row], 3, FormatByteSize(values[row][0] + values[row][1]));
    }
    // The rate of the last minutes, from the growth of today's total between ticks (a new day
    // starts the total again at zero: that tick counts nothing).
    const quint64 total = figures.TodayIn + figures.TodayOut;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (FLastTotalMs >= 0 && nowMs > FLastTotalMs) {
        fmHistory->AddRateSample(total >= FLastTotal ? total - FLastTotal : 0, double(nowMs - FLastTotalMs) / 1000.0);
    }
    FLastTotal = total;
    FLastTotalMs = nowMs;
    if (Database && UsageThread) {
        fmHistory->SetDevices(UsageDevices(*Database));
        fmHistory->Refresh();
    }
}

} // namespace Ombrelay
