#pragma once

#include <QList>
#include <QWidget>

class QAction;
class QItemSelection;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QTableView;

namespace Ombrelay
{

class TConversationView;
class TMainController;
class TMBInterfaceItem;
class TSmsItem;
class TSmsMessagesModel;
class TSmsOutgoingItem;

// The "SMS Messages" page: the folders of the selected interface (inbox, sent and the
// conversation with one number), the folder's messages and the chosen message's text. An inbox
// message becomes read only when the user chooses it while the page is on screen; the selection
// stays on its messages (by their identity in the database) while others arrive.
class TMessagesPage : public QWidget
{
    Q_OBJECT

public:
    enum TFolderRow
    {
        frInbox = 0,
        frSent = 1,
        frConversation = 2,
    };

    explicit TMessagesPage(const TMainController& Controller, QWidget* Parent = nullptr);

    // The page became the active one: with no folder chosen yet, the inbox is chosen.
    void Activated();
    // Puts the focus in the search field, its text selected, so that typing starts a search.
    void FocusSearch();
    // Shows the chosen folder of the selected interface anew, keeping the selected messages.
    void RefreshMessages();
    // Chooses the inbox and in it the message Ident, as a click of the user would (the caller
    // has put the window on screen). False when the message is not listed.
    bool OpenMessage(qint64 Ident);
    // Shows the conversation with Number, the reply box ready for typing.
    void OpenConversation(const QString& Number);

    // The identities of the selected messages of the shown folder, in list order. A message is
    // taken by identity and looked up where it is used (MessageOfIdent): the list reads its
    // messages page by page and drops pages not read lately, so a message pointer kept while
    // others are read may be gone.
    QList<qint64> SelectedIdents() const;
    // The message Ident of the shown folder, null when it is not listed. Valid until the next
    // message is looked up.
    TSmsItem* MessageOfIdent(qint64 Ident) const;

    QListWidget* lvSmsType;
    QStackedWidget* stFolder;
    QSplitter* spMessage;
    QTableView* lvMessages;
    QPlainTextEdit* mmMessages;
    TConversationView* pnConversation;
    // Under the Sent folder: delivery reports that matched no message sent from here.
    QLabel* lbUnmatchedReports;
    QMenu* pmMessages;
    QAction* acReply;
    QAction* acForward;
    QAction* acCopyText;
    QAction* acCopyNumber;
    QAction* acMarkRead;
    QAction* acMarkUnread;
    QAction* acDelete;
    // On a failed message of the Sent folder: send it again, or open it in the new-message
    // dialog. Enabled only then; the list's context menu shows them.
    QAction* acRetrySend;
    QAction* acEditSent;
    QList<QAction*> SentMessageActions() const { return {acRetrySend, acEditSent}; }

Q_SIGNALS:
    // The new-message dialog is wanted with this text (forward).
    void NewMessageWanted(const QString& Text);
    // The count of unread messages may have changed (read, unread, deleted).
    void UnreadChanged();
    // These messages were deleted.
    void MessagesRemoved(const QList<qint64>& Idents);
    // The user wants a failed message in the new-message dialog.
    void EditRequested(const QString& Target, const QString& Text);

private:
    QAction* NewAction(const char* Name, const QString& Caption, const QKeySequence& Key, void (TMessagesPage::*Run)());
    void lvSmsTypeSelectItem();
    void lvMessagesSelectItem();
    void UpdateInboxCaption();
    void UpdateMessageActions();
    // The failed message selected in the Sent folder, or null.
    TSmsOutgoingItem* SelectedFailed() const;
    void UpdateSentActions();
    void acRetrySendExecute();
    int SelectedSmsFolder() const;
    // Fills lbUnmatchedReports for the Sent folder of Item (hidden elsewhere or when none).
    void UpdateUnmatchedReports(TMBInterfaceItem* Item, int FolderRow);
    // The row showing message Ident, looked for at Hint first; -1 when it is not listed.
    int RowOfIdent(qint64 Ident, int Hint) const;
    // The message whose text the box shows: the current row when it is selected, else the only
    // selected one.
    TSmsItem* ShownMessage() const;
    void ShowText(bool ByUser);
    // Notes the selected messages and the current one by identity, with their rows.
    void RecordSelection();
    void SendReply(const QString& Number, const QString& Text);
    // A click on a column's header: the folders are sorted by that column (the other way when
    // it is the column already sorted by), and the order is kept for the next start.
    void SortBy(int Column, Qt::SortOrder Order);
    // Puts the lists of Item (every interface when null) in the chosen order.
    void ApplyOrder(TMBInterfaceItem* Item);
    void ShowSortIndicator();

    void Reply();
    void Forward();
    void CopyText();
    void CopyNumber();
    void MarkRead();
    void MarkUnread();
    void DeleteSelected();

    const TMainController& FController;
    TSmsMessagesModel* FMessagesModel;
    TMBInterfaceItem* FShownItem = nullptr;
    int FShownFolder = -1;
    QList<std::pair<qint64, int>> FSelection;
    std::pair<qint64, int> FCurrent{0, -1};
    // Set while the page itself moves the selection: that is nobody's choice of a message.
    bool FRestoring = false;
    // The order of the message lists (by their column's header), as TSmsListBase::TOrder.
    int FOrderColumn = 1;
    bool FOrderDescending = true;
};

} // namespace Ombrelay
