#include "gui/DeviceInfoPage.h"

#include "base/DateTime.h"
#include "core/MBInterfaceItem.h"
#include "core/MainController.h"
#include "core/Options.h"
#include "core/Usage.h"
#include "gui/InfoList.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Ombrelay
{

TDeviceInfoPage::TDeviceInfoPage(const TMainController& Controller, QWidget* Parent)
    : QWidget(Parent)
    , FController(Controller)
{
    setObjectName(QStringLiteral("tsInfo"));
    lvDevCaps = NewInfoList("lvDevCaps", this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(lvDevCaps, 2);
    lvNetwork = NewInfoList("lvNetwork", this);
    layout->addWidget(lvNetwork, 1);
    auto* buttons = new QHBoxLayout;
    btnUnlock = new QPushButton(tr("&Unlock SIM..."), this);
    btnUnlock->setObjectName(QStringLiteral("btnUnlock"));
    btnSwitchOn = new QPushButton(tr("&Enable"), this);
    btnSwitchOn->setObjectName(QStringLiteral("btnSwitchOn"));
    btnSwitchOn->setToolTip(tr("Switch the modem on"));
    buttons->addWidget(btnUnlock);
    buttons->addWidget(btnSwitchOn);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    btnUnlock->hide();
    btnSwitchOn->hide();
    connect(btnUnlock, &QPushButton::clicked, this, &TDeviceInfoPage::UnlockRequested);
    connect(btnSwitchOn, &QPushButton::clicked, this, &TDeviceInfoPage::SwitchOnRequested);
    tmSession = new QTimer(this);
    tmSession->setObjectName(QStringLiteral("tmSession"));
    tmSession->setInterval(1000);
    connect(tmSession, &QTimer::timeout, this, &TDeviceInfoPage::ShowNetwork);
}

QString TDeviceInfoPage::DurationText(qint64 Seconds)
{
    Seconds = std::max<qint64>(Seconds, 0);
    return QStringLiteral("%1:%2:%3")
        .arg(Seconds / 3600)
        .arg((Seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(Seconds % 60, 2, 10, QLatin1Char('0'));
}

void TDeviceInfoPage::ShowNetwork()
{
    lvNetwork->setUpdatesEnabled(false);
    const auto restore = qScopeGuard([this] { lvNetwork->setUpdatesEnabled(true); });
    lvNetwork->clear();
    const TMbnLock lock = FController.LockState().Lock;
    btnUnlock->setVisible(FController.SelectedInterface() &&
                          (lock == TMbnLock::lkSimPin || lock == TMbnLock::lkSimPuk));
    btnSwitchOn->setVisible(FController.SelectedInterface() && lock == TMbnLock::lkNone && !FController.Powered());
    if (!FController.SelectedInterface()) {
        tmSession->stop();
        return;
    }
    if (const QString device = FController.DeviceStateText(); !device.isEmpty()) {
        const int left = FController.LockState().AttemptsLeft;
        AddInfoRow(lvNetwork, tr("State"),
                   left >= 0 && lock != TMbnLock::lkNone && lock != TMbnLock::lkBlocked
                       ? tr("%1 (%n attempt(s) left)", nullptr, left).arg(device)
                       : device);
    }
    const TMbnRegistration& r = FController.Registration();
    QString state = RegistrationText(r);
    state = state.section(QLatin1Char(':'), 0, 0);
    AddInfoRow(lvNetwork, tr("Network"), state.isEmpty() ? tr("Unknown") : state);
    AddInfoRow(lvNetwork, tr("Operator"), r.OperatorName);
    AddInfoRow(lvNetwork, tr("Operator code"), r.OperatorCode);
    AddInfoRow(lvNetwork, tr("Access technology"), AccessTechText(r.AccessTech));
    const quint32 raw = FController.SignalStrength();
    const int percent = SignalPercent(raw);
    AddInfoRow(lvNetwork, tr("Signal"), percent < 0 ? tr("Unknown") : tr("%1% (%2 of 31)").arg(percent).arg(raw));
    // The connection while it is up.
    const TConnectionSession session = FController.Session();
    if (!session.Connected) {
        tmSession->stop();
        return;
    }
    if (!tmSession->isActive()) {
        tmSession->start();
    }
    AddInfoRow(lvNetwork, tr("IPv4 address"), session.IPv4.join(QStringLiteral(", ")));
    AddInfoRow(lvNetwork, tr("IPv6 address"), session.IPv6.join(QStringLiteral(", ")));
    const qint64 seconds = qint64((Clock::Now() - session.Since) * 86400.0 + 0.5);
    AddInfoRow(lvNetwork, tr("Connected for"), DurationText(seconds));
    AddInfoRow(lvNetwork, tr("This session"),
               tr("%1 received, %2 sent").arg(FormatByteSize(session.Received), FormatByteSize(session.Sent)));
}

void TDeviceInfoPage::ShowDeviceInfo()
{
    // One repaint for the whole rebuild.
    lvDevCaps->setUpdatesEnabled(false);
    const auto restore = qScopeGuard([this] { lvDevCaps->setUpdatesEnabled(true); });
    lvDevCaps->clear();
    TMBInterfaceItem* item = FController.SelectedInterface();
    if (!item) {
        return;
    }
    AddInfoRow(lvDevCaps, tr("Cellular class"), item->CellularClass());
    AddInfoRow(lvDevCaps, tr("Voice class"), item->VoiceClass());
    AddInfoRow(lvDevCaps, tr("Data class"), item->DataClass());
    AddInfoRow(lvDevCaps, tr("Band class"), item->BandClass());
    AddInfoRow(lvDevCaps, tr("SMS"), item->SmsCaps());
    AddInfoRow(lvDevCaps, tr("Control"), item->CtlCaps());
    AddInfoRow(lvDevCaps, tr("Model"), item->ToString());
    AddInfoRow(lvDevCaps, tr("IMEI"), item->DeviceID());
    AddInfoRow(lvDevCaps, tr("Firmware info"), item->FirmwareInfo());
    if (Options) {
        Options->SetInterfaceID(item->InterfaceID());
    }
}

} // namespace Ombrelay
