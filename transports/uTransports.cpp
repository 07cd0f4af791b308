#include "transports/uTransports.h"

#include "comm/uCI_ProviderRegistry.h"
#include "transports/ftdi/uCI_FTDIInterface.h"
#include "transports/hid/uCI_HIDInterface.h"
#include "transports/inet/uCI_TCPClientInterface.h"
#include "transports/inet/uCI_UDPClientInterface.h"
#include "transports/serial/uCI_SerialPortInterface.h"

namespace korvan::transport {

namespace {
template <class T>
TRef<ICommunicationInterface> Make() {
  return TRef<ICommunicationInterface>(CreateObject<T>());
}

// Each family declares its keys beside the code that applies them.
const TTransportEntry kTransports[] = {
    {"SERIAL_PORT", &Make<TCommunicationSerialPortInterface>, &TCommunicationSerialPortInterface::KeyRules},
    {"TCP_CLIENT", &Make<TCommunicationTCPClientInterface>, &TCommunicationTCPClientInterface::KeyRules},
    {"UDP_CLIENT", &Make<TCommunicationUDPClientInterface>, &TCommunicationUDPClientInterface::KeyRules},
    {"FTD_USB", &Make<TCommunicationFTDIInterface>, &TCommunicationFTDIInterface::KeyRules},
    {"HID", &Make<TCommunicationHIDInterface>, &TCommunicationHIDInterface::KeyRules},
};
}  // namespace

std::span<const TTransportEntry> Transports() { return kTransports; }

void RegisterTransports() {
  for (const auto& t : kTransports) ci::RegisterTransport(t.Provider, t.Make);
}

void UnregisterTransports() {
  for (const auto& t : kTransports) ci::UnregisterTransport(t.Provider);
}

}  // namespace korvan::transport
