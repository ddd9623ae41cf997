#pragma once

// The program's words in the desktop's language: Ombrelay's own translations and Qt's (the
// standard dialogs' buttons), chosen by the locale (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).

#include <QLocale>
#include <QStringList>

namespace Ombrelay
{

class TTranslations
{
public:
    // Where the .qm files are looked for: beside an installed program
    // (<prefix>/share/ombrelay/translations), then the build tree's folder.
    static QStringList Folders();
    // Installs the translators for Locale on the application; returns the file of Ombrelay's
    // own translation that was found, empty when none (the program then speaks English).
    // English has a file too: it holds the plural forms ("1 new message", "2 new messages"),
    // and is installed also for a language Ombrelay has no translation for.
    static QString Install(const QLocale& Locale = QLocale());
};

} // namespace Ombrelay
