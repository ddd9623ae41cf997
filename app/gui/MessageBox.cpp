#include "gui/MessageBox.h"

namespace Ombrelay
{

namespace
{

QMessageBox::StandardButton NextAnswer = QMessageBox::NoButton;
QMessageBox::StandardButton AutoAnswer = QMessageBox::NoButton;
QStringList ShownTexts;

} // namespace

QMessageBox::StandardButton TMessageBox::Information(QWidget* Parent, const QString& Title, const QString& Text)
{
    return Show(Parent, QMessageBox::Information, Title, Text);
}

QMessageBox::StandardButton TMessageBox::Warning(QWidget* Parent, const QString& Title, const QString& Text)
{
    return Show(Parent, QMessageBox::Warning, Title, Text);
}

QMessageBox::StandardButton TMessageBox::Critical(QWidget* Parent, const QString& Title, const QString& Text)
{
    return Show(Parent, QMessageBox::Critical, Title, Text);
}

QMessageBox::StandardButton TMessageBox::Question(QWidget* Parent, const QString& Title, const QString& Text)
{
    return Show(Parent, QMessageBox::Question, Title, Text, QMessageBox::Yes | QMessageBox::No);
}

void TMessageBox::SetNextAnswer(QMessageBox::StandardButton Button)
{
    NextAnswer = Button;
}

void TMessageBox::SetAutoAnswer(QMessageBox::StandardButton Button)
{
    AutoAnswer = Button;
}

const QStringList& TMessageBox::Shown()
{
    return ShownTexts;
}

void TMessageBox::ClearShown()
{
    ShownTexts.clear();
}

QMessageBox::StandardButton TMessageBox::Show(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                              const QString& Text, QMessageBox::StandardButtons Buttons)
{
    ShownTexts.append(Text);
    if (NextAnswer != QMessageBox::NoButton) {
        const QMessageBox::StandardButton answer = NextAnswer;
        NextAnswer = QMessageBox::NoButton;
        return answer;
    }
    if (AutoAnswer != QMessageBox::NoButton) {
        return AutoAnswer;
    }
    QMessageBox box(Icon, Title, Text, Buttons, Parent);
    box.setTextFormat(Qt::PlainText);
    if (Buttons.testFlag(QMessageBox::No)) {
        box.setEscapeButton(QMessageBox::No);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace Ombrelay
