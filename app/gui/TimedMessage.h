#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QToolButton;
class QAction;

namespace Ombrelay
{

// The restart warning: stays on top, beeps, counts down in its OK button and asks the system
// to restart when the count reaches zero or OK is pressed. Cancel closes it; the drop-down of
// Cancel also suppresses further warnings for a while. Modeless; deletes itself when closed.
class TfmTimedMessage : public QDialog
{
    Q_OBJECT

public:
    TfmTimedMessage(quint32 TimeOut, const QString& Title, const QString& Text, QWidget* Parent = nullptr);

    // What OK calls to restart the computer; tests put a recorder here so nothing restarts.
    using TRebootFunction = std::function<void()>;
    static void SetRebootFunction(TRebootFunction Function);
    static void ResetRebootFunction();

    // One step of the count-down; the timer calls it every second, tests may call it directly.
    void Tick();
    quint32 TimeOut() const { return FTimeOut; }
    bool Counting() const;

    QLabel* lbInfo;
    QPushButton* btnOK;
    QToolButton* btnCancel;
    QMenu* pmSupress;
    QAction* pmiSupressfor10Minutes;
    QAction* pmiSupressfor30Minutes;
    QAction* pmiSupressfor60Minutes;
    QTimer* tmMain;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void FormShow();
    void tmMainTimer();
    void btnOKClick();
    void btnCancelClick();
    void SupressClick(QAction* Sender);

    quint32 FTimeOut;
};

} // namespace Ombrelay
