#pragma once
// The TCP client transport (provider "TCP_CLIENT") and its keys.
#include "transports/inet/uCI_SockClientInterface.h"

namespace korvan::transport {

// A TCP connection to a device by IPv4 address and port, provider "TCP_CLIENT".
class TCommunicationTCPClientInterface : public TCommunicationSockClientInterface {
 public:
  // The socket keys, then the connection time-out and keep-alive.
  static const TProviderKeys& KeyRules();

  static constexpr int DefaultConnectionTimeout = 5000;
  static constexpr uint32_t DefaultKeepAliveTime = 5000;
  static constexpr uint32_t KeepAliveInterval = 1000;

  TCommunicationTCPClientInterface();
  ~TCommunicationTCPClientInterface() override;

  bool GetActive() override;
  std::string GetConfiguration() override;
  std::string GetProvider() override { return "TCP_CLIENT"; }

  int GetConnectionTimeout();
  void SetConnectionTimeout(int milliseconds);
  bool SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs);
  bool GetKeepAliveOn();
  uint32_t GetKeepAliveTime();
  uint32_t GetKeepAliveInterval();

 protected:
  bool InternalOpen() override;
  bool InternalSetConfiguration(const std::string& S) override;
  // The connection time-out, or the default when that is 0 or negative.
  int SendTimeout() override;

 private:
  int connectionTimeout_ = DefaultConnectionTimeout;
};

}  // namespace korvan::transport
