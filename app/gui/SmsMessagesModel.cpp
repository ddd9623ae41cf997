#include "gui/SmsMessagesModel.h"

#include "base/DateTime.h"
#include "core/MBInterfaceItem.h"
#include "core/SmsStore.h"

#include <QLocale>
#include <QTextDocument>

namespace Ombrelay
{

TSmsMessagesModel::TSmsMessagesModel(QObject* Parent)
    : QAbstractTableModel(Parent)
{
    const QLocale Locale;
    FDateFormat = Locale.dateFormat(QLocale::ShortFormat);
    // The long time format without the time zone, which a message's local time does not carry.
    FTimeFormat = Locale.timeFormat(QLocale::LongFormat);
    FTimeFormat.remove(QLatin1Char('t')).replace(QStringLiteral("  "), QStringLiteral(" "));
    FTimeFormat = FTimeFormat.trimmed();
    FBold.setBold(true);
}

void TSmsMessagesModel::SetSource(TMBInterfaceItem* Item, TFolder Folder)
{
    beginResetModel();
    FItem = Folder == fdNone ? nullptr : Item;
    FFolder = FItem ? Folder : fdNone;
    if (!FItem) {
        FCount = 0;
    } else if (FFolder == fdInbox) {
        FCount = FItem->SmsIncomingList()->Count();
    } else {
        FCount = FItem->SmsOutgoingList()->Count();
    }
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

void TSmsMessagesModel::RowChanged(int Row)
{
    if (Row >= 0 && Row < FCount) {
        Q_EMIT dataChanged(index(Row, 0), index(Row, 2));
    }
}

QString TSmsMessagesModel::DateText(double DateTime) const
{
    const QDateTime Value = ToQDateTime(DateTime);
    const QLocale Locale;
    QString Result = Locale.toString(Value.date(), FDateFormat);
    if (Value.time() != QTime(0, 0)) {
        Result += QLatin1Char(' ') + Locale.toString(Value.time(), FTimeFormat);
    }
    return Result;
}

int TSmsMessagesModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : FCount;
}

int TSmsMessagesModel::columnCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : 3;
}

QVariant TSmsMessagesModel::data(const QModelIndex& Index, int Role) const
{
    if (Role != Qt::DisplayRole && Role != Qt::FontRole && Role != Qt::ToolTipRole) {
        return QVariant();
    }
    TSmsItem* Item = ItemAt(Index.row());
    if (!Item) {
        return QVariant();
    }
    if (Role == Qt::FontRole) {
        if (FFolder == fdInbox && !static_cast<TSmsIncomingItem*>(Item)->Seen()) {
            return FBold;
        }
        return QVariant();
    }
    QString Text;
    switch (Index.column()) {
    case 0:
        Text = DateText(Item->DateTime());
        break;
    case 1:
        Text = Item->Number();
        break;
    default:
        // One line per row; the whole text is shown in the box below the list.
        Text = Item->DisplayText();
        if (Role == Qt::DisplayRole) {
            Text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        }
        break;
    }
    if (Role == Qt::ToolTipRole) {
        // A tool tip that looks like markup is drawn as rich text, images and links included;
        // what a sender writes is shown as written.
        return Qt::convertFromPlainText(Text, Qt::WhiteSpaceNormal);
    }
    return Text;
}

QVariant TSmsMessagesModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) {
        return QVariant();
    }
    static const char* const Captions[] = {"Date", "Number", "Message"};
    return Section >= 0 && Section < 3 ? QString::fromLatin1(Captions[Section]) : QVariant();
}

} // namespace Ombrelay
