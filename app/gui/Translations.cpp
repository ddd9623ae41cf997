#include "gui/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace Ombrelay
{

QStringList TTranslations::Folders()
{
    QStringList r;
    if (QCoreApplication::instance()) {
        r << QDir::cleanPath(QCoreApplication::applicationDirPath() +
                             QStringLiteral("/../share/ombrelay/translations"));
    }
#ifdef OMBRELAY_BUILD_TRANSLATIONS
    r << QStringLiteral(OMBRELAY_BUILD_TRANSLATIONS);
#endif
    return r;
}

QString TTranslations::Install(const QLocale& Locale)
{
    auto* app = QCoreApplication::instance();
    if (!app) {
        return QString();
    }
    // Qt's own first, so that ours wins where both have a text (translators asked last are
    // asked first).
    auto* qt = new QTranslator(app);
    if (qt->load(Locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    } else {
        delete qt;
    }
    for (const QString& folder : Folders()) {
        auto* own = new QTranslator(app);
        if (own->load(Locale, QStringLiteral("ombrelay"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(own);
            return own->filePath();
        }
        delete own;
    }
    // A language without a translation speaks English, which still needs its plural forms:
    // "1 new message", not "1 new message(s)".
    for (const QString& folder : Folders()) {
        auto* english = new QTranslator(app);
        if (english->load(QStringLiteral("ombrelay_en"), folder)) {
            QCoreApplication::installTranslator(english);
            break;
        }
        delete english;
    }
    return QString();
}

} // namespace Ombrelay
