#include "platform/uText.h"
#include "transports/inet/uCI_SockClientInterface.h"

#include "comm/uci_ConnectionString.h"
#include "transports/uSelfReference.h"

namespace korvan::transport {

TCommunicationSockClientInterface::TCommunicationSockClientInterface() : socket_(std::make_unique<TInetSocket>()) {
  socket_->SetQueueMaximum(0);
  socket_->SetOnDataReceive(
      TInetSocketDataReceiveEvent::Bind<&TCommunicationSockClientInterface::SocketDataReceive>(this));
  socket_->SetOnDisconnect(TInetSocketDisconnectEvent::Bind<&TCommunicationSockClientInterface::SocketDisconnect>(this));
}

TCommunicationSockClientInterface::~TCommunicationSockClientInterface() {
  // On the work thread (the last reference went in a handler there) the
  // handlers may not be touched; the socket tells the thread to call none again.
  if (!socket_->OnWorkThread()) {
    socket_->SetOnDataReceive(TInetSocketDataReceiveEvent());
    socket_->SetOnDisconnect(TInetSocketDisconnectEvent());
    socket_->SetOnInternalError(TInetSocketInternalErrorEvent());
  }
  socket_.reset();
}

void TCommunicationSockClientInterface::SocketDataReceive(TInetSocketCustom*, const TInetSocketPacket& Packet) {
  // A data-read handler may drop the last reference: we go after it returns.
  TSelfReference self(this);
  if (self.Held()) DoReadString(Packet.data);
}

void TCommunicationSockClientInterface::SocketDisconnect(TInetSocketCustom*) {
  // The peer went: a request waiting for its answer ends now.
  SignalInput();
}

bool TCommunicationSockClientInterface::Close(bool Force) {
  if (Force) socket_->Abort();
  return TCommunicationInternalBufferInterface::Close(Force);
}

std::string TCommunicationSockClientInterface::GetConfiguration() {
  TReadLock guard(Lock());
  return TCommunicationInternalBufferInterface::GetConfiguration() + ";host=" + socket_->GetRemoteHost() +
         ";port=" + std::to_string(socket_->GetRemotePort()) + ";LocalIP=" + socket_->GetLocalAddress() +
         ";LocalPort=" + std::to_string(socket_->GetLocalPort());
}

std::string TCommunicationSockClientInterface::GetIdentity() {
  TReadLock guard(Lock());
  return TCommunicationInternalBufferInterface::GetIdentity() + ";host=" + socket_->GetRemoteHost() +
         ";port=" + std::to_string(socket_->GetRemotePort());
}

const TProviderKeys& TCommunicationSockClientInterface::SocketKeyRules() {
  static const TProviderKeys keys = {
      {"host", TValueForm::Text, 0, 0, DUOMAT_NOOP_EN("ConnectionString", "a host name or address"), true},
      {"port", TValueForm::Integer, 1, 65535, DUOMAT_NOOP_EN("ConnectionString", "the remote port"), true},
      {"LocalIP", TValueForm::Text},
      {"LocalPort", TValueForm::Integer, 0, 65535, DUOMAT_NOOP_EN("ConnectionString", "the local port, 0 for any")},
  };
  return keys;
}

bool TCommunicationSockClientInterface::InternalSetConfiguration(const std::string& S) {
  TWriteLock guard(Lock());
  std::string text;
  int32_t n = 0;
  if (GetConfigurationValue(S, "host", text)) socket_->SetRemoteHost(text);
  if (GetConfigurationInteger(S, "port", n)) socket_->SetRemotePort(static_cast<uint16_t>(n));
  if (GetConfigurationValue(S, "LocalIP", text)) socket_->SetLocalAddress(text);
  if (GetConfigurationInteger(S, "LocalPort", n)) socket_->SetLocalPort(static_cast<uint16_t>(n));
  return true;
}

int TCommunicationSockClientInterface::InternalWriteString(const std::string& S) {
  if (socket_->Send(S, SendTimeout())) return static_cast<int>(S.size());
  DoError("InternalWriteString", {S}, InetSocketLastError());
  return 0;
}

bool TCommunicationSockClientInterface::InternalClose(bool Force) {
  TWriteLock guard(Lock());
  socket_->Close(Force);
  return true;
}

std::string TCommunicationSockClientInterface::GetHost() {
  TReadLock guard(Lock());
  return socket_->GetRemoteHost();
}
void TCommunicationSockClientInterface::SetHost(const std::string& v) {
  TWriteLock guard(Lock());
  socket_->SetRemoteHost(v);
}
int TCommunicationSockClientInterface::GetPort() {
  TReadLock guard(Lock());
  return socket_->GetRemotePort();
}
void TCommunicationSockClientInterface::SetPort(int v) {
  TWriteLock guard(Lock());
  socket_->SetRemotePort(static_cast<uint16_t>(v));
}
std::string TCommunicationSockClientInterface::GetLocalIP() {
  TReadLock guard(Lock());
  return socket_->GetLocalAddress();
}
void TCommunicationSockClientInterface::SetLocalIP(const std::string& v) {
  TWriteLock guard(Lock());
  socket_->SetLocalAddress(v);
}
int TCommunicationSockClientInterface::GetLocalPort() {
  TReadLock guard(Lock());
  return socket_->GetLocalPort();
}
void TCommunicationSockClientInterface::SetLocalPort(int v) {
  TWriteLock guard(Lock());
  socket_->SetLocalPort(static_cast<uint16_t>(v));
}

}  // namespace korvan::transport
