#pragma once

#include <QIcon>
#include <QPixmap>

namespace Ombrelay
{

// The program's own pictures, drawn at run time so that no image file has to ship with it.
class TIcons
{
public:
    // Images of the main window's 32x32 list: 0 settings, 1 connect, 2 disconnect,
    // 3 inbox, 4 sent, 5 new message.
    static QPixmap MainImage(int Index);
    static int MainImageCount() { return 6; }
    // 16x16 signal images, 0 (no bar) to 5 (all bars), in rising signal order.
    static QPixmap SignalImage(int Index);
    static int SignalImageCount() { return 6; }
    static QPixmap Logo(int Size);
    static QIcon AppIcon();
};

} // namespace Ombrelay
