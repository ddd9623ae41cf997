#include "TestCommands.h"

#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "gui/MainView.h"
#include "gui/MessageBox.h"

#include <QTabWidget>

namespace Ombrelay
{

QString TestCommand(TfmMainView& Window, const QString& Line)
{
    const QString Verb = Line.section(QLatin1Char(' '), 0, 0);
    const QString Arg = Line.section(QLatin1Char(' '), 1);
    if (Verb == QLatin1String("visible")) {
        return Window.isVisible() ? QStringLiteral("ok yes") : QStringLiteral("ok no");
    }
    if (Verb == QLatin1String("tab")) {
        for (int I = 0; I < Window.pcMain->count(); ++I) {
            if (Window.pcMain->widget(I)->objectName() == Arg) {
                Window.pcMain->setCurrentIndex(I);
                return QStringLiteral("ok");
            }
        }
        return QStringLiteral("error no tab ") + Arg;
    }
    if (Verb == QLatin1String("screenshot")) {
        if (!Window.grab().save(Arg, "PNG")) {
            return QStringLiteral("error cannot write ") + Arg;
        }
        return QStringLiteral("ok");
    }
    if (Verb == QLatin1String("poll")) {
        // Reads every device now instead of at the next tick of the manager's timer.
        IMBManager* Manager = Window.Manager();
        if (!Manager) {
            return QStringLiteral("error no modem manager");
        }
        QStringList Ids;
        for (const auto& Item : *Manager->GetInterfaceList()) {
            Ids << Item->InterfaceID();
        }
        try {
            for (const QString& Id : Ids) {
                Manager->ReadSms(Id);
            }
        } catch (const std::exception& E) {
            return QStringLiteral("error ") + QString::fromUtf8(E.what()).simplified();
        }
        return QStringLiteral("ok");
    }
    if (Verb == QLatin1String("errors")) {
        // The error reports shown so far, one line each after the count.
        QStringList Lines;
        for (const QString& Text : TMessageBox::Shown()) {
            Lines << Text.simplified();
        }
        Lines.prepend(QStringLiteral("ok %1").arg(Lines.size()));
        return Lines.join(QLatin1Char('\t'));
    }
    return QStringLiteral("error unknown command");
}

} // namespace Ombrelay
