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
    setAccessibleName(tr("Connection and signal strength"));
    UpdateDescription();
}

void TSignalPanel::UpdateDescription()
{
    // What a screen reader says for the picture: the state and the bars out of five.
    const QString bars = tr("signal %1 of 5 bars").arg(ImageIndex());
    setAccessibleDescription(FText.isEmpty() ? bars : FText + QStringLiteral(", ") + bars);
    setToolTip(accessibleDescription());
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
    UpdateDescription();
    update();
}

void TSignalPanel::SetText(const QString& Value)
{
    if (Value != FText) {
        FText = Value;
        UpdateDescription();
        update();
    }
}

QSize TSignalPanel::sizeHint() const
{
    return QSize(250, std::max(18, fontMetrics().height() + 2));
}

void TSignalPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = 16;
    const int x = static_cast<int>(std::lround(w * 0.1));
    const int index = ImageIndex();
    const int top = (height() - w) / 2;
    p.drawPixmap(index == 0 ? 0 : x, top, TIcons::SignalImage(index, palette()));
    const int textLeft = x + static_cast<int>(std::lround(w * 1.2));
    const QRect textRect(textLeft, 0, width() - textLeft, height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FText);
}

} // namespace Ombrelay
