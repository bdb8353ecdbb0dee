<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Card</name>
    <message>
        <source>IP address changed</source>
        <translation>IP-Adresse geändert</translation>
    </message>
    <message>
        <source>Now in %1</source>
        <extracomment>The card&apos;s title when the new address is in another country, that country&apos;s name.</extracomment>
        <translation>Neuer Standort: %1</translation>
    </message>
    <message>
        <source>was %1 %2</source>
        <extracomment>Under the addresses: the flag and the name of the country the old address was in.</extracomment>
        <translation>zuvor %1 %2</translation>
    </message>
</context>
<context>
    <name>Popover</name>
    <message>
        <source>Wi-Fi</source>
        <translation>WLAN</translation>
    </message>
    <message>
        <source>Ethernet</source>
        <translation>Ethernet</translation>
    </message>
    <message>
        <source>Cellular</source>
        <translation>Mobilfunk</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Andere</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>Locating…</source>
        <extracomment>Also the desktop widget&apos;s text until the first lookup answers.</extracomment>
        <translation>Standort wird ermittelt…</translation>
    </message>
    <message>
        <source>Copied</source>
        <extracomment>In place of the public IP address for a moment, once it was copied.</extracomment>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>DNS outside the VPN</source>
        <extracomment>Under the connection: the DNS servers are reached around the VPN, not through it.</extracomment>
        <translation>DNS außerhalb des VPN</translation>
    </message>
    <message>
        <source>%1 through %2</source>
        <extracomment>For screen readers: a DNS server&apos;s address and the network interface it is reached through.</extracomment>
        <translation>%1 über %2</translation>
    </message>
    <message>
        <source>Measuring latency…</source>
        <translation>Latenz wird gemessen…</translation>
    </message>
    <message>
        <source>Testing download…</source>
        <translation>Download wird getestet…</translation>
    </message>
    <message>
        <source>Testing upload…</source>
        <translation>Upload wird getestet…</translation>
    </message>
    <message>
        <source>latency</source>
        <extracomment>A step of the speed test that failed, in the list after &quot;Failed: %1&quot;.</extracomment>
        <translation>Latenz</translation>
    </message>
    <message>
        <source>download</source>
        <extracomment>A step of the speed test that failed, in the list after &quot;Failed: %1&quot;.</extracomment>
        <translation>Download</translation>
    </message>
    <message>
        <source>upload</source>
        <extracomment>A step of the speed test that failed, in the list after &quot;Failed: %1&quot;.</extracomment>
        <translation>Upload</translation>
    </message>
    <message>
        <source>Last run %1</source>
        <extracomment>Beside the Run test button: the time of day of the last speed test.</extracomment>
        <translation>Zuletzt um %1</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <extracomment>The steps of the speed test that failed, e.g. &quot;latency, upload&quot;.</extracomment>
        <translation>Fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Peak ↓ %1  ↑ %2</source>
        <extracomment>The highest download (↓) and upload (↑) rates of the graph, two spaces between them.</extracomment>
        <translation>Spitze ↓ %1  ↑ %2</translation>
    </message>
    <message numerus="yes">
        <source>Traffic in the last %n minutes</source>
        <translation>
            <numerusform>Datenverkehr der letzten Minute</numerusform>
            <numerusform>Datenverkehr der letzten %n Minuten</numerusform>
        </translation>
    </message>
    <message>
        <source>Shown while the popover is open</source>
        <extracomment>In place of the peak rates: with live speeds off, rates are sampled only while the popover is open.</extracomment>
        <translation>Erfasst, solange das Fenster offen ist</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>System</source>
        <translation>System</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Hell</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>Dunkel</translation>
    </message>
    <message>
        <source>Single line</source>
        <translation>Einzeilig</translation>
    </message>
    <message>
        <source>Double line</source>
        <translation>Zweizeilig</translation>
    </message>
    <message>
        <source>Download &amp; Upload</source>
        <translation>Download &amp; Upload</translation>
    </message>
    <message>
        <source>Download only</source>
        <translation>Nur Download</translation>
    </message>
    <message>
        <source>Upload only</source>
        <translation>Nur Upload</translation>
    </message>
    <message>
        <source>Cannot find this program&apos;s own file, so it cannot be started at login.</source>
        <translation>Die Programmdatei wurde nicht gefunden, daher kann Velmora nicht bei der Anmeldung starten.</translation>
    </message>
    <message>
        <source>Cannot start at login from %1: some desktops cannot start a program whose path contains “%”.</source>
        <translation>Start bei der Anmeldung aus %1 nicht möglich: Manche Desktops können kein Programm starten, dessen Pfad „%“ enthält.</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Could not remove %1: %2</source>
        <translation>%1 konnte nicht entfernt werden: %2</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>Open Velmora</source>
        <translation>Velmora öffnen</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>Widget</name>
    <message>
        <source>Public IP</source>
        <translation>Öffentliche IP</translation>
    </message>
    <message>
        <source>ISP</source>
        <translation>Anbieter</translation>
    </message>
    <message>
        <source>Timezone</source>
        <translation>Zeitzone</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>Retrying soon</source>
        <translation>Neuer Versuch in Kürze</translation>
    </message>
    <message>
        <source>Not current</source>
        <extracomment>For screen readers: the symbol beside a record that may be out of date.</extracomment>
        <translation>Nicht aktuell</translation>
    </message>
    <message>
        <source>The last lookup failed; this is the record found before</source>
        <translation>Die letzte Abfrage ist fehlgeschlagen; dies ist das zuvor gefundene Ergebnis</translation>
    </message>
    <message>
        <source>Updated %1</source>
        <extracomment>The time of day the shown record was looked up.</extracomment>
        <translation>Aktualisiert um %1</translation>
    </message>
</context>
<context>
    <name>velmora::DesktopNotice</name>
    <message>
        <source>Open Velmora</source>
        <translation>Velmora öffnen</translation>
    </message>
</context>
<context>
    <name>velmora::DesktopWidget</name>
    <message>
        <source>Velmora Widget</source>
        <translation>Velmora-Widget</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Add Widget…</source>
        <translation>Widget hinzufügen…</translation>
    </message>
    <message>
        <source>Remove Widget</source>
        <translation>Widget entfernen</translation>
    </message>
</context>
<context>
    <name>velmora::GalleryWindow</name>
    <message>
        <source>Your IP country and network at a glance.</source>
        <translation>Das Land Ihrer IP-Adresse und Ihr Netzwerk auf einen Blick.</translation>
    </message>
    <message>
        <source>Add Small Widget</source>
        <translation>Kleines Widget hinzufügen</translation>
    </message>
    <message>
        <source>Add Medium Widget</source>
        <translation>Mittleres Widget hinzufügen</translation>
    </message>
</context>
<context>
    <name>velmora::PopoverView</name>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Copy public IP</source>
        <translation>Öffentliche IP kopieren</translation>
    </message>
    <message>
        <source>Public IP</source>
        <translation>Öffentliche IP</translation>
    </message>
    <message>
        <source>Local IP</source>
        <translation>Lokale IP</translation>
    </message>
    <message>
        <source>ISP</source>
        <translation>Anbieter</translation>
    </message>
    <message>
        <source>VPN likely</source>
        <translation>Vermutlich VPN</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>DNS</source>
        <translation>DNS</translation>
    </message>
    <message>
        <source>Timezone</source>
        <translation>Zeitzone</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>Datenverkehr</translation>
    </message>
    <message>
        <source>Latency</source>
        <translation>Latenz</translation>
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
        <source>Run test</source>
        <translation>Test starten</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Geschwindigkeit</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>velmora::SettingsView</name>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Launch at Login</source>
        <translation>Bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Popup closes automatically when clicking outside</source>
        <translation>Fenster bei Klick außerhalb automatisch schließen</translation>
    </message>
    <message>
        <source>Show a toast when the IP address changes</source>
        <translation>Hinweis anzeigen, wenn sich die IP-Adresse ändert</translation>
    </message>
    <message>
        <source>Theme</source>
        <translation>Design</translation>
    </message>
    <message>
        <source>Unit (Bits or Bytes)</source>
        <translation>Einheit (Bits oder Bytes)</translation>
    </message>
    <message>
        <source>Menu Bar</source>
        <translation>Menüleiste</translation>
    </message>
    <message>
        <source>Show live upload &amp; download speed</source>
        <translation>Upload- und Downloadrate live anzeigen</translation>
    </message>
    <message>
        <source>Bandwidth Data</source>
        <translation>Angezeigte Raten</translation>
    </message>
    <message>
        <source>Button Style</source>
        <translation>Darstellung</translation>
    </message>
    <message>
        <source>Show upload on top</source>
        <translation>Upload oben anzeigen</translation>
    </message>
    <message>
        <source>Enable custom menu bar font color</source>
        <translation>Eigene Schriftfarben verwenden</translation>
    </message>
    <message>
        <source>Download data color</source>
        <translation>Farbe für Download</translation>
    </message>
    <message>
        <source>Upload data color</source>
        <translation>Farbe für Upload</translation>
    </message>
    <message>
        <source>Settings could not be saved: %1</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden: %1</translation>
    </message>
</context>
<context>
    <name>velmora::StatusBarController</name>
    <message>
        <source>Velmora Settings</source>
        <translation>Velmora-Einstellungen</translation>
    </message>
</context>
</TS>
