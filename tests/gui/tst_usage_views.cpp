// The usage history view and the monitor log page over a real database, on the offscreen
// platform: the chart follows the palette, the log page filters by kind.

#include "base/DateTime.h"
#include "core/MonitorLog.h"
#include "core/Usage.h"
#include "gui/MonitorLogPage.h"
#include "gui/Translations.h"
#include "gui/UsageHistoryView.h"
#include "support/TempDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTranslator>
#include <QTreeWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace Ombrelay;

namespace
{

QPalette DarkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
    p.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
    p.setColor(QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    p.setColor(QPalette::Mid, QColor(0x50, 0x50, 0x50));
    p.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x40));
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe0));
    return p;
}

// How many pixels of Image are close to Colour.
int Pixels(const QImage& Image, const QColor& Colour)
{
    int n = 0;
    for (int y = 0; y < Image.height(); ++y) {
        for (int x = 0; x < Image.width(); ++x) {
            const QColor c = Image.pixelColor(x, y);
            n += std::abs(c.red() - Colour.red()) + std::abs(c.green() - Colour.green()) +
                     std::abs(c.blue() - Colour.blue()) <
                 12;
        }
    }
    return n;
}

// The texts a chart shows: its title, axis labels and legend, each as the chart draws it (cut
// to "..." where its room is too small). Outside: those that reach beyond the chart's view,
// where they are cut off however they are drawn.
QStringList ChartTexts(QChartView* View, QStringList* Outside = nullptr)
{
    QStringList texts;
    const QRectF shown(QPointF(0, 0), View->viewport()->size());
    const auto items = View->scene()->items();
    for (QGraphicsItem* item : items) {
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible()) {
            texts << text->toPlainText();
            // The document's margin is blank.
            const qreal margin = text->document()->documentMargin();
            const QRectF drawn =
                View->mapFromScene(text->sceneBoundingRect().adjusted(margin, margin, -margin, -margin)).boundingRect();
            if (Outside && !text->toPlainText().isEmpty() && !shown.contains(drawn)) {
                *Outside << text->toPlainText();
            }
        }
    }
    return texts;
}

bool Cut(const QString& Text)
{
    return Text.contains(QLatin1String("...")) || Text.contains(QChar(0x2026));
}

} // namespace

class TestUsageViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Clock::SetNow(0); }
    void chartFollowsPalette_data();
    void chartFollowsPalette();
    void monitorLogFilteredByKind();
    void chartDatesNeverCut_data();
    void chartDatesNeverCut();
    void textsFitAtTheSmallestSize_data();
    void textsFitAtTheSmallestSize();
    void rateInTheChosenUnits_data();
    void rateInTheChosenUnits();
};

void TestUsageViews::chartFollowsPalette_data()
{
    QTest::addColumn<bool>("Dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void TestUsageViews::chartFollowsPalette()
{
    QFETCH(bool, Dark);
    TTempDatabase temp;
    TDateTime now = 0;
    TryEncodeDate(2026, 3, 20, now);
    Clock::SetNow(now + 0.5);
    {
        TSQLiteLock lock(temp.DB());
        for (int day = 1; day <= 20; ++day) {
            temp.DB().ExecSQL(QStringLiteral("INSERT INTO USAGE VALUES ('2026-03-%1', %2, %3)")
                                  .arg(day, 2, 10, QLatin1Char('0'))
                                  .arg(day * 3000000)
                                  .arg(day * 800000));
        }
    }
    TUsageThread thread(temp.DataHome() + QStringLiteral("/no-sysfs"));
    UsageThread = &thread;
    TUsageHistoryView view;
    const QPalette palette = Dark ? DarkPalette() : QApplication::style()->standardPalette();
    view.setPalette(palette);
    view.resize(900, 600);
    view.show();
    view.Refresh();
    for (int i = 0; i < 20; ++i) {
        view.AddRateSample(quint64(i) * 40000, 2.0);
    }
    QCOMPARE(view.Entries().size(), TUsageHistoryView::HistoryDays);
    QCOMPARE(view.Entries().last().In, 60000000u);
    QCOMPARE(view.lvHistory->topLevelItem(0)->text(0), QStringLiteral("2026-03-20"));
    // The units chosen here are stored and every figure follows them.
    QCOMPARE(view.lvHistory->topLevelItem(0)->text(1), QStringLiteral("57.2 MiB"));
    view.cmbUnits->setCurrentIndex(view.cmbUnits->findData(int(TByteUnits::Si)));
    QCOMPARE(view.lvHistory->topLevelItem(0)->text(1), QStringLiteral("60.0 MB"));
    QCOMPARE(LoadByteUnits(temp.DB()), TByteUnits::Si);
    view.cmbUnits->setCurrentIndex(view.cmbUnits->findData(int(TByteUnits::Iec)));
    QCOMPARE(LoadByteUnits(temp.DB()), TByteUnits::Iec);
    QTest::qWait(200);
    const QImage image = view.grab().toImage();
    QDir().mkpath(QStringLiteral(OMBRELAY_SCREENSHOTS));
    QVERIFY(image.save(QStringLiteral(OMBRELAY_SCREENSHOTS "/usage-chart-%1.png")
                           .arg(Dark ? QStringLiteral("dark") : QStringLiteral("light"))));
    // The chart's background is the palette's base and its bars the highlight colour.
    QVERIFY(Pixels(image, palette.color(QPalette::Base)) > 20000);
    QVERIFY(Pixels(image, palette.color(QPalette::Highlight)) > 500);
    UsageThread = nullptr;
}

void TestUsageViews::chartDatesNeverCut_data()
{
    QTest::addColumn<int>("Width");
    QTest::addColumn<bool>("ByMonth");
    QTest::newRow("wide") << 1400 << false;
    QTest::newRow("normal") << 900 << false;
    QTest::newRow("narrow") << 480 << false;
    QTest::newRow("months, narrow") << 480 << true;
}

// The dates below the bars: as many as fit, each whole (a label too long for its room is cut to
// "..." by the chart), the newest always among them.
void TestUsageViews::chartDatesNeverCut()
{
    QFETCH(int, Width);
    QFETCH(bool, ByMonth);
    TTempDatabase temp;
    TDateTime now = 0;
    TryEncodeDate(2026, 3, 20, now);
    Clock::SetNow(now + 0.5);
    {
        TSQLiteLock lock(temp.DB());
        for (int month = 1; month <= 24; ++month) {
            temp.DB().ExecSQL(QStringLiteral("INSERT INTO USAGE VALUES ('%1-%2-10', 1000, 100)")
                                  .arg(2024 + (month - 1) / 12)
                                  .arg((month - 1) % 12 + 1, 2, 10, QLatin1Char('0')));
        }
    }
    TUsageThread thread(temp.DataHome() + QStringLiteral("/no-sysfs"));
    UsageThread = &thread;
    TUsageHistoryView view;
    view.resize(Width, 600);
    view.show();
    view.cmbPeriod->setCurrentIndex(ByMonth ? 1 : 0);
    view.Refresh();
    QCoreApplication::processEvents();
    QStringList labels;
    const auto items = view.chHistory->scene()->items();
    for (QGraphicsItem* item : items) {
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible()) {
            labels << text->toPlainText();
        }
    }
    const QString newest = ByMonth ? QLocale().toString(QDate(2026, 3, 1), QStringLiteral("MMM yyyy"))
                                   : QLocale().toString(QDate(2026, 3, 20), QStringLiteral("d MMM"));
    QVERIFY2(labels.contains(newest), qPrintable(labels.join(QLatin1Char('|'))));
    for (const QString& label : std::as_const(labels)) {
        QVERIFY2(!label.contains(QLatin1String("...")) && !label.contains(QChar(0x2026)),
                 qPrintable(labels.join(QLatin1Char('|'))));
    }
    UsageThread = nullptr;
}

void TestUsageViews::monitorLogFilteredByKind()
{
    TTempDatabase temp;
    AddMonitorLog(temp.DB(), {0, QStringLiteral("check"), QStringLiteral("http://127.0.0.1:1/"), QStringLiteral("HTTP"),
                              QStringLiteral("failed"), QStringLiteral("connection refused")});
    AddMonitorLog(temp.DB(), {0, QStringLiteral("check"), QStringLiteral("http://127.0.0.1:1/"), QStringLiteral("HTTP"),
                              QStringLiteral("failed"), QStringLiteral("HTTP status 500")});
    AddMonitorLog(temp.DB(), {0, QStringLiteral("reconnect"), {}, {}, QStringLiteral("connect"), {}});
    TMonitorLogPage page;
    page.Refresh();
    QCOMPARE(page.lvMonitorLog->topLevelItemCount(), 3);
    // Newest first.
    QCOMPARE(page.lvMonitorLog->topLevelItem(0)->text(1), QStringLiteral("reconnect"));
    QCOMPARE(page.lvMonitorLog->topLevelItem(1)->text(5), QStringLiteral("HTTP status 500"));
    page.cmbKind->setCurrentIndex(page.cmbKind->findData(QStringLiteral("check")));
    QCOMPARE(page.lvMonitorLog->topLevelItemCount(), 2);
    page.cmbKind->setCurrentIndex(page.cmbKind->findData(QStringLiteral("restart")));
    QCOMPARE(page.lvMonitorLog->topLevelItemCount(), 0);
}

void TestUsageViews::textsFitAtTheSmallestSize_data()
{
    QTest::addColumn<QString>("Locale");
    QTest::addColumn<double>("FontScale");
    // 0: the view's smallest width, as the usage tab's scroll area gives it to a small window.
    QTest::addColumn<int>("Width");
    QTest::newRow("English, smallest") << "en_US" << 1.0 << 0;
    QTest::newRow("German, smallest") << "de_DE" << 1.0 << 0;
    QTest::newRow("German, large font, smallest") << "de_DE" << 1.6 << 0;
    QTest::newRow("German, wide") << "de_DE" << 1.0 << 1400;
}

// At its smallest width, in a language with longer words and with a large font, every text of
// both charts is whole (Qt Charts cuts a text too long for its room to "..."), the rate's time
// axis keeps at least two labels, and the controls above the charts neither overlap nor shrink
// below their size, in two rows when one is too narrow for them, and the charts stand one above
// the other rather than be cut; a wide view has each in one row.
void TestUsageViews::textsFitAtTheSmallestSize()
{
    QFETCH(QString, Locale);
    QFETCH(double, FontScale);
    QFETCH(int, Width);
    if (Locale != QLatin1String("en_US") && TTranslations::Install(QLocale(Locale)).isEmpty()) {
        QFAIL("the translation was not built");
    }
    QLocale::setDefault(QLocale(Locale));
    auto restore = qScopeGuard([] {
        QLocale::setDefault(QLocale::c());
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    });
    TTempDatabase temp;
    TDateTime now = 0;
    TryEncodeDate(2026, 3, 20, now);
    Clock::SetNow(now + 0.5);
    {
        TSQLiteLock lock(temp.DB());
        for (int day = 1; day <= 20; ++day) {
            temp.DB().ExecSQL(QStringLiteral("INSERT INTO USAGE VALUES ('2026-03-%1', %2, %3)")
                                  .arg(day, 2, 10, QLatin1Char('0'))
                                  .arg(day * 3000000)
                                  .arg(day * 800000));
        }
    }
    TUsageThread thread(temp.DataHome() + QStringLiteral("/no-sysfs"));
    UsageThread = &thread;
    auto noThread = qScopeGuard([] { UsageThread = nullptr; });
    // In a scroll area as on the usage tab: as wide as the area, never narrower than it may be.
    QScrollArea area;
    area.setWidgetResizable(true);
    auto* history = new TUsageHistoryView();
    area.setWidget(history);
    TUsageHistoryView& view = *history;
    QFont font = view.font();
    font.setPointSizeF(font.pointSizeF() * FontScale);
    view.setFont(font);
    view.Refresh();
    for (int i = 0; i < 150; ++i) {
        view.AddRateSample(quint64(i % 40) * 250000, 2.0);
    }
    area.resize(Width > 0 ? Width : 100, 500);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QCoreApplication::processEvents();
    if (Width == 0) {
        QCOMPARE(view.width(), view.minimumSizeHint().width());
    }
    QDir().mkpath(QStringLiteral(OMBRELAY_SCREENSHOTS));
    view.grab().save(QStringLiteral(OMBRELAY_SCREENSHOTS "/usage-chart-%1.png")
                         .arg(QString::fromLatin1(QTest::currentDataTag())
                                  .replace(QStringLiteral(", "), QStringLiteral("-"))
                                  .replace(QLatin1Char(' '), QLatin1Char('-'))
                                  .toLower()));

    for (QChartView* chart : {view.chHistory, view.chRate}) {
        QStringList outside;
        const QStringList texts = ChartTexts(chart, &outside);
        QVERIFY2(texts.size() >= 4, qPrintable(texts.join(QLatin1Char('|'))));
        for (const QString& text : texts) {
            QVERIFY2(!Cut(text), qPrintable(chart->objectName() + QLatin1String(": ") + texts.join(QLatin1Char('|'))));
        }
        QVERIFY2(outside.isEmpty(),
                 qPrintable(chart->objectName() + QLatin1String(": ") + outside.join(QLatin1Char('|'))));
    }
    QVERIFY2(view.RateLabelStep() > 0, qPrintable(ChartTexts(view.chRate).join(QLatin1Char('|'))));

    const QList<QWidget*> tools{view.cmbPeriod, view.cmbDevice, view.cmbUnits, view.btnExport};
    for (QWidget* w : tools) {
        QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
        QVERIFY2(view.rect().contains(w->geometry()), qPrintable(w->objectName()));
        for (QWidget* other : tools) {
            QVERIFY(w == other || !w->geometry().intersects(other->geometry()));
        }
    }
    QVERIFY(!view.chHistory->geometry().intersects(view.chRate->geometry()));
    for (QWidget* chart : {static_cast<QWidget*>(view.chHistory), static_cast<QWidget*>(view.chRate)}) {
        QVERIFY2(view.rect().contains(chart->geometry()), qPrintable(chart->objectName()));
    }
    if (Width > 0) {
        QVERIFY(!view.TwoRowTools());
        QVERIFY(!view.ChartsStacked());
    }
    QVERIFY(view.lbPlan->height() >= view.lbPlan->heightForWidth(view.lbPlan->width()));
    // The table's dates and figures are whole too.
    const QFontMetrics metrics(view.lvHistory->font());
    for (int row = 0; row < view.lvHistory->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = view.lvHistory->topLevelItem(row);
        for (int column = 0; column < view.lvHistory->columnCount(); ++column) {
            QVERIFY2(view.lvHistory->columnWidth(column) > metrics.horizontalAdvance(item->text(column)),
                     qPrintable(item->text(column)));
        }
    }
}

void TestUsageViews::rateInTheChosenUnits_data()
{
    QTest::addColumn<int>("Units");
    QTest::addColumn<quint64>("BytesPerSecond");
    QTest::addColumn<QString>("Axis");
    QTest::addColumn<double>("Shown");
    QTest::newRow("IEC, kibibytes") << int(TByteUnits::Iec) << quint64(51200) << "KiB/s" << 50.0;
    QTest::newRow("IEC, just below a mebibyte") << int(TByteUnits::Iec) << quint64(1048575) << "KiB/s" << 1023.999;
    QTest::newRow("IEC, mebibytes") << int(TByteUnits::Iec) << quint64(3145728) << "MiB/s" << 3.0;
    QTest::newRow("SI, kilobytes") << int(TByteUnits::Si) << quint64(50000) << "kB/s" << 50.0;
    QTest::newRow("SI, megabytes") << int(TByteUnits::Si) << quint64(3000000) << "MB/s" << 3.0;
    QTest::newRow("SI, a mebibyte is more than a megabyte")
        << int(TByteUnits::Si) << quint64(1048576) << "MB/s" << 1.048576;
}

// The rate is written in the units chosen for every figure, never 1024-based figures under a
// 1000-based name, in the unit that keeps them below a thousand.
void TestUsageViews::rateInTheChosenUnits()
{
    QFETCH(int, Units);
    QFETCH(quint64, BytesPerSecond);
    QFETCH(QString, Axis);
    QFETCH(double, Shown);
    SetByteUnits(TByteUnits(Units));
    auto restore = qScopeGuard([] { SetByteUnits(TByteUnits::Iec); });
    TUsageHistoryView view;
    view.AddRateSample(BytesPerSecond / 10, 0.1);
    view.AddRateSample(BytesPerSecond * 2, 2.0);
    auto* axis = qobject_cast<QValueAxis*>(view.chRate->chart()->axes(Qt::Vertical).value(0));
    auto* line = qobject_cast<QLineSeries*>(view.chRate->chart()->series().value(0));
    QVERIFY(axis && line);
    QCOMPARE(axis->titleText(), Axis);
    QCOMPARE(line->points().size(), 2);
    QVERIFY2(std::abs(line->points().last().y() - Shown) < 0.001,
             qPrintable(QString::number(line->points().last().y())));
    QCOMPARE(line->points().last().x(), 0.0);
    QVERIFY(axis->max() >= Shown);
}

QTEST_MAIN(TestUsageViews)
#include "tst_usage_views.moc"
