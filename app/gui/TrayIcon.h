#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace Ombrelay
{

// The program's place in the notification area: the icon tiMain with its menu pmTray, the
// balloon that announces received messages, and the menu's pop-up for a second start.
class TTrayIcon : public QObject
{
    Q_OBJECT

public:
    // The menu holds, in order: Open (the default item), a separator, New SMS..., Connect,
    // Disconnect, a separator, Exit. Window is the main window, the menu's parent.
    TTrayIcon(QAction* OpenApp, QAction* SendSms, QAction* Connect, QAction* Disconnect, QAction* ExitApp,
              QWidget* Window);

    // Whether a notification area is there; tests may decide it, otherwise the desktop does.
    static void SetAvailableOverride(std::optional<bool> Value);
    static bool Available();

    void Show();
    void Hide();
    // Shows a notification; a click on it comes back as NoticeClicked. Title and Text are plain
    // text.
    void ShowNotice(const QString& Title, const QString& Text);
    // The icon's tool tip: the program, State (the selected interface's) and the unread count.
    // The body a notification service gets for Text: escaped where the service reads markup.
    static QString NoticeBody(const QString& Text, bool Markup);
    // The first time the window goes to the notification area, tells the user that the program
    // runs on there and how to end it; never again once the user has read it.
    void WarnOnce(QWidget* Window);
    // Pops the menu up at the pointer where the platform lets a program place one (X11); false
    // elsewhere (Wayland, no notification area), where the caller shows the window instead.
    bool PopUpMenu();

    // The icon's tool tip: the program's name and, below, the modem's state.
    void SetStatus(const QString& ToolTip);
    QString Status() const;
    // A badge on the icon while the modem roams (data may cost more abroad).
    void SetRoaming(bool Value);
    bool Roaming() const { return FRoaming; }
    QMenu* Menu() const { return pmTray; }
    QSystemTrayIcon* Icon() const { return tiMain; }
    const QString& LastBalloonTitle() const { return FLastBalloonTitle; }
    const QString& LastBalloonText() const { return FLastBalloonText; }
    int BalloonCount() const { return FBalloonCount; }

Q_SIGNALS:
    // A click or double-click on the icon: the window is wanted.
    void OpenWanted();
    // The last notification shown was clicked.
    void NoticeClicked();
    // A notification went out (told also where the desktop shows none).
    void NoticeShown(const QString& Title, const QString& Text);

private:
    QMenu* pmTray;
    QSystemTrayIcon* tiMain;
    QString FLastBalloonTitle;
    QString FLastBalloonText;
    int FBalloonCount = 0;
    bool FRoaming = false;
};

} // namespace Ombrelay
