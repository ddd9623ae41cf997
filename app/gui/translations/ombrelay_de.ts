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
    <name>Ombrelay::TTrayIcon</name>
    <message>
        <source>The application will remain running in the notification area. In order to quit it choose &apos;Exit&apos; from the popup menu.</source>
        <translation>Das Programm läuft im Benachrichtigungsbereich weiter. Um es zu beenden, wählen Sie „Beenden“ im Kontextmenü.</translation>
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
</context>
<context>
    <name>Ombrelay::TfmTimedMessage</name>
    <message>
        <source>Suppress for %1 minutes</source>
        <translation>Für %1 Minuten unterdrücken</translation>
    </message>
</context>
</TS>
