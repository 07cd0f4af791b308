#include "comm/uCI_ProviderRegistry.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace korvan {

namespace {

// ASCII only: provider names are byte strings.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

class TProviderRegistry {
 public:
  // Built on first use (modules may register from static initialisers) and
  // never destroyed (a thread may still look up while the process exits).
  static TProviderRegistry& Instance() {
    static auto* registry = new TProviderRegistry();
    return *registry;
  }

  std::mutex& Lock() { return lock_; }
  std::vector<ci::TProviderEntry>& Entries() { return entries_; }

  // The first registration of the name holding what has says; call with the lock held.
  template <class THas>
  std::vector<ci::TProviderEntry>::iterator Find(const std::string& name, THas has) {
    return std::find_if(entries_.begin(), entries_.end(),
                        [&](const ci::TProviderEntry& e) { return SameName(e.Name, name) && has(e); });
  }

 private:
  std::mutex lock_;
  std::vector<ci::TProviderEntry> entries_;
};

bool HasClass(const ci::TProviderEntry& e) { return e.Class != nullptr; }
bool HasTransport(const ci::TProviderEntry& e) { return static_cast<bool>(e.Transport); }

}  // namespace

// The interface classes (declared with the connection string, where the
// provider lookup lives).

bool RegisterProvider(const TCommunicationInterfaceClass* Class, const std::string& Name) {
  if (Class == nullptr || Class->Create == nullptr || Name.empty()) return false;
  TProviderRegistry& registry = TProviderRegistry::Instance();
  std::lock_guard guard(registry.Lock());
  registry.Entries().push_back({Name, Class, {}});
  return true;
}

void UnregisterProvider(const std::string& Name) {
  TProviderRegistry& registry = TProviderRegistry::Instance();
  std::lock_guard guard(registry.Lock());
  const auto it = registry.Find(Name, HasClass);
  if (it != registry.Entries().end()) registry.Entries().erase(it);
}

bool FindProvider(const std::string& Name, const TCommunicationInterfaceClass*& Class) {
  TProviderRegistry& registry = TProviderRegistry::Instance();
  std::lock_guard guard(registry.Lock());
  const auto it = registry.Find(Name, HasClass);
  Class = it != registry.Entries().end() ? it->Class : nullptr;
  return Class != nullptr;
}

void ClearProviders() {
  TProviderRegistry& registry = TProviderRegistry::Instance();
  std::lock_guard guard(registry.Lock());
  std::erase_if(registry.Entries(), HasClass);
}

namespace ci {

void RegisterTransport(const std::string& provider, TTransportFactory factory) {
  if (!factory) return;
  TProviderRegistry& registry = TProviderRegistry::Instance();
  std::lock_guard guard(registry.Lock());
  registry.Entries().insert(registry.Entries().begin(), {provider, nullptr, std::move(factory)});
}

void UnregisterTransport(const std::string& provider) {
  TProviderRegistry& registry = TProviderRegistry::Instance();
  std::lock_guard guard(registry.Lock());
  const auto it = registry.Find(provider, HasTransport);
  if (it != registry.Entries().end()) registry.Entries().erase(it);
}

TRef<transport::ICommunicationInterface> CreateTransport(const std::string& provider) {
  TTransportFactory factory;
  {
    TProviderRegistry& registry = TProviderRegistry::Instance();
    std::lock_guard guard(registry.Lock());
    const auto it = registry.Find(provider, HasTransport);
    if (it == registry.Entries().end() || it->Name != provider) return nullptr;
    factory = it->Transport;
  }
  // Outside the lock: a factory may register or look up itself.
  return factory();
}

}  // namespace ci
}  // namespace korvan
