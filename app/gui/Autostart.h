#pragma once

// "Start Ombrelay when I log in": an XDG autostart entry in the user's configuration folder
// ($XDG_CONFIG_HOME/autostart, by default ~/.config/autostart), which the desktop session reads
// at login. Written when the setting is turned on, removed when it is turned off.

#include <QString>

namespace Ombrelay
{

class TAutostart
{
public:
    // The entry's file name: the program's desktop file id.
    static QString FilePath();
    // Whether an entry of ours is there and not disabled (Hidden=true, as desktops write when
    // the user turns it off in their own settings).
    static bool Enabled();
    // Writes the entry (starting Program with -hide) or removes it. Raises EOmbrelayError with
    // the file and the reason when that fails.
    static void SetEnabled(bool Value, const QString& Program);
    // The entry's text for Program.
    static QString EntryText(const QString& Program);
};

} // namespace Ombrelay
