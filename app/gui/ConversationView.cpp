#include "gui/ConversationView.h"

#include "base/DateTime.h"
#include "core/MBInterfaceItem.h"
#include "core/SmsStore.h"
#include "gui/CreateMessage.h"
#include "sms/SMS.h"

#include <QBrush>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPalette>
#include <QPushButton>
#include <QSet>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace Ombrelay
{

namespace
{

QString LocalTimeText(qint64 Seconds)
{
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(Seconds).toLocalTime(), QLocale::ShortFormat);
}

} // namespace

TConversationModel::TConversationModel(QObject* Parent)
    : QAbstractListModel(Parent)
{
}

qint64 TConversationModel::StoredTimeOf(const TSmsItem& Item)
{
    return ToQDateTime(Item.DateTime()).toSecsSinceEpoch();
}

qint64 TConversationModel::NetworkTimeOf(const TSmsItem& Item)
{
    return Item.TimeStamp() != TSmsRecv::kNoTimeStamp ? Item.TimeStamp() : StoredTimeOf(Item);
}

void TConversationModel::SetSource(TMBInterfaceItem* Item, const QString& Number)
{
    beginResetModel();
    FNumber = Number;
    FEntries.clear();
    if (Item && !Number.isEmpty()) {
        auto collect = [&](const TSmsListBase& List, auto Get, bool Incoming) {
            for (int i = List.Count() - 1; i >= 0; --i) {
                const TSmsItem* message = Get(i);
                if (message->Number() != Number) {
                    continue;
                }
                FEntries.append(TEntry{Incoming, message->Ident(), NetworkTimeOf(*message), StoredTimeOf(*message),
                                       message->DisplayText()});
            }
        };
        const TSmsIncomingList* inbox = Item->SmsIncomingList();
        const TSmsOutgoingList* outbox = Item->SmsOutgoingList();
        collect(
            *inbox, [inbox](int i) { return inbox->Items(i); }, true);
        collect(
            *outbox, [outbox](int i) { return outbox->Items(i); }, false);
        // Stable: messages with the same time keep the order in which they were stored.
        std::stable_sort(FEntries.begin(), FEntries.end(),
                         [](const TEntry& A, const TEntry& B) { return A.NetworkTime < B.NetworkTime; });
    }
    endResetModel();
}

int TConversationModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : int(FEntries.size());
}

QVariant TConversationModel::data(const QModelIndex& Index, int Role) const
{
    if (!Index.isValid() || Index.row() >= FEntries.size()) {
        return QVariant();
    }
    const TEntry& entry = FEntries[Index.row()];
    switch (Role) {
    case Qt::DisplayRole:
        return QStringLiteral("%1 \u00b7 %2\n%3")
            .arg(entry.Incoming ? FNumber : tr("Me"), LocalTimeText(entry.NetworkTime), entry.Text);
    case Qt::ToolTipRole:
        // Drawn as rich text when it looks like markup: the sender's text is escaped first.
        return Qt::convertFromPlainText(
            tr("Network time: %1\nStored: %2").arg(LocalTimeText(entry.NetworkTime), LocalTimeText(entry.StoredTime)),
            Qt::WhiteSpaceNormal);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment((entry.Incoming ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter));
    case Qt::BackgroundRole:
        return entry.Incoming ? QVariant() : QVariant(QPalette().brush(QPalette::AlternateBase));
    default:
        return QVariant();
    }
}

TConversationView::TConversationView(QWidget* Parent)
    : QWidget(Parent)
    , FModel(new TConversationModel(this))
{
    setObjectName(QStringLiteral("pnConversation"));
    cmbNumber = new QComboBox(this);
    cmbNumber->setObjectName(QStringLiteral("cmbNumber"));
    cmbNumber->setEditable(false);

    lvConversation = new QListView(this);
    lvConversation->setObjectName(QStringLiteral("lvConversation"));
    lvConversation->setModel(FModel);
    lvConversation->setWordWrap(true);
    lvConversation->setSelectionMode(QAbstractItemView::SingleSelection);
    lvConversation->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvConversation->setSpacing(3);
    lvConversation->setLayoutMode(QListView::Batched);
    lvConversation->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    mmReply = new TMessageMemo(this);
    mmReply->setObjectName(QStringLiteral("mmReply"));
    mmReply->SetMaxLength(2000);
    mmReply->setTabChangesFocus(true);
    mmReply->setFixedHeight(mmReply->fontMetrics().lineSpacing() * 3 + 12);
    lbSymbols = new QLabel(this);
    lbSymbols->setObjectName(QStringLiteral("lbReplySymbols"));
    btnSend = new QPushButton(tr("Send"), this);
    btnSend->setObjectName(QStringLiteral("btnReplySend"));
    btnSend->setEnabled(false);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lbSymbols);
    bottom->addStretch();
    bottom->addWidget(btnSend);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cmbNumber);
    layout->addWidget(lvConversation, 1);
    layout->addWidget(mmReply);
    layout->addLayout(bottom);

    connect(cmbNumber, &QComboBox::currentIndexChanged, this, [this] {
        if (!FFilling) {
            NumberChosen();
        }
    });
    connect(mmReply, &QPlainTextEdit::textChanged, this, &TConversationView::UpdateCounter);
    connect(btnSend, &QPushButton::clicked, this, [this] {
        if (!Number().isEmpty() && !mmReply->toPlainText().isEmpty()) {
            Q_EMIT SendWanted(Number(), mmReply->toPlainText());
        }
    });
    UpdateCounter();
}

void TConversationView::FillNumbers()
{
    // Newest first, each number once.
    QList<std::pair<qint64, QString>> latest;
    QHash<QString, qsizetype> seen;
    auto add = [&](const TSmsItem* Message) {
        if (Message->Number().isEmpty()) {
            return;
        }
        const qint64 time = TConversationModel::NetworkTimeOf(*Message);
        const auto it = seen.constFind(Message->Number());
        if (it == seen.constEnd()) {
            seen.insert(Message->Number(), latest.size());
            latest.append({time, Message->Number()});
        } else if (latest[*it].first < time) {
            latest[*it].first = time;
        }
    };
    if (FItem) {
        for (int i = 0; i < FItem->SmsIncomingList()->Count(); ++i) {
            add(FItem->SmsIncomingList()->Items(i));
        }
        for (int i = 0; i < FItem->SmsOutgoingList()->Count(); ++i) {
            add(FItem->SmsOutgoingList()->Items(i));
        }
    }
    std::stable_sort(latest.begin(), latest.end(), [](const auto& A, const auto& B) { return A.first > B.first; });
    FFilling = true;
    cmbNumber->clear();
    for (const auto& entry : latest) {
        cmbNumber->addItem(entry.second);
    }
    FFilling = false;
}

void TConversationView::ShowConversation(TMBInterfaceItem* Item, const QString& Number)
{
    const QString keep = Number.isEmpty() && Item == FItem ? FModel->Number() : Number;
    FItem = Item;
    FillNumbers();
    QString shown = keep;
    if (shown.isEmpty() && cmbNumber->count() > 0) {
        shown = cmbNumber->itemText(0);
    }
    FFilling = true;
    int index = cmbNumber->findText(shown, Qt::MatchExactly);
    if (index < 0 && !shown.isEmpty()) {
        // A number with no message yet (a reply to one that was deleted) can still be written to.
        cmbNumber->insertItem(0, shown);
        index = 0;
    }
    cmbNumber->setCurrentIndex(index);
    FFilling = false;
    FModel->SetSource(FItem, shown);
    lvConversation->scrollToBottom();
    UpdateCounter();
}

void TConversationView::Refresh()
{
    ShowConversation(FItem, FModel->Number());
}

void TConversationView::NumberChosen()
{
    FModel->SetSource(FItem, cmbNumber->currentText());
    lvConversation->scrollToBottom();
    UpdateCounter();
}

void TConversationView::FocusReply()
{
    mmReply->setFocus();
}

void TConversationView::UpdateCounter()
{
    const QString text = mmReply->toPlainText();
    TSmsSend counter;
    counter.SetText(text);
    lbSymbols->setText(QStringLiteral("%1 / %2").arg(text.size()).arg(counter.Count()));
    btnSend->setEnabled(FItem && TfmCreateMessage::IsTargetValid(Number()) && !text.isEmpty());
}

} // namespace Ombrelay
