// The USSD dialog on the simulated modem, driven from the keyboard as a user without a mouse
// would: the Tools menu's entry, a code typed and sent with Enter, the menu answered with
// Enter in the reply box, and a modem without USSD told in words with nothing to press.

#include "GuiFixture.h"
#include "gui/UssdDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace Ombrelay;

class TestUssdDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyboardExchange();
    void modemWithoutUssd();
};

void TestUssdDialog::keyboardExchange()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    auto* tools = view.findChild<QMenu*>(QStringLiteral("mmiTools"));
    QVERIFY(tools);
    QVERIFY(tools->actions().contains(view.acUssd));
    view.UpdateActions();
    QVERIFY(view.acUssd->isEnabled());
    view.acUssd->trigger();
    TfmUssd* dialog = view.UssdDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->btnUssdSend->isEnabled());
    QVERIFY(!dialog->edtUssdReply->isEnabled());

    QTest::keyClicks(dialog->cmbUssdCode->lineEdit(), QStringLiteral("*100#"));
    QVERIFY(dialog->btnUssdSend->isEnabled());
    QTest::keyClick(dialog->cmbUssdCode->lineEdit(), Qt::Key_Return);
    // Enter sends; it does not close the dialog.
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->btnUssdCancel->isEnabled());
    QTRY_VERIFY(dialog->edtUssdReply->isEnabled());
    QVERIFY(dialog->mmUssdAnswer->toPlainText().startsWith(QLatin1String("Your balance is 12.34 EUR.")));
    QCOMPARE(dialog->lbUssdStatus->text(), QStringLiteral("The network waits for your reply."));

    QTest::keyClicks(dialog->edtUssdReply, QStringLiteral("2"));
    QTest::keyClick(dialog->edtUssdReply, Qt::Key_Return);
    QTRY_COMPARE(dialog->mmUssdAnswer->toPlainText(), QStringLiteral("To top up, dial *102*voucher number#."));
    QCOMPARE(dialog->lbUssdStatus->text(), QStringLiteral("Session ended."));
    QVERIFY(!dialog->edtUssdReply->isEnabled());
    QVERIFY(!dialog->btnUssdCancel->isEnabled());
    // The code is kept for the next time.
    QCOMPARE(f.Config(QStringLiteral("ussd.recent")), QStringLiteral("*100#"));
    QCOMPARE(dialog->cmbUssdCode->itemText(0), QStringLiteral("*100#"));

    // Escape closes it; the menu opens a new one with the code offered.
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(!view.UssdDialog());
    view.acUssd->trigger();
    QVERIFY(view.UssdDialog());
    QCOMPARE(view.UssdDialog()->cmbUssdCode->currentText(), QStringLiteral("*100#"));
}

void TestUssdDialog::modemWithoutUssd()
{
    TSimScenario s = GuiScenario();
    s.Interfaces[0].Caps.controlCaps = 0x1;
    TGuiFixture f(s);
    TfmMainView& view = f.Open();
    view.acUssd->trigger();
    TfmUssd* dialog = view.UssdDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->lbUssdStatus->text(), QStringLiteral("USSD is not supported by this modem."));
    QTest::keyClicks(dialog->cmbUssdCode->lineEdit(), QStringLiteral("*100#"));
    QVERIFY(!dialog->btnUssdSend->isEnabled());
    QTest::keyClick(dialog->cmbUssdCode->lineEdit(), Qt::Key_Return);
    QVERIFY(f.Settle());
    QVERIFY(dialog->mmUssdAnswer->toPlainText().isEmpty());
    QCOMPARE(TMessageBox::Shown(), QStringList());
}

QTEST_MAIN(TestUssdDialog)
#include "tst_ussd_dialog.moc"
