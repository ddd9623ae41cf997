// USSD sessions through the simulated modem's scripted network service: the exchange of a code,
// a menu and its answer; answers in the forms modems hand them over; the failures a user must
// be told about in words; cancel; and the recent codes kept in a real database.

#include "DeviceFixture.h"
#include "core/UssdSession.h"
#include "platform/sim/SimControl.h"
#include "platform/sim/SimInterface.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Ombrelay;

namespace
{

// What a session said, in order: "answer: TEXT", "menu: TEXT" or "failed: TEXT".
struct TTranscript
{
    explicit TTranscript(TUssdSession& Session)
    {
        QObject::connect(&Session, &TUssdSession::Answered, [this](const QString& Text, bool Menu) {
            Lines << (Menu ? QStringLiteral("menu: ") : QStringLiteral("answer: ")) + Text;
        });
        QObject::connect(&Session, &TUssdSession::Failed,
                         [this](const QString& Message) { Lines << QStringLiteral("failed: ") + Message; });
    }
    QStringList Lines;
};

} // namespace

class TestUssdSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoStepExchange();
    void scriptedAnswers_data();
    void scriptedAnswers();
    void failuresInWords_data();
    void failuresInWords();
    void cancelDropsAnswerOnItsWay();
    void newCodeEndsOpenMenu();
    void networkAsksOnItsOwn();
    void unpluggedModemEndsSession();
    void recentCodesKeptNewestFirst();
};

void TestUssdSession::twoStepExchange()
{
    TDeviceFixture f;
    TUssdSession session(f.Modem, QStringLiteral("sim0"));
    TTranscript t(session);
    QVERIFY(session.Unsupported().isEmpty());

    QVERIFY(session.Send(QStringLiteral("*100#")));
    QVERIFY(session.Busy());
    QTRY_COMPARE(t.Lines.size(), 1);
    QVERIFY(t.Lines[0].startsWith(QLatin1String("menu: Your balance is 12.34 EUR.")));
    QVERIFY(session.AwaitsResponse());
    QVERIFY(!session.Busy());

    QVERIFY(session.Respond(QStringLiteral("1")));
    QTRY_COMPARE(t.Lines.size(), 2);
    QCOMPARE(t.Lines[1], QStringLiteral("answer: You have 2.5 GB of data left until 31.12."));
    QVERIFY(!session.AwaitsResponse());
    QVERIFY(!session.Busy());

    // The session is over: a second reply has nothing to answer and reaches no network.
    QVERIFY(!session.Respond(QStringLiteral("2")));
    QCOMPARE(t.Lines.last(), QStringLiteral("failed: The network asked nothing to answer."));
}

void TestUssdSession::scriptedAnswers_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain, with line breaks")
        << QStringLiteral("ussd sim0 *101# Line one\\nLine two") << QStringLiteral("answer: Line one\nLine two");
    QTest::newRow("menu") << QStringLiteral("ussd sim0 *101# Pick one\\n1 Yes menu")
                          << QStringLiteral("menu: Pick one\n1 Yes");
    QTest::newRow("UCS-2 hexadecimal")
        << QStringLiteral("ussd sim0 *101# ucs2:04110430043B0430043D0441003A00200031003000300020044004430431002E")
        << QStringLiteral("answer: Баланс: 100 руб.");
    QTest::newRow("packed 7-bit hexadecimal") << QStringLiteral("ussd sim0 *101# gsm7:C2303BEC1E9775A098CC35A3818A5529")
                                              << QStringLiteral("answer: Balance: 12.34 EUR");
    QTest::newRow("bad hexadecimal") << QStringLiteral("ussd sim0 *101# ucs2:04110G30")
                                     << QStringLiteral("failed: The network's answer could not be read: UCS-2 answer: "
                                                       "the character at position 6 is not a hexadecimal digit");
    QTest::newRow("odd length") << QStringLiteral("ussd sim0 *101# gsm7:C2303")
                                << QStringLiteral("failed: The network's answer could not be read: GSM 7-bit answer: "
                                                  "an odd number of hexadecimal digits (5)");
}

void TestUssdSession::scriptedAnswers()
{
    QFETCH(QString, command);
    QFETCH(QString, expected);
    TDeviceFixture f;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ussd-XXXXXX"));
    TSimControl control(*f.Modem, dir.filePath(QStringLiteral("ctl")));
    QCOMPARE(control.Execute(command), QStringLiteral("ok"));
    TUssdSession session(f.Modem, QStringLiteral("sim0"));
    TTranscript t(session);
    QVERIFY(session.Send(QStringLiteral("*101#")));
    QTRY_COMPARE(t.Lines.size(), 1);
    QCOMPARE(t.Lines[0], expected);
    QCOMPARE(session.AwaitsResponse(), expected.startsWith(QLatin1String("menu:")));
}

void TestUssdSession::failuresInWords_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unknown code goes unanswered")
        << QString() << QStringLiteral("*999#") << QStringLiteral("failed: The network did not answer.");
    QTest::newRow("no network") << QStringLiteral("register sim0 searching") << QStringLiteral("*100#")
                                << QStringLiteral("failed: The modem is not registered with a network.");
    QTest::newRow("request refused by the stack") << QStringLiteral("fail UssdInitiate 1") << QStringLiteral("*100#")
                                                  << QStringLiteral("failed: The USSD request failed: ");
    QTest::newRow("empty code") << QString() << QStringLiteral("  ")
                                << QStringLiteral("failed: Enter a code such as *100#.");
}

void TestUssdSession::failuresInWords()
{
    QFETCH(QString, control);
    QFETCH(QString, code);
    QFETCH(QString, expected);
    TDeviceFixture f;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ussd-XXXXXX"));
    TSimControl ctl(*f.Modem, dir.filePath(QStringLiteral("ctl")));
    if (!control.isEmpty()) {
        QCOMPARE(ctl.Execute(control), QStringLiteral("ok"));
    }
    TUssdSession session(f.Modem, QStringLiteral("sim0"));
    TTranscript t(session);
    session.Send(code);
    QTRY_COMPARE(t.Lines.size(), 1);
    QVERIFY2(t.Lines[0].startsWith(expected), qPrintable(t.Lines[0]));
    QVERIFY(!session.Busy());
    QVERIFY(!session.AwaitsResponse());
}

void TestUssdSession::cancelDropsAnswerOnItsWay()
{
    TSimScenario s = TestScenario();
    s.DelayMs = 50;
    TDeviceFixture f(s);
    TUssdSession session(f.Modem, QStringLiteral("sim0"));
    TTranscript t(session);
    QSignalSpy complete(f.Modem.get(), &IMbnInterfaceManager::UssdComplete);
    QVERIFY(session.Send(QStringLiteral("*100#")));
    session.Cancel();
    QVERIFY(!session.Busy());
    // The initiate's and the cancel's completions both come; neither is shown as an answer.
    QTRY_COMPARE(complete.size(), 2);
    QTest::qWait(100);
    QVERIFY2(t.Lines.isEmpty(), qPrintable(t.Lines.join(QLatin1Char('|'))));
    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnUssd> ussd;
    QCOMPARE(f.Modem->GetInterface(QStringLiteral("sim0"), i), TMbnResult(mrOk));
    QCOMPARE(i->GetUssd(ussd), TMbnResult(mrOk));
    QCOMPARE(ussd->UssdState(), TMbnUssdState::usIdle);
    // The modem is free for the next session.
    QVERIFY(session.Send(QStringLiteral("*100#")));
    QTRY_COMPARE(t.Lines.size(), 1);
    QVERIFY(t.Lines[0].startsWith(QLatin1String("menu: ")));
}

void TestUssdSession::newCodeEndsOpenMenu()
{
    TDeviceFixture f;
    TUssdSession session(f.Modem, QStringLiteral("sim0"));
    TTranscript t(session);
    QVERIFY(session.Send(QStringLiteral("*100#")));
    QTRY_VERIFY(session.AwaitsResponse());
    // A device allows one session: the open menu is cancelled, not refused as busy.
    QVERIFY(session.Send(QStringLiteral("*100#")));
    QTRY_COMPARE(t.Lines.size(), 2);
    QVERIFY2(t.Lines[1].startsWith(QLatin1String("menu: ")), qPrintable(t.Lines[1]));
}

void TestUssdSession::networkAsksOnItsOwn()
{
    TDeviceFixture f;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ussd-XXXXXX"));
    TSimControl control(*f.Modem, dir.filePath(QStringLiteral("ctl")));
    TUssdSession session(f.Modem, QStringLiteral("sim0"));
    TTranscript t(session);
    QCOMPARE(control.Execute(QStringLiteral("ussd-network sim0 notify Your bonus is 1 GB")), QStringLiteral("ok"));
    QTRY_COMPARE(t.Lines.size(), 1);
    QCOMPARE(t.Lines[0], QStringLiteral("answer: Your bonus is 1 GB"));
    QVERIFY(!session.AwaitsResponse());
    QCOMPARE(control.Execute(QStringLiteral("ussd-network sim0 request Accept the offer?\\n1 Yes menu")),
             QStringLiteral("ok"));
    QTRY_COMPARE(t.Lines.size(), 2);
    QVERIFY(session.AwaitsResponse());
    QVERIFY(session.Respond(QStringLiteral("0")));
    QTRY_COMPARE(t.Lines.size(), 3);
    QCOMPARE(t.Lines[2], QStringLiteral("answer: Goodbye."));
    QCOMPARE(control.Execute(QStringLiteral("ussd-network sim0 shout hello")),
             QStringLiteral("error usage: ussd-network IFACE notify|request TEXT..."));
    QCOMPARE(control.Execute(QStringLiteral("ussd sim0")),
             QStringLiteral("error usage: ussd IFACE CODE ANSWER... [menu]"));
}

void TestUssdSession::unpluggedModemEndsSession()
{
    TDeviceFixture f;
    TUssdSession session(f.Modem, QStringLiteral("sim0"));
    TTranscript t(session);
    QVERIFY(session.Send(QStringLiteral("*100#")));
    f.Modem->Unplug(QStringLiteral("sim0"));
    QTRY_COMPARE(t.Lines.size(), 1);
    QCOMPARE(t.Lines[0], QStringLiteral("failed: The USSD request failed: ") + f.Modem->ErrorText(mrFailed));
    QCOMPARE(session.Unsupported(), QStringLiteral("The modem is not there any more."));
    f.Modem->Plug(QStringLiteral("sim0"));
    QVERIFY(session.Send(QStringLiteral("*100#")));
    QTRY_COMPARE(t.Lines.size(), 2);
    QVERIFY(t.Lines[1].startsWith(QLatin1String("menu: ")));

    // A modem without the facet says so in words.
    TSimScenario s = TestScenario();
    s.Interfaces[0].Caps.controlCaps = 0x1;
    TDeviceFixture plain(s);
    TUssdSession none(plain.Modem, QStringLiteral("sim0"));
    QCOMPARE(none.Unsupported(), QStringLiteral("USSD is not supported by this modem."));
    TTranscript n(none);
    QVERIFY(!none.Send(QStringLiteral("*100#")));
    QCOMPARE(n.Lines, QStringList{QStringLiteral("failed: USSD is not supported by this modem.")});
}

void TestUssdSession::recentCodesKeptNewestFirst()
{
    TTempDatabase db;
    QVERIFY(LoadUssdCodes(db.DB()).isEmpty());
    for (int n = 0; n < 12; ++n) {
        RememberUssdCode(db.DB(), QStringLiteral("*1%1#").arg(n));
    }
    // A code sent again moves to the front, once; a code with a comma survives the row's format.
    RememberUssdCode(db.DB(), QStringLiteral("*15#"));
    RememberUssdCode(db.DB(), QStringLiteral(" *123*4,5# "));
    RememberUssdCode(db.DB(), QStringLiteral("   "));
    const QStringList codes = LoadUssdCodes(db.DB());
    QCOMPARE(codes.size(), kUssdRecentCodes);
    QCOMPARE(codes.mid(0, 4), (QStringList{QStringLiteral("*123*4,5#"), QStringLiteral("*15#"), QStringLiteral("*111#"),
                                           QStringLiteral("*110#")}));
    QCOMPARE(codes.count(QStringLiteral("*15#")), 1);
    QVERIFY(!codes.contains(QStringLiteral("*10#")));
    QVERIFY(!codes.contains(QStringLiteral("*11#")));
}

QTEST_GUILESS_MAIN(TestUssdSession)
#include "tst_ussd.moc"
