#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QListView;
class QPushButton;

namespace Ombrelay
{

class TMBInterfaceItem;
class TMessageMemo;
class TSmsItem;

// The messages exchanged with one number, both directions, oldest first by the network's time
// (the time stored where the network gave none, as for sent messages).
class TConversationModel : public QAbstractListModel
{
    Q_OBJECT

public:
    struct TEntry
    {
        bool Incoming = false;
        qint64 Ident = 0;
        // Seconds since 1970 UTC: when the network stamped the message, when it was stored.
        qint64 NetworkTime = 0;
        qint64 StoredTime = 0;
        QString Text;
    };

    explicit TConversationModel(QObject* Parent = nullptr);

    // Collects the messages of Number from both folders of Item (none for a null Item).
    void SetSource(TMBInterfaceItem* Item, const QString& Number);
    const QList<TEntry>& Entries() const { return FEntries; }
    const QString& Number() const { return FNumber; }

    // The time a message counts by in a conversation and in the list: the network's, else stored.
    static qint64 NetworkTimeOf(const TSmsItem& Item);
    static qint64 StoredTimeOf(const TSmsItem& Item);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;

private:
    QString FNumber;
    QList<TEntry> FEntries;
};

// The conversation page beside the folders: a choice of number, its messages and a reply box
// with the "length / parts" count of the new-message dialog.
class TConversationView : public QWidget
{
    Q_OBJECT

public:
    explicit TConversationView(QWidget* Parent = nullptr);

    // Shows Item's conversation with Number; an empty Number keeps the one shown, or takes the
    // number of the newest message. The number box lists every number of both folders.
    void ShowConversation(TMBInterfaceItem* Item, const QString& Number = QString());
    // Reads the folders again, keeping the number and what is typed.
    void Refresh();
    // Puts the keyboard into the reply box.
    void FocusReply();
    const QString& Number() const { return FModel->Number(); }
    TConversationModel* Model() const { return FModel; }

    QComboBox* cmbNumber;
    QListView* lvConversation;
    TMessageMemo* mmReply;
    QLabel* lbSymbols;
    QPushButton* btnSend;

Q_SIGNALS:
    // Send pressed with a text for the shown number.
    void SendWanted(const QString& Number, const QString& Text);

private:
    void FillNumbers();
    void NumberChosen();
    void UpdateCounter();

    TMBInterfaceItem* FItem = nullptr;
    TConversationModel* FModel;
    bool FFilling = false;
};

} // namespace Ombrelay
