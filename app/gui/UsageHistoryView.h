#pragma once

#include "core/DataPlan.h"
#include "core/UsageHistory.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QTreeWidget;

QT_BEGIN_NAMESPACE
class QCategoryAxis;
class QBarSet;
class QChart;
class QChartView;
class QLineSeries;
class QStackedBarSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace Ombrelay
{

// The traffic history below the usage rows: a table and a chart (download and upload stacked)
// by day (the last 90 days) or by month (every month counted), for all interfaces or one modem;
// the modem's data plan (used, left, days left, forecast); the rate of the last minutes; and an
// export of the table to CSV. It works only when Refresh or AddRateSample is called, which the
// page does while it is shown.
class TUsageHistoryView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int HistoryDays = 90;
    // Rate samples kept: the last five minutes at one sample every two seconds.
    static constexpr int RateSamples = 150;

    explicit TUsageHistoryView(QWidget* Parent = nullptr);

    // As narrow as the controls in two rows allow: a wider view puts them in one.
    QSize minimumSizeHint() const override;

    // The modems offered besides "All" (interface identifiers).
    void SetDevices(const QStringList& Devices);
    // Reads the history and the plan again.
    void Refresh();
    // Bytes received and sent since the previous sample, Seconds apart.
    void AddRateSample(quint64 Bytes, double Seconds);
    // The byte units or a data plan changed in the settings: every figure is shown again.
    void SettingsChanged();
    // Colours from the current palette (light or dark).
    void ApplyPalette();

    QString SelectedDevice() const;
    const QList<TUsageEntry>& Entries() const { return FEntries; }
    TUsagePeriod Period() const;

    QComboBox* cmbPeriod;
    QComboBox* cmbDevice;
    // 1000-based SI or 1024-based IEC units, stored at once.
    QComboBox* cmbUnits;
    QTreeWidget* lvHistory;
    QChartView* chHistory;
    QChartView* chRate;
    QLabel* lbPlan;
    QPushButton* btnExport;

    // The rate chart's time axis: how many minutes one label stands for now (0: only "now").
    int RateLabelStep() const { return FRateStep; }
    // Whether the controls above the charts are in two rows (a narrow view) or one, and the
    // charts one above the other or side by side.
    bool TwoRowTools() const { return FTwoRows; }
    bool ChartsStacked() const { return FStacked; }

protected:
    void changeEvent(QEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    void FillChart();
    // Dates below the bars, as many as fit without being cut: every n-th bar gets its date.
    void LabelDays();
    // Minutes below the rate, as many as fit without being cut, "now" always among them.
    void LabelMinutes();
    void ShowRate();
    static QString MinutesLabel(int Minutes);
    // Chart texts a little smaller than the window's, so that more of them fit; the charts'
    // smallest widths follow from them.
    void ApplyFonts();
    // One row of controls while they fit side by side, else two; the charts side by side while
    // they fit, else one above the other.
    void Arrange();
    void ShowPlan();
    void btnExportClick();

    QList<TUsageEntry> FEntries;
    // The bars' dates, oldest first, and how many bars one label stands for now.
    QStringList FBarLabels;
    int FLabelStep = 0;
    QChart* FChart;
    QStackedBarSeries* FBars;
    QBarSet* FDownload;
    QBarSet* FUpload;
    QCategoryAxis* FAxisX;
    QValueAxis* FAxisY;
    QChart* FRateChart;
    QLineSeries* FRate;
    // Seconds before now, labelled in whole minutes.
    QCategoryAxis* FRateX;
    QValueAxis* FRateY;
    // Bytes per second, oldest first.
    QList<double> FRateValues;
    int FRateStep = -1;
    QGridLayout* FTools;
    bool FTwoRows = false;
    QGridLayout* FCharts;
    bool FStacked = false;
};

} // namespace Ombrelay
