#include "transports/uConnectionStringCheck.h"

#include <gtest/gtest.h>

#include <string>

using korvan::transport::CheckConnectionString;

namespace {

struct TCase {
  const char* Connection;
  const char* Message;  // empty: accepted
};


TEST(ConnectionStringCheck, AcceptsEveryProviderWithEveryKeyInEveryFormTheTransportsRead) {
  const char* const accepted[] = {
      "provider=SERIAL_PORT;comport=3",
      // blanks and line breaks go; hexadecimal, words in any case, the comma form of 1.5
      " provider = SERIAL_PORT ;\r\n comport = 0x7 ;parity=even;stopbits=1,5;dtr=0;rts=False",
      "provider=SERIAL_PORT;baudrate=$2580;databits=5;parity=Space;stopbits=OneAndHalf;dtr=-1;rts=1.0;comport=255",
      ";;provider=SERIAL_PORT;;comport=1;",  // empty items are passed over
      "provider=FTD_USB;serial_number=FT123456;baudrate=12000000;databits=8;parity=None;stopbits=Two;dtr=TRUE;rts=0",
      "provider=TCP_CLIENT;host=127.0.0.1;port=65535;LocalIP=;LocalPort=0;ConnectionTimeout=3600000;KeepAlive=0",
      "provider=TCP_CLIENT;host=(a;b);port=1",  // a value in parentheses keeps its ";"
      "provider=TCP_CLIENT;host=a\\;b;port=1",  // so does an escaped one
      "provider=UDP_CLIENT;host=h;port=1;LocalIP=127.0.0.1;LocalPort=65535",
      "provider=HID;vid=0x4D8;pid=63;serial_number=",
      "provider=HID;serial_number=S1;pid=X3F;vid=0",  // any order, the provider anywhere
      "comport=3;provider=SERIAL_PORT",
  };
  for (const char* connection : accepted) EXPECT_EQ(CheckConnectionString(connection), "") << connection;
}

TEST(ConnectionStringCheck, RefusesWithASentenceThatNamesTheKeyAndWhatItTakes) {
  const TCase refused[] = {
      // the items themselves
      {"provider=SERIAL_PORT;comport", "\"comport\" is no key=value item"},
      {"=3;provider=HID", "\"=3\" is no key=value item"},
      {"provider=SERIAL_PORT;com-port=3", "\"com-port=3\" is no key=value item"},
      {"provider=SERIAL_PORT;comport=(7", "comport=(7: the parentheses of the value do not match"},
      {"provider=SERIAL_PORT;comport=(7)x;baudrate=1", "comport=(7)x: the parentheses of the value do not match"},
      {"provider=SERIAL_PORT;comport=7)", "comport=7): the parentheses of the value do not match"},
      // the provider
      {"comport=7", "provider is missing: the string must name one of SERIAL_PORT, TCP_CLIENT, UDP_CLIENT, FTD_USB or HID"},
      {"provider=serial_port;comport=7",
       "provider=serial_port: provider takes SERIAL_PORT, TCP_CLIENT, UDP_CLIENT, FTD_USB or HID (letter case matters)"},
      {"provider=;comport=7", "provider=: provider takes SERIAL_PORT, TCP_CLIENT, UDP_CLIENT, FTD_USB or HID (letter case matters)"},
      // keys a provider does not apply, and repeats
      {"provider=SERIAL_PORT;comport=7;Baudrate=9600",
       "Baudrate=9600: SERIAL_PORT has no key Baudrate; its keys are baudrate, databits, parity, stopbits, dtr, rts, "
       "comport (letter case matters)"},
      {"provider=UDP_CLIENT;host=h;port=1;KeepAlive=0",
       "KeepAlive=0: UDP_CLIENT has no key KeepAlive; its keys are host, port, LocalIP, LocalPort (letter case matters)"},
      {"provider=FTD_USB;serial_number=F;comport=1",
       "comport=1: FTD_USB has no key comport; its keys are serial_number, baudrate, databits, parity, stopbits, dtr, "
       "rts (letter case matters)"},
      {"provider=SERIAL_PORT;comport=7;comport=8", "comport is given twice"},
      {"provider=SERIAL_PORT;provider=SERIAL_PORT;comport=7", "provider is given twice"},
      // values out of form or range
      {"provider=SERIAL_PORT;comport=7;baudrate=0", "baudrate=0: baudrate takes a whole number from 1 to 12000000 (bits per second)"},
      {"provider=SERIAL_PORT;comport=7;baudrate=9600.0", "baudrate=9600.0: baudrate takes a whole number from 1 to 12000000 (bits per second)"},
      {"provider=SERIAL_PORT;comport=7;databits=4", "databits=4: databits takes a whole number from 5 to 8 (bits per character)"},
      {"provider=SERIAL_PORT;comport=7;parity=evenn", "parity=evenn: parity takes None, Odd, Even, Mark or Space"},
      {"provider=SERIAL_PORT;comport=7;stopbits=3", "stopbits=3: stopbits takes 1, 1.5 or 2 (also One, OneAndHalf, Two)"},
      {"provider=SERIAL_PORT;comport=7;dtr=maybe", "dtr=maybe: dtr takes 1 or 0 (also -1, True, False)"},
      {"provider=SERIAL_PORT;comport=65543", "comport=65543: comport takes a whole number from 1 to 255 (the COM port number)"},
      {"provider=SERIAL_PORT;comport=2147483648", "comport=2147483648: comport takes a whole number from 1 to 255 (the COM port number)"},
      {"provider=TCP_CLIENT;host=;port=1", "host=: host takes a host name or address"},
      {"provider=TCP_CLIENT;host=h;port=65536", "port=65536: port takes a whole number from 1 to 65535 (the remote port)"},
      {"provider=TCP_CLIENT;host=h;port=1;LocalPort=-1", "LocalPort=-1: LocalPort takes a whole number from 0 to 65535 (the local port, 0 for any)"},
      {"provider=TCP_CLIENT;host=h;port=1;ConnectionTimeout=0", "ConnectionTimeout=0: ConnectionTimeout takes a whole number from 1 to 3600000 (milliseconds)"},
      {"provider=TCP_CLIENT;host=h;port=1;KeepAlive=86400001", "KeepAlive=86400001: KeepAlive takes a whole number from 0 to 86400000 (milliseconds, 0 for off)"},
      {"provider=HID;vid=70000;pid=1", "vid=70000: vid takes a whole number from 0 to 65535 (the vendor ID, decimal or 0x hexadecimal)"},
      // keys a line cannot open without
      {"provider=SERIAL_PORT", "comport is missing: SERIAL_PORT needs it; comport takes a whole number from 1 to 255 (the COM port number)"},
      {"provider=TCP_CLIENT;port=1", "host is missing: TCP_CLIENT needs it; host takes a host name or address"},
      {"provider=UDP_CLIENT;host=h", "port is missing: UDP_CLIENT needs it; port takes a whole number from 1 to 65535 (the remote port)"},
      {"provider=FTD_USB;baudrate=9600", "serial_number is missing: FTD_USB needs it; serial_number takes the converter's serial number"},
      {"provider=HID;vid=1240", "pid is missing: HID needs it; pid takes a whole number from 0 to 65535 (the product ID, decimal or 0x hexadecimal)"},
  };
  for (const TCase& c : refused) EXPECT_EQ(CheckConnectionString(c.Connection), c.Message) << c.Connection;
}

}  // namespace
