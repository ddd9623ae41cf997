#pragma once

#include <QList>
#include <QWidget>

class QAction;

class QItemSelection;
class QListWidget;
class QPlainTextEdit;
class QSplitter;
class QTableView;

namespace Ombrelay
{

class TMainController;
class TSmsMessagesModel;
class TSmsOutgoingItem;

// The "SMS Messages" page: the folders of the selected interface (inbox and sent), the
// folder's messages and the chosen message's text. Choosing an inbox message marks it seen.
class TMessagesPage : public QWidget
{
    Q_OBJECT

public:
    explicit TMessagesPage(const TMainController& Controller, QWidget* Parent = nullptr);

    // The page became the active one: with no folder chosen yet, the inbox is chosen.
    void Activated();
    // Shows the chosen folder of the selected interface anew.
    void RefreshMessages();

    QListWidget* lvSmsType;
    QSplitter* spMessage;
    QTableView* lvMessages;
    QPlainTextEdit* mmMessages;
    // On a failed message of the Sent folder: send it again, or open it in the new-message
    // dialog. Enabled only then; a context menu of the list takes them from SentMessageActions.
    QAction* acRetrySend;
    QAction* acEditSent;
    QList<QAction*> SentMessageActions() const { return {acRetrySend, acEditSent}; }

Q_SIGNALS:
    // The user wants a failed message in the new-message dialog.
    void EditRequested(const QString& Target, const QString& Text);

private:
    void lvSmsTypeSelectItem();
    void lvMessagesSelectItem(const QItemSelection& Selected, const QItemSelection& Deselected);
    void UpdateInboxCaption();
    // The failed message selected in the Sent folder, or null.
    TSmsOutgoingItem* SelectedFailed() const;
    void UpdateSentActions();
    void acRetrySendExecute();
    int SelectedSmsFolder() const;

    const TMainController& FController;
    TSmsMessagesModel* FMessagesModel;
};

} // namespace Ombrelay
