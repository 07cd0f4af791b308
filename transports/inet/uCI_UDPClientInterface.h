#pragma once
// The UDP client transport (provider "UDP_CLIENT") and its keys.
#include "transports/inet/uCI_SockClientInterface.h"

namespace korvan::transport {

// Datagrams to a remote host and port, provider "UDP_CLIENT"; every datagram
// that reaches the local address and port is accepted, from any sender.
class TCommunicationUDPClientInterface : public TCommunicationSockClientInterface {
 public:
  // The socket keys alone.
  static const TProviderKeys& KeyRules() { return SocketKeyRules(); }

  TCommunicationUDPClientInterface();
  ~TCommunicationUDPClientInterface() override;

  bool GetActive() override;
  std::string GetProvider() override { return "UDP_CLIENT"; }

 protected:
  bool InternalOpen() override;
};

}  // namespace korvan::transport
