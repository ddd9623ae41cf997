// The window's side of the connection on the simulated modem: profiles read anew while the
// program runs, Cancel of a connect that hangs or is slow, "Do not connect while roaming" for the
// monitor's reconnect and a connect by hand, and the session rows and drop notice.

#include "GuiFixture.h"
#include "base/DateTime.h"
#include "core/MBInterfaceItem.h"
#include "core/MBProfleItem.h"
#include "gui/DeviceInfoPage.h"
#include "platform/sim/SimInterface.h"

#include <QComboBox>
#include <QTimer>
#include <QTreeWidget>

using namespace Ombrelay;

namespace
{

QStringList Rows(QTreeWidget* List)
{
    QStringList r;
    for (int i = 0; i < List->topLevelItemCount(); ++i) {
        r << List->topLevelItem(i)->text(0) + QLatin1Char('=') + List->topLevelItem(i)->text(1);
    }
    return r;
}

QStringList Items(QComboBox* Box)
{
    QStringList r;
    for (int i = 0; i < Box->count(); ++i) {
        r << Box->itemText(i);
    }
    return r;
}

} // namespace

class TestConnectionView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Clock::SetNow(0);
        TMessageBox::SetNextAnswer(QMessageBox::NoButton);
    }
    void profilesFollowTheStack();
    void cancelGivesUpTheConnect_data();
    void cancelGivesUpTheConnect();
    void roamingRule_data();
    void roamingRule();
    void sessionRowsAndDropNotice();
};

void TestConnectionView::profilesFollowTheStack()
{
    TGuiFixture f(GuiScenario({QStringLiteral("sim0")},
                              {SimProfileXml(QStringLiteral("Internet"), true, QStringLiteral("internet.example")),
                               SimProfileXml(QStringLiteral("Business"), false, QStringLiteral("biz.example"))}));
    TfmMainView& view = f.Open();
    auto* profiles = view.findChild<QComboBox*>(QStringLiteral("cmbProfiles"));
    QVERIFY(profiles);
    profiles->setCurrentIndex(1);
    QCOMPARE(view.Controller()->SelectedProfile()->Name(), QStringLiteral("Business"));

    // Elsewhere a profile is removed and one added; the stack says its list changed.
    QStringList& stored = f.Modem->Find(QStringLiteral("sim0"))->S.Profiles;
    stored.removeFirst();
    stored << SimProfileXml(QStringLiteral("Travel"), false, QStringLiteral("travel.example"));
    Q_EMIT f.Modem->ProfilesChanged();
    QTRY_COMPARE(Items(profiles), (QStringList{QStringLiteral("Business"), QStringLiteral("Travel")}));
    // The choice stays, and it is one of the new profiles (the old ones are gone).
    TMBProfleItem* selected = view.Controller()->SelectedProfile();
    QVERIFY(selected);
    QCOMPARE(selected->Name(), QStringLiteral("Business"));
    const TMBProfleList& list = view.GetSelectedInterface()->ProfileList();
    QVERIFY(std::any_of(list.begin(), list.end(), [&](const auto& P) { return P.get() == selected; }));
    view.acConnect->trigger();
    QTRY_COMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("connected"));
    QCOMPARE(TMessageBox::Shown(), QStringList());
}

void TestConnectionView::cancelGivesUpTheConnect_data()
{
    QTest::addColumn<bool>("Hangs");
    // A device that never answers, and a network that answers late (with a failure, since the
    // connect was given up meanwhile).
    QTest::newRow("hangs") << true;
    QTest::newRow("slow") << false;
}

void TestConnectionView::cancelGivesUpTheConnect()
{
    QFETCH(bool, Hangs);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    if (Hangs) {
        f.Modem->Lose(QStringLiteral("Connect"), 1);
    } else {
        f.Modem->SetConnectDelay(QStringLiteral("sim0"), 300);
    }
    QVERIFY(!view.acCancelConnect->isVisible());
    view.acConnect->trigger();
    QTRY_VERIFY(view.acCancelConnect->isEnabled());
    QVERIFY(view.acCancelConnect->isVisible());
    QVERIFY(!view.acConnect->isVisible());
    QVERIFY(!view.acDisconnect->isEnabled());
    view.acCancelConnect->trigger();
    QTRY_COMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("disconnected"));
    QTRY_VERIFY(view.acConnect->isEnabled());
    QVERIFY(view.acConnect->isVisible());
    QVERIFY(!view.acCancelConnect->isVisible());
    // A late answer of the given-up connect changes nothing and is no error.
    QTest::qWait(600);
    f.Settle();
    QCOMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("disconnected"));
    QVERIFY(view.acConnect->isEnabled());
    QCOMPARE(TMessageBox::Shown(), QStringList());
}

void TestConnectionView::roamingRule_data()
{
    QTest::addColumn<bool>("Roaming");
    QTest::addColumn<bool>("Rule");
    QTest::addColumn<bool>("MonitorConnects");
    QTest::addColumn<bool>("Asks");
    QTest::newRow("home, rule on") << false << true << true << false;
    QTest::newRow("roaming, rule off") << true << false << true << false;
    QTest::newRow("roaming, rule on") << true << true << false << true;
}

void TestConnectionView::roamingRule()
{
    QFETCH(bool, Roaming);
    QFETCH(bool, Rule);
    QFETCH(bool, MonitorConnects);
    QFETCH(bool, Asks);
    TGuiFixture f;
    TfmMainView& view = f.Open();
    // After the start, which loads the stored settings.
    f.Opts.SetNoRoamingConnect(Rule);
    if (Roaming) {
        f.Modem->SetRegistration(QStringLiteral("sim0"), TMbnRegisterState::rsRoaming);
        QTRY_VERIFY(view.Controller()->Roaming());
    }
    // The monitor asks for a reconnect.
    view.WMMonitorRedial();
    f.Settle();
    QCOMPARE(f.Modem->StateName(QStringLiteral("sim0")),
             MonitorConnects ? QStringLiteral("connected") : QStringLiteral("disconnected"));
    if (MonitorConnects) {
        view.acDisconnect->trigger();
        QTRY_COMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("disconnected"));
        QTRY_VERIFY(view.acConnect->isEnabled());
    }
    // By hand: answered "No" where it asks, nothing happens; where it does not ask, it connects.
    TMessageBox::SetNextAnswer(QMessageBox::No);
    view.acConnect->trigger();
    f.Settle();
    QCOMPARE(f.Modem->StateName(QStringLiteral("sim0")),
             Asks ? QStringLiteral("disconnected") : QStringLiteral("connected"));
    QCOMPARE(TMessageBox::Shown().size(), Asks ? 1 : 0);
    if (Asks) {
        QVERIFY(TMessageBox::Shown().first().contains(QStringLiteral("Connect anyway?")));
        TMessageBox::SetNextAnswer(QMessageBox::Yes);
        view.acConnect->trigger();
        QTRY_COMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("connected"));
    }
}

void TestConnectionView::sessionRowsAndDropNotice()
{
    TGuiFixture f;
    TfmMainView& view = f.Open();
    auto* network = view.findChild<QTreeWidget*>(QStringLiteral("lvNetwork"));
    QVERIFY(network);
    const TDateTime start = FromQDateTime(QDateTime(QDate(2026, 3, 1), QTime(12, 0)));
    Clock::SetNow(start);
    f.Modem->AddTraffic(QStringLiteral("sim0"), 5000, 5000); // before the connect: not this session's
    view.acConnect->trigger();
    QTRY_COMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("connected"));
    QTRY_VERIFY(Rows(network).contains(QStringLiteral("IPv4 address=192.0.2.10")));
    QVERIFY(Rows(network).contains(QStringLiteral("IPv6 address=2001:db8::10")));
    QVERIFY(Rows(network).contains(QStringLiteral("Connected for=0:00:00")));
    // An hour, a minute and five seconds later, with some bytes carried.
    Clock::SetNow(start + (3600.0 + 65.0) / 86400.0);
    f.Modem->AddTraffic(QStringLiteral("sim0"), 700, 300);
    auto* timer = view.tsInfo->findChild<QTimer*>(QStringLiteral("tmSession"));
    QVERIFY(timer && timer->isActive());
    QTRY_VERIFY(Rows(network).contains(QStringLiteral("Connected for=1:01:05")));
    QVERIFY(Rows(network).filter(QStringLiteral("This session=")).value(0).contains(QStringLiteral(" received, ")));
    // The session's bytes are the device's counters less what they stood at when it connected
    // (the simulated link also carries traffic of its own each second, so both are read at once).
    std::shared_ptr<IMbnInterface> device;
    QCOMPARE(f.Modem->GetInterface(QStringLiteral("sim0"), device), TMbnResult(mrOk));
    quint64 rx = 0;
    quint64 tx = 0;
    QCOMPARE(device->GetByteCounters(rx, tx), TMbnResult(mrOk));
    const TConnectionSession session = f.Manager->GetSession(QStringLiteral("sim0"));
    QVERIFY(session.Connected);
    QCOMPARE(session.Received, rx - 5000);
    QCOMPARE(session.Sent, tx - 5000);
    QVERIFY(session.Received >= 700);

    const int before = view.BalloonCount();
    f.Modem->Drop(QStringLiteral("sim0"), QStringLiteral("the operator ended the session"));
    QTRY_COMPARE(view.BalloonCount(), before + 1);
    QCOMPARE(view.LastBalloonTitle(), QStringLiteral("Connection dropped"));
    QVERIFY2(view.LastBalloonText().contains(QStringLiteral("the operator ended the session")),
             qPrintable(view.LastBalloonText()));
    QTRY_VERIFY(!Rows(network).join(QLatin1Char('\n')).contains(QStringLiteral("Connected for")));
    QVERIFY(!timer->isActive());
    // A disconnect asked for by the user is no drop.
    view.acConnect->trigger();
    QTRY_VERIFY(view.acDisconnect->isEnabled());
    view.acDisconnect->trigger();
    QTRY_COMPARE(f.Modem->StateName(QStringLiteral("sim0")), QStringLiteral("disconnected"));
    f.Settle();
    QCOMPARE(view.BalloonCount(), before + 1);
}

QTEST_MAIN(TestConnectionView)
#include "tst_connection_view.moc"
