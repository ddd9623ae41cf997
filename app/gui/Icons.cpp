#include "gui/Icons.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace Ombrelay
{

namespace
{

QPixmap NewPixmap(int Size)
{
    QPixmap Result(Size, Size);
    Result.fill(Qt::transparent);
    return Result;
}

void DrawEnvelope(QPainter& P, const QRectF& R, const QColor& Fill)
{
    P.setPen(QPen(QColor(60, 60, 80), 1.5));
    P.setBrush(Fill);
    P.drawRoundedRect(R, 2, 2);
    QPainterPath Flap;
    Flap.moveTo(R.topLeft());
    Flap.lineTo(R.center().x(), R.top() + R.height() * 0.55);
    Flap.lineTo(R.topRight());
    P.setBrush(Qt::NoBrush);
    P.drawPath(Flap);
}

void DrawArrow(QPainter& P, QPointF From, QPointF To, const QColor& Color)
{
    P.setPen(QPen(Color, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.drawLine(From, To);
    const QPointF D = To - From;
    const double Len = std::hypot(D.x(), D.y());
    const QPointF U = D / Len;
    const QPointF N(-U.y(), U.x());
    P.drawLine(To, To - U * 6 + N * 5);
    P.drawLine(To, To - U * 6 - N * 5);
}

void DrawPlug(QPainter& P, const QColor& Color, bool Apart)
{
    P.setPen(QPen(QColor(40, 40, 40), 1.5));
    P.setBrush(Color);
    const double Gap = Apart ? 6 : 0;
    // Left half: the socket; right half: the plug with two pins.
    P.drawRoundedRect(QRectF(3, 10, 10 - Gap / 2, 12), 2, 2);
    P.drawRoundedRect(QRectF(17 + Gap / 2, 10, 10, 12), 2, 2);
    P.setPen(QPen(QColor(40, 40, 40), 2));
    P.drawLine(QPointF(13 + Gap / 2, 13), QPointF(17 + Gap / 2, 13));
    P.drawLine(QPointF(13 + Gap / 2, 19), QPointF(17 + Gap / 2, 19));
    P.drawLine(QPointF(27 + Gap / 2, 16), QPointF(31, 16));
    P.drawLine(QPointF(0, 16), QPointF(3, 16));
}

void DrawGear(QPainter& P)
{
    P.save();
    P.translate(16, 16);
    P.setPen(QPen(QColor(50, 50, 60), 1));
    P.setBrush(QColor(120, 130, 150));
    for (int I = 0; I < 8; ++I) {
        P.drawRect(QRectF(-2.5, -14, 5, 6));
        P.rotate(45);
    }
    P.drawEllipse(QPointF(0, 0), 10, 10);
    P.setBrush(QColor(240, 240, 240));
    P.drawEllipse(QPointF(0, 0), 4, 4);
    P.restore();
}

} // namespace

QPixmap TIcons::MainImage(int Index)
{
    QPixmap Result = NewPixmap(32);
    QPainter P(&Result);
    P.setRenderHint(QPainter::Antialiasing);
    switch (Index) {
    case 0:
        DrawGear(P);
        break;
    case 1:
        DrawPlug(P, QColor(80, 180, 90), false);
        break;
    case 2:
        DrawPlug(P, QColor(210, 80, 70), true);
        break;
    case 3:
        DrawEnvelope(P, QRectF(3, 11, 26, 18), QColor(250, 240, 200));
        DrawArrow(P, QPointF(16, 1), QPointF(16, 12), QColor(40, 110, 200));
        break;
    case 4:
        DrawEnvelope(P, QRectF(3, 11, 26, 18), QColor(220, 235, 250));
        DrawArrow(P, QPointF(16, 12), QPointF(16, 1), QColor(60, 150, 70));
        break;
    default:
        DrawEnvelope(P, QRectF(2, 8, 24, 17), QColor(255, 255, 255));
        P.setPen(QPen(QColor(40, 140, 60), 3, Qt::SolidLine, Qt::RoundCap));
        P.drawLine(QPointF(25, 18), QPointF(25, 30));
        P.drawLine(QPointF(19, 24), QPointF(31, 24));
        break;
    }
    return Result;
}

QPixmap TIcons::SignalImage(int Index)
{
    QPixmap Result = NewPixmap(16);
    QPainter P(&Result);
    P.setRenderHint(QPainter::Antialiasing, false);
    for (int Bar = 0; Bar < 5; ++Bar) {
        const int H = 3 + Bar * 3;
        const QRect R(1 + Bar * 3, 15 - H, 2, H);
        P.fillRect(R, Bar < Index ? QColor(30, 140, 40) : QColor(190, 190, 190));
    }
    return Result;
}

QPixmap TIcons::Logo(int Size)
{
    QPixmap Result = NewPixmap(Size);
    QPainter P(&Result);
    P.setRenderHint(QPainter::Antialiasing);
    P.scale(Size / 64.0, Size / 64.0);
    // An umbrella canopy with radio waves above it.
    QPainterPath Canopy;
    Canopy.moveTo(6, 36);
    Canopy.cubicTo(8, 14, 56, 14, 58, 36);
    Canopy.quadTo(50, 31, 44, 36);
    Canopy.quadTo(38, 31, 32, 36);
    Canopy.quadTo(26, 31, 20, 36);
    Canopy.quadTo(13, 31, 6, 36);
    P.setPen(QPen(QColor(20, 60, 120), 2));
    P.setBrush(QColor(40, 110, 200));
    P.drawPath(Canopy);
    P.setPen(QPen(QColor(60, 60, 60), 3, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(32, 34), QPointF(32, 54));
    P.setBrush(Qt::NoBrush);
    P.drawArc(QRectF(32, 48, 10, 12), 180 * 16, 180 * 16);
    P.setPen(QPen(QColor(230, 120, 30), 3, Qt::SolidLine, Qt::RoundCap));
    P.drawArc(QRectF(24, 2, 16, 16), 30 * 16, 120 * 16);
    P.drawArc(QRectF(18, -4, 28, 28), 35 * 16, 110 * 16);
    return Result;
}

QIcon TIcons::AppIcon()
{
    QIcon Result;
    for (int Size : {16, 22, 24, 32, 48, 64}) {
        Result.addPixmap(Logo(Size));
    }
    return Result;
}

} // namespace Ombrelay
