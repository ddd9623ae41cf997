#include "gui/CreateMessage.h"

#include "gui/Icons.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace Ombrelay
{

TMessageMemo::TMessageMemo(QWidget* Parent)
    : QPlainTextEdit(Parent)
{
}

int TMessageMemo::Room() const
{
    if (FMaxLength <= 0) {
        return std::numeric_limits<int>::max();
    }
    const int selected = static_cast<int>(textCursor().selectedText().size());
    return FMaxLength - static_cast<int>(toPlainText().size()) + selected;
}

void TMessageMemo::keyPressEvent(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) {
        // No line break: the dialog's default button takes the key.
        Event->ignore();
        return;
    }
    const QString typed = Event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
    if (printable && typed.size() > Room()) {
        Event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(Event);
}

void TMessageMemo::insertFromMimeData(const QMimeData* Source)
{
    if (!Source->hasText()) {
        return;
    }
    QString text = Source->text();
    const int free = Room();
    if (text.size() > free) {
        text.truncate(std::max(free, 0));
        // Never leave half of a surrogate pair at the cut.
        if (!text.isEmpty() && text.back().isHighSurrogate()) {
            text.chop(1);
        }
    }
    insertPlainText(text);
}

TfmCreateMessage::TfmCreateMessage(QWidget* Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("fmCreateMessage"));
    setWindowTitle(tr("New Message"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    imMessage = new QLabel(this);
    imMessage->setObjectName(QStringLiteral("imMessage"));
    imMessage->setPixmap(TIcons::MainImage(5));
    imMessage->setFixedSize(32, 32);

    cmbTarget = new QComboBox(this);
    cmbTarget->setObjectName(QStringLiteral("cmbTarget"));
    cmbTarget->setEditable(true);
    cmbTarget->setInsertPolicy(QComboBox::NoInsert);
    cmbTarget->setMinimumWidth(281);
    lbTarget = new QLabel(tr("&To:"), this);
    lbTarget->setObjectName(QStringLiteral("lbTarget"));
    lbTarget->setBuddy(cmbTarget);

    mmText = new TMessageMemo(this);
    mmText->setObjectName(QStringLiteral("mmText"));
    mmText->SetMaxLength(2000);
    mmText->setTabChangesFocus(true);
    mmText->setMinimumSize(329, 185);
    mmText->setAccessibleName(tr("Message"));
    lbText = new QLabel(tr("&Message:"), this);
    lbText->setObjectName(QStringLiteral("lbText"));
    lbText->setBuddy(mmText);

    lbSymbols = new QLabel(QStringLiteral("%d / %d"), this);
    lbSymbols->setObjectName(QStringLiteral("lbSymbols"));
    lbSymbols->setToolTip(tr("Characters / text messages needed"));

    lbSendHint = new QLabel(this);
    lbSendHint->setObjectName(QStringLiteral("lbSendHint"));
    lbSendHint->setWordWrap(true);
    lbSendHint->setTextFormat(Qt::PlainText);

    btnSend = new QPushButton(tr("&Send"), this);
    btnSend->setObjectName(QStringLiteral("btnSend"));
    btnSend->setDefault(true);
    btnSend->setEnabled(false);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addWidget(imMessage, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(lbTarget, 0, 1);
    layout->addWidget(cmbTarget, 1, 1);
    layout->addWidget(lbText, 2, 0, 1, 2);
    layout->addWidget(mmText, 3, 0, 1, 2);
    layout->addWidget(lbSendHint, 4, 0, 1, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lbSymbols);
    bottom->addStretch();
    bottom->addWidget(btnSend);
    bottom->addWidget(btnCancel);
    layout->addLayout(bottom, 5, 0, 1, 2);

    setTabOrder(cmbTarget, mmText);
    setTabOrder(mmText, btnSend);
    setTabOrder(btnSend, btnCancel);

    connect(btnSend, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmbTarget, &QComboBox::editTextChanged, this, &TfmCreateMessage::cmbTargetChange);
    connect(mmText, &QPlainTextEdit::textChanged, this, &TfmCreateMessage::mmTextChange);

    cmbTarget->setFocus();
    FormCreate();
}

void TfmCreateMessage::FormCreate()
{
    UpdateCounter();
    UpdateSendButton();
}

bool TfmCreateMessage::IsTargetValid(const QString& Target)
{
    int numbers = 0;
    for (char32_t c : Target.toUcs4()) {
        if (QChar::isNumber(c)) {
            ++numbers;
        }
    }
    return numbers >= 1 && numbers <= 15;
}

void TfmCreateMessage::cmbTargetChange()
{
    UpdateSendButton();
}

void TfmCreateMessage::mmTextChange()
{
    UpdateCounter();
    UpdateSendButton();
}

QString TfmCreateMessage::SendHint(const QString& Target, const QString& Text)
{
    if (Target.trimmed().isEmpty()) {
        return tr("Enter the phone number to send to.");
    }
    if (!IsTargetValid(Target)) {
        return tr("A phone number has 1 to 15 digits.");
    }
    if (Text.isEmpty()) {
        return tr("Write the message to send.");
    }
    return QString();
}

void TfmCreateMessage::UpdateSendButton()
{
    const QString hint = SendHint(cmbTarget->currentText(), mmText->toPlainText());
    btnSend->setEnabled(hint.isEmpty());
    lbSendHint->setText(hint);
    btnSend->setToolTip(hint);
}

void TfmCreateMessage::UpdateCounter()
{
    FSmsSend.SetText(mmText->toPlainText());
    lbSymbols->setText(QStringLiteral("%1 / %2").arg(FSmsSend.Text().size()).arg(FSmsSend.Count()));
}

} // namespace Ombrelay
