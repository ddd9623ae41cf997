// The four dialogs on the offscreen platform: the new-message counter and send rule, the
// settings exchange, the restart count-down and the About box.

#include "base/DateTime.h"
#include "base/Errors.h"
#include "core/Options.h"
#include "gui/About.h"
#include "gui/CreateMessage.h"
#include "gui/MessageBox.h"
#include "gui/Settings.h"
#include "gui/TimedMessage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
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
    TfmCreateMessage Dialog;
    Dialog.mmText->setPlainText(Text);
    QCOMPARE(Dialog.lbSymbols->text(), Counter);
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
    TfmCreateMessage Dialog;
    QVERIFY(!Dialog.btnSend->isEnabled());
    Dialog.cmbTarget->setEditText(Number);
    Dialog.mmText->setPlainText(Text);
    QCOMPARE(Dialog.btnSend->isEnabled(), Enabled);
}

void TestDialogs::createMessageHistoryAndKeys()
{
    TfmCreateMessage Dialog;
    Dialog.cmbTarget->addItems({QStringLiteral("+4917012345"), QStringLiteral("0800 1234")});
    Dialog.cmbTarget->setEditText(QString());
    Dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Dialog));
    QTest::keyClicks(Dialog.mmText, QStringLiteral("Hello"));
    QVERIFY(!Dialog.btnSend->isEnabled());
    Dialog.cmbTarget->setCurrentIndex(1);
    QVERIFY(Dialog.btnSend->isEnabled());

    // The box takes no more than 2000 characters, and Enter adds no line break but sends.
    Dialog.mmText->setPlainText(QString(1999, QLatin1Char('x')));
    Dialog.mmText->moveCursor(QTextCursor::End);
    QTest::keyClicks(Dialog.mmText, QStringLiteral("yz"));
    QCOMPARE(Dialog.mmText->toPlainText().size(), 2000);
    QCOMPARE(Dialog.lbSymbols->text(), QStringLiteral("2000 / 14"));
    QTest::keyClick(Dialog.mmText, Qt::Key_Return);
    QVERIFY(!Dialog.mmText->toPlainText().contains(QLatin1Char('\n')));
    QCOMPARE(Dialog.result(), int(QDialog::Accepted));
}

void TestDialogs::settingsCopyInAndOut()
{
    TOptions Source;
    Source.SetAutoConnect(true);
    Source.SetMonitorSettings(
        {true, 120, 3, 7, {QStringLiteral("http://a.example"), QStringLiteral("http://b.example")}});
    Source.SetRemoveStoredMessages(false);
    TfmSettings Dialog;
    Dialog.CopyIn(Source);
    QVERIFY(Dialog.cbAutoConnect->isChecked());
    QVERIFY(!Dialog.cbRemoveStored->isChecked());
    QVERIFY(Dialog.cbMonitor->isChecked());
    QCOMPARE(Dialog.lbMonitorSites->count(), 2);
    QCOMPARE(Dialog.udMonitorInterval->value(), 120);
    QCOMPARE(Dialog.udMonitorRedialThreshold->value(), 3);
    QCOMPARE(Dialog.udMonitorRebootThreshold->value(), 7);

    // The up-downs hold the ranges: no interval below 10 or above 3600, a threshold of 0 is fine.
    Dialog.udMonitorInterval->setValue(5);
    QCOMPARE(Dialog.udMonitorInterval->value(), 10);
    Dialog.udMonitorInterval->setValue(4000);
    QCOMPARE(Dialog.udMonitorInterval->value(), 3600);
    Dialog.udMonitorRedialThreshold->setValue(0);
    Dialog.cbAutoConnect->setChecked(false);
    Dialog.lbMonitorSites->item(0)->setSelected(true);
    Dialog.acSiteDelExecute();

    Dialog.cbRemoveStored->setChecked(true);

    TOptions Target;
    Target.SetRemoveStoredMessages(false);
    Dialog.CopyOut(Target);
    QCOMPARE(Target.AutoConnect(), false);
    QVERIFY(Target.RemoveStoredMessages());
    const TMonitorSettings Expected{true, 3600, 0, 7, {QStringLiteral("http://b.example")}};
    QCOMPARE(Target.MonitorSnapshot(), Expected);
}

void TestDialogs::settingsMonitorCheckEnables()
{
    TOptions Source;
    Source.SetMonitorSettings({false, 60, 2, 5, {QStringLiteral("http://a.example")}});
    TfmSettings Dialog;
    Dialog.CopyIn(Source);
    Dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Dialog));
    const QList<QWidget*> Inside = {Dialog.lbMonitorSites,
                                    Dialog.btnSiteAdd,
                                    Dialog.btnSiteDel,
                                    Dialog.udMonitorInterval,
                                    Dialog.udMonitorRedialThreshold,
                                    Dialog.udMonitorRebootThreshold};
    for (QWidget* W : Inside) {
        QVERIFY2(!W->isEnabled(), qPrintable(W->objectName()));
    }
    QVERIFY(Dialog.gbMonitorChecks->isEnabled());
    QTest::mouseClick(Dialog.cbMonitor, Qt::LeftButton, {}, QPoint(5, Dialog.cbMonitor->height() / 2));
    QVERIFY(Dialog.cbMonitor->isChecked());
    for (QWidget* W : Inside) {
        if (W != Dialog.btnSiteDel) {
            QVERIFY2(W->isEnabled(), qPrintable(W->objectName()));
        }
    }
    // Delete needs a selection as well.
    QVERIFY(!Dialog.btnSiteDel->isEnabled());
    Dialog.lbMonitorSites->item(0)->setSelected(true);
    QVERIFY(Dialog.btnSiteDel->isEnabled());
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
    TfmSettings Dialog;
    Dialog.SetInputQuery([&](QWidget*, QString& Value) {
        Value = Entered;
        return Confirmed;
    });
    Dialog.acSiteAddExecute();
    QCOMPARE(Dialog.lbMonitorSites->count(), Stored.isEmpty() ? 0 : 1);
    if (!Stored.isEmpty()) {
        QCOMPARE(Dialog.lbMonitorSites->item(0)->text(), Stored);
    }
}

void TestDialogs::settingsDeleteSelected()
{
    TfmSettings Dialog;
    Dialog.cbMonitor->setChecked(true);
    Dialog.lbMonitorSites->addItems({"http://1", "http://2", "http://3", "http://4", "http://5"});
    for (int I : {0, 2, 4}) {
        Dialog.lbMonitorSites->item(I)->setSelected(true);
    }
    Dialog.acSiteDelExecute();
    QCOMPARE(Dialog.lbMonitorSites->count(), 2);
    QCOMPARE(Dialog.lbMonitorSites->item(0)->text(), QStringLiteral("http://2"));
    QCOMPARE(Dialog.lbMonitorSites->item(1)->text(), QStringLiteral("http://4"));
}

namespace
{

TfmTimedMessage* ShowCountDown()
{
    auto* Dialog = new TfmTimedMessage(60, QStringLiteral("Shutdown Warning"),
                                       QStringLiteral("Due to a connection failure this PC will be restarted"));
    Dialog->tmMain->stop(); // the test drives the steps
    Dialog->tmMain->start(3600 * 1000);
    Dialog->show();
    return Dialog;
}

} // namespace

void TestDialogs::countDownStartsAtSixtyAndRestartsAtZero()
{
    QPointer<TfmTimedMessage> Dialog = ShowCountDown();
    QVERIFY(Dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(Dialog->btnOK->text(), QStringLiteral("OK (60)"));
    QCOMPARE(Dialog->lbInfo->textFormat(), Qt::PlainText);
    for (int I = 0; I < 59; ++I) {
        Dialog->Tick();
    }
    QCOMPARE(Dialog->btnOK->text(), QStringLiteral("OK (1)"));
    QCOMPARE(FReboots, 0);
    Dialog->Tick();
    QCOMPARE(FReboots, 1);
    QTRY_VERIFY(Dialog.isNull());
}

void TestDialogs::countDownOkAt37RequestsRestart()
{
    QPointer<TfmTimedMessage> Dialog = ShowCountDown();
    for (int I = 0; I < 23; ++I) {
        Dialog->Tick();
    }
    QCOMPARE(Dialog->btnOK->text(), QStringLiteral("OK (37)"));
    QTest::mouseClick(Dialog->btnOK, Qt::LeftButton);
    QCOMPARE(FReboots, 1);
    QTRY_VERIFY(Dialog.isNull());
}

void TestDialogs::countDownCancel()
{
    QPointer<TfmTimedMessage> Dialog = ShowCountDown();
    Dialog->btnCancel->click();
    QTRY_VERIFY(Dialog.isNull());
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
    TDateTime Ten = 0;
    QVERIFY(TryEncodeDate(2026, 3, 14, Ten));
    Clock::SetNow(Ten + 10.0 / 24);
    QPointer<TfmTimedMessage> Dialog = ShowCountDown();
    QAction* Item = Dialog->pmSupress->actions().at(Minutes == 10 ? 0 : Minutes == 30 ? 1 : 2);
    QCOMPARE(Item->text(), QStringLiteral("Supress for %1 minutes").arg(Minutes));
    Item->trigger();
    QTRY_VERIFY(Dialog.isNull());
    QCOMPARE(FReboots, 0);
    QCOMPARE(qRound64(Options->SuppressTime() * kSecondsPerDay),
             qRound64((Ten + 10.0 / 24) * kSecondsPerDay) + Minutes * 60);
    Options->SetSuppressTime(0);
}

void TestDialogs::countDownTwoDialogsCountOnTheirOwn()
{
    QPointer<TfmTimedMessage> First = ShowCountDown();
    First->Tick();
    First->Tick();
    QPointer<TfmTimedMessage> Second = ShowCountDown();
    QCOMPARE(First->btnOK->text(), QStringLiteral("OK (58)"));
    QCOMPARE(Second->btnOK->text(), QStringLiteral("OK (60)"));
    Second->btnCancel->click();
    QTRY_VERIFY(Second.isNull());
    QVERIFY(!First.isNull());
    First->Tick();
    QCOMPARE(First->btnOK->text(), QStringLiteral("OK (57)"));
    First->close();
}

void TestDialogs::countDownRefusedRestartStopsAndStaysOpen()
{
    FRefuse = true;
    QPointer<TfmTimedMessage> Dialog = ShowCountDown();
    for (int I = 0; I < 60; ++I) {
        Dialog->Tick();
    }
    QCOMPARE(FReboots, 1);
    QVERIFY(!Dialog.isNull());
    QVERIFY(Dialog->isVisible());
    QVERIFY(!Dialog->Counting());
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QVERIFY(TMessageBox::Shown().first().contains(QStringLiteral("Interactive authentication required.")));
    // Further steps neither wrap the count around nor ask again.
    Dialog->Tick();
    Dialog->Tick();
    QCOMPARE(Dialog->TimeOut(), 0U);
    QVERIFY(!Dialog->btnOK->text().contains(QStringLiteral("4294967295")));
    QCOMPARE(FReboots, 1);
    // OK tries again; once the system accepts, the dialog goes.
    FRefuse = false;
    Dialog->btnOK->click();
    QCOMPARE(FReboots, 2);
    QTRY_VERIFY(Dialog.isNull());
}

void TestDialogs::aboutVersionAndLinks()
{
    QCOMPARE(TfmAbout::VersionLine(QStringLiteral("2.1.3.456")), QStringLiteral("Version 2.1.3 64-bit"));
    TUrlRecorder Recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &Recorder, "Open");
    TfmAbout Dialog;
    Dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Dialog));
    auto* Version = Dialog.findChild<QLabel*>(QStringLiteral("lbVerInfo"));
    QVERIFY(Version->text().startsWith(TfmAbout::VersionLine(QStringLiteral(OMBRELAY_VERSION)) + QLatin1Char('\n')));
    QTest::mouseClick(Dialog.findChild<QLabel*>(QStringLiteral("lbWebSite")), Qt::LeftButton);
    QTest::mouseClick(Dialog.findChild<QLabel*>(QStringLiteral("lbContact")), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(Recorder.Opened,
             (QList<QUrl>{QUrl(QLatin1String(TfmAbout::WebSiteUrl)), QUrl(QLatin1String(TfmAbout::ContactUrl))}));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
