#include "TestCommands.h"

#include "base/DateTime.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/Options.h"
#include "core/SmsReports.h"
#include "core/SmsStore.h"
#include "core/Usage.h"
#include "core/UssdSession.h"
#include "gui/About.h"
#include "gui/CreateMessage.h"
#include "gui/DeviceInfoPage.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"
#include "gui/PinDialog.h"
#include "gui/Settings.h"
#include "gui/SignalPanel.h"
#include "gui/TimedMessage.h"
#include "gui/UssdDialog.h"
#include "sms/SMS.h"

#include <QApplication>
#include <QComboBox>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>

#include <memory>

namespace Ombrelay
{

QString TestCommand(TfmMainView& Window, const QString& Line)
{
    const QString verb = Line.section(QLatin1Char(' '), 0, 0);
    const QString arg = Line.section(QLatin1Char(' '), 1);
    if (verb == QLatin1String("pin-dialog")) {
        // "pin-dialog open|state|enter PIN|enter-puk PUK NEWPIN|close": the unlock dialog,
        // driven as a user would; "state" answers "open|closed PROMPT | ERROR".
        const QStringList words = arg.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString what = words.value(0);
        if (what == QLatin1String("open")) {
            Window.ShowUnlockDialog();
            return Window.FPinDialog ? QStringLiteral("ok") : QStringLiteral("error no dialog");
        }
        if (what == QLatin1String("state")) {
            if (!Window.FPinDialog || !Window.FPinDialog->isVisible()) {
                return QStringLiteral("ok closed");
            }
            return QStringLiteral("ok open %1 | %2").arg(Window.FPinDialog->Prompt(), Window.FPinDialog->Error());
        }
        if (!Window.FPinDialog) {
            return QStringLiteral("error the dialog is not open");
        }
        if (what == QLatin1String("enter") && words.size() == 2) {
            Window.FPinDialog->edPin->setText(words[1]);
            return Window.FPinDialog->Submit() ? QStringLiteral("ok")
                                               : QStringLiteral("error ") + Window.FPinDialog->Error();
        }
        if (what == QLatin1String("enter-puk") && words.size() == 3) {
            Window.FPinDialog->edPuk->setText(words[1]);
            Window.FPinDialog->edPin->setText(words[2]);
            Window.FPinDialog->edConfirm->setText(words[2]);
            return Window.FPinDialog->Submit() ? QStringLiteral("ok")
                                               : QStringLiteral("error ") + Window.FPinDialog->Error();
        }
        if (what == QLatin1String("close")) {
            Window.FPinDialog->reject();
            return QStringLiteral("ok");
        }
        return QStringLiteral("error usage: pin-dialog open|state|enter PIN|enter-puk PUK NEWPIN|close");
    }
    if (verb == QLatin1String("device-state")) {
        // The device view's rows and buttons: "ok ROW; ROW; ... [unlock] [enable]".
        QStringList rows;
        for (int i = 0; i < Window.tsInfo->lvNetwork->topLevelItemCount(); ++i) {
            rows << Window.tsInfo->lvNetwork->topLevelItem(i)->text(0) + QLatin1Char('=') +
                        Window.tsInfo->lvNetwork->topLevelItem(i)->text(1);
        }
        if (!Window.tsInfo->btnUnlock->isHidden()) {
            rows << QStringLiteral("[unlock]");
        }
        if (!Window.tsInfo->btnSwitchOn->isHidden()) {
            rows << QStringLiteral("[enable]");
        }
        return QStringLiteral("ok ") + rows.join(QStringLiteral("; "));
    }
    if (verb == QLatin1String("switch-on")) {
        // The device view's Enable button, clicked.
        if (Window.tsInfo->btnSwitchOn->isHidden()) {
            return QStringLiteral("error the modem is not shown switched off");
        }
        Window.tsInfo->btnSwitchOn->click();
        return QStringLiteral("ok");
    }
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
    if (verb == QLatin1String("folder")) {
        // "folder ROW": chooses a folder of the messages page (0 inbox, 1 sent, 2 conversation).
        Window.tsMessages->lvSmsType->setCurrentRow(arg.toInt());
        return QStringLiteral("ok");
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
    if (verb == QLatin1String("tray")) {
        // "tray [FILE]": whether the icon wears the roaming badge, and its tool tip (line breaks
        // as " | "); with FILE also a picture of the icon as a 64-pixel notification area shows it.
        QSystemTrayIcon* icon = Window.Tray()->Icon();
        if (!arg.isEmpty() && !icon->icon().pixmap(64, 64).save(arg, "PNG")) {
            return QStringLiteral("error cannot write ") + arg;
        }
        return QStringLiteral("ok %1 %2")
            .arg(Window.TrayRoaming() ? QStringLiteral("roaming") : QStringLiteral("home"),
                 icon->toolTip().replace(QLatin1Char('\n'), QStringLiteral(" | ")));
    }
    if (verb == QLatin1String("tooltip")) {
        // "tooltip NAME": the tool tip of a control by its object name (status bar panels too).
        const auto* widget = Window.findChild<QWidget*>(arg);
        return widget ? QStringLiteral("ok ") + widget->toolTip() : QStringLiteral("error no control ") + arg;
    }
    if (verb == QLatin1String("statusbar")) {
        // The status bar's texts, panel by panel, separated by tabs.
        return QStringLiteral("ok %1\t%2\t%3")
            .arg(Window.sbMainPanel0->text(), Window.SignalPanel()->Text(), Window.sbRegistration->text());
    }
    if (verb == QLatin1String("send-as-dialog") || verb == QLatin1String("states") || verb == QLatin1String("retry")) {
        // Sent messages: "send-as-dialog IFACE NUMBER TEXT" as the new-message dialog sends (the
        // instance channel's own "send" is the one scripts use), "states IFACE"
        // the Sent list's states newest first (tab-separated), "retry IFACE ROW" the Retry action.
        IMBManager* manager = Window.Manager();
        if (!manager) {
            return QStringLiteral("error no modem manager");
        }
        try {
            TMBInterfaceItem* item = manager->GetInterfaceList()->GetByID(arg.section(QLatin1Char(' '), 0, 0));
            TSmsOutgoingList* outbox = item->SmsOutgoingList();
            if (verb == QLatin1String("send-as-dialog")) {
                TSmsSend send;
                send.SetTarget(arg.section(QLatin1Char(' '), 1, 1));
                send.SetText(arg.section(QLatin1Char(' '), 2));
                send.SetStatusReportRequest(Options->RequestDeliveryReports());
                manager->SendMessage(item->InterfaceID(), send.Target(), send.Text(), send.EncodePdu());
                return QStringLiteral("ok");
            }
            if (verb == QLatin1String("retry")) {
                const int row = arg.section(QLatin1Char(' '), 1, 1).toInt();
                RetrySend(*manager, item->InterfaceID(), *outbox, outbox->Items(row)->Ident(),
                          Options->RequestDeliveryReports());
                Window.tsMessages->RefreshMessages();
                return QStringLiteral("ok");
            }
            QStringList states;
            for (int i = 0; i < outbox->Count(); ++i) {
                states << outbox->StateText(*outbox->Items(i));
            }
            return (QStringLiteral("ok ") + states.join(QLatin1Char('\t'))).trimmed();
        } catch (const std::exception& e) {
            return QStringLiteral("error ") + QString::fromUtf8(e.what()).simplified();
        }
    }
    if (verb == QLatin1String("clock")) {
        // "clock yyyy-MM-ddTHH:mm:ss" sets the program's clock; "clock real" returns to the real one.
        if (arg == QLatin1String("real")) {
            Clock::SetNow(0);
            return QStringLiteral("ok");
        }
        const QDateTime value = QDateTime::fromString(arg, Qt::ISODate);
        if (!value.isValid()) {
            return QStringLiteral("error not a time ") + arg;
        }
        Clock::SetNow(FromQDateTime(value));
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("usage-flush")) {
        // Writes the counted bytes now instead of at the next minute.
        if (!UsageThread) {
            return QStringLiteral("error no usage thread");
        }
        UsageThread->Flush();
        const QString error = UsageThread->LastFlushError();
        return error.isEmpty() ? QStringLiteral("ok") : QStringLiteral("error ") + error;
    }
    if (verb == QLatin1String("plan-alerts")) {
        // Checks the data plans now; the alerts announced so far, one title each after the count.
        Window.CheckPlanAlerts();
        QStringList lines = Window.PlanAlerts();
        lines.prepend(QStringLiteral("ok %1").arg(lines.size()));
        return lines.join(QLatin1Char('\t'));
    }
    if (verb == QLatin1String("select")) {
        // "select COMBO TEXT": chooses the item TEXT of a drop-down box, as a user would.
        auto* box = Window.findChild<QComboBox*>(arg.section(QLatin1Char(' '), 0, 0));
        const int index = box ? box->findText(arg.section(QLatin1Char(' '), 1)) : -1;
        if (index < 0) {
            return QStringLiteral("error no such item: ") + arg;
        }
        box->setCurrentIndex(index);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("label")) {
        // The text of a label by its object name.
        const auto* label = Window.findChild<QLabel*>(arg);
        return label ? QStringLiteral("ok ") + label->text().simplified() : QStringLiteral("error no label ") + arg;
    }
    if (verb == QLatin1String("cell")) {
        // "cell ROW COLUMN" of the message list: its text, its tool tip as the tool tip label shows
        // it (rich text where the text looks like markup), and the images and links that showing
        // it would make; each field percent-encoded.
        auto* list = Window.findChild<QTableView*>(QStringLiteral("lvMessages"));
        const QModelIndex index = list && list->model()
                                      ? list->model()->index(arg.section(QLatin1Char(' '), 0, 0).toInt(),
                                                             arg.section(QLatin1Char(' '), 1, 1).toInt())
                                      : QModelIndex();
        if (!index.isValid()) {
            return QStringLiteral("error no such cell");
        }
        const QString tip = index.data(Qt::ToolTipRole).toString();
        QTextDocument shown;
        if (Qt::mightBeRichText(tip)) {
            shown.setHtml(tip);
        } else {
            shown.setPlainText(tip);
        }
        int objects = int(shown.rootFrame()->childFrames().size());
        for (QTextBlock block = shown.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                objects += format.isImageFormat() || format.isAnchor() ? 1 : 0;
            }
        }
        auto encode = [](const QString& Text) { return QString::fromLatin1(QUrl::toPercentEncoding(Text)); };
        // Joined, not formatted: the encoded texts hold '%' signs of their own.
        return QStringLiteral("ok ") + encode(index.data().toString()) + QLatin1Char(' ') +
               encode(shown.toPlainText()) + QLatin1Char(' ') + QString::number(objects);
    }
    // USSD
    if (verb == QLatin1String("ussd")) {
        // "ussd open|send CODE|reply TEXT|cancel|show|close": the dialog as the user drives it;
        // "show" gives "ok busy|menu|idle STATUS ANSWER" with the texts percent-encoded.
        const QString what = arg.section(QLatin1Char(' '), 0, 0);
        const QString text = arg.section(QLatin1Char(' '), 1);
        if (what == QLatin1String("open")) {
            Window.UpdateActions();
            if (!Window.acUssd->isEnabled()) {
                return QStringLiteral("error USSD is not available");
            }
            Window.acUssd->trigger();
            return Window.UssdDialog() ? QStringLiteral("ok") : QStringLiteral("error no dialog");
        }
        TfmUssd* dialog = Window.UssdDialog();
        if (!dialog) {
            return QStringLiteral("error no USSD dialog");
        }
        if (what == QLatin1String("send")) {
            dialog->cmbUssdCode->setEditText(text);
            if (!dialog->btnUssdSend->isEnabled()) {
                return QStringLiteral("error Send is disabled");
            }
            dialog->btnUssdSend->click();
            return QStringLiteral("ok");
        }
        if (what == QLatin1String("reply")) {
            dialog->edtUssdReply->setText(text);
            if (!dialog->btnUssdReply->isEnabled()) {
                return QStringLiteral("error Reply is disabled");
            }
            dialog->btnUssdReply->click();
            return QStringLiteral("ok");
        }
        if (what == QLatin1String("cancel")) {
            if (!dialog->btnUssdCancel->isEnabled()) {
                return QStringLiteral("error Cancel is disabled");
            }
            dialog->btnUssdCancel->click();
            return QStringLiteral("ok");
        }
        if (what == QLatin1String("close")) {
            dialog->close();
            return QStringLiteral("ok");
        }
        if (what == QLatin1String("show")) {
            auto encode = [](const QString& Text) { return QString::fromLatin1(QUrl::toPercentEncoding(Text)); };
            const QString state = dialog->Session().Busy()             ? QStringLiteral("busy")
                                  : dialog->Session().AwaitsResponse() ? QStringLiteral("menu")
                                                                       : QStringLiteral("idle");
            QStringList codes;
            for (int n = 0; n < dialog->cmbUssdCode->count(); ++n) {
                codes << dialog->cmbUssdCode->itemText(n);
            }
            return QStringLiteral("ok ") + state + QLatin1Char(' ') + encode(dialog->lbUssdStatus->text()) +
                   QLatin1Char(' ') + encode(dialog->mmUssdAnswer->toPlainText()) + QLatin1Char(' ') +
                   encode(codes.join(QLatin1Char('\n')));
        }
        return QStringLiteral("error usage: ussd open|send CODE|reply TEXT|cancel|show|close");
    }
    // The connection: actions as the user triggers them, and the rows of an information list.
    if (verb == QLatin1String("trigger") || verb == QLatin1String("action")) {
        // "trigger NAME" runs an action as a click does (when it is enabled and shown); "action
        // NAME" says "enabled|disabled shown|hidden".
        auto* action = Window.findChild<QAction*>(arg);
        if (!action) {
            return QStringLiteral("error no action ") + arg;
        }
        if (verb == QLatin1String("action")) {
            return QStringLiteral("ok %1 %2")
                .arg(action->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"),
                     action->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"));
        }
        Window.UpdateActions();
        if (!action->isEnabled() || !action->isVisible()) {
            return QStringLiteral("error not available ") + arg;
        }
        action->trigger();
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("answer")) {
        // "answer yes|no": the next message box answers so instead of waiting for a click.
        TMessageBox::SetNextAnswer(arg == QLatin1String("yes") ? QMessageBox::Yes : QMessageBox::No);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("items")) {
        // "items BOX": the entries of a drop-down list, tab-separated.
        auto* box = Window.findChild<QComboBox*>(arg);
        if (!box) {
            return QStringLiteral("error no list ") + arg;
        }
        QStringList items;
        for (int i = 0; i < box->count(); ++i) {
            items << box->itemText(i);
        }
        return QStringLiteral("ok ") + items.join(QLatin1Char('\t'));
    }
    if (verb == QLatin1String("rows")) {
        // "rows LIST": the caption and value of each row of an information list, tab-separated.
        auto* list = Window.findChild<QTreeWidget*>(arg);
        if (!list) {
            return QStringLiteral("error no list ") + arg;
        }
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            rows << list->topLevelItem(i)->text(0) + QLatin1Char('=') + list->topLevelItem(i)->text(1);
        }
        return (QStringLiteral("ok ") + rows.join(QLatin1Char('\t'))).trimmed();
    }
    // The restart warning
    if (verb == QLatin1String("countdown")) {
        // "countdown" says "ok N" and, for an open one, "\tTITLE\tSECONDS LEFT"; "countdown
        // cancel" clicks its Cancel as the user would.
        QList<TfmTimedMessage*> open;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<TfmTimedMessage*>(w); dialog && dialog->isVisible()) {
                open << dialog;
            }
        }
        if (arg == QLatin1String("cancel")) {
            if (open.isEmpty()) {
                return QStringLiteral("error no restart warning is open");
            }
            open.first()->btnCancel->click();
            return QStringLiteral("ok");
        }
        QString answer = QStringLiteral("ok %1").arg(open.size());
        if (!open.isEmpty()) {
            answer += QStringLiteral("\t%1\t%2").arg(open.first()->windowTitle()).arg(open.first()->TimeOut());
        }
        return answer;
    }
    // The usage charts at small sizes
    if (verb == QLatin1String("resize")) {
        // "resize W H": the window's size as the user drags it (never below its smallest).
        Window.resize(arg.section(QLatin1Char(' '), 0, 0).toInt(), arg.section(QLatin1Char(' '), 1, 1).toInt());
        QCoreApplication::processEvents();
        return QStringLiteral("ok %1 %2").arg(Window.width()).arg(Window.height());
    }
    if (verb == QLatin1String("grab")) {
        // "grab NAME FILE": a picture of one control, whole, also where a scroll area hides part of it.
        auto* widget = Window.findChild<QWidget*>(arg.section(QLatin1Char(' '), 0, 0));
        if (!widget) {
            return QStringLiteral("error no control ") + arg;
        }
        const QString file = arg.section(QLatin1Char(' '), 1);
        return widget->grab().save(file, "PNG") ? QStringLiteral("ok") : QStringLiteral("error cannot write ") + file;
    }
    if (verb == QLatin1String("chart-texts")) {
        // "chart-texts NAME": the texts a chart shows (title, axes, legend) as it draws them,
        // tab-separated; one that reaches beyond the chart's view is marked with a leading '!'.
        auto* view = Window.findChild<QGraphicsView*>(arg);
        if (!view || !view->scene()) {
            return QStringLiteral("error no chart ") + arg;
        }
        QStringList texts;
        const QRectF shown(QPointF(0, 0), view->viewport()->size());
        const auto items = view->scene()->items();
        for (QGraphicsItem* item : items) {
            auto* text = dynamic_cast<QGraphicsTextItem*>(item);
            if (!text || !text->isVisible() || text->toPlainText().isEmpty()) {
                continue;
            }
            const qreal margin = text->document()->documentMargin();
            const QRectF drawn =
                view->mapFromScene(text->sceneBoundingRect().adjusted(margin, margin, -margin, -margin)).boundingRect();
            texts << (shown.contains(drawn) ? QString() : QStringLiteral("!")) + text->toPlainText();
        }
        return QStringLiteral("ok ") + texts.join(QLatin1Char('\t'));
    }
    // What a user sees of a message: the tool tip a hover shows, a row clicked open, a control's text
    if (verb == QLatin1String("hover")) {
        // "hover VIEW ROW COLUMN": the item's text, and the tool tip that resting the mouse on it
        // shows: the text the tip label was given, "rich" or "plain" as the label draws it, and
        // what it then reads; each text percent-encoded.
        const QStringList words = arg.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        auto* view = Window.findChild<QAbstractItemView*>(words.value(0));
        const QModelIndex index = view && view->model() && words.size() == 3
                                      ? view->model()->index(words[1].toInt(), words[2].toInt())
                                      : QModelIndex();
        if (!index.isValid() || !view->isVisible()) {
            return QStringLiteral("error no such item shown");
        }
        view->scrollTo(index);
        QCoreApplication::processEvents();
        QToolTip::hideText();
        // The event the application sends when the mouse rests on a place.
        const QPoint at = view->visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &help);
        const QLabel* tip = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("qtooltip_label") && w->isVisible()) {
                tip = qobject_cast<QLabel*>(w);
            }
        }
        QString given;
        QString format = QStringLiteral("none");
        QString shown;
        if (tip) {
            given = tip->text();
            const bool rich =
                tip->textFormat() == Qt::RichText || (tip->textFormat() == Qt::AutoText && Qt::mightBeRichText(given));
            format = rich ? QStringLiteral("rich") : QStringLiteral("plain");
            shown = given;
            if (rich) {
                const auto* document = tip->findChild<QTextDocument*>();
                if (!document) {
                    return QStringLiteral("error the tip's document is not found");
                }
                shown = document->toPlainText();
            }
        }
        QToolTip::hideText();
        auto encode = [](const QString& Text) { return QString::fromLatin1(QUrl::toPercentEncoding(Text)); };
        return QStringLiteral("ok ") + encode(index.data().toString()) + QLatin1Char(' ') + encode(given) +
               QLatin1Char(' ') + format + QLatin1Char(' ') + encode(shown);
    }
    if (verb == QLatin1String("click-row")) {
        // "click-row VIEW ROW": the row made current and selected, as a click on it does.
        const QStringList words = arg.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        auto* view = Window.findChild<QAbstractItemView*>(words.value(0));
        const QModelIndex index =
            view && view->model() && words.size() == 2 ? view->model()->index(words[1].toInt(), 0) : QModelIndex();
        if (!index.isValid()) {
            return QStringLiteral("error no such row");
        }
        view->setFocus(Qt::MouseFocusReason);
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return QStringLiteral("ok");
    }
    if (verb == QLatin1String("text")) {
        // "text NAME": what a text box, a drop-down box or a label shows, percent-encoded.
        QString text;
        if (const auto* edit = Window.findChild<QPlainTextEdit*>(arg)) {
            text = edit->toPlainText();
        } else if (const auto* box = Window.findChild<QComboBox*>(arg)) {
            text = box->currentText();
        } else {
            return QStringLiteral("error no text control ") + arg;
        }
        return QStringLiteral("ok ") + QString::fromLatin1(QUrl::toPercentEncoding(text));
    }
    return QStringLiteral("error unknown command");
}

} // namespace Ombrelay
