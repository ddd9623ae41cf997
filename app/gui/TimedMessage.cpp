#include "gui/TimedMessage.h"

#include "base/DateTime.h"
#include "core/Common.h"
#include "core/MonitorLog.h"
#include "core/Options.h"
#include "gui/GuiCommon.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace Ombrelay
{

namespace
{

TfmTimedMessage::TRebootFunction& RebootFunction()
{
    static TfmTimedMessage::TRebootFunction function = [] { RebootSystem(); };
    return function;
}

} // namespace

void TfmTimedMessage::SetRebootFunction(TRebootFunction Function)
{
    RebootFunction() = std::move(Function);
}

void TfmTimedMessage::ResetRebootFunction()
{
    RebootFunction() = [] { RebootSystem(); };
}

TfmTimedMessage::TfmTimedMessage(quint32 TimeOut, const QString& Title, const QString& Text, QWidget* Parent)
    : QDialog(Parent)
    , FTimeOut(TimeOut + 1)
{
    setObjectName(QStringLiteral("fmTimedMessage"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowStaysOnTopHint);
    setWindowTitle(Title);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    lbInfo = new QLabel(panel);
    lbInfo->setObjectName(QStringLiteral("lbInfo"));
    lbInfo->setTextFormat(Qt::PlainText);
    lbInfo->setWordWrap(true);
    lbInfo->setAlignment(Qt::AlignCenter);
    lbInfo->setText(Text);
    lbInfo->setMinimumSize(300, 60);
    QPalette palette = lbInfo->palette();
    palette.setColor(QPalette::WindowText, WarningColor(palette));
    lbInfo->setPalette(palette);
    QFont font = lbInfo->font();
    font.setBold(true);
    lbInfo->setFont(font);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(lbInfo);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = new QToolButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setText(tr("Cancel"));
    btnCancel->setPopupMode(QToolButton::MenuButtonPopup);
    btnCancel->setMinimumWidth(btnOK->sizeHint().width());
    pmSupress = new QMenu(this);
    pmSupress->setObjectName(QStringLiteral("pmSupress"));
    auto addSupress = [this](const char* Name, int Minutes) {
        QAction* item = pmSupress->addAction(tr("Suppress for %1 minutes").arg(Minutes));
        item->setObjectName(QLatin1String(Name));
        item->setData(Minutes);
        connect(item, &QAction::triggered, this, [this, item] { SupressClick(item); });
        return item;
    };
    pmiSupressfor10Minutes = addSupress("pmiSupressfor10Minutes", 10);
    pmiSupressfor30Minutes = addSupress("pmiSupressfor30Minutes", 30);
    pmiSupressfor60Minutes = addSupress("pmiSupressfor60Minutes", 60);
    btnCancel->setMenu(pmSupress);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnOK, &QPushButton::clicked, this, &TfmTimedMessage::btnOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfmTimedMessage::btnCancelClick);

    tmMain = new QTimer(this);
    tmMain->setObjectName(QStringLiteral("tmMain"));
    tmMain->setInterval(1000);
    connect(tmMain, &QTimer::timeout, this, &TfmTimedMessage::tmMainTimer);
    tmMain->start();
}

bool TfmTimedMessage::Counting() const
{
    return tmMain->isActive();
}

void TfmTimedMessage::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    FormShow();
}

void TfmTimedMessage::FormShow()
{
    QApplication::beep();
    if (tmMain->isActive()) {
        Tick();
    }
}

void TfmTimedMessage::tmMainTimer()
{
    Tick();
}

void TfmTimedMessage::Tick()
{
    // The count stops at zero: a step after a refused restart must not wrap around.
    if (FTimeOut == 0) {
        tmMain->stop();
        return;
    }
    --FTimeOut;
    btnOK->setText(tr("OK (%1)").arg(FTimeOut));
    if (FTimeOut == 0) {
        tmMain->stop();
        btnOK->click();
    }
}

void TfmTimedMessage::btnOKClick()
{
    LogMonitorEvent({Clock::Now(), QLatin1String(MonitorLogKind::Restart), QString(), QString(),
                     QStringLiteral("requested"),
                     FTimeOut == 0 ? QStringLiteral("count-down ended") : QStringLiteral("confirmed by the user")});
    try {
        RebootFunction()();
    } catch (const std::exception& e) {
        LogMonitorEvent({Clock::Now(), QLatin1String(MonitorLogKind::Restart), QString(), QString(),
                         QStringLiteral("refused"), QString::fromUtf8(e.what())});
        // The restart was refused: stop counting and stay open, so the user can try again with
        // OK or dismiss the warning with Cancel.
        tmMain->stop();
        btnOK->setText(tr("OK"));
        ShowException(this, e);
        return;
    }
    close();
}

void TfmTimedMessage::btnCancelClick()
{
    close();
}

void TfmTimedMessage::SupressClick(QAction* Sender)
{
    Options->SetSuppressTime(Clock::Now() + Sender->data().toInt() * 60.0 / kSecondsPerDay);
    close();
}

} // namespace Ombrelay
