#pragma once

#include <QGuiApplication>
#include <QIcon>
#include <QPalette>
#include <QPixmap>

namespace Ombrelay
{

// The program's own pictures, drawn at run time so that no image file has to ship with it.
class TIcons
{
public:
    // Images of the main window's 32x32 list: 0 settings, 1 connect, 2 disconnect,
    // 3 inbox, 4 sent, 5 new message.
    // Outlines take the palette's text colour, so the images read on dark themes too.
    static QPixmap MainImage(int Index, const QPalette& Palette = QGuiApplication::palette());
    // The desktop theme's icon of that meaning where it has one, else MainImage.
    static QIcon MainIcon(int Index, const QPalette& Palette = QGuiApplication::palette());
    static int MainImageCount() { return 6; }
    // 16x16 signal images, 0 (no bar) to 5 (all bars), in rising signal order.
    // Lit bars in a green readable on the palette's window colour, unlit ones a faint text colour.
    static QPixmap SignalImage(int Index, const QPalette& Palette = QGuiApplication::palette());
    static int SignalImageCount() { return 6; }
    static QPixmap Logo(int Size);
    // The installed "ombrelay" icon of the desktop's theme, else the drawn logo.
    static QIcon AppIcon();
};

} // namespace Ombrelay
