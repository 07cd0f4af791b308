<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="cs">
<context>
    <name>TfCiLog</name>
    <message>
        <source>Komunikační log</source>
        <translation>Communication log</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Disabled Inst</source>
        <translation>Disabled Inst</translation>
    </message>
</context>
<context>
    <name>TfConnectionDialog</name>
    <message>
        <source>Nastavení připojení</source>
        <translation>Connection settings</translation>
    </message>
    <message>
        <source>Sériový port:</source>
        <translation>Serial port:</translation>
    </message>
    <message>
        <source>Obnovit</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Číslo portu RS232/485:</source>
        <translation>RS232/485 port number:</translation>
    </message>
    <message>
        <source>Komunikační rychlost [Bd]:</source>
        <translation>Baud rate [Bd]:</translation>
    </message>
    <message>
        <source>USB:</source>
        <translation>USB:</translation>
    </message>
    <message>
        <source>Zařízení:</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>Sériové číslo:</source>
        <translation>Serial number:</translation>
    </message>
    <message>
        <source>Ethernet:</source>
        <translation>Ethernet:</translation>
    </message>
    <message>
        <source>IP adresa:</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>Datový port:</source>
        <translation>Data port:</translation>
    </message>
    <message>
        <source>Pro pokročilé</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Zrušit</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TfMain</name>
    <message>
        <source>Nastavení Ingra</source>
        <translation>Ingra settings</translation>
    </message>
    <message>
        <source>Pracovní rozsah vstupů:</source>
        <translation>Input range:</translation>
    </message>
    <message>
        <source>Nahrát ze zařízení</source>
        <translation>Load from device</translation>
    </message>
    <message>
        <source>Uložit do zařízení</source>
        <translation>Save to device</translation>
    </message>
    <message>
        <source>Navázat spojení</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Zrušit spojení</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Nastavení Outra</source>
        <translation>Outra settings</translation>
    </message>
    <message>
        <source>Pracovní rozsah výstupů:</source>
        <translation>Output range:</translation>
    </message>
    <message>
        <source>Nastavit první výstup po přerušení komunikace:</source>
        <translation>Set output 1 when communication is lost:</translation>
    </message>
    <message>
        <source>Výchozí hodnota výstupu [V/mA]:</source>
        <translation>Default output value [V/mA]:</translation>
    </message>
    <message>
        <source>Doba od posledního přijetí příkazu [s]:</source>
        <translation>Time since the last command [s]:</translation>
    </message>
    <message>
        <source>Nastavit druhý výstup po přerušení komunikace:</source>
        <translation>Set output 2 when communication is lost:</translation>
    </message>
    <message>
        <source>Ukončit</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>duomat::PresetConnections</name>
    <message>
        <source>Připojovací řetězec z příkazové řádky nebyl použit:</source>
        <translation>The connection string from the command line was not used:</translation>
    </message>
</context>
<context>
    <name>duomat::TMyCustomNumEdit</name>
    <message>
        <source>%1 musí být v rozmezí od %2 do %3!</source>
        <translation>%1 must be in the range %2 to %3!</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
</context>
<context>
    <name>duomat::TOpenFailureWords</name>
    <message>
        <source>Port %1 neodpovídá žádnému zařízení.</source>
        <translation>%1 stands for no device.</translation>
    </message>
    <message>
        <source>Zařízení %1 neexistuje.</source>
        <translation>%1 does not exist.</translation>
    </message>
    <message>
        <source>Zařízení %1 není sériový port.</source>
        <translation>%1 is not a serial port.</translation>
    </message>
    <message>
        <source>Nemáte přístup k %1: patří skupině %2 (sudo usermod -aG %2 $USER a znovu se přihlaste).</source>
        <translation>No access to %1: it belongs to the group %2 (sudo usermod -aG %2 $USER, then log in again).</translation>
    </message>
    <message>
        <source>Nemáte přístup k %1: pravidlo 70-duomat.rules z balíčku Duomat je dává skupině plugdev.</source>
        <translation>No access to %1: the rule 70-duomat.rules of the Duomat package gives it to the group plugdev.</translation>
    </message>
    <message>
        <source>Nemáte přístup k %1: pravidlo udev je musí dát některé z vašich skupin.</source>
        <translation>No access to %1: a udev rule must give it to a group of yours.</translation>
    </message>
    <message>
        <source>Zařízení %1 používá jiný program.</source>
        <translation>%1 is in use by another program.</translation>
    </message>
    <message>
        <source>Převodník FTDI se sériovým číslem %1 není připojen.</source>
        <translation>No FTDI converter with the serial number %1 is plugged in.</translation>
    </message>
    <message>
        <source>Zařízení HID %1 není připojeno.</source>
        <translation>No HID device %1 is plugged in.</translation>
    </message>
    <message>
        <source>%1 není adresa IPv4 (jména počítačů se nepřekládají).</source>
        <translation>%1 is not an IPv4 address (host names are not looked up).</translation>
    </message>
    <message>
        <source>%1 odmítl spojení (na tomto portu nic nenaslouchá).</source>
        <translation>%1 refused the connection (nothing listens on that port).</translation>
    </message>
    <message>
        <source>K %1 nevede žádná cesta.</source>
        <translation>No route to %1.</translation>
    </message>
    <message>
        <source>%1 neodpověděl do %2 ms (chybná adresa nebo firewall).</source>
        <translation>%1 did not answer within %2 ms (a wrong address or a firewall).</translation>
    </message>
    <message>
        <source>Místní port %1 používá jiný program.</source>
        <translation>The local port %1 is in use by another program.</translation>
    </message>
    <message>
        <source>%1 není adresa tohoto počítače.</source>
        <translation>%1 is not an address of this machine.</translation>
    </message>
</context>
<context>
    <name>duomat::TfConnectionDialog</name>
    <message>
        <source>Hodnota</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>duomat::TfMain</name>
    <message>
        <source>první výstup</source>
        <translation>output 1</translation>
    </message>
    <message>
        <source>druhý výstup</source>
        <translation>output 2</translation>
    </message>
    <message>
        <source>Hodnota</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>duomat::msg</name>
    <message>
        <source>Nepodařilo se otevřít spojení!</source>
        <translation>Could not open the connection!</translation>
    </message>
    <message>
        <source>Nepodařilo se připojit k modulu Ingra!</source>
        <translation>Could not connect to the Ingra module!</translation>
    </message>
    <message>
        <source>Nepodařilo se připojit k modulu Outra!</source>
        <translation>Could not connect to the Outra module!</translation>
    </message>
    <message>
        <source>Nastavení bylo úspěšně nahráno z modulu Ingra.</source>
        <translation>The settings were loaded from the Ingra module.</translation>
    </message>
    <message>
        <source>Nastavení se nepodařilo nahrát z modulu Ingra!</source>
        <translation>Could not load the settings from the Ingra module!</translation>
    </message>
    <message>
        <source>Nastavení bylo úspěšně uloženo do modulu Ingra.</source>
        <translation>The settings were saved to the Ingra module.</translation>
    </message>
    <message>
        <source>Nastavení se nepodařilo uložit do modulu Ingra!</source>
        <translation>Could not save the settings to the Ingra module!</translation>
    </message>
    <message>
        <source>Nastavení bylo úspěšně nahráno z modulu Outra.</source>
        <translation>The settings were loaded from the Outra module.</translation>
    </message>
    <message>
        <source>Nastavení se nepodařilo nahrát z modulu Outra!</source>
        <translation>Could not load the settings from the Outra module!</translation>
    </message>
    <message>
        <source>Nastavení bylo úspěšně uloženo do modulu Outra.</source>
        <translation>The settings were saved to the Outra module.</translation>
    </message>
    <message>
        <source>Nastavení se nepodařilo uložit do modulu Outra!</source>
        <translation>Could not save the settings to the Outra module!</translation>
    </message>
</context>
</TS>
