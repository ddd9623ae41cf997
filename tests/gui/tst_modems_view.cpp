// The main window while modems come and go: the interface box, the pages, the actions, status
// bar panel 0 and the tray's tool tip follow each modem plugged in or pulled out at once.

#include "GuiFixture.h"
#include "core/MBProfleItem.h"
#include "gui/PinDialog.h"
#include "gui/SignalPanel.h"
#include "gui/Translations.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using namespace Ombrelay;

namespace
{

QStringList BoxItems(const TfmMainView& View)
{
    QStringList r;
    for (int i = 0; i < View.cmbInterfaces->count(); ++i) {
        r << View.cmbInterfaces->itemText(i);
    }
    return r;
}

QString DeviceRow(const TfmMainView& View, const QString& Name)
{
    auto* list = View.findChild<QTreeWidget*>(QStringLiteral("lvDevCaps"));
    for (int i = 0; list && i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == Name) {
            return list->topLevelItem(i)->text(1);
        }
    }
    return {};
}

TSimScenario TwoModems()
{
    TSimScenario s = GuiScenario({QStringLiteral("sim0"), QStringLiteral("sim1")});
    s.Interfaces[0].Caps.deviceID = QStringLiteral("111111111111111");
    s.Interfaces[1].Caps.deviceID = QStringLiteral("222222222222222");
    s.Interfaces[1].Caps.model = QStringLiteral("Stick");
    s.Interfaces[1].Plugged = false;
    return s;
}

} // namespace

class TestModemsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The English plural forms ("3 attempts left").
    void initTestCase() { TTranslations::Install(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { TMessageBox::ClearShown(); }

    // Another modem coming or going leaves the one shown, and the user's profile choice, alone.
    void otherModemLeavesSelectionAlone()
    {
        TGuiFixture f(TwoModems());
        TfmMainView& view = f.Open();
        auto* profiles = view.findChild<QComboBox*>(QStringLiteral("cmbProfiles"));
        QVERIFY(profiles && profiles->count() == 2);
        profiles->setCurrentIndex(1);
        TMBProfleItem* chosen = view.GetSelectedProfile();
        QCOMPARE(BoxItems(view), QStringList{"Ombrelay Simulated Modem (simulated)"});

        f.Modem->Plug("sim1");
        QVERIFY(f.Settle());
        QCOMPARE(BoxItems(view), QStringList({"Ombrelay Simulated Modem (simulated)", "Ombrelay Stick (simulated)"}));
        QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("sim0"));
        QCOMPARE(view.GetSelectedProfile(), chosen);
        QCOMPARE(view.Controller()->SelectedProfile(), chosen);

        f.Modem->Unplug("sim1");
        QVERIFY(f.Settle());
        QCOMPARE(BoxItems(view).size(), 1);
        QCOMPARE(view.GetSelectedProfile(), chosen);
        QVERIFY(TMessageBox::Shown().isEmpty());
    }

    // The modem shown is pulled out: the next one is shown in its place; with none left the
    // window says so and offers nothing that needs a modem; plugged in again, it is back.
    void shownModemPulledOut()
    {
        TGuiFixture f(TwoModems());
        TfmMainView& view = f.Open();
        f.Modem->Plug("sim1");
        QVERIFY(f.Settle());
        QCOMPARE(view.sbMainPanel0->text(), QStringLiteral("Simulated modem"));
        QVERIFY(view.TrayStatus().contains(QLatin1String("Simulated Modem (simulated): Disconnected")));

        f.Modem->Unplug("sim0");
        QVERIFY(f.Settle());
        QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("sim1"));
        QCOMPARE(DeviceRow(view, QStringLiteral("IMEI")), QStringLiteral("222222222222222"));
        QVERIFY(view.acConnect->isEnabled());
        QVERIFY(view.TrayStatus().contains(QLatin1String("Stick")));

        f.Modem->Unplug("sim1");
        QVERIFY(f.Settle());
        QCOMPARE(view.cmbInterfaces->count(), 0);
        QVERIFY(!view.GetSelectedInterface());
        QVERIFY(!view.Controller()->SelectedProfile());
        QCOMPARE(view.sbMainPanel0->text(), QStringLiteral("No modem found"));
        QVERIFY(view.TrayStatus().endsWith(QLatin1String("No modem found")));
        QCOMPARE(DeviceRow(view, QStringLiteral("IMEI")), QString());
        QCOMPARE(view.SignalPanel()->Text(), QString());
        QCOMPARE(view.SignalPanel()->ImageIndex(), 0);
        view.UpdateActions();
        for (QAction* needsModem : {view.acConnect, view.acDisconnect, view.acSendSms, view.acSettings}) {
            QVERIFY2(!needsModem->isEnabled(), qPrintable(needsModem->objectName()));
        }

        f.Modem->Deliver("sim0", "+4944444", "welcome back");
        f.Modem->Plug("sim0");
        QVERIFY(f.Settle());
        QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("sim0"));
        QCOMPARE(view.SignalPanel()->Text(), QStringLiteral("Disconnected"));
        QCOMPARE(view.sbMainPanel0->text(), QStringLiteral("Simulated modem"));
        // Read at once on arrival, announced in the tray.
        QCOMPARE(f.Count(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), 1);
        QCOMPARE(view.BalloonCount(), 1);
        QVERIFY(TMessageBox::Shown().isEmpty());
    }

    // Pulled out while connecting: no error box for what the device could no longer finish,
    // and the actions are those of a window without that modem.
    void pulledOutWhileConnecting()
    {
        TGuiFixture f(TwoModems());
        TfmMainView& view = f.Open();
        view.acConnect->trigger();
        f.Modem->Unplug("sim0");
        QVERIFY(f.Settle());
        QVERIFY(TMessageBox::Shown().isEmpty());
        QVERIFY(!view.GetSelectedInterface());
        QVERIFY(!view.CanDisconnect());
        QVERIFY(!view.PendingReconnect());
    }

    // Registration and signal of the modem shown reach the status bar, the device page and
    // the tray; roaming puts a badge on the tray icon.
    void registrationShown()
    {
        TGuiFixture f(TwoModems());
        TfmMainView& view = f.Open();
        auto* network = view.findChild<QTreeWidget*>(QStringLiteral("lvNetwork"));
        QVERIFY(network);
        auto row = [network](const QString& Name) {
            for (int i = 0; i < network->topLevelItemCount(); ++i) {
                if (network->topLevelItem(i)->text(0) == Name) {
                    return network->topLevelItem(i)->text(1);
                }
            }
            return QString();
        };
        QCOMPARE(view.sbRegistration->text(), QStringLiteral("Home: Ombrelay Mobile, LTE"));
        QCOMPARE(row(QStringLiteral("Network")), QStringLiteral("Home"));

        f.Modem->SetRegistration(QStringLiteral("sim0"), TMbnRegisterState::rsRoaming, QStringLiteral("Far Away"));
        f.Modem->SetAccessTech(QStringLiteral("sim0"), TMbnAccessTech::atUmts);
        f.Modem->SetSignal(QStringLiteral("sim0"), 20);
        QVERIFY(f.Settle());
        QCOMPARE(view.sbRegistration->text(), QStringLiteral("Roaming: Far Away, UMTS"));
        QCOMPARE(row(QStringLiteral("Network")), QStringLiteral("Roaming"));
        QCOMPARE(row(QStringLiteral("Operator")), QStringLiteral("Far Away"));
        QCOMPARE(row(QStringLiteral("Operator code")), QStringLiteral("00101"));
        QCOMPARE(row(QStringLiteral("Access technology")), QStringLiteral("UMTS"));
        QCOMPARE(row(QStringLiteral("Signal")), QStringLiteral("65% (20 of 31)"));
        QCOMPARE(view.SignalPanel()->toolTip(), QStringLiteral("Signal 65% (20 of 31)"));
        QVERIFY(view.TrayRoaming());
        QVERIFY(view.TrayStatus().contains(QLatin1String("Roaming: Far Away")));

        f.Modem->SetRegistration(QStringLiteral("sim0"), TMbnRegisterState::rsDenied);
        QVERIFY(f.Settle());
        QCOMPARE(view.sbRegistration->text(), QStringLiteral("Registration denied"));
        QCOMPARE(row(QStringLiteral("Operator")), QString());
        QVERIFY(!view.TrayRoaming());
        f.Modem->SetRegistration(QStringLiteral("sim0"), TMbnRegisterState::rsSearching);
        QVERIFY(f.Settle());
        QCOMPARE(view.sbRegistration->text(), QStringLiteral("Searching for a network"));

        // Another modem's registration is not shown as this one's.
        f.Modem->SetRegistration(QStringLiteral("sim1"), TMbnRegisterState::rsRoaming);
        QVERIFY(f.Settle());
        QCOMPARE(view.sbRegistration->text(), QStringLiteral("Searching for a network"));
        // Pulled out: nothing is left to show.
        f.Modem->Unplug(QStringLiteral("sim0"));
        QVERIFY(f.Settle());
        QCOMPARE(view.sbRegistration->text(), QString());
        QCOMPARE(network->topLevelItemCount(), 0);
    }

    // The signal panel's tool tip keeps the percentage and the raw value whatever changes after
    // the signal: a new connection state, another modem chosen, the modem pulled out.
    void signalToolTipKeepsTheRawValue()
    {
        TSimScenario s = TwoModems();
        s.Interfaces[1].Plugged = true;
        TGuiFixture f(s);
        TfmMainView& view = f.Open();
        TSignalPanel* panel = view.SignalPanel();
        f.Modem->SetSignal(QStringLiteral("sim0"), 20);
        QVERIFY(f.Settle());
        QCOMPARE(panel->toolTip(), QStringLiteral("Signal 65% (20 of 31)"));
        view.acConnect->trigger();
        QVERIFY(f.Settle());
        QCOMPARE(panel->Text(), QStringLiteral("Connected"));
        QCOMPARE(panel->toolTip(), QStringLiteral("Signal 65% (20 of 31)"));
        // What a screen reader says still names the state and the bars.
        QVERIFY2(panel->accessibleDescription().startsWith(QLatin1String("Connected, signal 3 of 5")),
                 qPrintable(panel->accessibleDescription()));

        f.Modem->SetSignal(QStringLiteral("sim1"), 31);
        view.cmbInterfaces->setCurrentIndex(1);
        QVERIFY(f.Settle());
        QCOMPARE(panel->toolTip(), QStringLiteral("Signal 100% (31 of 31)"));
        f.Modem->Unplug(QStringLiteral("sim1"));
        QVERIFY(f.Settle());
        f.Modem->Unplug(QStringLiteral("sim0"));
        QVERIFY(f.Settle());
        // No modem: no signal to speak of.
        QCOMPARE(panel->toolTip(), QString());
    }

    // The unlock dialog asks for what the SIM asks for, step by step: the PIN with the attempts
    // left, after three wrong ones the PUK and a new PIN in fields wide enough for them, and
    // nothing at all once ten wrong PUKs have blocked the SIM.
    void unlockDialogFollowsTheLock()
    {
        TSimScenario s = GuiScenario({QStringLiteral("sim0")});
        s.Interfaces[0].Pin = QStringLiteral("1234");
        TGuiFixture f(s);
        TfmMainView& view = f.Open();
        view.ShowUnlockDialog();
        auto* dialog = view.findChild<TPinDialog*>();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto shown = [dialog](QWidget* Field) { return Field->isVisibleTo(dialog); };
        auto submit = [&](const QString& Puk, const QString& Pin) {
            dialog->edPuk->setText(Puk);
            dialog->edPin->setText(Pin);
            dialog->edConfirm->setText(Pin);
            return dialog->Submit() && f.Settle();
        };
        QCOMPARE(dialog->Prompt(), QStringLiteral("Enter the SIM PIN. 3 attempts left."));
        QVERIFY(shown(dialog->edPin));
        QVERIFY(!shown(dialog->edPuk) && !shown(dialog->edConfirm));

        QVERIFY(submit(QString(), QStringLiteral("0000")));
        QTRY_COMPARE(dialog->Error(), QStringLiteral("Wrong PIN. 2 attempts left."));
        QVERIFY(submit(QString(), QStringLiteral("0000")));
        QVERIFY(submit(QString(), QStringLiteral("0000")));
        QTRY_COMPARE(dialog->Error(), QStringLiteral("Wrong PIN. The SIM now asks for its PUK."));
        QVERIFY(dialog->AsksForPuk());
        QVERIFY(shown(dialog->edPuk) && shown(dialog->edPin) && shown(dialog->edConfirm));
        const int eightDigits = dialog->edPuk->fontMetrics().horizontalAdvance(QStringLiteral("00000000"));
        for (QLineEdit* field : {dialog->edPuk, dialog->edPin, dialog->edConfirm}) {
            QTRY_VERIFY2(field->width() > eightDigits, qPrintable(field->objectName()));
        }

        for (int i = 0; i < 10; ++i) {
            QVERIFY(submit(QStringLiteral("00000000"), QStringLiteral("4321")));
            QTRY_VERIFY(dialog->edPuk->text().isEmpty());
        }
        QTRY_COMPARE(dialog->Prompt(), QStringLiteral("The SIM is blocked. Only its operator can unblock it."));
        QCOMPARE(dialog->Error(), QStringLiteral("Wrong PUK. The SIM is blocked."));
        QVERIFY(!shown(dialog->edPuk) && !shown(dialog->edPin) && !shown(dialog->edConfirm));
        auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(!ok->isEnabled());
        QCOMPARE(view.sbRegistration->text(), QStringLiteral("SIM blocked"));
        dialog->reject();
    }

    // A start with no modem at all says so at once.
    void startWithoutModem()
    {
        TSimScenario s = TwoModems();
        s.Interfaces[0].Plugged = false;
        TGuiFixture f(s);
        TfmMainView& view = f.Open();
        QCOMPARE(view.cmbInterfaces->count(), 0);
        QCOMPARE(view.sbMainPanel0->text(), QStringLiteral("No modem found"));
        f.Modem->Plug("sim1");
        QVERIFY(f.Settle());
        QCOMPARE(view.GetSelectedInterface()->InterfaceID(), QStringLiteral("sim1"));
        QVERIFY(view.acConnect->isEnabled());
        QVERIFY(view.acSendSms->isEnabled());
    }
};

QTEST_MAIN(TestModemsView)
#include "tst_modems_view.moc"
