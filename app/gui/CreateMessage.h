#pragma once

#include "sms/SMS.h"

#include <QDialog>
#include <QPlainTextEdit>

class QComboBox;
class QLabel;
class QPushButton;

namespace Ombrelay
{

// The message text box: refuses input beyond its maximum length (a paste is cut to what
// fits) and leaves Enter to the dialog, which takes it for the default button.
class TMessageMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TMessageMemo(QWidget* Parent = nullptr);
    void SetMaxLength(int Value) { FMaxLength = Value; }
    int MaxLength() const { return FMaxLength; }

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void insertFromMimeData(const QMimeData* Source) override;

private:
    int Room() const;

    int FMaxLength = 0;
};

// The new-message dialog: a number with a history, the text, a live "length / parts" counter
// and "Send", which is enabled only for a plausible number and a text. It neither encodes nor
// sends; the caller reads the number and the text after an OK result.
class TfmCreateMessage : public QDialog
{
    Q_OBJECT

public:
    explicit TfmCreateMessage(QWidget* Parent = nullptr);

    // 1 to 15 characters of the number are numbers (any Unicode number); the rest is free.
    static bool IsTargetValid(const QString& Target);

    QLabel* imMessage;
    QComboBox* cmbTarget;
    TMessageMemo* mmText;
    QPushButton* btnSend;
    QPushButton* btnCancel;
    QLabel* lbSymbols;
    QLabel* lbTarget;
    QLabel* lbText;
    // Why Send cannot be pressed yet; empty once it can.
    QLabel* lbSendHint;

    // The reason Send is disabled for this number and text, or an empty text.
    static QString SendHint(const QString& Target, const QString& Text);

private:
    void FormCreate();
    void cmbTargetChange();
    void mmTextChange();
    void UpdateSendButton();
    void UpdateCounter();

    TSmsSend FSmsSend;
};

} // namespace Ombrelay
