#include "comm/uci_ICommunicationInterface.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "comm/uTimer.h"
#include "platform/uTickCount.h"

namespace korvan::ci {

TCommunicationInterface::TCommunicationInterface(const std::string& ConnectionString)
    : pendingConfiguration_(ConnectionString) {}

TCommunicationInterface::TCommunicationInterface(pugi::xml_node xmlNode, IInterface* parent)
    : pendingXml_(xmlNode), pendingParent_(parent), fromXml_(true) {}

TCommunicationInterface::~TCommunicationInterface() = default;

void TCommunicationInterface::Constructed() {
  TNodedInterface::Constructed();
  if (!pendingConfiguration_.empty()) SetConfiguration(std::exchange(pendingConfiguration_, std::string()));
  if (fromXml_) {
    // The element's GUID is the persisted identity, so it replaces the new one.
    LoadFromXML(pendingXml_, true, true);
    SetParent(pendingParent_.get());
    pendingXml_ = pugi::xml_node();
    pendingParent_ = nullptr;
  }
}

void TCommunicationInterface::SetOnDataRcv(TCiNotifyEvent handler) { onDataRcv_.Set(handler); }
TCiNotifyEvent TCommunicationInterface::GetOnDataRcv() { return onDataRcv_.Get(); }
TCiNotifyEvent TCommunicationInterface::GetOnOpen() { return onOpen_.Get(); }
void TCommunicationInterface::SetOnOpen(TCiNotifyEvent handler) { onOpen_.Set(handler); }
TCiNotifyEvent TCommunicationInterface::GetOnClose() { return onClose_.Get(); }
void TCommunicationInterface::SetOnClose(TCiNotifyEvent handler) { onClose_.Set(handler); }
TCiErrorEvent TCommunicationInterface::GetOnError() { return onError_.Get(); }
void TCommunicationInterface::SetOnError(TCiErrorEvent handler) { onError_.Set(handler); }
TCiChangeEvent TCommunicationInterface::GetOnChange() { return LockedRead(handlersMutex_, onChange_); }
void TCommunicationInterface::SetOnChange(TCiChangeEvent handler) { LockedWrite(handlersMutex_, onChange_, handler); }

void TCommunicationInterface::SetActive(bool value) {
  if (value == GetActive()) return;
  if (value)
    Open();
  else
    Close(false);
}

bool TCommunicationInterface::GetConfigured() {
  TReadLock guard(Lock());
  return configured_;
}

void TCommunicationInterface::SetConfigured(bool value) {
  TWriteLock guard(Lock());
  configured_ = value;
}

double TCommunicationInterface::GetByteTimeFactor() {
  TReadLock guard(Lock());
  return byteTimeFactor_;
}

void TCommunicationInterface::SetByteTimeFactor(double value) {
  TWriteLock guard(Lock());
  byteTimeFactor_ = value;
}

void TCommunicationInterface::SetConfiguration(const std::string& S) {
  if (InternalSetConfiguration(S)) {
    try {
      eventerConfiguration_.Notify(Self());
    } catch (...) {
    }
  } else {
    DoError("SetConfiguration", {S}, 0);
  }
}

void TCommunicationInterface::DoOpen() {
  try {
    onOpen_.Call(Self());
    eventerOpen_.Notify(Self());
  } catch (...) {
    DoError("DoOpen", {}, 0);
  }
}

void TCommunicationInterface::DoClose() {
  try {
    onClose_.Call(Self());
    eventerClose_.Notify(Self());
  } catch (...) {
    DoError("DoClose", {}, 0);
  }
}

void TCommunicationInterface::DoDataRcv() {
  try {
    onDataRcv_.Call(Self());
    eventerDataRcv_.Notify(Self());
  } catch (...) {
    DoError("DoDataRcv", {}, 0);
  }
}

void TCommunicationInterface::DoError(const std::string& Operation, const std::vector<std::string>& Args, int Code) {
  onError_.Call(Self(), Operation, Args, Code);
}

bool TCommunicationInterface::Open() {
  if (GetActive()) return true;
  bool opened;
  {
    TWriteLock guard(Lock());
    opened = InternalOpen();
  }
  if (opened) {
    DoOpen();
    return true;
  }
  DoError("Open", {}, 0);
  return false;
}

bool TCommunicationInterface::Close(bool Force) {
  if (!GetActive() && !Force) return true;
  bool closed;
  {
    TWriteLock guard(Lock());
    closed = InternalClose(Force);
  }
  if (closed) {
    DoClose();
    return true;
  }
  DoError("Close", {}, 0);
  return false;
}

int TCommunicationInterface::Write(const std::string& Data) {
  const int written = InternalWrite(Data);
  SpySent(Data);
  return written;
}

void TCommunicationInterface::Read(std::string& Data) {
  Data.clear();
  InternalRead(Data);
  SpyReceived(Data);
}

bool TCommunicationInterface::WaitForInput(uint32_t timeoutMs) {
  if (InputCount() != 0 || !GetActive()) return true;
  SleepMs(timeoutMs);
  return false;
}

void TCommunicationInterface::SendAndReceive(const std::string& Data, int Timeout, int GapTimeout, int TotalExtra,
                                             bool ClearIn, bool ClearOut, const TCheckFunction& Check,
                                             const std::string& Prefix, std::string& Response) {
  Response.clear();
  SpySent(Data);
  {
    TWriteLock guard(Lock());
    if (GetActive()) {
      if (ClearIn) ClearInput();
      if (ClearOut) ClearOutput();
      SleepMs(1);
      InternalWrite(Data);
      const double factor = GetByteTimeFactor();
      const int64_t T = std::llround((static_cast<double>(Data.size()) + 5) * factor);
      const int64_t G = std::llround(GapTimeout * factor);
      const auto clamp = [](int64_t v) { return static_cast<uint32_t>(std::max<int64_t>(0, v)); };
      TTimer answer, total;
      answer.Start(clamp(T + Timeout));
      total.Start(clamp(T + TotalExtra));
      for (;;) {
        SleepMs(1);
        if (InputCount() != 0) {
          std::string chunk;
          InternalRead(chunk);
          Response += chunk;
          answer.Start(clamp(G));
        }
        if (answer.Expired() || total.Expired()) break;
        if (Check && Check(Prefix + Response) == 0) break;
      }
    }
  }
  SpyReceived(Response);
}

void TCommunicationInterface::SendAndReceiveDefault(const std::string& Data, int Timeout,
                                                    const TCheckFunction& Check, std::string& Response) {
  SendAndReceive(Data, Timeout, 50, 2 * Timeout, false, false, Check, std::string(), Response);
}

void TCommunicationInterface::LoadFromXML(pugi::xml_node node, bool take, bool alwaysGUID) {
  TNodedInterface::LoadFromXML(node, take, alwaysGUID);
  if (node)
    if (pugi::xml_attribute a = node.attribute("connectionstring")) SetConfiguration(a.value());
}

void TCommunicationInterface::SaveToXML() {
  TNodedInterface::SaveToXML();
  if (pugi::xml_node node = GetXMLNode()) {
    pugi::xml_attribute a = node.attribute("connectionstring");
    if (!a) a = node.append_attribute("connectionstring");
    a.set_value(GetConfiguration().c_str());
  }
}

}  // namespace korvan::ci
