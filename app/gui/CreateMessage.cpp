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
    const int Selected = static_cast<int>(textCursor().selectedText().size());
    return FMaxLength - static_cast<int>(toPlainText().size()) + Selected;
}

void TMessageMemo::keyPressEvent(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) {
        // No line break: the dialog's default button takes the key.
        Event->ignore();
        return;
    }
    const QString Typed = Event->text();
    const bool Printable = !Typed.isEmpty() && Typed.at(0).isPrint();
    if (Printable && Typed.size() > Room()) {
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
    QString Text = Source->text();
    const int Free = Room();
    if (Text.size() > Free) {
        Text.truncate(std::max(Free, 0));
        // Never leave half of a surrogate pair at the cut.
        if (!Text.isEmpty() && Text.back().isHighSurrogate()) {
            Text.chop(1);
        }
    }
    insertPlainText(Text);
}

TfmCreateMessage::TfmCreateMessage(QWidget* Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("fmCreateMessage"));
    setWindowTitle(QStringLiteral("New Message"));
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

    mmText = new TMessageMemo(this);
    mmText->setObjectName(QStringLiteral("mmText"));
    mmText->SetMaxLength(2000);
    mmText->setTabChangesFocus(true);
    mmText->setMinimumSize(329, 185);

    lbSymbols = new QLabel(QStringLiteral("%d / %d"), this);
    lbSymbols->setObjectName(QStringLiteral("lbSymbols"));

    btnSend = new QPushButton(QStringLiteral("Send"), this);
    btnSend->setObjectName(QStringLiteral("btnSend"));
    btnSend->setDefault(true);
    btnSend->setEnabled(false);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    auto* Layout = new QGridLayout(this);
    Layout->setContentsMargins(15, 15, 15, 15);
    Layout->addWidget(imMessage, 0, 0);
    Layout->addWidget(cmbTarget, 0, 1);
    Layout->addWidget(mmText, 1, 0, 1, 2);
    auto* Bottom = new QHBoxLayout;
    Bottom->addWidget(lbSymbols);
    Bottom->addStretch();
    Bottom->addWidget(btnSend);
    Bottom->addWidget(btnCancel);
    Layout->addLayout(Bottom, 2, 0, 1, 2);

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
}

bool TfmCreateMessage::IsTargetValid(const QString& Target)
{
    int Numbers = 0;
    for (char32_t C : Target.toUcs4()) {
        if (QChar::isNumber(C)) {
            ++Numbers;
        }
    }
    return Numbers >= 1 && Numbers <= 15;
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

void TfmCreateMessage::UpdateSendButton()
{
    btnSend->setEnabled(IsTargetValid(cmbTarget->currentText()) && !mmText->toPlainText().isEmpty());
}

void TfmCreateMessage::UpdateCounter()
{
    FSmsSend.SetText(mmText->toPlainText());
    lbSymbols->setText(QStringLiteral("%1 / %2").arg(FSmsSend.Text().size()).arg(FSmsSend.Count()));
}

} // namespace Ombrelay
