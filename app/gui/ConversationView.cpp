#include "gui/ConversationView.h"

#include "base/DateTime.h"
#include "core/Contacts.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MessageQuery.h"
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

void TConversationModel::SetSource(TMBInterfaceItem* Item, const QString& Number, const QString& HomeCountry,
                                   const QString& Name)
{
    beginResetModel();
    FNumber = Number;
    FName = Name;
    FEntries.clear();
    if (Item && !Number.isEmpty()) {
        const QString wanted = TPhoneNumber::Key(Number, HomeCountry);
        auto collect = [&](const TSmsListBase& List, auto Get, bool Incoming) {
            for (int i = List.Count() - 1; i >= 0; --i) {
                const TSmsItem* message = Get(i);
                if (message->Number() != Number && TPhoneNumber::Key(message->Number(), HomeCountry) != wanted) {
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
            .arg(entry.Incoming ? (FName.isEmpty() ? FNumber : FName) : tr("Me"), LocalTimeText(entry.NetworkTime),
                 entry.Text);
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

void TConversationView::LoadNames()
{
    FHome.clear();
    FNames.clear();
    if (!Database) {
        return;
    }
    try {
        FHome = TMessageQuery::HomeCountry(*Database);
        const TContacts contacts(*Database, FHome);
        for (const TContact& c : contacts.All()) {
            FNames.insert(TPhoneNumber::Key(c.Number, FHome), c.Name);
        }
    } catch (const std::exception&) {
        // Without names the numbers still show.
    }
}

QString TConversationView::NameFor(const QString& Number) const
{
    return FNames.value(TPhoneNumber::Key(Number, FHome));
}

void TConversationView::FillNumbers()
{
    // Newest first, each number once, whatever form its messages carry it in.
    QList<std::pair<qint64, QString>> latest;
    QHash<QString, qsizetype> seen;
    auto add = [&](const TSmsItem* Message) {
        if (Message->Number().isEmpty()) {
            return;
        }
        const qint64 time = TConversationModel::NetworkTimeOf(*Message);
        const QString key = TPhoneNumber::Key(Message->Number(), FHome);
        const auto it = seen.constFind(key);
        if (it == seen.constEnd()) {
            seen.insert(key, latest.size());
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
        AddNumber(entry.second);
    }
    FFilling = false;
}

void TConversationView::AddNumber(const QString& Number, int Index)
{
    const QString name = NameFor(Number);
    const QString text = name.isEmpty() ? Number : QStringLiteral("%1 (%2)").arg(name, Number);
    cmbNumber->insertItem(Index < 0 ? cmbNumber->count() : Index, text, Number);
}

int TConversationView::IndexOfNumber(const QString& Number) const
{
    const QString key = TPhoneNumber::Key(Number, FHome);
    for (int i = 0; i < cmbNumber->count(); ++i) {
        const QString listed = cmbNumber->itemData(i).toString();
        if (listed == Number || TPhoneNumber::Key(listed, FHome) == key) {
            return i;
        }
    }
    return -1;
}

void TConversationView::ShowConversation(TMBInterfaceItem* Item, const QString& Number)
{
    const QString keep = Number.isEmpty() && Item == FItem ? FModel->Number() : Number;
    FItem = Item;
    LoadNames();
    FillNumbers();
    QString shown = keep;
    if (shown.isEmpty() && cmbNumber->count() > 0) {
        shown = cmbNumber->itemData(0).toString();
    }
    FFilling = true;
    int index = IndexOfNumber(shown);
    if (index < 0 && !shown.isEmpty()) {
        // A number with no message yet (a reply to one that was deleted) can still be written to.
        AddNumber(shown, 0);
        index = 0;
    }
    cmbNumber->setCurrentIndex(index);
    FFilling = false;
    FModel->SetSource(FItem, shown, FHome, NameFor(shown));
    lvConversation->scrollToBottom();
    UpdateCounter();
}

void TConversationView::Refresh()
{
    ShowConversation(FItem, FModel->Number());
}

void TConversationView::NumberChosen()
{
    const QString number = cmbNumber->currentData().toString();
    FModel->SetSource(FItem, number, FHome, NameFor(number));
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
