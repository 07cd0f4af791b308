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
    <message>
        <source>Adresa modulu:</source>
        <translation>Module address:</translation>
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
    <message>
        <source>&amp;Nástroje</source>
        <translation>&amp;Tools</translation>
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
    <name>duomat::TfAddressDialog</name>
    <message>
        <source>Změnit adresu</source>
        <translation>Change address</translation>
    </message>
    <message>
        <source>Změnit rychlost</source>
        <translation>Change rate</translation>
    </message>
    <message>
        <source>Přidělit adresu</source>
        <translation>Assign address</translation>
    </message>
    <message>
        <source>Načíst znovu</source>
        <translation>Read again</translation>
    </message>
    <message>
        <source>Zavřít</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Adresa a rychlost</source>
        <translation>Address and rate</translation>
    </message>
    <message>
        <source>Modul</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>Adresa:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>Rychlost:</source>
        <translation>Rate:</translation>
    </message>
    <message>
        <source>Sériová čísla:</source>
        <translation>Serial numbers:</translation>
    </message>
    <message>
        <source>Identifikace:</source>
        <translation>Identification:</translation>
    </message>
    <message>
        <source>Změna</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>Nová adresa:</source>
        <translation>New address:</translation>
    </message>
    <message>
        <source>Nová rychlost:</source>
        <translation>New rate:</translation>
    </message>
    <message>
        <source>Přidělit adresu podle sériových čísel</source>
        <translation>Assign an address by serial numbers</translation>
    </message>
    <message>
        <source>Číslo A:</source>
        <translation>Number A:</translation>
    </message>
    <message>
        <source>Číslo B:</source>
        <translation>Number B:</translation>
    </message>
    <message>
        <source>přidělit</source>
        <translation>to assign</translation>
    </message>
    <message>
        <source>Průběh</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Ukončuji…</source>
        <translation>Closing…</translation>
    </message>
    <message>
        <source>Neprovedeno: %1</source>
        <translation>Not done: %1</translation>
    </message>
    <message>
        <source>Čtu adresu, rychlost a sériová čísla…</source>
        <translation>Reading the address, rate and serial numbers…</translation>
    </message>
    <message>
        <source>Modul odpovídá.</source>
        <translation>The module answers.</translation>
    </message>
    <message>
        <source>Měním adresu modulu…</source>
        <translation>Changing the module&apos;s address…</translation>
    </message>
    <message>
        <source>Modul má nyní adresu %1.</source>
        <translation>The module now has the address %1.</translation>
    </message>
    <message>
        <source>Měním rychlost modulu…</source>
        <translation>Changing the module&apos;s rate…</translation>
    </message>
    <message>
        <source>Modul nyní komunikuje rychlostí %1 Bd; nastavte stejnou rychlost převodníku.</source>
        <translation>The module now talks at %1 Bd; set the converter to the same rate.</translation>
    </message>
    <message>
        <source>Modul nyní komunikuje rychlostí %1 Bd.</source>
        <translation>The module now talks at %1 Bd.</translation>
    </message>
    <message>
        <source>Přiděluji adresu podle sériových čísel…</source>
        <translation>Assigning the address by serial numbers…</translation>
    </message>
    <message>
        <source>Modul s čísly %1, %2 má nyní adresu %3.</source>
        <translation>The module with the numbers %1, %2 now has the address %3.</translation>
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
    <message>
        <source>Najít moduly…</source>
        <translation>Find modules…</translation>
    </message>
    <message>
        <source>Ingra</source>
        <translation>Ingra</translation>
    </message>
    <message>
        <source>Outra</source>
        <translation>Outra</translation>
    </message>
    <message>
        <source>Uložit nastavení do souboru…</source>
        <translation>Save settings to file…</translation>
    </message>
    <message>
        <source>Obnovit nastavení ze souboru…</source>
        <translation>Restore settings from file…</translation>
    </message>
    <message>
        <source>Porovnat se souborem…</source>
        <translation>Compare with file…</translation>
    </message>
    <message>
        <source>Adresa a rychlost…</source>
        <translation>Address and baud rate…</translation>
    </message>
    <message>
        <source>Test výstupů…</source>
        <translation>Output test…</translation>
    </message>
</context>
<context>
    <name>duomat::TfOutputTestDialog</name>
    <message>
        <source>Číst zpět každých 500 ms</source>
        <translation>Read back every 500 ms</translation>
    </message>
    <message>
        <source>Odeslat</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Zavřít</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Chyba: %1</source>
        <translation>Error: %1</translation>
    </message>
    <message>
        <source>Outra – Test výstupů</source>
        <translation>Outra – Output test</translation>
    </message>
    <message>
        <source>první výstup</source>
        <translation>output 1</translation>
    </message>
    <message>
        <source>druhý výstup</source>
        <translation>output 2</translation>
    </message>
    <message>
        <source>čas [s]</source>
        <translation>time [s]</translation>
    </message>
    <message>
        <source>Výstup %1</source>
        <translation>Output %1</translation>
    </message>
    <message>
        <source>Nastavit:</source>
        <translation>Set:</translation>
    </message>
    <message>
        <source>Zpětně čteno:</source>
        <translation>Read back:</translation>
    </message>
    <message>
        <source>Watchdog:</source>
        <translation>Watchdog:</translation>
    </message>
    <message>
        <source>Rozsah:</source>
        <translation>Range:</translation>
    </message>
    <message>
        <source>Nastavit, %1, posuvník</source>
        <translation>Set, %1, slider</translation>
    </message>
    <message>
        <source>Zpětně čteno, %1</source>
        <translation>Read back, %1</translation>
    </message>
    <message>
        <source>Watchdog, %1</source>
        <translation>Watchdog, %1</translation>
    </message>
    <message>
        <source>Výstup %1 nastaveno</source>
        <translation>Output %1 set</translation>
    </message>
    <message>
        <source>Výstup %1 čteno</source>
        <translation>Output %1 read</translation>
    </message>
    <message>
        <source>Průběh výstupů za poslední dvě minuty</source>
        <translation>The outputs over the last two minutes</translation>
    </message>
    <message>
        <source>Každé čtení je pro modul příkaz: watchdog převezme výstup, až když čtení vypnete.</source>
        <translation>Each read is a command to the module: the watchdog takes over the output only once reading is off.</translation>
    </message>
    <message>
        <source>Čtu rozsahy a watchdogy…</source>
        <translation>Reading the ranges and watchdogs…</translation>
    </message>
    <message>
        <source>Rozsahy a watchdogy modulu se nepodařilo přečíst; výstupy nelze nastavit.</source>
        <translation>The module&apos;s ranges and watchdogs could not be read; the outputs cannot be set.</translation>
    </message>
    <message>
        <source>Nastavte hodnoty a stiskněte Odeslat.</source>
        <translation>Set the values and press Send.</translation>
    </message>
    <message>
        <source>Výstupy se nepodařilo nastavit.</source>
        <translation>The outputs could not be set.</translation>
    </message>
    <message>
        <source>Odesláno: %1, %2.</source>
        <translation>Sent: %1, %2.</translation>
    </message>
    <message>
        <source>bez odpovědi</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>vypnut</source>
        <translation>off</translation>
    </message>
    <message>
        <source>od posledního příkazu %1 s z %2 s</source>
        <translation>%1 s of %2 s since the last command</translation>
    </message>
    <message>
        <source>převzal výstup (%1 s bez příkazu)</source>
        <translation>took over the output (%1 s without a command)</translation>
    </message>
</context>
<context>
    <name>duomat::TfProfileDialog</name>
    <message>
        <source>Uložit nastavení do souboru</source>
        <translation>Save settings to a file</translation>
    </message>
    <message>
        <source>Porovnat se souborem</source>
        <translation>Compare with a file</translation>
    </message>
    <message>
        <source>Obnovit nastavení ze souboru</source>
        <translation>Restore settings from a file</translation>
    </message>
    <message>
        <source>Rozsah vstupu %1</source>
        <translation>Input %1 range</translation>
    </message>
    <message>
        <source>Rozsah výstupu %1</source>
        <translation>Output %1 range</translation>
    </message>
    <message>
        <source>Výstup %1: doba od posledního příkazu</source>
        <translation>Output %1: time since the last command</translation>
    </message>
    <message>
        <source>Výstup %1: výchozí hodnota</source>
        <translation>Output %1: default value</translation>
    </message>
    <message>
        <source>Soubor %1 nelze použít: %2. Do modulu nebylo nic odesláno.</source>
        <translation>The file %1 cannot be used: %2. Nothing was sent to the module.</translation>
    </message>
    <message>
        <source>Nastavení modulu (*.json)</source>
        <translation>Module settings (*.json)</translation>
    </message>
    <message>
        <source>Zapsat rozdíly do modulu</source>
        <translation>Write the differences to the module</translation>
    </message>
    <message>
        <source>Zavřít</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Soubor: %1</source>
        <translation>File: %1</translation>
    </message>
    <message>
        <source>Nastavení</source>
        <translation>Setting</translation>
    </message>
    <message>
        <source>Modul</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>Soubor</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Nastavení modulu a souboru</source>
        <translation>Settings of the module and the file</translation>
    </message>
    <message>
        <source>Průběh</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Ukončuji…</source>
        <translation>Closing…</translation>
    </message>
    <message>
        <source>Chyba: %1</source>
        <translation>Error: %1</translation>
    </message>
    <message>
        <source>Načítám nastavení z modulu…</source>
        <translation>Loading the settings from the module…</translation>
    </message>
    <message>
        <source>Soubor %1 se nepodařilo zapsat: %2.</source>
        <translation>The file %1 could not be written: %2.</translation>
    </message>
    <message>
        <source>Nastavení modulu bylo uloženo do souboru %1.</source>
        <translation>The module&apos;s settings were saved to the file %1.</translation>
    </message>
    <message>
        <source>Modul odpovídá souboru.</source>
        <translation>The module matches the file.</translation>
    </message>
    <message>
        <source>Modul se od souboru liší; počet rozdílů: %1.</source>
        <translation>The module differs from the file; differences: %1.</translation>
    </message>
    <message>
        <source>Zapsat do modulu nastavení, která se od souboru liší (počet: %1)?</source>
        <translation>Write the settings that differ from the file (%1) to the module?</translation>
    </message>
    <message>
        <source>Zapisuji rozdíly do modulu…</source>
        <translation>Writing the differences to the module…</translation>
    </message>
    <message>
        <source>Modul už odpovídá souboru; nic nebylo zapsáno.</source>
        <translation>The module already matches the file; nothing was written.</translation>
    </message>
    <message>
        <source>Zapsáno nastavení: %1. Modul nyní odpovídá souboru.</source>
        <translation>Settings written: %1. The module now matches the file.</translation>
    </message>
    <message>
        <source>Modul souboru neodpovídá: %1</source>
        <translation>The module does not match the file: %1</translation>
    </message>
    <message>
        <source>Liší se</source>
        <translation>Differs</translation>
    </message>
    <message>
        <source>liší se</source>
        <translation>differs</translation>
    </message>
</context>
<context>
    <name>duomat::TfScanDialog</name>
    <message>
        <source>Najít moduly</source>
        <translation>Find modules</translation>
    </message>
    <message>
        <source>Vedení</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>Připojení:</source>
        <translation>Connection:</translation>
    </message>
    <message>
        <source>Vybrat…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>Hledání</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Od adresy:</source>
        <translation>From address:</translation>
    </message>
    <message>
        <source>Do adresy:</source>
        <translation>To address:</translation>
    </message>
    <message>
        <source>Rychlosti [Bd]:</source>
        <translation>Baud rates [Bd]:</translation>
    </message>
    <message>
        <source>rychlost vedení</source>
        <translation>the line&apos;s rate</translation>
    </message>
    <message>
        <source>Rychlosti oddělené čárkou, např. 9600,19200; prázdné: rychlost vedení</source>
        <translation>Rates separated by commas, e.g. 9600,19200; empty: the line&apos;s rate</translation>
    </message>
    <message>
        <source>Všechny rychlosti</source>
        <translation>All baud rates</translation>
    </message>
    <message>
        <source>Rychlé hledání</source>
        <translation>Quick search</translation>
    </message>
    <message>
        <source>Nejdřív univerzální adresa: odpoví-li jediný modul, hledání končí</source>
        <translation>The universal address first: when a single module answers, the search ends</translation>
    </message>
    <message>
        <source>Hledat</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Zastavit</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Průběh hledání</source>
        <translation>Search progress</translation>
    </message>
    <message>
        <source>Nalezené moduly</source>
        <translation>Modules found</translation>
    </message>
    <message>
        <source>Adresa</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Rychlost [Bd]</source>
        <translation>Baud rate [Bd]</translation>
    </message>
    <message>
        <source>Modul</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>Identifikace</source>
        <translation>Identification</translation>
    </message>
    <message>
        <source>Použít pro Ingra</source>
        <translation>Use for Ingra</translation>
    </message>
    <message>
        <source>Použít pro Outra</source>
        <translation>Use for Outra</translation>
    </message>
    <message>
        <source>Zavřít</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Adresa „od“ musí být 00 až FD.</source>
        <translation>The “from” address must be 00 to FD.</translation>
    </message>
    <message>
        <source>Adresa „do“ musí být 00 až FD.</source>
        <translation>The “to” address must be 00 to FD.</translation>
    </message>
    <message>
        <source>Adresa „od“ nesmí být větší než „do“.</source>
        <translation>The “from” address must not be above the “to” address.</translation>
    </message>
    <message>
        <source>Rychlosti musí být z 110 až 230400 Bd, oddělené čárkou.</source>
        <translation>Baud rates must be of 110 to 230400 Bd, separated by commas.</translation>
    </message>
    <message>
        <source>Otevírám vedení…</source>
        <translation>Opening the line…</translation>
    </message>
    <message>
        <source>Zastavuji…</source>
        <translation>Stopping…</translation>
    </message>
    <message>
        <source>Adresa %1, %2 Bd, zbývá %3 s, nalezeno %4</source>
        <translation>Address %1, %2 Bd, %3 s left, %4 found</translation>
    </message>
    <message>
        <source>Adresa %1, zbývá %2 s, nalezeno %3</source>
        <translation>Address %1, %2 s left, %3 found</translation>
    </message>
    <message>
        <source>kolize</source>
        <translation>collision</translation>
    </message>
    <message>
        <source>Odpovědělo více modulů najednou</source>
        <translation>Several modules answered at once</translation>
    </message>
    <message>
        <source>Hledání skončilo chybou: %1</source>
        <translation>The search ended with an error: %1</translation>
    </message>
    <message>
        <source>Zastaveno, nalezeno modulů: %1</source>
        <translation>Stopped, modules found: %1</translation>
    </message>
    <message>
        <source>Hotovo, nalezeno modulů: %1</source>
        <translation>Done, modules found: %1</translation>
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
