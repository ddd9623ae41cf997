#pragma once

#include <QApplication>

namespace Ombrelay
{

// The application object: reports any error that escapes an event handler in a message box
// and goes on, instead of letting it unwind through Qt.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int& Argc, char** Argv);
    bool notify(QObject* Receiver, QEvent* Event) override;
};

} // namespace Ombrelay
