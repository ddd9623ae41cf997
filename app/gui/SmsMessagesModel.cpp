#include "gui/SmsMessagesModel.h"

#include "base/DateTime.h"
#include "core/MBInterfaceItem.h"
#include "core/SmsStore.h"
#include "sms/SMS.h"

#include <QLocale>
#include <QTextDocument>

namespace Ombrelay
{

TSmsMessagesModel::TSmsMessagesModel(QObject* Parent)
    : QAbstractTableModel(Parent)
{
    const QLocale locale;
    FDateFormat = locale.dateFormat(QLocale::ShortFormat);
    // The long time format without the time zone, which a message's local time does not carry.
    FTimeFormat = locale.timeFormat(QLocale::LongFormat);
    FTimeFormat.remove(QLatin1Char('t')).replace(QStringLiteral("  "), QStringLiteral(" "));
    FTimeFormat = FTimeFormat.trimmed();
    FBold.setBold(true);
}

void TSmsMessagesModel::SetSource(TMBInterfaceItem* Item, TFolder Folder)
{
    TMBInterfaceItem* item = Folder == fdNone ? nullptr : Item;
    const TFolder folder = item ? Folder : fdNone;
    int count = 0;
    if (item) {
        count = folder == fdInbox ? item->SmsIncomingList()->Count() : item->SmsOutgoingList()->Count();
    }
    TSmsListBase* list = nullptr;
    if (item) {
        list = folder == fdInbox ? static_cast<TSmsListBase*>(item->SmsIncomingList()) : item->SmsOutgoingList();
    }
    // Where the list put the messages that came since it was last shown (nothing when it was
    // reordered or lost messages meanwhile).
    const std::optional<QList<int>> inserted = list ? list->TakeInserted() : std::nullopt;
    if (item && item == FItem && folder == FFolder && count >= FCount && inserted) {
        // The same folder again (a message came or was sent): rows are inserted where the
        // order put the new messages, and a part that joined an older message redraws the
        // rows. A reset would make the view forget its scroll position and measure the folder
        // anew. Messages the list did not place (added to it directly) are the newest, on top.
        if (inserted->size() == count - FCount) {
            for (const int row : *inserted) {
                beginInsertRows(QModelIndex(), row, row);
                ++FCount;
                endInsertRows();
            }
        } else if (inserted->isEmpty()) {
            beginInsertRows(QModelIndex(), 0, count - FCount - 1);
            FCount = count;
            endInsertRows();
        } else {
            beginResetModel();
            FCount = count;
            endResetModel();
        }
        if (FCount > 0) {
            Q_EMIT dataChanged(index(0, 0), index(FCount - 1, columnCount() - 1));
        }
        return;
    }
    beginResetModel();
    FItem = item;
    FFolder = folder;
    FCount = count;
    endResetModel();
}

TSmsItem* TSmsMessagesModel::ItemAt(int Row) const
{
    if (!FItem || Row < 0 || Row >= FCount) {
        return nullptr;
    }
    if (FFolder == fdInbox) {
        return FItem->SmsIncomingList()->Items(Row);
    }
    return FItem->SmsOutgoingList()->Items(Row);
}

int TSmsMessagesModel::RowOfIdent(qint64 Ident, int Hint) const
{
    if (!FItem || Ident == 0) {
        return -1;
    }
    const int row = FFolder == fdInbox ? FItem->SmsIncomingList()->IndexOfIdent(Ident, Hint)
                                       : FItem->SmsOutgoingList()->IndexOfIdent(Ident, Hint);
    // Rows are the list's indices as far as the model has taken them in.
    return row < FCount ? row : -1;
}

void TSmsMessagesModel::RowChanged(int Row)
{
    if (Row >= 0 && Row < FCount) {
        Q_EMIT dataChanged(index(Row, 0), index(Row, 2));
    }
}

QDateTime TSmsMessagesModel::NetworkTime(const TSmsItem& Item)
{
    return Item.TimeStamp() == TSmsRecv::kNoTimeStamp ? ToQDateTime(Item.DateTime())
                                                      : QDateTime::fromSecsSinceEpoch(Item.TimeStamp()).toLocalTime();
}

QString TSmsMessagesModel::DateText(double DateTime) const
{
    return DateText(ToQDateTime(DateTime));
}

QString TSmsMessagesModel::DateText(const QDateTime& Value) const
{
    const QLocale locale;
    QString result = locale.toString(Value.date(), FDateFormat);
    if (Value.time() != QTime(0, 0)) {
        result += QLatin1Char(' ') + locale.toString(Value.time(), FTimeFormat);
    }
    return result;
}

int TSmsMessagesModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : FCount;
}

int TSmsMessagesModel::columnCount(const QModelIndex& Parent) const
{
    // The Sent folder adds what became of each message.
    return Parent.isValid() ? 0 : (FFolder == fdSent ? 4 : 3);
}

QVariant TSmsMessagesModel::data(const QModelIndex& Index, int Role) const
{
    if (Role != Qt::DisplayRole && Role != Qt::FontRole && Role != Qt::ToolTipRole) {
        return QVariant();
    }
    TSmsItem* item = ItemAt(Index.row());
    if (!item) {
        return QVariant();
    }
    if (Role == Qt::FontRole) {
        if (FFolder == fdInbox && !static_cast<TSmsIncomingItem*>(item)->Seen()) {
            return FBold;
        }
        return QVariant();
    }
    QString text;
    switch (Index.column()) {
    case 0:
        // The time the network stamped on the message, in the user's time zone; the time it was
        // stored is in the tool tip (and the only one of a message that carries none).
        text = DateText(NetworkTime(*item));
        if (Role == Qt::ToolTipRole) {
            text = item->TimeStamp() == TSmsRecv::kNoTimeStamp
                       ? tr("Stored: %1").arg(DateText(ToQDateTime(item->DateTime())))
                       : tr("Network time: %1\nStored: %2").arg(text, DateText(ToQDateTime(item->DateTime())));
        }
        break;
    case 1:
        text = item->Number();
        break;
    case 3:
        text = FItem->SmsOutgoingList()->StateText(*static_cast<TSmsOutgoingItem*>(item));
        break;
    default:
        // One line per row; the whole text is shown in the box below the list. A message with
        // parts missing says so first, so that it is not read as whole.
        text = item->DisplayText();
        if (item->Incomplete()) {
            text = TSmsItem::IncompleteMark(item->PartsPresent(), item->Total()) + QLatin1Char(' ') + text;
        }
        if (Role == Qt::DisplayRole) {
            text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        }
        break;
    }
    if (Role == Qt::ToolTipRole) {
        // A tool tip that looks like markup is drawn as rich text, images and links included;
        // what a sender writes is shown as written.
        return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
    }
    return text;
}

QVariant TSmsMessagesModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation == Qt::Horizontal && Role == Qt::InitialSortOrderRole) {
        // A first click on the time shows the newest first; on a number or a text, A first.
        return Section == 0 ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) {
        return QVariant();
    }
    static const char* const captions[] = {QT_TR_NOOP("Date"), QT_TR_NOOP("Number"), QT_TR_NOOP("Message"),
                                           QT_TR_NOOP("State")};
    return Section >= 0 && Section < columnCount() ? tr(captions[Section]) : QVariant();
}

} // namespace Ombrelay
