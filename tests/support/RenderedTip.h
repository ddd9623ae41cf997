#pragma once

// A tool tip rendered as Qt's tool tip label renders it (rich text when it looks like markup),
// recording every resource (image, style sheet) the text asks for.

#include <QTextDocument>
#include <QUrl>
#include <QVariant>

namespace Ombrelay
{

class TRenderedTip : public QTextDocument
{
public:
    explicit TRenderedTip(const QString& Tip)
    {
        if (Qt::mightBeRichText(Tip)) {
            setHtml(Tip);
        } else {
            setPlainText(Tip);
        }
    }
    QString Shown() const
    {
        // Line breaks become separators and runs of blanks one blank, as in any paragraph.
        QString text = toPlainText();
        text.replace(QChar::LineSeparator, QLatin1Char('\n')).replace(QChar::Nbsp, QLatin1Char(' '));
        return text.simplified();
    }
    QStringList Loaded;

protected:
    QVariant loadResource(int Type, const QUrl& Name) override
    {
        Loaded << Name.toString();
        return QTextDocument::loadResource(Type, Name);
    }
};

} // namespace Ombrelay
