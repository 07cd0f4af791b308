#include "app/uProgramOptions.h"

namespace duomat {

TProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments) {
  TProgramOptions o;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--help" || a == "-h") {
      o.Help = true;
    } else if (a == "--version") {
      o.Version = true;
    } else if (a == "--lang" || a.rfind("--lang=", 0) == 0) {
      if (a == "--lang" && i + 1 >= arguments.size()) {
        o.Error = "--lang needs a language: cs or en";
        return o;
      }
      const std::string name = a == "--lang" ? arguments[++i] : a.substr(7);
      o.Language = UiLanguageNamed(name);
      if (!o.Language) {
        o.Error = "--lang " + name + ": the languages are cs and en";
        return o;
      }
    } else if (a == "--") {
      break;
    } else {
      for (auto [name, target] : {std::pair{"--ingra", &o.Ingra}, std::pair{"--outra", &o.Outra}}) {
        const std::string n = name;
        if (a == n) {
          if (i + 1 >= arguments.size()) {
            o.Error = n + " needs a connection string";
            return o;
          }
          *target = arguments[++i];
        } else if (a.rfind(n + "=", 0) == 0) {
          *target = a.substr(n.size() + 1);
        }
      }
    }
  }
  return o;
}

const char* ProgramHelpText() {
  return "Usage: duomat [--ingra CONNECTION] [--outra CONNECTION] [--lang cs|en] [DST] [Qt options]\n"
         "\n"
         "Configures an Ingra (four analog inputs) and an Outra (two analog outputs) module over the\n"
         "Korvan protocol: connect, load the settings, edit them, save them into the module.\n"
         "\n"
         "  --ingra CONNECTION  preset the Ingra module's connection string; the connection dialog\n"
         "                      then opens showing it (nothing connects by itself)\n"
         "  --outra CONNECTION  the same for the Outra module\n"
         "  --lang cs|en        the windows' language: Czech or English; without it, English when\n"
         "                      the desktop's language is (LANGUAGE, LC_ALL, LC_MESSAGES, LANG: the\n"
         "                      first one set decides), else Czech\n"
         "  DST                 forward every frame to a listening terminal: the datagram socket\n"
         "                      TfMainKorvanTerm in $XDG_RUNTIME_DIR, else in /tmp/duomat-<uid> (a\n"
         "                      folder only you may enter); frames it has no room for are dropped\n"
         "  --help              show this text\n"
         "  --version           show the version\n"
         "\n"
         "Connection strings, for example:\n"
         "  provider=SERIAL_PORT;comport=1;baudrate=9600\n"
         "      COM1 is /dev/ttyS0, or $DUOMAT_PORT_DIR/COM1 (see duomat-cli --help)\n"
         "  provider=TCP_CLIENT;host=192.168.1.254;port=10001\n"
         "      a TCP connection to an Ethernet converter\n"
         "  provider=UDP_CLIENT;host=192.168.1.254;port=10001\n"
         "      datagrams to and from an Ethernet converter\n"
         "  provider=FTD_USB;serial_number=FT123456\n"
         "      an FTDI USB converter by its serial number\n"
         "  provider=HID;vid=1240;pid=63;serial_number=S\n"
         "      a HID device by its IDs; serial_number is optional\n"
         "\n"
         "Without a display, duomat-cli does the same work from the command line.\n"
         "\n"
         "Exit status:\n"
         "  0   the window was closed\n"
         "  2   usage error\n"
         "\n"
         "Environment:\n"
         "  DUOMAT_PORT_DIR      a folder of COMn links that take the place of the COM port numbers\n"
         "  DUOMAT_DEV_DIR       the device folder instead of /dev\n"
         "  DUOMAT_SYSFS_ROOT    the sysfs folder instead of /sys\n"
         "  DUOMAT_D2XX_LIBRARY  the FTDI D2XX library to load instead of libftd2xx.so\n"
         "  LANGUAGE, LC_ALL, LC_MESSAGES, LANG\n"
         "                       the first one set chooses the windows' language: English for\n"
         "                       English (en, en_GB.UTF-8, ...), Czech for any other; see --lang\n";
}

}  // namespace duomat
