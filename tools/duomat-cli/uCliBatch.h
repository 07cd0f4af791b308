#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/duomat-cli/uCliProfile.h"

// Many modules at once: the entries of an inventory, one line (connection
// string) at a time in inventory order, different lines in parallel.
namespace duomat::cli {

enum class TBatchAction { Identify, Load, Apply, Diff };

struct TBatchEntry {
  std::string Name;
  std::string Connection;
  uint8_t Address = 0x31;
  TModuleKind Module = TModuleKind::Ingra;
  TBatchAction Action = TBatchAction::Identify;
  TProfile Profile;  // apply and diff
};

// The whole inventory, checked before anything is sent: a JSON array of
// {"name", "connection", "address"?, "module", "action", "profile"?}; a
// profile is inline or a file relative to the inventory's folder.
// TProfileError names the entry and the field.
std::vector<TBatchEntry> ReadInventory(const std::string& path);

// Runs the inventory and prints the results; returns the exit status
// (0 all ok, 3 none failed but a diff differed, 1 any failed, 2 a bad
// inventory, 128 + n after signal n).
int BatchCommand(const std::string& inventory, int jobs, int timeout, bool json);

}  // namespace duomat::cli
