#include "Application.h"

#include "GuiCommon.h"

namespace Ombrelay
{

TApplication::TApplication(int& Argc, char** Argv)
    : QApplication(Argc, Argv)
{
}

bool TApplication::notify(QObject* Receiver, QEvent* Event)
{
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
        ShowException(activeWindow(), E);
    } catch (...) {
        ShowUnknownException(activeWindow());
    }
    return false;
}

} // namespace Ombrelay
