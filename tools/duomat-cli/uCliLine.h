#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

#include "comm/uci_ICommunicationInterface.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uKorvanStackDevice.h"

// One open line with a bare Korvan device on its stack, for the instructions
// every module shares, at any address and, on a serial line, any rate.
namespace duomat::cli {

class TCliLine {
 public:
  TCliLine();
  ~TCliLine();
  TCliLine(const TCliLine&) = delete;
  TCliLine& operator=(const TCliLine&) = delete;

  // Creates the interface from the string and opens it once; false when it
  // cannot be created or opened.
  bool Open(const std::string& connection);
  korvan::TKorvanStackDevice& Device() { return *device_; }

  // The open line's rate, 0 on a line without one (TCP, UDP, HID).
  uint32_t Rate();
  // Changes the open line's rate through the transport's setter, without
  // reopening; false when the line has no rate or did not take it.
  bool SetRate(uint32_t rate);

 private:
  korvan::TRef<korvan::TKorvanStackDevice> device_;
  korvan::TRef<korvan::TKorvanStack> stack_;
  korvan::TRef<korvan::ci::ICommunicationInterface> comm_;
};

// True for a provider whose line has a rate (SERIAL_PORT, FTD_USB).
bool ConnectionHasRate(const std::string& connection);

// "0x31".
std::string AddressText(int address);

// A usage error of the scan and module commands: exit 2, nothing sent.
struct TCliUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Decimal, or hexadecimal after 0x; throws TCliUsage naming `what` otherwise.
long ParseCliNumber(const std::string& text, const char* what, long lo, long hi);

// Text: the message (standard output when ok, else standard error), then
// key=value lines, every text escaped for the terminal and an address key in
// hex. JSON: one object {"ok", "message", values...} on standard output.
void PrintResult(bool ok, const std::string& message, const nlohmann::ordered_json& values,
                 bool json);

// Called in a catch block: prints the exception in flight (a TCliUsage as a
// usage error) and returns its exit status, 2 for usage, else 1.
int ReportCommandError(bool json);

// One JSON object, text from the line that is not UTF-8 replaced, not thrown at.
std::string JsonLine(const nlohmann::ordered_json& j);

}  // namespace duomat::cli
