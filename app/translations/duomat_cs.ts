<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="cs" sourcelanguage="en">
<context>
    <name>ConnectionString</name>
    <message>
        <source>the converter&apos;s serial number</source>
        <translation>sériové číslo převodníku</translation>
    </message>
    <message>
        <source>the vendor ID, decimal or 0x hexadecimal</source>
        <translation>ID výrobce, desítkově nebo šestnáctkově s 0x</translation>
    </message>
    <message>
        <source>the product ID, decimal or 0x hexadecimal</source>
        <translation>ID výrobku, desítkově nebo šestnáctkově s 0x</translation>
    </message>
    <message>
        <source>a host name or address</source>
        <translation>jméno nebo adresu počítače</translation>
    </message>
    <message>
        <source>the remote port</source>
        <translation>vzdálený port</translation>
    </message>
    <message>
        <source>the local port, 0 for any</source>
        <translation>místní port, 0 pro libovolný</translation>
    </message>
    <message>
        <source>milliseconds</source>
        <translation>milisekundy</translation>
    </message>
    <message>
        <source>milliseconds, 0 for off</source>
        <translation>milisekundy, 0 vypíná</translation>
    </message>
    <message>
        <source>bits per second</source>
        <translation>bity za sekundu</translation>
    </message>
    <message>
        <source>bits per character</source>
        <translation>bity na znak</translation>
    </message>
    <message>
        <source>the COM port number</source>
        <translation>číslo portu COM</translation>
    </message>
    <message>
        <source>%1 takes a whole number from %2 to %3 (%4)</source>
        <translation>%1 má být celé číslo od %2 do %3 (%4)</translation>
    </message>
    <message>
        <source>%1 takes 1 or 0 (also -1, True, False)</source>
        <translation>%1 má být 1 nebo 0 (také -1, True, False)</translation>
    </message>
    <message>
        <source>%1 takes None, Odd, Even, Mark or Space</source>
        <translation>%1 má být None, Odd, Even, Mark nebo Space</translation>
    </message>
    <message>
        <source>%1 takes 1, 1.5 or 2 (also One, OneAndHalf, Two)</source>
        <translation>%1 má být 1, 1.5 nebo 2 (také One, OneAndHalf, Two)</translation>
    </message>
    <message>
        <source>%1 takes %2</source>
        <translation>%1 má být %2</translation>
    </message>
    <message>
        <source> or </source>
        <translation> nebo </translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no key=value item</source>
        <translation>„%1“ není položka klíč=hodnota</translation>
    </message>
    <message>
        <source>%1: the parentheses of the value do not match</source>
        <translation>%1: závorky hodnoty si neodpovídají</translation>
    </message>
    <message>
        <source>provider=%1: provider takes %2 (letter case matters)</source>
        <translation>provider=%1: provider má být %2 (na velikosti písmen záleží)</translation>
    </message>
    <message>
        <source>provider is missing: the string must name one of %1</source>
        <translation>chybí provider: řetězec musí uvést jeden z %1</translation>
    </message>
    <message>
        <source>%1 is given twice</source>
        <translation>%1 je uveden dvakrát</translation>
    </message>
    <message>
        <source>%1=%2: %3 has no key %1; its keys are %4 (letter case matters)</source>
        <translation>%1=%2: %3 nemá klíč %1; jeho klíče jsou %4 (na velikosti písmen záleží)</translation>
    </message>
    <message>
        <source>%1 is missing: %2 needs it; %3</source>
        <translation>chybí %1: %2 jej potřebuje; %3</translation>
    </message>
</context>
<context>
    <name>InputRules</name>
    <message>
        <source>%1 must be a whole number from %2 to %3: %4</source>
        <translation>%1 musí být celé číslo od %2 do %3: %4</translation>
    </message>
    <message>
        <source>%1 is not a number: %2</source>
        <translation>%1 není číslo: %2</translation>
    </message>
    <message>
        <source>%1 must lie within the range %2, from %3 to %4: %5</source>
        <translation>%1 musí ležet v rozsahu %2, od %3 do %4: %5</translation>
    </message>
    <message>
        <source>%1 needs the rates to scan, R1,R2,... or all</source>
        <translation>%1 potřebuje rychlosti k prohledání, R1,R2,... nebo all</translation>
    </message>
    <message>
        <source>%1 takes the modules&apos; rates 110 ... 230400 or all: %2</source>
        <translation>%1 bere rychlosti modulů 110 ... 230400 nebo all: %2</translation>
    </message>
</context>
<context>
    <name>Inventory</name>
    <message>
        <source>%1 is missing</source>
        <translation>%1 chybí</translation>
    </message>
    <message>
        <source>%1 must be a text</source>
        <translation>%1 musí být text</translation>
    </message>
    <message>
        <source>address must be a module address from 0 to 253 (or 0x00 to 0xFD): %1</source>
        <translation>address musí být adresa modulu od 0 do 253 (nebo 0x00 až 0xFD): %1</translation>
    </message>
    <message>
        <source>is not a JSON object</source>
        <translation>není objekt JSON</translation>
    </message>
    <message>
        <source>%1 is not a key of an inventory entry (name, connection, address, module, action, profile)</source>
        <translation>%1 není klíč položky soupisu (name, connection, address, module, action, profile)</translation>
    </message>
    <message>
        <source>connection: %1</source>
        <translation>connection: %1</translation>
    </message>
    <message>
        <source>module must be &quot;ingra&quot; or &quot;outra&quot;: %1</source>
        <translation>module musí být &quot;ingra&quot; nebo &quot;outra&quot;: %1</translation>
    </message>
    <message>
        <source>action must be identify, load, apply or diff: %1</source>
        <translation>action musí být identify, load, apply nebo diff: %1</translation>
    </message>
    <message>
        <source>profile is missing (a file or an inline profile)</source>
        <translation>profile chybí (soubor nebo profil přímo v položce)</translation>
    </message>
    <message>
        <source>profile: %1</source>
        <translation>profil: %1</translation>
    </message>
    <message>
        <source>profile %1: %2</source>
        <translation>profil %1: %2</translation>
    </message>
    <message>
        <source>must be a JSON array of entries, not empty</source>
        <translation>musí být neprázdné pole položek JSON</translation>
    </message>
    <message>
        <source>entry %1 (%2)</source>
        <translation>položka %1 (%2)</translation>
    </message>
    <message>
        <source>entry %1</source>
        <translation>položka %1</translation>
    </message>
    <message>
        <source>%1: name is not unique</source>
        <translation>%1: jméno není jedinečné</translation>
    </message>
    <message>
        <source>no thread could be started for the batch</source>
        <translation>pro dávku se nepodařilo spustit žádné vlákno</translation>
    </message>
    <message>
        <source>interrupted while running: the module may be incomplete</source>
        <translation>přerušeno za běhu: modul může být nastaven jen zčásti</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>neznámá chyba</translation>
    </message>
</context>
<context>
    <name>ModuleActions</name>
    <message>
        <source>Interrupted before anything was written.</source>
        <translation>Přerušeno dříve, než se cokoli zapsalo.</translation>
    </message>
    <message>
        <source>check the module&apos;s address (--address) and the line&apos;s baud rate, or find the module with duomat-cli scan</source>
        <translation>zkontrolujte adresu modulu (--address) a rychlost vedení, nebo modul vyhledejte příkazem duomat-cli scan</translation>
    </message>
    <message>
        <source>the module reports a range code this program does not know</source>
        <translation>modul hlásí kód rozsahu, který tento program nezná</translation>
    </message>
    <message>
        <source>this is a voltage module: it offers only %1, not %2</source>
        <translation>toto je napěťový modul: nabízí jen %1, ne %2</translation>
    </message>
    <message>
        <source>this is a current module: it offers only %1, not %2</source>
        <translation>toto je proudový modul: nabízí jen %1, ne %2</translation>
    </message>
</context>
<context>
    <name>ModuleOperations</name>
    <message>
        <source>No module answers at %1.</source>
        <translation>Na adrese %1 neodpovídá žádný modul.</translation>
    </message>
    <message>
        <source>Several modules answer at %1: their answers collide. Give each its own address (module assign-address).</source>
        <translation>Na adrese %1 odpovídá více modulů: jejich odpovědi se srážejí. Dejte každému vlastní adresu (module assign-address).</translation>
    </message>
    <message>
        <source>The module at %1 has the address %2 and the rate %3 Bd.</source>
        <translation>Modul na adrese %1 má adresu %2 a rychlost %3 Bd.</translation>
    </message>
    <message>
        <source>The numbers of the module at %1.</source>
        <translation>Čísla modulu na adrese %1.</translation>
    </message>
    <message>
        <source>The module is already at %1.</source>
        <translation>Modul už má adresu %1.</translation>
    </message>
    <message>
        <source>Another module already answers at %1: %2</source>
        <translation>Na adrese %1 už odpovídá jiný modul: %2</translation>
    </message>
    <message>
        <source>The module at %1 did not take the address %2.</source>
        <translation>Modul na adrese %1 adresu %2 nepřijal.</translation>
    </message>
    <message>
        <source>The module took the address %1 but does not answer there.</source>
        <translation>Modul adresu %1 přijal, ale na ní neodpovídá.</translation>
    </message>
    <message>
        <source>The module at %1 did not take the rate %2.</source>
        <translation>Modul na adrese %1 rychlost %2 nepřijal.</translation>
    </message>
    <message>
        <source>The module now talks at %1 Bd: change the converter&apos;s own rate to match; nothing was verified.</source>
        <translation>Modul nyní komunikuje rychlostí %1 Bd: nastavte stejnou rychlost převodníku; nic nebylo ověřeno.</translation>
    </message>
    <message>
        <source>The module took the rate %1 but the line cannot switch to it.</source>
        <translation>Modul rychlost %1 přijal, ale vedení na ni nelze přepnout.</translation>
    </message>
    <message>
        <source>The module took the rate %1 but does not answer at it.</source>
        <translation>Modul rychlost %1 přijal, ale při ní neodpovídá.</translation>
    </message>
    <message>
        <source>The module at %1 now talks at %2 Bd.</source>
        <translation>Modul na adrese %1 nyní komunikuje rychlostí %2 Bd.</translation>
    </message>
    <message>
        <source>The module with the numbers %1,%2 is already at %3.</source>
        <translation>Modul s čísly %1,%2 už má adresu %3.</translation>
    </message>
    <message>
        <source>No module with the numbers %1,%2 took the address %3.</source>
        <translation>Adresu %3 nepřijal žádný modul s čísly %1,%2.</translation>
    </message>
    <message>
        <source>The module with the numbers %1,%2 is now at %3.</source>
        <translation>Modul s čísly %1,%2 má nyní adresu %3.</translation>
    </message>
</context>
<context>
    <name>OpenFailure</name>
    <message>
        <source>%1 stands for no device</source>
        <translation>%1 neoznačuje žádné zařízení</translation>
    </message>
    <message>
        <source>%1 does not exist</source>
        <translation>%1 neexistuje</translation>
    </message>
    <message>
        <source>%1 is not a serial port</source>
        <translation>%1 není sériový port</translation>
    </message>
    <message>
        <source>no access to %1: it belongs to the group %2 (sudo usermod -aG %2 $USER, then log in again)</source>
        <translation>bez přístupu k %1: patří skupině %2 (sudo usermod -aG %2 $USER, pak se znovu přihlaste)</translation>
    </message>
    <message>
        <source>no access to %1: the rule 70-duomat.rules of the Duomat package gives it to the group plugdev</source>
        <translation>bez přístupu k %1: pravidlo 70-duomat.rules z balíčku Duomat ho dává skupině plugdev</translation>
    </message>
    <message>
        <source>no access to %1: a udev rule must give a group of yours the node (see duomat-cli ports)</source>
        <translation>bez přístupu k %1: uzel musí některé vaší skupině dát pravidlo udev (viz duomat-cli ports)</translation>
    </message>
    <message>
        <source>%1 is in use by another program</source>
        <translation>%1 používá jiný program</translation>
    </message>
    <message>
        <source>no FTDI converter with the serial number %1 is plugged in (see duomat-cli ports)</source>
        <translation>převodník FTDI se sériovým číslem %1 není připojen (viz duomat-cli ports)</translation>
    </message>
    <message>
        <source>no HID device %1 is plugged in (see duomat-cli ports)</source>
        <translation>zařízení HID %1 není připojeno (viz duomat-cli ports)</translation>
    </message>
    <message>
        <source>%1 is not an IPv4 address (host names are not looked up)</source>
        <translation>%1 není adresa IPv4 (jména počítačů se nepřekládají)</translation>
    </message>
    <message>
        <source>%1 refused the connection (nothing listens on that port)</source>
        <translation>%1 odmítl spojení (na tomto portu nic nenaslouchá)</translation>
    </message>
    <message>
        <source>no route to %1</source>
        <translation>k %1 nevede žádná cesta</translation>
    </message>
    <message>
        <source>%1 did not answer within %2 ms (a wrong address or a firewall)</source>
        <translation>%1 neodpověděl do %2 ms (chybná adresa nebo firewall)</translation>
    </message>
    <message>
        <source>the local port %1 is in use by another program</source>
        <translation>místní port %1 používá jiný program</translation>
    </message>
    <message>
        <source>%1 is not an address of this machine</source>
        <translation>%1 není adresa tohoto počítače</translation>
    </message>
</context>
<context>
    <name>OutputLoop</name>
    <message>
        <source>Setting the outputs failed.</source>
        <translation>Výstupy se nepodařilo nastavit.</translation>
    </message>
    <message>
        <source>The outputs were set but could not be read back.</source>
        <translation>Výstupy byly nastaveny, ale nepodařilo se je přečíst zpět.</translation>
    </message>
    <message>
        <source>Reading the outputs failed.</source>
        <translation>Výstupy se nepodařilo přečíst.</translation>
    </message>
    <message>
        <source>Outputs set and read back.</source>
        <translation>Výstupy nastaveny a přečteny zpět.</translation>
    </message>
    <message>
        <source>Outputs read.</source>
        <translation>Výstupy přečteny.</translation>
    </message>
    <message>
        <source>Output %1 reads back raw %2, not %3.</source>
        <translation>Výstup %1 se čte zpět jako surová hodnota %2, ne %3.</translation>
    </message>
</context>
<context>
    <name>Profile</name>
    <message>
        <source>%1 is not a key of %2 (%3)</source>
        <translation>%1 není klíč %2 (%3)</translation>
    </message>
    <message>
        <source>cannot be read</source>
        <translation>nelze přečíst</translation>
    </message>
    <message>
        <source>%1 must be a whole number from %2 to %3: %4</source>
        <translation>%1 musí být celé číslo od %2 do %3: %4</translation>
    </message>
    <message>
        <source>%1 is missing (four range codes, or a range)</source>
        <translation>%1 chybí (čtyři kódy rozsahů nebo rozsah)</translation>
    </message>
    <message>
        <source>%1 must be a list of four range codes: %2</source>
        <translation>%1 musí být seznam čtyř kódů rozsahů: %2</translation>
    </message>
    <message>
        <source>%1 mixes the voltage range (0) with current ranges (1, 2): a module is one kind or the other</source>
        <translation>%1 míchá napěťový rozsah (0) s proudovými (1, 2): modul je jen jednoho druhu</translation>
    </message>
    <message>
        <source>%1 must be &quot;0 - 10 V&quot;, &quot;4 - 20 mA&quot; or &quot;0 - 20 mA&quot;: %2</source>
        <translation>%1 musí být &quot;0 - 10 V&quot;, &quot;4 - 20 mA&quot; nebo &quot;0 - 20 mA&quot;: %2</translation>
    </message>
    <message>
        <source>%1 %2 disagrees with codes[0] %3</source>
        <translation>%1 %2 nesouhlasí s codes[0] %3</translation>
    </message>
    <message>
        <source>%1 is missing (two range codes, or a range)</source>
        <translation>%1 chybí (dva kódy rozsahů nebo rozsah)</translation>
    </message>
    <message>
        <source>%1 must be a list of two range codes: %2</source>
        <translation>%1 musí být seznam dvou kódů rozsahů: %2</translation>
    </message>
    <message>
        <source>%1 must be one of the range texts &quot;0 - 10 V&quot; … &quot;0 - 24 mA&quot;: %2</source>
        <translation>%1 musí být jeden z textů rozsahů &quot;0 - 10 V&quot; … &quot;0 - 24 mA&quot;: %2</translation>
    </message>
    <message>
        <source>%1 is missing</source>
        <translation>%1 chybí</translation>
    </message>
    <message>
        <source>%1 must be a list of two watchdogs</source>
        <translation>%1 musí být seznam dvou watchdogů</translation>
    </message>
    <message>
        <source>%1 must be an object</source>
        <translation>%1 musí být objekt</translation>
    </message>
    <message>
        <source>a watchdog</source>
        <translation>watchdogu</translation>
    </message>
    <message>
        <source>%1 must be true or false</source>
        <translation>%1 musí být true nebo false</translation>
    </message>
    <message>
        <source>%1 disagrees with the time-out %2 (0 is off)</source>
        <translation>%1 nesouhlasí s časem %2 (0 je vypnuto)</translation>
    </message>
    <message>
        <source>%1 must be a number: %2</source>
        <translation>%1 musí být číslo: %2</translation>
    </message>
    <message>
        <source>%1 must lie within the range %2, from %3 to %4: %5</source>
        <translation>%1 musí ležet v rozsahu %2, od %3 do %4: %5</translation>
    </message>
    <message>
        <source>%1 %2 and raw %3 disagree (raw %3 is %4 in %5)</source>
        <translation>%1 %2 a surová hodnota %3 nesouhlasí (surová %3 je %4 v rozsahu %5)</translation>
    </message>
    <message>
        <source>input %1 range</source>
        <translation>rozsah vstupu %1</translation>
    </message>
    <message>
        <source>output %1 range</source>
        <translation>rozsah výstupu %1</translation>
    </message>
    <message>
        <source>watchdog %1 timeout</source>
        <translation>čas watchdogu %1</translation>
    </message>
    <message>
        <source>watchdog %1 value</source>
        <translation>hodnota watchdogu %1</translation>
    </message>
    <message>
        <source>%1: %2 -&gt; %3 (raw %4 -&gt; %5)</source>
        <translation>%1: %2 -&gt; %3 (surově %4 -&gt; %5)</translation>
    </message>
    <message>
        <source>1 setting</source>
        <translation>1 nastavení</translation>
    </message>
    <message>
        <source>%1 settings</source>
        <translation>%1 nastavení</translation>
    </message>
    <message>
        <source>The module matches the profile.</source>
        <translation>Modul odpovídá profilu.</translation>
    </message>
    <message>
        <source>The module differs from the profile in %1.</source>
        <translation>Modul se od profilu liší (%1).</translation>
    </message>
    <message>
        <source>The module matches the profile; nothing would be written.</source>
        <translation>Modul odpovídá profilu; nic by se nezapsalo.</translation>
    </message>
    <message>
        <source>%1 would be written; nothing was written.</source>
        <translation>Zapsalo by se: %1; nic nebylo zapsáno.</translation>
    </message>
    <message>
        <source>The settings were written but could not be read back.</source>
        <translation>Nastavení byla zapsána, ale nepodařilo se je přečíst zpět.</translation>
    </message>
    <message>
        <source>Read back, the module still differs from the profile: %1.</source>
        <translation>Po zpětném čtení se modul od profilu stále liší: %1.</translation>
    </message>
    <message>
        <source>%1 written; the module matches the profile.</source>
        <translation>Zapsáno: %1; modul odpovídá profilu.</translation>
    </message>
    <message>
        <source>The module already matches the profile; nothing was written.</source>
        <translation>Modul už odpovídá profilu; nic nebylo zapsáno.</translation>
    </message>
    <message>
        <source>holds a NUL byte</source>
        <translation>obsahuje bajt NUL</translation>
    </message>
    <message>
        <source>is nested deeper than %1 levels</source>
        <translation>je vnořen hlouběji než do %1 úrovní</translation>
    </message>
    <message>
        <source>has the key %1 twice in one object</source>
        <translation>má klíč %1 dvakrát v jednom objektu</translation>
    </message>
    <message>
        <source>is not JSON</source>
        <translation>není JSON</translation>
    </message>
    <message>
        <source>is not a regular file</source>
        <translation>není obyčejný soubor</translation>
    </message>
    <message>
        <source>is larger than 1 MiB</source>
        <translation>je větší než 1 MiB</translation>
    </message>
    <message>
        <source>the profile is not a JSON object</source>
        <translation>profil není objekt JSON</translation>
    </message>
    <message>
        <source>%1 is missing (&quot;ingra&quot; or &quot;outra&quot;)</source>
        <translation>%1 chybí (&quot;ingra&quot; nebo &quot;outra&quot;)</translation>
    </message>
    <message>
        <source>%1 must be &quot;ingra&quot; or &quot;outra&quot;: %2</source>
        <translation>%1 musí být &quot;ingra&quot; nebo &quot;outra&quot;: %2</translation>
    </message>
    <message>
        <source>%1 is %2, not %3</source>
        <translation>%1 je %2, ne %3</translation>
    </message>
    <message>
        <source>an Ingra profile</source>
        <translation>profilu Ingra</translation>
    </message>
    <message>
        <source>an Outra profile</source>
        <translation>profilu Outra</translation>
    </message>
    <message>
        <source>The module reports the unknown range code %1; nothing was written.</source>
        <translation>Modul hlásí neznámý kód rozsahu %1; nic nebylo zapsáno.</translation>
    </message>
    <message>
        <source>codes: the profile&apos;s voltage ranges cannot be written to a current module; nothing was written.</source>
        <translation>codes: napěťové rozsahy profilu nelze zapsat do proudového modulu; nic nebylo zapsáno.</translation>
    </message>
    <message>
        <source>codes: the profile&apos;s current ranges cannot be written to a voltage module; nothing was written.</source>
        <translation>codes: proudové rozsahy profilu nelze zapsat do napěťového modulu; nic nebylo zapsáno.</translation>
    </message>
    <message>
        <source>%1 Writing the ranges failed.</source>
        <translation>%1 Zápis rozsahů selhal.</translation>
    </message>
    <message>
        <source>%1 Writing the %2 failed; the module may be partly changed.</source>
        <translation>%1 Zápis (%2) selhal; modul může být změněn jen zčásti.</translation>
    </message>
    <message>
        <source>ranges</source>
        <translation>rozsahy</translation>
    </message>
    <message>
        <source>watchdog time-outs</source>
        <translation>časy watchdogů</translation>
    </message>
    <message>
        <source>watchdog values</source>
        <translation>hodnoty watchdogů</translation>
    </message>
    <message>
        <source>The module on this line is Outra, not Ingra.</source>
        <translation>Na tomto vedení je modul Outra, ne Ingra.</translation>
    </message>
    <message>
        <source>The module on this line is Ingra, not Outra.</source>
        <translation>Na tomto vedení je modul Ingra, ne Outra.</translation>
    </message>
</context>
<context>
    <name>duomat-cli</name>
    <message>
        <source>free</source>
        <translation>volný</translation>
    </message>
    <message>
        <source>no access</source>
        <translation>bez přístupu</translation>
    </message>
    <message>
        <source>in use</source>
        <translation>používán</translation>
    </message>
    <message>
        <source>--connection is required for this command</source>
        <translation>tento příkaz potřebuje --connection</translation>
    </message>
    <message>
        <source>--connection: %1</source>
        <translation>--connection: %1</translation>
    </message>
    <message>
        <source>a command is missing; the commands are: %1</source>
        <translation>chybí příkaz; příkazy jsou: %1</translation>
    </message>
    <message>
        <source>&apos;%1&apos; needs a command; the commands are: %2</source>
        <translation>&apos;%1&apos; potřebuje příkaz; příkazy jsou: %2</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>neznámý přepínač &apos;%1&apos;</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;; did you mean &apos;%2&apos;?</source>
        <translation>neznámý přepínač &apos;%1&apos;; mysleli jste &apos;%2&apos;?</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>nečekaný argument &apos;%1&apos;</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;; the commands are: %2</source>
        <translation>neznámý příkaz &apos;%1&apos;; příkazy jsou: %2</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;; did you mean &apos;%2&apos;?</source>
        <translation>neznámý příkaz &apos;%1&apos;; mysleli jste &apos;%2&apos;?</translation>
    </message>
    <message>
        <source>batch: %1/%2 done, %3 failed</source>
        <translation>dávka: hotovo %1/%2, selhalo %3</translation>
    </message>
    <message>
        <source>batch: %1/%2 done, %3 failed; running: %4</source>
        <translation>dávka: hotovo %1/%2, selhalo %3; běží: %4</translation>
    </message>
    <message>
        <source>inventory %1: %2</source>
        <translation>soupis %1: %2</translation>
    </message>
    <message>
        <source>interrupted again; entries that were running may be incomplete</source>
        <translation>znovu přerušeno; rozběhnuté položky mohou být nedokončené</translation>
    </message>
    <message>
        <source>--range must be a code 1 to 7 or one of the range texts: %1</source>
        <translation>--range musí být kód 1 až 7 nebo jeden z textů rozsahů: %1</translation>
    </message>
    <message>
        <source>the scan did not complete</source>
        <translation>prohledání portů nebylo úplné</translation>
    </message>
    <message>
        <source>the Ingra module</source>
        <translation>modul Ingra</translation>
    </message>
    <message>
        <source>the Outra module</source>
        <translation>modul Outra</translation>
    </message>
    <message>
        <source>the Outra module&apos;s outputs</source>
        <translation>výstupy modulu Outra</translation>
    </message>
    <message>
        <source>the module&apos;s address or rate</source>
        <translation>adresa nebo rychlost modulu</translation>
    </message>
    <message>
        <source>interrupted: finishing first, so that %1 is not left half-written (Ctrl+C again stops at once)</source>
        <translation>přerušeno: nejdřív dokončuji zápis (%1), aby nezůstal napůl hotový (další Ctrl+C ukončí hned)</translation>
    </message>
    <message>
        <source>stopped at once: %1 may be partly written; load it to see what it holds now</source>
        <translation>ukončeno hned: zápis (%1) může být jen částečný; načtěte, co teď obsahuje</translation>
    </message>
    <message>
        <source>RATE must be one of the modules&apos; rates 110 ... 230400: %1</source>
        <translation>RATE musí být jedna z rychlostí modulů 110 ... 230400: %1</translation>
    </message>
    <message>
        <source>--numbers must be A,B: %1</source>
        <translation>--numbers musí být A,B: %1</translation>
    </message>
    <message>
        <source>Run with --help for more information.</source>
        <translation>Více informací vypíše --help.</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>neznámá chyba</translation>
    </message>
    <message>
        <source>%1 must lie within an output range, from %2 to %3: %4; nothing was sent</source>
        <translation>%1 musí ležet v některém rozsahu výstupu, od %2 do %3: %4; nic nebylo odesláno</translation>
    </message>
    <message>
        <source>output %1: %2 (raw %3)</source>
        <translation>výstup %1: %2 (surově %3)</translation>
    </message>
    <message>
        <source>watchdog %1: after %2 s without a command the module returns output %1 to %3 (raw %4)</source>
        <translation>watchdog %1: po %2 s bez příkazu modul vrátí výstup %1 na %3 (surově %4)</translation>
    </message>
    <message>
        <source>No serial ports found.</source>
        <translation>Nenalezen žádný sériový port.</translation>
    </message>
    <message>
        <source>Ports and converters marked &quot;no access&quot; need membership in the group that owns them (usually
dialout):  sudo usermod -aG dialout $USER   (then log in again)</source>
        <translation>Porty a převodníky označené &quot;bez přístupu&quot; vyžadují členství ve skupině, která je vlastní (obvykle
dialout):  sudo usermod -aG dialout $USER   (pak se znovu přihlaste)</translation>
    </message>
    <message>
        <source>HID devices marked &quot;no access&quot; need a udev rule that gives a group of yours the hidraw node, for
example in /etc/udev/rules.d/70-duomat.rules (then plug the device in again):</source>
        <translation>Zařízení HID označená &quot;bez přístupu&quot; potřebují pravidlo udev, které dá uzel hidraw některé vaší
skupině, např. v /etc/udev/rules.d/70-duomat.rules (pak zařízení připojte znovu):</translation>
    </message>
    <message>
        <source>profile from standard input: %1</source>
        <translation>profil ze standardního vstupu: %1</translation>
    </message>
    <message>
        <source>profile %1: %2</source>
        <translation>profil %1: %2</translation>
    </message>
    <message>
        <source>cannot start: the system gave no thread or descriptor (%1)</source>
        <translation>nelze spustit: systém nedal vlákno ani deskriptor (%1)</translation>
    </message>
    <message>
        <source>scanning %1%2  found %3  at most %4 s left</source>
        <translation>hledám %1%2  nalezeno %3  zbývá nejvýš %4 s</translation>
    </message>
    <message>
        <source>several modules answer here: their answers collide</source>
        <translation>zde odpovídá více modulů: jejich odpovědi se srážejí</translation>
    </message>
    <message>
        <source>Scan interrupted after %1 requests.</source>
        <translation>Hledání přerušeno po %1 dotazech.</translation>
    </message>
    <message>
        <source>No module answered (%1 requests).</source>
        <translation>Žádný modul neodpověděl (dotazů: %1).</translation>
    </message>
    <message>
        <source>--from must not lie above --to: %1 &gt; %2</source>
        <translation>--from nesmí ležet nad --to: %1 &gt; %2</translation>
    </message>
    <message>
        <source>--baudrates needs a serial port or FTDI line</source>
        <translation>--baudrates potřebuje sériový port nebo vedení FTDI</translation>
    </message>
    <message>
        <source>RANGE must be 0, 1, 2, &quot;0 - 10 V&quot;, &quot;4 - 20 mA&quot; or &quot;0 - 20 mA&quot;: %1</source>
        <translation>RANGE musí být 0, 1, 2, &quot;0 - 10 V&quot;, &quot;4 - 20 mA&quot; nebo &quot;0 - 20 mA&quot;: %1</translation>
    </message>
    <message>
        <source>the library did not start</source>
        <translation>knihovna se nespustila</translation>
    </message>
    <message>
        <source>the languages are cs and en, not &apos;%1&apos;</source>
        <translation>jazyky jsou cs a en, ne &apos;%1&apos;</translation>
    </message>
    <message>
        <source>%1 is missing</source>
        <translation>%1 chybí</translation>
    </message>
</context>
</TS>
