#include "gui/TrayIcon.h"

#include "core/Options.h"
#include "gui/Icons.h"
#include "gui/MessageBox.h"

#include <QAction>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QStringList>
#include <QSystemTrayIcon>

#include <algorithm>

namespace Ombrelay
{

namespace
{

std::optional<bool>& AvailableOverride()
{
    static std::optional<bool> value;
    return value;
}

// Whether notifications go to the desktop's notification service and it reads markup in a
// body (its "body-markup" capability): then '<' and '&' of a text would be taken as markup. Asked
// once; the icon goes that way when a StatusNotifierItem host is there.
bool NoticeBodyIsMarkup()
{
    static std::optional<bool> known;
    if (!known.has_value()) {
        known = false;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected() && bus.interface() &&
            bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
            QDBusInterface service(QStringLiteral("org.freedesktop.Notifications"),
                                   QStringLiteral("/org/freedesktop/Notifications"),
                                   QStringLiteral("org.freedesktop.Notifications"), bus);
            service.setTimeout(1000);
            const QDBusReply<QStringList> caps = service.call(QStringLiteral("GetCapabilities"));
            known = caps.isValid() && caps.value().contains(QStringLiteral("body-markup"));
        }
    }
    return *known;
}

} // namespace

QString TTrayIcon::NoticeBody(const QString& Text, bool Markup)
{
    return Markup ? Text.toHtmlEscaped() : Text;
}

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
    connect(tiMain, &QSystemTrayIcon::messageClicked, this, &TTrayIcon::NoticeClicked);
}

void TTrayIcon::Show()
{
    tiMain->show();
}

void TTrayIcon::Hide()
{
    tiMain->hide();
}

void TTrayIcon::ShowNotice(const QString& Title, const QString& Text)
{
    FLastBalloonTitle = Title;
    FLastBalloonText = Text;
    ++FBalloonCount;
    // Shown as written, also by a service that reads markup.
    tiMain->showMessage(Title, NoticeBody(Text, NoticeBodyIsMarkup()), QSystemTrayIcon::Information);
    Q_EMIT NoticeShown(Title, Text);
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

void TTrayIcon::SetStatus(const QString& ToolTip)
{
    if (tiMain->toolTip() != ToolTip) {
        tiMain->setToolTip(ToolTip);
    }
}

QString TTrayIcon::Status() const
{
    return tiMain->toolTip();
}

void TTrayIcon::SetRoaming(bool Value)
{
    if (Value == FRoaming) {
        return;
    }
    FRoaming = Value;
    if (!Value) {
        tiMain->setIcon(TIcons::AppIcon());
        return;
    }
    // The program's icon with an "R" in a corner, drawn at each size the icon has.
    const QIcon base = TIcons::AppIcon();
    QIcon badged;
    QList<QSize> sizes = base.availableSizes();
    if (sizes.isEmpty()) {
        sizes = {QSize(16, 16), QSize(32, 32), QSize(64, 64)};
    }
    for (const QSize& size : std::as_const(sizes)) {
        QPixmap pixmap = base.pixmap(size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const int d = std::max(7, size.width() / 2);
        const QRect badge(pixmap.width() - d, pixmap.height() - d, d, d);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE6, 0x7E, 0x22));
        p.drawEllipse(badge);
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(std::max(6, d * 3 / 4));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(badge, Qt::AlignCenter, QStringLiteral("R"));
        p.end();
        badged.addPixmap(pixmap);
    }
    tiMain->setIcon(badged);
}

} // namespace Ombrelay
