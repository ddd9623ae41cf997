#include "gui/MessagesPage.h"

#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/MainController.h"
#include "core/MessageOrder.h"
#include "core/Options.h"
#include "core/SmsReports.h"
#include "core/SmsStore.h"
#include "gui/ConversationView.h"
#include "gui/CreateMessage.h"
#include "gui/GuiCommon.h"
#include "gui/Icons.h"
#include "gui/MessageBox.h"
#include "gui/MessageTools.h"
#include "gui/SmsMessagesModel.h"
#include "sms/SMS.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace Ombrelay
{

TMessagesPage::TMessagesPage(const TMainController& Controller, QWidget* Parent)
    : QWidget(Parent)
    , FController(Controller)
{
    setObjectName(QStringLiteral("tsMessages"));

    lvSmsType = new QListWidget(this);
    lvSmsType->setObjectName(QStringLiteral("lvSmsType"));
    lvSmsType->setViewMode(QListView::IconMode);
    lvSmsType->setFlow(QListView::TopToBottom);
    lvSmsType->setMovement(QListView::Static);
    lvSmsType->setWrapping(false);
    lvSmsType->setIconSize(QSize(32, 32));
    lvSmsType->setSpacing(4);
    lvSmsType->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSmsType->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSmsType->setTextElideMode(Qt::ElideNone);
    new QListWidgetItem(QIcon(TIcons::MainImage(3)), tr("Inbox"), lvSmsType);
    new QListWidgetItem(QIcon(TIcons::MainImage(4)), tr("Sent"), lvSmsType);
    new QListWidgetItem(QIcon(TIcons::MainImage(5)), tr("Conversation"), lvSmsType);
    // Keeps the selection visible when the list has no focus.
    QPalette palette = lvSmsType->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    lvSmsType->setPalette(palette);

    auto* pnMessages = new QWidget(this);
    pnMessages->setObjectName(QStringLiteral("pnMessages"));
    stFolder = new QStackedWidget(pnMessages);
    stFolder->setObjectName(QStringLiteral("stFolder"));
    spMessage = new QSplitter(Qt::Vertical, stFolder);
    spMessage->setObjectName(QStringLiteral("spMessage"));
    spMessage->setHandleWidth(9);
    spMessage->setChildrenCollapsible(false);

    FMessagesModel = new TSmsMessagesModel(this);
    lvMessages = new QTableView(spMessage);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setModel(FMessagesModel);
    lvMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMessages->setShowGrid(false);
    lvMessages->setWordWrap(false);
    lvMessages->setTextElideMode(Qt::ElideRight);
    lvMessages->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    lvMessages->setContextMenuPolicy(Qt::CustomContextMenu);
    lvMessages->verticalHeader()->hide();
    // Fixed row heights: the view never measures rows, whatever the folder's size.
    lvMessages->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvMessages->verticalHeader()->setDefaultSectionSize(lvMessages->fontMetrics().height() + 6);
    lvMessages->horizontalHeader()->setHighlightSections(false);
    lvMessages->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lvMessages->setColumnWidth(0, 165);
    lvMessages->setColumnWidth(1, 120);
    lvMessages->setColumnWidth(2, 240);
    lvMessages->horizontalHeader()->setStretchLastSection(true);
    // The order comes from the store (never from sorting the rows here), chosen by a click on a
    // header and kept from one start to the next.
    lvMessages->horizontalHeader()->setSectionsClickable(true);
    lvMessages->horizontalHeader()->setSortIndicatorShown(true);
    TSmsListBase::TOrder order{TSmsListBase::ocNetworkTime, true};
    if (Database) {
        try {
            order = LoadMessageOrder(*Database);
        } catch (const std::exception&) {
            // Unreadable settings leave the default order.
        }
    }
    FOrderColumn = order.Column;
    FOrderDescending = order.Descending;
    TSmsListBase::SetDefaultOrder(order);
    ShowSortIndicator();
    connect(lvMessages->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this](int Column, Qt::SortOrder Order) { Guarded(this, [&] { SortBy(Column, Order); }); });

    mmMessages = new QPlainTextEdit(spMessage);
    mmMessages->setObjectName(QStringLiteral("mmMessages"));
    mmMessages->setMinimumHeight(40);
    mmMessages->setReadOnly(true);
    spMessage->addWidget(lvMessages);
    spMessage->addWidget(mmMessages);
    spMessage->setStretchFactor(0, 1);
    spMessage->setStretchFactor(1, 0);
    spMessage->setSizes({200, 89});

    pnConversation = new TConversationView(stFolder);
    stFolder->addWidget(spMessage);
    stFolder->addWidget(pnConversation);

    auto* panelLayout = new QVBoxLayout(pnMessages);
    panelLayout->setContentsMargins(10, 0, 0, 0);
    // Search over every message of the device; a result chosen is shown below the list.
    auto* search = new TMessageSearchBox(
        [this] {
            const TMBInterfaceItem* item = FController.SelectedInterface();
            return item ? item->InterfaceID() : QString();
        },
        pnMessages);
    connect(search, &TMessageSearchBox::MessageChosen, this, [this](const TMessageRecord& Message) {
        stFolder->setCurrentWidget(spMessage);
        mmMessages->setPlainText(Message.Text);
    });
    panelLayout->addWidget(search);
    panelLayout->addWidget(stFolder, 1);
    lbUnmatchedReports = new QLabel(pnMessages);
    lbUnmatchedReports->setObjectName(QStringLiteral("lbUnmatchedReports"));
    // Numbers come from the network: never read as markup.
    lbUnmatchedReports->setTextFormat(Qt::PlainText);
    lbUnmatchedReports->setWordWrap(true);
    lbUnmatchedReports->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbUnmatchedReports->hide();
    panelLayout->addWidget(lbUnmatchedReports);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(lvSmsType);
    layout->addWidget(pnMessages, 1);

    acRetrySend = new QAction(tr("Retry"), this);
    acRetrySend->setObjectName(QStringLiteral("acRetrySend"));
    acEditSent = new QAction(tr("Edit and Send..."), this);
    acEditSent->setObjectName(QStringLiteral("acEditSent"));
    UpdateSentActions();
    connect(acRetrySend, &QAction::triggered, this, [this] { Guarded(this, [this] { acRetrySendExecute(); }); });
    connect(acEditSent, &QAction::triggered, this, [this] {
        if (TSmsOutgoingItem* failed = SelectedFailed()) {
            // Copies: what the dialog shows may read other pages and free the message's.
            Q_EMIT EditRequested(QString(failed->Number()), failed->Text());
        }
    });
    acReply = NewAction("acReply", tr("Reply"), QKeySequence(Qt::CTRL | Qt::Key_R), &TMessagesPage::Reply);
    acForward = NewAction("acForward", tr("Forward..."), QKeySequence(Qt::CTRL | Qt::Key_L), &TMessagesPage::Forward);
    acCopyText = NewAction("acCopyText", tr("Copy text"), QKeySequence::Copy, &TMessagesPage::CopyText);
    acCopyNumber = NewAction("acCopyNumber", tr("Copy number"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                             &TMessagesPage::CopyNumber);
    acMarkRead =
        NewAction("acMarkRead", tr("Mark as read"), QKeySequence(Qt::CTRL | Qt::Key_M), &TMessagesPage::MarkRead);
    acMarkUnread =
        NewAction("acMarkUnread", tr("Mark as unread"), QKeySequence(Qt::CTRL | Qt::Key_U), &TMessagesPage::MarkUnread);
    acDelete = NewAction("acDelete", tr("Delete..."), QKeySequence::Delete, &TMessagesPage::DeleteSelected);
    // Every key the desktop binds to the standard command (Copy is also Ctrl+Insert), not its first.
    acCopyText->setShortcuts(QKeySequence::Copy);
    acDelete->setShortcuts(QKeySequence::Delete);
    pmMessages = new QMenu(this);
    pmMessages->setObjectName(QStringLiteral("pmMessages"));
    pmMessages->addActions({acReply, acForward});
    pmMessages->addSeparator();
    pmMessages->addActions({acRetrySend, acEditSent});
    pmMessages->addSeparator();
    pmMessages->addActions({acCopyText, acCopyNumber});
    pmMessages->addSeparator();
    pmMessages->addActions({acMarkRead, acMarkUnread});
    pmMessages->addSeparator();
    pmMessages->addAction(acDelete);
    UpdateMessageActions();
    UpdateInboxCaption();

    connect(lvSmsType, &QListWidget::itemSelectionChanged, this,
            [this] { Guarded(this, [this] { lvSmsTypeSelectItem(); }); });
    connect(lvMessages->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Guarded(this, [this] { lvMessagesSelectItem(); }); });
    connect(lvMessages->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { Guarded(this, [this] { lvMessagesSelectItem(); }); });
    connect(lvMessages, &QWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
        UpdateMessageActions();
        pmMessages->popup(lvMessages->viewport()->mapToGlobal(Pos));
    });
    connect(pnConversation, &TConversationView::SendWanted, this,
            [this](const QString& Number, const QString& Text) { Guarded(this, [&] { SendReply(Number, Text); }); });
}

QAction* TMessagesPage::NewAction(const char* Name, const QString& Caption, const QKeySequence& Key,
                                  void (TMessagesPage::*Run)())
{
    auto* action = new QAction(Caption, this);
    action->setObjectName(QLatin1String(Name));
    action->setShortcut(Key);
    // The keys work where the messages are, and leave other pages' keys alone.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lvMessages->addAction(action);
    connect(action, &QAction::triggered, this, [this, Run] { Guarded(this, [this, Run] { (this->*Run)(); }); });
    return action;
}

void TMessagesPage::FocusSearch()
{
    if (auto* search = findChild<TMessageSearchBox*>()) {
        search->edSearch->setFocus(Qt::ShortcutFocusReason);
        search->edSearch->selectAll();
    }
}

void TMessagesPage::Activated()
{
    if (lvSmsType->selectedItems().isEmpty()) {
        lvSmsType->setCurrentRow(frInbox);
    }
}

int TMessagesPage::SelectedSmsFolder() const
{
    const auto selected = lvSmsType->selectedItems();
    if (selected.isEmpty()) {
        return TSmsMessagesModel::fdNone;
    }
    return lvSmsType->row(selected.first());
}

void TMessagesPage::lvSmsTypeSelectItem()
{
    RefreshMessages();
}

int TMessagesPage::RowOfIdent(qint64 Ident, int Hint) const
{
    // Found by the list, which reads no page for it (a scan would read the whole folder).
    return FMessagesModel->RowOfIdent(Ident, Hint);
}

void TMessagesPage::ShowSortIndicator()
{
    int section = -1;
    switch (FOrderColumn) {
    case TSmsListBase::ocNetworkTime:
        section = 0;
        break;
    case TSmsListBase::ocNumber:
        section = 1;
        break;
    case TSmsListBase::ocText:
        section = 2;
        break;
    default:
        break;
    }
    QHeaderView* header = lvMessages->horizontalHeader();
    const QSignalBlocker blocker(header);
    header->setSortIndicator(section, FOrderDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TMessagesPage::ApplyOrder(TMBInterfaceItem* Item)
{
    const TSmsListBase::TOrder order{TSmsListBase::TOrderColumn(FOrderColumn), FOrderDescending};
    auto apply = [&](TMBInterfaceItem* Each) {
        Each->SmsIncomingList()->SetOrder(order);
        Each->SmsOutgoingList()->SetOrder(order);
    };
    if (Item) {
        apply(Item);
        return;
    }
    TSmsListBase::SetDefaultOrder(order);
    if (IMBManager* manager = FController.Manager()) {
        for (const auto& each : *manager->GetInterfaceList()) {
            apply(each.get());
        }
    }
}

void TMessagesPage::SortBy(int Column, Qt::SortOrder Order)
{
    static const TSmsListBase::TOrderColumn columns[] = {TSmsListBase::ocNetworkTime, TSmsListBase::ocNumber,
                                                         TSmsListBase::ocText};
    if (Column < 0 || Column >= int(std::size(columns))) {
        // What became of a sent message is not kept in the table: that column keeps its order.
        ShowSortIndicator();
        return;
    }
    FOrderColumn = columns[Column];
    FOrderDescending = Order == Qt::DescendingOrder;
    ApplyOrder(nullptr);
    if (Database) {
        try {
            SaveMessageOrder(*Database, {TSmsListBase::TOrderColumn(FOrderColumn), FOrderDescending});
        } catch (const std::exception& e) {
            // The lists are sorted all the same; the order is only not kept for the next start.
            qWarning("Ombrelay: the order of the messages could not be saved: %s", e.what());
        }
    }
    RefreshMessages();
    // The message the keyboard is on stays in sight wherever the order put it.
    if (lvMessages->currentIndex().isValid()) {
        lvMessages->scrollTo(lvMessages->currentIndex());
    }
}

void TMessagesPage::RefreshMessages()
{
    TMBInterfaceItem* item = FController.SelectedInterface();
    if (item) {
        ApplyOrder(item);
    }
    const int folderRow = item ? SelectedSmsFolder() : -1;
    const bool conversation = folderRow == frConversation;
    stFolder->setCurrentWidget(conversation ? static_cast<QWidget*>(pnConversation) : spMessage);
    if (conversation) {
        pnConversation->ShowConversation(item);
    }
    const auto folder =
        static_cast<TSmsMessagesModel::TFolder>(folderRow == frInbox || folderRow == frSent ? folderRow : -1);

    // What is selected, by identity, as it was recorded when it was chosen: the rows of the
    // model are stale by now (the list behind it has grown), so nothing is read through them.
    // New messages come in at the top, so a message that stays is most likely as many rows
    // further down as the folder grew.
    const int oldCount = FMessagesModel->rowCount();
    const QList<std::pair<qint64, int>> selected = FSelection;
    const std::pair<qint64, int> current = FCurrent;
    const bool sameSource = item == FShownItem && folder == FShownFolder;

    FRestoring = true;
    FMessagesModel->SetSource(item, folder);
    FShownItem = item;
    FShownFolder = folder;
    if (folder != TSmsMessagesModel::fdNone && sameSource) {
        const int shift = FMessagesModel->rowCount() - oldCount;
        QItemSelection selection;
        for (const auto& [ident, row] : selected) {
            const int now = RowOfIdent(ident, row + shift);
            if (now >= 0) {
                selection.select(FMessagesModel->index(now, 0),
                                 FMessagesModel->index(now, FMessagesModel->columnCount() - 1));
            }
        }
        if (current.first != 0) {
            const int now = RowOfIdent(current.first, current.second + shift);
            if (now >= 0) {
                lvMessages->selectionModel()->setCurrentIndex(FMessagesModel->index(now, 0),
                                                              QItemSelectionModel::NoUpdate);
            }
        }
        lvMessages->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    RecordSelection();
    FRestoring = false;
    ShowText(false);
    UpdateUnmatchedReports(item, folderRow);
    UpdateInboxCaption();
    UpdateMessageActions();
    UpdateSentActions();
}

void TMessagesPage::UpdateUnmatchedReports(TMBInterfaceItem* Item, int FolderRow)
{
    QList<TStoredReport> reports;
    if (Item && FolderRow == frSent) {
        try {
            reports = TSmsReports::Unmatched(Item->InterfaceID());
        } catch (const std::exception&) {
            // A database that cannot be read now shows them at the next refresh.
        }
    }
    if (reports.isEmpty()) {
        lbUnmatchedReports->hide();
        lbUnmatchedReports->clear();
        return;
    }
    // The newest few; they are stored, so none is lost by not being listed here.
    constexpr int kShown = 3;
    QStringList lines;
    for (qsizetype i = reports.size() - 1; i >= 0 && lines.size() < kShown; --i) {
        const TStoredReport& r = reports[i];
        const QDateTime when = r.Discharge != TSmsRecv::kNoTimeStamp
                                   ? QDateTime::fromSecsSinceEpoch(r.Discharge).toLocalTime()
                                   : ToQDateTime(r.Date);
        lines << tr("Delivery report for a message not sent from here: %1, %2 at %3")
                     .arg(r.Recipient.isEmpty() ? tr("unknown recipient") : r.Recipient,
                          r.Status < 0 ? tr("no status") : TSmsRecv::StatusText(r.Status),
                          QLocale().toString(when, QLocale::ShortFormat));
    }
    if (reports.size() > kShown) {
        lines << tr("and %n more", nullptr, int(reports.size() - kShown));
    }
    lbUnmatchedReports->setText(lines.join(QLatin1Char('\n')));
    lbUnmatchedReports->show();
}

TSmsOutgoingItem* TMessagesPage::SelectedFailed() const
{
    TMBInterfaceItem* item = FController.SelectedInterface();
    const QModelIndexList rows = lvMessages->selectionModel()->selectedRows();
    if (!item || rows.isEmpty() || SelectedSmsFolder() != TSmsMessagesModel::fdSent || FMessagesModel->IsIncoming()) {
        return nullptr;
    }
    auto* message = static_cast<TSmsOutgoingItem*>(FMessagesModel->ItemAt(rows.first().row()));
    if (!message || item->SmsOutgoingList()->State(*message) != ssFailed || message->Kind() != ikText) {
        return nullptr;
    }
    return message;
}

void TMessagesPage::UpdateSentActions()
{
    const bool failed = SelectedFailed() != nullptr;
    acRetrySend->setEnabled(failed && FController.Manager());
    acEditSent->setEnabled(failed);
}

void TMessagesPage::acRetrySendExecute()
{
    const TSmsOutgoingItem* failed = SelectedFailed();
    TMBInterfaceItem* item = FController.SelectedInterface();
    IMBManager* manager = FController.Manager();
    if (!failed || !item || !manager) {
        return;
    }
    // By identity: the device's confirmation of the new message may drop the page that holds
    // the failed one while the send is under way.
    RetrySend(*manager, item->InterfaceID(), *item->SmsOutgoingList(), failed->Ident(),
              !Options || Options->RequestDeliveryReports());
    // The failed message now says it was sent again; the new one joins when the device confirms it.
    RefreshMessages();
}

void TMessagesPage::UpdateInboxCaption()
{
    TMBInterfaceItem* item = FController.SelectedInterface();
    const int unread = item ? item->SmsIncomingList()->UnreadCount() : 0;
    QListWidgetItem* inbox = lvSmsType->item(frInbox);
    inbox->setText(unread == 0 ? tr("Inbox") : tr("Inbox (%1)").arg(unread));
    QFont font = lvSmsType->font();
    font.setBold(unread > 0);
    inbox->setFont(font);

    // Every caption fits its cell in the bold font, so that no count is ever cut; the cells
    // grow with the text, and the whole list is drawn again, so that a shorter caption leaves
    // nothing of a longer one behind.
    QFont bold = lvSmsType->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int width = 80;
    for (int i = 0; i < lvSmsType->count(); ++i) {
        width = std::max(width, metrics.horizontalAdvance(lvSmsType->item(i)->text()) + 12);
    }
    const QSize grid(width, lvSmsType->iconSize().height() + metrics.height() + 16);
    if (lvSmsType->gridSize() != grid) {
        lvSmsType->setGridSize(grid);
    }
    const int listWidth = width + 2 * lvSmsType->frameWidth() + 10;
    if (lvSmsType->width() != listWidth || lvSmsType->minimumWidth() != listWidth) {
        lvSmsType->setFixedWidth(listWidth);
    }
    lvSmsType->viewport()->update();
}

TSmsItem* TMessagesPage::ShownMessage() const
{
    const QModelIndexList rows = lvMessages->selectionModel()->selectedRows();
    const QModelIndex current = lvMessages->currentIndex();
    if (current.isValid() && lvMessages->selectionModel()->isRowSelected(current.row(), QModelIndex())) {
        return FMessagesModel->ItemAt(current.row());
    }
    if (rows.size() == 1) {
        return FMessagesModel->ItemAt(rows.first().row());
    }
    return nullptr;
}

void TMessagesPage::ShowText(bool ByUser)
{
    TSmsItem* message = ShownMessage();
    if (!message) {
        mmMessages->clear();
        return;
    }
    mmMessages->setPlainText(message->DisplayText());
    // Read means read by someone: a choice the user made while the page was on screen.
    if (ByUser && FMessagesModel->IsIncoming() && lvMessages->isVisible()) {
        auto* incoming = static_cast<TSmsIncomingItem*>(message);
        if (!incoming->Seen()) {
            const qint64 ident = message->Ident();
            incoming->MarkSeen();
            const int row = RowOfIdent(ident, lvMessages->currentIndex().row());
            FMessagesModel->RowChanged(row);
            UpdateInboxCaption();
            Q_EMIT UnreadChanged();
        }
    }
}

void TMessagesPage::RecordSelection()
{
    FSelection.clear();
    for (const QModelIndex& index : lvMessages->selectionModel()->selectedRows()) {
        if (const TSmsItem* message = FMessagesModel->ItemAt(index.row())) {
            FSelection.append({message->Ident(), index.row()});
        }
    }
    const QModelIndex current = lvMessages->currentIndex();
    const TSmsItem* message = current.isValid() ? FMessagesModel->ItemAt(current.row()) : nullptr;
    FCurrent = message ? std::pair<qint64, int>{message->Ident(), current.row()} : std::pair<qint64, int>{0, -1};
}

void TMessagesPage::lvMessagesSelectItem()
{
    if (FRestoring) {
        return;
    }
    RecordSelection();
    ShowText(true);
    UpdateMessageActions();
    UpdateSentActions();
}

QList<qint64> TMessagesPage::SelectedIdents() const
{
    QList<int> rows;
    for (const QModelIndex& index : lvMessages->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    QList<qint64> result;
    for (int row : rows) {
        if (const TSmsItem* message = FMessagesModel->ItemAt(row)) {
            result.append(message->Ident());
        }
    }
    return result;
}

TSmsItem* TMessagesPage::MessageOfIdent(qint64 Ident) const
{
    return FMessagesModel->ItemAt(FMessagesModel->RowOfIdent(Ident));
}

void TMessagesPage::UpdateMessageActions()
{
    const QList<qint64> selected = SelectedIdents();
    bool anyRead = false;
    bool anyUnread = false;
    if (FMessagesModel->IsIncoming()) {
        for (const qint64 ident : selected) {
            if (const TSmsItem* message = MessageOfIdent(ident)) {
                (static_cast<const TSmsIncomingItem*>(message)->Seen() ? anyRead : anyUnread) = true;
            }
        }
    }
    // Taken last: looking up the others may have dropped its page.
    const TSmsItem* shown = ShownMessage();
    acReply->setEnabled(shown && TfmCreateMessage::IsTargetValid(shown->Number()));
    acForward->setEnabled(shown && shown->Kind() == ikText);
    acCopyText->setEnabled(!selected.isEmpty());
    acCopyNumber->setEnabled(!selected.isEmpty());
    acMarkRead->setEnabled(anyUnread);
    acMarkUnread->setEnabled(anyRead);
    acDelete->setEnabled(!selected.isEmpty());
}

bool TMessagesPage::OpenMessage(qint64 Ident)
{
    if (!FController.SelectedInterface()) {
        return false;
    }
    lvSmsType->setCurrentRow(frInbox);
    const int row = RowOfIdent(Ident, 0);
    if (row < 0) {
        return false;
    }
    lvMessages->selectionModel()->setCurrentIndex(FMessagesModel->index(row, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    lvMessages->scrollTo(FMessagesModel->index(row, 0));
    lvMessages->setFocus();
    return true;
}

void TMessagesPage::OpenConversation(const QString& Number)
{
    // A copy: Number may be a message's own (a reply), and choosing the folder reads every page,
    // which frees the page that message was on.
    const QString number = Number;
    TMBInterfaceItem* item = FController.SelectedInterface();
    if (!item) {
        return;
    }
    lvSmsType->setCurrentRow(frConversation);
    pnConversation->ShowConversation(item, number);
    pnConversation->FocusReply();
}

void TMessagesPage::SendReply(const QString& Number, const QString& Text)
{
    TMBInterfaceItem* item = FController.SelectedInterface();
    IMBManager* manager = FController.Manager();
    if (!item || !manager) {
        return;
    }
    TSmsSend smsSend;
    smsSend.SetTarget(Number);
    smsSend.SetText(Text);
    // The conversation shows the message once the device confirms it; a failure raises here
    // and leaves the typed text in the box.
    manager->SendMessage(item->InterfaceID(), smsSend.Target(), smsSend.Text(), smsSend.EncodePdu());
    pnConversation->mmReply->clear();
}

void TMessagesPage::Reply()
{
    if (const TSmsItem* message = ShownMessage(); message && TfmCreateMessage::IsTargetValid(message->Number())) {
        OpenConversation(message->Number());
    }
}

void TMessagesPage::Forward()
{
    if (const TSmsItem* message = ShownMessage(); message && message->Kind() == ikText) {
        Q_EMIT NewMessageWanted(message->DisplayText());
    }
}

void TMessagesPage::CopyText()
{
    QStringList texts;
    for (const qint64 ident : SelectedIdents()) {
        if (const TSmsItem* message = MessageOfIdent(ident)) {
            texts.append(message->DisplayText());
        }
    }
    if (!texts.isEmpty()) {
        QGuiApplication::clipboard()->setText(texts.join(QStringLiteral("\n\n")));
    }
}

void TMessagesPage::CopyNumber()
{
    QStringList numbers;
    for (const qint64 ident : SelectedIdents()) {
        const TSmsItem* message = MessageOfIdent(ident);
        if (message && !message->Number().isEmpty() && !numbers.contains(message->Number())) {
            numbers.append(message->Number());
        }
    }
    if (!numbers.isEmpty()) {
        QGuiApplication::clipboard()->setText(numbers.join(QLatin1Char('\n')));
    }
}

void TMessagesPage::MarkRead()
{
    if (!FMessagesModel->IsIncoming()) {
        return;
    }
    for (const qint64 ident : SelectedIdents()) {
        if (TSmsItem* message = MessageOfIdent(ident)) {
            static_cast<TSmsIncomingItem*>(message)->MarkSeen();
        }
    }
    lvMessages->viewport()->update();
    UpdateInboxCaption();
    UpdateMessageActions();
    Q_EMIT UnreadChanged();
}

void TMessagesPage::MarkUnread()
{
    if (!FMessagesModel->IsIncoming()) {
        return;
    }
    for (const qint64 ident : SelectedIdents()) {
        if (TSmsItem* message = MessageOfIdent(ident)) {
            static_cast<TSmsIncomingItem*>(message)->MarkUnseen();
        }
    }
    lvMessages->viewport()->update();
    UpdateInboxCaption();
    UpdateMessageActions();
    Q_EMIT UnreadChanged();
}

void TMessagesPage::DeleteSelected()
{
    TMBInterfaceItem* item = FController.SelectedInterface();
    // Identities, taken before the question: the list is drawn (and its pages read) meanwhile.
    const QList<qint64> idents = SelectedIdents();
    if (!item || idents.isEmpty()) {
        return;
    }
    const QList<qint64>& selected = idents;
    if (TMessageBox::Question(this, tr("Delete"),
                              tr("Delete %n message(s) from this computer? Messages on the modem are not affected.",
                                 nullptr, int(selected.size()))) != QMessageBox::Yes) {
        return;
    }
    int firstRow = FMessagesModel->rowCount();
    for (const QModelIndex& index : lvMessages->selectionModel()->selectedRows()) {
        firstRow = std::min(firstRow, index.row());
    }
    FRestoring = true;
    lvMessages->selectionModel()->clear();
    FRestoring = false;
    RecordSelection();
    if (FMessagesModel->IsIncoming()) {
        item->SmsIncomingList()->RemoveMessages(idents);
    } else {
        item->SmsOutgoingList()->RemoveMessages(idents);
    }
    Q_EMIT MessagesRemoved(idents);
    RefreshMessages();
    // The keyboard goes on from where the messages were, without choosing (and so reading) the
    // message that moved up.
    const int next = std::min(firstRow, FMessagesModel->rowCount() - 1);
    if (next >= 0) {
        lvMessages->selectionModel()->setCurrentIndex(FMessagesModel->index(next, 0), QItemSelectionModel::NoUpdate);
    }
    Q_EMIT UnreadChanged();
}

} // namespace Ombrelay
