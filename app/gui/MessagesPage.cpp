#include "gui/MessagesPage.h"

#include "core/MBInterfaceItem.h"
#include "core/MainController.h"
#include "core/SmsStore.h"
#include "gui/GuiCommon.h"
#include "gui/Icons.h"
#include "gui/MessageTools.h"
#include "gui/SmsMessagesModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

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
    lvSmsType->setFixedWidth(90);
    lvSmsType->setSpacing(4);
    lvSmsType->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSmsType->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSmsType->setGridSize(QSize(80, 64));
    new QListWidgetItem(QIcon(TIcons::MainImage(3)), QStringLiteral("Inbox"), lvSmsType);
    new QListWidgetItem(QIcon(TIcons::MainImage(4)), QStringLiteral("Sent"), lvSmsType);
    // Keeps the selection visible when the list has no focus.
    QPalette palette = lvSmsType->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    lvSmsType->setPalette(palette);

    auto* pnMessages = new QWidget(this);
    pnMessages->setObjectName(QStringLiteral("pnMessages"));
    spMessage = new QSplitter(Qt::Vertical, pnMessages);
    spMessage->setObjectName(QStringLiteral("spMessage"));
    spMessage->setHandleWidth(9);
    spMessage->setChildrenCollapsible(false);

    FMessagesModel = new TSmsMessagesModel(this);
    lvMessages = new QTableView(spMessage);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setModel(FMessagesModel);
    lvMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMessages->setShowGrid(false);
    lvMessages->setWordWrap(false);
    lvMessages->setTextElideMode(Qt::ElideRight);
    lvMessages->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
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

    mmMessages = new QPlainTextEdit(spMessage);
    mmMessages->setObjectName(QStringLiteral("mmMessages"));
    mmMessages->setMinimumHeight(40);
    spMessage->addWidget(lvMessages);
    spMessage->addWidget(mmMessages);
    spMessage->setStretchFactor(0, 1);
    spMessage->setStretchFactor(1, 0);
    spMessage->setSizes({200, 89});

    auto* panelLayout = new QVBoxLayout(pnMessages);
    panelLayout->setContentsMargins(10, 0, 0, 0);
    // Search over every message of the device; a result chosen is shown below the list.
    auto* search = new TMessageSearchBox(
        [this] {
            const TMBInterfaceItem* item = FController.SelectedInterface();
            return item ? item->InterfaceID() : QString();
        },
        pnMessages);
    connect(search, &TMessageSearchBox::MessageChosen, this,
            [this](const TMessageRecord& Message) { mmMessages->setPlainText(Message.Text); });
    panelLayout->addWidget(search);
    panelLayout->addWidget(spMessage, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(lvSmsType);
    layout->addWidget(pnMessages, 1);

    connect(lvSmsType, &QListWidget::itemSelectionChanged, this,
            [this] { Guarded(this, [this] { lvSmsTypeSelectItem(); }); });
    connect(lvMessages->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& Selected, const QItemSelection& Deselected) {
                Guarded(this, [&] { lvMessagesSelectItem(Selected, Deselected); });
            });
}

void TMessagesPage::Activated()
{
    if (lvSmsType->selectedItems().isEmpty()) {
        lvSmsType->setCurrentRow(0);
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

void TMessagesPage::RefreshMessages()
{
    TMBInterfaceItem* item = FController.SelectedInterface();
    const auto folder = static_cast<TSmsMessagesModel::TFolder>(item ? SelectedSmsFolder() : -1);
    const QModelIndexList rows = lvMessages->selectionModel()->selectedRows();
    const int selectedRow = rows.isEmpty() ? -1 : rows.first().row();
    FMessagesModel->SetSource(item, folder);
    if (folder != TSmsMessagesModel::fdNone) {
        // The selection keeps its row index; the row may now show another message, whose
        // text is shown (and, in the inbox, marked seen) as if it had just been chosen.
        if (selectedRow >= 0 && selectedRow < FMessagesModel->rowCount()) {
            lvMessages->selectionModel()->select(FMessagesModel->index(selectedRow, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        } else if (selectedRow >= 0) {
            // The row is gone with the shorter folder, and so is its text.
            mmMessages->clear();
        }
    } else {
        mmMessages->clear();
    }
    UpdateInboxCaption();
}

void TMessagesPage::UpdateInboxCaption()
{
    TMBInterfaceItem* item = FController.SelectedInterface();
    if (!item) {
        return;
    }
    const int unread = item->SmsIncomingList()->UnreadCount();
    QListWidgetItem* inbox = lvSmsType->item(0);
    inbox->setText(unread == 0 ? QStringLiteral("Inbox") : QStringLiteral("Inbox (%1)").arg(unread));
    QFont font = lvSmsType->font();
    font.setBold(unread > 0);
    inbox->setFont(font);
}

void TMessagesPage::lvMessagesSelectItem(const QItemSelection& Selected, const QItemSelection&)
{
    if (Selected.isEmpty()) {
        if (lvMessages->selectionModel()->selectedRows().isEmpty()) {
            mmMessages->clear();
        }
        return;
    }
    const int row = Selected.indexes().first().row();
    TSmsItem* message = FMessagesModel->ItemAt(row);
    if (!message) {
        return;
    }
    mmMessages->setPlainText(message->DisplayText());
    if (FMessagesModel->IsIncoming()) {
        static_cast<TSmsIncomingItem*>(message)->MarkSeen();
        FMessagesModel->RowChanged(row);
        UpdateInboxCaption();
    }
}

} // namespace Ombrelay
