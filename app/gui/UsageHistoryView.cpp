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
#include <QHBoxLayout>
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
    chHistory->setMinimumHeight(200);

    FRate = new QLineSeries();
    FRate->setName(tr("Rate (KiB/s, last 5 minutes)"));
    FRateChart = new QChart();
    FRateChart->addSeries(FRate);
    FRateX = new QValueAxis();
    FRateY = new QValueAxis();
    FRateX->setRange(-RateSamples * 2, 0);
    FRateX->setLabelFormat(QStringLiteral("%d s"));
    FRateChart->addAxis(FRateX, Qt::AlignBottom);
    FRateChart->addAxis(FRateY, Qt::AlignLeft);
    FRate->attachAxis(FRateX);
    FRate->attachAxis(FRateY);
    FRateChart->legend()->setAlignment(Qt::AlignBottom);
    chRate = new QChartView(FRateChart, this);
    chRate->setObjectName(QStringLiteral("chRate"));
    chRate->setRenderHint(QPainter::Antialiasing);
    chRate->setMinimumHeight(150);

    auto* top = new QHBoxLayout();
    top->addWidget(cmbPeriod);
    top->addWidget(cmbDevice, 1);
    top->addWidget(cmbUnits);
    top->addWidget(btnExport);
    auto* charts = new QHBoxLayout();
    charts->addWidget(chHistory, 3);
    charts->addWidget(chRate, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(lbPlan);
    layout->addLayout(charts, 2);
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
        });
    });
    connect(btnExport, &QPushButton::clicked, this, [this] { Guarded(this, [this] { btnExportClick(); }); });
    ApplyPalette();
}

void TUsageHistoryView::changeEvent(QEvent* Event)
{
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::PaletteChange) {
        ApplyPalette();
    }
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
    // Room for the text and a gap of an "M" on either side.
    const int step = std::max(1, int(std::ceil((widest + 2 * metrics.horizontalAdvance(QLatin1Char('M'))) / perBar)));
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

void TUsageHistoryView::AddRateSample(quint64 Bytes, double Seconds)
{
    if (Seconds <= 0) {
        return;
    }
    FRateValues << double(Bytes) / Seconds / 1024.0;
    while (FRateValues.size() > RateSamples) {
        FRateValues.removeFirst();
    }
    QList<QPointF> points;
    double top = 1;
    const qsizetype n = FRateValues.size();
    for (qsizetype i = 0; i < n; ++i) {
        points << QPointF(double(i - n + 1) * 2.0, FRateValues.at(i));
        top = std::max(top, FRateValues.at(i));
    }
    FRate->replace(points);
    FRateY->setRange(0, top * 1.1);
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
