#include "gui/UsageHistoryView.h"

#include "base/DateTime.h"
#include "core/DB.h"
#include "core/Usage.h"
#include "gui/GuiCommon.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

namespace Ombrelay
{

namespace
{

// Bytes per unit of the chart's axis, in the chosen units.
double MiB()
{
    return ByteUnits() == TByteUnits::Si ? 1000.0 * 1000.0 : 1024.0 * 1024.0;
}

QString MiBName()
{
    return ByteUnits() == TByteUnits::Si ? QStringLiteral("MB") : QStringLiteral("MiB");
}

// Whether Labels labels, none wider than Widest, are drawn whole (and Gap apart) on a category
// axis Width wide: Qt Charts gives each label of such an axis an equal share of it, one share more
// than there are labels, less a padding of four pixels on either side, and cuts a longer label to
// "...", wherever the label stands.
bool LabelsFit(double Width, qsizetype Labels, double Widest, double Gap)
{
    return Width > 0 && Width / double(Labels + 1) - 2 * 4.0 >= Widest + Gap;
}

} // namespace

TUsageHistoryView::TUsageHistoryView(QWidget* Parent)
    : QWidget(Parent)
{
    setObjectName(QStringLiteral("fmUsageHistory"));
    cmbPeriod = new QComboBox(this);
    cmbPeriod->setObjectName(QStringLiteral("cmbPeriod"));
    cmbPeriod->addItems({tr("By day"), tr("By month")});
    cmbDevice = new QComboBox(this);
    cmbDevice->setObjectName(QStringLiteral("cmbDevice"));
    cmbDevice->addItem(tr("All interfaces"), QString());
    cmbUnits = new QComboBox(this);
    cmbUnits->setObjectName(QStringLiteral("cmbUnits"));
    cmbUnits->addItem(tr("KiB, MiB, GiB (1024)"), int(TByteUnits::Iec));
    cmbUnits->addItem(tr("kB, MB, GB (1000)"), int(TByteUnits::Si));
    cmbUnits->setCurrentIndex(ByteUnits() == TByteUnits::Si ? 1 : 0);
    btnExport = new QPushButton(tr("Export CSV..."), this);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    lbPlan = new QLabel(this);
    lbPlan->setObjectName(QStringLiteral("lbPlan"));
    lbPlan->setTextFormat(Qt::PlainText);
    // The plan's sentence is long (longer still in some languages): it wraps instead of widening
    // the view.
    lbPlan->setWordWrap(true);

    lvHistory = new QTreeWidget(this);
    lvHistory->setObjectName(QStringLiteral("lvHistory"));
    lvHistory->setHeaderLabels({tr("Date"), tr("Download"), tr("Upload"), tr("Total")});
    lvHistory->setRootIsDecorated(false);
    lvHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);

    FDownload = new QBarSet(tr("Download"));
    FUpload = new QBarSet(tr("Upload"));
    FBars = new QStackedBarSeries();
    FBars->append(FDownload);
    FBars->append(FUpload);
    FChart = new QChart();
    FChart->addSeries(FBars);
    // A value axis under the bars (bar i stands at i), so that only some of them get a label.
    FAxisX = new QCategoryAxis();
    FAxisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    FAxisX->setGridLineVisible(false);
    FAxisY = new QValueAxis();
    // Round steps (applyNiceNumbers) written without trailing zeros.
    FAxisY->setLabelFormat(QStringLiteral("%g"));
    FChart->addAxis(FAxisX, Qt::AlignBottom);
    FChart->addAxis(FAxisY, Qt::AlignLeft);
    FBars->attachAxis(FAxisX);
    FBars->attachAxis(FAxisY);
    FChart->legend()->setAlignment(Qt::AlignBottom);
    // The room below the bars changes with the window: as many dates as fit.
    connect(FChart, &QChart::plotAreaChanged, this, [this] { LabelDays(); });
    chHistory = new QChartView(FChart, this);
    chHistory->setObjectName(QStringLiteral("chHistory"));
    chHistory->setRenderHint(QPainter::Antialiasing);

    FRate = new QLineSeries();
    FRate->setName(tr("Rate"));
    FRateChart = new QChart();
    FRateChart->addSeries(FRate);
    // One line needs no legend: the title names it, the axis its unit, the minutes its time.
    FRateChart->legend()->hide();
    FRateChart->setTitle(tr("Rate"));
    FRateX = new QCategoryAxis();
    FRateX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    FRateX->setRange(-RateSamples * 2, 0);
    FRateY = new QValueAxis();
    FRateY->setLabelFormat(QStringLiteral("%g"));
    FRateChart->addAxis(FRateX, Qt::AlignBottom);
    FRateChart->addAxis(FRateY, Qt::AlignLeft);
    FRate->attachAxis(FRateX);
    FRate->attachAxis(FRateY);
    connect(FRateChart, &QChart::plotAreaChanged, this, [this] { LabelMinutes(); });
    chRate = new QChartView(FRateChart, this);
    chRate->setObjectName(QStringLiteral("chRate"));
    chRate->setRenderHint(QPainter::Antialiasing);

    FTools = new QGridLayout();
    FTools->setColumnStretch(1, 1);
    FCharts = new QGridLayout();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(FTools);
    layout->addWidget(lbPlan);
    layout->addLayout(FCharts, 2);
    layout->addWidget(lvHistory, 1);

    connect(cmbPeriod, &QComboBox::currentIndexChanged, this, [this] { Guarded(this, [this] { Refresh(); }); });
    connect(cmbDevice, &QComboBox::currentIndexChanged, this, [this] { Guarded(this, [this] { Refresh(); }); });
    connect(cmbUnits, &QComboBox::currentIndexChanged, this, [this] {
        Guarded(this, [this] {
            const auto units = TByteUnits(cmbUnits->currentData().toInt());
            SetByteUnits(units);
            if (Database) {
                SaveByteUnits(*Database, units);
            }
            // Every figure is written again in the new units.
            FEntries.clear();
            Refresh();
            ShowRate();
        });
    });
    connect(btnExport, &QPushButton::clicked, this, [this] { Guarded(this, [this] { btnExportClick(); }); });
    ApplyPalette();
    ApplyFonts();
    Arrange();
    LabelMinutes();
}

void TUsageHistoryView::changeEvent(QEvent* Event)
{
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::PaletteChange) {
        ApplyPalette();
    } else if (Event->type() == QEvent::FontChange) {
        ApplyFonts();
        Arrange();
    }
}

void TUsageHistoryView::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    Arrange();
}

namespace
{

int Spacing(const QGridLayout* Layout, const QWidget* Widget)
{
    const int spacing = Layout->horizontalSpacing();
    return spacing >= 0 ? spacing : Widget->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
}

} // namespace

QSize TUsageHistoryView::minimumSizeHint() const
{
    QSize size = QWidget::minimumSizeHint();
    if (!layout()) {
        // Still being built.
        return size;
    }
    // What the view needs with the controls in two rows and the charts one above the other; the
    // layout's own figure holds them as they are now, and a row would never give way.
    const int gap = Spacing(FTools, this);
    // Each control as wide as it wants to be: a drop-down box narrower than that cuts its item.
    // Two columns: the period above the units, the modem above the export.
    const int tools = std::max(cmbPeriod->sizeHint().width(), cmbUnits->sizeHint().width()) + gap +
                      std::max(cmbDevice->sizeHint().width(), btnExport->sizeHint().width());
    const int charts = std::max(chHistory->minimumWidth(), chRate->minimumWidth());
    const QMargins m = layout()->contentsMargins();
    size.setWidth(std::max({tools, charts, lvHistory->minimumSizeHint().width()}) + m.left() + m.right());
    return size;
}

void TUsageHistoryView::Arrange()
{
    const int gap = Spacing(FTools, this);
    const int oneRow = cmbPeriod->sizeHint().width() + cmbDevice->sizeHint().width() + cmbUnits->sizeHint().width() +
                       btnExport->sizeHint().width() + 3 * gap;
    const bool twoRows = width() < oneRow;
    const bool stacked = width() < chHistory->minimumWidth() + chRate->minimumWidth() + Spacing(FCharts, this);
    if (twoRows == FTwoRows && stacked == FStacked && FTools->count() == 4 && FCharts->count() == 2) {
        return;
    }
    FTwoRows = twoRows;
    FStacked = stacked;
    for (QWidget* w : std::initializer_list<QWidget*>{cmbPeriod, cmbDevice, cmbUnits, btnExport}) {
        FTools->removeWidget(w);
    }
    FTools->addWidget(cmbPeriod, 0, 0);
    FTools->addWidget(cmbDevice, 0, 1);
    if (twoRows) {
        FTools->addWidget(cmbUnits, 1, 0);
        FTools->addWidget(btnExport, 1, 1, Qt::AlignLeft);
    } else {
        FTools->addWidget(cmbUnits, 0, 2);
        FTools->addWidget(btnExport, 0, 3);
    }
    FCharts->removeWidget(chHistory);
    FCharts->removeWidget(chRate);
    FCharts->addWidget(chHistory, 0, 0);
    // Side by side, the history gets the larger share; an empty column must take none.
    FCharts->addWidget(chRate, stacked ? 1 : 0, stacked ? 0 : 1);
    FCharts->setColumnStretch(0, 3);
    FCharts->setColumnStretch(1, stacked ? 0 : 2);
    updateGeometry();
}

void TUsageHistoryView::ApplyFonts()
{
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    QFont title = font();
    title.setBold(true);
    for (QChart* chart : {FChart, FRateChart}) {
        chart->setTitleFont(title);
        chart->legend()->setFont(small);
    }
    for (QAbstractAxis* axis : std::initializer_list<QAbstractAxis*>{FAxisX, FAxisY, FRateX, FRateY}) {
        axis->setLabelsFont(small);
        axis->setTitleFont(small);
    }
    // Each chart at least as wide as its texts need, so that none is cut: its title, its legend,
    // and beside the figures of its value axis room for two labels of its time axis.
    const QFontMetrics m(small);
    const QFontMetrics t(title);
    const int em = m.horizontalAdvance(QLatin1Char('M'));
    const int margins = 4 * em;
    const int figures = m.horizontalAdvance(QStringLiteral("8888")) + m.height() + em;
    // Two labels on a category axis need three shares of it (see LabelsFit), one at least two.
    int minute = 0;
    for (int k = 0; k <= RateSamples * 2 / 60; ++k) {
        minute = std::max(minute, m.horizontalAdvance(MinutesLabel(k)));
    }
    chRate->setMinimumWidth(margins + std::max(t.horizontalAdvance(tr("Rate")), figures + 3 * (minute + 8 + em)));
    int legend = 0;
    for (QBarSet* set : {FDownload, FUpload}) {
        legend += m.horizontalAdvance(set->label()) + m.height() + 2 * em;
    }
    int date = 0;
    for (int month = 1; month <= 12; ++month) {
        const QDate d(2026, month, 28);
        date = std::max({date, m.horizontalAdvance(QLocale().toString(d, QStringLiteral("d MMM"))),
                         m.horizontalAdvance(QLocale().toString(d, QStringLiteral("MMM yyyy")))});
    }
    chHistory->setMinimumWidth(margins +
                               std::max({t.horizontalAdvance(tr("The last 31 days")), t.horizontalAdvance(tr("Months")),
                                         legend, figures + 2 * (date + 8 + em)}));
    // The newest label stands on the right end of its axis, half of it beyond the plot: the
    // chart keeps room for that half instead of its default margins, which take a fifth of a
    // small chart.
    FChart->setMargins(QMargins(4, 4, date / 2 + 4, 4));
    FRateChart->setMargins(QMargins(4, 4, m.horizontalAdvance(MinutesLabel(0)) / 2 + 4, 4));
    // And as high as five figures of the value axis need whole (each gets an equal share of the
    // axis less its padding, as the labels below do), with the title, the labels below and the
    // history's legend.
    const int plot = 5 * (m.lineSpacing() + 2 * 4 + 2);
    chRate->setMinimumHeight(std::max(150, plot + t.lineSpacing() + m.lineSpacing() + margins));
    chHistory->setMinimumHeight(std::max(200, plot + t.lineSpacing() + 3 * m.lineSpacing() + margins));
    FLabelStep = 0;
    FRateStep = -1;
    LabelDays();
    LabelMinutes();
}

void TUsageHistoryView::ApplyPalette()
{
    const QPalette p = palette();
    for (QChart* chart : {FChart, FRateChart}) {
        chart->setBackgroundBrush(p.color(QPalette::Base));
        chart->setBackgroundPen(QPen(p.color(QPalette::Mid)));
        chart->legend()->setLabelColor(p.color(QPalette::Text));
        chart->setTitleBrush(p.color(QPalette::Text));
    }
    for (QAbstractAxis* axis : std::initializer_list<QAbstractAxis*>{FAxisX, FAxisY, FRateX, FRateY}) {
        axis->setLabelsColor(p.color(QPalette::Text));
        axis->setLinePenColor(p.color(QPalette::Mid));
        axis->setGridLineColor(p.color(QPalette::Midlight));
        axis->setTitleBrush(p.color(QPalette::Text));
    }
    // Download in the highlight colour, upload a lighter or darker shade of it, so both stand out
    // against the chart's base in either a light or a dark palette.
    const QColor highlight = p.color(QPalette::Highlight);
    const bool dark = p.color(QPalette::Base).lightness() < 128;
    FDownload->setColor(highlight);
    FDownload->setBorderColor(highlight);
    const QColor upload = dark ? highlight.lighter(160) : highlight.darker(160);
    FUpload->setColor(upload);
    FUpload->setBorderColor(upload);
    FRate->setColor(highlight);
    chHistory->setBackgroundBrush(p.color(QPalette::Window));
    chRate->setBackgroundBrush(p.color(QPalette::Window));
}

void TUsageHistoryView::SettingsChanged()
{
    {
        const QSignalBlocker block(cmbUnits);
        cmbUnits->setCurrentIndex(std::max(0, int(cmbUnits->findData(int(ByteUnits())))));
    }
    FEntries.clear();
    Refresh();
    ShowRate();
}

void TUsageHistoryView::SetDevices(const QStringList& Devices)
{
    QStringList known;
    for (int i = 1; i < cmbDevice->count(); ++i) {
        known << cmbDevice->itemData(i).toString();
    }
    if (known == Devices) {
        return;
    }
    const QString selected = SelectedDevice();
    const QSignalBlocker block(cmbDevice);
    while (cmbDevice->count() > 1) {
        cmbDevice->removeItem(1);
    }
    for (const QString& d : Devices) {
        cmbDevice->addItem(d, d);
    }
    cmbDevice->setCurrentIndex(std::max(0, int(cmbDevice->findData(selected))));
}

QString TUsageHistoryView::SelectedDevice() const
{
    return cmbDevice->currentData().toString();
}

TUsagePeriod TUsageHistoryView::Period() const
{
    return cmbPeriod->currentIndex() == 1 ? TUsagePeriod::Month : TUsagePeriod::Day;
}

void TUsageHistoryView::Refresh()
{
    if (!UsageThread || !Database) {
        return;
    }
    const QDate today = Clock::NowQ().date();
    const QString device = SelectedDevice();
    QDate from = today.addDays(1 - HistoryDays);
    if (Period() == TUsagePeriod::Month) {
        from = FirstUsageDate(*Database, device);
        if (!from.isValid() || from > today) {
            from = today;
        }
    }
    const QList<TUsageEntry> entries = UsageThread->History(device, Period(), from, today);
    if (entries != FEntries || lvHistory->topLevelItemCount() != entries.size()) {
        FEntries = entries;
        lvHistory->clear();
        // Newest first in the table; the chart runs left to right in time.
        QList<QTreeWidgetItem*> items;
        for (auto it = FEntries.crbegin(); it != FEntries.crend(); ++it) {
            items << new QTreeWidgetItem({UsageDateText(*it, Period()), FormatByteSize(it->In), FormatByteSize(it->Out),
                                          FormatByteSize(it->Total())});
        }
        lvHistory->addTopLevelItems(items);
        // As wide as the dates and figures are in this language and font: never cut to "...".
        for (int column = 0; column < lvHistory->columnCount(); ++column) {
            lvHistory->resizeColumnToContents(column);
        }
        FillChart();
    }
    ShowPlan();
}

void TUsageHistoryView::FillChart()
{
    FDownload->remove(0, FDownload->count());
    FUpload->remove(0, FUpload->count());
    QStringList categories;
    double top = 0;
    // The last 31 days or every month: a bar per entry stays readable.
    const qsizetype first = Period() == TUsagePeriod::Day ? std::max<qsizetype>(0, FEntries.size() - 31) : 0;
    for (qsizetype i = first; i < FEntries.size(); ++i) {
        const TUsageEntry& e = FEntries.at(i);
        FDownload->append(double(e.In) / MiB());
        FUpload->append(double(e.Out) / MiB());
        top = std::max(top, double(e.Total()) / MiB());
        categories << (Period() == TUsagePeriod::Day ? QLocale().toString(e.Date, QStringLiteral("d MMM"))
                                                     : QLocale().toString(e.Date, QStringLiteral("MMM yyyy")));
    }
    FBarLabels = categories;
    FLabelStep = 0;
    FAxisX->setRange(-0.5, double(std::max<qsizetype>(1, categories.size())) - 0.5);
    LabelDays();
    FAxisY->setRange(0, top > 0 ? top * 1.1 : 1);
    FAxisY->applyNiceNumbers();
    FAxisY->setTitleText(MiBName());
    FChart->setTitle(Period() == TUsagePeriod::Day ? tr("The last 31 days") : tr("Months"));
}

void TUsageHistoryView::LabelDays()
{
    const qsizetype bars = FBarLabels.size();
    const double perBar = bars > 0 ? FChart->plotArea().width() / double(bars) : 0;
    if (perBar <= 0) {
        return;
    }
    const QFontMetricsF metrics(FAxisX->labelsFont());
    double widest = 0;
    for (const QString& label : std::as_const(FBarLabels)) {
        widest = std::max(widest, metrics.horizontalAdvance(label));
    }
    const double em = metrics.horizontalAdvance(QLatin1Char('M'));
    // The fewest bars per label at which the labels are whole and an "M" apart; one label (the
    // newest) when even that is too many.
    int step = int(bars);
    for (int s = 1; s < bars; ++s) {
        if (s * perBar >= widest + em && LabelsFit(FChart->plotArea().width(), (bars + s - 1) / s, widest, em)) {
            step = s;
            break;
        }
    }
    if (step == FLabelStep) {
        return;
    }
    FLabelStep = step;
    for (const QString& label : FAxisX->categoriesLabels()) {
        FAxisX->remove(label);
    }
    // Counted back from the newest bar, so that today always has its date.
    for (qsizetype i = (bars - 1) % step; i < bars; i += step) {
        FAxisX->append(FBarLabels.at(i), double(i));
    }
}

QString TUsageHistoryView::MinutesLabel(int Minutes)
{
    //: The rate chart's time axis: minutes before now.
    return Minutes == 0 ? tr("now") : tr("-%1 min").arg(Minutes);
}

void TUsageHistoryView::LabelMinutes()
{
    const double width = FRateChart->plotArea().width();
    const int minutes = RateSamples * 2 / 60;
    const QFontMetricsF metrics(FRateX->labelsFont());
    double widest = 0;
    for (int k = 0; k <= minutes; ++k) {
        widest = std::max(widest, metrics.horizontalAdvance(MinutesLabel(k)));
    }
    // Every minute, every other one, or only the ends; "now" alone when not even those fit.
    int step = 0;
    for (const int candidate : {1, 2, minutes}) {
        if (LabelsFit(width, minutes / candidate + 1, widest, metrics.horizontalAdvance(QLatin1Char('M')))) {
            step = candidate;
            break;
        }
    }
    if (step == FRateStep) {
        return;
    }
    FRateStep = step;
    for (const QString& label : FRateX->categoriesLabels()) {
        FRateX->remove(label);
    }
    // Counted back from now, so that now always has its label.
    QList<int> marks{0};
    for (int k = step; step > 0 && k <= minutes; k += step) {
        marks.prepend(k);
    }
    for (const int k : std::as_const(marks)) {
        FRateX->append(MinutesLabel(k), -60.0 * k);
    }
}

void TUsageHistoryView::AddRateSample(quint64 Bytes, double Seconds)
{
    if (Seconds <= 0) {
        return;
    }
    FRateValues << double(Bytes) / Seconds;
    while (FRateValues.size() > RateSamples) {
        FRateValues.removeFirst();
    }
    ShowRate();
}

void TUsageHistoryView::ShowRate()
{
    // The unit that keeps the figures below a thousand, in the units chosen for every figure.
    double top = 0;
    for (const double v : std::as_const(FRateValues)) {
        top = std::max(top, v);
    }
    const bool si = ByteUnits() == TByteUnits::Si;
    const double k = si ? 1000.0 : 1024.0;
    double unit = k;
    QString name = si ? QStringLiteral("kB/s") : QStringLiteral("KiB/s");
    if (top >= k * k) {
        unit = k * k;
        name = si ? QStringLiteral("MB/s") : QStringLiteral("MiB/s");
    }
    QList<QPointF> points;
    const qsizetype n = FRateValues.size();
    for (qsizetype i = 0; i < n; ++i) {
        points << QPointF(double(i - n + 1) * 2.0, FRateValues.at(i) / unit);
    }
    FRate->replace(points);
    FRateY->setRange(0, std::max(1.0, top / unit * 1.1));
    FRateY->applyNiceNumbers();
    FRateY->setTitleText(name);
}

void TUsageHistoryView::ShowPlan()
{
    const QString device = SelectedDevice();
    if (device.isEmpty()) {
        lbPlan->setText(tr("Choose a modem to see its data plan."));
        return;
    }
    const TDataPlan plan = LoadDataPlan(*Database, device);
    if (plan.Limit == 0) {
        lbPlan->setText(tr("No data plan for %1 (Settings, Usage).").arg(device));
        return;
    }
    const QDate today = Clock::NowQ().date();
    const TBillingPeriod period = BillingPeriodOf(today, plan.StartDay);
    quint64 in = 0;
    quint64 out = 0;
    UsageThread->GetRange(device, period.Start, period.End, in, out);
    const TPlanStatus s = DataPlanStatus(plan, today, in + out);
    lbPlan->setText(tr("Plan %1 from %2 to %3: used %4 (%5 %), left %6, %n day(s) left, forecast %7 at the "
                       "period's end",
                       nullptr, s.DaysLeft)
                        .arg(FormatByteSize(plan.Limit), s.Period.Start.toString(Qt::ISODate),
                             s.Period.End.toString(Qt::ISODate), FormatByteSize(s.Used))
                        .arg(s.Percent)
                        .arg(FormatByteSize(s.Left), FormatByteSize(s.Forecast)));
}

void TUsageHistoryView::btnExportClick()
{
    const QString file = QFileDialog::getSaveFileName(this, tr("Export usage history"), QStringLiteral("usage.csv"),
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (file.isEmpty()) {
        return;
    }
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(UsageHistoryCsv(FEntries, Period()).toUtf8()) < 0 || !out.flush()) {
        throw std::runtime_error(
            tr("The history could not be written to %1: %2").arg(file, out.errorString()).toStdString());
    }
}

} // namespace Ombrelay
