#pragma once

#include <QMessageBox>
#include <QStringList>

namespace Ombrelay
{

// All of the program's message boxes go through here. Texts are always shown as plain text,
// since error messages can carry text that came from outside (device names, profile fields).
// Tests set the next answer, so that no modal box ever waits for a click; every text shown
// (or answered in place of showing) is kept for them to read.
class TMessageBox
{
public:
    static QMessageBox::StandardButton Information(QWidget* Parent, const QString& Title, const QString& Text);
    static QMessageBox::StandardButton Warning(QWidget* Parent, const QString& Title, const QString& Text);
    static QMessageBox::StandardButton Critical(QWidget* Parent, const QString& Title, const QString& Text);
    // Asks with Yes and No; No answers Escape.
    static QMessageBox::StandardButton Question(QWidget* Parent, const QString& Title, const QString& Text);

    // The next box is not shown and answers Button instead; NoButton shows boxes again.
    static void SetNextAnswer(QMessageBox::StandardButton Button);
    // Every following box answers Button without being shown, until reset with NoButton.
    static void SetAutoAnswer(QMessageBox::StandardButton Button);
    // Texts of the boxes raised so far, oldest first.
    static const QStringList& Shown();
    static void ClearShown();

private:
    static QMessageBox::StandardButton Show(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                            const QString& Text,
                                            QMessageBox::StandardButtons Buttons = QMessageBox::Ok);
};

} // namespace Ombrelay
