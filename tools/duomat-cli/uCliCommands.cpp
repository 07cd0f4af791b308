#include "tools/duomat-cli/uCliCommands.h"

#include <cstdio>

#include "core/uModuleActions.h"
#include "core/uModuleSettings.h"
#include "core/uText.h"
#include "protocol/uOutra.h"
#include "tools/duomat-cli/uCliBatch.h"
#include "tools/duomat-cli/uCliInterrupt.h"
#include "tools/duomat-cli/uCliModule.h"
#include "tools/duomat-cli/uCliOutput.h"
#include "tools/duomat-cli/uCliOutputLoop.h"
#include "tools/duomat-cli/uCliPorts.h"
#include "tools/duomat-cli/uCliProfile.h"
#include "tools/duomat-cli/uCliScan.h"

namespace duomat::cli {

namespace {
using TOptions = TCliOptions;

const TCancel kWritingInterrupted{[] { return TInterruptPolicy::Signal() != 0; }};

// ---- ingra / outra load, save, identify --------------------------------------

int IngraAction(TModuleAction action, const TOptions& o) {
  TKorvanStackDeviceIngraRec record;
  record.Device()->SetAdr(static_cast<uint8_t>(TargetAddress(o.Address, "--address")));
  record.Device()->SetTimeout(TimeoutOf(o));
  int wanted = -1;
  if (action == TModuleAction::Save) {
    wanted = IngraRangeCode(o.IngraRange);
    if (wanted < 0)
      throw TCliUsage(Tr(
          DUOMAT_TR_EN("duomat-cli",
                       "RANGE must be 0, 1, 2, \"0 - 10 V\", \"4 - 20 mA\" or \"0 - 20 mA\": %1"),
          o.IngraRange));
  }
  const TOutcome outcome = RunIngraAction(record, o.Connection, action, wanted, kWritingInterrupted);
  Print(outcome, o.Json);
  return outcome.Ok ? 0 : 1;
}

int OutraAction(TModuleAction action, const TOptions& o) {
  TKorvanStackDeviceOutraRec record;
  record.Device()->SetAdr(static_cast<uint8_t>(TargetAddress(o.Address, "--address")));
  record.Device()->SetTimeout(TimeoutOf(o));
  // Everything that can be checked without the module is checked first.
  TOutraChanges changes;
  if (action == TModuleAction::Save) {
    if (o.Range) {
      changes.Code = OutraRangeCode(*o.Range);
      if (*changes.Code < 0)
        throw TCliUsage(
            Tr(DUOMAT_TR_EN("duomat-cli",
                            "--range must be a code 1 to 7 or one of the range texts: %1"),
               *o.Range));
    }
    const std::optional<std::string>* t[2] = {&o.Timeout1, &o.Timeout2};
    const std::optional<std::string>* v[2] = {&o.Value1, &o.Value2};
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
  const TOutcome outcome = RunOutraAction(record, o.Connection, action, changes, kWritingInterrupted);
  Print(outcome, o.Json);
  return outcome.Ok ? 0 : 1;
}

// ---- Options of single commands ------------------------------------------------

void AddIngraRange(CLI::App& c, TOptions& o) {
  c.add_option("RANGE", o.IngraRange, "0, 1, 2 or \"0 - 10 V\", \"4 - 20 mA\", \"0 - 20 mA\"")
      ->type_name("CODE|TEXT")
      ->required();
}

void AddOutraSave(CLI::App& c, TOptions& o) {
  c.add_option("--range", o.Range, "Range code 1-7 or its text (\"0 - 10 V\" … \"0 - 24 mA\")")->type_name("CODE|TEXT");
  c.add_option("--timeout1", o.Timeout1, "Watchdog 1 time-out in s, 0-86400; 0 turns it off")->type_name("S");
  c.add_option("--value1", o.Value1, "Watchdog 1 output value in V or mA, within the range")->type_name("V|mA");
  c.add_option("--timeout2", o.Timeout2, "Watchdog 2 time-out in s, 0-86400; 0 turns it off")->type_name("S");
  c.add_option("--value2", o.Value2, "Watchdog 2 output value in V or mA, within the range")->type_name("V|mA");
}

void AddOutputValues(CLI::App& c, TOptions& o) {
  c.add_option("--value1", o.Value1, "Output 1 in V or mA, within its range")->type_name("V|mA");
  c.add_option("--value2", o.Value2, "Output 2 in V or mA, within its range")->type_name("V|mA");
}

void AddApply(CLI::App& c, TOptions& o) {
  c.add_option("FILE", o.Profile, "A profile: the JSON object that --json MODULE load prints; - for standard input")
      ->type_name("")
      ->required();
  c.add_flag("--dry-run", o.DryRun, "Only load and print what would change; write nothing");
}

void AddDiff(CLI::App& c, TOptions& o) {
  c.add_option("FILE", o.Profile, "A profile: the JSON object that --json MODULE load prints; - for standard input")
      ->type_name("")
      ->required();
}

void AddBatch(CLI::App& c, TOptions& o) {
  c.add_option("INVENTORY", o.Inventory, "The inventory file (- for standard input)")->type_name("FILE")->required();
  c.add_option("--jobs", o.Jobs, "At most N lines at once, 1-1024 (default 8)")->type_name("N");
  c.add_option("--timeout", o.Timeout, "The devices' time-out per request in ms, 1-600000 (default 1000)")
      ->type_name("MS");
}

int Profile(TModuleKind kind, TProfileAction action, const TOptions& o) {
  return ProfileCommand(kind, o.Connection, static_cast<uint8_t>(TargetAddress(o.Address, "--address")), TimeoutOf(o),
                        o.Profile, action, o.Json);
}

TProfileAction ApplyAction(const TOptions& o) { return o.DryRun ? TProfileAction::DryRun : TProfileAction::Apply; }

bool Applies(const TOptions& o) { return !o.DryRun; }
bool SetsOutputs(const TOptions& o) { return o.Value1 || o.Value2; }

// duomat-cli ports: the serial ports, then the USB converters and HID devices.
int ListPortsCommand(const TOptions& o) {
  std::vector<TListedPort> found;
  const bool complete = ListPorts(found);
  if (o.Json) {
    nlohmann::ordered_json j = PortsJson(found);
    j["hid"] = HidPortsJson();
    std::printf("%s\n", JsonLine(j).c_str());
  } else {
    std::fputs((PortsText(found) + HidPortsText()).c_str(), stdout);
  }
  if (complete) return 0;
  std::fprintf(stderr, "duomat-cli: %s\n",
               Tr(DUOMAT_TR_EN("duomat-cli", "the scan did not complete")).c_str());
  return 1;
}

constexpr const char* kModuleExamples =
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" module identify\n"
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" module numbers --json\n"
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" --address 0x31 module set-address 0x32\n"
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" module assign-address 0x40 --numbers 1,2\n";
#define DUOMAT_PROFILE_EXAMPLES(kind)                                                                   \
  "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" --json " kind " load > saved.json\n" \
  "  duomat-cli -c \"provider=SERIAL_PORT;comport=34;baudrate=9600\" " kind " apply --dry-run saved.json\n" \
  "  duomat-cli -c \"provider=SERIAL_PORT;comport=34;baudrate=9600\" " kind " apply saved.json\n"
constexpr const char* kIngraApplyExamples = DUOMAT_PROFILE_EXAMPLES("ingra");
constexpr const char* kOutraApplyExamples = DUOMAT_PROFILE_EXAMPLES("outra");
#undef DUOMAT_PROFILE_EXAMPLES
constexpr const char* kIngraDiffExamples =
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=34;baudrate=9600\" ingra diff saved.json\n";
constexpr const char* kOutraDiffExamples =
    "  duomat-cli -c \"provider=SERIAL_PORT;comport=34;baudrate=9600\" outra diff saved.json || echo differs\n";
}  // namespace

const std::vector<TCommandGroup>& CommandGroups() {
  static const std::vector<TCommandGroup> groups = {
      {"ingra", "The Ingra module (input ranges)", ""},
      {"outra", "The Outra module (output range and watchdogs)", ""},
      {"module", "The instructions every Korvan module shares, at --address (default 0x31)", kModuleExamples}};
  return groups;
}

const std::vector<TCommand>& Commands() {
  using K = TModuleKind;
  using A = TModuleAction;
  static const std::vector<TCommand> commands = {
      {"ingra load", "Load the input range", "", true, true, true, false, "", nullptr, nullptr,
       [](const TOptions& o) { return IngraAction(A::Load, o); }},
      {"ingra save", "Load, pick RANGE from the offered list, save it to all four inputs",
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" ingra save \"4 - 20 "
       "mA\"\n",
       true, true, true, false, DUOMAT_NOOP_EN("duomat-cli", "the Ingra module"), nullptr,
       &AddIngraRange, [](const TOptions& o) { return IngraAction(A::Save, o); }},
      {"ingra identify", "Connect and print the module's identification", "", true, true, true,
       false, "", nullptr, nullptr, [](const TOptions& o) { return IngraAction(A::Identify, o); }},
      {"ingra apply",
       "Check the profile FILE (- for standard input), write only the settings that differ, read "
       "back;\n"
       "exit 0 matches, 1 failed, 2 bad profile (nothing sent), with --dry-run 3 when something "
       "would change",
       kIngraApplyExamples, true, true, true, false,
       DUOMAT_NOOP_EN("duomat-cli", "the Ingra module"), &Applies, &AddApply,
       [](const TOptions& o) { return Profile(K::Ingra, ApplyAction(o), o); }},
      {"ingra diff", "Compare the module with the profile FILE: exit 0 matches, 3 differs",
       kIngraDiffExamples, true, true, true, false, "", nullptr, &AddDiff,
       [](const TOptions& o) { return Profile(K::Ingra, TProfileAction::Diff, o); }},
      {"outra load", "Load the range and both watchdogs", "", true, true, true, false, "", nullptr,
       nullptr, [](const TOptions& o) { return OutraAction(A::Load, o); }},
      {"outra save",
       "Load, change what is given, save; options not given keep the module's setting",
       "  duomat-cli -c \"provider=TCP_CLIENT;host=192.168.1.254;port=10001\" \\\n"
       "      outra save --range \"4 - 20 mA\" --timeout1 60 --value1 12\n",
       true, true, true, false, DUOMAT_NOOP_EN("duomat-cli", "the Outra module"), nullptr,
       &AddOutraSave, [](const TOptions& o) { return OutraAction(A::Save, o); }},
      {"outra identify", "Connect and print the module's identification", "", true, true, true,
       false, "", nullptr, nullptr, [](const TOptions& o) { return OutraAction(A::Identify, o); }},
      {"outra apply",
       "Check the profile FILE (- for standard input), write only the settings that differ, read "
       "back;\n"
       "exit 0 matches, 1 failed, 2 bad profile (nothing sent), with --dry-run 3 when something "
       "would change",
       kOutraApplyExamples, true, true, true, false,
       DUOMAT_NOOP_EN("duomat-cli", "the Outra module"), &Applies, &AddApply,
       [](const TOptions& o) { return Profile(K::Outra, ApplyAction(o), o); }},
      {"outra diff", "Compare the module with the profile FILE: exit 0 matches, 3 differs",
       kOutraDiffExamples, true, true, true, false, "", nullptr, &AddDiff,
       [](const TOptions& o) { return Profile(K::Outra, TProfileAction::Diff, o); }},
      {"outra output",
       "The output loop test: set the outputs (in V or mA, each in its own range) and read them "
       "back;\n"
       "without values only read them",
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" outra output\n"
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" outra output --value1 12 "
       "--value2 4\n",
       true, true, true, false, DUOMAT_NOOP_EN("duomat-cli", "the Outra module's outputs"),
       &SetsOutputs, &AddOutputValues,
       [](const TOptions& o) {
         return OutputTestCommand(o.Connection, static_cast<uint8_t>(TargetAddress(o.Address, "--address")),
                                  TimeoutOf(o), o.Value1, o.Value2, o.Json);
       }},
      {"module identify", "The module's identification text", "", true, true, true, false, "",
       nullptr, nullptr, [](const TOptions& o) { return RunModuleCommand("identify", o); }},
      {"module address", "The module's address and baud rate (0xF0)", "", true, true, true, false,
       "", nullptr, nullptr, [](const TOptions& o) { return RunModuleCommand("address", o); }},
      {"module numbers", "The module's two words and 32-bit number (0xFA)", "", true, true, true,
       false, "", nullptr, nullptr,
       [](const TOptions& o) { return RunModuleCommand("numbers", o); }},
      {"module set-address", "Move the module to NEW (0x00-0xFD); refused when NEW is taken",
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" --address 0x31 module "
       "set-address 0x32\n",
       true, true, true, false, DUOMAT_NOOP_EN("duomat-cli", "the module's address or rate"),
       nullptr, &AddNewAddress,
       [](const TOptions& o) { return RunModuleCommand("set-address", o); }},
      {"module set-baud",
       "Switch the module to RATE (110 ... 230400); a serial line follows and verifies it",
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" module set-baud 19200\n",
       true, true, true, false, DUOMAT_NOOP_EN("duomat-cli", "the module's address or rate"),
       nullptr, &AddModuleRate, [](const TOptions& o) { return RunModuleCommand("set-baud", o); }},
      {"module assign-address",
       "Give the module whose numbers are A,B the address NEW, through the universal address",
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" module assign-address "
       "0x40 --numbers 1,2\n",
       true, true, true, false, DUOMAT_NOOP_EN("duomat-cli", "the module's address or rate"),
       nullptr, &AddAssignAddress,
       [](const TOptions& o) { return RunModuleCommand("assign-address", o); }},
      {"scan",
       "Ask every address for its identification, one request at a time, and list who answers:\n"
       "ADDRESS  [RATE  ]IDENTIFICATION. Exit 0 when a module answered, 1 when none, 128+N on "
       "signal N",
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" scan --quick\n"
       "  duomat-cli -c \"provider=SERIAL_PORT;comport=33;baudrate=9600\" scan --baudrates all "
       "--json\n"
       "  duomat-cli -c \"provider=TCP_CLIENT;host=192.168.1.254;port=10001\" scan --from 0x30 "
       "--to 0x3F\n",
       true, false, true, false, "", nullptr, &AddScanOptions, &RunScanCommand},
      {"batch",
       "Run the entries of the INVENTORY (a JSON array) on many modules: one line at a time per\n"
       "connection, different lines in parallel; exit 0 all ok, 3 a diff differed, 1 any failed",
       "  duomat-cli batch inventory.json\n"
       "  duomat-cli batch --jobs 4 --json - < inventory.json\n",
       false, false, true, true, "", nullptr, &AddBatch,
       [](const TOptions& o) {
         const int jobs = static_cast<int>(ParseNumber(o.Jobs, "--jobs", 1, 1024));
         return BatchCommand(o.Inventory, jobs, TimeoutOf(o), o.Json);
       }},
      {"ports",
       "Scan COM1-COM255 and list the ports found: COMn  PATH [-> TARGET]  free|in use|no access\n"
       "[  usb VID:PID MANUFACTURER PRODUCT SERIAL] [  by-id NAME...];\n"
       "then the FTDI converters: usb  SERIAL  DESCRIPTION;\n"
       "then the HID devices: hid  VID:PID  vid=V pid=P  SERIAL  PRODUCT",
       "", false, false, false, false, "", nullptr, nullptr, &ListPortsCommand},
  };
  return commands;
}

std::string WriteTarget(const TCommand& command, const TCliOptions& options) {
  if (*command.Writes == '\0' || (command.WritesNow != nullptr && !command.WritesNow(options))) return "";
  return Tr(kCliContext, command.Writes);
}

}  // namespace duomat::cli
