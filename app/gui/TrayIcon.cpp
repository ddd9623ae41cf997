#include "gui/TrayIcon.h"

#include "core/Options.h"
#include "gui/Icons.h"
#include "gui/MessageBox.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace Ombrelay
{

namespace
{

std::optional<bool>& AvailableOverride()
{
    static std::optional<bool> value;
    return value;
}

} // namespace

void TTrayIcon::SetAvailableOverride(std::optional<bool> Value)
{
    AvailableOverride() = Value;
}

bool TTrayIcon::Available()
{
    if (AvailableOverride().has_value()) {
        return *AvailableOverride();
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

TTrayIcon::TTrayIcon(QAction* OpenApp, QAction* SendSms, QAction* Connect, QAction* Disconnect, QAction* ExitApp,
                     QWidget* Window)
    : QObject(Window)
{
    setObjectName(QStringLiteral("TrayIcon"));
    pmTray = new QMenu(Window);
    pmTray->setObjectName(QStringLiteral("pmTray"));
    pmTray->addAction(OpenApp);
    pmTray->setDefaultAction(OpenApp);
    pmTray->addSeparator();
    pmTray->addAction(SendSms);
    pmTray->addAction(Connect);
    pmTray->addAction(Disconnect);
    pmTray->addSeparator();
    pmTray->addAction(ExitApp);
    tiMain = new QSystemTrayIcon(TIcons::AppIcon(), this);
    tiMain->setObjectName(QStringLiteral("tiMain"));
    tiMain->setToolTip(QStringLiteral("Ombrelay"));
    tiMain->setContextMenu(pmTray);
    connect(tiMain, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason Reason) {
        // Trays of the StatusNotifierItem kind report a click as one activation, not a double-click.
        if (Reason == QSystemTrayIcon::DoubleClick || Reason == QSystemTrayIcon::Trigger) {
            Q_EMIT OpenWanted();
        }
    });
}

void TTrayIcon::Show()
{
    tiMain->show();
}

void TTrayIcon::Hide()
{
    tiMain->hide();
}

void TTrayIcon::AnnounceNewMessages(int Unread)
{
    // The plural forms come from the translation (English has one too).
    const QString title = tr("%n New Message(s)", nullptr, Unread);
    FLastBalloonTitle = title;
    ++FBalloonCount;
    tiMain->showMessage(title, tr("You have received a new message"), QSystemTrayIcon::Information);
}

void TTrayIcon::WarnOnce(QWidget* Window)
{
    if (Options && Options->TrayWarning()) {
        TMessageBox::Information(Window, QStringLiteral("Ombrelay"),
                                 tr("The application will remain running in the notification area. In "
                                    "order to quit it choose 'Exit' from the popup menu."));
        Options->SetTrayWarning(false);
    }
}

bool TTrayIcon::PopUpMenu()
{
    if (!Available() || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return false;
    }
    // The menu's aboutToShow brings the items' enabled states up to date.
    pmTray->popup(QCursor::pos());
    pmTray->activateWindow();
    return true;
}

} // namespace Ombrelay
