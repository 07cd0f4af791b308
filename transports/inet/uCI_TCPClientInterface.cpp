#include "platform/uText.h"
#include "transports/inet/uCI_TCPClientInterface.h"

#include "comm/uci_ConnectionString.h"

namespace korvan::transport {

TCommunicationTCPClientInterface::TCommunicationTCPClientInterface() {
  Socket().SetKeepAlive(true, DefaultKeepAliveTime, KeepAliveInterval);
  Socket().SetKind(InetSocketStream);
}

TCommunicationTCPClientInterface::~TCommunicationTCPClientInterface() {
  try {
    if (Socket().Active()) Close(true);
  } catch (...) {
  }
}

bool TCommunicationTCPClientInterface::GetActive() {
  TReadLock guard(Lock());
  // Without the work-thread rule: also asked by a handler on that thread.
  return Socket().Active();
}

std::string TCommunicationTCPClientInterface::GetConfiguration() {
  TReadLock guard(Lock());
  // What is written for KeepAlive is the probe interval × 10, not the idle
  // time that reading the key sets; peers may rely on the written form.
  const uint32_t keepAlive = Socket().GetKeepAliveOn() ? Socket().GetKeepAliveInterval() * 10 : 0;
  return TCommunicationSockClientInterface::GetConfiguration() +
         ";ConnectionTimeout=" + std::to_string(connectionTimeout_) + ";KeepAlive=" + std::to_string(keepAlive);
}

bool TCommunicationTCPClientInterface::InternalOpen() {
  TWriteLock guard(Lock());
  return Socket().Connect(connectionTimeout_);
}

const TProviderKeys& TCommunicationTCPClientInterface::KeyRules() {
  static const TProviderKeys keys =
      SocketKeyRules() + TProviderKeys{{"ConnectionTimeout", TValueForm::Integer, 1, 3600000, DUOMAT_NOOP_EN("ConnectionString", "milliseconds")},
                                   {"KeepAlive", TValueForm::Integer, 0, 86400000, DUOMAT_NOOP_EN("ConnectionString", "milliseconds, 0 for off")}};
  return keys;
}

bool TCommunicationTCPClientInterface::InternalSetConfiguration(const std::string& S) {
  TWriteLock guard(Lock());
  TCommunicationSockClientInterface::InternalSetConfiguration(S);
  try {
    int32_t n = 0;
    if (GetConfigurationInteger(S, "ConnectionTimeout", n)) connectionTimeout_ = n;
    if (GetConfigurationInteger(S, "KeepAlive", n))
      Socket().SetKeepAlive(n != 0, static_cast<uint32_t>(n), KeepAliveInterval);
  } catch (...) {
    return false;
  }
  return true;
}

int TCommunicationTCPClientInterface::SendTimeout() {
  return connectionTimeout_ > 0 ? connectionTimeout_ : TInetSocketCustom::DefaultSendTimeoutMs;
}

int TCommunicationTCPClientInterface::GetConnectionTimeout() {
  TReadLock guard(Lock());
  return connectionTimeout_;
}
void TCommunicationTCPClientInterface::SetConnectionTimeout(int milliseconds) {
  TWriteLock guard(Lock());
  connectionTimeout_ = milliseconds;
}
bool TCommunicationTCPClientInterface::SetKeepAlive(bool on, uint32_t idleMs, uint32_t intervalMs) {
  TWriteLock guard(Lock());
  return Socket().SetKeepAlive(on, idleMs, intervalMs);
}
bool TCommunicationTCPClientInterface::GetKeepAliveOn() {
  TReadLock guard(Lock());
  return Socket().GetKeepAliveOn();
}
uint32_t TCommunicationTCPClientInterface::GetKeepAliveTime() {
  TReadLock guard(Lock());
  return Socket().GetKeepAliveTime();
}
uint32_t TCommunicationTCPClientInterface::GetKeepAliveInterval() {
  TReadLock guard(Lock());
  return Socket().GetKeepAliveInterval();
}

}  // namespace korvan::transport
