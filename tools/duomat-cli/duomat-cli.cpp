// duomat-cli: what the main window does, one action per call, for scripts
// and headless machines. The same requests on the line, the same messages.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>
#include <tuple>
#include <unistd.h>

#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "core/uInputRules.h"
#include "core/uLibraryStart.h"
#include "core/uModuleActions.h"
#include "protocol/uKorvan97.h"
#include "protocol/uOutra.h"
#include "tools/duomat-cli/uCliBatch.h"
#include "tools/duomat-cli/uCliOutput.h"
#include "tools/duomat-cli/uCliOutputLoop.h"
#include "tools/duomat-cli/uCliProfile.h"
#include "tools/duomat-cli/uCliModule.h"
#include "tools/duomat-cli/uCliScan.h"
#include "tools/duomat-cli/uCliInterrupt.h"
#include "tools/duomat-cli/uCliPorts.h"
#include "transports/uConnectionStringCheck.h"

using namespace duomat;
using namespace duomat::cli;

namespace {
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

bool g_colour = false;

void LogTraffic(korvan::ci::ICommunicationInterface*, const std::string& data, uint8_t direction) {
  if (data.empty()) return;  // a read that found nothing
  const bool sent = direction == korvan::ci::SpyDirectionSent;
  const std::string line = LogLine(data, sent);
  if (g_colour)
    std::fprintf(stderr, "%s%s\033[0m\n", sent ? "\033[33m" : "\033[36m", line.c_str());
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

struct TOptions {
  std::string connection;
  std::string address = "0x31";
  int timeout = 1000;
  bool log = false;
  bool json = false;
  std::string ingraRange;
  std::optional<std::string> range, timeout1, timeout2, value1, value2;
  std::string profile, inventory;
  bool dryRun = false;
  int jobs = 8;
};

// MODULE apply FILE [--dry-run] and MODULE diff FILE (uCliProfile).
std::pair<CLI::App*, CLI::App*> AddProfileCommands(CLI::App* module, TOptions& o) {
  CLI::App* apply = module->add_subcommand(
      "apply", "Check the profile FILE (- for standard input), write only the settings that differ, read back;\n"
               "exit 0 matches, 1 failed, 2 bad profile (nothing sent), with --dry-run 3 when something would change");
  apply->add_option("FILE", o.profile, "A profile: the JSON object that --json MODULE load prints")->required();
  apply->add_flag("--dry-run", o.dryRun, "Only load and print what would change; write nothing");
  CLI::App* diff = module->add_subcommand("diff", "Compare the module with the profile FILE: exit 0 matches, 3 differs");
  diff->add_option("FILE", o.profile, "A profile: the JSON object that --json MODULE load prints")->required();
  return {apply, diff};
}

// An apply's result always says whether the module changed, so that a script can rely on the key.
int UsageError(const std::string& message, bool json, bool apply) {
  if (json) {
    TOutcome failure = Failure(message);
    if (apply) failure.Values["changed"] = false;
    Print(failure, true);
  } else
    std::fprintf(stderr, "duomat-cli: %s\n", Printable(message).c_str());
  return kExitUsage;
}

// 0xFE reaches whichever module is on the line; 0xFF is no module's.
int Address(const TOptions& o) {
  return static_cast<int>(ParseNumber(o.address, "--address", 0, korvan::KorvanUniversalAddress));
}

const TCancel kWritingInterrupted{[] { return TWritingAction::Signal() != 0; }};

TOutcome IngraAction(TModuleAction action, const TOptions& o) {
  TKorvanStackDeviceIngraRec record;
  record.Device()->SetAdr(static_cast<uint8_t>(Address(o)));
  record.Device()->SetTimeout(o.timeout);
  int wanted = -1;
  if (action == TModuleAction::Save) {
    wanted = IngraRangeCode(o.ingraRange);
    if (wanted < 0) throw TInputError("RANGE must be 0, 1, 2, \"0 - 10 V\", \"4 - 20 mA\" or \"0 - 20 mA\": " + o.ingraRange);
  }
  return RunIngraAction(record, o.connection, action, wanted, kWritingInterrupted);
}

TOutcome OutraAction(TModuleAction action, const TOptions& o) {
  TKorvanStackDeviceOutraRec record;
  record.Device()->SetAdr(static_cast<uint8_t>(Address(o)));
  record.Device()->SetTimeout(o.timeout);
  // Everything that can be checked without the module is checked first.
  TOutraChanges changes;
  if (action == TModuleAction::Save) {
    if (o.range) {
      changes.Code = OutraRangeCode(*o.range);
      if (*changes.Code < 0) throw TInputError("--range must be a code 1 to 7 or one of the range texts: " + *o.range);
    }
    const std::optional<std::string>* t[2] = {&o.timeout1, &o.timeout2};
    const std::optional<std::string>* v[2] = {&o.value1, &o.value2};
    const char* tn[2] = {"--timeout1", "--timeout2"};
    const char* vn[2] = {"--value1", "--value2"};
    for (size_t i = 0; i < 2; ++i) {
      if (*t[i]) changes.Timeouts[i] = static_cast<int>(ParseNumber(**t[i], tn[i], 0, korvan::OutraMaxWatchDogTimeout));
      if (*v[i]) {
        changes.Values[i] = ParseValue(**v[i], vn[i]);
        if (changes.Code) CheckOutraValue(*changes.Values[i], *changes.Code, vn[i]);
      }
    }
  }
  return RunOutraAction(record, o.connection, action, changes, kWritingInterrupted);
}

// duomat-cli ports: the serial ports, then the USB converters and HID devices.
int ListPortsCommand(bool json) {
  std::vector<TListedPort> found;
  const bool complete = ListPorts(found);
  if (json) {
    nlohmann::ordered_json j = PortsJson(found);
    j["hid"] = HidPortsJson();
    std::printf("%s\n", j.dump().c_str());
  } else {
    std::fputs((PortsText(found) + HidPortsText()).c_str(), stdout);
  }
  if (complete) return kExitOk;
  std::fprintf(stderr, "duomat-cli: the scan did not complete\n");
  return kExitFailed;
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Configures an Ingra (four analog inputs) or Outra (two analog outputs) module over the Korvan\n"
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
      "lines; with --json one JSON object on standard output instead.",
      "duomat-cli"};
  app.require_subcommand(1);
  app.footer(
      "Exit status:\n"
      "  0   success\n"
      "  1   the module action failed\n"
      "  2   usage error (nothing sent)\n"
      "  3   the module differs from the profile (diff, apply --dry-run, batch)\n"
      "  130 scan or batch stopped by SIGINT (what was done is printed)\n"
      "  128+N  the signal N came during a writing action, which was finished first (a second\n"
      "         Ctrl+C stops at once)\n\n"
      "Environment:\n"
      "  DUOMAT_PORT_DIR      a folder of COMn links that take the place of the COM port numbers\n"
      "  DUOMAT_DEV_DIR       the device folder instead of /dev\n"
      "  DUOMAT_SYSFS_ROOT    the sysfs folder instead of /sys\n"
      "  DUOMAT_D2XX_LIBRARY  the FTDI D2XX library to load instead of libftd2xx.so\n");
  app.set_version_flag("--version", "duomat-cli " DUOMAT_VERSION, "Show the version");
  TOptions o;
  app.add_option("-c,--connection", o.connection, "Connection string of the module's line (every command but ports and batch)");
  app.add_option("--address", o.address, "Module address, decimal or 0x hexadecimal (default 0x31)");
  app.add_option("--timeout", o.timeout, "The device's time-out per request in ms (default 1000)")
      ->check(CLI::Range(1, 600000));
  app.add_flag("--log", o.log, "Show every frame written (=>) and read (<=) on standard error");
  app.add_flag("--json", o.json, "Print one JSON object instead of text");

  CLI::App* ingra = app.add_subcommand("ingra", "The Ingra module (input ranges)");
  ingra->require_subcommand(1);
  CLI::App* ingraLoad = ingra->add_subcommand("load", "Load the input range");
  CLI::App* ingraSave = ingra->add_subcommand("save", "Load, pick RANGE from the offered list, save it to all four inputs");
  ingraSave->add_option("RANGE", o.ingraRange, "0, 1, 2 or \"0 - 10 V\", \"4 - 20 mA\", \"0 - 20 mA\"")->required();
  CLI::App* ingraIdentify = ingra->add_subcommand("identify", "Connect and print the module's identification");
  // Named pointers, not a structured binding: clang 14 cannot capture one in a lambda.
  CLI::App* ingraApply = nullptr;
  CLI::App* ingraDiff = nullptr;
  std::tie(ingraApply, ingraDiff) = AddProfileCommands(ingra, o);

  CLI::App* outra = app.add_subcommand("outra", "The Outra module (output range and watchdogs)");
  outra->require_subcommand(1);
  CLI::App* outraLoad = outra->add_subcommand("load", "Load the range and both watchdogs");
  CLI::App* outraSave = outra->add_subcommand(
      "save", "Load, change what is given, save; options not given keep the module's setting");
  outraSave->add_option("--range", o.range, "Range code 1-7 or its text (\"0 - 10 V\" … \"0 - 24 mA\")");
  outraSave->add_option("--timeout1", o.timeout1, "Watchdog 1 time-out in s, 0-86400; 0 turns it off");
  outraSave->add_option("--value1", o.value1, "Watchdog 1 output value in V or mA, within the range");
  outraSave->add_option("--timeout2", o.timeout2, "Watchdog 2 time-out in s, 0-86400; 0 turns it off");
  outraSave->add_option("--value2", o.value2, "Watchdog 2 output value in V or mA, within the range");
  CLI::App* outraIdentify = outra->add_subcommand("identify", "Connect and print the module's identification");
  // Named pointers, not a structured binding: clang 14 cannot capture one in a lambda.
  CLI::App* outraApply = nullptr;
  CLI::App* outraDiff = nullptr;
  std::tie(outraApply, outraDiff) = AddProfileCommands(outra, o);
  CLI::App* outraOutput = outra->add_subcommand(
      "output", "The output loop test: set the outputs (in V or mA, each in its own range) and read them back;\n"
                "without values only read them");
  outraOutput->add_option("--value1", o.value1, "Output 1 in V or mA, within its range");
  outraOutput->add_option("--value2", o.value2, "Output 2 in V or mA, within its range");
  CLI::App* batch = app.add_subcommand(
      "batch", "Run the entries of the INVENTORY (a JSON array) on many modules: one line at a time per\n"
               "connection, different lines in parallel; exit 0 all ok, 3 a diff differed, 1 any failed");
  batch->add_option("INVENTORY", o.inventory, "The inventory file (- for standard input)")->required();
  batch->add_option("--jobs", o.jobs, "At most N lines at once (default 8)")->check(CLI::Range(1, 1024));
  batch->add_flag("--json", o.json, "Print one JSON object instead of text");
  CLI::App* ports = app.add_subcommand(
      "ports",
      "Scan COM1-COM255 and list the ports found: COMn  PATH [-> TARGET]  free|in use|no access\n"
      "[  usb VID:PID MANUFACTURER PRODUCT SERIAL] [  by-id NAME...];\n"
      "then the FTDI converters: usb  SERIAL  DESCRIPTION;\n"
      "then the HID devices: hid  VID:PID  vid=V pid=P  SERIAL  PRODUCT");
  ports->add_flag("--json", o.json, "Print one JSON object instead of text");
  TModuleCommand moduleCommand;
  AddModuleCommand(app, moduleCommand);
  TScanCommand scanCommand;
  AddScanCommand(app, scanCommand);
  (void)ingraLoad;
  (void)ingraIdentify;
  (void)outraLoad;
  (void)outraIdentify;

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? kExitOk : kExitUsage;
  }

  if (!ports->parsed() && !batch->parsed() && o.connection.empty()) {
    std::fprintf(stderr, "duomat-cli: --connection is required for this command\nRun with --help for more information.\n");
    return kExitUsage;
  }
  if (const std::string problem =
          ports->parsed() || batch->parsed() ? "" : korvan::transport::CheckConnectionString(o.connection);
      !problem.empty())
    return UsageError("--connection: " + problem, o.json, ingraApply->parsed() || outraApply->parsed());
  try {
    if (ports->parsed()) return ListPortsCommand(o.json);
    std::vector<std::string> arguments(argv, argv + argc);
    if (!duomat::StartLibrary(arguments)) throw std::runtime_error("the library did not start");
  } catch (const std::exception& e) {
    duomat::StopLibrary();
    std::fprintf(stderr, "duomat-cli: cannot start: the system gave no thread or descriptor (%s)\n", e.what());
    return kExitFailed;
  }
  if (o.log) {
    g_colour = isatty(STDERR_FILENO);
    korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler::Bind<&LogTraffic>());
  }

  if (moduleCommand.Command->parsed() || scanCommand.Command->parsed()) {
    std::optional<TWritingAction> changing;  // a changed address or rate must be confirmed, not cut off
    if (moduleCommand.Command->parsed() && moduleCommand.Action != "identify" && moduleCommand.Action != "address" &&
        moduleCommand.Action != "numbers")
      changing.emplace("the module's address or rate");
    const int status = moduleCommand.Command->parsed()
                           ? RunModuleCommand(moduleCommand, o.connection, o.address, o.timeout, o.json || moduleCommand.Json)
                           : RunScanCommand(scanCommand, o.connection, o.json || scanCommand.Json);
    korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler());
    duomat::StopLibrary();
    return TWritingAction::ExitStatus(status);
  }
  // The commands that live in files of their own: their exit status, or -1.
  const auto ownCommand = [&]() -> int {
    const bool ingraProfile = ingraApply->parsed() || ingraDiff->parsed();
    const auto address = [&] { return static_cast<uint8_t>(Address(o)); };
    if (batch->parsed()) return BatchCommand(o.inventory, o.jobs, o.timeout, o.json);
    if (outraOutput->parsed()) return OutputTestCommand(o.connection, address(), o.timeout, o.value1, o.value2, o.json);
    if (!ingraProfile && !outraApply->parsed() && !outraDiff->parsed()) return -1;
    const TProfileAction action = ingraDiff->parsed() || outraDiff->parsed() ? TProfileAction::Diff
                                  : o.dryRun                                ? TProfileAction::DryRun
                                                                            : TProfileAction::Apply;
    return ProfileCommand(ingraProfile ? TModuleKind::Ingra : TModuleKind::Outra, o.connection, address(), o.timeout,
                          o.profile, action, o.json);
  };

  int rc = kExitFailed;
  std::optional<TWritingAction> writing;
  if (ingraSave->parsed()) writing.emplace("the Ingra module");
  if (outraSave->parsed()) writing.emplace("the Outra module");
  if ((ingraApply->parsed() || outraApply->parsed()) && !o.dryRun)
    writing.emplace(ingraApply->parsed() ? "the Ingra module" : "the Outra module");
  if (outraOutput->parsed() && (o.value1 || o.value2)) writing.emplace("the Outra module's outputs");
  try {
    TOutcome outcome;
    const int own = ownCommand();
    if (own >= 0) {
    } else if (ingra->parsed()) {
      const TModuleAction action = ingraSave->parsed()       ? TModuleAction::Save
                                   : ingraIdentify->parsed() ? TModuleAction::Identify
                                                             : TModuleAction::Load;
      outcome = IngraAction(action, o);
    } else {
      const TModuleAction action = outraSave->parsed()       ? TModuleAction::Save
                                   : outraIdentify->parsed() ? TModuleAction::Identify
                                                             : TModuleAction::Load;
      outcome = OutraAction(action, o);
    }
    if (own < 0) Print(outcome, o.json);
    rc = own >= 0 ? own : outcome.Ok ? kExitOk : kExitFailed;
  } catch (const TInputError& e) {
    rc = UsageError(e.what(), o.json, ingraApply->parsed() || outraApply->parsed());
  } catch (const std::exception& e) {
    Print(Failure(e.what()), o.json);
    rc = kExitFailed;
  } catch (...) {
    Print(Failure("unknown error"), o.json);
    rc = kExitFailed;
  }
  korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler());
  duomat::StopLibrary();
  return TWritingAction::ExitStatus(rc);
}
