#include "gui/Icons.h"

#include "gui/GuiCommon.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <iterator>

namespace Ombrelay
{

namespace
{

QPixmap NewPixmap(int Size)
{
    QPixmap result(Size, Size);
    result.fill(Qt::transparent);
    return result;
}

// Outlines: the theme's text colour, so a drawn image keeps its edge on a dark background.
QColor Outline(const QPalette& Palette)
{
    return ReadableColor(Palette.color(QPalette::WindowText), Palette.color(QPalette::Window), 3.0);
}

void DrawEnvelope(QPainter& P, const QRectF& R, const QColor& Fill, const QColor& Edge)
{
    P.setPen(QPen(Edge, 1.5));
    P.setBrush(Fill);
    P.drawRoundedRect(R, 2, 2);
    QPainterPath flap;
    flap.moveTo(R.topLeft());
    flap.lineTo(R.center().x(), R.top() + R.height() * 0.55);
    flap.lineTo(R.topRight());
    P.setBrush(Qt::NoBrush);
    P.drawPath(flap);
}

void DrawArrow(QPainter& P, QPointF From, QPointF To, const QColor& Color)
{
    P.setPen(QPen(Color, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.drawLine(From, To);
    const QPointF d = To - From;
    const double len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    P.drawLine(To, To - u * 6 + n * 5);
    P.drawLine(To, To - u * 6 - n * 5);
}

void DrawPlug(QPainter& P, const QColor& Color, bool Apart, const QColor& Edge)
{
    P.setPen(QPen(Edge, 1.5));
    P.setBrush(Color);
    const double gap = Apart ? 6 : 0;
    // Left half: the socket; right half: the plug with two pins.
    P.drawRoundedRect(QRectF(3, 10, 10 - gap / 2, 12), 2, 2);
    P.drawRoundedRect(QRectF(17 + gap / 2, 10, 10, 12), 2, 2);
    P.setPen(QPen(Edge, 2));
    P.drawLine(QPointF(13 + gap / 2, 13), QPointF(17 + gap / 2, 13));
    P.drawLine(QPointF(13 + gap / 2, 19), QPointF(17 + gap / 2, 19));
    P.drawLine(QPointF(27 + gap / 2, 16), QPointF(31, 16));
    P.drawLine(QPointF(0, 16), QPointF(3, 16));
}

void DrawGear(QPainter& P, const QColor& Edge)
{
    P.save();
    P.translate(16, 16);
    P.setPen(QPen(Edge, 1));
    P.setBrush(QColor(120, 130, 150));
    for (int i = 0; i < 8; ++i) {
        P.drawRect(QRectF(-2.5, -14, 5, 6));
        P.rotate(45);
    }
    P.drawEllipse(QPointF(0, 0), 10, 10);
    P.setBrush(QColor(240, 240, 240));
    P.drawEllipse(QPointF(0, 0), 4, 4);
    P.restore();
}

} // namespace

QPixmap TIcons::MainImage(int Index, const QPalette& Palette)
{
    const QColor edge = Outline(Palette);
    QPixmap result = NewPixmap(32);
    QPainter p(&result);
    p.setRenderHint(QPainter::Antialiasing);
    switch (Index) {
    case 0:
        DrawGear(p, edge);
        break;
    case 1:
        DrawPlug(p, QColor(80, 180, 90), false, edge);
        break;
    case 2:
        DrawPlug(p, QColor(210, 80, 70), true, edge);
        break;
    case 3:
        DrawEnvelope(p, QRectF(3, 11, 26, 18), QColor(250, 240, 200), edge);
        DrawArrow(p, QPointF(16, 1), QPointF(16, 12), QColor(40, 110, 200));
        break;
    case 4:
        DrawEnvelope(p, QRectF(3, 11, 26, 18), QColor(220, 235, 250), edge);
        DrawArrow(p, QPointF(16, 12), QPointF(16, 1), QColor(60, 150, 70));
        break;
    default:
        DrawEnvelope(p, QRectF(2, 8, 24, 17), QColor(255, 255, 255), edge);
        p.setPen(QPen(QColor(40, 140, 60), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(25, 18), QPointF(25, 30));
        p.drawLine(QPointF(19, 24), QPointF(31, 24));
        break;
    }
    return result;
}

QPixmap TIcons::SignalImage(int Index, const QPalette& Palette)
{
    const QColor window = Palette.color(QPalette::Window);
    const QColor lit = ReadableColor(QColor(30, 140, 40), window, 3.0);
    QColor unlit = Palette.color(QPalette::WindowText);
    unlit.setAlphaF(0.3);
    QPixmap result = NewPixmap(16);
    QPainter p(&result);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int bar = 0; bar < 5; ++bar) {
        const int h = 3 + bar * 3;
        const QRect r(1 + bar * 3, 15 - h, 2, h);
        p.fillRect(r, bar < Index ? lit : unlit);
    }
    return result;
}

QIcon TIcons::MainIcon(int Index, const QPalette& Palette)
{
    // Names of the freedesktop icon naming specification (and the common KDE additions).
    static const char* const names[] = {"preferences-system", "network-connect", "network-disconnect",
                                        "mail-inbox",         "mail-send",       "mail-message-new"};
    const QIcon drawn(MainImage(Index, Palette));
    if (Index < 0 || Index >= int(std::size(names))) {
        return drawn;
    }
    return QIcon::fromTheme(QLatin1String(names[Index]), drawn);
}

QPixmap TIcons::Logo(int Size)
{
    QPixmap result = NewPixmap(Size);
    QPainter p(&result);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(Size / 64.0, Size / 64.0);
    // An umbrella canopy with radio waves above it.
    QPainterPath canopy;
    canopy.moveTo(6, 36);
    canopy.cubicTo(8, 14, 56, 14, 58, 36);
    canopy.quadTo(50, 31, 44, 36);
    canopy.quadTo(38, 31, 32, 36);
    canopy.quadTo(26, 31, 20, 36);
    canopy.quadTo(13, 31, 6, 36);
    p.setPen(QPen(QColor(20, 60, 120), 2));
    p.setBrush(QColor(40, 110, 200));
    p.drawPath(canopy);
    p.setPen(QPen(QColor(60, 60, 60), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 34), QPointF(32, 54));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(32, 48, 10, 12), 180 * 16, 180 * 16);
    p.setPen(QPen(QColor(230, 120, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(24, 2, 16, 16), 30 * 16, 120 * 16);
    p.drawArc(QRectF(18, -4, 28, 28), 35 * 16, 110 * 16);
    return result;
}

QIcon TIcons::AppIcon()
{
    QIcon drawn;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        drawn.addPixmap(Logo(size));
    }
    return QIcon::fromTheme(QStringLiteral("ombrelay"), drawn);
}

} // namespace Ombrelay
