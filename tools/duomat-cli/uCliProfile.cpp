#include "tools/duomat-cli/uCliProfile.h"

#include <cstdio>

#include "core/uText.h"
#include "tools/duomat-cli/uCliInterrupt.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

using ojson = nlohmann::ordered_json;

namespace {
TProfileResult Failed(std::string message) {
  TProfileResult r;
  r.Message = std::move(message);
  return r;
}
}  // namespace

int ProfileCommand(TModuleKind kind, const std::string& connection, uint8_t address, int timeout,
                   const std::string& file, TProfileAction action, bool json) {
  TProfile profile;
  try {
    profile = ParseProfile(ReadJsonFile(file), kind);
  } catch (const TProfileError& e) {
    const std::string message =
        file == "-" ? Tr(DUOMAT_TR_EN("duomat-cli", "profile from standard input: %1"), e.what())
                    : Tr(DUOMAT_TR_EN("duomat-cli", "profile %1: %2"), file, e.what());
    if (json) {
      // The shape of every result of this action, so that a script finds its keys.
      ojson j = {{"ok", false}};
      AddProfileResult(j, TProfileResult{}, action);
      j["message"] = message;
      std::printf("%s\n", JsonLine(j).c_str());
    } else {
      std::fprintf(stderr, "duomat-cli: %s\n", Printable(message).c_str());
    }
    return 2;
  }
  TProfileResult r;
  std::string reason;  // why the line did not open
  const auto run = [&](auto& record, auto connect) {
    record.Device()->SetAdr(address);
    record.Device()->SetTimeout(timeout);
    const TConnectResult c = connect(record, connection);
    if (!c.Ok) {
      reason = c.Reason;
      return Failed(c.Message);
    }
    TProfileResult result =
        RunProfile(*record.Device(), profile, action, TCancel{[] { return TInterruptPolicy::Signal() != 0; }});
    const bool loadFailed = result.Message == msg::IngraLoadFailed || result.Message == msg::OutraLoadFailed;
    if (const std::string other = OtherModuleMessage(c.Identification, kind); loadFailed && !other.empty())
      result.Message = Tr(msg::Context, result.Message.c_str()) + " " + other;
    return result;
  };
  if (kind == TModuleKind::Ingra) {
    TKorvanStackDeviceIngraRec record;
    r = run(record, ConnectIngra);
  } else {
    TKorvanStackDeviceOutraRec record;
    r = run(record, ConnectOutra);
  }
  if (json) {
    ojson j = {{"ok", r.Ok}};
    AddProfileResult(j, r, action);
    j["message"] = Tr(msg::Context, r.Message.c_str());
    if (!reason.empty()) j["reason"] = reason;
    std::printf("%s\n", JsonLine(j).c_str());
  } else {
    for (const TChange& c : r.Changes) std::printf("%s\n", c.Text.c_str());
    std::fprintf(r.Exit == 0 || r.Exit == 3 ? stdout : stderr, "%s\n",
                 Tr(msg::Context, r.Message.c_str()).c_str());
    if (!reason.empty()) std::fprintf(stderr, "reason=%s\n", Printable(reason).c_str());
  }
  return r.Exit;
}

}  // namespace duomat::cli
