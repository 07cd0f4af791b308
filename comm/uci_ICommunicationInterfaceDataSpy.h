#pragma once
// The process-wide data spy: every string written and read by a data-spy interface.
#include <cstdint>
#include <string>
#include <vector>

#include "comm/uci_ICommunicationInterface.h"

namespace korvan::ci {

// Direction of spied data: written to the line, read from it.
constexpr uint8_t SpyDirectionSent = 1;
constexpr uint8_t SpyDirectionReceived = 2;

using TDataSpyHandler = TMethod<void(ICommunicationInterface* Sender, const std::string& Data, uint8_t Direction)>;

// The process-wide spy that sees every string written and read by every
// data-spy interface, in the thread that wrote or read it.
TDataSpyHandler GetDataSpyHandler();
// Waits for a call of the old handler in progress on another thread, so that
// its object may go once this returns.
void SetDataSpyHandler(TDataSpyHandler handler);

// The built-in handler that forwards traffic to an external terminal.
TDataSpyHandler TerminalForwarderHandler();

// Looks for the DST switch among the program's arguments (index 0 included)
// and installs the terminal forwarder on a match. True when it matched.
bool CheckDataSpyCommandLine(const std::vector<std::string>& arguments);
bool IsDataSpySwitch(const std::string& argument);

// An interface whose traffic reaches the data spy.
class TCommunicationInterfaceDataSpy : public TCommunicationInterface {
 public:
  using TCommunicationInterface::TCommunicationInterface;

  virtual void Spy(uint8_t Direction, const std::string& Data);

 protected:
  void SpyReceived(const std::string& Data) override;
  void SpySent(const std::string& Data) override;
};

}  // namespace korvan::ci
