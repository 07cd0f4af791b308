#include "comm/uCI_TransportRegistry.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <utility>

namespace korvan::ci {

namespace {
std::mutex g_mutex;
// Every registration of a name, the newest last: removing it brings back the
// one it replaced.
std::vector<std::pair<std::string, TTransportFactory>>& Factories() {
  static auto* factories = new std::vector<std::pair<std::string, TTransportFactory>>();  // outlives exit
  return *factories;
}

// The newest registration of the name.
auto Find(const std::string& provider) {
  auto& f = Factories();
  auto it = std::find_if(f.rbegin(), f.rend(), [&](const auto& e) { return e.first == provider; });
  return it == f.rend() ? f.end() : std::prev(it.base());
}
}  // namespace

void RegisterTransport(const std::string& provider, TTransportFactory factory) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Factories().emplace_back(provider, std::move(factory));
}

void UnregisterTransport(const std::string& provider) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Find(provider);
  if (it != Factories().end()) Factories().erase(it);
}

TRef<transport::ICommunicationInterface> CreateTransport(const std::string& provider) {
  TTransportFactory factory;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = Find(provider);
    if (it == Factories().end()) return nullptr;
    factory = it->second;
  }
  // Outside the lock: a factory may register or look up itself.
  return factory ? factory() : nullptr;
}

std::vector<std::string> RegisteredTransports() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::string> names;
  for (const auto& e : Factories())
    if (std::find(names.begin(), names.end(), e.first) == names.end()) names.push_back(e.first);
  return names;
}

}  // namespace korvan::ci
