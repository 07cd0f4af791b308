// korvan-sim: a simulated Ingra or Outra module on a pseudo-terminal, TCP
// or UDP, so that the program and its tests run without hardware.
#include <CLI/CLI.hpp>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/uInputRules.h"
#include "tools/korvan-sim/uFtdiTree.h"
#include "tools/korvan-sim/uIngraModel.h"
#include "tools/korvan-sim/uOutraModel.h"
#include "tools/korvan-sim/uSimBus.h"
#include "tools/korvan-sim/uSimServer.h"

using namespace korvan::sim;

namespace {
// How far SIGUSR1 has moved the modules' clock ahead of the real one: a test
// sees a watchdog run out without waiting for it. Only the server's loop
// touches it.
std::chrono::steady_clock::duration g_clockAhead{};
std::chrono::steady_clock::time_point ModuleClock() { return std::chrono::steady_clock::now() + g_clockAhead; }

// The operator's one number rule: decimal or 0x hexadecimal, never octal.
bool ParseNumber(const std::string& text, long& value) {
  try {
    value = duomat::ParseNumber(text, "", LONG_MIN, LONG_MAX);
    return true;
  } catch (const duomat::TInputError&) {
    return false;
  }
}

// CLI11 reads a leading zero as octal: every number option goes through the
// same rule first, so that 064 is sixty-four.
const CLI::Validator kNumber(
    [](std::string& text) -> std::string {
      long value = 0;
      if (!ParseNumber(text, value)) return "not a whole number (decimal or 0x hexadecimal): " + text;
      text = std::to_string(value);
      return "";
    },
    "N");

std::vector<long> ParseList(const std::string& text) {
  std::vector<long> values;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    long v = 0;
    if (!ParseNumber(item, v)) throw CLI::ValidationError("not a list of numbers: " + text);
    values.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values;
}

std::string ParseHex(const std::string& option, const std::string& text) {
  std::string bytes;
  std::string digits;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  if (digits.size() % 2 != 0) throw CLI::ValidationError(option + " needs whole bytes in hex: " + text);
  for (size_t i = 0; i < digits.size(); i += 2) bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return bytes;
}

// The options that describe one module; each --module starts a new one.
const std::set<std::string> kModuleOptions = {"--module", "--address", "--kind", "--codes",
                                              "--ranges", "--numbers", "--baud", "--identification"};

struct TArguments {
  std::vector<std::vector<std::string>> Modules;  // each group starts with --module
  std::vector<std::string> Rest;                  // the line's options
};

// Options of a module given before the first --module belong to it, so the
// one-module form takes them in any order.
TArguments SplitArguments(int argc, char** argv) {
  TArguments a;
  std::vector<std::string> before;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t equals = arg.find('=');
    if (!kModuleOptions.count(arg.substr(0, equals))) {
      a.Rest.push_back(arg);
      continue;
    }
    if (arg.rfind("--module", 0) == 0) a.Modules.emplace_back();
    std::vector<std::string>& group = a.Modules.empty() ? before : a.Modules.back();
    group.push_back(arg);
    if (equals == std::string::npos && i + 1 < argc) group.push_back(argv[++i]);
  }
  if (a.Modules.empty())
    a.Rest.insert(a.Rest.end(), before.begin(), before.end());  // for CLI11 to refuse or ignore
  else
    a.Modules.front().insert(a.Modules.front().end(), before.begin(), before.end());
  return a;
}

struct TModuleSpec {
  std::string Module, Address = "0x31", Kind = "current", Codes, Ranges, Numbers;
  uint32_t Baud = 0;
  std::optional<std::string> Identification;
};

// The module options, for the one-module form's --help and each group's parse.
void AddModuleOptions(CLI::App& app, TModuleSpec& m) {
  app.add_option("--module", m.Module,
                 "Which module: ingra or outra. Repeat it for several modules on one line (a bus),\n"
                 "each followed by its own --address, --kind, --codes, --ranges, --numbers, --baud")
      ->check(CLI::IsMember({"ingra", "outra"}));
  app.add_option("--address", m.Address, "Module address, decimal or 0x hexadecimal (default 0x31)");
  app.add_option("--kind", m.Kind, "Ingra only: voltage (code 0) or current (codes 1, 2) inputs (default current)")
      ->check(CLI::IsMember({"voltage", "current"}));
  app.add_option("--codes", m.Codes, "Ingra only: the four range codes, c1,c2,c3,c4 (default the kind's first range)");
  app.add_option("--ranges", m.Ranges, "Outra only: the two output range codes r1,r2 (default 1,1)");
  app.add_option("--numbers", m.Numbers, "The numbers A,B,C that 0xFA reads (A and B also pick the module for 0xEB)");
  app.add_option("--baud", m.Baud,
                 "On a pseudo-terminal the module hears and answers only while the line runs at RATE\n"
                 "(one of the baud table: 110 ... 230400); 0xE0 changes it after the answer")
      ->transform(kNumber);
  app.add_option("--identification", m.Identification, "The identification text the module answers with");
}

std::unique_ptr<TModuleModel> BuildModule(std::vector<std::string> group, uint32_t& rate) {
  CLI::App parser{"", "korvan-sim"};
  TModuleSpec m;
  AddModuleOptions(parser, m);
  std::reverse(group.begin(), group.end());  // CLI11 takes a vector last argument first
  parser.parse(group);
  long address = 0;
  if (!ParseNumber(m.Address, address) || address < 0 || address > 255)
    throw CLI::ValidationError("--address must be 0 to 255: " + m.Address);
  if (m.Baud != 0 && BaudCode(m.Baud) < 0) throw CLI::ValidationError("--baud is not in the baud table: " + std::to_string(m.Baud));
  rate = m.Baud;
  std::unique_ptr<TModuleModel> model;
  if (m.Module == "ingra") {
    auto ingra = std::make_unique<TIngraModel>(m.Kind == "voltage" ? TIngraKind::Voltage : TIngraKind::Current);
    if (!m.Codes.empty()) {
      const std::vector<long> codes = ParseList(m.Codes);
      if (codes.size() != 4) throw CLI::ValidationError("--codes needs four codes");
      TIngraModel::TCodes c{};
      for (int i = 0; i < 4; ++i) c[i] = static_cast<uint8_t>(codes[i]);
      ingra->SetCodes(c);
    }
    model = std::move(ingra);
  } else {
    auto outra = std::make_unique<TOutraModel>(&ModuleClock);
    if (!m.Ranges.empty()) {
      const std::vector<long> ranges = ParseList(m.Ranges);
      if (ranges.size() != 2) throw CLI::ValidationError("--ranges needs two codes");
      outra->SetRange(1, static_cast<uint8_t>(ranges[0]));
      outra->SetRange(2, static_cast<uint8_t>(ranges[1]));
    }
    model = std::move(outra);
  }
  if (m.Identification) model->SetIdentification(*m.Identification);
  if (!m.Numbers.empty()) {
    const std::vector<long> n = ParseList(m.Numbers);
    if (n.size() != 3 || n[0] < 0 || n[0] > 0xFFFF || n[1] < 0 || n[1] > 0xFFFF || n[2] < 0 || n[2] > 0xFFFFFFFFL)
      throw CLI::ValidationError("--numbers needs A,B (0 to 65535) and C (0 to 4294967295): " + m.Numbers);
    model->SetNumbers({static_cast<uint16_t>(n[0]), static_cast<uint16_t>(n[1]), static_cast<uint32_t>(n[2])});
  }
  model->SetAddress(static_cast<uint8_t>(address));
  return model;
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Simulates Korvan modules (Ingra: four analog inputs, Outra: two analog outputs) that answer\n"
      "format 97 requests like the real modules, on a pseudo-terminal (for the serial port transport),\n"
      "on TCP (each connection served), on UDP (each datagram answered to its sender) and as a\n"
      "USB HID device in a folder tree (DIR/sys for DUOMAT_SYSFS_ROOT, DIR/dev for DUOMAT_DEV_DIR)\n"
      "or, as root, a kernel HID device with a real hidraw node (--uhid).\n"
      "When ready it prints one line per endpoint ('pty /dev/pts/N', 'tcp 127.0.0.1:PORT',\n"
      "'udp 127.0.0.1:PORT', 'hid DIR/dev/hidrawN', 'uhid /dev/hidrawN') and runs until SIGINT, SIGTERM or SIGHUP.\n"
      "SIGUSR1 moves the modules' clock a day ahead: every watchdog runs out at once.\n\n"
      "A bus: several modules on one line, each --module followed by its own options, e.g.\n"
      "  korvan-sim --module ingra --address 0x31 --baud 9600 --module outra --address 0x32 --pty\n"
      "Each answers its own address and the universal 0xFE; answers sent together collide\n"
      "(their bytes interleaved). The fault options apply to every module.",
      "korvan-sim"};
  app.set_version_flag("--version", "korvan-sim " DUOMAT_VERSION, "Show the version");
  app.footer(
      "Exit status:\n"
      "  0   stopped by SIGINT, SIGTERM or SIGHUP\n"
      "  1   an endpoint could not be served\n"
      "  2   usage error");
  std::string link, tcp, udp, noise, suffix, hid;
  std::string ftdiDir, serial;
  THidIdentity hidIdentity;
  bool pty = false, badChecksum = false, silent = false, noticeFirst = false, uhid = false;
  int uhidReportId = -1;
  int delay = 0, split = -1, forcedAck = -1, closeAfter = 0;
  TModuleSpec helpOnly;  // each group is parsed on its own below
  AddModuleOptions(app, helpOnly);
  app.add_flag("--pty", pty, "Serve on a new pseudo-terminal");
  app.add_option("--link", link, "Also make DIR/COMn a symbolic link to the pseudo-terminal (implies --pty)");
  app.add_option("--ftdi", ftdiDir,
                 "Also serve as an FTDI converter for the kernel backend: a sysfs tree in DIR/sys and\n"
                 "DIR/dev/ttyUSBn (the first free n) linked to the pseudo-terminal, removed on exit (implies --pty)");
  app.add_option("--serial", serial,
                 "The serial number with --ftdi (default FT123456), --hid (default SIM and the hidraw number)\n"
                 "or --uhid (default SIMUHID)");
  app.add_option("--tcp", tcp, "Listen on 127.0.0.1:PORT (port 0 picks one) and serve each connection");
  app.add_option("--udp", udp, "Answer datagrams on 127.0.0.1:PORT (port 0 picks one)");
  app.add_option("--hid", hid, "Serve as a HID device: the next free DIR/dev/hidrawN and its DIR/sys entry");
  app.add_flag("--uhid", uhid,
               "Serve as a kernel HID device made through /dev/uhid (root), reports without IDs;\n"
               "announced as 'uhid /dev/hidrawN'");
  app.add_option("--uhid-report-id", uhidReportId,
                 "With --uhid (implied): number the reports with this ID (the module's is 64)")
      ->transform(kNumber)
      ->check(CLI::Range(1, 255));
  app.add_option("--vid", hidIdentity.VendorID, "HID vendor ID, decimal (default 1240)")
      ->transform(kNumber);
  app.add_option("--pid", hidIdentity.ProductID, "HID product ID, decimal (default 63)")
      ->transform(kNumber);
  app.add_option("--delay", delay, "Fault: wait MS milliseconds before every answer")
      ->transform(kNumber);
  app.add_option("--noise", noise, "Fault: send these bytes (hex, e.g. 00FF13) before every answer");
  app.add_option("--suffix", suffix, "Fault: send these bytes (hex) after every answer");
  app.add_option("--split", split, "Fault: send every answer in two pieces with MS milliseconds between them")
      ->transform(kNumber);
  app.add_flag("--bad-checksum-first", badChecksum, "Fault: spoil the checksum of the first answer only");
  app.add_flag("--silent", silent, "Fault: never answer");
  app.add_flag("--notice-first", noticeFirst,
               "Fault: send a frame with the request's SIG and code 0x0D before every answer");
  app.add_option("--forced-ack", forcedAck, "Fault: refuse every request with this acknowledge code")
      ->transform(kNumber);
  app.add_option("--close-after", closeAfter,
                 "Fault: close each TCP connection, hang up the pseudo-terminal for good, or unplug the\n"
                 "--uhid device, after N answers")
      ->transform(kNumber)
      ->check(CLI::NonNegativeNumber);
  TArguments arguments = SplitArguments(argc, argv);
  std::reverse(arguments.Rest.begin(), arguments.Rest.end());  // CLI11 takes a vector last argument first
  TSimBus bus;
  try {
    app.parse(arguments.Rest);
    if (arguments.Modules.empty()) throw CLI::RequiredError("--module");
    for (const auto& group : arguments.Modules) {
      uint32_t rate = 0;
      std::unique_ptr<TModuleModel> model = BuildModule(group, rate);
      bus.Add(std::move(model), rate);
    }
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  try {
    if (!link.empty() || !ftdiDir.empty()) pty = true;
    if (uhidReportId > 0) uhid = true;
    if (!pty && tcp.empty() && udp.empty() && hid.empty() && !uhid)
      throw CLI::ValidationError("give at least one of --pty, --link, --ftdi, --tcp, --udp, --hid, --uhid");
    const std::string ftdiSerial = serial.empty() ? "FT123456" : serial;
    hidIdentity.SerialNumber = serial;

    TFaults faults;
    faults.DelayMs = delay;
    faults.Noise = ParseHex("--noise", noise);
    faults.Suffix = ParseHex("--suffix", suffix);
    faults.SplitPauseMs = split;
    faults.BadChecksumOnce = badChecksum;
    faults.Silent = silent;
    faults.NoticeBeforeAnswer = noticeFirst;
    if (forcedAck >= 0) faults.ForcedAck = static_cast<uint8_t>(forcedAck);
    for (size_t i = 0; i < bus.Size(); ++i) bus.Module(i).SetFaults(faults);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);  // a closed terminal: the trees go all the same
    sigaddset(&signals, SIGUSR1);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);

    TSimServer server(bus);
    server.SetSignalFd(signalFd, [] { g_clockAhead += std::chrono::seconds(TOutraModel::MaxTimeout); });
    server.SetCloseAfter(closeAfter);
    std::vector<std::string> ready;
    if (pty) ready.push_back(server.OpenPty(link));
    // The converter's tree goes with the simulator, however it ends.
    struct TFtdiTreeGuard {
      std::string dir;
      TFtdiConverter converter;
      ~TFtdiTreeGuard() {
        if (!dir.empty()) RemoveFtdiTree(dir, converter);
      }
    } ftdi;
    if (!ftdiDir.empty()) {
      ftdi.converter.SerialNumber = ftdiSerial;
      // Beside converters other simulators serve there: the first free ttyUSBn.
      for (int n = 0;; ++n) {
        struct stat st{};
        if (lstat((ftdiDir + "/dev/ttyUSB" + std::to_string(n)).c_str(), &st) == 0) continue;
        ftdi.converter.Tty = "ttyUSB" + std::to_string(n);
        ftdi.converter.Bus = "1-" + std::to_string(n + 1);
        break;
      }
      WriteFtdiTree(ftdiDir, ftdi.converter, ready.front().substr(4));  // "pty /dev/pts/N"
      ftdi.dir = ftdiDir;
      ready.push_back("ftdi " + ftdiSerial + " " + ftdiDir + "/dev/" + ftdi.converter.Tty);
    }
    if (!tcp.empty()) ready.push_back(server.ListenTcp(tcp));
    if (!udp.empty()) ready.push_back(server.BindUdp(udp));
    if (!hid.empty()) ready.push_back(server.ServeHid(hid, hidIdentity));
    if (uhid) ready.push_back(server.ServeUhid(hidIdentity, static_cast<uint8_t>(std::max(uhidReportId, 0))));
    for (const std::string& line : ready) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    server.Run();
    close(signalFd);
    return 0;
  } catch (const CLI::ValidationError& e) {
    std::fprintf(stderr, "korvan-sim: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvan-sim: %s\n", e.what());
    return 1;
  }
}
