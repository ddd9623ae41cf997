// The usage history view and the monitor log page over a real database, on the offscreen
// platform: the chart follows the palette, the log page filters by kind.

#include "base/DateTime.h"
#include "core/MonitorLog.h"
#include "core/Usage.h"
#include "gui/MonitorLogPage.h"
#include "gui/UsageHistoryView.h"
#include "support/TempDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>
#include <QtCharts/QChartView>

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

QTEST_MAIN(TestUsageViews)
#include "tst_usage_views.moc"
