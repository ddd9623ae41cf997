#include "gui/UsagePage.h"

#include "base/DateTime.h"
#include "core/Usage.h"
#include "gui/GuiCommon.h"

#include <QLocale>
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
        TUsageFigures Figures;
        if (UsageThread) {
            UsageThread->GetToday(Figures.TodayIn, Figures.TodayOut);
            UsageThread->GetMonth(Figures.MonthIn, Figures.MonthOut);
        }
        return Figures;
    };

    lvUsage = new QTreeWidget(this);
    lvUsage->setObjectName(QStringLiteral("lvUsage"));
    lvUsage->setColumnCount(4);
    lvUsage->setHeaderLabels(
        {QString(), QStringLiteral("Download"), QStringLiteral("Upload"), QStringLiteral("Total")});
    lvUsage->setColumnWidth(0, 230);
    lvUsage->setColumnWidth(1, 110);
    lvUsage->setColumnWidth(2, 110);
    lvUsage->setColumnWidth(3, 110);
    lvUsage->setRootIsDecorated(false);
    lvUsage->setItemsExpandable(false);
    lvUsage->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvUsage->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Two groups of one row each, created once and only rewritten afterwards.
    const QString Groups[2] = {QStringLiteral("Today"), QStringLiteral("This month")};
    for (int I = 0; I < 2; ++I) {
        auto* Group = new QTreeWidgetItem(lvUsage, {Groups[I]});
        Group->setFlags(Qt::ItemIsEnabled);
        Group->setFirstColumnSpanned(true);
        QFont Bold = Group->font(0);
        Bold.setBold(true);
        Group->setFont(0, Bold);
        FUsageRows[I] = new QTreeWidgetItem(Group, {QStringLiteral("%s"), QString(), QString(), QString()});
        Group->setExpanded(true);
    }
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(10, 10, 10, 10);
    Layout->addWidget(lvUsage);

    tmUsage = new QTimer(this);
    tmUsage->setObjectName(QStringLiteral("tmUsage"));
    tmUsage->setInterval(2000);
    connect(tmUsage, &QTimer::timeout, this, [this] { Guarded(this, [this] { tmUsageTimer(); }); });
}

void TUsagePage::SetActive(bool Active)
{
    FActive = Active;
    UpdateTimer();
    if (Active) {
        tmUsageTimer();
    }
}

void TUsagePage::UpdateTimer()
{
    const bool Run = window()->isVisible() && FActive;
    if (Run && !tmUsage->isActive()) {
        tmUsage->start();
    } else if (!Run && tmUsage->isActive()) {
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
    const TUsageFigures Figures = FUsageQuery();
    const QDate Today = Clock::NowQ().date();
    const QLocale Locale;
    SetTextIfChanged(FUsageRows[0], 0, Locale.toString(Today, QLocale::ShortFormat));
    SetTextIfChanged(FUsageRows[1], 0, Locale.toString(Today, QStringLiteral("MMMM yyyy")));
    const quint64 Values[2][2] = {{Figures.TodayIn, Figures.TodayOut}, {Figures.MonthIn, Figures.MonthOut}};
    for (int Row = 0; Row < 2; ++Row) {
        SetTextIfChanged(FUsageRows[Row], 1, FormatByteSize(Values[Row][0]));
        SetTextIfChanged(FUsageRows[Row], 2, FormatByteSize(Values[Row][1]));
        SetTextIfChanged(FUsageRows[Row], 3, FormatByteSize(Values[Row][0] + Values[Row][1]));
    }
}

} // namespace Ombrelay
