#pragma once

// The USSD dialog: a code such as "*100#" (with the codes sent before), the network's answer as
// plain text, a reply to a menu in the same session, and Cancel for the session. It stays open
// beside the window (a network may take a while, a menu waits for its reader) and talks to the
// one modem it was opened for.

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace Ombrelay
{

class IMbnInterfaceManager;
class TUssdSession;

class TfmUssd : public QDialog
{
    Q_OBJECT

public:
    TfmUssd(std::shared_ptr<IMbnInterfaceManager> Port, const QString& InterfaceID, const QString& ModemName,
            QWidget* Parent = nullptr);
    ~TfmUssd() override;

    const QString& InterfaceID() const { return FInterfaceID; }
    TUssdSession& Session() const { return *FSession; }

    QComboBox* cmbUssdCode;
    QPushButton* btnUssdSend;
    QPlainTextEdit* mmUssdAnswer;
    QLineEdit* edtUssdReply;
    QPushButton* btnUssdReply;
    QPushButton* btnUssdCancel;
    // What the session does, or why it failed.
    QLabel* lbUssdStatus;

    void btnUssdSendClick();
    void btnUssdReplyClick();
    void btnUssdCancelClick();

private:
    void UpdateControls();
    void ShowStatus(const QString& Text, bool Error);

    QString FInterfaceID;
    std::unique_ptr<TUssdSession> FSession;
};

} // namespace Ombrelay
