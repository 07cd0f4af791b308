#pragma once
// The provider registry: per provider name, the interface class and the transport to make.
#include <functional>
#include <string>

#include "comm/uCI_CommunicationInterface.h"
#include "comm/uci_ConnectionString.h"

namespace korvan {

namespace ci {

// Makes a new transport for one provider name.
using TTransportFactory = std::function<TRef<transport::ICommunicationInterface>()>;

// One registration. A provider name is registered with an interface class
// (RegisterProvider, what CreateCommunicationInterface makes) and, by the
// transports, with a transport factory (RegisterTransport, what the wrapper
// makes). Names are compared without regard to letter case, in
// every lookup; a lookup finds the first registration of the name that holds
// what it asks for. A class is appended (the first one stays found); a
// transport goes in front of earlier ones of its name, so that a test can
// stand in for a real transport and bring it back by removing its own.
struct TProviderEntry {
  std::string Name;
  const TCommunicationInterfaceClass* Class = nullptr;
  TTransportFactory Transport;
};

void RegisterTransport(const std::string& provider, TTransportFactory factory);
// Removes the transport registration a lookup of the name finds.
void UnregisterTransport(const std::string& provider);
// A new transport for the provider spelt as it was registered, letter case
// included: a string that spells it otherwise gives a wrapper without
// transport, which callers rely on. None for an unknown name.
TRef<transport::ICommunicationInterface> CreateTransport(const std::string& provider);

}  // namespace ci
}  // namespace korvan
