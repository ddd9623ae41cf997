// The main window over the simulated modem: actions and their enabling rules, the device,
// profile and usage views, the SMS view, sending, the monitor's messages, the tray behaviour
// and the start-up faults the window must survive.

#include "GuiFixture.h"
#include "core/MBProfleItem.h"
#include "core/Monitor.h"
#include "core/SmsStore.h"
#include "core/Usage.h"
#include "gui/Autostart.h"
#include "gui/CreateMessage.h"
#include "gui/GuiCommon.h"
#include "gui/Settings.h"
#include "gui/SignalPanel.h"
#include "gui/TimedMessage.h"
#include "gui/Translations.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
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
    QStringList result;
    for (int i = 0; i < List->topLevelItemCount(); ++i) {
        result << List->topLevelItem(i)->text(Column);
    }
    return result;
}

// A control of one of the window's pages, found by its name.
template <class T>
T* Child(const QWidget& Window, const char* Name)
{
    T* found = Window.findChild<T*>(QLatin1String(Name));
    if (!found) {
        qFatal("no control %s", Name);
    }
    return found;
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
    QList<TfmTimedMessage*> result;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<TfmTimedMessage*>(w); dialog && dialog->isVisible()) {
            result << dialog;
        }
    }
    return result;
}

} // namespace

class TestMainView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
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
    void smsManyPagesNewMessageInserted();
    void smsSentFolderNeverBold();
    void smsOutsideTextIsPlain();
    void smsIncompleteMessageMarked();
    void sendActionThreePartsAndHistory();
    void sendActionHistoryCaseInsensitive();
    void settingsActionCopiesOnlyOnOk();
    void sharedStoreSettingsReachTheBackend();
    void settingsStartAtLogin();

    void redial_data();
    void redial();
    void rebootWarningAndSuppression();
    void errorsOfActionsAreShown();
    void statusPanelsFitTheirText();

    void trayWarningOnceAndStored();
    void failedManagerStillLoadsAndSavesOptions();
    void withoutTrayCloseEndsAndMinimiseMinimises();
    void secondInstanceShowsWindowWithoutX11();
};

void TestMainView::initTestCase()
{
    // As the program starts: its English translation holds the plural forms of the captions.
    TTranslations::Install(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestMainView::init()
{
    Clock::SetNow(0);
}

void TestMainView::cleanup()
{
    for (TfmTimedMessage* dialog : CountDowns()) {
        dialog->close();
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
    TSimScenario scenario = GuiScenario(Interfaces ? QStringList{QStringLiteral("sim0")} : QStringList());
    if (!Profiles) {
        scenario.Interfaces[0].Profiles.clear();
    }
    TGuiFixture f(scenario);
    if (Interfaces) {
        f.Modem->SetActivationState(QStringLiteral("sim0"), quint32(ActivationState));
    }
    TfmMainView& view = f.Open();
    QCOMPARE(view.SignalPanel()->Text(), StateText);
    QCOMPARE(view.acSettings->isEnabled(), Settings);
    QCOMPARE(view.acConnect->isEnabled(), Connect);
    QCOMPARE(view.acDisconnect->isEnabled(), Disconnect);
    QCOMPARE(view.acSendSms->isEnabled(), SendSms);
    for (QAction* always : {view.acOpenApp, view.acExitApp, view.acAbout, view.acWebSite}) {
        QVERIFY2(always->isEnabled(), qPrintable(always->objectName()));
    }
    QCOMPARE(view.acOpenApp->text(), QStringLiteral("Open Ombrelay"));
    QCOMPARE(view.windowTitle(), QStringLiteral("Virelle Ombrelay"));
    // The actions are found by name, and the tray menu holds them in order.
    QCOMPARE(view.findChild<QAction*>(QStringLiteral("acConnect")), view.acConnect);
    QCOMPARE(view.pmTray->actions().size(), 7);
    QCOMPARE(view.pmTray->actions().at(0), view.acOpenApp);
    QCOMPARE(view.pmTray->actions().at(2), view.acSendSms);
    QCOMPARE(view.pmTray->actions().at(6), view.acExitApp);
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
    TGuiFixture f;
    TfmMainView& view = f.Open();
    f.Modem->SetSignal(QStringLiteral("sim0"), quint32(Strength));
    QVERIFY(f.Settle());
    QCOMPARE(view.SignalStrength(), quint32(Strength));
    QCOMPARE(view.SignalPanel()->ImageIndex(), Image);
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
    TSimScenario scenario =
        GuiScenario({QStringLiteral("sim0")}, {SimProfileXml(QStringLiteral("Open"), true, QStringLiteral("internet")),
                                               SimProfileXml(QStringLiteral("Work"), false, QStringLiteral("work.apn"),
                                                             QStringLiteral("bob"), QStringLiteral("12345"))});
    TGuiFixture f(scenario);
    TfmMainView& view = f.Open();
    QCOMPARE(Rows(Child<QTreeWidget>(view, "lvDevCaps"), 0),
             (QStringList{"Cellular class", "Voice class", "Data class", "Band class", "SMS", "Control", "Model",
                          "IMEI", "Firmware info"}));
    QCOMPARE(Child<QTreeWidget>(view, "lvDevCaps")->topLevelItem(7)->text(1), QStringLiteral("359999000000001"));
    QCOMPARE(Child<QTreeWidget>(view, "lvDevCaps")->topLevelItem(6)->text(1),
             f.Manager->GetInterfaceList()->Items(0)->ToString());

    // The first profile has neither user name nor password: eight rows.
    QCOMPARE(Rows(Child<QTreeWidget>(view, "lvProfileInfo"), 0),
             (QStringList{"Name", "Default", "Compression", "APN", "Auth type", "Ignore password", "Connect mode",
                          "Home provider"}));
    QCOMPARE(Child<QTreeWidget>(view, "lvProfileInfo")->topLevelItem(1)->text(1), QStringLiteral("Yes"));
    QCOMPARE(f.Opts.ProfileName(), QStringLiteral("Open"));

    // Choosing another profile by hand changes neither the rows nor the saved name.
    Child<QComboBox>(view, "cmbProfiles")->setCurrentIndex(1);
    QCOMPARE(Child<QTreeWidget>(view, "lvProfileInfo")->topLevelItem(0)->text(1), QStringLiteral("Open"));
    QCOMPARE(f.Opts.ProfileName(), QStringLiteral("Open"));

    // Next start with the second profile saved: ten rows, five circles.
    f.View.reset();
    f.Opts.SetProfileName(QStringLiteral("Work"));
    f.Opts.SaveOptions();
    TfmMainView& again = f.Open();
    const QStringList captions = Rows(Child<QTreeWidget>(again, "lvProfileInfo"), 0);
    QCOMPARE(captions.size(), 10);
    QCOMPARE(captions.at(5), QStringLiteral("User name"));
    QCOMPARE(Child<QTreeWidget>(again, "lvProfileInfo")->topLevelItem(5)->text(1), QStringLiteral("bob"));
    QCOMPARE(captions.at(6), QStringLiteral("Password"));
    QCOMPARE(Child<QTreeWidget>(again, "lvProfileInfo")->topLevelItem(6)->text(1), QString(5, QChar(0x25CF)));
}

void TestMainView::savedSelectionFoundAgain()
{
    TGuiFixture f(GuiScenario({QStringLiteral("simA"), QStringLiteral("simB")}));
    {
        // Stored settings of an earlier run: the second interface and a profile that is gone.
        TSQLiteLock lock(f.Db.DB());
        f.Db.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('interface.id', 'simB'), "
                                         "('profile.name', 'Vanished')"));
    }
    TfmMainView& view = f.Open();
    QCOMPARE(view.cmbInterfaces->count(), 2);
    QCOMPARE(view.cmbInterfaces->currentIndex(), 1);
    QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("simB"));
    QCOMPARE(Child<QComboBox>(view, "cmbProfiles")->currentIndex(), 0);
    QCOMPARE(f.Opts.ProfileName(), QStringLiteral("Internet"));
    QCOMPARE(f.Opts.InterfaceID(), QStringLiteral("simB"));

    // Choosing the first interface makes it the saved one.
    view.cmbInterfaces->setCurrentIndex(0);
    QCOMPARE(f.Opts.InterfaceID(), QStringLiteral("simA"));
}

void TestMainView::stateNotificationOfOtherInterfaceIgnored()
{
    TGuiFixture f(GuiScenario({QStringLiteral("simA"), QStringLiteral("simB")}));
    TfmMainView& view = f.Open();
    QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("simA"));
    QCOMPARE(view.SignalPanel()->Text(), QStringLiteral("Disconnected"));
    f.Modem->SetActivationState(QStringLiteral("simB"), 1);
    f.Modem->SetSignal(QStringLiteral("simB"), 31);
    QVERIFY(f.Settle());
    QCOMPARE(view.SignalPanel()->Text(), QStringLiteral("Disconnected"));
    QVERIFY(view.CanConnect());
    QCOMPARE(view.SignalPanel()->ImageIndex(), TSignalPanel::SignalImageIndex(20));
    f.Modem->SetActivationState(QStringLiteral("simA"), 1);
    QVERIFY(f.Settle());
    QCOMPARE(view.SignalPanel()->Text(), QStringLiteral("Connected"));
    QVERIFY(view.CanDisconnect());

    // A message for the other interface: announced (every modem's messages are), no change of
    // the view.
    view.pcMain->setCurrentWidget(view.tsMessages);
    f.Modem->Deliver(QStringLiteral("simB"), QStringLiteral("+4911111"), QStringLiteral("elsewhere"));
    QVERIFY(f.Poll());
    QCOMPARE(f.Modem->StoredCount(QStringLiteral("simB")), 0);
    QCOMPARE(view.BalloonCount(), 1);
    QCOMPARE(view.LastBalloonTitle(), QStringLiteral("Message from +4911111"));
    QCOMPARE(Child<QTableView>(view, "lvMessages")->model()->rowCount(), 0);
}

void TestMainView::usageViewOnlyWhileShown()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    Child<QTimer>(view, "tmUsage")->setInterval(20);
    QTest::qWait(100);
    QCOMPARE(f.UsageCalls, 0);
    QVERIFY(!Child<QTimer>(view, "tmUsage")->isActive());

    f.Usage = {1536, 512, 10 * 1024 * 1024, 1024};
    view.pcMain->setCurrentWidget(view.tsUsage);
    QCOMPARE(f.UsageCalls, 1);
    QVERIFY(Child<QTimer>(view, "tmUsage")->isActive());
    QTreeWidgetItem* today = Child<QTreeWidget>(view, "lvUsage")->topLevelItem(0)->child(0);
    QTreeWidgetItem* month = Child<QTreeWidget>(view, "lvUsage")->topLevelItem(1)->child(0);
    QCOMPARE(Child<QTreeWidget>(view, "lvUsage")->topLevelItem(0)->text(0), QStringLiteral("Today"));
    QCOMPARE(Child<QTreeWidget>(view, "lvUsage")->topLevelItem(1)->text(0), QStringLiteral("This month"));
    QCOMPARE(today->text(1), FormatByteSize(1536));
    QCOMPARE(today->text(3), FormatByteSize(2048));
    QCOMPARE(month->text(1), FormatByteSize(10 * 1024 * 1024));
    QCOMPARE(today->text(0), QLocale().toString(Clock::NowQ().date(), QLocale::ShortFormat));

    // Unchanged figures rewrite nothing; a changed one rewrites only its own texts.
    QSignalSpy changes(Child<QTreeWidget>(view, "lvUsage"), &QTreeWidget::itemChanged);
    QTRY_VERIFY(f.UsageCalls >= 3);
    QCOMPARE(changes.count(), 0);
    f.Usage.TodayOut = 1024;
    const int before = f.UsageCalls;
    QTRY_VERIFY(f.UsageCalls > before);
    QCOMPARE(changes.count(), 2); // today's upload and total
    QCOMPARE(today->text(2), FormatByteSize(1024));

    // Leaving the tab, or hiding the window, stops the timer.
    view.pcMain->setCurrentWidget(view.tsInfo);
    QVERIFY(!Child<QTimer>(view, "tmUsage")->isActive());
    view.pcMain->setCurrentWidget(view.tsUsage);
    QVERIFY(Child<QTimer>(view, "tmUsage")->isActive());
    view.hide();
    QVERIFY(!Child<QTimer>(view, "tmUsage")->isActive());
    const int hidden = f.UsageCalls;
    QTest::qWait(100);
    QCOMPARE(f.UsageCalls, hidden);
}

void TestMainView::smsViewUnreadAndCaption()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    // A message is read only when chosen on screen.
    view.show();
    f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4911111"), QStringLiteral("first"));
    f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4922222"), QStringLiteral("second"));
    QVERIFY(f.Poll());
    // One notification per message.
    QCOMPARE(view.BalloonCount(), 2);
    QCOMPARE(view.LastBalloonTitle(), QStringLiteral("Message from +4922222"));
    QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);

    view.pcMain->setCurrentWidget(view.tsMessages);
    QCOMPARE(Child<QListWidget>(view, "lvSmsType")->currentRow(), 0);
    QCOMPARE(Child<QListWidget>(view, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox (2)"));
    QVERIFY(Child<QListWidget>(view, "lvSmsType")->item(0)->font().bold());
    QCOMPARE(Child<QTableView>(view, "lvMessages")->model()->rowCount(), 2);
    QCOMPARE(Cell(Child<QTableView>(view, "lvMessages"), 0, 1), QStringLiteral("+4922222")); // newest first
    QVERIFY(Bold(Child<QTableView>(view, "lvMessages"), 0));
    QVERIFY(Bold(Child<QTableView>(view, "lvMessages"), 1));

    SelectRow(Child<QTableView>(view, "lvMessages"), 1);
    QCOMPARE(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText(), QStringLiteral("first"));
    QVERIFY(!Bold(Child<QTableView>(view, "lvMessages"), 1));
    QVERIFY(Bold(Child<QTableView>(view, "lvMessages"), 0));
    QCOMPARE(Child<QListWidget>(view, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox (1)"));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 1);

    SelectRow(Child<QTableView>(view, "lvMessages"), 0);
    QCOMPARE(Child<QListWidget>(view, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox"));
    QVERIFY(!Child<QListWidget>(view, "lvSmsType")->item(0)->font().bold());
    Child<QTableView>(view, "lvMessages")->selectionModel()->clearSelection();
    QVERIFY(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText().isEmpty());

    // The selected row index is kept across folders while the other folder has that row.
    SelectRow(Child<QTableView>(view, "lvMessages"), 1);
    Child<QListWidget>(view, "lvSmsType")->setCurrentRow(1);
    QCOMPARE(Child<QTableView>(view, "lvMessages")->model()->rowCount(), 0);
    QVERIFY(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText().isEmpty());
}

void TestMainView::smsNewMessageWithRowZeroSelected()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    view.show();
    f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4911111"), QStringLiteral("old"));
    QVERIFY(f.Poll());
    view.pcMain->setCurrentWidget(view.tsMessages);
    SelectRow(Child<QTableView>(view, "lvMessages"), 0);
    QCOMPARE(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText(), QStringLiteral("old"));

    f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4933333"), QStringLiteral("new"));
    QVERIFY(f.Poll());
    QCOMPARE(view.LastBalloonTitle(), QStringLiteral("Message from +4933333"));
    // The selection stays on the message the user chose; the new one on row 0 waits unread.
    QCOMPARE(Child<QTableView>(view, "lvMessages")->selectionModel()->selectedRows().first().row(), 1);
    QCOMPARE(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText(), QStringLiteral("old"));
    QVERIFY(Bold(Child<QTableView>(view, "lvMessages"), 0));
    QCOMPARE(Child<QListWidget>(view, "lvSmsType")->item(0)->text(), QStringLiteral("Inbox (1)"));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 0")), 1);
}

// An inbox of more messages than a page holds: the caption counts the unseen ones exactly, the
// oldest row reads right, a new message is inserted on top (the view is not reset), and marking
// the oldest message seen counts down at once.
void TestMainView::smsManyPagesNewMessageInserted()
{
    TGuiFixture f;
    const int stored = 2 * TSmsListBase::kPageSize + 10;
    {
        TSQLiteLock lock(f.Db.DB());
        TSQLiteTransaction transaction(f.Db.DB());
        {
            TSQLiteQuery q(f.Db.DB(),
                           QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU, DEVICE) VALUES (?, ?, ?, 'sim0')"));
            for (int i = 0; i < stored; ++i) {
                f.Db.DB().SetParamAsDateTime(1, 46365.5 + i / kSecondsPerDay);
                f.Db.DB().SetParamAsBool(2, i % 4 != 0);
                f.Db.DB().SetParamAsString(3, BuildDeliverPdus(QStringLiteral("+49%1").arg(1000 + i), QDateTime(),
                                                               QStringLiteral("stored %1").arg(i))
                                                  .front());
                f.Db.DB().Exec();
            }
        }
        transaction.Commit();
    }
    const int unseen = (stored + 3) / 4;
    TfmMainView& view = f.Open();
    view.pcMain->setCurrentWidget(view.tsMessages);
    auto* list = Child<QTableView>(view, "lvMessages");
    auto* folders = Child<QListWidget>(view, "lvSmsType");
    QCOMPARE(list->model()->rowCount(), stored);
    QCOMPARE(folders->item(0)->text(), QStringLiteral("Inbox (%1)").arg(unseen));
    QCOMPARE(Cell(list, stored - 1, 1), QStringLiteral("+491000"));
    QVERIFY(Bold(list, stored - 1));

    QSignalSpy resets(list->model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(list->model(), &QAbstractItemModel::rowsInserted);
    f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4933333"), QStringLiteral("new"));
    QVERIFY(f.Poll());
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserts.count(), 1);
    QCOMPARE(inserts.first().at(1).toInt(), 0);
    QCOMPARE(inserts.first().at(2).toInt(), 0);
    QCOMPARE(list->model()->rowCount(), stored + 1);
    QCOMPARE(Cell(list, 0, 2), QStringLiteral("new"));
    QCOMPARE(folders->item(0)->text(), QStringLiteral("Inbox (%1)").arg(unseen + 1));

    // Chosen on screen: a message is read only when the user can see it.
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    SelectRow(list, stored);
    QCOMPARE(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText(), QStringLiteral("stored 0"));
    QCOMPARE(folders->item(0)->text(), QStringLiteral("Inbox (%1)").arg(unseen));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 0")), unseen);
}

void TestMainView::smsSentFolderNeverBold()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    TfmMainView::SetDialogRunner([](QDialog& Dialog) {
        auto& message = dynamic_cast<TfmCreateMessage&>(Dialog);
        message.cmbTarget->setEditText(QStringLiteral("+4955555"));
        message.mmText->setPlainText(QStringLiteral("out"));
        return int(QDialog::Accepted);
    });
    view.acSendSms->trigger();
    QVERIFY(f.Settle());
    view.pcMain->setCurrentWidget(view.tsMessages);
    Child<QListWidget>(view, "lvSmsType")->setCurrentRow(1);
    QCOMPARE(Child<QTableView>(view, "lvMessages")->model()->rowCount(), 1);
    QCOMPARE(Cell(Child<QTableView>(view, "lvMessages"), 0, 1), QStringLiteral("+4955555"));
    QVERIFY(!Bold(Child<QTableView>(view, "lvMessages"), 0));
    SelectRow(Child<QTableView>(view, "lvMessages"), 0);
    QCOMPARE(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText(), QStringLiteral("out"));
    QVERIFY(!Bold(Child<QTableView>(view, "lvMessages"), 0));
    QCOMPARE(Child<QListWidget>(view, "lvSmsType")->item(1)->text(), QStringLiteral("Sent"));
}

void TestMainView::smsOutsideTextIsPlain()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    const QString markup = QStringLiteral("<b>bold</b> &amp; <img src=x>");
    f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4911111"), markup);
    QVERIFY(f.Poll());
    view.pcMain->setCurrentWidget(view.tsMessages);
    QCOMPARE(Cell(Child<QTableView>(view, "lvMessages"), 0, 2), markup);
    SelectRow(Child<QTableView>(view, "lvMessages"), 0);
    QCOMPARE(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText(), markup);
    QCOMPARE(view.sbMainPanel0->textFormat(), Qt::PlainText);
}

void TestMainView::smsIncompleteMessageMarked()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    const QString text = QString(153, QLatin1Char('a')) + QString(153, QLatin1Char('b')) + QStringLiteral("c");
    const QStringList parts = BuildDeliverPdus(QStringLiteral("+4911111"), QDateTime(), text, 12);
    QCOMPARE(parts.size(), 3);
    f.Modem->DeliverPdu(QStringLiteral("sim0"), parts[0]);
    f.Modem->DeliverPdu(QStringLiteral("sim0"), parts[2]);
    QVERIFY(f.Poll());
    view.pcMain->setCurrentWidget(view.tsMessages);
    QCOMPARE(Child<QTableView>(view, "lvMessages")->model()->rowCount(), 1);
    const QString shown = QString(153, QLatin1Char('a')) + QStringLiteral("[\u2026]c");
    QCOMPARE(Cell(Child<QTableView>(view, "lvMessages"), 0, 2), QStringLiteral("(incomplete: 2 of 3 parts) ") + shown);
    SelectRow(Child<QTableView>(view, "lvMessages"), 0);
    QCOMPARE(Child<QPlainTextEdit>(view, "mmMessages")->toPlainText(), shown);
}

void TestMainView::sendActionThreePartsAndHistory()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    f.Opts.SetTargetPhone(QStringLiteral("+4911111,\"Anna B\""));
    const QString text = QString(400, QLatin1Char('x')); // 153 + 153 + 94
    QStringList offered;
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) {
        auto& message = dynamic_cast<TfmCreateMessage&>(Dialog);
        for (int i = 0; i < message.cmbTarget->count(); ++i) {
            offered << message.cmbTarget->itemText(i);
        }
        message.cmbTarget->setEditText(QStringLiteral("+4977777"));
        message.mmText->setPlainText(text);
        return int(QDialog::Accepted);
    });
    view.acSendSms->trigger();
    QVERIFY(f.Settle());
    QCOMPARE(offered, (QStringList{"+4911111", "Anna B"}));
    const QStringList sent = f.Modem->SentPdus(QStringLiteral("sim0"));
    QCOMPARE(sent.size(), 3);
    // Three SendSms calls in part order, all parts of one message.
    QString joined;
    for (int i = 0; i < 3; ++i) {
        TSmsRecv first;
        TSmsRecv part;
        QVERIFY(part.DecodePdu(sent[i]));
        QVERIFY(first.DecodePdu(sent[0]));
        QCOMPARE(part.SeqNo(), i + 1);
        QCOMPARE(part.RefNo(), first.RefNo());
    }
    QCOMPARE(f.Manager->GetInterfaceList()->Items(0)->SmsOutgoingList()->Items(0)->Text(), text);
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1")), 3);
    QCOMPARE(CommaTextToList(f.Opts.TargetPhone()), (QStringList{"+4977777", "+4911111", "Anna B"}));

    // A dialog that is not confirmed sends nothing and keeps the history.
    TfmMainView::SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    view.acSendSms->trigger();
    QVERIFY(f.Settle());
    QCOMPARE(f.Modem->SentPdus(QStringLiteral("sim0")).size(), 3);
    QCOMPARE(CommaTextToList(f.Opts.TargetPhone()).size(), 3);
}

void TestMainView::sendActionHistoryCaseInsensitive()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    f.Opts.SetTargetPhone(QStringLiteral("Office1,+4911111"));
    TfmMainView::SetDialogRunner([](QDialog& Dialog) {
        auto& message = dynamic_cast<TfmCreateMessage&>(Dialog);
        message.cmbTarget->setEditText(QStringLiteral("OFFICE1"));
        message.mmText->setPlainText(QStringLiteral("hi"));
        return int(QDialog::Accepted);
    });
    view.acSendSms->trigger();
    QVERIFY(f.Settle());
    QCOMPARE(f.Opts.TargetPhone(), QStringLiteral("Office1,+4911111"));
    QCOMPARE(f.Modem->SentPdus(QStringLiteral("sim0")).size(), 1);
}

void TestMainView::settingsActionCopiesOnlyOnOk()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    const TMonitorSettings before = f.Opts.MonitorSnapshot();
    QCOMPARE(before.Interval, 60U); // loaded defaults
    auto edit = [](QDialog& Dialog, int Result) {
        auto& settings = dynamic_cast<TfmSettings&>(Dialog);
        // The simulated modem's store is the program's alone: always cleared, not a choice.
        if (settings.cbRemoveStored->isEnabled()) {
            return -1;
        }
        settings.cbMonitor->setChecked(true);
        settings.udMonitorInterval->setValue(300);
        settings.cbAutoConnect->setChecked(true);
        return Result;
    };
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) { return edit(Dialog, QDialog::Rejected); });
    view.acSettings->trigger();
    QCOMPARE(f.Opts.MonitorSnapshot(), before);
    QVERIFY(!f.Opts.AutoConnect());
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) { return edit(Dialog, QDialog::Accepted); });
    view.acSettings->trigger();
    QCOMPARE(f.Opts.MonitorSnapshot().Interval, 300U);
    QVERIFY(f.Opts.MonitorSnapshot().Enabled);
    QCOMPARE(f.Opts.MonitorSnapshot().Sites, before.Sites);
    QVERIFY(f.Opts.AutoConnect());
    // Nothing is stored until the next save.
    QCOMPARE(f.Config(QStringLiteral("monitor.interval")), QString());
}

void TestMainView::settingsStartAtLogin()
{
    QTemporaryDir config;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString entry = config.filePath(QStringLiteral("autostart/ombrelay.desktop"));
    TGuiFixture f;
    TfmMainView& view = f.Open();
    bool shownChecked = true;
    auto answer = [&](bool Tick, int Result) {
        TfmMainView::SetDialogRunner([&shownChecked, Tick, Result](QDialog& Dialog) {
            auto& settings = dynamic_cast<TfmSettings&>(Dialog);
            shownChecked = settings.cbAutostart->isChecked();
            settings.cbAutostart->setChecked(Tick);
            return Result;
        });
        view.acSettings->trigger();
    };
    answer(true, QDialog::Rejected);
    QVERIFY(!shownChecked);
    QVERIFY(!QFile::exists(entry));
    answer(true, QDialog::Accepted);
    QVERIFY(QFile::exists(entry));
    // The entry starts this very program, in the notification area.
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(QCoreApplication::applicationFilePath().toUtf8() + " -hide"));
    file.close();
    answer(true, QDialog::Accepted);
    QVERIFY(shownChecked);
    answer(false, QDialog::Accepted);
    QVERIFY(!QFile::exists(entry));
    QVERIFY(TMessageBox::Shown().isEmpty());
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

void TestMainView::sharedStoreSettingsReachTheBackend()
{
    TGuiFixture f;
    auto modem = std::make_shared<TSharedStoreModem>(
        GuiScenario({QStringLiteral("sim0")},
                    {SimProfileXml(QStringLiteral("Open"), true, QStringLiteral("internet"))}));
    f.Modem = modem;
    TfmMainView& view = f.Open();
    // The loaded setting (on by default) reaches the backend before the first delete.
    QCOMPARE(modem->RemoveStored, QList<bool>{true});
    // No password in the profile: the view says who keeps it.
    const QStringList captions = Rows(Child<QTreeWidget>(view, "lvProfileInfo"), 0);
    const int row = int(captions.indexOf(QStringLiteral("Password")));
    QVERIFY2(row >= 0, qPrintable(captions.join(u',')));
    QCOMPARE(Child<QTreeWidget>(view, "lvProfileInfo")->topLevelItem(row)->text(1),
             QStringLiteral("Kept by NetworkManager"));

    bool enabled = false;
    bool checked = false;
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) {
        auto& settings = dynamic_cast<TfmSettings&>(Dialog);
        enabled = settings.cbRemoveStored->isEnabled();
        checked = settings.cbRemoveStored->isChecked();
        settings.cbRemoveStored->setChecked(false);
        return int(QDialog::Accepted);
    });
    view.acSettings->trigger();
    QVERIFY(enabled);
    QVERIFY(checked);
    QCOMPARE(modem->RemoveStored, (QList<bool>{true, false}));
    QVERIFY(!f.Opts.RemoveStoredMessages());
    // Kept across a start.
    f.View.reset();
    f.Manager.reset();
    QCOMPARE(f.Config(QStringLiteral("sms.removestored")), QStringLiteral("0"));
    f.Open();
    QCOMPARE(modem->RemoveStored.last(), false);
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
    TGuiFixture f;
    f.Modem->SetActivationState(QStringLiteral("sim0"), ActivationState);
    TfmMainView& view = f.Open();
    QCoreApplication::postEvent(&view, new QEvent(static_cast<QEvent::Type>(WM_MONITOR_REDIAL)));
    QCoreApplication::processEvents();
    QCOMPARE(view.PendingReconnect(), Pending);
    QVERIFY(f.Settle());
    QCOMPARE(f.Modem->StateName(QStringLiteral("sim0")), After);
    QVERIFY(!view.PendingReconnect());
}

void TestMainView::rebootWarningAndSuppression()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    TDateTime ten = 0;
    QVERIFY(TryEncodeDate(2026, 3, 14, ten));
    ten += 10.0 / 24;
    Clock::SetNow(ten);
    view.WMMonitorReboot();
    QCOMPARE(CountDowns().size(), 1);
    QCOMPARE(CountDowns().first()->windowTitle(), QStringLiteral("Shutdown Warning"));
    // A second warning while the first still counts reuses it instead of stacking a copy.
    TfmTimedMessage* first = CountDowns().first();
    first->Tick();
    view.WMMonitorReboot();
    QCOMPARE(CountDowns().size(), 1);
    QCOMPARE(CountDowns().first(), first);
    QCOMPARE(first->TimeOut(), quint32(TMainController::RestartWarningSeconds - 1));
    CountDowns().first()->pmiSupressfor30Minutes->trigger();
    QTRY_COMPARE(CountDowns().size(), 0);

    Clock::SetNow(ten + 29.0 / 1440);
    QCoreApplication::postEvent(&view, new QEvent(static_cast<QEvent::Type>(WM_MONITOR_REBOOT)));
    QCoreApplication::processEvents();
    QCOMPARE(CountDowns().size(), 0);
    Clock::SetNow(ten + 31.0 / 1440);
    view.WMMonitorReboot();
    QCOMPARE(CountDowns().size(), 1);
}

// The status bar's panels are as wide as their texts, so that a large font (a desktop at scale
// two) on a small window cuts none of them, the one on the right included.
void TestMainView::statusPanelsFitTheirText()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    QFont big = view.font();
    big.setPointSizeF(big.pointSizeF() * 2);
    view.setFont(big);
    view.sbMainPanel0->setText(QStringLiteral("Simulated modem"));
    view.SignalPanel()->SetText(QStringLiteral("Disconnected"));
    view.sbRegistration->setText(QStringLiteral("Home: Ombrelay Mobile, LTE"));
    const QFontMetrics metrics(big);
    const int needed = metrics.horizontalAdvance(view.sbMainPanel0->text()) +
                       metrics.horizontalAdvance(view.SignalPanel()->Text()) +
                       metrics.horizontalAdvance(view.sbRegistration->text()) + 80;
    view.resize(std::max(view.minimumSizeHint().width(), needed), view.height());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTRY_VERIFY(view.sbRegistration->width() >= metrics.horizontalAdvance(view.sbRegistration->text()));
    QVERIFY(view.sbMainPanel0->width() >= metrics.horizontalAdvance(view.sbMainPanel0->text()));
    QVERIFY(view.SignalPanel()->width() >= view.SignalPanel()->sizeHint().width());
    QVERIFY(view.SignalPanel()->sizeHint().width() > metrics.horizontalAdvance(view.SignalPanel()->Text()));
}

void TestMainView::errorsOfActionsAreShown()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    QVERIFY(view.acConnect->isEnabled());
    f.Modem->Fail(QStringLiteral("Connect"), 1);
    view.acConnect->trigger();
    QCOMPARE(TMessageBox::Shown().size(), 1);
    // The window goes on: the next try connects.
    view.acConnect->trigger();
    QVERIFY(f.Settle());
    QCOMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("connected"));
    QCOMPARE(view.SignalPanel()->Text(), QStringLiteral("Connected"));
}

void TestMainView::trayWarningOnceAndStored()
{
    TfmMainView::SetTrayAvailableOverride(true);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    view.StartUp(true);
    QVERIFY(!view.isVisible());
    view.acOpenApp->trigger();
    QVERIFY(view.isVisible());
    view.showMinimized();
    QTRY_VERIFY(!view.isVisible());
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QVERIFY(TMessageBox::Shown().first().startsWith(QStringLiteral("The application will remain running")));
    QCOMPARE(f.Config(QStringLiteral("traywarning")), QStringLiteral("0"));
    view.acOpenApp->trigger();
    QVERIFY(view.isVisible());
    QVERIFY(!view.isMinimized());
    view.close();
    QVERIFY(!view.isVisible());
    QCOMPARE(TMessageBox::Shown().size(), 1);

    // Exit ends the program, the settings saved.
    QSignalSpy closed(&view, &TfmMainView::Closed);
    f.Opts.SetProfileName(QStringLiteral("Business"));
    view.acExitApp->trigger();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(f.Config(QStringLiteral("profile.name")), QStringLiteral("Business"));
}

void TestMainView::failedManagerStillLoadsAndSavesOptions()
{
    TfmMainView::SetTrayAvailableOverride(true);
    TGuiFixture f;
    {
        TSQLiteLock lock(f.Db.DB());
        f.Db.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('monitor.interval', 120), "
                                         "('interface.id', 'sim0'), ('traywarning', 0)"));
    }
    auto view = std::make_unique<TfmMainView>(
        []() -> std::shared_ptr<IMBManager> { throw EMBException(QStringLiteral("No modem stack answers")); });
    QTRY_COMPARE(TMessageBox::Shown().size(), 1);
    QCOMPARE(TMessageBox::Shown().first(), QStringLiteral("No modem stack answers"));
    QVERIFY(f.Opts.Loaded());
    QCOMPARE(view->cmbInterfaces->count(), 0);
    QVERIFY(!view->acConnect->isEnabled());
    QVERIFY(view->acAbout->isEnabled());
    view->show();
    view->close(); // into the notification area, with a save
    view.reset();  // and the save at the end
    QCOMPARE(f.Config(QStringLiteral("monitor.interval")), QStringLiteral("120"));
    QCOMPARE(f.Config(QStringLiteral("interface.id")), QStringLiteral("sim0"));
    QCOMPARE(f.Config(QStringLiteral("monitor.threshold.redial")), QStringLiteral("2"));
}

void TestMainView::withoutTrayCloseEndsAndMinimiseMinimises()
{
    TfmMainView::SetTrayAvailableOverride(false);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    view.StartUp(true); // the hide switch cannot hide the only way back
    QVERIFY(view.isVisible());
    QVERIFY(!view.sbMainPanel0->text().isEmpty());
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.showMinimized();
    QTest::qWait(20);
    QVERIFY(view.isVisible());
    QVERIFY(TMessageBox::Shown().isEmpty());
    QSignalSpy closed(&view, &TfmMainView::Closed);
    f.Opts.SetAutoConnect(true);
    view.showNormal();
    view.close();
    QVERIFY(!view.isVisible());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(f.Config(QStringLiteral("autoconnect")), QStringLiteral("1"));
}

void TestMainView::secondInstanceShowsWindowWithoutX11()
{
    TfmMainView::SetTrayAvailableOverride(true);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    view.StartUp(true);
    QVERIFY(!view.isVisible());
    QCoreApplication::postEvent(&view, new QEvent(static_cast<QEvent::Type>(WM_SECOND_INSTANCE)));
    QCoreApplication::processEvents();
    QVERIFY(view.isVisible());
}

QTEST_MAIN(TestMainView)
#include "tst_mainview.moc"
