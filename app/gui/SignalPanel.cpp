#include "gui/SignalPanel.h"

#include "gui/Icons.h"

#include <QPainter>

#include <cmath>

namespace Ombrelay
{

TSignalPanel::TSignalPanel(QWidget* Parent)
    : QWidget(Parent)
{
    setObjectName(QStringLiteral("sbMainPanel1"));
    setFixedWidth(250);
}

int TSignalPanel::SignalImageIndex(qint32 SignalStrength)
{
    if (SignalStrength < 0 || SignalStrength > 31) {
        return 0;
    }
    return std::min(SignalStrength / 6, 5);
}

void TSignalPanel::SetSignalStrength(quint32 Value)
{
    FSignalStrength = Value;
    update();
}

void TSignalPanel::SetText(const QString& Value)
{
    if (Value != FText) {
        FText = Value;
        update();
    }
}

QSize TSignalPanel::sizeHint() const
{
    return QSize(250, std::max(18, fontMetrics().height() + 2));
}

void TSignalPanel::paintEvent(QPaintEvent*)
{
    QPainter P(this);
    const int W = 16;
    const int X = static_cast<int>(std::lround(W * 0.1));
    const int Index = ImageIndex();
    const int Top = (height() - W) / 2;
    P.drawPixmap(Index == 0 ? 0 : X, Top, TIcons::SignalImage(Index));
    const int TextLeft = X + static_cast<int>(std::lround(W * 1.2));
    const QRect TextRect(TextLeft, 0, width() - TextLeft, height());
    P.drawText(TextRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FText);
}

} // namespace Ombrelay
