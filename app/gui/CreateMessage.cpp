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

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addWidget(imMessage, 0, 0);
    layout->addWidget(cmbTarget, 0, 1);
    layout->addWidget(mmText, 1, 0, 1, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lbSymbols);
    bottom->addStretch();
    bottom->addWidget(btnSend);
    bottom->addWidget(btnCancel);
    layout->addLayout(bottom, 2, 0, 1, 2);

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
