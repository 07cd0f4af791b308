#include "tools/duomat-cli/uCliArguments.h"

#include <algorithm>
#include <cstdio>

#include "core/uText.h"
#include "tools/duomat-cli/uCliCommands.h"
#include "tools/duomat-cli/uCliOutput.h"
#include "transports/uConnectionStringCheck.h"

namespace duomat::cli {

namespace {
constexpr long kUniversalAddress = 0xFE;

const char* const kDescription =
    "Configures an Ingra (four analog inputs) or Outra (two analog outputs) module over the "
    "Korvan\n"
    "protocol, one action per call, exactly as the Duomat window does it.\n\n"
    "Connection strings:\n"
    "  provider=SERIAL_PORT;comport=3;baudrate=9600\n"
    "      COMn is ttyS(n-1) (COM1-32), ttyUSB(n-33) (COM33-64), ttyACM(n-65) (COM65-96) in\n"
    "      $DUOMAT_DEV_DIR (default /dev), or the link $DUOMAT_PORT_DIR/COMn when it exists\n"
    "  provider=TCP_CLIENT;host=192.168.1.254;port=10001\n"
    "      a TCP connection to an Ethernet converter\n"
    "  provider=UDP_CLIENT;host=…;port=…;LocalPort=…\n"
    "      datagrams to and from an Ethernet converter\n"
    "  provider=FTD_USB;serial_number=FT123456\n"
    "      an FTDI USB converter by its serial number\n"
    "  provider=HID;vid=1240;pid=63;serial_number=S\n"
    "      the last such hidrawN in $DUOMAT_DEV_DIR (default /dev) that $DUOMAT_SYSFS_ROOT\n"
    "      (default /sys) lists; serial_number is optional\n\n"
    "Output: the message (standard output on success, standard error on failure), then key=value\n"
    "lines; with --json one JSON object on standard output instead. The options -c, --address,\n"
    "--timeout, --log, --json and --lang may stand before or after the command.\n\n"
    "Language: messages are in English where the desktop's language (LANGUAGE, LC_ALL,\n"
    "LC_MESSAGES, LANG) is English, in Czech otherwise (C and POSIX too); --lang cs|en chooses.\n"
    "Help texts are English; JSON keys are the same in both languages.";

const char* const kFooter =
    "Examples:\n"
    "  duomat-cli ports\n"
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" scan --quick\n"
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" ingra load --json\n"
    "  duomat-cli -c \"provider=TCP_CLIENT;host=192.168.1.254;port=10001\" --address 0x32 \\\n"
    "      outra save --range \"4 - 20 mA\" --timeout1 60 --value1 12\n"
    "  duomat-cli -c \"provider=FTD_USB;serial_number=FT123456\" outra apply pump.json\n"
    "  duomat-cli batch inventory.json --json\n\n"
    "Exit status:\n"
    "  0   success\n"
    "  1   the module action failed\n"
    "  2   usage error (nothing sent)\n"
    "  3   the module differs from the profile (diff, apply --dry-run, batch)\n"
    "  128+N  the signal N came (130 for SIGINT): a command that writes finished its write first,\n"
    "         one that reads stopped at once and printed what it had (a second Ctrl+C stops at once)\n\n"
    "Environment:\n"
    "  DUOMAT_PORT_DIR      a folder of COMn links that take the place of the COM port numbers\n"
    "  DUOMAT_DEV_DIR       the device folder instead of /dev\n"
    "  DUOMAT_SYSFS_ROOT    the sysfs folder instead of /sys\n"
    "  DUOMAT_D2XX_LIBRARY  the FTDI D2XX library to load instead of libftd2xx.so\n";

// The options a command shares with the others: the line's for one that
// reaches a module, --log for one that sends frames, --json for all.
void AddShared(CLI::App& app, TCliOptions& o, bool line, bool addressed, bool log) {
  if (line)
    app.add_option("-c,--connection", o.Connection,
                   "Connection string of the module's line (see duomat-cli --help)")
        ->type_name("CONNECTION");
  if (addressed) {
    app.add_option("--address", o.Address,
                   "Module address 0x00-0xFD, decimal or 0x hexadecimal (default 0x31); 0xFE\n"
                   "reaches whichever module is on the line")
        ->type_name("ADDR");
    app.add_option("--timeout", o.Timeout, "The device's time-out per request in ms, 1-600000 (default 1000)")
        ->type_name("MS");
  }
  if (log) app.add_flag("--log", o.Log, "Show every frame written (=>) and read (<=) on standard error");
  app.add_flag("--json", o.Json, "Print one JSON object instead of text");
  app.add_option("--lang", o.Lang, "Messages in Czech or English (default: the desktop's language)")
      ->type_name("cs|en")
      ->check(CLI::Validator(
          [](std::string& value) {
            return value == "cs" || value == "en"
                       ? std::string()
                       : Tr(DUOMAT_TR_EN("duomat-cli", "the languages are cs and en, not '%1'"), value);
          },
          ""));
}

size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : ", ") + w;
  return text;
}

// The full name of an app below the program: "ingra load".
std::string PathOf(const CLI::App* app) {
  std::string path;
  for (; app != nullptr && app->get_parent() != nullptr; app = app->get_parent())
    path = app->get_name() + (path.empty() ? "" : " " + path);
  return path;
}
}  // namespace

TUiLanguage CliLanguage(int argc, const char* const* argv) {
  std::optional<TUiLanguage> chosen;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;
    if (word == "--lang" && i + 1 < argc)
      chosen = UiLanguageNamed(argv[++i]);
    else if (word.rfind("--lang=", 0) == 0)
      chosen = UiLanguageNamed(word.substr(7));
  }
  return chosen.value_or(DesktopUiLanguage());
}

int ModuleAddress(const std::string& text, const char* what) {
  return static_cast<int>(ParseNumber(text, what, 0, LastModuleAddress));
}

int TargetAddress(const std::string& text, const char* what) {
  return static_cast<int>(ParseNumber(text, what, 0, kUniversalAddress));
}

int TimeoutOf(const TCliOptions& options) {
  return static_cast<int>(ParseNumber(options.Timeout, "--timeout", 1, 600000));
}

void CheckSharedOptions(const TCommand& command, const TCliOptions& o) {
  if (!command.NeedsLine) return;
  if (o.Connection.empty())
    throw TCliUsage(Tr(DUOMAT_TR_EN("duomat-cli", "--connection is required for this command")));
  if (const std::string problem = korvan::transport::CheckConnectionString(o.Connection); !problem.empty())
    throw TCliUsage(Tr(DUOMAT_TR_EN("duomat-cli", "--connection: %1"), problem));
  if (!command.Addressed) return;
  TargetAddress(o.Address, "--address");
  TimeoutOf(o);
}

std::string Nearest(const std::string& word, const std::vector<std::string>& candidates) {
  std::string best;
  size_t bestDistance = 0;
  for (const std::string& c : candidates) {
    const size_t d = Distance(word, c);
    if (best.empty() || d < bestDistance) {
      best = c;
      bestDistance = d;
    }
  }
  // A typo or two, or the start of the word; never a word that shares nothing.
  const bool near = bestDistance <= std::min<size_t>(2, word.size() / 2) ||
                    (word.size() >= 2 && best.rfind(word, 0) == 0);
  if (!best.empty() && near) return best;
  for (const std::string& c : candidates)
    if (word.size() >= 3 && c.rfind(word, 0) == 0) return c;
  return "";
}

TCliParser::TCliParser(TCliOptions& o) : app_(kDescription, "duomat-cli") {
  app_.require_subcommand(1);
  app_.fallthrough();  // the shared options after a command's name reach the program's
  app_.set_version_flag("--version", "duomat-cli " DUOMAT_VERSION, "Show the version");
  AddShared(app_, o, true, true, true);
  for (const TCommand& command : Commands()) {
    CLI::App* parent = &app_;
    std::string path = command.Path;
    for (size_t space = path.find(' '); space != std::string::npos; space = path.find(' ')) {
      const std::string group = path.substr(0, space);
      path.erase(0, space + 1);
      CLI::App* found = nullptr;
      for (CLI::App* sub : parent->get_subcommands({}))
        if (sub->get_name() == group) found = sub;
      if (found == nullptr) {
        const auto& groups = CommandGroups();
        const auto g = std::find_if(groups.begin(), groups.end(), [&](const TCommandGroup& c) { return group == c.Name; });
        found = parent->add_subcommand(group, g != groups.end() ? g->Summary : "");
        found->require_subcommand(1);
        found->footer(g != groups.end() && *g->Examples ? std::string("Examples:\n") + g->Examples : std::string());
      }
      parent = found;
    }
    CLI::App* leaf = parent->add_subcommand(path, command.Summary);
    leaf->footer(*command.Examples ? std::string("Examples:\n") + command.Examples : std::string());
    AddShared(*leaf, o, command.NeedsLine, command.Addressed, command.Logs);
    if (command.AddOptions != nullptr) command.AddOptions(*leaf, o);
    leaves_.emplace_back(leaf, &command);
  }
  app_.footer(kFooter);
}

CLI::App* TCliParser::Deepest() {
  CLI::App* deepest = &app_;
  for (bool deeper = true; deeper;) {
    deeper = false;
    for (CLI::App* sub : deepest->get_subcommands())
      if (sub->parsed()) {
        deepest = sub;
        deeper = true;
        break;
      }
  }
  return deepest;
}

std::string TCliParser::MissingCommand() {
  CLI::App* deepest = Deepest();
  std::vector<std::string> names;
  for (const CLI::App* sub : deepest->get_subcommands({})) names.push_back(sub->get_name());
  return deepest == &app_
             ? Tr(DUOMAT_TR_EN("duomat-cli", "a command is missing; the commands are: %1"),
                  Join(names))
             : Tr(DUOMAT_TR_EN("duomat-cli", "'%1' needs a command; the commands are: %2"),
                  PathOf(deepest), Join(names));
}

std::string TCliParser::Unexpected(const CLI::ParseError& e) {
  std::vector<std::string> extra = app_.remaining();
  CLI::App* deepest = Deepest();
  for (CLI::App* a = deepest; a != &app_ && extra.empty(); a = a->get_parent()) extra = a->remaining();
  if (extra.empty()) return e.what();
  const std::string word = extra.front();
  const std::string where = deepest == &app_ ? "" : PathOf(deepest) + ": ";
  std::vector<std::string> names;
  if (!word.empty() && word[0] == '-') {
    for (const CLI::App* a : {static_cast<const CLI::App*>(deepest), static_cast<const CLI::App*>(&app_)})
      for (const CLI::Option* option : a->get_options())
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    const std::string near = Nearest(word.substr(0, word.find('=')), names);
    return where + (near.empty()
                        ? Tr(DUOMAT_TR_EN("duomat-cli", "unknown option '%1'"), word)
                        : Tr(DUOMAT_TR_EN("duomat-cli", "unknown option '%1'; did you mean '%2'?"),
                             word, near));
  }
  for (const CLI::App* sub : deepest->get_subcommands({})) names.push_back(sub->get_name());
  if (names.empty())
    return where + Tr(DUOMAT_TR_EN("duomat-cli", "unexpected argument '%1'"), word);
  const std::string near = Nearest(word, names);
  return where + (near.empty()
                      ? Tr(DUOMAT_TR_EN("duomat-cli", "unknown command '%1'; the commands are: %2"),
                           word, Join(names))
                      : Tr(DUOMAT_TR_EN("duomat-cli", "unknown command '%1'; did you mean '%2'?"),
                           word, near));
}

// The parser's other refusals: a missing argument in the user's language; the
// rest as the parser words them (its checks word theirs through Tr).
std::string TCliParser::Refusal(const CLI::ParseError& e, bool required) {
  const std::string text = e.what();
  const std::string tail = " is required";
  if (required && text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
    return Tr(DUOMAT_TR_EN("duomat-cli", "%1 is missing"), text.substr(0, text.size() - tail.size()));
  return text;
}

const TCommand* TCliParser::Parse(int argc, const char* const* argv, int& status) {
  try {
    app_.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    status = app_.exit(e) == 0 ? 0 : 2;
    return nullptr;
  } catch (const CLI::CallForVersion& e) {
    status = app_.exit(e) == 0 ? 0 : 2;
    return nullptr;
  } catch (const CLI::ParseError& e) {
    // A word that is no command or option is named, with what was near it.
    const bool required = dynamic_cast<const CLI::RequiredError*>(&e) != nullptr;
    const bool unknown = dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr || (required && !app_.remaining().empty());
    if (unknown)
      std::fprintf(stderr, "duomat-cli: %s\n%s\n", Unexpected(e).c_str(), RunWithHelp().c_str());
    else if (required && std::string(e.what()) == "A subcommand is required")
      std::fprintf(stderr, "duomat-cli: %s\n%s\n", MissingCommand().c_str(), RunWithHelp().c_str());
    else
      std::fprintf(stderr, "duomat-cli: %s\n%s\n", Refusal(e, required).c_str(), RunWithHelp().c_str());
    status = 2;
    return nullptr;
  }
  for (const auto& [app, command] : leaves_)
    if (app->parsed()) return command;
  status = 2;
  return nullptr;
}

}  // namespace duomat::cli
