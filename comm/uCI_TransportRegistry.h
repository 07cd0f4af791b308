#pragma once
#include <functional>
#include <string>
#include <vector>

#include "comm/uCI_CommunicationInterface.h"

namespace korvan::ci {

// Makes a new transport for one provider name.
using TTransportFactory = std::function<TRef<transport::ICommunicationInterface>()>;

// The wrapper's transport factories by provider name. The transports register
// theirs at module initialisation, so the framework needs none of them here.
// Registering a name again replaces its factory until that registration is
// removed, which brings back the one before.
void RegisterTransport(const std::string& provider, TTransportFactory factory);
void UnregisterTransport(const std::string& provider);
// A new transport for the provider, compared exactly; none for an unknown name.
TRef<transport::ICommunicationInterface> CreateTransport(const std::string& provider);
std::vector<std::string> RegisteredTransports();

}  // namespace korvan::ci
