#pragma once

#include <QWidget>

namespace Ombrelay
{

// Panel 1 of the status bar: the signal image of the selected interface and its connection
// state text, drawn by the program.
class TSignalPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TSignalPanel(QWidget* Parent = nullptr);

    // The image for a signal strength on the 0..31 scale, compared as a signed value: 0 to 5 is
    // image 0, each further six steps one image more, 30 and 31 image 5; anything else image 0.
    static int SignalImageIndex(qint32 SignalStrength);

    void SetSignalStrength(quint32 Value);
    int ImageIndex() const { return SignalImageIndex(static_cast<qint32>(FSignalStrength)); }
    void SetText(const QString& Value);
    const QString& Text() const { return FText; }
    // The strength with its raw value, for the tool tip; empty when no modem is shown. It stays
    // when the state text changes.
    void SetSignalToolTip(const QString& Value);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    void UpdateDescription();

    quint32 FSignalStrength = 0;
    QString FText;
    QString FToolTip;
};

} // namespace Ombrelay
