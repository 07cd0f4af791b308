#include "core/uModuleScan.h"

#include <algorithm>
#include <cctype>

#include "protocol/uKorvan97.h"

namespace duomat {

namespace {
class TScanner {
 public:
  TScanner(TModuleLine& line, const TScanRequest& request, const TScanCallbacks& callbacks)
      : line_(line), device_(line.Device()), request_(request), callbacks_(callbacks) {
    device_.SetTimeout(request.Timeout);
  }

  // The universal address answered by exactly one module, confirmed at its
  // own address. Several at once garble each other: no valid answer.
  bool Quick(uint32_t rate) {
    uint8_t adr = 0;
    int baud = 0;
    device_.SetAdr(korvan::KorvanUniversalAddress);
    if (!device_.ReadAddressAndBaudRate(adr, baud) || adr >= korvan::KorvanUniversalAddress) return false;
    return Ask(adr, rate);
  }

  // Every address of the range at the line's present rate; false when cancelled.
  bool Range(uint32_t rate, int addressesLeftAfter) {
    for (int adr = request_.From; adr <= request_.To; ++adr) {
      if (callbacks_.Cancelled()) return false;
      if (callbacks_.Progress)
        callbacks_.Progress({adr, rate, result_.Found.size(), (request_.To - adr + 1 + addressesLeftAfter) * request_.Timeout});
      Ask(adr, rate);
    }
    return true;
  }

  TScanResult& Result() { return result_; }

 private:
  bool Ask(int adr, uint32_t rate) {
    ++result_.Scanned;
    std::string text;
    bool collided = false;
    if (line_.Identify(adr, text, &collided)) {
      result_.Found.push_back({adr, rate, text, false});
      return true;
    }
    // A request ended by a stop is no collision, whatever bytes it met.
    if (collided && !callbacks_.Cancelled()) result_.Found.push_back({adr, rate, {}, true});
    return false;
  }

  TModuleLine& line_;
  korvan::TKorvanStackDevice& device_;
  const TScanRequest& request_;
  const TScanCallbacks& callbacks_;
  TScanResult result_;
};
}  // namespace

TScanResult ScanModules(TModuleLine& line, const TScanRequest& request, const TScanCallbacks& callbacks) {
  const bool switching = !request.Rates.empty();
  const std::vector<uint32_t> rates = switching ? request.Rates : std::vector<uint32_t>{line.Rate()};
  const auto switchTo = [&](uint32_t rate) { return !switching || line.SetRate(rate); };
  // A stop ends even the request in flight, not only the scan between requests.
  line.SetCancel(callbacks.Cancelled);
  struct TCancelReset {
    TModuleLine& line;
    ~TCancelReset() { line.SetCancel({}); }
  } reset{line};
  TScanner scanner(line, request, callbacks);
  bool done = false;
  if (request.Quick)
    for (uint32_t rate : rates)
      if (!callbacks.Cancelled() && switchTo(rate) && scanner.Quick(rate)) {
        done = true;
        break;
      }
  const int count = request.To - request.From + 1;
  for (size_t i = 0; !done && i < rates.size() && !callbacks.Cancelled(); ++i)
    if (switchTo(rates[i])) scanner.Range(rates[i], static_cast<int>(rates.size() - i - 1) * count);
  TScanResult& result = scanner.Result();
  result.Interrupted = callbacks.Cancelled();
  return std::move(result);
}

std::string ModuleNameOf(const std::string& identification) {
  std::string name = identification.substr(0, identification.find(';'));
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!name.empty() && blank(name.back())) name.pop_back();
  name.erase(name.begin(), std::find_if_not(name.begin(), name.end(), blank));
  return name;
}

}  // namespace duomat
