#include "core/uBatch.h"

#include <cctype>
#include <map>
#include <system_error>

#include "comm/uci_ConnectionString.h"
#include "core/uInputRules.h"
#include "core/uModuleText.h"
#include "core/uOpenFailure.h"
#include "core/uOutcome.h"
#include "core/uText.h"
#include "protocol/uIngra.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uOutra.h"
#include "transports/uConnectionStringCheck.h"

namespace duomat {

namespace {
using json = nlohmann::json;
using ojson = nlohmann::ordered_json;

// ---- The inventory ---------------------------------------------------------

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return path == "-" || slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string StringField(const json& e, const char* field) {
  const auto v = e.find(field);
  if (v == e.end()) throw TProfileError(Tr(DUOMAT_TR_EN("Inventory", "%1 is missing"), field));
  if (!v->is_string() || v->get<std::string>().empty())
    throw TProfileError(Tr(DUOMAT_TR_EN("Inventory", "%1 must be a text"), field));
  return v->get<std::string>();
}

uint8_t AddressField(const json& e) {
  const auto v = e.find("address");
  if (v == e.end()) return 0x31;
  long a = -1;
  if (v->is_number_integer()) {
    a = static_cast<long>(v->get<long long>());
  } else if (v->is_string()) {
    try {
      a = ParseNumber(v->get<std::string>(), "address", 0, LastModuleAddress);
    } catch (const TInputError&) {
      a = -1;  // refused below with the entry's own message
    }
  }
  if (a < 0 || a > 253)
    throw TProfileError(
        Tr(DUOMAT_TR_EN("Inventory",
                        "address must be a module address from 0 to 253 (or 0x00 to 0xFD): %1"),
           v->dump()));
  return static_cast<uint8_t>(a);
}

TBatchEntry ParseEntry(const json& e, const std::string& folder) {
  if (!e.is_object()) throw TProfileError(Tr(DUOMAT_TR_EN("Inventory", "is not a JSON object")));
  for (const auto& [key, value] : e.items())
    if (key != "name" && key != "connection" && key != "address" && key != "module" && key != "action" &&
        key != "profile")
      throw TProfileError(Tr(DUOMAT_TR_EN("Inventory",
                                          "%1 is not a key of an inventory entry (name, "
                                          "connection, address, module, action, profile)"),
                             json(key).dump()));
  TBatchEntry entry;
  entry.Name = StringField(e, "name");
  entry.Connection = StringField(e, "connection");
  if (const std::string problem = korvan::transport::CheckConnectionString(entry.Connection); !problem.empty())
    throw TProfileError(Tr(DUOMAT_TR_EN("Inventory", "connection: %1"), problem));
  entry.Address = AddressField(e);
  const std::string module = StringField(e, "module");
  if (module != "ingra" && module != "outra")
    throw TProfileError(
        Tr(DUOMAT_TR_EN("Inventory", "module must be \"ingra\" or \"outra\": %1"), module));
  entry.Module = module == "ingra" ? TModuleKind::Ingra : TModuleKind::Outra;
  const std::string action = StringField(e, "action");
  const std::map<std::string, TBatchAction> actions = {{"identify", TBatchAction::Identify},
                                                       {"load", TBatchAction::Load},
                                                       {"apply", TBatchAction::Apply},
                                                       {"diff", TBatchAction::Diff}};
  const auto a = actions.find(action);
  if (a == actions.end())
    throw TProfileError(
        Tr(DUOMAT_TR_EN("Inventory", "action must be identify, load, apply or diff: %1"), action));
  entry.Action = a->second;
  if (entry.Action != TBatchAction::Apply && entry.Action != TBatchAction::Diff) return entry;
  const auto profile = e.find("profile");
  if (profile == e.end())
    throw TProfileError(
        Tr(DUOMAT_TR_EN("Inventory", "profile is missing (a file or an inline profile)")));
  const std::string file = profile->is_string() ? profile->get<std::string>() : std::string();
  try {
    entry.Profile = ParseProfile(
        profile->is_string() ? ReadJsonFile(!file.empty() && file[0] == '/' ? file : folder + file) : *profile,
        entry.Module);
  } catch (const TProfileError& err) {
    throw TProfileError(file.empty()
                            ? Tr(DUOMAT_TR_EN("Inventory", "profile: %1"), err.what())
                            : Tr(DUOMAT_TR_EN("Inventory", "profile %1: %2"), file, err.what()));
  }
  return entry;
}

TBatchResult Failed(std::string message) {
  TBatchResult r;
  r.State = TBatchResult::TState::Failed;
  r.Message = std::move(message);
  return r;
}

}  // namespace

std::string LineIdentity(const std::string& connection) {
  // Blanks and line breaks count for nothing, as in the provider lookup.
  std::string compact;
  for (const char c : connection)
    if (c != ' ' && c != '\r' && c != '\n') compact += c;
  std::map<std::string, std::string> items;  // keys in lower case; the first of a key wins
  for (const korvan::TConnectionItem& item : korvan::ParseConnectionItems(compact).Items) {
    std::string key = item.Key;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    items.emplace(key, item.Value);
  }
  const auto text = [&](const char* key) {
    const auto it = items.find(key);
    return it == items.end() ? std::string() : it->second;
  };
  const auto number = [&](const char* key) {
    int32_t n = 0;
    return korvan::StrToIntStrict(text(key), n) ? std::to_string(n) : text(key);
  };
  std::string provider = text("provider");
  for (char& c : provider) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (provider == "SERIAL_PORT") return provider + " " + number("comport");
  if (provider == "FTD_USB") return provider + " " + text("serial_number");
  if (provider == "TCP_CLIENT" || provider == "UDP_CLIENT") {
    std::string host = text("host");
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return provider + " " + host + ":" + number("port");
  }
  if (provider == "HID") return provider + " " + number("vid") + ":" + number("pid") + " " + text("serial_number");
  return connection;
}

const char* BatchActionName(TBatchAction a) {
  switch (a) {
    case TBatchAction::Identify: return "identify";
    case TBatchAction::Load: return "load";
    case TBatchAction::Apply: return "apply";
    default: return "diff";
  }
}

std::vector<TBatchEntry> ReadInventory(const std::string& path) {
  const json all = ReadJsonFile(path);
  if (!all.is_array() || all.empty())
    throw TProfileError(
        Tr(DUOMAT_TR_EN("Inventory", "must be a JSON array of entries, not empty")));
  std::vector<TBatchEntry> entries;
  std::set<std::string> names;
  for (size_t i = 0; i < all.size(); ++i) {
    const json& e = all[i];
    const std::string which =
        e.is_object() && e.contains("name") && e["name"].is_string()
            ? Tr(DUOMAT_TR_EN("Inventory", "entry %1 (%2)"), i + 1, e["name"].get<std::string>())
            : Tr(DUOMAT_TR_EN("Inventory", "entry %1"), i + 1);
    try {
      entries.push_back(ParseEntry(e, FolderOf(path)));
    } catch (const TProfileError& err) {
      throw TProfileError(which + ": " + err.what());
    }
    if (!names.insert(entries.back().Name).second)
      throw TProfileError(Tr(DUOMAT_TR_EN("Inventory", "%1: name is not unique"), which));
  }
  return entries;
}

const char* BatchOutcomeName(const TBatchResult& r) {
  switch (r.State) {
    case TBatchResult::TState::NotRun: return "not run";
    case TBatchResult::TState::Differs: return "differs";
    case TBatchResult::TState::Failed: return "failed";
    default: return r.Changed ? "changed" : "ok";
  }
}

int BatchStatus(const std::vector<TBatchResult>& results) {
  bool differs = false;
  for (const TBatchResult& r : results) {
    if (r.State == TBatchResult::TState::Failed || r.State == TBatchResult::TState::NotRun) return 1;
    differs = differs || r.State == TBatchResult::TState::Differs;
  }
  return differs ? 3 : 0;
}

// ---- Running -------------------------------------------------------------

TBatchRun::TBatchRun(const std::vector<TBatchEntry>& entries, int timeout)
    : entries_(entries), timeout_(timeout), results_(entries.size()) {
  std::map<std::string, size_t> line;
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto [at, added] = line.emplace(LineIdentity(entries[i].Connection), lines_.size());
    if (added) lines_.emplace_back();
    lines_[at->second].push_back(i);
  }
}

TBatchRun::~TBatchRun() {
  Stop();
  Join();
}

void TBatchRun::Start(size_t jobs, std::function<void()> ended) {
  const auto finish = [this, ended] {
    ended_ = true;
    if (ended) ended();
  };
  try {
    const size_t count = std::min(lines_.size(), jobs);
    for (size_t i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
    // The workers end by themselves; the watcher tells when all have.
    watcher_ = std::thread([this, finish] {
      for (std::thread& w : workers_) w.join();
      finish();
    });
  } catch (const std::system_error&) {
    // Fewer threads than asked for: those that started do all the work.
    if (workers_.empty())
      throw std::runtime_error(
          Tr(DUOMAT_TR_EN("Inventory", "no thread could be started for the batch")));
    if (!watcher_.joinable()) {
      for (std::thread& w : workers_) w.join();
      finish();
    }
  }
}

void TBatchRun::Join() {
  if (watcher_.joinable()) watcher_.join();
  for (std::thread& w : workers_)
    if (w.joinable()) w.join();
}

// One worker: lines in inventory order until none is left or a stop.
void TBatchRun::Work() {
  for (;;) {
    if (stop_) return;
    const size_t line = next_++;
    if (line >= lines_.size()) return;
    RunLine(lines_[line]);
  }
}

TBatchProgress TBatchRun::Progress() {
  std::lock_guard lock(mutex_);
  TBatchProgress p{done_, entries_.size(), failed_, {}};
  for (size_t i : running_) p.Running.push_back(entries_[i].Name);
  return p;
}

std::vector<TBatchResult> TBatchRun::Results(bool insisted) {
  std::lock_guard lock(mutex_);
  std::vector<TBatchResult> copy = results_;
  if (insisted)
    for (size_t i : running_) {
      copy[i].State = TBatchResult::TState::Failed;
      copy[i].Message =
          Tr(DUOMAT_TR_EN("Inventory", "interrupted while running: the module may be incomplete"));
    }
  return copy;
}

void TBatchRun::RunLine(const std::vector<size_t>& entries) {
  TRef<korvan::ci::ICommunicationInterface> comm;
  const bool created = korvan::CreateCommunicationInterface(entries_[entries.front()].Connection, comm);
  if (created && lineOpened_) lineOpened_(comm.get(), entries_[entries.front()].Connection);
  const bool open = created && comm->Open();
  TRef<korvan::TKorvanStack> stack = korvan::CreateObject<korvan::TKorvanStack>();
  if (open) stack->SetCommInterface(comm.get());
  std::string notOpened = msg::OpenFailed;
  if (const std::string reason = open ? "" : OpenFailureReason(entries_[entries.front()].Connection); !reason.empty())
    notOpened = Tr(DUOMAT_TR_EN("Inventory", "%1 (%2)"), Tr(msg::Context, msg::OpenFailed), reason);
  for (size_t i : entries) {
    if (stop_) break;  // the rest of this line stays not run
    {
      std::lock_guard lock(mutex_);
      running_.insert(i);
    }
    TBatchResult r;
    try {
      r = open ? RunEntry(entries_[i], *stack) : Failed(notOpened);
    } catch (const std::exception& e) {
      r = Failed(e.what());
    } catch (...) {
      r = Failed(Tr(DUOMAT_TR_EN("Inventory", "unknown error")));
    }
    std::lock_guard lock(mutex_);
    running_.erase(i);
    results_[i] = std::move(r);
    ++done_;
    if (results_[i].State == TBatchResult::TState::Failed) ++failed_;
  }
  if (open) comm->Close(false);
  stack->SetCommInterface(nullptr);
}


// One entry on the open line: its own device object on the line's stack.
TBatchResult TBatchRun::RunEntry(const TBatchEntry& e, korvan::TKorvanStack& stack) {
  TRef<korvan::TKorvanStackDevice> device;
  TRef<korvan::TIngra> ingra;
  TRef<korvan::TOutra> outra;
  if (e.Module == TModuleKind::Ingra)
    device = ingra = korvan::CreateObject<korvan::TIngra>(e.Address);
  else
    device = outra = korvan::CreateObject<korvan::TOutra>(e.Address);
  device->SetTimeout(timeout_);
  device->SetStack(&stack);
  struct TDetach {
    korvan::TKorvanStackDevice& d;
    ~TDetach() { d.SetStack(nullptr); }
  } detach{*device};

  std::string identification;
  if (!device->ReadIdentificationText(identification))
    return Failed(e.Module == TModuleKind::Ingra ? msg::IngraNotAnswering : msg::OutraNotAnswering);
  identification = ModuleText(identification);
  TBatchResult r;
  r.State = TBatchResult::TState::Ok;
  if (e.Action == TBatchAction::Identify) {
    r.Message = identification;
    r.Details["identification"] = identification;
    return r;
  }
  if (e.Action == TBatchAction::Load) {
    TOutcome out;
    if (ingra) {
      const TIngraLoadResult loaded = LoadIngra(*ingra);
      out = {loaded.Ok, loaded.Message, {}};
      if (loaded.Ok) AddIngraProfile(out.Values, loaded.Codes, loaded.List);
    } else {
      const TOutraLoadResult loaded = LoadOutra(*outra);
      out = {loaded.Ok, loaded.Message, {}};
      if (loaded.Ok) AddOutraProfile(out.Values, loaded.Settings);
    }
    if (!out.Ok) return Failed(out.Message);
    r.Message = out.Message;
    r.Details["profile"] = out.Values;
    return r;
  }
  const TProfileAction action = e.Action == TBatchAction::Apply ? TProfileAction::Apply : TProfileAction::Diff;
  const TProfileResult p = ingra ? RunProfile(*ingra, e.Profile, action) : RunProfile(*outra, e.Profile, action);
  r.State = p.Exit == 0 ? TBatchResult::TState::Ok : p.Exit == 3 ? TBatchResult::TState::Differs : TBatchResult::TState::Failed;
  r.Changed = p.Changed;
  r.Verified = p.Verified;
  r.Message = p.Message;
  AddProfileResult(r.Details, p, action);
  for (const TChange& c : p.Changes) r.Changes.push_back(c.Text);
  return r;
}


}  // namespace duomat
