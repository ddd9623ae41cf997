// The messages page as a user meets it, over a real database and the simulated modem: what
// becomes read and when, the folder caption, notifications, the actions on selected messages
// and the conversation with one number.

#include "GuiFixture.h"
#include "core/Contacts.h"
#include "core/SmsStore.h"
#include "gui/ConversationView.h"
#include "gui/CreateMessage.h"
#include "gui/DeviceInfoPage.h"
#include "gui/InterfaceBox.h"
#include "gui/MessagesPage.h"
#include "gui/SmsMessagesModel.h"
#include "gui/Translations.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTest>
#include <QTextDocumentFragment>

using namespace Ombrelay;

namespace
{

const QString kSim = QStringLiteral("sim0");

TMessagesPage& Page(TfmMainView& View)
{
    return *View.tsMessages;
}

// The window on screen and active, the messages page shown, the inbox chosen.
void OnScreen(TfmMainView& View)
{
    View.show();
    View.activateWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    View.pcMain->setCurrentWidget(View.tsMessages);
    Page(View).lvSmsType->setCurrentRow(TMessagesPage::frInbox);
}

// Chooses rows as a click (Ctrl-click for more) does.
void Choose(TfmMainView& View, const QList<int>& Rows)
{
    QTableView* list = Page(View).lvMessages;
    list->setFocus();
    bool first = true;
    for (int row : Rows) {
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                                (first ? QItemSelectionModel::ClearAndSelect
                                                       : QItemSelectionModel::Select) |
                                                    QItemSelectionModel::Rows);
        first = false;
    }
}

QStringList SelectedTexts(TfmMainView& View)
{
    QStringList texts;
    for (const qint64 ident : Page(View).SelectedIdents()) {
        texts << Page(View).MessageOfIdent(ident)->DisplayText();
    }
    return texts;
}

QString Caption(TfmMainView& View)
{
    return Page(View).lvSmsType->item(TMessagesPage::frInbox)->text();
}

QString LongText(int Parts)
{
    QString text;
    for (int i = 0; i < Parts; ++i) {
        text += QString(153, QLatin1Char(char('a' + i)));
    }
    return text;
}

// Records what every paint of a widget covered.
class TPaintRecorder : public QObject
{
public:
    explicit TPaintRecorder(QWidget* Target) { Target->installEventFilter(this); }
    QRegion Painted;

protected:
    bool eventFilter(QObject*, QEvent* Event) override
    {
        if (Event->type() == QEvent::Paint) {
            Painted += static_cast<QPaintEvent*>(Event)->region();
        }
        return false;
    }
};

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // As the program starts: its English translation holds the plural forms of the counts.
    void initTestCase() { TTranslations::Install(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { TfmMainView::SetTrayAvailableOverride(true); }

    void selectionFollowsTheMessage_data();
    void selectionFollowsTheMessage();
    void nothingReadWhileHidden();
    void captionFitsAndRepaints();
    void notifications_data();
    void notifications();
    void noticeClickOpensTheMessage();
    void contactNamesAndNumberForms();
    void trayToolTipCountsUnread();
    void deleteRemovesEveryPart_data();
    void deleteRemovesEveryPart();
    void copyAndMarkSeveral();
    void actionsAcrossDroppedPages();
    void forwardAndReply();
    void standardKeys_data();
    void standardKeys();
    void findKeyOpensTheSearch();
    void sortByHeader();
    void bothTimes();
};

// A burst arriving while a message is selected neither moves the selection nor reads anything.
void TestMessages::selectionFollowsTheMessage_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("polls");
    QTest::addRow("on screen, three polls") << false << 3;
    QTest::addRow("hidden in the tray, one poll") << true << 1;
    QTest::addRow("hidden in the tray, three polls") << true << 3;
}

void TestMessages::selectionFollowsTheMessage()
{
    QFETCH(bool, hidden);
    QFETCH(int, polls);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    for (int i = 0; i < 3; ++i) {
        f.Modem->Deliver(kSim, QStringLiteral("+49100%1").arg(i), QStringLiteral("m%1").arg(i));
        QVERIFY(f.Poll());
    }
    OnScreen(view);
    Choose(view, {1});
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("m1"));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 1);
    if (hidden) {
        view.hide();
    }

    // 30 messages, so that new ones land on the chosen row (10, 20, 30 rows further up).
    int delivered = 0;
    for (int p = 0; p < polls; ++p) {
        for (int i = 0; i < 30 / polls; ++i, ++delivered) {
            f.Modem->Deliver(kSim, QStringLiteral("+4920%1").arg(delivered), QStringLiteral("burst %1").arg(delivered));
        }
        QVERIFY(f.Poll());
        QCOMPARE(SelectedTexts(view), QStringList{QStringLiteral("m1")});
    }
    if (hidden) {
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }
    QCOMPARE(SelectedTexts(view), QStringList{QStringLiteral("m1")});
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("m1"));
    QCOMPARE(Page(view).lvMessages->currentIndex().row(), 31);
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 1);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (32)"));
}

// Only a choice on screen reads: not one made while the window is in the tray.
void TestMessages::nothingReadWhileHidden()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    f.Modem->Deliver(kSim, QStringLiteral("+4911111"), QStringLiteral("unread"));
    QVERIFY(f.Poll());
    view.pcMain->setCurrentWidget(view.tsMessages);
    Choose(view, {0});
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("unread"));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 0);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (1)"));

    OnScreen(view);
    Page(view).lvMessages->clearSelection();
    Choose(view, {0});
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 1);
    QCOMPARE(Caption(view), QStringLiteral("Inbox"));
}

// The inbox caption is never cut, whatever the font, and a shorter one repaints all of the old.
void TestMessages::captionFitsAndRepaints()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    QFont wide = Page(view).lvSmsType->font();
    wide.setPointSize(wide.pointSize() * 2);
    wide.setLetterSpacing(QFont::PercentageSpacing, 130);
    Page(view).lvSmsType->setFont(wide);
    for (int i = 0; i < 10; ++i) {
        f.Modem->Deliver(kSim, QStringLiteral("+4911111"), QStringLiteral("m%1").arg(i));
    }
    QVERIFY(f.Poll());
    OnScreen(view);
    QListWidget* folders = Page(view).lvSmsType;
    QCOMPARE(Caption(view), QStringLiteral("Inbox (10)"));
    for (int row = 0; row < folders->count(); ++row) {
        const QListWidgetItem* folder = folders->item(row);
        const QVariant own = folder->data(Qt::FontRole);
        const QFont font = own.isValid() ? own.value<QFont>() : folders->font();
        const QRect cell = folders->visualItemRect(folder);
        QVERIFY2(cell.width() >= QFontMetrics(font).horizontalAdvance(folder->text()), qPrintable(folder->text()));
        QVERIFY(folders->viewport()->rect().contains(cell));
    }

    const QRect before = folders->visualItemRect(folders->item(TMessagesPage::frInbox));
    QCoreApplication::processEvents();
    TPaintRecorder recorder(folders->viewport());
    Choose(view, {0});
    QCOMPARE(Caption(view), QStringLiteral("Inbox (9)"));
    QTRY_VERIFY(!recorder.Painted.isEmpty());
    QVERIFY(recorder.Painted.contains(before));
}

// One notification per complete message, with its sender and the start of its text as written.
void TestMessages::notifications_data()
{
    QTest::addColumn<QList<QStringList>>("polls");
    QTest::addColumn<int>("readBatch");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("texts");
    const QStringList fiveParts = BuildDeliverPdus(QStringLiteral("+4911111"), QDateTime(), LongText(5), 17);
    const QString preview = QString(120, QLatin1Char('a')) + QChar(0x2026);
    QTest::addRow("a long message of five parts")
        << QList<QStringList>{fiveParts} << 0 << QStringList{QStringLiteral("Message from +4911111")}
        << QStringList{preview};
    QTest::addRow("five parts in batches of two")
        << QList<QStringList>{fiveParts} << 2 << QStringList{QStringLiteral("Message from +4911111")}
        << QStringList{preview};
    QTest::addRow("five parts over two polls")
        << QList<QStringList>{fiveParts.mid(0, 3), fiveParts.mid(3)} << 0
        << QStringList{QStringLiteral("Message from +4911111")} << QStringList{preview};
    QTest::addRow("two messages in one batch")
        << QList<QStringList>{{BuildDeliverPdus(QStringLiteral("+4922222"), QDateTime(), QStringLiteral("one")).front(),
                               BuildDeliverPdus(QStringLiteral("+4933333"), QDateTime(), QStringLiteral("two"))
                                   .front()}}
        << 0 << QStringList{QStringLiteral("Message from +4922222"), QStringLiteral("Message from +4933333")}
        << QStringList{QStringLiteral("one"), QStringLiteral("two")};
    QStringList ten;
    for (int i = 0; i < 10; ++i) {
        ten << BuildDeliverPdus(QStringLiteral("+491000%1").arg(i), QDateTime(), QStringLiteral("n%1").arg(i)).front();
    }
    QTest::addRow("a burst of ten counted once")
        << QList<QStringList>{ten} << 0 << QStringList{QStringLiteral("10 new messages")}
        << QStringList{QStringLiteral("From +4910000, +4910001, +4910002 and 7 more")};
    const QString markup = QStringLiteral("<b>bold</b> &amp; <img src=x>\nnext line");
    QTest::addRow("markup is text")
        << QList<QStringList>{{BuildDeliverPdus(QStringLiteral("+4944444"), QDateTime(), markup).front()}} << 0
        << QStringList{QStringLiteral("Message from +4944444")}
        << QStringList{QStringLiteral("<b>bold</b> &amp; <img src=x> next line")};
}

void TestMessages::notifications()
{
    QFETCH(QList<QStringList>, polls);
    QFETCH(int, readBatch);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, texts);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    if (readBatch > 0) {
        f.Modem->SetReadBatch(readBatch);
    }
    QSignalSpy shown(view.Tray(), &TTrayIcon::NoticeShown);
    for (qsizetype p = 0; p < polls.size(); ++p) {
        for (const QString& pdu : polls[p]) {
            f.Modem->DeliverPdu(kSim, pdu);
        }
        QVERIFY(f.Poll());
        QVERIFY(f.Settle());
        if (p + 1 < polls.size()) {
            // The parts so far make no message yet.
            QCOMPARE(shown.size(), 0);
        }
    }
    QStringList gotTitles;
    QStringList gotTexts;
    for (const QList<QVariant>& notice : shown) {
        gotTitles << notice.at(0).toString();
        gotTexts << notice.at(1).toString();
    }
    QCOMPARE(gotTitles, titles);
    QCOMPARE(gotTexts, texts);
}

// A click on the notification brings the window up with that message chosen (and so read),
// also when it came to a modem that was not selected.
void TestMessages::noticeClickOpensTheMessage()
{
    TGuiFixture f(GuiScenario({QStringLiteral("simA"), QStringLiteral("simB")}));
    TfmMainView& view = f.Open();
    f.Modem->Deliver(QStringLiteral("simB"), QStringLiteral("+4955555"), QStringLiteral("wanted"));
    f.Modem->Deliver(QStringLiteral("simB"), QStringLiteral("+4966666"), QStringLiteral("later"));
    QVERIFY(f.Poll());
    f.Modem->Deliver(QStringLiteral("simA"), QStringLiteral("+4977777"), QStringLiteral("on A"));
    f.Modem->Deliver(QStringLiteral("simB"), QStringLiteral("+4988888"), QStringLiteral("clicked"));
    QVERIFY(f.Poll());
    QCOMPARE(view.LastBalloonTitle(), QStringLiteral("Message from +4988888"));
    QVERIFY(!view.isVisible());
    QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("simA"));

    Q_EMIT view.Tray()->NoticeClicked();
    QVERIFY(view.isVisible());
    QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("simB"));
    QCOMPARE(view.pcMain->currentWidget(), view.tsMessages);
    QCOMPARE(SelectedTexts(view), QStringList{QStringLiteral("clicked")});
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("clicked"));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 1);
    QCOMPARE(f.Count(QStringLiteral("SELECT SEEN FROM INCOMING WHERE PDU = (SELECT PDU FROM INCOMING ORDER BY ID "
                                    "DESC LIMIT 1)")),
             1);
}

// The tray's tool tip tells the state and the unread messages of every modem.
void TestMessages::trayToolTipCountsUnread()
{
    TGuiFixture f(GuiScenario({QStringLiteral("simA"), QStringLiteral("simB")}));
    TfmMainView& view = f.Open();
    QSystemTrayIcon* icon = view.Tray()->Icon();
    QVERIFY2(icon->toolTip().contains(QStringLiteral("Disconnected")), qPrintable(icon->toolTip()));
    QVERIFY(icon->toolTip().contains(QStringLiteral("No unread messages")));
    f.Modem->Deliver(QStringLiteral("simA"), QStringLiteral("+4911111"), QStringLiteral("a"));
    f.Modem->Deliver(QStringLiteral("simB"), QStringLiteral("+4922222"), QStringLiteral("b"));
    QVERIFY(f.Poll());
    QVERIFY2(icon->toolTip().contains(QStringLiteral("2 unread messages")), qPrintable(icon->toolTip()));
    OnScreen(view);
    Choose(view, {0});
    QVERIFY2(icon->toolTip().contains(QStringLiteral("1 unread message")), qPrintable(icon->toolTip()));
    f.Modem->SetActivationState(QStringLiteral("simA"), 1);
    QVERIFY(f.Settle());
    QVERIFY2(icon->toolTip().contains(QStringLiteral("Connected")), qPrintable(icon->toolTip()));
}

// Delete takes every row of every part of the chosen messages out of the database, after a
// yes, and nothing else: not the other messages, not another modem's.
void TestMessages::deleteRemovesEveryPart_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<int>("rowsLeft");
    QTest::addColumn<QStringList>("textsLeft");
    // Rows, newest first: "short 2", the long message of three parts, "short 1".
    QTest::addRow("the long message") << QList<int>{1} << true << 3 << QStringList{"short 2", "short 1"};
    QTest::addRow("declined") << QList<int>{1} << false << 6 << QStringList{"short 2", LongText(3), "short 1"};
    QTest::addRow("two of three") << QList<int>{0, 1} << true << 2 << QStringList{"short 1"};
    QTest::addRow("all") << QList<int>{0, 1, 2} << true << 1 << QStringList{};
}

void TestMessages::deleteRemovesEveryPart()
{
    QFETCH(QList<int>, rows);
    QFETCH(bool, confirmed);
    QFETCH(int, rowsLeft);
    QFETCH(QStringList, textsLeft);
    TGuiFixture f(GuiScenario({kSim, QStringLiteral("sim1")}));
    TfmMainView& view = f.Open();
    f.Modem->Deliver(kSim, QStringLiteral("+4911111"), QStringLiteral("short 1"));
    QVERIFY(f.Poll());
    f.Modem->Deliver(kSim, QStringLiteral("+4922222"), LongText(3));
    QVERIFY(f.Poll());
    f.Modem->Deliver(kSim, QStringLiteral("+4933333"), QStringLiteral("short 2"));
    f.Modem->Deliver(QStringLiteral("sim1"), QStringLiteral("+4944444"), QStringLiteral("other modem"));
    QVERIFY(f.Poll());
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), 6);
    OnScreen(view);
    Choose(view, rows);
    QCOMPARE(Caption(view),
             rows.size() == 3 ? QStringLiteral("Inbox") : QStringLiteral("Inbox (%1)").arg(3 - rows.size()));

    TMessageBox::ClearShown();
    TMessageBox::SetNextAnswer(confirmed ? QMessageBox::Yes : QMessageBox::No);
    QTest::keyClick(Page(view).lvMessages, Qt::Key_Delete);
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), rowsLeft);
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE DEVICE = 'sim1'")), 1);
    QStringList shown;
    for (int row = 0; row < Page(view).lvMessages->model()->rowCount(); ++row) {
        shown << Page(view).lvMessages->model()->index(row, 2).data().toString();
    }
    QCOMPARE(shown, textsLeft);
    // Nothing new got chosen (and read) in place of the deleted messages.
    if (confirmed) {
        QVERIFY(Page(view).SelectedIdents().isEmpty());
        QVERIFY(Page(view).mmMessages->toPlainText().isEmpty());
        QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 0);
    }
    const int unread = int(textsLeft.size()) - (confirmed ? 0 : int(rows.size()));
    QCOMPARE(Caption(view), unread == 0 ? QStringLiteral("Inbox") : QStringLiteral("Inbox (%1)").arg(unread));
    // What the next start reads is what the page shows.
    TSmsIncomingList reloaded(kSim);
    reloaded.LoadMessages();
    QCOMPARE(reloaded.Count(), textsLeft.size());
}

// Copy text, copy number, unread and read again: on every selected message, from the keyboard.
void TestMessages::copyAndMarkSeveral()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    f.Modem->Deliver(kSim, QStringLiteral("+4911111"), QStringLiteral("first"));
    f.Modem->Deliver(kSim, QStringLiteral("+4922222"), QStringLiteral("second"));
    f.Modem->Deliver(kSim, QStringLiteral("+4911111"), QStringLiteral("third"));
    QVERIFY(f.Poll());
    OnScreen(view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    Choose(view, {0, 2});
    QTableView* list = Page(view).lvMessages;
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("third\n\nfirst"));
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("+4911111"));

    // Each chosen message was shown, and so read; unread takes both, read takes them again.
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 2);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (1)"));
    QTest::keyClick(list, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 0);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (3)"));
    QVERIFY(list->model()->index(0, 0).data(Qt::FontRole).value<QFont>().bold());
    // Still selected, still unread: the selection does not read them again.
    QCOMPARE(SelectedTexts(view), (QStringList{QStringLiteral("third"), QStringLiteral("first")}));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 0);
    QTest::keyClick(list, Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 1")), 2);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (1)"));

    // The context menu offers every action.
    for (const char* name :
         {"acReply", "acForward", "acCopyText", "acCopyNumber", "acMarkRead", "acMarkUnread", "acDelete"}) {
        auto* action = Page(view).findChild<QAction*>(QLatin1String(name));
        QVERIFY2(action && Page(view).pmMessages->actions().contains(action), name);
    }
}

// The inbox read page by page with tiny pages, one kept: the selected messages lie on different
// pages, and every action and every repaint drops the page of the others. Copy, unread, read
// and delete still hit exactly the chosen messages, and a message opened by identity (as a
// notice's click does) is the right one.
void TestMessages::actionsAcrossDroppedPages()
{
    struct TPaging
    {
        TPaging() { TSmsListBase::SetPaging(2, 1); }
        ~TPaging() { TSmsListBase::SetPaging(TSmsListBase::kPageSize, TSmsListBase::kCachedPages); }
    } paging;
    TGuiFixture f;
    TfmMainView& view = f.Open();
    for (int i = 0; i < 12; ++i) {
        f.Modem->Deliver(kSim, QStringLiteral("+49%1").arg(1000 + i), QStringLiteral("m%1").arg(i));
    }
    QVERIFY(f.Poll());
    OnScreen(view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QCOMPARE(Page(view).lvMessages->model()->rowCount(), 12);
    Choose(view, {1, 6, 10});
    const QStringList chosen{QStringLiteral("m10"), QStringLiteral("m5"), QStringLiteral("m1")};
    QCOMPARE(SelectedTexts(view), chosen);
    QTableView* list = Page(view).lvMessages;
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), chosen.join(QStringLiteral("\n\n")));
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("+491010\n+491005\n+491001"));

    auto seenTexts = [&] {
        TSmsIncomingList reloaded(kSim);
        reloaded.LoadMessages();
        QStringList texts;
        for (int i = 0; i < reloaded.Count(); ++i) {
            if (reloaded.Items(i)->Seen()) {
                texts << reloaded.Items(i)->Text();
            }
        }
        return texts;
    };
    QCOMPARE(seenTexts(), chosen);
    QTest::keyClick(list, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(seenTexts(), QStringList());
    QCOMPARE(Caption(view), QStringLiteral("Inbox (12)"));
    QTest::keyClick(list, Qt::Key_M, Qt::ControlModifier);
    QCOMPARE(seenTexts(), chosen);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (9)"));

    TMessageBox::ClearShown();
    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QStringList shown;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        shown << list->model()->index(row, 2).data().toString();
    }
    QCOMPARE(shown, (QStringList{QStringLiteral("m11"), QStringLiteral("m9"), QStringLiteral("m8"),
                                 QStringLiteral("m7"), QStringLiteral("m6"), QStringLiteral("m4"), QStringLiteral("m3"),
                                 QStringLiteral("m2"), QStringLiteral("m0")}));
    QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), 9);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (9)"));

    // The oldest message, opened by identity while other pages are held.
    TSmsIncomingList reloaded(kSim);
    reloaded.LoadMessages();
    const qint64 oldest = reloaded.Items(reloaded.Count() - 1)->Ident();
    list->scrollToTop();
    QVERIFY(Page(view).OpenMessage(oldest));
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("m0"));
}

// Forward opens the new-message dialog with the text; reply opens the conversation with the
// number: both directions in the network's time order, and a reply box that sends.
void TestMessages::forwardAndReply()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    const QDateTime base(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    // The network stamped "earlier" before "later", but the device hands "later" over first.
    for (const QString& pdu : BuildDeliverPdus(QStringLiteral("+4911111"), base.addSecs(600), QStringLiteral("later")))
        f.Modem->DeliverPdu(kSim, pdu);
    QVERIFY(f.Poll());
    for (const QString& pdu : BuildDeliverPdus(QStringLiteral("+4911111"), base, QStringLiteral("earlier")))
        f.Modem->DeliverPdu(kSim, pdu);
    f.Modem->Deliver(kSim, QStringLiteral("+4999999"), QStringLiteral("someone else"));
    QVERIFY(f.Poll());
    OnScreen(view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    // In the network's time order: the message stamped now, then "later", then "earlier".
    Choose(view, {1});
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("later"));

    QString forwarded;
    QString target = QStringLiteral("unset");
    TfmMainView::SetDialogRunner([&](QDialog& Dialog) {
        auto& message = dynamic_cast<TfmCreateMessage&>(Dialog);
        forwarded = message.mmText->toPlainText();
        target = message.cmbTarget->currentText();
        return int(QDialog::Rejected);
    });
    Page(view).acForward->trigger();
    QCOMPARE(forwarded, QStringLiteral("later"));
    QVERIFY(target.isEmpty());

    QTest::keyClick(Page(view).lvMessages, Qt::Key_R, Qt::ControlModifier);
    TConversationView* conversation = Page(view).pnConversation;
    QCOMPARE(Page(view).lvSmsType->currentRow(), int(TMessagesPage::frConversation));
    QVERIFY(conversation->isVisible());
    QCOMPARE(conversation->Number(), QStringLiteral("+4911111"));
    QVERIFY(conversation->mmReply->hasFocus());
    auto texts = [conversation] {
        QStringList result;
        for (const auto& entry : conversation->Model()->Entries()) {
            result << (entry.Incoming ? QStringLiteral("in: ") : QStringLiteral("out: ")) + entry.Text;
        }
        return result;
    };
    QCOMPARE(texts(), (QStringList{QStringLiteral("in: earlier"), QStringLiteral("in: later")}));

    QTest::keyClicks(conversation->mmReply, QStringLiteral("hello"));
    QCOMPARE(conversation->lbSymbols->text(), QStringLiteral("5 / 1"));
    conversation->mmReply->setPlainText(QString(161, QLatin1Char('x')));
    QCOMPARE(conversation->lbSymbols->text(), QStringLiteral("161 / 2"));
    conversation->mmReply->setPlainText(QStringLiteral("<i>answer</i>"));
    QVERIFY(conversation->btnSend->isEnabled());
    QTest::mouseClick(conversation->btnSend, Qt::LeftButton);
    QVERIFY(f.Settle());
    QVERIFY(conversation->mmReply->toPlainText().isEmpty());
    QCOMPARE(f.Modem->SentPdus(kSim).size(), 1);
    QCOMPARE(texts(), (QStringList{QStringLiteral("in: earlier"), QStringLiteral("in: later"),
                                   QStringLiteral("out: <i>answer</i>")}));
    // Shown as written.
    const QModelIndex last = conversation->Model()->index(2, 0);
    QVERIFY(last.data().toString().endsWith(QStringLiteral("\n<i>answer</i>")));
}

// A contact's name stands for the number in the notice, the tray's tool tip and the conversation,
// which joins the number's national and international forms (and no other number).
void TestMessages::contactNamesAndNumberForms()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    TContacts(f.Db.DB()).Set(QStringLiteral("+49 170 1234567"), QStringLiteral("Anna"));
    f.Modem->Deliver(kSim, QStringLiteral("+491701234567"), QStringLiteral("international"));
    QVERIFY(f.Poll());
    QCOMPARE(view.LastBalloonTitle(), QStringLiteral("Message from Anna"));
    QVERIFY2(view.Tray()->Icon()->toolTip().contains(QStringLiteral("Last from Anna")),
             qPrintable(view.Tray()->Icon()->toolTip()));
    f.Modem->Deliver(kSim, QStringLiteral("01701234567"), QStringLiteral("national"));
    f.Modem->Deliver(kSim, QStringLiteral("+491709999999"), QStringLiteral("someone else"));
    QVERIFY(f.Poll());
    QCOMPARE(view.LastBalloonTitle(), QStringLiteral("Message from +491709999999"));

    OnScreen(view);
    Page(view).OpenConversation(QStringLiteral("01701234567"));
    TConversationView* conversation = Page(view).pnConversation;
    QStringList texts;
    for (const auto& entry : conversation->Model()->Entries()) {
        texts << entry.Text;
    }
    QCOMPARE(texts, (QStringList{QStringLiteral("international"), QStringLiteral("national")}));
    QVERIFY(conversation->Model()->index(0, 0).data().toString().startsWith(QStringLiteral("Anna \u00b7 ")));
    // One entry per person in the number box, named.
    QCOMPARE(conversation->cmbNumber->count(), 2);
    QVERIFY2(conversation->cmbNumber->currentText().startsWith(QStringLiteral("Anna (")),
             qPrintable(conversation->cmbNumber->currentText()));
}

// The desktop's own keys for the standard commands, on the actions that do them.
void TestMessages::standardKeys_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("key");
    QTest::newRow("quit") << "acExitApp" << int(QKeySequence::Quit);
    QTest::newRow("preferences") << "acSettings" << int(QKeySequence::Preferences);
    QTest::newRow("find") << "acFind" << int(QKeySequence::Find);
    QTest::newRow("copy") << "acCopyText" << int(QKeySequence::Copy);
    QTest::newRow("delete") << "acDelete" << int(QKeySequence::Delete);
}

void TestMessages::standardKeys()
{
    QFETCH(QString, action);
    QFETCH(int, key);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    auto* found = view.findChild<QAction*>(action);
    QVERIFY(found);
    QCOMPARE(found->shortcuts(), QKeySequence::keyBindings(QKeySequence::StandardKey(key)));
}

// Ctrl+F from anywhere in the window: the messages page, the focus in its search field, the
// text there selected so that typing replaces it; the Tools menu lists the command.
void TestMessages::findKeyOpensTheSearch()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    view.pcMain->setCurrentWidget(view.tsInfo);
    view.cmbInterfaces->setFocus();
    auto* search = Page(view).findChild<QLineEdit*>(QStringLiteral("edSearch"));
    QVERIFY(search);
    search->setText(QStringLiteral("older"));
    QVERIFY(!QKeySequence::keyBindings(QKeySequence::Find).isEmpty());
    QTest::keySequence(&view, QKeySequence::keyBindings(QKeySequence::Find).first());
    QCOMPARE(view.pcMain->currentWidget(), static_cast<QWidget*>(view.tsMessages));
    QTRY_VERIFY(search->hasFocus());
    QCOMPARE(search->selectedText(), QStringLiteral("older"));
    auto* tools = view.findChild<QMenu*>(QStringLiteral("mmiTools"));
    QVERIFY(tools && tools->actions().contains(view.findChild<QAction*>(QStringLiteral("acFind"))));
}

namespace
{

// The texts of the list's rows, top to bottom.
QStringList RowTexts(TfmMainView& View)
{
    QStringList texts;
    const QAbstractItemModel* model = Page(View).lvMessages->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        texts << model->index(row, 2).data().toString();
    }
    return texts;
}

void ClickHeader(TfmMainView& View, int Section)
{
    QHeaderView* header = Page(View).lvMessages->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(Section) + 10, header->height() / 2));
}

} // namespace

// A click on a column's header sorts the folder by it (a second click the other way) across
// pages of the store; the chosen message stays chosen and nothing else becomes read; a new
// message is inserted where the order puts it; the actions reach the right messages; and the
// order is the same after the window is opened again.
void TestMessages::sortByHeader()
{
    struct TPaging
    {
        TPaging() { TSmsListBase::SetPaging(3, 2); }
        ~TPaging() { TSmsListBase::SetPaging(TSmsListBase::kPageSize, TSmsListBase::kCachedPages); }
    } paging;
    TGuiFixture f;
    TfmMainView& view = f.Open();
    const QDateTime base(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    const QList<std::tuple<QString, int, QString>> messages{{QStringLiteral("+4930"), 5, QStringLiteral("delta")},
                                                            {QStringLiteral("+4910"), 1, QStringLiteral("Alpha")},
                                                            {QStringLiteral("+4990"), 7, QStringLiteral("charlie")},
                                                            {QStringLiteral("+4950"), 3, QStringLiteral("Echo")},
                                                            {QStringLiteral("+4920"), 6, QStringLiteral("bravo")},
                                                            {QStringLiteral("+4970"), 2, QStringLiteral("foxtrot")},
                                                            {QStringLiteral("+4940"), 4, QStringLiteral("golf")},
                                                            {QStringLiteral("+4960"), 0, QStringLiteral("Hotel")}};
    for (const auto& [number, minute, text] : messages) {
        f.Modem->DeliverPdu(kSim, BuildDeliverPdus(number, base.addSecs(minute * 60), text).front());
    }
    QVERIFY(f.Poll());
    OnScreen(view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QTableView* list = Page(view).lvMessages;
    QHeaderView* header = list->horizontalHeader();

    // By the network's time, newest first, unless the user chose otherwise.
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    const QStringList byTime{QStringLiteral("charlie"), QStringLiteral("bravo"), QStringLiteral("delta"),
                             QStringLiteral("golf"),    QStringLiteral("Echo"),  QStringLiteral("foxtrot"),
                             QStringLiteral("Alpha"),   QStringLiteral("Hotel")};
    QCOMPARE(RowTexts(view), byTime);
    Choose(view, {3});
    QCOMPARE(Caption(view), QStringLiteral("Inbox (7)"));

    ClickHeader(view, 1);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(RowTexts(view), (QStringList{QStringLiteral("Alpha"), QStringLiteral("bravo"), QStringLiteral("delta"),
                                          QStringLiteral("golf"), QStringLiteral("Echo"), QStringLiteral("Hotel"),
                                          QStringLiteral("foxtrot"), QStringLiteral("charlie")}));
    QCOMPARE(SelectedTexts(view), QStringList{QStringLiteral("golf")});
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("golf"));
    QCOMPARE(Caption(view), QStringLiteral("Inbox (7)"));

    ClickHeader(view, 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    const QStringList byText{QStringLiteral("Alpha"), QStringLiteral("bravo"), QStringLiteral("charlie"),
                             QStringLiteral("delta"), QStringLiteral("Echo"),  QStringLiteral("foxtrot"),
                             QStringLiteral("golf"),  QStringLiteral("Hotel")};
    QCOMPARE(RowTexts(view), byText);
    ClickHeader(view, 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QStringList byTextDown = byText;
    std::reverse(byTextDown.begin(), byTextDown.end());
    QCOMPARE(RowTexts(view), byTextDown);
    QCOMPARE(SelectedTexts(view), QStringList{QStringLiteral("golf")});
    QCOMPARE(Caption(view), QStringLiteral("Inbox (7)"));

    // A new message goes between the others, inserted there rather than the list read anew.
    QSignalSpy inserted(list->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(list->model(), &QAbstractItemModel::modelReset);
    f.Modem->DeliverPdu(kSim,
                        BuildDeliverPdus(QStringLiteral("+4980"), base.addSecs(480), QStringLiteral("Easy")).front());
    QVERIFY(f.Poll());
    QStringList withNew = byTextDown;
    withNew.insert(4, QStringLiteral("Easy"));
    QCOMPARE(RowTexts(view), withNew);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.front().at(1).toInt(), 4);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(SelectedTexts(view), QStringList{QStringLiteral("golf")});
    QCOMPARE(Caption(view), QStringLiteral("Inbox (8)"));
    QVERIFY(list->model()->index(4, 2).data(Qt::FontRole).value<QFont>().bold());

    // The actions act on the messages chosen, wherever the order put them.
    Choose(view, {0, 4});
    QCOMPARE(SelectedTexts(view), (QStringList{QStringLiteral("Hotel"), QStringLiteral("Easy")}));
    QCOMPARE(Caption(view), QStringLiteral("Inbox (6)"));
    Page(view).acMarkUnread->trigger();
    QCOMPARE(Caption(view), QStringLiteral("Inbox (8)"));
    QVERIFY(list->model()->index(0, 2).data(Qt::FontRole).value<QFont>().bold());
    QVERIFY(!list->model()->index(1, 2).data(Qt::FontRole).value<QFont>().bold());
    Page(view).acMarkRead->trigger();
    QCOMPARE(Caption(view), QStringLiteral("Inbox (6)"));
    TSmsIncomingList inbox(kSim);
    inbox.LoadMessages();
    const qint64 alpha = inbox.Items(inbox.Count() - 1)->Ident();
    QCOMPARE(inbox.Items(inbox.Count() - 1)->Text(), QStringLiteral("Alpha"));
    QVERIFY(Page(view).OpenMessage(alpha));
    QCOMPARE(Page(view).mmMessages->toPlainText(), QStringLiteral("Alpha"));
    QCOMPARE(list->currentIndex().row(), 8);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (5)"));
    Choose(view, {4});
    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    QTest::keyClick(list, Qt::Key_Delete);
    withNew.removeAt(4);
    QCOMPARE(RowTexts(view), withNew);
    QCOMPARE(Caption(view), QStringLiteral("Inbox (5)"));
    Choose(view, {1});
    QCOMPARE(SelectedTexts(view), QStringList{QStringLiteral("golf")});
    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(Page(view).pnConversation->Number(), QStringLiteral("+4940"));

    // What became of a sent message is no order of the store: a click on its column changes none.
    Page(view).lvSmsType->setCurrentRow(TMessagesPage::frSent);
    QCOMPARE(list->model()->columnCount(), 4);
    ClickHeader(view, 3);
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(f.Config(QStringLiteral("messages.order")), QStringLiteral("text desc"));
    f.View.reset();
    f.Manager.reset();
    TfmMainView& again = f.Open();
    OnScreen(again);
    QCOMPARE(Page(again).lvMessages->horizontalHeader()->sortIndicatorSection(), 2);
    QCOMPARE(Page(again).lvMessages->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(RowTexts(again), withNew);
    QCOMPARE(Caption(again), QStringLiteral("Inbox (5)"));
}

// The time column shows the network's time stamp in the user's time zone; the time the
// message was stored is in its tool tip, and is all a message without a stamp has.
void TestMessages::bothTimes()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    const QDateTime stamp(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    const TDateTime stored = 46366.75; // 2026-12-10 18:00 local
    Clock::SetNow(stored);
    f.Modem->DeliverPdu(kSim, BuildDeliverPdus(QStringLiteral("+4911"), stamp, QStringLiteral("stamped")).front());
    f.Modem->DeliverPdu(kSim,
                        BuildDeliverPdus(QStringLiteral("+4912"), QDateTime(), QStringLiteral("unstamped")).front());
    const bool polled = f.Poll();
    Clock::SetNow(0);
    QVERIFY(polled);
    OnScreen(view);
    const auto* model = qobject_cast<const TSmsMessagesModel*>(Page(view).lvMessages->model());
    QVERIFY(model);
    QCOMPARE(RowTexts(view), (QStringList{QStringLiteral("unstamped"), QStringLiteral("stamped")}));
    const QString network = model->DateText(stamp.toLocalTime());
    const QString storedText = model->DateText(stored);
    QVERIFY(network != storedText);

    QCOMPARE(model->index(1, 0).data().toString(), network);
    const QString tip =
        QTextDocumentFragment::fromHtml(model->index(1, 0).data(Qt::ToolTipRole).toString()).toPlainText();
    QVERIFY2(tip.contains(QStringLiteral("Network time: ") + network), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("Stored: ") + storedText), qPrintable(tip));

    QCOMPARE(model->index(0, 0).data().toString(), storedText);
    const QString plain =
        QTextDocumentFragment::fromHtml(model->index(0, 0).data(Qt::ToolTipRole).toString()).toPlainText();
    QCOMPARE(plain, QStringLiteral("Stored: ") + storedText);
}

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
