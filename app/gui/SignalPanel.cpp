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
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setAccessibleName(tr("Connection and signal strength"));
    UpdateDescription();
}

void TSignalPanel::UpdateDescription()
{
    // What a screen reader says for the picture: the state and the bars out of five.
    const QString bars = tr("signal %1 of 5 bars").arg(ImageIndex());
    setAccessibleDescription(FText.isEmpty() ? bars : FText + QStringLiteral(", ") + bars);
    // The state is written beside the bars already; the tool tip gives what the bars round off.
    setToolTip(FToolTip);
}

void TSignalPanel::SetSignalToolTip(const QString& Value)
{
    FToolTip = Value;
    UpdateDescription();
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
        // Its width follows the text.
        updateGeometry();
        update();
    }
}

QSize TSignalPanel::sizeHint() const
{
    // The picture, its gap and the whole text.
    const int textLeft = static_cast<int>(std::lround(16 * 0.1)) + static_cast<int>(std::lround(16 * 1.2));
    return QSize(textLeft + fontMetrics().horizontalAdvance(FText) + 8, std::max(18, fontMetrics().height() + 2));
}

QSize TSignalPanel::minimumSizeHint() const
{
    // The picture at least.
    return QSize(20, sizeHint().height());
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
    // Narrowed by a small window, the text ends in an ellipsis rather than in a cut letter.
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               fontMetrics().elidedText(FText, Qt::ElideRight, textRect.width()));
}

} // namespace Ombrelay
