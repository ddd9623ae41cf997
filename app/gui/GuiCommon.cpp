#include "gui/GuiCommon.h"

#include "base/Errors.h"
#include "gui/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QPalette>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace Ombrelay
{

bool ShellOpen(const QString& Target)
{
    if (!QDesktopServices::openUrl(QUrl::fromUserInput(Target))) {
        throw EOmbrelayError(QCoreApplication::translate("GuiCommon",
                                                         "No web browser is set up to open links, so %1 could not "
                                                         "be opened. Choose a default web browser in your "
                                                         "desktop's settings, or open the address yourself.")
                                 .arg(Target));
    }
    return true;
}

namespace
{

double Luminance(const QColor& C)
{
    auto channel = [](double V) { return V <= 0.03928 ? V / 12.92 : std::pow((V + 0.055) / 1.055, 2.4); };
    const QColor rgb = C.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

} // namespace

double ContrastRatio(const QColor& A, const QColor& B)
{
    const double a = Luminance(A);
    const double b = Luminance(B);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor ReadableColor(const QColor& Colour, const QColor& Background, double MinRatio)
{
    if (ContrastRatio(Colour, Background) >= MinRatio) {
        return Colour;
    }
    // Away from the background's lightness, in small steps of HSL lightness; white or black at
    // the end of the way reach 4.5 against any background that the other one does not.
    const bool lighter = Luminance(Background) < 0.18;
    QColor c = Colour.toHsl();
    for (int step = 0; step < 100; ++step) {
        const double l = std::clamp(c.lightnessF() + (lighter ? 0.02 : -0.02), 0.0, 1.0);
        c.setHslF(c.hslHueF(), c.hslSaturationF(), l, c.alphaF());
        if (ContrastRatio(c, Background) >= MinRatio) {
            return c.toRgb();
        }
    }
    return lighter ? QColor(Qt::white) : QColor(Qt::black);
}

QColor LinkColor(const QPalette& Palette)
{
    return ReadableColor(Palette.color(QPalette::Link), Palette.color(QPalette::Window));
}

QColor WarningColor(const QPalette& Palette)
{
    // Red on a light window, a lighter red on a dark one.
    return ReadableColor(QColor(200, 0, 0), Palette.color(QPalette::Window));
}

void ShowException(QWidget* Parent, const std::exception& E)
{
    const auto* own = dynamic_cast<const EOmbrelayError*>(&E);
    const QString text = own ? own->Message() : QString::fromUtf8(E.what());
    TMessageBox::Critical(Parent, QStringLiteral("Ombrelay"), text);
}

void ShowUnknownException(QWidget* Parent)
{
    TMessageBox::Critical(Parent, QStringLiteral("Ombrelay"),
                          QCoreApplication::translate(
                              "GuiCommon",
                              "An unexpected error occurred. Ombrelay goes on; if it happens again, restart it."));
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
