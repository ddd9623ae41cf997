#include "gui/GuiCommon.h"

#include "base/Errors.h"
#include "gui/MessageBox.h"

#include <QDesktopServices>
#include <QUrl>

#include <cerrno>

namespace Ombrelay
{

bool ShellOpen(const QString& Target)
{
    if (!QDesktopServices::openUrl(QUrl::fromUserInput(Target))) {
        throw EOSError(ENOENT, QStringLiteral("No application could open the address."),
                       QStringLiteral("\r\n") + Target);
    }
    return true;
}

void ShowException(QWidget* Parent, const std::exception& E)
{
    const auto* own = dynamic_cast<const EOmbrelayError*>(&E);
    const QString text = own ? own->Message() : QString::fromUtf8(E.what());
    TMessageBox::Critical(Parent, QStringLiteral("Ombrelay"), text);
}

void ShowUnknownException(QWidget* Parent)
{
    TMessageBox::Critical(Parent, QStringLiteral("Ombrelay"), QStringLiteral("Unknown error"));
}

} // namespace Ombrelay

namespace Ombrelay
{

bool HasHideSwitch(const QStringList& Arguments)
{
    for (qsizetype i = 1; i < Arguments.size(); ++i) {
        const QString& arg = Arguments[i];
        if (arg.size() == 5 && (arg[0] == QLatin1Char('-') || arg[0] == QLatin1Char('/')) &&
            arg.mid(1).compare(QLatin1String("hide"), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace Ombrelay
