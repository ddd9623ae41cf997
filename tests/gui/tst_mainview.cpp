// The main window over the simulated modem: actions and their enabling rules, the device,
// profile and usage views, the SMS view, sending, the monitor's messages, the tray behaviour
// and the start-up faults the window must survive.

#include "GuiFixture.h"
#include "core/MBProfleItem.h"
#include "core/Monitor.h"
#include "core/SmsStore.h"
#include "core/Usage.h"
#include "gui/CreateMessage.h"
#include "gui/GuiCommon.h"
#include "gui/Settings.h"
#include "gui/SignalPanel.h"
#include "gui/TimedMessage.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

using namespace Ombrelay;

namespace
{

// The simulated modem as a modem stack shared with other programs would present itself: its
// messages may stay on the device, its passwords are kept elsewhere.
class TSharedStoreModem : public TSimModem
{
public:
    using TSimModem::TSimModem;
    bool SharesMessageStore() const override { return true; }
    void SetRemoveStoredMessages(bool Value) override { RemoveStored.append(Value); }
    QString PasswordKeeper() const override { return QStringLiteral("NetworkManager"); }
    QList<bool> RemoveStored;
};

QStringList Rows(QTreeWidget* List, int Column)
{
    QStringList Result;
    for (int I = 0; I < List->topLevelItemCount(); ++I) {
        Result << List->topLevelItem(I)->text(Column);
    }
    return Result;
}

// A control of one of the window's pages, found by its name.
template <class T>
T* Child(const QWidget& Window, const char* Name)
{
    T* Found = Window.findChild<T*>(QLatin1String(Name));
    if (!Found) {
        qFatal("no control %s", Name);
    }
    return Found;
}

QString Cell(QTableView* View, int Row, int Column)
{
    return View->model()->index(Row, Column).data().toString();
}

bool Bold(QTableView* View, int Row)
{
    return View->model()->index(Row, 0).data(Qt::FontRole).value<QFont>().bold();
}

void SelectRow(QTableView* View, int Row)
{
    View->selectionModel()->select(View->model()->index(Row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QList<TfmTimedMessage*> CountDowns()
{
    QList<TfmTimedMessage*> Result;
    for (QWidget* W : QApplication::topLevelWidgets()) {
        if (auto* Dialog = qobject_cast<TfmTimedMessage*>(W); Dialog && Dialog->isVisible()) {
            Result << Dialog;
        }
    }
    return Result;
}

} // namespace

class TestMainView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void actionRules_data();
    void actionRules();
    void signalImages_data();
    void signalImages();
    void hideSwitch_data();
    void hideSwitch();

    void deviceAndProfileRows();
    void savedSelectionFoundAgain();
    void stateNotificationOfOtherInterfaceIgnored();
    void usageViewOnlyWhileShown();

    void smsViewUnreadAndCaption();
    void smsNewMessageWithRowZeroSelected();
    void smsSentFolderNeverBold();
    void smsOutsideTextIsPlain();
    void sendActionThreePartsAndHistory();
    void sendActionHistoryCaseInsensitive();
    void settingsActionCopiesOnlyOnOk();
    void sharedStoreSettingsReachTheBackend();

    void redial_data();
    void redial();
    void rebootWarningAndSuppression();
    void errorsOfActionsAreShown();

    void trayWarningOnceAndStored();
    void failedManagerStillLoadsAndSavesOptions();
    void withoutTrayCloseEndsAndMinimiseMinimises();
    void secondInstanceShowsWindowWithoutX11();
};

void TestMainView::init()
{
    Clock::SetNow(0);
}

void TestMainView::cleanup()
{
    for (TfmTimedMessage* Dialog : CountDowns()) {
        Dialog->close();
    }
    Clock::SetNow(0);
}

void TestMainView::actionRules_data()
{
    QTest::addColumn<int>("Interfaces");
    QTest::addColumn<bool>("Profiles");
    QTest::addColumn<int>("ActivationState");
    QTest::addColumn<QString>("StateText");
    QTest::addColumn<bool>("Settings");
    QTest::addColumn<bool>("Connect");
    QTest::addColumn<bool>("Disconnect");
    QTest::addColumn<bool>("SendSms");
    // Raw activation states of the stack: 1 activated, 2 activating, 3 deactivated, 4 deactivating.
    QTest::newRow("no interface") << 0 << true << 3 << "" << false << false << false << false;
    QTest::newRow("no profile") << 1 << false << 3 << "Disconnected" << false << false << false << true;
    QTest::newRow("unknown") << 1 << true << 0 << "" << true << false << false << true;
    QTest::newRow("connecting") << 1 << true << 2 << "Connecting..." << true << false << false << true;
    QTest::newRow("connected") << 1 << true << 1 << "Connected" << true << false << true << true;
    QTest::newRow("disconnecting") << 1 << true << 4 << "Disconnecting..." << true << false << false << true;
    QTest::newRow("disconnected") << 1 << true << 3 << "Disconnected" << true << true << false << true;
}

void TestMainView::actionRules()
{
    QFETCH(int, Interfaces);
    QFETCH(bool, Profiles);
    QFETCH(int, ActivationState);
    QFETCH(QString, StateText);
    QFETCH(bool, Settings);
    QFETCH(bool, Connect);
    QFETCH(bool, Disconnect);
    QFETCH(bool, SendSms);
    TSimScenario Scenario = GuiScenario(Interfaces ? QStringList{QStringLiteral("sim0")} : QStringList());
    if (!Profiles) {
        Scenario.Interfaces[0].Profiles.clear();
    }
    TGuiFixture F(Scenario);
    if (Interfaces) {
        F.Modem->SetActivationState(QStringLiteral("sim0"), quint32(ActivationState));
    }
    TfmMainView& View = F.Open();
    QCOMPARE(View.SignalPanel()->Text(), StateText);
    QCOMPARE(View.acSettings->isEnabled(), Settings);
    QCOMPARE(View.acConnect->isEnabled(), Connect);
    QCOMPARE(View.acDisconnect->isEnabled(), Disconnect);
    QCOMPARE(View.acSendSms->isEnabled(), SendSms);
    for (QAction* Always : {View.acOpenApp, View.acExitApp, View.acAbout, View.acWebSite}) {
        QVERIFY2(Always->isEnabled(), qPrintable(Always->objectName()));
    }
    QCOMPARE(View.acOpenApp->text(), QStringLiteral("Open Ombrelay"));
    QCOMPARE(View.windowTitle(), QStringLiteral("Virelle Ombrelay"));
    // The actions are found by name, and the tray menu holds them in order.
    QCOMPARE(View.findChild<QAction*>(QStringLiteral("acConnect")), View.acConnect);
    QCOMPARE(View.pmTray->actions().size(), 7);
    QCOMPARE(View.pmTray->actions().at(0), View.acOpenApp);
    QCOMPARE(View.pmTray->actions().at(2), View.acSendSms);
    QCOMPARE(View.pmTray->actions().at(6), View.acExitApp);
}

void TestMainView::signalImages_data()
{
    QTest::addColumn<qint64>("Strength");
    QTest::addColumn<int>("Image");
    QTest::newRow("5") << qint64(5) << 0;
    QTest::newRow("6") << qint64(6) << 1;
    QTest::newRow("17") << qint64(17) << 2;
    QTest::newRow("29") << qint64(29) << 4;
    QTest::newRow("30") << qint64(30) << 5;
    QTest::newRow("31") << qint64(31) << 5;
    QTest::newRow("32") << qint64(32) << 0;
    QTest::newRow("99") << qint64(99) << 0;
    QTest::newRow("negative") << qint64(0xFFFFFFFF) << 0;
}

void TestMainView::signalImages()
{
    QFETCH(qint64, Strength);
    QFETCH(int, Image);
    TGuiFixture F;
    TfmMainView& View = F.Open();
    F.Modem->SetSignal(QStringLiteral("sim0"), quint32(Strength));
    QVERIFY(F.Settle());
    QCOMPARE(View.SignalStrength(), quint32(Strength));
    QCOMPARE(View.SignalPanel()->ImageIndex(), Image);
}

void TestMainView::hideSwitch_data()
{
    QTest::addColumn<QStringList>("Arguments");
    QTest::addColumn<bool>("Hide");
    QTest::newRow("dash") << QStringList{"ombrelay", "-hide"} << true;
    QTest::newRow("slash upper") << QStringList{"ombrelay", "/HIDE"} << true;
    QTest::newRow("mixed among others") << QStringList{"ombrelay", "--backend=sim", "-HiDe"} << true;
    QTest::newRow("none") << QStringList{"ombrelay"} << false;
    QTest::newRow("double dash") << QStringList{"ombrelay", "--hide"} << false;
    QTest::newRow("bare word") << QStringList{"ombrelay", "hide"} << false;
    QTest::newRow("program name only") << QStringList{"-hide"} << false;
}

void TestMainView::hideSwitch()
{
    QFETCH(QStringList, Arguments);
    QFETCH(bool, Hide);
    QCOMPARE(HasHideSwitch(Arguments), Hide);
}

void TestMainView::deviceAndProfileRows()
{
    TSimScenario Scenario =
        GuiScenario({QStringLiteral("sim0")}, {SimProfileXml(QStringLiteral("Open"), true, QStringLiteral("internet")),
                                               SimProfileXml(QStringLiteral("Work"), false, QStringLiteral("work.apn"),
                                                             QStringLiteral("bob"), QStringLiteral("12345"))});
    TGuiFixture F(Scenario);
    TfmMainView& View = F.Open();
    QCOMPARE(Rows(Child<QTreeWidget>(View, "lvDevCaps"), 0),
             (QStringList{"Cellular class", "Voice class", "Data class", "Band class", "SMS", "Control", "Model",
                          "IMEI", "Firmware info"}));
    QCOMPARE(Child<QTreeWidget>(View, "lvDevCaps")->topLevelItem(7)->text(1), QStringLiteral("359999000000001"));
    QCOMPARE(Child<QTreeWidget>(View, "lvDevCaps")->topLevelItem(6)->text(1),
             F.Manager->GetInterfaceList()->Items(0)->ToString());

    // The first profile has neither user name nor password: eight rows.
    QCOMPARE(Rows(Child<QTreeWidget>(View, "lvProfileInfo"), 0),
             (QStringList{"Name", "Default", "Compression", "APN", "Auth type", "Ignore password", "Connect mode",
                          "Home provider"}));
    QCOMPARE(Child<QTreeWidget>(View, "lvProfileInfo")->topLevelItem(1)->text(1), QStringLiteral("Yes"));
    QCOMPARE(F.Opts.ProfileName(), QStringLiteral("Open"));

    // Choosing another profile by hand changes neither the rows nor the saved name.
    Child<QComboBox>(View, "cmbProfiles")->setCurrentIndex(1);
    QCOMPARE(Child<QTreeWidget>(View, "lvProfileInfo")->topLevelItem(0)->text(1), QStringLiteral("Open"));
    QCOMPARE(F.Opts.ProfileName(), QStringLiteral("Open"));

    // Next start with the second profile saved: ten rows, five circles.
    F.View.reset();
    F.Opts.SetProfileName(QStringLiteral("Work"));
    F.Opts.SaveOptions();
    TfmMainView& Again = F.Open();
    const QStringList Captions = Rows(Child<QTreeWidget>(Again, "lvProfileInfo"), 0);
    QCOMPARE(Captions.size(), 10);
    QCOMPARE(Captions.at(5), QStringLiteral("User name"));
    QCOMPARE(Child<QTreeWidget>(Again, "lvProfileInfo")->topLevelItem(5)->text(1), QStringLiteral("bob"));
    QCOMPARE(Captions.at(6), QStringLiteral("Password"));
    QCOMPARE(Child<QTreeWidget>(Again, "lvProfileInfo")->topLevelItem(6)->text(1), QString(5, QChar(0x25CF)));
}

void TestMainView::savedSelectionFoundAgain()
{
    TGuiFixture F(GuiScenario({QStringLiteral("simA"), QStringLiteral("simB")}));
    {
        // Stored settings of an earlier run: the second interface and a profile that is gone.
        TSQLiteLock Lock(F.Db.DB());
        F.Db.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('interface.id', 'simB'), "
                                         "('profile.name', 'Vanished')"));
    }
    TfmMainView& View = F.Open();
    QCOMPARE(View.cmbInterfaces->count(), 2);
    QCOMPARE(View.cmbInterfaces->currentIndex(), 1);
    QCOMPARE(View.GetSelectedInterface()->InterfaceID(), QStringLiteral("simB"));
    QCOMPARE(Child<QComboBox>(View, "cmbProfiles")->currentIndex(), 0);
    QCOMPARE(F.Opts.ProfileName(), QStringLiteral("Internet"));
    QCOMPARE(F.Opts.InterfaceID(), QStringLiteral("simB"));

    // Choosing the first interface makes it the saved one.
    View.cmbInterfaces->setCurrentIndex(0);
    QCOMPARE(F.Opts.InterfaceID(), QStringLiteral("simA"));
}

void TestMainView::stateNotificationOfOtherInterfaceIgnored()
{
    TGuiFixture F(GuiScenario({QStringLiteral("simA"), QStringLiteral("simB")}));
    TfmMainView& View = F.Open();
    QCOMPARE(View.GetSelectedInterface()->InterfaceID(), QStringLiteral("simA"));
    QCOMPARE(View.SignalPanel()->Text(), QStringLiteral("Disconnected"));
    F.Modem->SetActivationState(QStringLiteral("simB"), 1);
    F.Modem->SetSignal(QStringLiteral("simB"), 31);
    QVERIFY(F.Settle());
    QCOMPARE(View.SignalPanel()->Text(), QStringLiteral("Disconnected"));
    QVERIFY(View.CanConnect());
    QCOMPARE(View.SignalPanel()->ImageIndex(), TSignalPanel::SignalImageIndex(20));
    F.Modem->SetActivationState(QStringLiteral("simA"), 1);
    QVERIFY(F.Settle());
    QCOMPARE(View.SignalPanel()->Text(), QStringLiteral("Connected"));
    QVERIFY(View.CanDisconnect());

    // A message for the other interface: no balloon, no change of the view.
    View.pcMain->setCurrentWidget(View.tsMessages);
    F.Modem->Deliver(QStringLiteral("simB"), QStringLiteral("+4911111"), QStringLiteral("elsewhere"));
    QVERIFY(F.Poll());
    QCOMPARE(F.Modem->StoredCount(QStringLiteral("simB")), 0);
    QCOMPARE(View.BalloonCount(), 0);
    QCOMPARE(Child<QTableView>(View, "lvMessages")->model()->rowCount(), 0);
}

void TestMainView::usageViewOnlyWhileShown()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    View.show();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    Child<QTimer>(View, "tmUsage")->setInterval(20);
    QTest::qWait(100);
    QCOMPARE(F.UsageCalls, 0);
    QVERIFY(!Child<QTimer>(View, "tmUsage")->isActive());

    F.Usage = {1536, 512, 10 * 1024 * 1024, 1024};
    View.pcMain->setCurrentWidget(View.tsUsage);
    QCOMPARE(F.UsageCalls, 1);
    QVERIFY(Child<QTimer>(View, "tmUsage")->isActive());
    QTreeWidgetItem* Today = Child<QTreeWidget>(View, "lvUsage")->topLevelItem(0)->child(0);
    QTreeWidgetItem* Month = Child<QTreeWidget>(View, "lvUsage")->topLevelItem(1)->child(0);
    QCOMPARE(Child<QTreeWidget>(View, "lvUsage")->topLevelItem(0)->text(0), QStringLiteral("Today"));
    QCOMPARE(Child<QTreeWidget>(View, "lvUsage")->topLevelItem(1)->text(0), QStringLiteral("This month"));
    QCOMPARE(Today->text(1), FormatByteSize(1536));
    QCOMPARE(Today->text(3), FormatByteSize(2048));
    QCOMPARE(Month->text(1), FormatByteSize(10 * 1024 * 1024));
    QCOMPARE(Today->text(0), QLocale().toString(Clock::NowQ().date(), QLocale::ShortFormat));

    // Unchanged figures rewrite nothing; a changed one rewrites only its own texts.
    QSignalSpy Changes(Child<QTreeWidget>(View, "lvUsage"), &QTreeWidget::itemChanged);
    QTRY_VERIFY(F.UsageCalls >= 3);
    QCOMPARE(Changes.count(), 0);
    F.Usage.TodayOut = 1024;
    const int Before = F.UsageCalls;
    QTRY_VERIFY(F.UsageCalls > Before);
    QCOMPARE(Changes.count(), 2); // today's upload and total
    QCOMPARE(Today->text(2), FormatByteSize(1024));

    // Leaving the tab, or hiding the window, stops the timer.
    View.pcMain->setCurrentWidget(View.tsInfo);
    QVERIFY(!Child<QTimer>(View, "tmUsage")->isActive());
    View.pcMain->setCurrentWidget(View.tsUsage);
    QVERIFY(Child<QTimer>(View, "tmUsage")->isActive());
    View.hide();
    QVERIFY(!Child<QTimer>(View, "tmUsage")->isActive());
    const int Hidden = F.UsageCalls;
    QTest::qWait(100);
    QCOMPARE(F.UsageCalls, Hidden);
}

void TestMainView::smsViewUnreadAndCaption()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    F.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4911111"), QStringLiteral("first"));
    F.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4922222"), QStringLiteral("second"));
    QVERIFY(F.Poll());
    QCOMPARE(View.BalloonCount(), 2);
    QCOMPARE(View.LastBalloonTitle(), QStringLiteral("2 New Messages"));
    QCOMPARE(F.Modem->StoredCount(QStringLiteral("sim0")), 0);

    View.pcMain->setCurrentWidget(View.tsMessages);
    QCOMPARE(Child<QListWidget>(View, "lvSmsType")->currentRow(), 0);
    QCOMPARE(Child<QListWidget>(View, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox (2)"));
    QVERIFY(Child<QListWidget>(View, "lvSmsType")->item(0)->font().bold());
    QCOMPARE(Child<QTableView>(View, "lvMessages")->model()->rowCount(), 2);
    QCOMPARE(Cell(Child<QTableView>(View, "lvMessages"), 0, 1), QStringLiteral("+4922222")); // newest first
    QVERIFY(Bold(Child<QTableView>(View, "lvMessages"), 0));
    QVERIFY(Bold(Child<QTableView>(View, "lvMessages"), 1));

    SelectRow(Child<QTableView>(View, "lvMessages"), 1);
    QCOMPARE(Child<QPlainTextEdit>(View, "mmMessages")->toPlainText(), QStringLiteral("first"));
    QVERIFY(!Bold(Child<QTableView>(View, "lvMessages"), 1));
    QVERIFY(Bold(Child<QTableView>(View, "lvMessages"), 0));
    QCOMPARE(Child<QListWidget>(View, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox (1)"));
    QCOMPARE(F.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 1);

    SelectRow(Child<QTableView>(View, "lvMessages"), 0);
    QCOMPARE(Child<QListWidget>(View, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox"));
    QVERIFY(!Child<QListWidget>(View, "lvSmsType")->item(0)->font().bold());
    Child<QTableView>(View, "lvMessages")->selectionModel()->clearSelection();
    QVERIFY(Child<QPlainTextEdit>(View, "mmMessages")->toPlainText().isEmpty());

    // The selected row index is kept across folders while the other folder has that row.
    SelectRow(Child<QTableView>(View, "lvMessages"), 1);
    Child<QListWidget>(View, "lvSmsType")->setCurrentRow(1);
    QCOMPARE(Child<QTableView>(View, "lvMessages")->model()->rowCount(), 0);
    QVERIFY(Child<QPlainTextEdit>(View, "mmMessages")->toPlainText().isEmpty());
}

void TestMainView::smsNewMessageWithRowZeroSelected()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    F.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4911111"), QStringLiteral("old"));
    QVERIFY(F.Poll());
    View.pcMain->setCurrentWidget(View.tsMessages);
    SelectRow(Child<QTableView>(View, "lvMessages"), 0);
    QCOMPARE(Child<QPlainTextEdit>(View, "mmMessages")->toPlainText(), QStringLiteral("old"));

    F.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4933333"), QStringLiteral("new"));
    QVERIFY(F.Poll());
    // The balloon counted before the new row was shown and marked seen.
    QCOMPARE(View.LastBalloonTitle(), QStringLiteral("1 New Message"));
    QCOMPARE(Child<QTableView>(View, "lvMessages")->selectionModel()->selectedRows().first().row(), 0);
    QCOMPARE(Child<QPlainTextEdit>(View, "mmMessages")->toPlainText(), QStringLiteral("new"));
    QVERIFY(!Bold(Child<QTableView>(View, "lvMessages"), 0));
    QCOMPARE(Child<QListWidget>(View, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox"));
    QCOMPARE(F.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 0")), 0);
}

void TestMainView::smsSentFolderNeverBold()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    TfmMainView::SetDialogRunner([](QDialog& Dialog) {
        auto& Message = dynamic_cast<TfmCreateMessage&>(Dialog);
        Message.cmbTarget->setEditText(QStringLiteral("+4955555"));
        Message.mmText->setPlainText(QStringLiteral("out"));
        return int(QDialog::Accepted);
    });
    View.acSendSms->trigger();
    QVERIFY(F.Settle());
    View.pcMain->setCurrentWidget(View.tsMessages);
    Child<QListWidget>(View, "lvSmsType")->setCurrentRow(1);
    QCOMPARE(Child<QTableView>(View, "lvMessages")->model()->rowCount(), 1);
    QCOMPARE(Cell(Child<QTableView>(View, "lvMessages"), 0, 1), QStringLiteral("+4955555"));
    QVERIFY(!Bold(Child<QTableView>(View, "lvMessages"), 0));
    SelectRow(Child<QTableView>(View, "lvMessages"), 0);
    QCOMPARE(Child<QPlainTextEdit>(View, "mmMessages")->toPlainText(), QStringLiteral("out"));
    QVERIFY(!Bold(Child<QTableView>(View, "lvMessages"), 0));
    QCOMPARE(Child<QListWidget>(View, "lvSmsType")->item(1)->text(), QStringLiteral("Sent"));
}

void TestMainView::smsOutsideTextIsPlain()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    const QString Markup = QStringLiteral("<b>bold</b> &amp; <img src=x>");
    F.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4911111"), Markup);
    QVERIFY(F.Poll());
    View.pcMain->setCurrentWidget(View.tsMessages);
    QCOMPARE(Cell(Child<QTableView>(View, "lvMessages"), 0, 2), Markup);
    SelectRow(Child<QTableView>(View, "lvMessages"), 0);
    QCOMPARE(Child<QPlainTextEdit>(View, "mmMessages")->toPlainText(), Markup);
    QCOMPARE(View.sbMainPanel0->textFormat(), Qt::PlainText);
}

void TestMainView::sendActionThreePartsAndHistory()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    F.Opts.SetTargetPhone(QStringLiteral("+4911111,\"Anna B\""));
    const QString Text = QString(400, QLatin1Char('x')); // 153 + 153 + 94
    QStringList Offered;
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) {
        auto& Message = dynamic_cast<TfmCreateMessage&>(Dialog);
        for (int I = 0; I < Message.cmbTarget->count(); ++I) {
            Offered << Message.cmbTarget->itemText(I);
        }
        Message.cmbTarget->setEditText(QStringLiteral("+4977777"));
        Message.mmText->setPlainText(Text);
        return int(QDialog::Accepted);
    });
    View.acSendSms->trigger();
    QVERIFY(F.Settle());
    QCOMPARE(Offered, (QStringList{"+4911111", "Anna B"}));
    const QStringList Sent = F.Modem->SentPdus(QStringLiteral("sim0"));
    QCOMPARE(Sent.size(), 3);
    // Three SendSms calls in part order, all parts of one message.
    QString Joined;
    for (int I = 0; I < 3; ++I) {
        TSmsRecv First;
        TSmsRecv Part;
        QVERIFY(Part.DecodePdu(Sent[I]));
        QVERIFY(First.DecodePdu(Sent[0]));
        QCOMPARE(Part.SeqNo(), I + 1);
        QCOMPARE(Part.RefNo(), First.RefNo());
    }
    QCOMPARE(F.Manager->GetInterfaceList()->Items(0)->SmsOutgoingList()->Items(0)->Text(), Text);
    QCOMPARE(F.Count(QStringLiteral("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1")), 3);
    QCOMPARE(CommaTextToList(F.Opts.TargetPhone()), (QStringList{"+4977777", "+4911111", "Anna B"}));

    // A dialog that is not confirmed sends nothing and keeps the history.
    TfmMainView::SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    View.acSendSms->trigger();
    QVERIFY(F.Settle());
    QCOMPARE(F.Modem->SentPdus(QStringLiteral("sim0")).size(), 3);
    QCOMPARE(CommaTextToList(F.Opts.TargetPhone()).size(), 3);
}

void TestMainView::sendActionHistoryCaseInsensitive()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    F.Opts.SetTargetPhone(QStringLiteral("Office1,+4911111"));
    TfmMainView::SetDialogRunner([](QDialog& Dialog) {
        auto& Message = dynamic_cast<TfmCreateMessage&>(Dialog);
        Message.cmbTarget->setEditText(QStringLiteral("OFFICE1"));
        Message.mmText->setPlainText(QStringLiteral("hi"));
        return int(QDialog::Accepted);
    });
    View.acSendSms->trigger();
    QVERIFY(F.Settle());
    QCOMPARE(F.Opts.TargetPhone(), QStringLiteral("Office1,+4911111"));
    QCOMPARE(F.Modem->SentPdus(QStringLiteral("sim0")).size(), 1);
}

void TestMainView::settingsActionCopiesOnlyOnOk()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    const TMonitorSettings Before = F.Opts.MonitorSnapshot();
    QCOMPARE(Before.Interval, 60U); // loaded defaults
    auto Edit = [](QDialog& Dialog, int Result) {
        auto& Settings = dynamic_cast<TfmSettings&>(Dialog);
        // The simulated modem's store is the program's alone: always cleared, not a choice.
        if (Settings.cbRemoveStored->isEnabled()) {
            return -1;
        }
        Settings.cbMonitor->setChecked(true);
        Settings.udMonitorInterval->setValue(300);
        Settings.cbAutoConnect->setChecked(true);
        return Result;
    };
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) { return Edit(Dialog, QDialog::Rejected); });
    View.acSettings->trigger();
    QCOMPARE(F.Opts.MonitorSnapshot(), Before);
    QVERIFY(!F.Opts.AutoConnect());
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) { return Edit(Dialog, QDialog::Accepted); });
    View.acSettings->trigger();
    QCOMPARE(F.Opts.MonitorSnapshot().Interval, 300U);
    QVERIFY(F.Opts.MonitorSnapshot().Enabled);
    QCOMPARE(F.Opts.MonitorSnapshot().Sites, Before.Sites);
    QVERIFY(F.Opts.AutoConnect());
    // Nothing is stored until the next save.
    QCOMPARE(F.Config(QStringLiteral("monitor.interval")), QString());
}

void TestMainView::sharedStoreSettingsReachTheBackend()
{
    TGuiFixture F;
    auto Modem = std::make_shared<TSharedStoreModem>(
        GuiScenario({QStringLiteral("sim0")},
                    {SimProfileXml(QStringLiteral("Open"), true, QStringLiteral("internet"))}));
    F.Modem = Modem;
    TfmMainView& View = F.Open();
    // The loaded setting (on by default) reaches the backend before the first delete.
    QCOMPARE(Modem->RemoveStored, QList<bool>{true});
    // No password in the profile: the view says who keeps it.
    const QStringList Captions = Rows(Child<QTreeWidget>(View, "lvProfileInfo"), 0);
    const int Row = int(Captions.indexOf(QStringLiteral("Password")));
    QVERIFY2(Row >= 0, qPrintable(Captions.join(u',')));
    QCOMPARE(Child<QTreeWidget>(View, "lvProfileInfo")->topLevelItem(Row)->text(1),
             QStringLiteral("Kept by NetworkManager"));

    bool Enabled = false;
    bool Checked = false;
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) {
        auto& Settings = dynamic_cast<TfmSettings&>(Dialog);
        Enabled = Settings.cbRemoveStored->isEnabled();
        Checked = Settings.cbRemoveStored->isChecked();
        Settings.cbRemoveStored->setChecked(false);
        return int(QDialog::Accepted);
    });
    View.acSettings->trigger();
    QVERIFY(Enabled);
    QVERIFY(Checked);
    QCOMPARE(Modem->RemoveStored, (QList<bool>{true, false}));
    QVERIFY(!F.Opts.RemoveStoredMessages());
    // Kept across a start.
    F.View.reset();
    F.Manager.reset();
    QCOMPARE(F.Config(QStringLiteral("sms.removestored")), QStringLiteral("0"));
    F.Open();
    QCOMPARE(Modem->RemoveStored.last(), false);
}

void TestMainView::redial_data()
{
    QTest::addColumn<quint32>("ActivationState");
    QTest::addColumn<QString>("After");
    QTest::addColumn<bool>("Pending");
    QTest::newRow("connected: down, then up") << quint32(1) << "connected" << true;
    QTest::newRow("disconnected: up at once") << quint32(3) << "connected" << false;
    QTest::newRow("connecting: nothing") << quint32(2) << "connecting" << false;
    QTest::newRow("disconnecting: nothing") << quint32(4) << "disconnecting" << false;
}

void TestMainView::redial()
{
    QFETCH(quint32, ActivationState);
    QFETCH(QString, After);
    QFETCH(bool, Pending);
    TGuiFixture F;
    F.Modem->SetActivationState(QStringLiteral("sim0"), ActivationState);
    TfmMainView& View = F.Open();
    QCoreApplication::postEvent(&View, new QEvent(static_cast<QEvent::Type>(WM_MONITOR_REDIAL)));
    QCoreApplication::processEvents();
    QCOMPARE(View.PendingReconnect(), Pending);
    QVERIFY(F.Settle());
    QCOMPARE(F.Modem->StateName(QStringLiteral("sim0")), After);
    QVERIFY(!View.PendingReconnect());
}

void TestMainView::rebootWarningAndSuppression()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    TDateTime Ten = 0;
    QVERIFY(TryEncodeDate(2026, 3, 14, Ten));
    Ten += 10.0 / 24;
    Clock::SetNow(Ten);
    View.WMMonitorReboot();
    QCOMPARE(CountDowns().size(), 1);
    QCOMPARE(CountDowns().first()->windowTitle(), QStringLiteral("Shutdown Warning"));
    // A second warning while the first still counts: a second dialog.
    View.WMMonitorReboot();
    QCOMPARE(CountDowns().size(), 2);
    CountDowns().first()->pmiSupressfor30Minutes->trigger();
    QTRY_COMPARE(CountDowns().size(), 1);
    CountDowns().first()->close();
    QTRY_COMPARE(CountDowns().size(), 0);

    Clock::SetNow(Ten + 29.0 / 1440);
    QCoreApplication::postEvent(&View, new QEvent(static_cast<QEvent::Type>(WM_MONITOR_REBOOT)));
    QCoreApplication::processEvents();
    QCOMPARE(CountDowns().size(), 0);
    Clock::SetNow(Ten + 31.0 / 1440);
    View.WMMonitorReboot();
    QCOMPARE(CountDowns().size(), 1);
}

void TestMainView::errorsOfActionsAreShown()
{
    TGuiFixture F;
    TfmMainView& View = F.Open();
    QVERIFY(View.acConnect->isEnabled());
    F.Modem->Fail(QStringLiteral("Connect"), 1);
    View.acConnect->trigger();
    QCOMPARE(TMessageBox::Shown().size(), 1);
    // The window goes on: the next try connects.
    View.acConnect->trigger();
    QVERIFY(F.Settle());
    QCOMPARE(F.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("connected"));
    QCOMPARE(View.SignalPanel()->Text(), QStringLiteral("Connected"));
}

void TestMainView::trayWarningOnceAndStored()
{
    TfmMainView::SetTrayAvailableOverride(true);
    TGuiFixture F;
    TfmMainView& View = F.Open();
    View.StartUp(true);
    QVERIFY(!View.isVisible());
    View.acOpenApp->trigger();
    QVERIFY(View.isVisible());
    View.showMinimized();
    QTRY_VERIFY(!View.isVisible());
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QVERIFY(TMessageBox::Shown().first().startsWith(QStringLiteral("The application will remain running")));
    QCOMPARE(F.Config(QStringLiteral("traywarning")), QStringLiteral("0"));
    View.acOpenApp->trigger();
    QVERIFY(View.isVisible());
    QVERIFY(!View.isMinimized());
    View.close();
    QVERIFY(!View.isVisible());
    QCOMPARE(TMessageBox::Shown().size(), 1);

    // Exit ends the program, the settings saved.
    QSignalSpy Closed(&View, &TfmMainView::Closed);
    F.Opts.SetProfileName(QStringLiteral("Business"));
    View.acExitApp->trigger();
    QCOMPARE(Closed.count(), 1);
    QCOMPARE(F.Config(QStringLiteral("profile.name")), QStringLiteral("Business"));
}

void TestMainView::failedManagerStillLoadsAndSavesOptions()
{
    TfmMainView::SetTrayAvailableOverride(true);
    TGuiFixture F;
    {
        TSQLiteLock Lock(F.Db.DB());
        F.Db.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('monitor.interval', 120), "
                                         "('interface.id', 'sim0'), ('traywarning', 0)"));
    }
    auto View = std::make_unique<TfmMainView>(
        []() -> std::shared_ptr<IMBManager> { throw EMBException(QStringLiteral("No modem stack answers")); });
    QTRY_COMPARE(TMessageBox::Shown().size(), 1);
    QCOMPARE(TMessageBox::Shown().first(), QStringLiteral("No modem stack answers"));
    QVERIFY(F.Opts.Loaded());
    QCOMPARE(View->cmbInterfaces->count(), 0);
    QVERIFY(!View->acConnect->isEnabled());
    QVERIFY(View->acAbout->isEnabled());
    View->show();
    View->close(); // into the notification area, with a save
    View.reset();  // and the save at the end
    QCOMPARE(F.Config(QStringLiteral("monitor.interval")), QStringLiteral("120"));
    QCOMPARE(F.Config(QStringLiteral("interface.id")), QStringLiteral("sim0"));
    QCOMPARE(F.Config(QStringLiteral("monitor.threshold.redial")), QStringLiteral("2"));
}

void TestMainView::withoutTrayCloseEndsAndMinimiseMinimises()
{
    TfmMainView::SetTrayAvailableOverride(false);
    TGuiFixture F;
    TfmMainView& View = F.Open();
    View.StartUp(true); // the hide switch cannot hide the only way back
    QVERIFY(View.isVisible());
    QVERIFY(!View.sbMainPanel0->text().isEmpty());
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    View.showMinimized();
    QTest::qWait(20);
    QVERIFY(View.isVisible());
    QVERIFY(TMessageBox::Shown().isEmpty());
    QSignalSpy Closed(&View, &TfmMainView::Closed);
    F.Opts.SetAutoConnect(true);
    View.showNormal();
    View.close();
    QVERIFY(!View.isVisible());
    QCOMPARE(Closed.count(), 1);
    QCOMPARE(F.Config(QStringLiteral("autoconnect")), QStringLiteral("1"));
}

void TestMainView::secondInstanceShowsWindowWithoutX11()
{
    TfmMainView::SetTrayAvailableOverride(true);
    TGuiFixture F;
    TfmMainView& View = F.Open();
    View.StartUp(true);
    QVERIFY(!View.isVisible());
    QCoreApplication::postEvent(&View, new QEvent(static_cast<QEvent::Type>(WM_SECOND_INSTANCE)));
    QCoreApplication::processEvents();
    QVERIFY(View.isVisible());
}

QTEST_MAIN(TestMainView)
#include "tst_mainview.moc"
