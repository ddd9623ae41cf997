#pragma once

#include <QString>
#include <QStringList>

#include <exception>
#include <utility>

class QWidget;

namespace Ombrelay
{

// Hands a URL to the desktop's default handler; raises the system error when none takes it.
bool ShellOpen(const QString& Target);

// The program's standard error report: a message box with the error's text.
void ShowException(QWidget* Parent, const std::exception& E);
void ShowUnknownException(QWidget* Parent);

// Runs Body and reports any error it raises, so that no exception leaves a slot (Qt does not
// carry exceptions through its event loop).
template <class F>
void Guarded(QWidget* Parent, F&& Body)
{
    try {
        std::forward<F>(Body)();
    } catch (const std::exception& e) {
        ShowException(Parent, e);
    } catch (...) {
        ShowUnknownException(Parent);
    }
}

} // namespace Ombrelay

namespace Ombrelay
{

// The "hide" switch: the word preceded by "-" or "/", letters in any case. Arguments[0] (the
// program) is not looked at.
bool HasHideSwitch(const QStringList& Arguments);

} // namespace Ombrelay
