#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QFont>
#include <QString>

namespace Ombrelay
{

class TMBInterfaceItem;
class TSmsItem;

// The message list of the SMS tab as a virtual list: rows are fetched from the selected folder
// of the selected interface by index only when the view draws them, so a folder of any size
// opens at the cost of the rows on screen. Row 0 is the newest message.
class TSmsMessagesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum TFolder
    {
        fdNone = -1,
        fdInbox = 0,
        fdSent = 1,
    };

    explicit TSmsMessagesModel(QObject* Parent = nullptr);

    // Shows Folder of Item (none when Item is null or Folder is fdNone) and takes its row count.
    // Set again to the folder it shows, it inserts the rows of messages that came since on top
    // (and redraws the others) instead of resetting the view.
    void SetSource(TMBInterfaceItem* Item, TFolder Folder);
    TSmsItem* ItemAt(int Row) const;
    // The row of the message Ident, -1 when the folder does not list it; Hint is where it was.
    int RowOfIdent(qint64 Ident, int Hint = -1) const;
    bool IsIncoming() const { return FFolder == fdInbox; }
    // Redraws one row (after it was marked seen).
    void RowChanged(int Row);

    // "Date" text: the short date, then the long time unless it is exactly midnight.
    QString DateText(double DateTime) const;
    QString DateText(const QDateTime& Value) const;
    // The time the network stamped on the message, in local time; the time it was stored for a
    // message without one.
    static QDateTime NetworkTime(const TSmsItem& Item);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;

private:
    TMBInterfaceItem* FItem = nullptr;
    TFolder FFolder = fdNone;
    int FCount = 0;
    QString FDateFormat;
    QString FTimeFormat;
    QFont FBold;
};

} // namespace Ombrelay
