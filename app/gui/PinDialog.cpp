#include "gui/PinDialog.h"

#include "core/MainController.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <exception>

namespace Ombrelay
{

namespace
{

QLineEdit* CodeEdit(const char* Name, QWidget* Parent)
{
    auto* e = new QLineEdit(Parent);
    e->setObjectName(QLatin1String(Name));
    e->setEchoMode(QLineEdit::Password);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), e));
    // Room for a whole PUK, also when the PUK rows appear in a dialog laid out for the PIN alone.
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16);
    return e;
}

bool IsCode(const QString& Text, int MinDigits)
{
    return Text.size() >= MinDigits && Text.size() <= 8 &&
           QRegularExpression(QStringLiteral("^[0-9]+$")).match(Text).hasMatch();
}

} // namespace

TPinDialog::TPinDialog(TMainController& Controller, const QString& InterfaceID, QWidget* Parent)
    : QDialog(Parent)
    , FController(Controller)
    , FInterfaceID(InterfaceID)
{
    setObjectName(QStringLiteral("fmPin"));
    setWindowTitle(tr("Unlock SIM"));
    // Wide enough that the prompt wraps into a few lines, not one word under the other.
    setMinimumWidth(fontMetrics().averageCharWidth() * 45);
    auto* layout = new QVBoxLayout(this);
    lblPrompt = new QLabel(this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setWordWrap(true);
    layout->addWidget(lblPrompt);
    auto* form = new QFormLayout;
    FForm = form;
    edPuk = CodeEdit("edPuk", this);
    edPin = CodeEdit("edPin", this);
    edConfirm = CodeEdit("edConfirm", this);
    form->addRow(tr("&PUK:"), edPuk);
    form->addRow(tr("P&IN:"), edPin);
    form->addRow(tr("&Confirm new PIN:"), edConfirm);
    layout->addLayout(form);
    lblError = new QLabel(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setWordWrap(true);
    layout->addWidget(lblError);
    FButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(FButtons);
    connect(FButtons, &QDialogButtonBox::accepted, this, [this] { Submit(); });
    connect(FButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(&FController, &TMainController::DeviceRequestFinished, this, &TPinDialog::Finished);
    connect(&FController, &TMainController::DeviceStateShown, this, [this] {
        if (!FWaiting) {
            ShowLock();
        }
    });
    ShowLock();
}

void TPinDialog::ShowLock()
{
    const TMbnLockState lock = FController.LockState();
    FPuk = lock.Lock == TMbnLock::lkSimPuk || lock.Lock == TMbnLock::lkBlocked;
    QString prompt;
    switch (lock.Lock) {
    case TMbnLock::lkSimPin:
        prompt = lock.AttemptsLeft >= 0 ? tr("Enter the SIM PIN. %n attempt(s) left.", nullptr, lock.AttemptsLeft)
                                        : tr("Enter the SIM PIN.");
        break;
    case TMbnLock::lkSimPuk:
        prompt = lock.AttemptsLeft >= 0 ? tr("The SIM is locked by its PUK. Enter the PUK and a new PIN. %n "
                                             "attempt(s) left.",
                                             nullptr, lock.AttemptsLeft)
                                        : tr("The SIM is locked by its PUK. Enter the PUK and a new PIN.");
        break;
    case TMbnLock::lkBlocked:
        prompt = tr("The SIM is blocked. Only its operator can unblock it.");
        break;
    case TMbnLock::lkNone:
        prompt = tr("The SIM is unlocked.");
        break;
    }
    lblPrompt->setText(prompt);
    // A blocked SIM takes no code at all: no fields to fill in vain.
    const bool codes = lock.Lock != TMbnLock::lkBlocked;
    FForm->setRowVisible(edPuk, FPuk && codes);
    FForm->setRowVisible(edConfirm, FPuk && codes);
    FForm->setRowVisible(edPin, codes);
    if (auto* w = qobject_cast<QLabel*>(FForm->labelForField(edPin))) {
        w->setText(FPuk ? tr("New P&IN:") : tr("P&IN:"));
    }
    FButtons->button(QDialogButtonBox::Ok)
        ->setEnabled(lock.Lock == TMbnLock::lkSimPin || lock.Lock == TMbnLock::lkSimPuk);
}

bool TPinDialog::Submit()
{
    if (FWaiting) {
        return false;
    }
    const QString pin = edPin->text();
    if (!IsCode(pin, 4)) {
        lblError->setText(tr("A PIN is 4 to 8 digits."));
        return false;
    }
    if (FPuk && (!IsCode(edPuk->text(), 8) || edConfirm->text() != pin)) {
        lblError->setText(edConfirm->text() != pin ? tr("The new PIN and its confirmation differ.")
                                                   : tr("A PUK is 8 digits."));
        return false;
    }
    try {
        IMBManager* manager = FController.Manager();
        if (!manager) {
            return false;
        }
        FRequest = FPuk ? manager->SendPuk(FInterfaceID, edPuk->text(), pin) : manager->SendPin(FInterfaceID, pin);
    } catch (const std::exception& e) {
        lblError->setText(QString::fromUtf8(e.what()));
        return false;
    }
    FWaiting = true;
    lblError->setText(tr("Checking..."));
    FButtons->button(QDialogButtonBox::Ok)->setEnabled(false);
    return true;
}

void TPinDialog::Finished(const QString& InterfaceID, quint32 RequestId, const QString& Error)
{
    if (!FWaiting || InterfaceID != FInterfaceID || RequestId != FRequest) {
        return;
    }
    FWaiting = false;
    // The codes are not kept a moment longer than needed.
    edPin->clear();
    edPuk->clear();
    edConfirm->clear();
    if (Error.isEmpty()) {
        accept();
        return;
    }
    const bool wasPuk = FPuk;
    FController.RefreshDeviceState();
    ShowLock();
    const TMbnLockState lock = FController.LockState();
    if (lock.Lock == TMbnLock::lkSimPin && lock.AttemptsLeft >= 0) {
        lblError->setText(tr("Wrong PIN. %n attempt(s) left.", nullptr, lock.AttemptsLeft));
    } else if (lock.Lock == TMbnLock::lkSimPuk && !wasPuk) {
        lblError->setText(tr("Wrong PIN. The SIM now asks for its PUK."));
    } else if (lock.Lock == TMbnLock::lkBlocked) {
        lblError->setText(tr("Wrong PUK. The SIM is blocked."));
    } else {
        lblError->setText(tr("The SIM refused the code: %1").arg(Error));
    }
}

QString TPinDialog::Prompt() const
{
    return lblPrompt->text();
}

QString TPinDialog::Error() const
{
    return lblError->text();
}

} // namespace Ombrelay
