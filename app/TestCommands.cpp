#include "TestCommands.h"

#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/Options.h"
#include "gui/About.h"
#include "gui/CreateMessage.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"
#include "gui/Settings.h"
#include "gui/SignalPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>

#include <memory>

namespace Ombrelay
{

QString TestCommand(TfmMainView& Window, const QString& Line)
{
    const QString verb = Line.section(QLatin1Char(' '), 0, 0);
    const QString arg = Line.section(QLatin1Char(' '), 1);
    if (verb == QLatin1String("visible")) {
        return Window.isVisible() ? QStringLiteral("ok yes") : QStringLiteral("ok no");
    }
    if (verb == QLatin1String("tab")) {
        for (int i = 0; i < Window.pcMain->count(); ++i) {
            if (Window.pcMain->widget(i)->objectName() == arg) {
                Window.pcMain->setCurrentIndex(i);
                return QStringLiteral("ok");
            }
        }
        return QStringLiteral("error no tab ") + arg;
    }
    if (verb == QLatin1String("dialog")) {
        // "dialog about|settings|message FILE": a picture of one of the main dialogs, shown
        // without waiting for the user, then closed.
        const QString which = arg.section(QLatin1Char(' '), 0, 0);
        const QString file = arg.section(QLatin1Char(' '), 1);
        std::unique_ptr<QDialog> dialog;
        if (which == QLatin1String("about")) {
            dialog = std::make_unique<TfmAbout>(&Window);
        } else if (which == QLatin1String("settings")) {
            auto settings = std::make_unique<TfmSettings>(&Window);
            if (Options) {
                settings->CopyIn(*Options);
            }
            dialog = std::move(settings);
        } else if (which == QLatin1String("message")) {
            auto message = std::make_unique<TfmCreateMessage>(&Window);
            message->cmbTarget->setEditText(QStringLiteral("+4917012345"));
            message->mmText->setPlainText(QStringLiteral("See you at eight at the station."));
            dialog = std::move(message);
        } else {
            return QStringLiteral("error no dialog ") + which;
        }
        dialog->show();
        QCoreApplication::processEvents();
        const bool saved = dialog->grab().save(file, "PNG");
        dialog->close();
        return saved ? QStringLiteral("ok") : QStringLiteral("error cannot write ") + file;
    }
    if (verb == QLatin1String("menus")) {
        // The menu bar's titles, as the user reads them.
        QStringList titles;
        for (QAction* action : Window.menuBar()->actions()) {
            titles << action->text();
        }
        return QStringLiteral("ok ") + titles.join(QLatin1Char('\t'));
    }
    if (verb == QLatin1String("geometry")) {
        // The window's frame and client rects and its screen's free area, in logical pixels.
        const QRect f = Window.frameGeometry();
        const QRect g = Window.geometry();
        const QRect s = Window.screen() ? Window.screen()->availableGeometry() : QRect();
        return QStringLiteral("ok %1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12")
            .arg(f.x())
            .arg(f.y())
            .arg(f.width())
            .arg(f.height())
            .arg(g.x())
            .arg(g.y())
            .arg(g.width())
            .arg(g.height())
            .arg(s.x())
            .arg(s.y())
            .arg(s.width())
            .arg(s.height());
    }
    if (verb == QLatin1String("palette") && arg == QLatin1String("dark")) {
        // A dark theme as desktops set it, for the screenshots that show the colours on it.
        QPalette p;
        p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
        p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
        p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
        p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
        p.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
        p.setColor(QPalette::HighlightedText, QColor(0x10, 0x10, 0x10));
        p.setColor(QPalette::ToolTipBase, QColor(0x31, 0x36, 0x3b));
        p.setColor(QPalette::ToolTipText, QColor(0xee, 0xee, 0xee));
        p.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
        p.setColor(QPalette::Link, QColor(0, 0, 128));
        QApplication::setPalette(p);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("focus")) {
        // Puts the keyboard into a named control, so that keys from outside reach it.
        auto* widget = Window.findChild<QWidget*>(arg);
        if (!widget) {
            return QStringLiteral("error no control ") + arg;
        }
        Window.activateWindow();
        widget->setFocus(Qt::OtherFocusReason);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("hide")) {
        // Into the notification area, as closing the window does (without its first-time notice).
        Window.hide();
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("show")) {
        Window.acOpenApp->trigger();
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("screenshot")) {
        if (!Window.grab().save(arg, "PNG")) {
            return QStringLiteral("error cannot write ") + arg;
        }
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("poll")) {
        // Reads every device now instead of at the next tick of the manager's timer.
        IMBManager* manager = Window.Manager();
        if (!manager) {
            return QStringLiteral("error no modem manager");
        }
        QStringList ids;
        for (const auto& item : *manager->GetInterfaceList()) {
            ids << item->InterfaceID();
        }
        try {
            for (const QString& id : ids) {
                manager->ReadSms(id);
            }
        } catch (const std::exception& e) {
            return QStringLiteral("error ") + QString::fromUtf8(e.what()).simplified();
        }
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("errors")) {
        // The error reports shown so far, one line each after the count.
        QStringList lines;
        for (const QString& text : TMessageBox::Shown()) {
            lines << text.simplified();
        }
        lines.prepend(QStringLiteral("ok %1").arg(lines.size()));
        return lines.join(QLatin1Char('\t'));
    }
    if (verb == QLatin1String("statusbar")) {
        // The status bar's texts, panel by panel, separated by tabs.
        return QStringLiteral("ok %1\t%2\t%3")
            .arg(Window.sbMainPanel0->text(), Window.SignalPanel()->Text(), Window.sbRegistration->text());
    }
    return QStringLiteral("error unknown command");
}

} // namespace Ombrelay
