#pragma once
// What the TCP and UDP client transports share, and their common keys.
#include <memory>
#include <string>

#include "comm/uCI_InternalBufferCommunicationInterface.h"
#include "transports/inet/uInetSocket.h"
#include "transports/uTransportKeys.h"

namespace korvan::transport {

// What the TCP and UDP clients share: one socket object, the keys "host",
// "port", "LocalIP" and "LocalPort", and received packets forwarded into the
// receive buffer.
class TCommunicationSockClientInterface : public TCommunicationInternalBufferInterface {
 public:
  // The keys both clients apply (InternalSetConfiguration, in its order).
  static const TProviderKeys& SocketKeyRules();

  TCommunicationSockClientInterface();
  ~TCommunicationSockClientInterface() override;

  std::string GetConfiguration() override;
  std::string GetIdentity() override;
  void ClearOutput() override {}  // sends are not queued
  // A forced close first cuts a connect or send in progress short: that
  // operation holds the lock the close needs.
  bool Close(bool Force) override;

  std::string GetHost();
  void SetHost(const std::string& v);
  int GetPort();
  void SetPort(int v);
  std::string GetLocalIP();
  void SetLocalIP(const std::string& v);
  int GetLocalPort();
  void SetLocalPort(int v);

  TInetSocket& Socket() { return *socket_; }

 protected:
  bool InternalSetConfiguration(const std::string& S) override;
  // One send within SendTimeout; a failure is reported as
  // "InternalWriteString" with errno.
  int InternalWriteString(const std::string& S) override;
  virtual int SendTimeout() { return TInetSocketCustom::DefaultSendTimeoutMs; }
  bool InternalClose(bool Force) override;
  // Only the data goes to the buffer; the sender is not kept.
  void SocketDataReceive(TInetSocketCustom* Sender, const TInetSocketPacket& Packet);
  void SocketDisconnect(TInetSocketCustom* Sender);

 private:
  std::unique_ptr<TInetSocket> socket_;
};

}  // namespace korvan::transport
