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
    <name>Ombrelay::TTrayIcon</name>
    <message>
        <source>The application will remain running in the notification area. In order to quit it choose &apos;Exit&apos; from the popup menu.</source>
        <translation>L&apos;application continue de fonctionner dans la zone de notification. Pour la quitter, choisissez « Quitter » dans le menu contextuel.</translation>
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
</context>
<context>
    <name>Ombrelay::TfmTimedMessage</name>
    <message>
        <source>Suppress for %1 minutes</source>
        <translation>Désactiver pendant %1 minutes</translation>
    </message>
</context>
</TS>
