#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include <exception>
#include <utility>

class QPalette;
class QWidget;

namespace Ombrelay
{

// Hands a URL to the desktop's default handler; raises an error that says what to do when none
// takes it.
bool ShellOpen(const QString& Target);

// The contrast ratio of two colours as WCAG defines it (1 to 21).
double ContrastRatio(const QColor& A, const QColor& B);
// Colour, made lighter or darker (keeping its hue) until it reaches MinRatio against
// Background; unchanged when it already does.
QColor ReadableColor(const QColor& Colour, const QColor& Background, double MinRatio = 4.5);
// The colours the program draws with beyond the palette's own roles, each taken from the
// palette so that light, dark and high-contrast themes all read.
QColor LinkColor(const QPalette& Palette);
QColor WarningColor(const QPalette& Palette);

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
