#pragma once
// One open line with a bare Korvan device on its stack: the instructions every module shares.
#include <cstdint>
#include <functional>
#include <string>

#include "comm/uci_ICommunicationInterface.h"
#include "core/uProgress.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uKorvanStackDevice.h"

namespace duomat {

// At any address and, on a serial line, any rate. Owned by one thread.
class TModuleLine {
 public:
  TModuleLine();
  ~TModuleLine();
  TModuleLine(const TModuleLine&) = delete;
  TModuleLine& operator=(const TModuleLine&) = delete;

  // Creates the interface from the string and opens it once; false when it
  // cannot be created or opened.
  bool Open(const std::string& connection);
  korvan::TKorvanStackDevice& Device() { return *device_; }

  // The open line's rate, 0 on a line without one (TCP, UDP, HID).
  uint32_t Rate();
  // Changes the open line's rate through the transport's setter, without
  // reopening; false when the line has no rate or did not take it.
  bool SetRate(uint32_t rate);

  // The identification at `address` (leaving the device there), as UTF-8.
  // Without an answer, `collided` tells whether bytes came all the same:
  // several modules answering at once garble each other.
  bool Identify(int address, std::string& text, bool* collided = nullptr);

  // Any one request at `address` (the device is left there), with the same
  // collision rule as Identify.
  bool Ask(int address, const std::function<bool(korvan::TKorvanStackDevice&)>& request, bool* collided = nullptr);

  // While `cancel` says so, a request in flight ends within a poll period and
  // no new one is sent. From the thread that makes the requests.
  void SetCancel(const TCancel& cancel);

 private:
  korvan::TRef<korvan::TKorvanStackDevice> device_;
  korvan::TRef<korvan::TKorvanStack> stack_;
  korvan::TRef<korvan::ci::ICommunicationInterface> comm_;
};

// True for a provider whose line has a rate (SERIAL_PORT, FTD_USB).
bool ConnectionHasRate(const std::string& connection);
// The string with its "baudrate" item set to `rate` (added when it has none),
// so that the record reconnects at the rate a module was moved to.
std::string ConnectionWithRate(const std::string& connection, uint32_t rate);

}  // namespace duomat
