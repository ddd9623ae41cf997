#include "gui/UsageHistoryView.h"

#include "base/DateTime.h"
#include "core/DB.h"
#include "core/Usage.h"
#include "gui/GuiCommon.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

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
    btnPlan = new QPushButton(tr("Data plan..."), this);
    btnPlan->setObjectName(QStringLiteral("btnPlan"));
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
    FAxisX = new QBarCategoryAxis();
    FAxisY = new QValueAxis();
    FChart->addAxis(FAxisX, Qt::AlignBottom);
    FChart->addAxis(FAxisY, Qt::AlignLeft);
    FBars->attachAxis(FAxisX);
    FBars->attachAxis(FAxisY);
    FChart->legend()->setAlignment(Qt::AlignBottom);
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
    top->addWidget(btnPlan);
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
    connect(btnPlan, &QPushButton::clicked, this, [this] { Guarded(this, [this] { btnPlanClick(); }); });
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
        categories << (Period() == TUsagePeriod::Day ? QString::number(e.Date.day())
                                                     : e.Date.toString(QStringLiteral("MM/yy")));
    }
    FAxisX->clear();
    FAxisX->append(categories);
    FAxisY->setRange(0, top > 0 ? top * 1.1 : 1);
    FAxisY->setTitleText(MiBName());
    // Day numbers only: a month of narrow bars has no room for more below each.
    FChart->setTitle(Period() == TUsagePeriod::Day ? tr("The last 31 days") : tr("Months"));
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
    btnPlan->setEnabled(!device.isEmpty());
    if (device.isEmpty()) {
        lbPlan->setText(tr("Choose a modem to see its data plan."));
        return;
    }
    const TDataPlan plan = LoadDataPlan(*Database, device);
    if (plan.Limit == 0) {
        lbPlan->setText(tr("No data plan for %1.").arg(device));
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

void TUsageHistoryView::btnPlanClick()
{
    const QString device = SelectedDevice();
    if (device.isEmpty()) {
        return;
    }
    TDataPlan plan = LoadDataPlan(*Database, device);
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Data plan of %1").arg(device));
    auto* limit = new QSpinBox(&dialog);
    limit->setObjectName(QStringLiteral("edLimit"));
    limit->setRange(0, 1000000);
    limit->setSuffix(QStringLiteral(" ") + MiBName());
    limit->setSpecialValueText(tr("no plan"));
    limit->setValue(int(double(plan.Limit) / MiB()));
    auto* start = new QSpinBox(&dialog);
    start->setObjectName(QStringLiteral("edStartDay"));
    start->setRange(1, 31);
    start->setValue(plan.StartDay);
    auto* alerts = new QLineEdit(&dialog);
    alerts->setObjectName(QStringLiteral("edAlerts"));
    QStringList alertText;
    for (int a : plan.Alerts) {
        alertText << QString::number(a);
    }
    alerts->setText(alertText.join(QStringLiteral(", ")));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(tr("Monthly limit:"), limit);
    form->addRow(tr("Billing period starts on day:"), start);
    form->addRow(tr("Alerts at percent:"), alerts);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    plan.Limit = quint64(limit->value()) * quint64(MiB());
    plan.StartDay = start->value();
    plan.Alerts.clear();
    for (const QString& part : alerts->text().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        plan.Alerts << part.trimmed().toInt();
    }
    SaveDataPlan(*Database, device, plan);
    ShowPlan();
}

} // namespace Ombrelay
