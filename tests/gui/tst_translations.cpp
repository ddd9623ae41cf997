// The program's words in German and French: the built translations are loaded for the desktop's
// locale, plural forms follow each language's rules (English too), and the committed .ts files
// hold every text of the sources, translated, and none that the sources no longer have.

#include "gui/MainView.h"
#include "gui/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

using namespace Ombrelay;

namespace
{

// Removes every translator Install put on the application.
void RemoveTranslators()
{
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { RemoveTranslators(); }
    void localeChoosesTheLanguage_data();
    void localeChoosesTheLanguage();
    void pluralsFollowTheLanguage_data();
    void pluralsFollowTheLanguage();
    void tsFilesInStepWithTheSources();
};

void TestTranslations::localeChoosesTheLanguage_data()
{
    QTest::addColumn<QString>("Locale");
    QTest::addColumn<QString>("File");
    QTest::addColumn<QString>("FileMenu");
    QTest::newRow("German") << "de_DE"
                            << "ombrelay_de.qm"
                            << "&Datei";
    QTest::newRow("Austrian German") << "de_AT"
                                     << "ombrelay_de.qm"
                                     << "&Datei";
    QTest::newRow("French") << "fr_FR"
                            << "ombrelay_fr.qm"
                            << "&Fichier";
    QTest::newRow("Canadian French") << "fr_CA"
                                     << "ombrelay_fr.qm"
                                     << "&Fichier";
    QTest::newRow("English") << "en_GB"
                             << "ombrelay_en.qm"
                             << "&File";
    QTest::newRow("no translation: English") << "ja_JP"
                                             << ""
                                             << "&File";
}

void TestTranslations::localeChoosesTheLanguage()
{
    QFETCH(QString, Locale);
    QFETCH(QString, File);
    QFETCH(QString, FileMenu);
    const QString loaded = TTranslations::Install(QLocale(Locale));
    QCOMPARE(QFileInfo(loaded).fileName(), File);
    QCOMPARE(TfmMainView::tr("&File"), FileMenu);
}

void TestTranslations::pluralsFollowTheLanguage_data()
{
    QTest::addColumn<QString>("Locale");
    QTest::addColumn<int>("Count");
    QTest::addColumn<QString>("Text");
    QTest::newRow("English one") << "en_US" << 1 << "1 new message";
    QTest::newRow("English two") << "en_US" << 2 << "2 new messages";
    QTest::newRow("English zero") << "en_US" << 0 << "0 new messages";
    // A language without a translation still counts in English, not "1 new message(s)".
    QTest::newRow("untranslated one") << "ja_JP" << 1 << "1 new message";
    QTest::newRow("untranslated two") << "ja_JP" << 2 << "2 new messages";
    QTest::newRow("C locale one") << "C" << 1 << "1 new message";
    QTest::newRow("German one") << "de_DE" << 1 << "1 neue Nachricht";
    QTest::newRow("German two") << "de_DE" << 2 << "2 neue Nachrichten";
    QTest::newRow("German zero") << "de_DE" << 0 << "0 neue Nachrichten";
    // French counts zero with the singular.
    QTest::newRow("French zero") << "fr_FR" << 0 << "0 nouveau message";
    QTest::newRow("French one") << "fr_FR" << 1 << "1 nouveau message";
    QTest::newRow("French two") << "fr_FR" << 2 << "2 nouveaux messages";
}

void TestTranslations::pluralsFollowTheLanguage()
{
    QFETCH(QString, Locale);
    QFETCH(int, Count);
    QFETCH(QString, Text);
    TTranslations::Install(QLocale(Locale));
    QCOMPARE(QCoreApplication::translate("MessageNotifier", "%n new message(s)", nullptr, Count), Text);
}

void TestTranslations::tsFilesInStepWithTheSources()
{
    // lupdate over today's sources into copies of the committed files: nothing may be new
    // (unfinished) or gone (vanished) in them.
    const QString lupdate = QStringLiteral(OMBRELAY_LUPDATE);
    if (!QFileInfo(lupdate).isExecutable()) {
        QSKIP("lupdate is not installed (qt6-l10n-tools)");
    }
    const QDir sources(QStringLiteral(OMBRELAY_SOURCE_DIR "/app/gui"));
    QStringList files = sources.entryList({QStringLiteral("*.cpp")}, QDir::Files);
    for (QString& f : files) {
        f = sources.filePath(f);
    }
    files << QStringLiteral(OMBRELAY_SOURCE_DIR "/app/main.cpp");
    // The core's texts that the window shows.
    const QDir core(QStringLiteral(OMBRELAY_SOURCE_DIR "/app/core"));
    for (const QString& f : core.entryList({QStringLiteral("*.cpp")}, QDir::Files)) {
        files << core.filePath(f);
    }
    // The headers, so that lupdate knows each class and its namespace as the build does.
    QStringList includes;
    const QDir roots(QStringLiteral(OMBRELAY_INCLUDE_ROOT));
    for (const QString& root : roots.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        includes << QStringLiteral("-I") + roots.filePath(root);
    }
    QTemporaryDir dir;
    for (const char* language : {"de", "fr"}) {
        const QString committed =
            sources.filePath(QStringLiteral("translations/ombrelay_%1.ts").arg(QLatin1String(language)));
        const QString copy = dir.filePath(QFileInfo(committed).fileName());
        QVERIFY(QFile::copy(committed, copy));
        QProcess p;
        p.start(lupdate, QStringList{QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral("-silent")} +
                             includes + files + QStringList{QStringLiteral("-ts"), copy});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QFile f(copy);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QStringList problems;
        static const QRegularExpression entry(QStringLiteral(
                                                  "<source>([^<]*)</source>\\s*<translation type=\"(\\w+)\""),
                                              QRegularExpression::DotMatchesEverythingOption);
        for (auto m = entry.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            problems << match.captured(2) + QStringLiteral(": ") + match.captured(1);
        }
        QVERIFY2(problems.isEmpty(),
                 qPrintable(QLatin1String(language) + QLatin1Char('\n') + problems.join(QLatin1Char('\n'))));
    }
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
