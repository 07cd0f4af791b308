#include "transports/uTransports.h"

#include "comm/uCI_TransportRegistry.h"
#include "transports/uCI_SerialPortInterface.h"
#include "transports/uCI_TCPClientInterface.h"
#include "transports/uCI_UDPClientInterface.h"

namespace korvan::transport {

namespace {
template <class T>
TRef<ICommunicationInterface> Make() {
  return TRef<ICommunicationInterface>(CreateObject<T>());
}

const struct {
  const char* provider;
  TRef<ICommunicationInterface> (*make)();
} kTransports[] = {
    {"SERIAL_PORT", &Make<TCommunicationSerialPortInterface>},
    {"TCP_CLIENT", &Make<TCommunicationTCPClientInterface>},
    {"UDP_CLIENT", &Make<TCommunicationUDPClientInterface>},
};
}  // namespace

void RegisterTransports() {
  for (const auto& t : kTransports) ci::RegisterTransport(t.provider, t.make);
}

void UnregisterTransports() {
  for (const auto& t : kTransports) ci::UnregisterTransport(t.provider);
}

}  // namespace korvan::transport
