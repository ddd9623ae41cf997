#pragma once

#include <QWidget>

class QItemSelection;
class QListWidget;
class QPlainTextEdit;
class QSplitter;
class QTableView;

namespace Ombrelay
{

class TMainController;
class TSmsMessagesModel;

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

private:
    void lvSmsTypeSelectItem();
    void lvMessagesSelectItem(const QItemSelection& Selected, const QItemSelection& Deselected);
    void UpdateInboxCaption();
    int SelectedSmsFolder() const;

    const TMainController& FController;
    TSmsMessagesModel* FMessagesModel;
};

} // namespace Ombrelay
