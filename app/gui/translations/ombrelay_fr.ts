<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Autostart</name>
    <message>
        <source>Ombrelay could not stop starting at login: %1 could not be removed.</source>
        <translation>Impossible d&apos;empêcher le démarrage d&apos;Ombrelay à l&apos;ouverture de session : %1 n&apos;a pas pu être supprimé.</translation>
    </message>
    <message>
        <source>Ombrelay could not be set to start at login: the folder of %1 could not be created.</source>
        <translation>Impossible de configurer le démarrage d&apos;Ombrelay à l&apos;ouverture de session : le dossier de %1 n&apos;a pas pu être créé.</translation>
    </message>
    <message>
        <source>Ombrelay could not be set to start at login: %1 could not be written (%2).</source>
        <translation>Impossible de configurer le démarrage d&apos;Ombrelay à l&apos;ouverture de session : %1 n&apos;a pas pu être écrit (%2).</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Cellular modem connections, text messages and data usage in the notification area.</source>
        <translation>Connexions par modem cellulaire, SMS et consommation de données dans la zone de notification.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Afficher cette aide et quitter.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Afficher la version et quitter.</translation>
    </message>
    <message>
        <source>Start in the notification area without showing the window (also written -hide or /hide). A second start hands over to the running program.</source>
        <translation>Démarrer dans la zone de notification sans afficher la fenêtre (aussi -hide ou /hide). Un second lancement passe la main au programme en cours.</translation>
    </message>
    <message>
        <source>The modem stack: %1. &quot;auto&quot; uses ModemManager when it answers with a modem, else the simulated modem.</source>
        <translation>La pile modem : %1. « auto » utilise ModemManager s&apos;il répond avec un modem, sinon le modem simulé.</translation>
    </message>
    <message>
        <source>The simulated modem&apos;s devices, profiles and messages (JSON).</source>
        <translation>Appareils, profils et messages du modem simulé (JSON).</translation>
    </message>
    <message>
        <source>Where the simulated modem keeps its message store.</source>
        <translation>Emplacement de la mémoire de messages du modem simulé.</translation>
    </message>
    <message>
        <source>The local socket through which the simulated modem is driven.</source>
        <translation>Le socket local par lequel le modem simulé est piloté.</translation>
    </message>
    <message>
        <source>Answer the test commands on the instance socket.</source>
        <translation>Répondre aux commandes de test sur le socket d&apos;instance.</translation>
    </message>
    <message>
        <source>Unexpected argument: %1</source>
        <translation>Argument inattendu : %1</translation>
    </message>
    <message>
        <source>Unknown backend &quot;%1&quot; (known: %2).</source>
        <translation>Backend « %1 » inconnu (connus : %2).</translation>
    </message>
    <message>
        <source>--%1 needs a value.</source>
        <translation>--%1 nécessite une valeur.</translation>
    </message>
</context>
<context>
    <name>Contacts</name>
    <message>
        <source>A contact needs a number and a name.</source>
        <translation>Un contact doit avoir un numéro et un nom.</translation>
    </message>
    <message>
        <source>The vCard file cannot be read: line %1: %2. No contact was imported.</source>
        <extracomment>%1 is a line number, %2 one of the vCard faults of this context.</extracomment>
        <translation>Le fichier vCard ne peut pas être lu : ligne %1 : %2. Aucun contact n’a été importé.</translation>
    </message>
    <message>
        <source>a quoted-printable escape is cut off</source>
        <translation>une séquence quoted-printable est tronquée</translation>
    </message>
    <message>
        <source>a quoted-printable escape is not two hexadecimal digits</source>
        <translation>une séquence quoted-printable n’est pas formée de deux chiffres hexadécimaux</translation>
    </message>
    <message>
        <source>the text is not UTF-8 (give the file&apos;s CHARSET)</source>
        <translation>le texte n’est pas en UTF-8 (indiquez le CHARSET du fichier)</translation>
    </message>
    <message>
        <source>unknown character set %1</source>
        <translation>jeu de caractères inconnu %1</translation>
    </message>
    <message>
        <source>the text is not valid %1</source>
        <translation>le texte n’est pas du %1 valide</translation>
    </message>
    <message>
        <source>expected NAME:VALUE</source>
        <translation>NOM:VALEUR attendu</translation>
    </message>
    <message>
        <source>a property without a name</source>
        <translation>une propriété sans nom</translation>
    </message>
    <message>
        <source>BEGIN of something else than a vCard</source>
        <translation>BEGIN d’autre chose qu’une vCard</translation>
    </message>
    <message>
        <source>a vCard begins inside another one (END:VCARD missing)</source>
        <translation>une vCard commence à l’intérieur d’une autre (END:VCARD manquant)</translation>
    </message>
    <message>
        <source>text outside BEGIN:VCARD ... END:VCARD</source>
        <translation>texte en dehors de BEGIN:VCARD ... END:VCARD</translation>
    </message>
    <message>
        <source>END of something else than a vCard</source>
        <translation>END d’autre chose qu’une vCard</translation>
    </message>
    <message>
        <source>unknown vCard version %1</source>
        <translation>version de vCard inconnue %1</translation>
    </message>
    <message>
        <source>the vCard that begins here has no END:VCARD</source>
        <translation>la vCard qui commence ici n’a pas de END:VCARD</translation>
    </message>
    <message>
        <source>the file holds no vCard</source>
        <translation>le fichier ne contient aucune vCard</translation>
    </message>
</context>
<context>
    <name>Database</name>
    <message>
        <source>%1: The database disk image is malformed: %2</source>
        <extracomment>%1 is the database class&apos;s name, %2 SQLite&apos;s first finding.</extracomment>
        <translation>%1 : L’image disque de la base de données est endommagée : %2</translation>
    </message>
    <message>
        <source>The message database %1 was written by a newer version of Ombrelay (database version %2, this version knows up to %3), so it was not opened. Nothing was written to it. Start the newer version again, or move the file elsewhere to start this one with an empty database.</source>
        <translation>La base de messages %1 a été écrite par une version plus récente d’Ombrelay (version de base %2, cette version connaît jusqu’à %3) ; elle n’a donc pas été ouverte. Rien n’y a été écrit. Relancez la version plus récente, ou déplacez le fichier ailleurs pour démarrer celle-ci avec une base vide.</translation>
    </message>
    <message>
        <source>The message database %1 is damaged or not a database, so it was not opened (%2). Nothing was written to it. Move the file elsewhere to start with an empty database; the messages in it may still be recovered from it, for example with the .recover command of the sqlite3 program.</source>
        <extracomment>%1 is the file, %2 SQLite&apos;s finding.</extracomment>
        <translation>La base de messages %1 est endommagée ou n’est pas une base de données ; elle n’a donc pas été ouverte (%2). Rien n’y a été écrit. Déplacez le fichier ailleurs pour démarrer avec une base vide ; ses messages peuvent encore être récupérés, par exemple avec la commande .recover du programme sqlite3.</translation>
    </message>
</context>
<context>
    <name>DeviceState</name>
    <message>
        <source>SIM PIN required</source>
        <translation>Code PIN de la SIM requis</translation>
    </message>
    <message>
        <source>SIM PUK required</source>
        <translation>Code PUK de la SIM requis</translation>
    </message>
    <message>
        <source>SIM blocked</source>
        <translation>SIM bloquée</translation>
    </message>
    <message>
        <source>Mobile broadband switched off</source>
        <translation>Haut débit mobile désactivé</translation>
    </message>
    <message>
        <source>Modem switched off</source>
        <translation>Modem éteint</translation>
    </message>
    <message>
        <source>Sending the PIN</source>
        <translation>Envoi du code PIN</translation>
    </message>
    <message>
        <source>Sending the PUK</source>
        <translation>Envoi du code PUK</translation>
    </message>
    <message>
        <source>Switching the modem on</source>
        <translation>Mise en marche du modem</translation>
    </message>
    <message>
        <source>The modem could not be switched on: %1</source>
        <translation>Le modem n&apos;a pas pu être mis en marche : %1</translation>
    </message>
</context>
<context>
    <name>GuiCommon</name>
    <message>
        <source>No web browser is set up to open links, so %1 could not be opened. Choose a default web browser in your desktop&apos;s settings, or open the address yourself.</source>
        <translation>Aucun navigateur web n&apos;est configuré pour ouvrir les liens, %1 n&apos;a donc pas pu être ouvert. Choisissez un navigateur web par défaut dans les paramètres de votre bureau ou ouvrez l&apos;adresse vous-même.</translation>
    </message>
    <message>
        <source>An unexpected error occurred. Ombrelay goes on; if it happens again, restart it.</source>
        <translation>Une erreur inattendue s&apos;est produite. Ombrelay continue de fonctionner ; si elle se reproduit, redémarrez-le.</translation>
    </message>
</context>
<context>
    <name>MainController</name>
    <message>
        <source>Unknown error</source>
        <translation>Erreur inconnue</translation>
    </message>
    <message>
        <source>The database file %1 can only be read. Received messages stay on the modem and settings are not saved until the file can be written.</source>
        <translation>Le fichier de base de données %1 est en lecture seule. Les messages reçus restent sur le modem et les paramètres ne sont pas enregistrés tant que le fichier ne peut pas être écrit.</translation>
    </message>
    <message>
        <source>Shutdown Warning</source>
        <translation>Avertissement d&apos;arrêt</translation>
    </message>
    <message>
        <source>Due to a connection failure this PC will be restarted</source>
        <translation>En raison d&apos;un échec de connexion, ce PC va être redémarré</translation>
    </message>
</context>
<context>
    <name>MessageExport</name>
    <message>
        <source>The messages could not be exported to %1: %2</source>
        <translation>Les messages n&apos;ont pas pu être exportés vers %1 : %2</translation>
    </message>
</context>
<context>
    <name>MessageNotifier</name>
    <message>
        <source>unknown sender</source>
        <translation>expéditeur inconnu</translation>
    </message>
    <message>
        <source>Message from %1</source>
        <translation>Message de %1</translation>
    </message>
    <message numerus="yes">
        <source>From %1 and %n more</source>
        <translation>
            <numerusform>De %1 et %n autre</numerusform>
            <numerusform>De %1 et %n autres</numerusform>
        </translation>
    </message>
    <message>
        <source>From %1</source>
        <translation>De %1</translation>
    </message>
    <message numerus="yes">
        <source>%n new message(s)</source>
        <translation>
            <numerusform>%n nouveau message</numerusform>
            <numerusform>%n nouveaux messages</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MessageSearch</name>
    <message>
        <source>The SQLite library in use (version %1) was built without full-text search (FTS5), which message search needs.</source>
        <translation>La bibliothèque SQLite utilisée (version %1) a été compilée sans recherche plein texte (FTS5), dont la recherche de messages a besoin.</translation>
    </message>
    <message>
        <source>The messages have no search index yet (Ombrelay builds it when it starts): %1</source>
        <extracomment>%1 says why the index could not be built.</extracomment>
        <translation>Les messages n’ont pas encore d’index de recherche (Ombrelay le crée au démarrage) : %1</translation>
    </message>
</context>
<context>
    <name>MessageTools</name>
    <message>
        <source>Export Messages</source>
        <translation>Exporter les messages</translation>
    </message>
    <message>
        <source>CSV (*.csv);;JSON (*.json);;Text (*.txt)</source>
        <translation>CSV (*.csv);;JSON (*.json);;Texte (*.txt)</translation>
    </message>
    <message>
        <source>Contact</source>
        <translation>Contact</translation>
    </message>
    <message>
        <source>Name for %1:</source>
        <translation>Nom pour %1 :</translation>
    </message>
    <message>
        <source>Import Contacts</source>
        <translation>Importer des contacts</translation>
    </message>
    <message>
        <source>vCard (*.vcf *.vcard);;All files (*)</source>
        <translation>vCard (*.vcf *.vcard);;Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>Impossible de lire %1 : %2</translation>
    </message>
    <message>
        <source>%1 is too large for an address book.</source>
        <translation>%1 est trop volumineux pour un carnet d&apos;adresses.</translation>
    </message>
    <message numerus="yes">
        <source>%n number(s) imported.</source>
        <translation>
            <numerusform>%n numéro importé.</numerusform>
            <numerusform>%n numéros importés.</numerusform>
        </translation>
    </message>
    <message>
        <source>Export Messages...</source>
        <translation>Exporter les messages...</translation>
    </message>
    <message>
        <source>Import Contacts...</source>
        <translation>Importer des contacts...</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TConversationModel</name>
    <message>
        <source>Me</source>
        <translation>Moi</translation>
    </message>
    <message>
        <source>Network time: %1
Stored: %2</source>
        <translation>Heure du réseau : %1
Enregistré : %2</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TConversationView</name>
    <message>
        <source>Send</source>
        <translation>Envoyer</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TDeviceInfoPage</name>
    <message>
        <source>Network</source>
        <translation>Réseau</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Inconnu</translation>
    </message>
    <message>
        <source>Operator</source>
        <translation>Opérateur</translation>
    </message>
    <message>
        <source>Operator code</source>
        <translation>Code opérateur</translation>
    </message>
    <message>
        <source>Access technology</source>
        <translation>Technologie d&apos;accès</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>%1% (%2 of 31)</source>
        <translation>%1 % (%2 sur 31)</translation>
    </message>
    <message>
        <source>Cellular class</source>
        <translation>Classe cellulaire</translation>
    </message>
    <message>
        <source>Voice class</source>
        <translation>Classe voix</translation>
    </message>
    <message>
        <source>Data class</source>
        <translation>Classe de données</translation>
    </message>
    <message>
        <source>Band class</source>
        <translation>Classe de bande</translation>
    </message>
    <message>
        <source>SMS</source>
        <translation>SMS</translation>
    </message>
    <message>
        <source>Control</source>
        <translation>Contrôle</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modèle</translation>
    </message>
    <message>
        <source>IMEI</source>
        <translation>IMEI</translation>
    </message>
    <message>
        <source>Firmware info</source>
        <translation>Infos micrologiciel</translation>
    </message>
    <message>
        <source>&amp;Unlock SIM...</source>
        <translation>&amp;Déverrouiller la SIM...</translation>
    </message>
    <message>
        <source>&amp;Enable</source>
        <translation>&amp;Allumer</translation>
    </message>
    <message>
        <source>Switch the modem on</source>
        <translation>Mettre le modem en marche</translation>
    </message>
    <message>
        <source>State</source>
        <translation>État</translation>
    </message>
    <message numerus="yes">
        <source>%1 (%n attempt(s) left)</source>
        <translation>
            <numerusform>%1 (%n essai restant)</numerusform>
            <numerusform>%1 (%n essais restants)</numerusform>
        </translation>
    </message>
    <message>
        <source>IPv4 address</source>
        <translation>Adresse IPv4</translation>
    </message>
    <message>
        <source>IPv6 address</source>
        <translation>Adresse IPv6</translation>
    </message>
    <message>
        <source>Connected for</source>
        <translation>Connecté depuis</translation>
    </message>
    <message>
        <source>This session</source>
        <translation>Cette session</translation>
    </message>
    <message>
        <source>%1 received, %2 sent</source>
        <translation>%1 reçus, %2 envoyés</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TInterfaceBox</name>
    <message>
        <source>%1 (simulated)</source>
        <translation>%1 (simulé)</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TMessageSearchBox</name>
    <message>
        <source>Search messages</source>
        <translation>Rechercher dans les messages</translation>
    </message>
    <message>
        <source>Search failed: %1</source>
        <translation>Échec de la recherche : %1</translation>
    </message>
    <message>
        <source>No message found</source>
        <translation>Aucun message trouvé</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TMessagesPage</name>
    <message>
        <source>Inbox</source>
        <translation>Boîte de réception</translation>
    </message>
    <message>
        <source>Sent</source>
        <translation>Envoyés</translation>
    </message>
    <message>
        <source>Conversation</source>
        <translation>Conversation</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Réessayer</translation>
    </message>
    <message>
        <source>Edit and Send...</source>
        <translation>Modifier et envoyer...</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Répondre</translation>
    </message>
    <message>
        <source>Forward...</source>
        <translation>Transférer...</translation>
    </message>
    <message>
        <source>Copy text</source>
        <translation>Copier le texte</translation>
    </message>
    <message>
        <source>Copy number</source>
        <translation>Copier le numéro</translation>
    </message>
    <message>
        <source>Mark as read</source>
        <translation>Marquer comme lu</translation>
    </message>
    <message>
        <source>Mark as unread</source>
        <translation>Marquer comme non lu</translation>
    </message>
    <message>
        <source>Delete...</source>
        <translation>Supprimer...</translation>
    </message>
    <message>
        <source>Inbox (%1)</source>
        <translation>Boîte de réception (%1)</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
    <message numerus="yes">
        <source>Delete %n message(s) from this computer? Messages on the modem are not affected.</source>
        <translation>
            <numerusform>Supprimer ce message de cet ordinateur ? Les messages du modem ne sont pas touchés.</numerusform>
            <numerusform>Supprimer ces %n messages de cet ordinateur ? Les messages du modem ne sont pas touchés.</numerusform>
        </translation>
    </message>
    <message>
        <source>Delivery report for a message not sent from here: %1, %2 at %3</source>
        <translation>Accusé de réception d&apos;un message non envoyé d&apos;ici : %1, %2 le %3</translation>
    </message>
    <message>
        <source>unknown recipient</source>
        <translation>destinataire inconnu</translation>
    </message>
    <message>
        <source>no status</source>
        <translation>aucun état</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>et %n autre</numerusform>
            <numerusform>et %n autres</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Ombrelay::TMonitorLogPage</name>
    <message>
        <source>All entries</source>
        <translation>Toutes les entrées</translation>
    </message>
    <message>
        <source>Checks</source>
        <translation>Vérifications</translation>
    </message>
    <message>
        <source>Reconnect requests</source>
        <translation>Demandes de reconnexion</translation>
    </message>
    <message>
        <source>Reconnect results</source>
        <translation>Résultats de reconnexion</translation>
    </message>
    <message>
        <source>Restart warnings</source>
        <translation>Avertissements de redémarrage</translation>
    </message>
    <message>
        <source>Suppressed warnings</source>
        <translation>Avertissements désactivés</translation>
    </message>
    <message>
        <source>Restart requests</source>
        <translation>Demandes de redémarrage</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Heure</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>Site</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>Method</source>
        <translation>Méthode</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Résultat</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Raison</translation>
    </message>
    <message>
        <source>Show:</source>
        <translation>Afficher :</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TPinDialog</name>
    <message>
        <source>Unlock SIM</source>
        <translation>Déverrouiller la SIM</translation>
    </message>
    <message>
        <source>&amp;PUK:</source>
        <translation>&amp;PUK :</translation>
    </message>
    <message>
        <source>P&amp;IN:</source>
        <translation>P&amp;IN :</translation>
    </message>
    <message>
        <source>&amp;Confirm new PIN:</source>
        <translation>&amp;Confirmer le nouveau PIN :</translation>
    </message>
    <message numerus="yes">
        <source>Enter the SIM PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>Saisissez le code PIN de la SIM. %n essai restant.</numerusform>
            <numerusform>Saisissez le code PIN de la SIM. %n essais restants.</numerusform>
        </translation>
    </message>
    <message>
        <source>Enter the SIM PIN.</source>
        <translation>Saisissez le code PIN de la SIM.</translation>
    </message>
    <message numerus="yes">
        <source>The SIM is locked by its PUK. Enter the PUK and a new PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>La SIM est verrouillée par son code PUK. Saisissez le PUK et un nouveau code PIN. %n essai restant.</numerusform>
            <numerusform>La SIM est verrouillée par son code PUK. Saisissez le PUK et un nouveau code PIN. %n essais restants.</numerusform>
        </translation>
    </message>
    <message>
        <source>The SIM is locked by its PUK. Enter the PUK and a new PIN.</source>
        <translation>La SIM est verrouillée par son code PUK. Saisissez le PUK et un nouveau code PIN.</translation>
    </message>
    <message>
        <source>The SIM is blocked. Only its operator can unblock it.</source>
        <translation>La SIM est bloquée. Seul son opérateur peut la débloquer.</translation>
    </message>
    <message>
        <source>The SIM is unlocked.</source>
        <translation>La SIM est déverrouillée.</translation>
    </message>
    <message>
        <source>New P&amp;IN:</source>
        <translation>Nouveau P&amp;IN :</translation>
    </message>
    <message>
        <source>A PIN is 4 to 8 digits.</source>
        <translation>Un code PIN compte 4 à 8 chiffres.</translation>
    </message>
    <message>
        <source>The new PIN and its confirmation differ.</source>
        <translation>Le nouveau code PIN et sa confirmation diffèrent.</translation>
    </message>
    <message>
        <source>A PUK is 8 digits.</source>
        <translation>Un code PUK compte 8 chiffres.</translation>
    </message>
    <message>
        <source>Checking...</source>
        <translation>Vérification...</translation>
    </message>
    <message numerus="yes">
        <source>Wrong PIN. %n attempt(s) left.</source>
        <translation>
            <numerusform>Code PIN erroné. %n essai restant.</numerusform>
            <numerusform>Code PIN erroné. %n essais restants.</numerusform>
        </translation>
    </message>
    <message>
        <source>Wrong PIN. The SIM now asks for its PUK.</source>
        <translation>Code PIN erroné. La SIM demande maintenant son code PUK.</translation>
    </message>
    <message>
        <source>Wrong PUK. The SIM is blocked.</source>
        <translation>Code PUK erroné. La SIM est bloquée.</translation>
    </message>
    <message>
        <source>The SIM refused the code: %1</source>
        <translation>La SIM a refusé le code : %1</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TProfilesPage</name>
    <message>
        <source>Yes</source>
        <translation>Oui</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Non</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Par défaut</translation>
    </message>
    <message>
        <source>Compression</source>
        <translation>Compression</translation>
    </message>
    <message>
        <source>APN</source>
        <translation>APN</translation>
    </message>
    <message>
        <source>Auth type</source>
        <translation>Type d&apos;authentification</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Nom d&apos;utilisateur</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>Kept by %1</source>
        <translation>Conservé par %1</translation>
    </message>
    <message>
        <source>Ignore password</source>
        <translation>Ignorer le mot de passe</translation>
    </message>
    <message>
        <source>Connect mode</source>
        <translation>Mode de connexion</translation>
    </message>
    <message>
        <source>Home provider</source>
        <translation>Opérateur d&apos;origine</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TSignalPanel</name>
    <message>
        <source>Connection and signal strength</source>
        <translation>Connexion et force du signal</translation>
    </message>
    <message>
        <source>signal %1 of 5 bars</source>
        <translation>signal : %1 barres sur 5</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TSingleInstance</name>
    <message>
        <source>The folder %1 is not a private folder of this user.</source>
        <translation>Le dossier %1 n&apos;est pas un dossier privé de cet utilisateur.</translation>
    </message>
    <message>
        <source>Ombrelay is already running but does not answer. Wait a moment and start it again, or end the running program first.</source>
        <translation>Ombrelay est déjà en cours d&apos;exécution mais ne répond pas. Attendez un instant et relancez-le, ou fermez d&apos;abord le programme en cours.</translation>
    </message>
    <message>
        <source>Cannot listen on %1: %2</source>
        <translation>Impossible d&apos;écouter sur %1 : %2</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TSmsMessagesModel</name>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Number</source>
        <translation>Numéro</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>State</source>
        <translation>État</translation>
    </message>
    <message>
        <source>Stored: %1</source>
        <translation>Enregistré : %1</translation>
    </message>
    <message>
        <source>Network time: %1
Stored: %2</source>
        <translation>Heure du réseau : %1
Enregistré : %2</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TTrayIcon</name>
    <message>
        <source>The application will remain running in the notification area. In order to quit it choose &apos;Exit&apos; from the popup menu.</source>
        <translation>L&apos;application continue de fonctionner dans la zone de notification. Pour la quitter, choisissez « Quitter » dans le menu contextuel.</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TUsageHistoryView</name>
    <message>
        <source>By day</source>
        <translation>Par jour</translation>
    </message>
    <message>
        <source>By month</source>
        <translation>Par mois</translation>
    </message>
    <message>
        <source>All interfaces</source>
        <translation>Toutes les interfaces</translation>
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
        <translation>Exporter en CSV...</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Reçu</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Envoyé</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>The last 31 days</source>
        <translation>Les 31 derniers jours</translation>
    </message>
    <message>
        <source>Months</source>
        <translation>Mois</translation>
    </message>
    <message>
        <source>Choose a modem to see its data plan.</source>
        <translation>Choisissez un modem pour voir son forfait de données.</translation>
    </message>
    <message numerus="yes">
        <source>Plan %1 from %2 to %3: used %4 (%5 %), left %6, %n day(s) left, forecast %7 at the period&apos;s end</source>
        <translation>
            <numerusform>Forfait %1 du %2 au %3 : utilisé %4 (%5 %), reste %6, %n jour restant, prévision %7 en fin de période</numerusform>
            <numerusform>Forfait %1 du %2 au %3 : utilisé %4 (%5 %), reste %6, %n jours restants, prévision %7 en fin de période</numerusform>
        </translation>
    </message>
    <message>
        <source>Export usage history</source>
        <translation>Exporter l&apos;historique de consommation</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>Fichiers CSV (*.csv);;Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>The history could not be written to %1: %2</source>
        <translation>L&apos;historique n&apos;a pas pu être écrit dans %1 : %2</translation>
    </message>
    <message>
        <source>No data plan for %1 (Settings, Usage).</source>
        <translation>Aucun forfait de données pour %1 (Paramètres, Consommation).</translation>
    </message>
    <message>
        <source>Rate</source>
        <translation>Débit</translation>
    </message>
    <message>
        <source>now</source>
        <extracomment>The rate chart&apos;s time axis: minutes before now.</extracomment>
        <translation>maintenant</translation>
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
        <translation>Reçu</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Envoyé</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Aujourd&apos;hui</translation>
    </message>
    <message>
        <source>This month</source>
        <translation>Ce mois-ci</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmAbout</name>
    <message>
        <source>About Ombrelay</source>
        <translation>À propos d&apos;Ombrelay</translation>
    </message>
    <message>
        <source>Web site</source>
        <translation>Site web</translation>
    </message>
    <message>
        <source>Contact us</source>
        <translation>Nous contacter</translation>
    </message>
    <message>
        <source>FREEWARE</source>
        <translation>LOGICIEL GRATUIT</translation>
    </message>
    <message>
        <source>This program is free of charge. It comes without any warranty. You may copy it and pass it on to others, provided that it is not changed.</source>
        <translation>Ce programme est gratuit. Il est fourni sans aucune garantie. Vous pouvez le copier et le transmettre à d&apos;autres, à condition de ne pas le modifier.</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Version %1.%2.%3 %4-bit</source>
        <translation>Version %1.%2.%3 %4 bits</translation>
    </message>
    <message>
        <source>Copyright © Virelle. All rights reserved.</source>
        <translation>Copyright © Virelle. Tous droits réservés.</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmCreateMessage</name>
    <message>
        <source>New Message</source>
        <translation>Nouveau message</translation>
    </message>
    <message>
        <source>&amp;To:</source>
        <translation>&amp;À :</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>&amp;Message:</source>
        <translation>&amp;Message :</translation>
    </message>
    <message>
        <source>Characters / text messages needed</source>
        <translation>Caractères / SMS nécessaires</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Envoyer</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Enter the phone number to send to.</source>
        <translation>Saisissez le numéro de téléphone du destinataire.</translation>
    </message>
    <message>
        <source>A phone number has 1 to 15 digits.</source>
        <translation>Un numéro de téléphone comporte de 1 à 15 chiffres.</translation>
    </message>
    <message>
        <source>Write the message to send.</source>
        <translation>Rédigez le message à envoyer.</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmMainView</name>
    <message>
        <source>Connecting...</source>
        <translation>Connexion en cours...</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Connecté</translation>
    </message>
    <message>
        <source>Disconnecting...</source>
        <translation>Déconnexion en cours...</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Déconnecté</translation>
    </message>
    <message>
        <source>&amp;Settings...</source>
        <translation>&amp;Paramètres...</translation>
    </message>
    <message>
        <source>Settings of the selected profile</source>
        <translation>Paramètres du profil sélectionné</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Paramètres</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>&amp;Connecter</translation>
    </message>
    <message>
        <source>Connect with the selected profile</source>
        <translation>Se connecter avec le profil sélectionné</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connecter</translation>
    </message>
    <message>
        <source>&amp;Disconnect</source>
        <translation>&amp;Déconnecter</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Déconnecter</translation>
    </message>
    <message>
        <source>&amp;New Message...</source>
        <translation>&amp;Nouveau message...</translation>
    </message>
    <message>
        <source>Write a new text message</source>
        <translation>Rédiger un nouveau SMS</translation>
    </message>
    <message>
        <source>New SMS</source>
        <translation>Nouveau SMS</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>&amp;About Ombrelay</source>
        <translation>À &amp;propos d&apos;Ombrelay</translation>
    </message>
    <message>
        <source>&amp;Web Site</source>
        <translation>Site &amp;web</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Outils</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>Main Toolbar</source>
        <translation>Barre d&apos;outils principale</translation>
    </message>
    <message>
        <source>Modem</source>
        <translation>Modem</translation>
    </message>
    <message>
        <source>&amp;Device Info</source>
        <translation>Appa&amp;reil</translation>
    </message>
    <message>
        <source>&amp;Profiles</source>
        <translation>&amp;Profils</translation>
    </message>
    <message>
        <source>&amp;Usage</source>
        <translation>&amp;Consommation</translation>
    </message>
    <message>
        <source>SMS &amp;Messages</source>
        <translation>Messages &amp;SMS</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>Ouvrir %1</translation>
    </message>
    <message>
        <source>There is no notification area on this desktop, so Ombrelay starts with its window shown.</source>
        <translation>Ce bureau n&apos;a pas de zone de notification ; Ombrelay démarre donc avec sa fenêtre affichée.</translation>
    </message>
    <message>
        <source>No notification area</source>
        <translation>Pas de zone de notification</translation>
    </message>
    <message>
        <source>Monitor &amp;Log</source>
        <translation>&amp;Journal de surveillance</translation>
    </message>
    <message>
        <source>&amp;Find Messages...</source>
        <translation>&amp;Rechercher des messages...</translation>
    </message>
    <message>
        <source>Online monitor: the last check passed</source>
        <translation>Surveillance en ligne : la dernière vérification a réussi</translation>
    </message>
    <message>
        <source>Online monitor: the last check failed: %1</source>
        <translation>Surveillance en ligne : la dernière vérification a échoué : %1</translation>
    </message>
    <message>
        <source>Data plan: %1 % used</source>
        <translation>Forfait de données : %1 % utilisés</translation>
    </message>
    <message>
        <source>%1 has used %2 of its %3 plan; %4 left until %5.</source>
        <translation>%1 a utilisé %2 de son forfait de %3 ; il reste %4 jusqu&apos;au %5.</translation>
    </message>
    <message>
        <source>No unread messages</source>
        <translation>Aucun message non lu</translation>
    </message>
    <message numerus="yes">
        <source>%n unread message(s)</source>
        <translation>
            <numerusform>%n message non lu</numerusform>
            <numerusform>%n messages non lus</numerusform>
        </translation>
    </message>
    <message>
        <source>Signal unknown (%1)</source>
        <translation>Signal inconnu (%1)</translation>
    </message>
    <message>
        <source>Signal %1% (%2 of 31)</source>
        <translation>Signal %1 % (%2 sur 31)</translation>
    </message>
    <message>
        <source>Operator code %1</source>
        <translation>Code opérateur %1</translation>
    </message>
    <message>
        <source>No modem found</source>
        <translation>Aucun modem trouvé</translation>
    </message>
    <message>
        <source>The simulated modem has no device plugged in.</source>
        <translation>Aucun appareil n&apos;est branché sur le modem simulé.</translation>
    </message>
    <message>
        <source>Plug a modem in; it is shown as soon as the system finds it.</source>
        <translation>Branchez un modem ; il s&apos;affiche dès que le système le trouve.</translation>
    </message>
    <message>
        <source>Simulated modem</source>
        <translation>Modem simulé</translation>
    </message>
    <message>
        <source>No modem stack (ModemManager) is running: the modem shown is simulated, and nothing it sends leaves this computer.</source>
        <translation>Aucune pile modem (ModemManager) n&apos;est en cours d&apos;exécution : le modem affiché est simulé et rien de ce qu&apos;il envoie ne quitte cet ordinateur.</translation>
    </message>
    <message>
        <source>%1 (simulated)</source>
        <translation>%1 (simulé)</translation>
    </message>
    <message>
        <source>&amp;USSD...</source>
        <translation>&amp;USSD...</translation>
    </message>
    <message>
        <source>Send a USSD code such as *100# to the network</source>
        <translation>Envoyer un code USSD tel que *100# au réseau</translation>
    </message>
    <message>
        <source>C&amp;ancel</source>
        <translation>A&amp;nnuler</translation>
    </message>
    <message>
        <source>Give up the connect under way</source>
        <translation>Abandonner la connexion en cours</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Roaming</source>
        <translation>Itinérance</translation>
    </message>
    <message>
        <source>You are roaming: the modem uses a network abroad, where data may cost much more. Connect anyway?</source>
        <translation>Vous êtes en itinérance : le modem utilise un réseau à l&apos;étranger, où les données peuvent coûter beaucoup plus cher. Se connecter quand même ?</translation>
    </message>
    <message>
        <source>The connection of %1 ended.</source>
        <translation>La connexion de %1 a pris fin.</translation>
    </message>
    <message>
        <source>The connection of %1 ended: %2.</source>
        <translation>La connexion de %1 a pris fin : %2.</translation>
    </message>
    <message>
        <source>Connection dropped</source>
        <translation>Connexion interrompue</translation>
    </message>
    <message>
        <source>Last from %1</source>
        <translation>Dernier de %1</translation>
    </message>
</context>
<context>
    <name>Ombrelay::TfmSettings</name>
    <message>
        <source>Add Web Site</source>
        <translation>Ajouter un site web</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Paramètres</translation>
    </message>
    <message>
        <source>Connection &amp;Monitor</source>
        <translation>&amp;Surveillance de la connexion</translation>
    </message>
    <message>
        <source>&amp;General</source>
        <translation>&amp;Général</translation>
    </message>
    <message>
        <source>&amp;Check if the computer is online</source>
        <translation>&amp;Vérifier si l&apos;ordinateur est en ligne</translation>
    </message>
    <message>
        <source>&amp;Web sites</source>
        <translation>Sites &amp;web</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>&amp;Ajouter...</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>Supprime&amp;r</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Run a check every (seconds)</source>
        <translation>Vérifier toutes les (secondes)</translation>
    </message>
    <message>
        <source>Reconnect after (failures)</source>
        <translation>Se reconnecter après (échecs)</translation>
    </message>
    <message>
        <source>Restart the computer after (failures)</source>
        <translation>Redémarrer l&apos;ordinateur après (échecs)</translation>
    </message>
    <message>
        <source>Connect on &amp;startup</source>
        <translation>Se connecter au &amp;démarrage</translation>
    </message>
    <message>
        <source>&amp;Remove messages from the modem once stored</source>
        <translation>Supprimer les messages du modem une fois &amp;enregistrés</translation>
    </message>
    <message>
        <source>Start Ombrelay when I &amp;log in</source>
        <translation>Démarrer Ombrelay à l&apos;&amp;ouverture de session</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Other programs on this computer read the modem&apos;s messages too; removing a message removes it for them as well. Messages are always kept in Ombrelay&apos;s own store.</source>
        <translation>D&apos;autres programmes de cet ordinateur lisent aussi les messages du modem ; supprimer un message le supprime aussi pour eux. Les messages restent toujours conservés dans la mémoire propre d&apos;Ombrelay.</translation>
    </message>
    <message>
        <source>This modem&apos;s messages are read by Ombrelay alone, so they are always removed once stored: a full modem store takes no new messages.</source>
        <translation>Seul Ombrelay lit les messages de ce modem ; ils sont donc toujours supprimés une fois enregistrés : une mémoire de modem pleine n&apos;accepte plus de nouveaux messages.</translation>
    </message>
    <message>
        <source>Do not connect while &amp;roaming</source>
        <translation>Ne pas se connecter en &amp;itinérance</translation>
    </message>
    <message>
        <source>Connecting on startup and the online monitor&apos;s reconnect leave a roaming modem alone; connecting by hand asks first.</source>
        <translation>La connexion au démarrage et la reconnexion de la surveillance laissent un modem en itinérance tranquille ; une connexion à la main demande d&apos;abord.</translation>
    </message>
    <message>
        <source>S&amp;witch modems on when found</source>
        <translation>&amp;Allumer les modems trouvés</translation>
    </message>
    <message>
        <source>A modem found switched off (at the start, when plugged in, or once its SIM is unlocked) is switched on at once. One switched off later stays off.</source>
        <translation>Un modem trouvé éteint (au démarrage, au branchement ou dès que sa SIM est déverrouillée) est aussitôt mis en marche. Un modem éteint par la suite reste éteint.</translation>
    </message>
    <message>
        <source>&amp;Usage</source>
        <translation>&amp;Consommation</translation>
    </message>
    <message>
        <source>kB, MB, GB (1000 bytes each step)</source>
        <translation>kB, MB, GB (1000 octets par palier)</translation>
    </message>
    <message>
        <source>KiB, MiB, GiB (1024 bytes each step)</source>
        <translation>KiB, MiB, GiB (1024 octets par palier)</translation>
    </message>
    <message>
        <source>Data plan</source>
        <translation>Forfait de données</translation>
    </message>
    <message>
        <source>no plan</source>
        <translation>aucun forfait</translation>
    </message>
    <message>
        <source>Percentages of the limit, separated by commas; each is announced once per period.</source>
        <translation>Pourcentages de la limite, séparés par des virgules ; chacun est signalé une fois par période.</translation>
    </message>
    <message>
        <source>&amp;Modem</source>
        <translation>&amp;Modem</translation>
    </message>
    <message>
        <source>Monthly &amp;limit</source>
        <translation>&amp;Limite mensuelle</translation>
    </message>
    <message>
        <source>Billing period starts on &amp;day</source>
        <translation>La période de facturation commence le &amp;jour</translation>
    </message>
    <message>
        <source>&amp;Alerts at percent</source>
        <translation>&amp;Alertes aux pourcentages</translation>
    </message>
    <message>
        <source>&amp;Byte units</source>
        <translation>&amp;Unités d’octets</translation>
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
        <translation>Désactiver pendant %1 minutes</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
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
        <translation>USSD : %1</translation>
    </message>
    <message>
        <source>&amp;Code:</source>
        <translation>&amp;Code :</translation>
    </message>
    <message>
        <source>USSD code</source>
        <translation>Code USSD</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Envoyer</translation>
    </message>
    <message>
        <source>&amp;Answer of the network:</source>
        <translation>&amp;Réponse du réseau :</translation>
    </message>
    <message>
        <source>Answer of the network</source>
        <translation>Réponse du réseau</translation>
    </message>
    <message>
        <source>&amp;Reply:</source>
        <translation>Ré&amp;ponse :</translation>
    </message>
    <message>
        <source>Reply to the network</source>
        <translation>Réponse au réseau</translation>
    </message>
    <message>
        <source>Re&amp;ply</source>
        <translation>Répon&amp;dre</translation>
    </message>
    <message>
        <source>Cancel S&amp;ession</source>
        <translation>Annuler la s&amp;ession</translation>
    </message>
    <message>
        <source>The network waits for your reply.</source>
        <translation>Le réseau attend votre réponse.</translation>
    </message>
    <message>
        <source>Session ended.</source>
        <translation>Session terminée.</translation>
    </message>
    <message>
        <source>Waiting for the network...</source>
        <translation>En attente du réseau...</translation>
    </message>
    <message>
        <source>Session cancelled.</source>
        <translation>Session annulée.</translation>
    </message>
</context>
<context>
    <name>Options</name>
    <message>
        <source>The setting %1 holds %2, which is not a count of 0 to %3; %4 is used instead.</source>
        <translation>Le réglage %1 contient %2, qui n’est pas un nombre de 0 à %3 ; %4 est utilisé à la place.</translation>
    </message>
    <message>
        <source>The settings have not been loaded in this run; saving them now would overwrite the stored settings, so nothing was saved.</source>
        <translation>Les réglages n’ont pas été chargés lors de cette exécution ; les enregistrer maintenant écraserait les réglages enregistrés, donc rien n’a été enregistré.</translation>
    </message>
</context>
<context>
    <name>Registration</name>
    <message>
        <source>Home</source>
        <translation>Réseau d&apos;origine</translation>
    </message>
    <message>
        <source>Roaming</source>
        <translation>Itinérance</translation>
    </message>
    <message>
        <source>Searching for a network</source>
        <translation>Recherche d&apos;un réseau</translation>
    </message>
    <message>
        <source>Registration denied</source>
        <translation>Enregistrement refusé</translation>
    </message>
    <message>
        <source>Not registered</source>
        <translation>Non enregistré</translation>
    </message>
</context>
<context>
    <name>SmsStore</name>
    <message>
        <source>(incomplete: %1 of %2 parts)</source>
        <translation>(incomplet : %1 parties sur %2)</translation>
    </message>
    <message>
        <source>Delivery report</source>
        <translation>Accusé de réception</translation>
    </message>
    <message>
        <source>Message that is not text (data coding scheme %1): %2</source>
        <translation>Message qui n&apos;est pas du texte (schéma de codage %1) : %2</translation>
    </message>
    <message>
        <source>Message that could not be read. %1</source>
        <translation>Message illisible. %1</translation>
    </message>
    <message>
        <source>the modem did not send it</source>
        <translation>le modem ne l&apos;a pas envoyé</translation>
    </message>
    <message>
        <source>failed (%1), sent again</source>
        <translation>échec (%1), renvoyé</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>échec : %1</translation>
    </message>
    <message>
        <source>sending</source>
        <translation>envoi en cours</translation>
    </message>
    <message>
        <source>delivered</source>
        <translation>remis</translation>
    </message>
    <message>
        <source>delivered %1</source>
        <translation>remis le %1</translation>
    </message>
    <message>
        <source>delivered %1 of %2, %3</source>
        <translation>%1 sur %2 remis, %3</translation>
    </message>
    <message>
        <source>sent, %1</source>
        <translation>envoyé, %1</translation>
    </message>
    <message>
        <source>delivered %1 of %2</source>
        <translation>%1 sur %2 remis</translation>
    </message>
    <message>
        <source>sent</source>
        <translation>envoyé</translation>
    </message>
</context>
<context>
    <name>SmsTransport</name>
    <message>
        <source>Messages on the modem %1 could not be read, so they stay on the modem: %2</source>
        <translation>Des messages du modem %1 n&apos;ont pas pu être lus ; ils restent donc sur le modem : %2</translation>
    </message>
    <message>
        <source>The message database %1 was moved or deleted while Ombrelay runs; messages stay on the modem until Ombrelay is restarted.</source>
        <translation>La base de données des messages %1 a été déplacée ou supprimée pendant qu&apos;Ombrelay fonctionnait ; les messages restent sur le modem jusqu&apos;au redémarrage d&apos;Ombrelay.</translation>
    </message>
    <message>
        <source>Received messages cannot be stored; they stay on the device %1 until they can be.
%2</source>
        <translation>Les messages reçus ne peuvent pas être enregistrés ; ils restent sur l&apos;appareil %1 jusqu&apos;à ce que ce soit possible.
%2</translation>
    </message>
    <message>
        <source>Messages stored in Ombrelay could not be removed from the modem %1: %2.
They are safe in Ombrelay; the modem&apos;s memory may fill up and then take no new messages. Close other programs that use the modem&apos;s messages; Ombrelay tries again at every poll.</source>
        <translation>Des messages enregistrés dans Ombrelay n&apos;ont pas pu être supprimés du modem %1 : %2.
Ils sont en sécurité dans Ombrelay ; la mémoire du modem peut se remplir et ne plus accepter de nouveaux messages. Fermez les autres programmes qui utilisent les messages du modem ; Ombrelay réessaie à chaque interrogation.</translation>
    </message>
    <message>
        <source>The message was not sent through %1: it could not be recorded in the outbox. Nothing left the device.
%2</source>
        <translation>Le message n&apos;a pas été envoyé par %1 : il n&apos;a pas pu être enregistré dans la boîte d&apos;envoi. Rien n&apos;a quitté l&apos;appareil.
%2</translation>
    </message>
    <message>
        <source>
The outbox could not be updated: %1</source>
        <translation>
La boîte d&apos;envoi n&apos;a pas pu être mise à jour : %1</translation>
    </message>
    <message>
        <source>The message was not sent through %1: %2%3</source>
        <translation>Le message n&apos;a pas été envoyé par %1 : %2%3</translation>
    </message>
    <message>
        <source>The message was sent through %1 only in part: %2 of its %3 parts left the device, the next was refused: %4. The parts not sent are marked failed in the outbox.%5</source>
        <translation>Le message n&apos;a été envoyé que partiellement par %1 : %2 de ses %3 parties ont quitté l&apos;appareil, la suivante a été refusée : %4. Les parties non envoyées sont marquées en échec dans la boîte d&apos;envoi.%5</translation>
    </message>
    <message>
        <source>Sending a message through %1 failed: %2%3</source>
        <translation>L&apos;envoi d&apos;un message par %1 a échoué : %2%3</translation>
    </message>
</context>
<context>
    <name>Usage</name>
    <message>
        <source>%1 bytes</source>
        <translation>%1 octets</translation>
    </message>
</context>
</TS>
