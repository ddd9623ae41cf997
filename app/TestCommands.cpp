#include "TestCommands.h"

#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"

#include <QTabWidget>
#include <QTableView>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QUrl>

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
    return QStringLiteral("error unknown command");
}

} // namespace Ombrelay
