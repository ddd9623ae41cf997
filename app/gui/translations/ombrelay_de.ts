<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Autostart</name>
    <message>
        <source>Ombrelay could not stop starting at login: %1 could not be removed.</source>
        <translation>Ombrelay konnte nicht aus dem Start bei der Anmeldung entfernt werden: %1 ließ sich nicht löschen.</translation>
    </message>
    <message>
        <source>Ombrelay could not be set to start at login: the folder of %1 could not be created.</source>
        <translation>Ombrelay konnte nicht für den Start bei der Anmeldung eingerichtet werden: Der Ordner von %1 ließ sich nicht anlegen.</translation>
    </message>
    <message>
        <source>Ombrelay could not be set to start at login: %1 could not be written (%2).</source>
        <translation>Ombrelay konnte nicht für den Start bei der Anmeldung eingerichtet werden: %1 ließ sich nicht schreiben (%2).</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Cellular modem connections, text messages and data usage in the notification area.</source>
        <translation>Mobilfunkmodem-Verbindungen, SMS und Datennutzung im Benachrichtigungsbereich.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Diese Hilfe anzeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Die Version anzeigen und beenden.</translation>
    </message>
    <message>
        <source>Start in the notification area without showing the window (also written -hide or /hide). A second start hands over to the running program.</source>
        <translation>Im Benachrichtigungsbereich starten, ohne das Fenster zu zeigen (auch -hide oder /hide). Ein zweiter Start übergibt an das laufende Programm.</translation>
    </message>
    <message>
        <source>The modem stack: %1. &quot;auto&quot; uses ModemManager when it answers with a modem, else the simulated modem.</source>
        <translation>Die Modem-Schnittstelle: %1. „auto“ nutzt ModemManager, wenn er mit einem Modem antwortet, sonst das simulierte Modem.</translation>
    </message>
    <message>
        <source>The simulated modem&apos;s devices, profiles and messages (JSON).</source>
        <translation>Geräte, Profile und Nachrichten des simulierten Modems (JSON).</translation>
    </message>
    <message>
        <source>Where the simulated modem keeps its message store.</source>
        <translation>Wo das simulierte Modem seinen Nachrichtenspeicher ablegt.</translation>
    </message>
    <message>
        <source>The local socket through which the simulated modem is driven.</source>
        <translation>Der lokale Socket, über den das simulierte Modem gesteuert wird.</translation>
    </message>
    <message>
        <source>Answer the test commands on the instance socket.</source>
        <translation>Die Testbefehle am Instanz-Socket beantworten.</translation>
    </message>
    <message>
        <source>Unexpected argument: %1</source>
        <translation>Unerwartetes Argument: %1</translation>
    </message>
    <message>
        <source>Unknown backend &quot;%1&quot; (known: %2).</source>
        <translation>Unbekanntes Backend „%1“ (bekannt: %2).</translation>
    </message>
    <message>
        <source>--%1 needs a value.</source>
        <translation>--%1 braucht einen Wert.</translation>
    </message>
</context>
<context>
    <name>Contacts</name>
    <message>
        <source>A contact needs a number and a name.</source>
        <translation>Ein Kontakt braucht eine Nummer und einen Namen.</translation>
    </message>
    <message>
        <source>The vCard file cannot be read: line %1: %2. No contact was imported.</source>
        <extracomment>%1 is a line number, %2 one of the vCard faults of this context.</extracomment>
        <translation>Die vCard-Datei kann nicht gelesen werden: Zeile %1: %2. Es wurde kein Kontakt importiert.</translation>
    </message>
    <message>
        <source>a quoted-printable escape is cut off</source>
        <translation>eine Quoted-Printable-Folge ist abgeschnitten</translation>
    </message>
    <message>
        <source>a quoted-printable escape is not two hexadecimal digits</source>
        <translation>eine Quoted-Printable-Folge besteht nicht aus zwei Hexadezimalziffern</translation>
    </message>
    <message>
        <source>the text is not UTF-8 (give the file&apos;s CHARSET)</source>
        <translation>der Text ist kein UTF-8 (geben Sie den CHARSET der Datei an)</translation>
    </message>
    <message>
        <source>unknown character set %1</source>
        <translation>unbekannter Zeichensatz %1</translation>
    </message>
    <message>
        <source>the text is not valid %1</source>
        <translation>der Text ist kein gültiges %1</translation>
    </message>
    <message>
        <source>expected NAME:VALUE</source>
        <translation>NAME:WERT erwartet</translation>
    </message>
    <message>
        <source>a property without a name</source>
        <translation>eine Eigenschaft ohne Namen</translation>
    </message>
    <message>
        <source>BEGIN of something else than a vCard</source>
        <translation>BEGIN von etwas anderem als einer vCard</translation>
    </message>
    <message>
        <source>a vCard begins inside another one (END:VCARD missing)</source>
        <translation>eine vCard beginnt innerhalb einer anderen (END:VCARD fehlt)</translation>
    </message>
    <message>
        <source>text outside BEGIN:VCARD ... END:VCARD</source>
        <translation>Text außerhalb von BEGIN:VCARD ... END:VCARD</translation>
    </message>
    <message>
        <source>END of something else than a vCard</source>
        <translation>END von etwas anderem als einer vCard</translation>
    </message>
    <message>
        <source>unknown vCard version %1</source>
        <translation>unbekannte vCard-Version %1</translation>
    </message>
    <message>
        <source>the vCard that begins here has no END:VCARD</source>
        <translation>der hier beginnenden vCard fehlt END:VCARD</translation>
    </message>
    <message>
        <source>the file holds no vCard</source>
        <translation>die Datei enthält keine vCard</translation>
    </message>
</context>
<context>
    <name>Database</name>
    <message>
        <source>%1: The database disk image is malformed: %2</source>
        <extracomment>%1 is the database class&apos;s name, %2 SQLite&apos;s first finding.</extracomment>
        <translation>%1: Das Datenbankabbild ist beschädigt: %2</translation>
    </message>
    <message>
        <source>The message database %1 was written by a newer version of Ombrelay (database version %2, this version knows up to %3), so it was not opened. Nothing was written to it. Start the newer version again, or move the file elsewhere to start this one with an empty database.</source>
        <translation>Die Nachrichtendatenbank %1 wurde von einer neueren Version von Ombrelay geschrieben (Datenbankversion %2, diese Version kennt bis %3) und wurde daher nicht geöffnet. Es wurde nichts hineingeschrieben. Starten Sie wieder die neuere Version, oder verschieben Sie die Datei an einen anderen Ort, um diese Version mit einer leeren Datenbank zu starten.</translation>
    </message>
    <message>
        <source>The message database %1 is damaged or not a database, so it was not opened (%2). Nothing was written to it. Move the file elsewhere to start with an empty database; the messages in it may still be recovered from it, for example with the .recover command of the sqlite3 program.</source>
        <extracomment>%1 is the file, %2 SQLite&apos;s finding.</extracomment>
        <translation>Die Nachrichtendatenbank %1 ist beschädigt oder keine Datenbank und wurde daher nicht geöffnet (%2). Es wurde nichts hineingeschrieben. Verschieben Sie die Datei an einen anderen Ort, um mit einer leeren Datenbank zu starten; die Nachrichten darin lassen sich möglicherweise noch retten, zum Beispiel mit dem Befehl .recover des Programms sqlite3.</translation>
    </message>
</context>
<context>
    <name>DeviceState</name>
    <message>
        <source>SIM PIN required</source>
        <translation>SIM-PIN erforderlich</translation>
    </message>
    <message>
        <source>SIM PUK required</source>
        <translation>SIM-PUK erforderlich</translation>
    </message>
    <message>
        <source>SIM blocked</source>
        <translation>SIM gesperrt</translation>
    </message>
    <message>
        <source>Mobile broadband switched off</source>
        <translation>Mobiles Breitband ausgeschaltet</translation>
    </message>
    <message>
        <source>Modem switched off</source>
        <translation>Modem ausgeschaltet</translation>
    </message>
    <message>
        <source>Sending the PIN</source>
        <translation>PIN wird gesendet</translation>
    </message>
    <message>
        <source>Sending the PUK</source>
        <translation>PUK wird gesendet</translation>
    </message>
    <message>
        <source>Switching the modem on</source>
        <translation>Modem wird eingeschaltet</translation>
    </message>
    <message>
        <source>The modem could not be switched on: %1</source>
        <translation>Das Modem konnte nicht eingeschaltet werden: %1</translation>
    </message>
</context>
<context>
    <name>GuiCommon</name>
    <message>
        <source>No web browser is set up to open links, so %1 could not be opened. Choose a default web browser in your desktop&apos;s settings, or open the address yourself.</source>
        <translation>Es ist kein Webbrowser zum Öffnen von Links eingerichtet, daher konnte %1 nicht geöffnet werden. Wählen Sie in den Einstellungen Ihrer Arbeitsumgebung einen Standard-Webbrowser oder öffnen Sie die Adresse selbst.</translation>
    </message>
    <message>
        <source>An unexpected error occurred. Ombrelay goes on; if it happens again, restart it.</source>
        <translation>Ein unerwarteter Fehler ist aufgetreten. Ombrelay läuft weiter; starten Sie es neu, wenn der Fehler erneut auftritt.</translation>
    </message>
</context>
<context>
    <name>MainController</name>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>The database file %1 can only be read. Received messages stay on the modem and settings are not saved until the file can be written.</source>
        <translation>Die Datenbankdatei %1 kann nur gelesen werden. Empfangene Nachrichten bleiben auf dem Modem, und Einstellungen werden nicht gespeichert, bis die Datei beschreibbar ist.</translation>
    </message>
    <message>
        <source>Shutdown Warning</source>
        <translation>Warnung vor dem Herunterfahren</translation>
    </message>
    <message>
        <source>Due to a connection failure this PC will be restarted</source>
        <translation>Wegen eines Verbindungsfehlers wird dieser PC neu gestartet</translation>
    </message>
</context>
<context>
    <name>MessageExport</name>
    <message>
        <source>The messages could not be exported to %1: %2</source>
        <translation>Die Nachrichten konnten nicht nach %1 exportiert werden: %2</translation>
    </message>
</context>
<context>
    <name>MessageNotifier</name>
    <message>
        <source>unknown sender</source>
        <translation>unbekannter Absender</translation>
    </message>
    <message>
        <source>Message from %1</source>
        <translation>Nachricht von %1</translation>
    </message>
    <message numerus="yes">
        <source>From %1 and %n more</source>
        <translation>
            <numerusform>Von %1 und %n weiteren</numerusform>
            <numerusform>Von %1 und %n weiteren</numerusform>
        </translation>
    </message>
    <message>
        <source>From %1</source>
        <translation>Von %1</translation>
    </message>
    <message numerus="yes">
        <source>%n new message(s)</source>
        <translation>
            <numerusform>%n neue Nachricht</numerusform>
            <numerusform>%n neue Nachrichten</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MessageSearch</name>
    <message>
        <source>The SQLite library in use (version %1) was built without full-text search (FTS5), which message search needs.</source>
        <translation>Die verwendete SQLite-Bibliothek (Version %1) wurde ohne Volltextsuche (FTS5) erstellt, die die Nachrichtensuche braucht.</translation>
    </message>
    <message>
        <source>The messages have no search index yet (Ombrelay builds it when it starts): %1</source>
        <extracomment>%1 says why the index could not be built.</extracomment>
        <translation>Die Nachrichten haben noch keinen Suchindex (Ombrelay legt ihn beim Start an): %1</translation>
    </message>
</context>
<context>
    <name>MessageTools</name>
    <message>
        <source>Export Messages</source>
        <translation>Nachrichten exportieren</translation>
    </message>
    <message>
        <source>CSV (*.csv);;JSON (*.json);;Text (*.txt)</source>
        <translation>CSV (*.csv);;JSON (*.json);;Text (*.txt)</translation>
    </message>
    <message>
        <source>Contact</source>
        <translation>Kontakt</translation>
    </message>
    <message>
        <source>Name for %1:</source>
        <translation>Name für %1:</translation>
    </message>
    <message>
        <source>Import Contacts</source>
        <translation>Kontakte importieren</translation>
    </message>
    <message>
        <source>vCard (*.vcf *.vcard);;All files (*)</source>
        <translation>vCard (*.vcf *.vcard);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 is too large for an address book.</source>
        <translation>%1 ist zu groß für ein Adressbuch.</translation>
    </message>
    <message numerus="yes">
        <source>%n number(s) imported.</source>
        <translation>
            <numerusform>%n Nummer importiert.</numerusform>
            <numerusform>%n Nummern importiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>Export Messages...</source>
        <translation>Nachrichten exportieren...</translation>
    </message>
    <message>
        <source>Import Contacts...</source>
        <translation>Kontakte importieren...</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TConversationModel</name>
    <message>
        <source>Me</source>
        <translation>Ich</translation>
    </message>
    <message>
        <source>Network time: %1
Stored: %2</source>
        <translation>Netzzeit: %1
Gespeichert: %2</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TConversationView</name>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TDeviceInfoPage</name>
    <message>
        <source>Network</source>
        <translation>Netz</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>Operator</source>
        <translation>Betreiber</translation>
    </message>
    <message>
        <source>Operator code</source>
        <translation>Betreibercode</translation>
    </message>
    <message>
        <source>Access technology</source>
        <translation>Zugangstechnik</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>%1% (%2 of 31)</source>
        <translation>%1 % (%2 von 31)</translation>
    </message>
    <message>
        <source>Cellular class</source>
        <translation>Mobilfunkklasse</translation>
    </message>
    <message>
        <source>Voice class</source>
        <translation>Sprachklasse</translation>
    </message>
    <message>
        <source>Data class</source>
        <translation>Datenklasse</translation>
    </message>
    <message>
        <source>Band class</source>
        <translation>Bandklasse</translation>
    </message>
    <message>
        <source>SMS</source>
        <translation>SMS</translation>
    </message>
    <message>
        <source>Control</source>
        <translation>Steuerung</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modell</translation>
    </message>
    <message>
        <source>IMEI</source>
        <translation>IMEI</translation>
    </message>
    <message>
        <source>Firmware info</source>
        <translation>Firmware-Info</translation>
    </message>
    <message>
        <source>&amp;Unlock SIM...</source>
        <translation>SIM &amp;entsperren...</translation>
    </message>
    <message>
        <source>&amp;Enable</source>
        <translation>Ein&amp;schalten</translation>
    </message>
    <message>
        <source>Switch the modem on</source>
        <translation>Das Modem einschalten</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message numerus="yes">
        <source>%1 (%n attempt(s) left)</source>
        <translation>
            <numerusform>%1 (noch %n Versuch)</numerusform>
            <numerusform>%1 (noch %n Versuche)</numerusform>
        </translation>
    </message>
    <message>
        <source>IPv4 address</source>
        <translation>IPv4-Adresse</translation>
    </message>
    <message>
        <source>IPv6 address</source>
        <translation>IPv6-Adresse</translation>
    </message>
    <message>
        <source>Connected for</source>
        <translation>Verbunden seit</translation>
    </message>
    <message>
        <source>This session</source>
        <translation>Diese Sitzung</translation>
    </message>
    <message>
        <source>%1 received, %2 sent</source>
        <translation>%1 empfangen, %2 gesendet</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TInterfaceBox</name>
    <message>
        <source>%1 (simulated)</source>
        <translation>%1 (simuliert)</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TMessageSearchBox</name>
    <message>
        <source>Search messages</source>
        <translation>Nachrichten durchsuchen</translation>
    </message>
    <message>
        <source>Search failed: %1</source>
        <translation>Suche fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>No message found</source>
        <translation>Keine Nachricht gefunden</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TMessagesPage</name>
    <message>
        <source>Inbox</source>
        <translation>Posteingang</translation>
    </message>
    <message>
        <source>Sent</source>
        <translation>Gesendet</translation>
    </message>
    <message>
        <source>Conversation</source>
        <translation>Unterhaltung</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Erneut versuchen</translation>
    </message>
    <message>
        <source>Edit and Send...</source>
        <translation>Bearbeiten und senden...</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Antworten</translation>
    </message>
    <message>
        <source>Forward...</source>
        <translation>Weiterleiten...</translation>
    </message>
    <message>
        <source>Copy text</source>
        <translation>Text kopieren</translation>
    </message>
    <message>
        <source>Copy number</source>
        <translation>Nummer kopieren</translation>
    </message>
    <message>
        <source>Mark as read</source>
        <translation>Als gelesen markieren</translation>
    </message>
    <message>
        <source>Mark as unread</source>
        <translation>Als ungelesen markieren</translation>
    </message>
    <message>
        <source>Delete...</source>
        <translation>Löschen...</translation>
    </message>
    <message>
        <source>Inbox (%1)</source>
        <translation>Posteingang (%1)</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message numerus="yes">
        <source>Delete %n message(s) from this computer? Messages on the modem are not affected.</source>
        <translation>
            <numerusform>Diese Nachricht von diesem Computer löschen? Nachrichten auf dem Modem bleiben unberührt.</numerusform>
            <numerusform>Diese %n Nachrichten von diesem Computer löschen? Nachrichten auf dem Modem bleiben unberührt.</numerusform>
        </translation>
    </message>
    <message>
        <source>Delivery report for a message not sent from here: %1, %2 at %3</source>
        <translation>Zustellbericht für eine nicht von hier gesendete Nachricht: %1, %2 am %3</translation>
    </message>
    <message>
        <source>unknown recipient</source>
        <translation>unbekannter Empfänger</translation>
    </message>
    <message>
        <source>no status</source>
        <translation>kein Status</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>und %n weiterer</numerusform>
            <numerusform>und %n weitere</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Ombrelay::TMonitorLogPage</name>
    <message>
        <source>All entries</source>
        <translation>Alle Einträge</translation>
    </message>
    <message>
        <source>Checks</source>
        <translation>Prüfungen</translation>
    </message>
    <message>
        <source>Reconnect requests</source>
        <translation>Anfragen zum Neuverbinden</translation>
    </message>
    <message>
        <source>Reconnect results</source>
        <translation>Ergebnisse des Neuverbindens</translation>
    </message>
    <message>
        <source>Restart warnings</source>
        <translation>Neustart-Warnungen</translation>
    </message>
    <message>
        <source>Suppressed warnings</source>
        <translation>Unterdrückte Warnungen</translation>
    </message>
    <message>
        <source>Restart requests</source>
        <translation>Neustart-Anfragen</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>Site</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>Method</source>
        <translation>Methode</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
    <message>
        <source>Show:</source>
        <translation>Anzeigen:</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TPinDialog</name>
    <message>
        <source>Unlock SIM</source>
        <translation>SIM entsperren</translation>
    </message>
    <message>
        <source>&amp;PUK:</source>
        <translation>&amp;PUK:</translation>
    </message>
    <message>
        <source>P&amp;IN:</source>
        <translation>P&amp;IN:</translation>
    </message>
    <message>
        <source>&amp;Confirm new PIN:</source>
        <translation>Neue PIN &amp;bestätigen:</translation>
    </message>
    <message numerus="yes">
        <source>Enter the SIM PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>Geben Sie die SIM-PIN ein. Noch %n Versuch.</numerusform>
            <numerusform>Geben Sie die SIM-PIN ein. Noch %n Versuche.</numerusform>
        </translation>
    </message>
    <message>
        <source>Enter the SIM PIN.</source>
        <translation>Geben Sie die SIM-PIN ein.</translation>
    </message>
    <message numerus="yes">
        <source>The SIM is locked by its PUK. Enter the PUK and a new PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>Die SIM ist durch ihre PUK gesperrt. Geben Sie die PUK und eine neue PIN ein. Noch %n Versuch.</numerusform>
            <numerusform>Die SIM ist durch ihre PUK gesperrt. Geben Sie die PUK und eine neue PIN ein. Noch %n Versuche.</numerusform>
        </translation>
    </message>
    <message>
        <source>The SIM is locked by its PUK. Enter the PUK and a new PIN.</source>
        <translation>Die SIM ist durch ihre PUK gesperrt. Geben Sie die PUK und eine neue PIN ein.</translation>
    </message>
    <message>
        <source>The SIM is blocked. Only its operator can unblock it.</source>
        <translation>Die SIM ist gesperrt. Nur ihr Netzbetreiber kann sie entsperren.</translation>
    </message>
    <message>
        <source>The SIM is unlocked.</source>
        <translation>Die SIM ist entsperrt.</translation>
    </message>
    <message>
        <source>New P&amp;IN:</source>
        <translation>Neue P&amp;IN:</translation>
    </message>
    <message>
        <source>A PIN is 4 to 8 digits.</source>
        <translation>Eine PIN hat 4 bis 8 Ziffern.</translation>
    </message>
    <message>
        <source>The new PIN and its confirmation differ.</source>
        <translation>Die neue PIN und ihre Bestätigung stimmen nicht überein.</translation>
    </message>
    <message>
        <source>A PUK is 8 digits.</source>
        <translation>Eine PUK hat 8 Ziffern.</translation>
    </message>
    <message>
        <source>Checking...</source>
        <translation>Wird geprüft...</translation>
    </message>
    <message numerus="yes">
        <source>Wrong PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>Falsche PIN. Noch %n Versuch.</numerusform>
            <numerusform>Falsche PIN. Noch %n Versuche.</numerusform>
        </translation>
    </message>
    <message>
        <source>Wrong PIN. The SIM now asks for its PUK.</source>
        <translation>Falsche PIN. Die SIM verlangt jetzt ihre PUK.</translation>
    </message>
    <message>
        <source>Wrong PUK. The SIM is blocked.</source>
        <translation>Falsche PUK. Die SIM ist gesperrt.</translation>
    </message>
    <message>
        <source>The SIM refused the code: %1</source>
        <translation>Die SIM hat den Code abgelehnt: %1</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TProfilesPage</name>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Compression</source>
        <translation>Komprimierung</translation>
    </message>
    <message>
        <source>APN</source>
        <translation>APN</translation>
    </message>
    <message>
        <source>Auth type</source>
        <translation>Authentifizierungsart</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Kept by %1</source>
        <translation>Verwaltet von %1</translation>
    </message>
    <message>
        <source>Ignore password</source>
        <translation>Passwort ignorieren</translation>
    </message>
    <message>
        <source>Connect mode</source>
        <translation>Verbindungsmodus</translation>
    </message>
    <message>
        <source>Home provider</source>
        <translation>Heimatnetzbetreiber</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TSignalPanel</name>
    <message>
        <source>Connection and signal strength</source>
        <translation>Verbindung und Signalstärke</translation>
    </message>
    <message>
        <source>signal %1 of 5 bars</source>
        <translation>Signal %1 von 5 Balken</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TSingleInstance</name>
    <message>
        <source>The folder %1 is not a private folder of this user.</source>
        <translation>Der Ordner %1 ist kein privater Ordner dieses Benutzers.</translation>
    </message>
    <message>
        <source>Ombrelay is already running but does not answer. Wait a moment and start it again, or end the running program first.</source>
        <translation>Ombrelay läuft bereits, antwortet aber nicht. Warten Sie einen Moment und starten Sie es erneut, oder beenden Sie zuerst das laufende Programm.</translation>
    </message>
    <message>
        <source>Cannot listen on %1: %2</source>
        <translation>Der Socket %1 kann nicht geöffnet werden: %2</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TSmsMessagesModel</name>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Number</source>
        <translation>Nummer</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Stored: %1</source>
        <translation>Gespeichert: %1</translation>
    </message>
    <message>
        <source>Network time: %1
Stored: %2</source>
        <translation>Netzzeit: %1
Gespeichert: %2</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TTrayIcon</name>
    <message>
        <source>The application will remain running in the notification area. In order to quit it choose &apos;Exit&apos; from the popup menu.</source>
        <translation>Das Programm läuft im Benachrichtigungsbereich weiter. Um es zu beenden, wählen Sie „Beenden“ im Kontextmenü.</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TUsageHistoryView</name>
    <message>
        <source>By day</source>
        <translation>Nach Tag</translation>
    </message>
    <message>
        <source>By month</source>
        <translation>Nach Monat</translation>
    </message>
    <message>
        <source>All interfaces</source>
        <translation>Alle Schnittstellen</translation>
    </message>
    <message>
        <source>KiB, MiB, GiB (1024)</source>
        <translation>KiB, MiB, GiB (1024)</translation>
    </message>
    <message>
        <source>kB, MB, GB (1000)</source>
        <translation>kB, MB, GB (1000)</translation>
    </message>
    <message>
        <source>Export CSV...</source>
        <translation>Als CSV exportieren...</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Gesamt</translation>
    </message>
    <message>
        <source>The last 31 days</source>
        <translation>Die letzten 31 Tage</translation>
    </message>
    <message>
        <source>Months</source>
        <translation>Monate</translation>
    </message>
    <message>
        <source>Choose a modem to see its data plan.</source>
        <translation>Wählen Sie ein Modem, um seinen Datentarif zu sehen.</translation>
    </message>
    <message numerus="yes">
        <source>Plan %1 from %2 to %3: used %4 (%5 %), left %6, %n day(s) left, forecast %7 at the period&apos;s end</source>
        <translation>
            <numerusform>Tarif %1 vom %2 bis %3: verbraucht %4 (%5 %), übrig %6, noch %n Tag, Prognose %7 am Ende des Zeitraums</numerusform>
            <numerusform>Tarif %1 vom %2 bis %3: verbraucht %4 (%5 %), übrig %6, noch %n Tage, Prognose %7 am Ende des Zeitraums</numerusform>
        </translation>
    </message>
    <message>
        <source>Export usage history</source>
        <translation>Nutzungsverlauf exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-Dateien (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>The history could not be written to %1: %2</source>
        <translation>Der Verlauf konnte nicht in %1 geschrieben werden: %2</translation>
    </message>
    <message>
        <source>No data plan for %1 (Settings, Usage).</source>
        <translation>Kein Datentarif für %1 (Einstellungen, Nutzung).</translation>
    </message>
    <message>
        <source>Rate</source>
        <translation>Datenrate</translation>
    </message>
    <message>
        <source>now</source>
        <extracomment>The rate chart&apos;s time axis: minutes before now.</extracomment>
        <translation>jetzt</translation>
    </message>
    <message>
        <source>-%1 min</source>
        <translation>-%1 min</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TUsagePage</name>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Gesamt</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Heute</translation>
    </message>
    <message>
        <source>This month</source>
        <translation>Dieser Monat</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmAbout</name>
    <message>
        <source>About Ombrelay</source>
        <translation>Über Ombrelay</translation>
    </message>
    <message>
        <source>Web site</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>Contact us</source>
        <translation>Kontakt</translation>
    </message>
    <message>
        <source>FREEWARE</source>
        <translation>FREEWARE</translation>
    </message>
    <message>
        <source>This program is free of charge. It comes without any warranty. You may copy it and pass it on to others, provided that it is not changed.</source>
        <translation>Dieses Programm ist kostenlos. Es wird ohne jede Gewährleistung bereitgestellt. Sie dürfen es kopieren und an andere weitergeben, sofern es nicht verändert wird.</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Version %1.%2.%3 %4-bit</source>
        <translation>Version %1.%2.%3, %4 Bit</translation>
    </message>
    <message>
        <source>Copyright © Virelle. All rights reserved.</source>
        <translation>Copyright © Virelle. Alle Rechte vorbehalten.</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmCreateMessage</name>
    <message>
        <source>New Message</source>
        <translation>Neue Nachricht</translation>
    </message>
    <message>
        <source>&amp;To:</source>
        <translation>&amp;An:</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>&amp;Message:</source>
        <translation>&amp;Nachricht:</translation>
    </message>
    <message>
        <source>Characters / text messages needed</source>
        <translation>Zeichen / benötigte SMS</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Senden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Enter the phone number to send to.</source>
        <translation>Geben Sie die Telefonnummer des Empfängers ein.</translation>
    </message>
    <message>
        <source>A phone number has 1 to 15 digits.</source>
        <translation>Eine Telefonnummer hat 1 bis 15 Ziffern.</translation>
    </message>
    <message>
        <source>Write the message to send.</source>
        <translation>Schreiben Sie die zu sendende Nachricht.</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmMainView</name>
    <message>
        <source>Connecting...</source>
        <translation>Verbindung wird hergestellt...</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>Verbindung wird getrennt...</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Getrennt</translation>
    </message>
    <message>
        <source>&amp;Settings...</source>
        <translation>&amp;Einstellungen...</translation>
    </message>
    <message>
        <source>Settings of the selected profile</source>
        <translation>Einstellungen des gewählten Profils</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>&amp;Verbinden</translation>
    </message>
    <message>
        <source>Connect with the selected profile</source>
        <translation>Mit dem gewählten Profil verbinden</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>&amp;Disconnect</source>
        <translation>&amp;Trennen</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>&amp;New Message...</source>
        <translation>&amp;Neue Nachricht...</translation>
    </message>
    <message>
        <source>Write a new text message</source>
        <translation>Eine neue SMS schreiben</translation>
    </message>
    <message>
        <source>New SMS</source>
        <translation>Neue SMS</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;About Ombrelay</source>
        <translation>Ü&amp;ber Ombrelay</translation>
    </message>
    <message>
        <source>&amp;Web Site</source>
        <translation>&amp;Website</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>E&amp;xtras</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Main Toolbar</source>
        <translation>Hauptwerkzeugleiste</translation>
    </message>
    <message>
        <source>Modem</source>
        <translation>Modem</translation>
    </message>
    <message>
        <source>&amp;Device Info</source>
        <translation>&amp;Geräteinfo</translation>
    </message>
    <message>
        <source>&amp;Profiles</source>
        <translation>&amp;Profile</translation>
    </message>
    <message>
        <source>&amp;Usage</source>
        <translation>&amp;Nutzung</translation>
    </message>
    <message>
        <source>SMS &amp;Messages</source>
        <translation>&amp;SMS-Nachrichten</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>%1 öffnen</translation>
    </message>
    <message>
        <source>There is no notification area on this desktop, so Ombrelay starts with its window shown.</source>
        <translation>Diese Arbeitsumgebung hat keinen Benachrichtigungsbereich, daher startet Ombrelay mit sichtbarem Fenster.</translation>
    </message>
    <message>
        <source>No notification area</source>
        <translation>Kein Benachrichtigungsbereich</translation>
    </message>
    <message>
        <source>Monitor &amp;Log</source>
        <translation>&amp;Überwachungsprotokoll</translation>
    </message>
    <message>
        <source>&amp;Find Messages...</source>
        <translation>Nachrichten &amp;suchen...</translation>
    </message>
    <message>
        <source>Online monitor: the last check passed</source>
        <translation>Online-Überwachung: Die letzte Prüfung war erfolgreich</translation>
    </message>
    <message>
        <source>Online monitor: the last check failed: %1</source>
        <translation>Online-Überwachung: Die letzte Prüfung ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Data plan: %1 % used</source>
        <translation>Datentarif: %1 % verbraucht</translation>
    </message>
    <message>
        <source>%1 has used %2 of its %3 plan; %4 left until %5.</source>
        <translation>%1 hat %2 seines Tarifs von %3 verbraucht; %4 übrig bis %5.</translation>
    </message>
    <message>
        <source>No unread messages</source>
        <translation>Keine ungelesenen Nachrichten</translation>
    </message>
    <message numerus="yes">
        <source>%n unread message(s)</source>
        <translation>
            <numerusform>%n ungelesene Nachricht</numerusform>
            <numerusform>%n ungelesene Nachrichten</numerusform>
        </translation>
    </message>
    <message>
        <source>Signal unknown (%1)</source>
        <translation>Signal unbekannt (%1)</translation>
    </message>
    <message>
        <source>Signal %1% (%2 of 31)</source>
        <translation>Signal %1 % (%2 von 31)</translation>
    </message>
    <message>
        <source>Operator code %1</source>
        <translation>Betreibercode %1</translation>
    </message>
    <message>
        <source>No modem found</source>
        <translation>Kein Modem gefunden</translation>
    </message>
    <message>
        <source>The simulated modem has no device plugged in.</source>
        <translation>Am simulierten Modem ist kein Gerät angeschlossen.</translation>
    </message>
    <message>
        <source>Plug a modem in; it is shown as soon as the system finds it.</source>
        <translation>Schließen Sie ein Modem an; es wird angezeigt, sobald das System es findet.</translation>
    </message>
    <message>
        <source>Simulated modem</source>
        <translation>Simuliertes Modem</translation>
    </message>
    <message>
        <source>No modem stack (ModemManager) is running: the modem shown is simulated, and nothing it sends leaves this computer.</source>
        <translation>Es läuft keine Modem-Schnittstelle (ModemManager): Das angezeigte Modem ist simuliert, und nichts, was es sendet, verlässt diesen Computer.</translation>
    </message>
    <message>
        <source>%1 (simulated)</source>
        <translation>%1 (simuliert)</translation>
    </message>
    <message>
        <source>&amp;USSD...</source>
        <translation>&amp;USSD...</translation>
    </message>
    <message>
        <source>Send a USSD code such as *100# to the network</source>
        <translation>Einen USSD-Code wie *100# an das Netz senden</translation>
    </message>
    <message>
        <source>C&amp;ancel</source>
        <translation>A&amp;bbrechen</translation>
    </message>
    <message>
        <source>Give up the connect under way</source>
        <translation>Den laufenden Verbindungsaufbau abbrechen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Roaming</source>
        <translation>Roaming</translation>
    </message>
    <message>
        <source>You are roaming: the modem uses a network abroad, where data may cost much more. Connect anyway?</source>
        <translation>Sie sind im Roaming: Das Modem nutzt ein Netz im Ausland, wo Daten viel mehr kosten können. Trotzdem verbinden?</translation>
    </message>
    <message>
        <source>The connection of %1 ended.</source>
        <translation>Die Verbindung von %1 wurde beendet.</translation>
    </message>
    <message>
        <source>The connection of %1 ended: %2.</source>
        <translation>Die Verbindung von %1 wurde beendet: %2.</translation>
    </message>
    <message>
        <source>Connection dropped</source>
        <translation>Verbindung abgebrochen</translation>
    </message>
    <message>
        <source>Last from %1</source>
        <translation>Zuletzt von %1</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmSettings</name>
    <message>
        <source>Add Web Site</source>
        <translation>Website hinzufügen</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Connection &amp;Monitor</source>
        <translation>&amp;Verbindungsüberwachung</translation>
    </message>
    <message>
        <source>&amp;General</source>
        <translation>&amp;Allgemein</translation>
    </message>
    <message>
        <source>&amp;Check if the computer is online</source>
        <translation>&amp;Prüfen, ob der Computer online ist</translation>
    </message>
    <message>
        <source>&amp;Web sites</source>
        <translation>&amp;Websites</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>&amp;Hinzufügen...</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Run a check every (seconds)</source>
        <translation>Prüfung alle (Sekunden)</translation>
    </message>
    <message>
        <source>Reconnect after (failures)</source>
        <translation>Neu verbinden nach (Fehlschlägen)</translation>
    </message>
    <message>
        <source>Restart the computer after (failures)</source>
        <translation>Computer neu starten nach (Fehlschlägen)</translation>
    </message>
    <message>
        <source>Connect on &amp;startup</source>
        <translation>Beim &amp;Start verbinden</translation>
    </message>
    <message>
        <source>&amp;Remove messages from the modem once stored</source>
        <translation>Nachrichten nach dem Speichern vom Modem &amp;entfernen</translation>
    </message>
    <message>
        <source>Start Ombrelay when I &amp;log in</source>
        <translation>Ombrelay bei der &amp;Anmeldung starten</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Other programs on this computer read the modem&apos;s messages too; removing a message removes it for them as well. Messages are always kept in Ombrelay&apos;s own store.</source>
        <translation>Auch andere Programme auf diesem Computer lesen die Nachrichten des Modems; eine entfernte Nachricht ist auch für sie entfernt. In Ombrelays eigenem Speicher bleiben die Nachrichten immer erhalten.</translation>
    </message>
    <message>
        <source>This modem&apos;s messages are read by Ombrelay alone, so they are always removed once stored: a full modem store takes no new messages.</source>
        <translation>Die Nachrichten dieses Modems liest nur Ombrelay, daher werden sie nach dem Speichern immer entfernt: Ein voller Modemspeicher nimmt keine neuen Nachrichten an.</translation>
    </message>
    <message>
        <source>Do not connect while &amp;roaming</source>
        <translation>Im &amp;Roaming nicht verbinden</translation>
    </message>
    <message>
        <source>Connecting on startup and the online monitor&apos;s reconnect leave a roaming modem alone; connecting by hand asks first.</source>
        <translation>Das Verbinden beim Start und das Neuverbinden der Verbindungsüberwachung lassen ein Modem im Roaming in Ruhe; beim Verbinden von Hand wird zuerst nachgefragt.</translation>
    </message>
    <message>
        <source>S&amp;witch modems on when found</source>
        <translation>Gefundene Modems ein&amp;schalten</translation>
    </message>
    <message>
        <source>A modem found switched off (at the start, when plugged in, or once its SIM is unlocked) is switched on at once. One switched off later stays off.</source>
        <translation>Ein ausgeschaltet gefundenes Modem (beim Start, beim Anschließen oder sobald seine SIM entsperrt ist) wird sofort eingeschaltet. Eines, das später ausgeschaltet wird, bleibt aus.</translation>
    </message>
    <message>
        <source>&amp;Usage</source>
        <translation>&amp;Nutzung</translation>
    </message>
    <message>
        <source>kB, MB, GB (1000 bytes each step)</source>
        <translation>kB, MB, GB (je Stufe 1000 Bytes)</translation>
    </message>
    <message>
        <source>KiB, MiB, GiB (1024 bytes each step)</source>
        <translation>KiB, MiB, GiB (je Stufe 1024 Bytes)</translation>
    </message>
    <message>
        <source>Data plan</source>
        <translation>Datentarif</translation>
    </message>
    <message>
        <source>no plan</source>
        <translation>kein Tarif</translation>
    </message>
    <message>
        <source>Percentages of the limit, separated by commas; each is announced once per period.</source>
        <translation>Prozentsätze des Limits, durch Kommas getrennt; jeder wird einmal pro Zeitraum gemeldet.</translation>
    </message>
    <message>
        <source>&amp;Modem</source>
        <translation>&amp;Modem</translation>
    </message>
    <message>
        <source>Monthly &amp;limit</source>
        <translation>Monatliches &amp;Limit</translation>
    </message>
    <message>
        <source>Billing period starts on &amp;day</source>
        <translation>Abrechnungszeitraum beginnt am &amp;Tag</translation>
    </message>
    <message>
        <source>&amp;Alerts at percent</source>
        <translation>&amp;Warnungen bei Prozent</translation>
    </message>
    <message>
        <source>&amp;Byte units</source>
        <translation>&amp;Byte-Einheiten</translation>
    </message>
    <message>
        <source> MB</source>
        <translation> MB</translation>
    </message>
    <message>
        <source> MiB</source>
        <translation> MiB</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmTimedMessage</name>
    <message>
        <source>Suppress for %1 minutes</source>
        <translation>Für %1 Minuten unterdrücken</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK (%1)</source>
        <translation>OK (%1)</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmUssd</name>
    <message>
        <source>USSD: %1</source>
        <translation>USSD: %1</translation>
    </message>
    <message>
        <source>&amp;Code:</source>
        <translation>&amp;Code:</translation>
    </message>
    <message>
        <source>USSD code</source>
        <translation>USSD-Code</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Senden</translation>
    </message>
    <message>
        <source>&amp;Answer of the network:</source>
        <translation>&amp;Antwort des Netzes:</translation>
    </message>
    <message>
        <source>Answer of the network</source>
        <translation>Antwort des Netzes</translation>
    </message>
    <message>
        <source>&amp;Reply:</source>
        <translation>A&amp;ntwort:</translation>
    </message>
    <message>
        <source>Reply to the network</source>
        <translation>Antwort an das Netz</translation>
    </message>
    <message>
        <source>Re&amp;ply</source>
        <translation>Ant&amp;worten</translation>
    </message>
    <message>
        <source>Cancel S&amp;ession</source>
        <translation>Sitzung a&amp;bbrechen</translation>
    </message>
    <message>
        <source>The network waits for your reply.</source>
        <translation>Das Netz wartet auf Ihre Antwort.</translation>
    </message>
    <message>
        <source>Session ended.</source>
        <translation>Sitzung beendet.</translation>
    </message>
    <message>
        <source>Waiting for the network...</source>
        <translation>Warten auf das Netz...</translation>
    </message>
    <message>
        <source>Session cancelled.</source>
        <translation>Sitzung abgebrochen.</translation>
    </message>
</context>
<context>
    <name>Options</name>
    <message>
        <source>The setting %1 holds %2, which is not a count of 0 to %3; %4 is used instead.</source>
        <translation>Die Einstellung %1 enthält %2, keine Anzahl von 0 bis %3; stattdessen wird %4 verwendet.</translation>
    </message>
    <message>
        <source>The settings have not been loaded in this run; saving them now would overwrite the stored settings, so nothing was saved.</source>
        <translation>Die Einstellungen wurden in diesem Lauf nicht geladen; sie jetzt zu speichern würde die gespeicherten Einstellungen überschreiben, daher wurde nichts gespeichert.</translation>
    </message>
</context>
<context>
    <name>Registration</name>
    <message>
        <source>Home</source>
        <translation>Heimatnetz</translation>
    </message>
    <message>
        <source>Roaming</source>
        <translation>Roaming</translation>
    </message>
    <message>
        <source>Searching for a network</source>
        <translation>Suche nach einem Netz</translation>
    </message>
    <message>
        <source>Registration denied</source>
        <translation>Registrierung abgelehnt</translation>
    </message>
    <message>
        <source>Not registered</source>
        <translation>Nicht registriert</translation>
    </message>
</context>
<context>
    <name>SmsStore</name>
    <message>
        <source>(incomplete: %1 of %2 parts)</source>
        <translation>(unvollständig: %1 von %2 Teilen)</translation>
    </message>
    <message>
        <source>Delivery report</source>
        <translation>Zustellbericht</translation>
    </message>
    <message>
        <source>Message that is not text (data coding scheme %1): %2</source>
        <translation>Nachricht, die kein Text ist (Datenkodierung %1): %2</translation>
    </message>
    <message>
        <source>Message that could not be read. %1</source>
        <translation>Nachricht, die nicht gelesen werden konnte. %1</translation>
    </message>
    <message>
        <source>the modem did not send it</source>
        <translation>das Modem hat sie nicht gesendet</translation>
    </message>
    <message>
        <source>failed (%1), sent again</source>
        <translation>fehlgeschlagen (%1), erneut gesendet</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>sending</source>
        <translation>wird gesendet</translation>
    </message>
    <message>
        <source>delivered</source>
        <translation>zugestellt</translation>
    </message>
    <message>
        <source>delivered %1</source>
        <translation>zugestellt am %1</translation>
    </message>
    <message>
        <source>delivered %1 of %2, %3</source>
        <translation>%1 von %2 zugestellt, %3</translation>
    </message>
    <message>
        <source>sent, %1</source>
        <translation>gesendet, %1</translation>
    </message>
    <message>
        <source>delivered %1 of %2</source>
        <translation>%1 von %2 zugestellt</translation>
    </message>
    <message>
        <source>sent</source>
        <translation>gesendet</translation>
    </message>
</context>
<context>
    <name>SmsTransport</name>
    <message>
        <source>Messages on the modem %1 could not be read, so they stay on the modem: %2</source>
        <translation>Nachrichten auf dem Modem %1 konnten nicht gelesen werden und bleiben daher auf dem Modem: %2</translation>
    </message>
    <message>
        <source>The message database %1 was moved or deleted while Ombrelay runs; messages stay on the modem until Ombrelay is restarted.</source>
        <translation>Die Nachrichtendatenbank %1 wurde verschoben oder gelöscht, während Ombrelay lief; Nachrichten bleiben auf dem Modem, bis Ombrelay neu gestartet wird.</translation>
    </message>
    <message>
        <source>Received messages cannot be stored; they stay on the device %1 until they can be.
%2</source>
        <translation>Empfangene Nachrichten können nicht gespeichert werden; sie bleiben auf dem Gerät %1, bis das wieder möglich ist.
%2</translation>
    </message>
    <message>
        <source>Messages stored in Ombrelay could not be removed from the modem %1: %2.
They are safe in Ombrelay; the modem&apos;s memory may fill up and then take no new messages. Close other programs that use the modem&apos;s messages; Ombrelay tries again at every poll.</source>
        <translation>In Ombrelay gespeicherte Nachrichten konnten nicht vom Modem %1 entfernt werden: %2.
Sie sind in Ombrelay sicher; der Speicher des Modems kann sich füllen und dann keine neuen Nachrichten mehr annehmen. Schließen Sie andere Programme, die die Nachrichten des Modems verwenden; Ombrelay versucht es bei jeder Abfrage erneut.</translation>
    </message>
    <message>
        <source>The message was not sent through %1: it could not be recorded in the outbox. Nothing left the device.
%2</source>
        <translation>Die Nachricht wurde nicht über %1 gesendet: Sie konnte nicht im Postausgang erfasst werden. Nichts hat das Gerät verlassen.
%2</translation>
    </message>
    <message>
        <source>
The outbox could not be updated: %1</source>
        <translation>
Der Postausgang konnte nicht aktualisiert werden: %1</translation>
    </message>
    <message>
        <source>The message was not sent through %1: %2%3</source>
        <translation>Die Nachricht wurde nicht über %1 gesendet: %2%3</translation>
    </message>
    <message>
        <source>The message was sent through %1 only in part: %2 of its %3 parts left the device, the next was refused: %4. The parts not sent are marked failed in the outbox.%5</source>
        <translation>Die Nachricht wurde über %1 nur teilweise gesendet: %2 ihrer %3 Teile haben das Gerät verlassen, der nächste wurde abgelehnt: %4. Die nicht gesendeten Teile sind im Postausgang als fehlgeschlagen markiert.%5</translation>
    </message>
    <message>
        <source>Sending a message through %1 failed: %2%3</source>
        <translation>Das Senden einer Nachricht über %1 ist fehlgeschlagen: %2%3</translation>
    </message>
</context>
<context>
    <name>Usage</name>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
</context>
</TS>
