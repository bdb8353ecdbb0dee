<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>Card</name>
    <message>
        <source>IP address changed</source>
        <translation>Adresse IP modifiée</translation>
    </message>
    <message>
        <source>Now in %1</source>
        <extracomment>The card&apos;s title when the new address is in another country, that country&apos;s name.</extracomment>
        <translation>Nouveau pays&#xa0;: %1</translation>
    </message>
    <message>
        <source>was %1 %2</source>
        <extracomment>Under the addresses: the flag and the name of the country the old address was in.</extracomment>
        <translation>auparavant %1 %2</translation>
    </message>
</context>
<context>
    <name>Popover</name>
    <message>
        <source>Wi-Fi</source>
        <translation>Wi-Fi</translation>
    </message>
    <message>
        <source>Ethernet</source>
        <translation>Ethernet</translation>
    </message>
    <message>
        <source>Cellular</source>
        <translation>Réseau mobile</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Autre</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Hors ligne</translation>
    </message>
    <message>
        <source>Locating…</source>
        <extracomment>Also the desktop widget&apos;s text until the first lookup answers.</extracomment>
        <translation>Localisation…</translation>
    </message>
    <message>
        <source>Copied</source>
        <extracomment>In place of the public IP address for a moment, once it was copied.</extracomment>
        <translation>Copiée</translation>
    </message>
    <message>
        <source>DNS outside the VPN</source>
        <extracomment>Under the connection: the DNS servers are reached around the VPN, not through it.</extracomment>
        <translation>DNS hors du VPN</translation>
    </message>
    <message>
        <source>%1 through %2</source>
        <extracomment>For screen readers: a DNS server&apos;s address and the network interface it is reached through.</extracomment>
        <translation>%1 via %2</translation>
    </message>
    <message>
        <source>Measuring latency…</source>
        <translation>Mesure de la latence…</translation>
    </message>
    <message>
        <source>Testing download…</source>
        <translation>Test du téléchargement…</translation>
    </message>
    <message>
        <source>Testing upload…</source>
        <translation>Test de l’envoi…</translation>
    </message>
    <message>
        <source>latency</source>
        <extracomment>A step of the speed test that failed, in the list after &quot;Failed: %1&quot;.</extracomment>
        <translation>latence</translation>
    </message>
    <message>
        <source>download</source>
        <extracomment>A step of the speed test that failed, in the list after &quot;Failed: %1&quot;.</extracomment>
        <translation>téléchargement</translation>
    </message>
    <message>
        <source>upload</source>
        <extracomment>A step of the speed test that failed, in the list after &quot;Failed: %1&quot;.</extracomment>
        <translation>envoi</translation>
    </message>
    <message>
        <source>Last run %1</source>
        <extracomment>Beside the Run test button: the time of day of the last speed test.</extracomment>
        <translation>Dernier test à %1</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <extracomment>The steps of the speed test that failed, e.g. &quot;latency, upload&quot;.</extracomment>
        <translation>Échec&#xa0;: %1</translation>
    </message>
    <message>
        <source>Peak ↓ %1  ↑ %2</source>
        <extracomment>The highest download (↓) and upload (↑) rates of the graph, two spaces between them.</extracomment>
        <translation>Pic ↓ %1  ↑ %2</translation>
    </message>
    <message numerus="yes">
        <source>Traffic in the last %n minutes</source>
        <translation>
            <numerusform>Trafic de la dernière minute</numerusform>
            <numerusform>Trafic des %n dernières minutes</numerusform>
        </translation>
    </message>
    <message>
        <source>Shown while the popover is open</source>
        <extracomment>In place of the peak rates: with live speeds off, rates are sampled only while the popover is open.</extracomment>
        <translation>Relevé tant que la fenêtre est ouverte</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>System</source>
        <translation>Système</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Clair</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>Sombre</translation>
    </message>
    <message>
        <source>Single line</source>
        <translation>Une ligne</translation>
    </message>
    <message>
        <source>Double line</source>
        <translation>Deux lignes</translation>
    </message>
    <message>
        <source>Download &amp; Upload</source>
        <translation>Téléchargement et envoi</translation>
    </message>
    <message>
        <source>Download only</source>
        <translation>Téléchargement seul</translation>
    </message>
    <message>
        <source>Upload only</source>
        <translation>Envoi seul</translation>
    </message>
    <message>
        <source>Cannot find this program&apos;s own file, so it cannot be started at login.</source>
        <translation>Fichier du programme introuvable&#xa0;: impossible de le lancer à l’ouverture de session.</translation>
    </message>
    <message>
        <source>Cannot start at login from %1: some desktops cannot start a program whose path contains “%”.</source>
        <translation>Impossible de lancer %1 à l’ouverture de session&#xa0;: certains bureaux ne peuvent pas lancer un programme dont le chemin contient «&#xa0;%&#xa0;».</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Impossible de créer le dossier %1.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>Impossible d’écrire %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>Could not remove %1: %2</source>
        <translation>Impossible de supprimer %1&#xa0;: %2</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>Open Velmora</source>
        <translation>Ouvrir Velmora</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Paramètres…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
<context>
    <name>Widget</name>
    <message>
        <source>Public IP</source>
        <translation>IP publique</translation>
    </message>
    <message>
        <source>ISP</source>
        <translation>FAI</translation>
    </message>
    <message>
        <source>Timezone</source>
        <translation>Fuseau horaire</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Hors ligne</translation>
    </message>
    <message>
        <source>Retrying soon</source>
        <translation>Nouvel essai sous peu</translation>
    </message>
    <message>
        <source>Not current</source>
        <extracomment>For screen readers: the symbol beside a record that may be out of date.</extracomment>
        <translation>Pas à jour</translation>
    </message>
    <message>
        <source>The last lookup failed; this is the record found before</source>
        <translation>La dernière recherche a échoué&#x202f;; voici le résultat trouvé auparavant</translation>
    </message>
    <message>
        <source>Updated %1</source>
        <extracomment>The time of day the shown record was looked up.</extracomment>
        <translation>Mis à jour à %1</translation>
    </message>
</context>
<context>
    <name>velmora::DesktopNotice</name>
    <message>
        <source>Open Velmora</source>
        <translation>Ouvrir Velmora</translation>
    </message>
</context>
<context>
    <name>velmora::DesktopWidget</name>
    <message>
        <source>Velmora Widget</source>
        <translation>Widget Velmora</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Petit</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Moyen</translation>
    </message>
    <message>
        <source>Add Widget…</source>
        <translation>Ajouter un widget…</translation>
    </message>
    <message>
        <source>Remove Widget</source>
        <translation>Retirer le widget</translation>
    </message>
</context>
<context>
    <name>velmora::GalleryWindow</name>
    <message>
        <source>Your IP country and network at a glance.</source>
        <translation>Le pays de votre adresse IP et votre réseau en un coup d’œil.</translation>
    </message>
    <message>
        <source>Add Small Widget</source>
        <translation>Ajouter le petit widget</translation>
    </message>
    <message>
        <source>Add Medium Widget</source>
        <translation>Ajouter le widget moyen</translation>
    </message>
</context>
<context>
    <name>velmora::PopoverView</name>
    <message>
        <source>Refresh</source>
        <translation>Actualiser</translation>
    </message>
    <message>
        <source>Copy public IP</source>
        <translation>Copier l’IP publique</translation>
    </message>
    <message>
        <source>Public IP</source>
        <translation>IP publique</translation>
    </message>
    <message>
        <source>Local IP</source>
        <translation>IP locale</translation>
    </message>
    <message>
        <source>ISP</source>
        <translation>FAI</translation>
    </message>
    <message>
        <source>VPN likely</source>
        <translation>VPN probable</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Connexion</translation>
    </message>
    <message>
        <source>DNS</source>
        <translation>DNS</translation>
    </message>
    <message>
        <source>Timezone</source>
        <translation>Fuseau horaire</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Réseau</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>Trafic</translation>
    </message>
    <message>
        <source>Latency</source>
        <translation>Latence</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Téléchargement</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Envoi</translation>
    </message>
    <message>
        <source>Run test</source>
        <translation>Lancer le test</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Débit</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Paramètres…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
<context>
    <name>velmora::SettingsView</name>
    <message>
        <source>General</source>
        <translation>Général</translation>
    </message>
    <message>
        <source>Launch at Login</source>
        <translation>Lancer à l’ouverture de session</translation>
    </message>
    <message>
        <source>Popup closes automatically when clicking outside</source>
        <translation>Fermer la fenêtre lors d’un clic à l’extérieur</translation>
    </message>
    <message>
        <source>Show a toast when the IP address changes</source>
        <translation>Avertir quand l’adresse IP change</translation>
    </message>
    <message>
        <source>Theme</source>
        <translation>Thème</translation>
    </message>
    <message>
        <source>Unit (Bits or Bytes)</source>
        <translation>Unité (bits ou octets)</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>Barre des menus</translation>
    </message>
    <message>
        <source>Show live upload &amp; download speed</source>
        <translation>Afficher les débits en direct</translation>
    </message>
    <message>
        <source>Bandwidth Data</source>
        <translation>Débits affichés</translation>
    </message>
    <message>
        <source>Button Style</source>
        <translation>Présentation</translation>
    </message>
    <message>
        <source>Show upload on top</source>
        <translation>Afficher l’envoi en haut</translation>
    </message>
    <message>
        <source>Enable custom menu bar font color</source>
        <translation>Couleurs de texte personnalisées</translation>
    </message>
    <message>
        <source>Download data color</source>
        <translation>Couleur du téléchargement</translation>
    </message>
    <message>
        <source>Upload data color</source>
        <translation>Couleur de l’envoi</translation>
    </message>
    <message>
        <source>Settings could not be saved: %1</source>
        <translation>Impossible d’enregistrer les réglages&#xa0;: %1</translation>
    </message>
</context>
<context>
    <name>velmora::StatusBarController</name>
    <message>
        <source>Velmora Settings</source>
        <translation>Paramètres de Velmora</translation>
    </message>
</context>
</TS>
