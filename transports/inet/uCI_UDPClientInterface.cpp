#include "transports/inet/uCI_UDPClientInterface.h"

namespace korvan::transport {

TCommunicationUDPClientInterface::TCommunicationUDPClientInterface() { Socket().SetKind(InetSocketDatagram); }

TCommunicationUDPClientInterface::~TCommunicationUDPClientInterface() {
  try {
    if (Socket().Active()) Close(true);
  } catch (...) {
  }
}

bool TCommunicationUDPClientInterface::GetActive() {
  TReadLock guard(Lock());
  return Socket().Active();  // see the TCP client
}

bool TCommunicationUDPClientInterface::InternalOpen() {
  TWriteLock guard(Lock());
  return Socket().Bind();
}

}  // namespace korvan::transport
