#pragma once
// The table of transports: registering them by provider name, and their keys.
#include <span>

#include "comm/uCI_CommunicationInterface.h"
#include "transports/uTransportKeys.h"

namespace korvan::transport {

// One transport: its provider name, how to make one, and the keys it applies.
struct TTransportEntry {
  const char* Provider;
  TRef<ICommunicationInterface> (*Make)();
  const TProviderKeys& (*KeyRules)();
};

// Every transport, in the order the providers are listed to a person.
std::span<const TTransportEntry> Transports();

// Registers every transport's factory with the provider registry under its
// provider name; the program's start-up calls it. UnregisterTransports undoes it.
void RegisterTransports();
void UnregisterTransports();

}  // namespace korvan::transport
