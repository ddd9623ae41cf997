#pragma once

// The main window's place and the sizes the user gave its splitters and list columns, kept in
// CONFIG rows of their own ("window.geometry", "window.maximized", "window.splitter.<name>",
// "window.columns.<name>") so that older programs reading the file ignore them.

#include <QList>
#include <QMap>
#include <QRect>
#include <QString>

class QWidget;

namespace Ombrelay
{

class TWindowState
{
public:
    // Where a window of Rect goes when the screens are Screens (their available areas, the
    // primary first): on the screen it overlaps most (the primary when it overlaps none),
    // no larger than that screen and wholly on it. A rect that fits stays where it is.
    static QRect FitOnScreens(const QRect& Rect, const QList<QRect>& Screens);
    // FitOnScreens with the screens of this desktop.
    static QRect FitOnDesktop(const QRect& Rect);

    // The rows as stored (name -> text). Empty without a database.
    static QMap<QString, QString> Load();
    static void Save(const QMap<QString, QString>& Rows);

    // Reads Window's geometry, state, named splitters and named item views' columns into rows,
    // and back. Restore returns whether a stored geometry was applied.
    static QMap<QString, QString> Capture(const QWidget& Window);
    static bool Apply(QWidget& Window, const QMap<QString, QString>& Rows);

    static void Store(const QWidget& Window) { Save(Capture(Window)); }
    static bool Restore(QWidget& Window) { return Apply(Window, Load()); }
};

} // namespace Ombrelay
