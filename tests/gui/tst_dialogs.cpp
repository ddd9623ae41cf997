// The four dialogs on the offscreen platform: the new-message counter and send rule, the
// settings exchange, the restart count-down and the About box.

#include "base/DateTime.h"
#include "base/Errors.h"
#include "core/DataPlan.h"
#include "core/Options.h"
#include "core/Usage.h"
#include "gui/About.h"
#include "gui/CreateMessage.h"
#include "gui/MessageBox.h"
#include "gui/Settings.h"
#include "gui/TimedMessage.h"
#include "support/TempDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Ombrelay;

// Receives the addresses the About box hands to the desktop.
class TUrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> Opened;

public Q_SLOTS:
    void Open(const QUrl& Url) { Opened.append(Url); }
};

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void createMessageCounter_data();
    void createMessageCounter();
    void createMessageSendRule_data();
    void createMessageSendRule();
    void createMessageHistoryAndKeys();

    void settingsCopyInAndOut();
    void settingsMonitorCheckEnables();
    void settingsAddSite_data();
    void settingsAddSite();
    void settingsDeleteSelected();
    void settingsUsageUnitsAndPlans();

    void countDownStartsAtSixtyAndRestartsAtZero();
    void countDownOkAt37RequestsRestart();
    void countDownCancel();
    void countDownSuppress_data();
    void countDownSuppress();
    void countDownTwoDialogsCountOnTheirOwn();
    void countDownRefusedRestartStopsAndStaysOpen();

    void aboutVersionAndLinks();

private:
    TOptions FOptions;
    int FReboots = 0;
    bool FRefuse = false;
};

void TestDialogs::initTestCase()
{
    Options = &FOptions;
    TMessageBox::SetAutoAnswer(QMessageBox::Ok);
    TfmTimedMessage::SetRebootFunction([this] {
        ++FReboots;
        if (FRefuse) {
            throw EOSError(1, QStringLiteral("Interactive authentication required."));
        }
    });
}

void TestDialogs::init()
{
    FReboots = 0;
    FRefuse = false;
    TMessageBox::ClearShown();
}

void TestDialogs::cleanup()
{
    Clock::SetNow(0);
}

void TestDialogs::createMessageCounter_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<QString>("Counter");
    QTest::newRow("empty") << QString() << "0 / 0";
    QTest::newRow("160 plain") << QString(160, QLatin1Char('a')) << "160 / 1";
    QTest::newRow("161 plain") << QString(161, QLatin1Char('a')) << "161 / 2";
    QTest::newRow("71 UCS-2") << QString(71, QChar(0x0436)) << "71 / 2";
    QTest::newRow("307 plain") << QString(307, QLatin1Char('b')) << "307 / 3";
}

void TestDialogs::createMessageCounter()
{
    QFETCH(QString, Text);
    QFETCH(QString, Counter);
    TfmCreateMessage dialog;
    dialog.mmText->setPlainText(Text);
    QCOMPARE(dialog.lbSymbols->text(), Counter);
}

void TestDialogs::createMessageSendRule_data()
{
    QTest::addColumn<QString>("Number");
    QTest::addColumn<QString>("Text");
    QTest::addColumn<bool>("Enabled");
    QTest::newRow("15 digits") << "123456789012345"
                               << "hi" << true;
    QTest::newRow("16 digits") << "1234567890123456"
                               << "hi" << false;
    QTest::newRow("plus alone") << "+"
                                << "hi" << false;
    QTest::newRow("letters only") << "Mobile"
                                  << "hi" << false;
    QTest::newRow("superscript two") << QString(QChar(0x00B2)) << "hi" << true;
    QTest::newRow("punctuation not counted") << "+44 (20) 7946-0958"
                                             << "hi" << true;
    QTest::newRow("number empty") << ""
                                  << "hi" << false;
    QTest::newRow("text empty") << "12345"
                                << "" << false;
}

void TestDialogs::createMessageSendRule()
{
    QFETCH(QString, Number);
    QFETCH(QString, Text);
    QFETCH(bool, Enabled);
    TfmCreateMessage dialog;
    QVERIFY(!dialog.btnSend->isEnabled());
    dialog.cmbTarget->setEditText(Number);
    dialog.mmText->setPlainText(Text);
    QCOMPARE(dialog.btnSend->isEnabled(), Enabled);
}

void TestDialogs::createMessageHistoryAndKeys()
{
    TfmCreateMessage dialog;
    dialog.cmbTarget->addItems({QStringLiteral("+4917012345"), QStringLiteral("0800 1234")});
    dialog.cmbTarget->setEditText(QString());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClicks(dialog.mmText, QStringLiteral("Hello"));
    QVERIFY(!dialog.btnSend->isEnabled());
    dialog.cmbTarget->setCurrentIndex(1);
    QVERIFY(dialog.btnSend->isEnabled());

    // The box takes no more than 2000 characters, and Enter adds no line break but sends.
    dialog.mmText->setPlainText(QString(1999, QLatin1Char('x')));
    dialog.mmText->moveCursor(QTextCursor::End);
    QTest::keyClicks(dialog.mmText, QStringLiteral("yz"));
    QCOMPARE(dialog.mmText->toPlainText().size(), 2000);
    QCOMPARE(dialog.lbSymbols->text(), QStringLiteral("2000 / 14"));
    QTest::keyClick(dialog.mmText, Qt::Key_Return);
    QVERIFY(!dialog.mmText->toPlainText().contains(QLatin1Char('\n')));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestDialogs::settingsCopyInAndOut()
{
    TOptions source;
    source.SetAutoConnect(true);
    source.SetMonitorSettings(
        {true, 120, 3, 7, {QStringLiteral("http://a.example"), QStringLiteral("http://b.example")}});
    source.SetRemoveStoredMessages(false);
    TfmSettings dialog;
    dialog.CopyIn(source);
    QVERIFY(dialog.cbAutoConnect->isChecked());
    QVERIFY(!dialog.cbRemoveStored->isChecked());
    QVERIFY(dialog.cbMonitor->isChecked());
    QCOMPARE(dialog.lbMonitorSites->count(), 2);
    QCOMPARE(dialog.udMonitorInterval->value(), 120);
    QCOMPARE(dialog.udMonitorRedialThreshold->value(), 3);
    QCOMPARE(dialog.udMonitorRebootThreshold->value(), 7);

    // The up-downs hold the ranges: no interval below 10 or above 3600, a threshold of 0 is fine.
    dialog.udMonitorInterval->setValue(5);
    QCOMPARE(dialog.udMonitorInterval->value(), 10);
    dialog.udMonitorInterval->setValue(4000);
    QCOMPARE(dialog.udMonitorInterval->value(), 3600);
    dialog.udMonitorRedialThreshold->setValue(0);
    dialog.cbAutoConnect->setChecked(false);
    dialog.lbMonitorSites->item(0)->setSelected(true);
    dialog.acSiteDelExecute();

    dialog.cbRemoveStored->setChecked(true);

    TOptions target;
    target.SetRemoveStoredMessages(false);
    dialog.CopyOut(target);
    QCOMPARE(target.AutoConnect(), false);
    QVERIFY(target.RemoveStoredMessages());
    const TMonitorSettings expected{true, 3600, 0, 7, {QStringLiteral("http://b.example")}};
    QCOMPARE(target.MonitorSnapshot(), expected);
}

void TestDialogs::settingsMonitorCheckEnables()
{
    TOptions source;
    source.SetMonitorSettings({false, 60, 2, 5, {QStringLiteral("http://a.example")}});
    TfmSettings dialog;
    dialog.CopyIn(source);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QList<QWidget*> inside = {dialog.lbMonitorSites,
                                    dialog.btnSiteAdd,
                                    dialog.btnSiteDel,
                                    dialog.udMonitorInterval,
                                    dialog.udMonitorRedialThreshold,
                                    dialog.udMonitorRebootThreshold};
    for (QWidget* w : inside) {
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    }
    QVERIFY(dialog.gbMonitorChecks->isEnabled());
    QTest::mouseClick(dialog.cbMonitor, Qt::LeftButton, {}, QPoint(5, dialog.cbMonitor->height() / 2));
    QVERIFY(dialog.cbMonitor->isChecked());
    for (QWidget* w : inside) {
        if (w != dialog.btnSiteDel) {
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        }
    }
    // Delete needs a selection as well.
    QVERIFY(!dialog.btnSiteDel->isEnabled());
    dialog.lbMonitorSites->item(0)->setSelected(true);
    QVERIFY(dialog.btnSiteDel->isEnabled());
}

// The byte units and each modem's data plan in the settings: a plan the user leaves alone keeps
// its limit to the byte (the box shows two decimals of a megabyte), edits of several modems are
// all kept, and only changed plans are written.
void TestDialogs::settingsUsageUnitsAndPlans()
{
    TTempDatabase temp;
    const QString a = QStringLiteral("a");
    const QString b = QStringLiteral("b");
    SaveDataPlan(temp.DB(), a, {10000, 5, {50, 90}});
    SaveByteUnits(temp.DB(), TByteUnits::Iec);
    auto planRows = [&] {
        TSQLiteLock lock(temp.DB());
        TSQLiteQuery query(temp.DB(), QStringLiteral("SELECT COUNT(*) FROM CONFIG WHERE NAME LIKE 'plan.b.%'"));
        return temp.DB().Next() ? temp.DB().GetFieldAsInt(0) : -1;
    };
    {
        TfmSettings dialog;
        dialog.CopyInUsage(temp.DB(), {b, a, b}, b);
        QCOMPARE(dialog.cmbPlanDevice->count(), 2);
        QCOMPARE(dialog.cmbPlanDevice->currentText(), b);
        QCOMPARE(dialog.udPlanLimit->value(), 0.0);
        dialog.cmbPlanDevice->setCurrentIndex(dialog.cmbPlanDevice->findText(a));
        QCOMPARE(dialog.udPlanLimit->value(), 0.01);
        QCOMPARE(dialog.udPlanStartDay->value(), 5);
        QCOMPARE(dialog.edPlanAlerts->text(), QStringLiteral("50, 90"));
        // Other units show the same limit in other numbers and leave it as it is.
        dialog.cmbByteUnits->setCurrentIndex(dialog.cmbByteUnits->findData(int(TByteUnits::Si)));
        QCOMPARE(dialog.udPlanLimit->suffix(), QStringLiteral(" MB"));
        dialog.CopyOutUsage(temp.DB());
    }
    QCOMPARE(LoadByteUnits(temp.DB()), TByteUnits::Si);
    QCOMPARE(ByteUnits(), TByteUnits::Si);
    QCOMPARE(LoadDataPlan(temp.DB(), a), (TDataPlan{10000, 5, {50, 90}}));
    QCOMPARE(planRows(), 0);

    {
        TfmSettings dialog;
        dialog.CopyInUsage(temp.DB(), {a, b}, a);
        QCOMPARE(dialog.udPlanLimit->suffix(), QStringLiteral(" MB"));
        dialog.udPlanLimit->setValue(2);
        dialog.cmbPlanDevice->setCurrentIndex(dialog.cmbPlanDevice->findText(b));
        dialog.udPlanLimit->setValue(1.5);
        dialog.udPlanStartDay->setValue(31);
        dialog.edPlanAlerts->setText(QStringLiteral("100, many, 0, 90"));
        // Back and forth between the modems: both edits stay.
        dialog.cmbPlanDevice->setCurrentIndex(dialog.cmbPlanDevice->findText(a));
        QCOMPARE(dialog.udPlanLimit->value(), 2.0);
        dialog.cmbPlanDevice->setCurrentIndex(dialog.cmbPlanDevice->findText(b));
        QCOMPARE(dialog.udPlanLimit->value(), 1.5);
        dialog.cmbByteUnits->setCurrentIndex(dialog.cmbByteUnits->findData(int(TByteUnits::Iec)));
        dialog.CopyOutUsage(temp.DB());
    }
    QCOMPARE(LoadDataPlan(temp.DB(), a), (TDataPlan{2000000, 5, {50, 90}}));
    QCOMPARE(LoadDataPlan(temp.DB(), b), (TDataPlan{1500000, 31, {90, 100}}));
    SetByteUnits(TByteUnits::Iec);
}

void TestDialogs::settingsAddSite_data()
{
    QTest::addColumn<QString>("Entered");
    QTest::addColumn<bool>("Confirmed");
    QTest::addColumn<QString>("Stored");
    QTest::newRow("bare host") << "example.org" << true << "http://example.org";
    QTest::newRow("other scheme") << "ftp://files.example" << true << "ftp://files.example";
    QTest::newRow("kept as typed") << " http://x.example " << true << " http://x.example ";
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("cancelled") << "example.org" << false << "";
}

void TestDialogs::settingsAddSite()
{
    QFETCH(QString, Entered);
    QFETCH(bool, Confirmed);
    QFETCH(QString, Stored);
    TfmSettings dialog;
    dialog.SetInputQuery([&](QWidget*, QString& Value) {
        Value = Entered;
        return Confirmed;
    });
    dialog.acSiteAddExecute();
    QCOMPARE(dialog.lbMonitorSites->count(), Stored.isEmpty() ? 0 : 1);
    if (!Stored.isEmpty()) {
        QCOMPARE(dialog.lbMonitorSites->item(0)->text(), Stored);
    }
}

void TestDialogs::settingsDeleteSelected()
{
    TfmSettings dialog;
    dialog.cbMonitor->setChecked(true);
    dialog.lbMonitorSites->addItems({"http://1", "http://2", "http://3", "http://4", "http://5"});
    for (int i : {0, 2, 4}) {
        dialog.lbMonitorSites->item(i)->setSelected(true);
    }
    dialog.acSiteDelExecute();
    QCOMPARE(dialog.lbMonitorSites->count(), 2);
    QCOMPARE(dialog.lbMonitorSites->item(0)->text(), QStringLiteral("http://2"));
    QCOMPARE(dialog.lbMonitorSites->item(1)->text(), QStringLiteral("http://4"));
}

namespace
{

TfmTimedMessage* ShowCountDown()
{
    auto* dialog = new TfmTimedMessage(60, QStringLiteral("Shutdown Warning"),
                                       QStringLiteral("Due to a connection failure this PC will be restarted"));
    dialog->tmMain->stop(); // the test drives the steps
    dialog->tmMain->start(3600 * 1000);
    dialog->show();
    return dialog;
}

} // namespace

void TestDialogs::countDownStartsAtSixtyAndRestartsAtZero()
{
    QPointer<TfmTimedMessage> dialog = ShowCountDown();
    QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(dialog->btnOK->text(), QStringLiteral("OK (60)"));
    QCOMPARE(dialog->lbInfo->textFormat(), Qt::PlainText);
    for (int i = 0; i < 59; ++i) {
        dialog->Tick();
    }
    QCOMPARE(dialog->btnOK->text(), QStringLiteral("OK (1)"));
    QCOMPARE(FReboots, 0);
    dialog->Tick();
    QCOMPARE(FReboots, 1);
    QTRY_VERIFY(dialog.isNull());
}

void TestDialogs::countDownOkAt37RequestsRestart()
{
    QPointer<TfmTimedMessage> dialog = ShowCountDown();
    for (int i = 0; i < 23; ++i) {
        dialog->Tick();
    }
    QCOMPARE(dialog->btnOK->text(), QStringLiteral("OK (37)"));
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    QCOMPARE(FReboots, 1);
    QTRY_VERIFY(dialog.isNull());
}

void TestDialogs::countDownCancel()
{
    QPointer<TfmTimedMessage> dialog = ShowCountDown();
    dialog->btnCancel->click();
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(FReboots, 0);
    QCOMPARE(Options->SuppressTime(), 0.0);
}

void TestDialogs::countDownSuppress_data()
{
    QTest::addColumn<int>("Minutes");
    QTest::newRow("10") << 10;
    QTest::newRow("30") << 30;
    QTest::newRow("60") << 60;
}

void TestDialogs::countDownSuppress()
{
    QFETCH(int, Minutes);
    TDateTime ten = 0;
    QVERIFY(TryEncodeDate(2026, 3, 14, ten));
    Clock::SetNow(ten + 10.0 / 24);
    QPointer<TfmTimedMessage> dialog = ShowCountDown();
    QAction* item = dialog->pmSupress->actions().at(Minutes == 10 ? 0 : Minutes == 30 ? 1 : 2);
    QCOMPARE(item->text(), QStringLiteral("Suppress for %1 minutes").arg(Minutes));
    item->trigger();
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(FReboots, 0);
    QCOMPARE(qRound64(Options->SuppressTime() * kSecondsPerDay),
             qRound64((ten + 10.0 / 24) * kSecondsPerDay) + Minutes * 60);
    Options->SetSuppressTime(0);
}

void TestDialogs::countDownTwoDialogsCountOnTheirOwn()
{
    QPointer<TfmTimedMessage> first = ShowCountDown();
    first->Tick();
    first->Tick();
    QPointer<TfmTimedMessage> second = ShowCountDown();
    QCOMPARE(first->btnOK->text(), QStringLiteral("OK (58)"));
    QCOMPARE(second->btnOK->text(), QStringLiteral("OK (60)"));
    second->btnCancel->click();
    QTRY_VERIFY(second.isNull());
    QVERIFY(!first.isNull());
    first->Tick();
    QCOMPARE(first->btnOK->text(), QStringLiteral("OK (57)"));
    first->close();
}

void TestDialogs::countDownRefusedRestartStopsAndStaysOpen()
{
    FRefuse = true;
    QPointer<TfmTimedMessage> dialog = ShowCountDown();
    for (int i = 0; i < 60; ++i) {
        dialog->Tick();
    }
    QCOMPARE(FReboots, 1);
    QVERIFY(!dialog.isNull());
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->Counting());
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QVERIFY(TMessageBox::Shown().first().contains(QStringLiteral("Interactive authentication required.")));
    // Further steps neither wrap the count around nor ask again.
    dialog->Tick();
    dialog->Tick();
    QCOMPARE(dialog->TimeOut(), 0U);
    QVERIFY(!dialog->btnOK->text().contains(QStringLiteral("4294967295")));
    QCOMPARE(FReboots, 1);
    // OK tries again; once the system accepts, the dialog goes.
    FRefuse = false;
    dialog->btnOK->click();
    QCOMPARE(FReboots, 2);
    QTRY_VERIFY(dialog.isNull());
}

void TestDialogs::aboutVersionAndLinks()
{
    QCOMPARE(TfmAbout::VersionLine(QStringLiteral("2.1.3.456")), QStringLiteral("Version 2.1.3 64-bit"));
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "Open");
    TfmAbout dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* version = dialog.findChild<QLabel*>(QStringLiteral("lbVerInfo"));
    QVERIFY(version->text().startsWith(TfmAbout::VersionLine(QStringLiteral(OMBRELAY_VERSION)) + QLatin1Char('\n')));
    QTest::mouseClick(dialog.findChild<QLabel*>(QStringLiteral("lbWebSite")), Qt::LeftButton);
    QTest::mouseClick(dialog.findChild<QLabel*>(QStringLiteral("lbContact")), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(recorder.Opened,
             (QList<QUrl>{QUrl(QLatin1String(TfmAbout::WebSiteUrl)), QUrl(QLatin1String(TfmAbout::ContactUrl))}));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
