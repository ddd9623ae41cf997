#include "gui/UssdDialog.h"

#include "core/DB.h"
#include "core/UssdSession.h"
#include "gui/GuiCommon.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Ombrelay
{

TfmUssd::TfmUssd(std::shared_ptr<IMbnInterfaceManager> Port, const QString& InterfaceID, const QString& ModemName,
                 QWidget* Parent)
    : QDialog(Parent)
    , FInterfaceID(InterfaceID)
    , FSession(std::make_unique<TUssdSession>(std::move(Port), InterfaceID))
{
    setObjectName(QStringLiteral("fmUssd"));
    setWindowTitle(tr("USSD: %1").arg(ModemName));
    resize(420, 320);

    auto* layout = new QVBoxLayout(this);
    auto* codeRow = new QHBoxLayout;
    auto* lbCode = new QLabel(tr("&Code:"), this);
    cmbUssdCode = new QComboBox(this);
    cmbUssdCode->setObjectName(QStringLiteral("cmbUssdCode"));
    cmbUssdCode->setEditable(true);
    cmbUssdCode->setInsertPolicy(QComboBox::NoInsert);
    cmbUssdCode->setAccessibleName(tr("USSD code"));
    cmbUssdCode->lineEdit()->setPlaceholderText(QStringLiteral("*100#"));
    lbCode->setBuddy(cmbUssdCode);
    btnUssdSend = new QPushButton(tr("&Send"), this);
    btnUssdSend->setObjectName(QStringLiteral("btnUssdSend"));
    codeRow->addWidget(lbCode);
    codeRow->addWidget(cmbUssdCode, 1);
    codeRow->addWidget(btnUssdSend);
    layout->addLayout(codeRow);

    auto* lbAnswer = new QLabel(tr("&Answer of the network:"), this);
    mmUssdAnswer = new QPlainTextEdit(this);
    mmUssdAnswer->setObjectName(QStringLiteral("mmUssdAnswer"));
    mmUssdAnswer->setReadOnly(true);
    mmUssdAnswer->setAccessibleName(tr("Answer of the network"));
    lbAnswer->setBuddy(mmUssdAnswer);
    layout->addWidget(lbAnswer);
    layout->addWidget(mmUssdAnswer, 1);

    auto* replyRow = new QHBoxLayout;
    auto* lbReply = new QLabel(tr("&Reply:"), this);
    edtUssdReply = new QLineEdit(this);
    edtUssdReply->setObjectName(QStringLiteral("edtUssdReply"));
    edtUssdReply->setAccessibleName(tr("Reply to the network"));
    lbReply->setBuddy(edtUssdReply);
    btnUssdReply = new QPushButton(tr("Re&ply"), this);
    btnUssdReply->setObjectName(QStringLiteral("btnUssdReply"));
    replyRow->addWidget(lbReply);
    replyRow->addWidget(edtUssdReply, 1);
    replyRow->addWidget(btnUssdReply);
    layout->addLayout(replyRow);

    lbUssdStatus = new QLabel(this);
    lbUssdStatus->setObjectName(QStringLiteral("lbUssdStatus"));
    lbUssdStatus->setWordWrap(true);
    lbUssdStatus->setTextFormat(Qt::PlainText);
    layout->addWidget(lbUssdStatus);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    btnUssdCancel = buttons->addButton(tr("Cancel S&ession"), QDialogButtonBox::ActionRole);
    btnUssdCancel->setObjectName(QStringLiteral("btnUssdCancel"));
    layout->addWidget(buttons);
    // Enter sends or replies, whichever box it is typed in; never closes the dialog.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnUssdSend, &QPushButton::clicked, this, [this] { Guarded(this, [this] { btnUssdSendClick(); }); });
    connect(cmbUssdCode->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { Guarded(this, [this] { btnUssdSendClick(); }); });
    connect(btnUssdReply, &QPushButton::clicked, this, [this] { Guarded(this, [this] { btnUssdReplyClick(); }); });
    connect(edtUssdReply, &QLineEdit::returnPressed, this, [this] { Guarded(this, [this] { btnUssdReplyClick(); }); });
    connect(btnUssdCancel, &QPushButton::clicked, this, [this] { Guarded(this, [this] { btnUssdCancelClick(); }); });
    connect(cmbUssdCode, &QComboBox::editTextChanged, this, &TfmUssd::UpdateControls);
    connect(edtUssdReply, &QLineEdit::textChanged, this, &TfmUssd::UpdateControls);

    connect(FSession.get(), &TUssdSession::StateChanged, this, &TfmUssd::UpdateControls);
    connect(FSession.get(), &TUssdSession::Answered, this, [this](const QString& Text, bool AwaitsResponse) {
        mmUssdAnswer->setPlainText(Text);
        if (AwaitsResponse) {
            ShowStatus(tr("The network waits for your reply."), false);
            edtUssdReply->clear();
            edtUssdReply->setFocus();
        } else {
            ShowStatus(tr("Session ended."), false);
        }
        UpdateControls();
    });
    connect(FSession.get(), &TUssdSession::Failed, this, [this](const QString& Message) {
        ShowStatus(Message, true);
        UpdateControls();
    });

    if (Database) {
        Guarded(this, [this] { cmbUssdCode->addItems(LoadUssdCodes(*Database)); });
    }
    cmbUssdCode->setCurrentIndex(cmbUssdCode->count() > 0 ? 0 : -1);
    const QString unsupported = FSession->Unsupported();
    if (!unsupported.isEmpty()) {
        ShowStatus(unsupported, true);
    }
    UpdateControls();
    cmbUssdCode->setFocus();
}

TfmUssd::~TfmUssd() = default;

void TfmUssd::ShowStatus(const QString& Text, bool Error)
{
    lbUssdStatus->setText(Text);
    lbUssdStatus->setProperty("ombrelayError", Error);
    QFont f = lbUssdStatus->font();
    f.setBold(Error);
    lbUssdStatus->setFont(f);
}

void TfmUssd::UpdateControls()
{
    const bool supported = FSession->Unsupported().isEmpty();
    const bool busy = FSession->Busy();
    const bool awaits = FSession->AwaitsResponse();
    btnUssdSend->setEnabled(supported && !busy && !cmbUssdCode->currentText().trimmed().isEmpty());
    edtUssdReply->setEnabled(supported && awaits);
    btnUssdReply->setEnabled(supported && awaits && !edtUssdReply->text().trimmed().isEmpty());
    btnUssdCancel->setEnabled(supported && (busy || awaits));
}

void TfmUssd::btnUssdSendClick()
{
    const QString code = cmbUssdCode->currentText().trimmed();
    if (code.isEmpty() || FSession->Busy()) {
        return;
    }
    mmUssdAnswer->clear();
    if (!FSession->Send(code)) {
        return;
    }
    ShowStatus(tr("Waiting for the network..."), false);
    if (Database) {
        RememberUssdCode(*Database, code);
        const QSignalBlocker block(cmbUssdCode);
        cmbUssdCode->clear();
        cmbUssdCode->addItems(LoadUssdCodes(*Database));
        cmbUssdCode->setCurrentIndex(0);
    }
    UpdateControls();
}

void TfmUssd::btnUssdReplyClick()
{
    const QString reply = edtUssdReply->text().trimmed();
    if (reply.isEmpty() || !FSession->AwaitsResponse()) {
        return;
    }
    if (FSession->Respond(reply)) {
        ShowStatus(tr("Waiting for the network..."), false);
    }
    UpdateControls();
}

void TfmUssd::btnUssdCancelClick()
{
    FSession->Cancel();
    ShowStatus(tr("Session cancelled."), false);
    UpdateControls();
}

} // namespace Ombrelay
