#pragma once

// The dialog that unlocks a SIM: the PIN with the attempts left, or after too many wrong PINs
// the PUK and a new PIN. The codes go to the modem only; nothing here keeps or logs them.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QDialogButtonBox;
class QFormLayout;

namespace Ombrelay
{

class TMainController;

class TPinDialog : public QDialog
{
    Q_OBJECT

public:
    TPinDialog(TMainController& Controller, const QString& InterfaceID, QWidget* Parent = nullptr);

    // Sends what is entered, as the OK button does; false (with the reason shown) when the
    // entry is not a code.
    bool Submit();
    // The prompt and the last error, for the user and for tests.
    QString Prompt() const;
    QString Error() const;
    bool AsksForPuk() const { return FPuk; }

    QLineEdit* edPuk;
    QLineEdit* edPin;
    QLineEdit* edConfirm;

private:
    // Shows what the SIM asks for now, with the attempts left.
    void ShowLock();
    void Finished(const QString& InterfaceID, quint32 RequestId, const QString& Error);

    TMainController& FController;
    QString FInterfaceID;
    QLabel* lblPrompt;
    QLabel* lblError;
    QDialogButtonBox* FButtons;
    QFormLayout* FForm;
    bool FPuk = false;
    quint32 FRequest = 0;
    bool FWaiting = false;
};

} // namespace Ombrelay
