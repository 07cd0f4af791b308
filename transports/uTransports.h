#pragma once

namespace korvan::transport {

// Registers every transport's factory with the wrapper under its provider
// name; module initialisation calls it. UnregisterTransports undoes it.
void RegisterTransports();
void UnregisterTransports();

}  // namespace korvan::transport
