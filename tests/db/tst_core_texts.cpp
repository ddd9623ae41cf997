// The core's messages that reach the user go through the translator, under the context a
// translation file holds them in: a translator that marks every text it is asked for shows which
// parts of a message were translated and which bypassed it. Each case is a real fault: a damaged
// vCard, a setting out of range, a database of a newer version or not a database at all, a
// search index that cannot be built.

#include "base/Errors.h"
#include "core/Contacts.h"
#include "core/DB.h"
#include "core/MessageSearch.h"
#include "core/Modules.h"
#include "core/Options.h"
#include "sqlite/SQLiteDB.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QTranslator>

#include <functional>

// The message of one fault, given a fresh temporary home (no database opened yet).
using TFault = std::function<QString(Ombrelay::TTempDatabase&)>;
Q_DECLARE_METATYPE(TFault)

namespace Ombrelay
{

namespace
{

// Every text of the core's contexts comes back as "{{Context:text}}".
class TMarkingTranslator : public QTranslator
{
public:
    QString translate(const char* Context, const char* Source, const char* Disambiguation, int N) const override
    {
        Q_UNUSED(Disambiguation);
        Q_UNUSED(N);
        const QLatin1String context(Context);
        if (context != QLatin1String("Contacts") && context != QLatin1String("Options") &&
            context != QLatin1String("Database") && context != QLatin1String("MessageSearch")) {
            return QString();
        }
        return QStringLiteral("{{") + context + QLatin1Char(':') + QString::fromUtf8(Source) + QStringLiteral("}}");
    }
    bool isEmpty() const override { return false; }
};

// Runs Fault, which must throw; the message the user would read.
QString MessageOf(const std::function<void()>& Fault)
{
    try {
        Fault();
    } catch (const EOmbrelayError& E) {
        return E.Message();
    }
    return QStringLiteral("(nothing was thrown)");
}

void WriteFile(const QString& Path, const QByteArray& Data)
{
    QDir().mkpath(QFileInfo(Path).path());
    QFile f(Path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(Data);
    }
}

QString VCard(const char* Text)
{
    return MessageOf([&] { ParseVCards(QByteArray(Text)); });
}

} // namespace

class TestCoreTexts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QCoreApplication::installTranslator(&FTranslator); }
    void cleanupTestCase() { QCoreApplication::removeTranslator(&FTranslator); }
    void messagesAreTranslated_data();
    void messagesAreTranslated();

private:
    TMarkingTranslator FTranslator;
};

void TestCoreTexts::messagesAreTranslated_data()
{
    QTest::addColumn<TFault>("Fault");
    // What the message must begin with: the whole of it comes from the translator.
    QTest::addColumn<QString>("Start");
    // How many of its parts were asked of the translator (a vCard fault's detail is a part).
    QTest::addColumn<int>("Parts");

    QTest::newRow("vCard: a line that is no property")
        << TFault([](TTempDatabase&) { return VCard("BEGIN:VCARD\nhello\nEND:VCARD\n"); })
        << "{{Contacts:The vCard file cannot be read: line 2: {{Contacts:expected NAME:VALUE}}" << 2;
    QTest::newRow("vCard: unknown character set")
        << TFault([](TTempDatabase&) { return VCard("BEGIN:VCARD\nFN;CHARSET=NO-SUCH-SET:x\nEND:VCARD\n"); })
        << "{{Contacts:The vCard file cannot be read: line 2: {{Contacts:unknown character set NO-SUCH-SET}}" << 2;
    QTest::newRow("vCard: no card in the file")
        << TFault([](TTempDatabase&) { return VCard("\n"); })
        << "{{Contacts:The vCard file cannot be read: line 1: {{Contacts:the file holds no vCard}}" << 2;
    QTest::newRow("contact without a name") << TFault([](TTempDatabase& Temp) {
        Temp.Open();
        TContacts contacts(Temp.DB());
        return MessageOf([&] { contacts.Set(QStringLiteral("+4917012345"), QStringLiteral("  ")); });
    }) << "{{Contacts:A contact needs a number and a name.}}"
                                            << 1;
    QTest::newRow("setting out of range")
        << TFault([](TTempDatabase& Temp) {
               Temp.Open();
               {
                   TSQLiteLock lock(Temp.DB());
                   Temp.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG VALUES ('monitor.interval', -5)"));
               }
               TOptions options;
               options.LoadOptions();
               return options.LoadWarnings().value(0);
           })
        << "{{Options:The setting monitor.interval holds -5, which is not a count of 0 to 4294967295; 60 is used "
           "instead.}}"
        << 1;
    QTest::newRow("settings saved before they were loaded") << TFault([](TTempDatabase& Temp) {
        Temp.Open();
        TOptions options;
        return MessageOf([&] { options.SaveOptions(); });
    }) << "{{Options:The settings have not been loaded in this run"
                                                            << 1;
    QTest::newRow("database of a newer version") << TFault([](TTempDatabase& Temp) {
        Temp.Open();
        {
            TSQLiteLock lock(Temp.DB());
            Temp.DB().ExecSQL(QStringLiteral("PRAGMA user_version = 99"));
        }
        Temp.Close();
        return MessageOf([&] { TDatabase::Create(Temp.FilePath()); });
    }) << "{{Database:The message database " << 1;
    QTest::newRow("not a database") << TFault([](TTempDatabase& Temp) {
        WriteFile(Temp.FilePath(), "These are my notes, not a database.\n");
        return MessageOf([] { TModules modules; });
    }) << "{{Database:The message database "
                                    << 1;
    QTest::newRow("search index that cannot be built") << TFault([](TTempDatabase& Temp) {
        Temp.Open();
        TSQLiteLock lock(Temp.DB());
        Temp.DB().ExecSQL(QStringLiteral("DROP TABLE IF EXISTS MESSAGE_SEARCH"));
        // A connection that may not write: the index cannot be made.
        Temp.DB().ExecSQL(QStringLiteral("PRAGMA query_only = 1"));
        return MessageOf([&] { TMessageSearch::Search(Temp.DB(), QString(), QStringLiteral("hello"), nullptr); });
    }) << "{{MessageSearch:The messages have no search index yet"
                                                       << 1;
}

void TestCoreTexts::messagesAreTranslated()
{
    QFETCH(TFault, Fault);
    QFETCH(QString, Start);
    QFETCH(int, Parts);
    TTempDatabase temp(false);
    const QString message = Fault(temp);
    QVERIFY2(message.startsWith(Start), qPrintable(message));
    QCOMPARE(message.count(QStringLiteral("{{")), Parts);
}

} // namespace Ombrelay

QTEST_GUILESS_MAIN(Ombrelay::TestCoreTexts)
#include "tst_core_texts.moc"
