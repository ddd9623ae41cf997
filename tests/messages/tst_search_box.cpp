// The search field of the messages page: typing searches after a pause, the list shows what was
// found as plain text, and choosing an entry hands out the whole message.

#include "core/SmsStore.h"
#include "gui/MessageTools.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

using namespace Ombrelay;

class TestSearchBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typingFindsAndChoosingShowsWholeMessage();
};

void TestSearchBox::typingFindsAndChoosingShowsWholeMessage()
{
    TTempDatabase db;
    const QString longText = QString(140, QLatin1Char('a')) + QStringLiteral(" <b>bold</b> ") +
                             QString(150, QLatin1Char('b')) + QLatin1Char(' ') + QString(60, QLatin1Char('c')) +
                             QStringLiteral(" zeppelin");
    TSmsIncomingList(QStringLiteral("sim0"))
        .StoreReceived(BuildDeliverPdus(QStringLiteral("+4917011111"), QDateTime(), longText), false);
    TSmsIncomingList(QStringLiteral("sim1"))
        .StoreReceived(BuildDeliverPdus(QStringLiteral("+4917011111"), QDateTime(), QStringLiteral("zeppelin on sim1")),
                       false);

    TMessageSearchBox box([] { return QStringLiteral("sim0"); });
    box.show();
    QSignalSpy chosen(&box, &TMessageSearchBox::MessageChosen);
    QVERIFY(box.lvSearchResults->isHidden());
    QTest::keyClicks(box.edSearch, QStringLiteral("zepp"));
    // Nothing runs while the user types.
    QCOMPARE(box.lvSearchResults->count(), 0);
    QTRY_COMPARE(box.Results().size(), 1);
    QVERIFY(box.lvSearchResults->isVisible());
    QVERIFY(box.lvSearchResults->item(0)->text().contains(QStringLiteral("<b>bold</b>")));

    box.lvSearchResults->setCurrentRow(0);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen[0][0].value<TMessageRecord>().Text, longText);

    box.edSearch->clear();
    QTRY_VERIFY(box.lvSearchResults->isHidden());
    QTest::keyClicks(box.edSearch, QStringLiteral("nothing-like-it"));
    QTRY_COMPARE(box.lvSearchResults->count(), 1);
    QVERIFY(box.Results().isEmpty());
}

QTEST_MAIN(TestSearchBox)
#include "tst_search_box.moc"
