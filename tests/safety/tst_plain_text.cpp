// Text that comes from a message (its text and its sender, alphanumeric senders included) is
// shown as written in the message list: tool tips that look like markup are drawn as rich text
// by Qt, so what they hold must come out literally, with no image or link loaded.

#include "gui/GuiFixture.h"
#include "gui/SmsMessagesModel.h"
#include "support/RenderedTip.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFrame>
#include <QUrl>

using namespace Ombrelay;

class TestPlainText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageTextAndSenderStayText_data();
    void messageTextAndSenderStayText();
};

void TestPlainText::messageTextAndSenderStayText_data()
{
    QTest::addColumn<QString>("Sender");
    QTest::addColumn<QString>("Text");

    QTest::newRow("bold and an image of a local file")
        << "+4911111"
        << "<b>Hello</b> <img src=\"/etc/passwd\"> and <img src=\"file:///etc/hostname\">";
    QTest::newRow("link and table")
        << "+4922222"
        << "<a href=\"http://example.invalid/x\">click</a><table><tr><td>1</td></tr></table>";
    QTest::newRow("entities and lines") << "+4933333"
                                        << "&lt;b&gt; &amp; &#60;\nsecond <i>line</i>";
    QTest::newRow("alphanumeric sender in markup") << "<b>Bank</b>"
                                                   << "Your code";
    QTest::newRow("alphanumeric sender, an image") << "<img src=x>"
                                                   << "<qt>hi</qt>";
}

void TestPlainText::messageTextAndSenderStayText()
{
    QFETCH(QString, Sender);
    QFETCH(QString, Text);

    TGuiFixture f;
    TfmMainView& view = f.Open();
    f.Modem->Deliver(QStringLiteral("sim0"), Sender, Text);
    QVERIFY(f.Poll());
    view.pcMain->setCurrentWidget(view.tsMessages);
    auto* messages = view.findChild<QTableView*>(QStringLiteral("lvMessages"));
    QVERIFY(messages);
    QAbstractItemModel* model = messages->model();
    QCOMPARE(model->rowCount(), 1);

    // The list cells hold the text as it was sent.
    QCOMPARE(model->index(0, 1).data().toString(), Sender);
    QString oneLine = Text;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QCOMPARE(model->index(0, 2).data().toString(), oneLine);

    const struct
    {
        int Column;
        QString Expected;
    } cells[] = {{1, Sender}, {2, Text}};
    for (const auto& cell : cells) {
        const QString tip = model->index(0, cell.Column).data(Qt::ToolTipRole).toString();
        TRenderedTip rendered(tip);
        QCOMPARE(rendered.Shown(), cell.Expected.simplified());
        QVERIFY2(rendered.Loaded.isEmpty(), qPrintable(rendered.Loaded.join(QLatin1Char(' '))));
        // No image, link or table came out of the text.
        QVERIFY(rendered.rootFrame()->childFrames().isEmpty());
        for (QTextBlock block = rendered.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                QVERIFY(!format.isImageFormat());
                QVERIFY(!format.isAnchor());
            }
        }
    }
}

QTEST_MAIN(TestPlainText)
#include "tst_plain_text.moc"
