#pragma once

#include <QAbstractListModel>
#include <QHash>
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

    // Collects the messages of Number from both folders of Item (none for a null Item): those
    // of every form of the number, national or international (see TPhoneNumber::Key with
    // HomeCountry). Name is the contact's name shown for the other side, empty for none.
    void SetSource(TMBInterfaceItem* Item, const QString& Number, const QString& HomeCountry = QString(),
                   const QString& Name = QString());
    const QList<TEntry>& Entries() const { return FEntries; }
    const QString& Number() const { return FNumber; }
    const QString& Name() const { return FName; }

    // The time a message counts by in a conversation and in the list: the network's, else stored.
    static qint64 NetworkTimeOf(const TSmsItem& Item);
    static qint64 StoredTimeOf(const TSmsItem& Item);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;

private:
    QString FNumber;
    QString FName;
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
    // number of the newest message. The number box lists every number of both folders, the forms
    // of one number (national, international) once, with the contact's name when there is one.
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
    // Home country and contact names from the database, read again at each ShowConversation.
    void LoadNames();
    QString NameFor(const QString& Number) const;
    // Lists Number (as the item's data) with its name, at Index or at the end.
    void AddNumber(const QString& Number, int Index = -1);
    // The row of Number in the number box, in any of its forms; -1 when not listed.
    int IndexOfNumber(const QString& Number) const;

    TMBInterfaceItem* FItem = nullptr;
    QString FHome;
    QHash<QString, QString> FNames; // by TPhoneNumber::Key
    TConversationModel* FModel;
    bool FFilling = false;
};

} // namespace Ombrelay
