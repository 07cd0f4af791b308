#pragma once
// The scan for modules: which addresses answer on a line, at which rates.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/uModuleLine.h"
#include "core/uProgress.h"

namespace duomat {

struct TScanRequest {
  int From = 0, To = 253;
  std::vector<uint32_t> Rates;  // switched to one after the other; empty: the line's own rate
  bool Quick = false;           // first the universal address, confirmed at the module's own
  int Timeout = 100;            // ms per request
};

struct TFoundModule {
  int Address = 0;
  uint32_t Rate = 0;  // 0 on a line without one
  std::string Identification;  // empty for a collision
  bool Collision = false;      // several modules answered at once, garbled
};

// Before each address is asked: what is tried and at most how long the rest takes.
struct TScanProgress {
  int Address = 0;
  uint32_t Rate = 0;
  size_t Found = 0;
  int MsLeft = 0;
};

struct TScanCallbacks {
  std::function<void(const TScanProgress&)> Progress;
  TCancel Cancelled;
};

struct TScanResult {
  std::vector<TFoundModule> Found;
  int Scanned = 0;
  bool Interrupted = false;
};

// Asks one address at a time on the open line; rates the line cannot take are skipped.
TScanResult ScanModules(TModuleLine& line, const TScanRequest& request, const TScanCallbacks& callbacks);

// The module's name: the identification up to its first ";", trimmed.
std::string ModuleNameOf(const std::string& identification);

}  // namespace duomat
