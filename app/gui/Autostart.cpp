#include "gui/Autostart.h"

#include "base/Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace Ombrelay
{

namespace
{

QString Tr(const char* Text)
{
    return QCoreApplication::translate("Autostart", Text);
}

// A desktop entry's Exec value: the program quoted as the Desktop Entry format asks when it
// holds anything beyond plain characters.
QString ExecArgument(const QString& Program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool plain = true;
    for (QChar c : Program) {
        plain = plain && !reserved.contains(c);
    }
    if (plain) {
        return Program;
    }
    QString quoted = Program;
    for (const char* special : {"\\", "\"", "`", "$"}) {
        quoted.replace(QLatin1String(special), QLatin1String("\\") + QLatin1String(special));
    }
    // In a desktop file a backslash is itself escaped once more.
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString TAutostart::FilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/ombrelay.desktop");
}

QString TAutostart::EntryText(const QString& Program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Ombrelay\n"
                          "Comment=Mobile broadband connections and text messages in the notification area\n"
                          "Exec=%1 -hide\n"
                          "Icon=ombrelay\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecArgument(Program));
}

bool TAutostart::Enabled()
{
    QFile file(FilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") {
            return false;
        }
    }
    return true;
}

void TAutostart::SetEnabled(bool Value, const QString& Program)
{
    const QString path = FilePath();
    if (!Value) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            throw EOmbrelayError(
                Tr(QT_TRANSLATE_NOOP("Autostart",
                                     "Ombrelay could not stop starting at login: %1 could not be removed."))
                    .arg(path));
        }
        return;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        throw EOmbrelayError(
            Tr(QT_TRANSLATE_NOOP("Autostart",
                                 "Ombrelay could not be set to start at login: the folder of %1 could not be created."))
                .arg(path));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(EntryText(Program).toUtf8()) < 0 ||
        !file.commit()) {
        throw EOmbrelayError(
            Tr(QT_TRANSLATE_NOOP("Autostart",
                                 "Ombrelay could not be set to start at login: %1 could not be written (%2)."))
                .arg(path, file.errorString()));
    }
}

} // namespace Ombrelay
