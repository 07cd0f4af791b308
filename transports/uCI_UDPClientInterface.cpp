#include "transports/uCI_UDPClientInterface.h"

namespace korvan::transport {

TCommunicationUDPClientInterface::TCommunicationUDPClientInterface() { Socket().SetKind(InetSocketDatagram); }

TCommunicationUDPClientInterface::~TCommunicationUDPClientInterface() {
  try {
    if (Socket().IsBound()) Close(true);
  } catch (...) {
  }
}

bool TCommunicationUDPClientInterface::GetActive() {
  TReadLock guard(Lock());
  return Socket().IsBound();
}

bool TCommunicationUDPClientInterface::InternalOpen() {
  TWriteLock guard(Lock());
  return Socket().Bind();
}

}  // namespace korvan::transport
