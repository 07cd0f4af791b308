#include "comm/uci_ICommunicationInterfaceDataSpy.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "comm/uGuardedHandler.h"

#include "platform/uTerminalForwarder.h"

namespace korvan::ci {

namespace {
TGuardedHandler<TDataSpyHandler>& SpyHandler() {
  // Never destroyed: interfaces may spy while static destructors run.
  static auto* handler = new TGuardedHandler<TDataSpyHandler>();
  return *handler;
}

void ForwardToTerminalWindow(ICommunicationInterface* /*Sender*/, const std::string& Data, uint8_t Direction) {
  if (!(GetDataSpyHandler() == TerminalForwarderHandler()) || Data.empty()) return;
  std::string payload;
  payload.reserve(Data.size() + 1);
  payload += static_cast<char>(Direction);
  payload += Data;
  ForwardToTerminal(payload);
}

bool IsBlank(unsigned char c) { return c <= ' '; }
}  // namespace

TDataSpyHandler GetDataSpyHandler() { return SpyHandler().Get(); }

void SetDataSpyHandler(TDataSpyHandler handler) { SpyHandler().Set(handler); }

TDataSpyHandler TerminalForwarderHandler() { return TDataSpyHandler::Bind<&ForwardToTerminalWindow>(); }

bool IsDataSpySwitch(const std::string& argument) {
  size_t begin = 0, end = argument.size();
  while (begin < end && IsBlank(argument[begin])) ++begin;
  while (end > begin && IsBlank(argument[end - 1])) --end;
  std::string word = argument.substr(begin, end - begin);
  if (!word.empty() && (word[0] == '/' || word[0] == '-')) word.erase(0, 1);
  std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::toupper(c); });
  return word == "DST";
}

bool CheckDataSpyCommandLine(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (IsDataSpySwitch(argument)) {
      SetDataSpyHandler(TerminalForwarderHandler());
      return true;
    }
  }
  return false;
}

void TCommunicationInterfaceDataSpy::Spy(uint8_t Direction, const std::string& Data) {
  try {
    SpyHandler().Call(static_cast<ICommunicationInterface*>(this), Data, Direction);
  } catch (...) {
    // the spy never disturbs the traffic it watches
  }
}

void TCommunicationInterfaceDataSpy::SpyReceived(const std::string& Data) {
  Spy(SpyDirectionReceived, Data);
  TCommunicationInterface::SpyReceived(Data);
}

void TCommunicationInterfaceDataSpy::SpySent(const std::string& Data) {
  Spy(SpyDirectionSent, Data);
  TCommunicationInterface::SpySent(Data);
}

}  // namespace korvan::ci
