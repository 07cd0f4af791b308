#include "app/uProgramOptions.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace duomat {

namespace {
// Qt's own options (QGuiApplication, QApplication, the xcb platform), which
// Qt takes out of the arguments itself; "-x" and "--x" alike. A refused
// word is better than one silently ignored.
constexpr std::array<std::string_view, 27> kQtWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "session",  "style",              "stylesheet",    "display", "geometry",       "name",        "title",
    "visual",   "ncols",              "cmap",          "im",      "font",           "fn",          "bg",
    "background", "fg", "foreground", "btn", "button", "qmljsdebugger"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// How many arguments a Qt option takes with it (0 or 1), or -1 when it is none of Qt's.
int QtOptionValues(const std::string& argument) {
  std::string_view name(argument);
  name.remove_prefix(name.rfind("--", 0) == 0 ? 2 : 1);
  const size_t equals = name.find('=');
  const bool inline_value = equals != std::string_view::npos;
  if (inline_value) name = name.substr(0, equals);
  if (std::find(kQtWithValue.begin(), kQtWithValue.end(), name) != kQtWithValue.end()) return inline_value ? 0 : 1;
  if (!inline_value && std::find(kQtFlags.begin(), kQtFlags.end(), name) != kQtFlags.end()) return 0;
  return -1;
}
}  // namespace

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
    } else if (a.rfind("--ingra", 0) == 0 || a.rfind("--outra", 0) == 0) {
      const std::string n = a.substr(0, 7);
      std::string& target = n == "--ingra" ? o.Ingra : o.Outra;
      if (a == n) {
        if (i + 1 >= arguments.size()) {
          o.Error = n + " needs a connection string";
          return o;
        }
        target = arguments[++i];
      } else if (a[7] == '=') {
        target = a.substr(8);
      } else {
        o.Error = "unknown option " + a;
        return o;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      const int values = QtOptionValues(a);
      if (values < 0) {
        o.Error = "unknown option " + a;
        return o;
      }
      i += static_cast<size_t>(values);
    }
  }
  return o;
}

const char* ProgramHelpText() {
  return "Usage: duomat [--ingra CONNECTION] [--outra CONNECTION] [--lang cs|en] [DST] [Qt options]\n"
         "(Qt options: -platform NAME, -style NAME, -stylesheet FILE, -reverse, ...; see Qt's documentation)\n"
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
         "  1   no display, or the system gave no thread or descriptor to start with\n"
         "  2   usage error: an unknown option, or a switch without its value\n"
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
