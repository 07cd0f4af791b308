#pragma once
// The protocol stack: cuts frames out of what a line receives and routes them to the devices.
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <functional>
#include <string>
#include <vector>

#include "comm/uci_ICommunicationInterface.h"
#include "comm/uiNodedInterface.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanCandidates.h"

namespace korvan {

class IKorvanStackDevice;
class TKorvanAnswerSearch;

// A check for the whole process that the program is being stopped: while it
// returns true, SendReceive sends nothing and a request in flight stops
// waiting within a poll period instead of at its time-out. It must be safe
// from any thread (an atomic read). Null, the default: requests run out.
using TRequestCancel = bool (*)();
void SetRequestCancel(TRequestCancel check);

class EKorvanStackError : public Exception {
 public:
  using Exception::Exception;
};

// The stack between one communication interface and the devices reached
// through it: writes requests, cuts received bytes into frames and routes
// each frame by address to the devices (its children).
class IKorvanStack : public virtual INodedInterface {
 public:
  virtual void Send(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data) = 0;
  // Sends one request and waits for the frame that answers it.
  virtual bool SendReceive(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data, std::string& reply,
                           int timeout) = 0;
  virtual TRef<ci::ICommunicationInterface> GetCommInterface() = 0;
  virtual void SetCommInterface(ci::ICommunicationInterface* commInterface) = 0;
  virtual bool AddDevice(IKorvanStackDevice* device) = 0;
  virtual bool RemoveDevice(IKorvanStackDevice* device) = 0;
};

class TKorvanStack : public TNodedInterface, public virtual IKorvanStack {
 public:
  static constexpr size_t MaxBuffer = 0x20000;   // beyond this the oldest bytes go
  static constexpr size_t TrimmedBuffer = 0x15000;
  static constexpr int PollPeriodMs = 5;

  TKorvanStack();
  TKorvanStack(pugi::xml_node xmlNode, IInterface* parent);
  ~TKorvanStack() override;

  void Send(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data) override;
  bool SendReceive(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data, std::string& reply,
                   int timeout) override;
  TRef<ci::ICommunicationInterface> GetCommInterface() override;
  void SetCommInterface(ci::ICommunicationInterface* commInterface) override;
  bool AddDevice(IKorvanStackDevice* device) override;
  bool RemoveDevice(IKorvanStackDevice* device) override;

  // Only a communication interface may own a stack.
  void SetParent(IInterface* parent) override;

  // The OnDataRcv handler installed on the attached interface.
  void icDataRcv(ci::ICommunicationInterface* Sender);

  // Routes newly received bytes: appends them to the receive buffer and
  // hands every complete frame to the devices whose address matches.
  void ProcessReceived(const std::string& bytes);

  // Bytes received and not consumed yet.
  size_t BufferedCount();
  // Bytes ever read from the line: a request that failed while bytes came
  // met answers it could not read, such as two modules answering at once.
  uint64_t ReceivedCount() const { return received_.load(); }

  // A check of this stack's own (a dialog's stop button): while it returns
  // true, requests end as under the process-wide cancel. Set it from the
  // thread that makes the requests, before them; the check itself may read
  // what any thread sets.
  void SetCancel(std::function<bool()> check) { cancel_ = std::move(check); }

 private:
  bool Cancelled() const;
  // Cuts the complete frames out of the buffer; the first error met, if any.
  std::exception_ptr CutFrames(std::vector<TKorvanFormat97>& frames);
  // The final processing of a transaction: errors are shown, not raised.
  void ProcessRemaining(const TKorvanAnswerSearch& search);
  void ClearBuffer();
  // Drops the oldest bytes of the buffer.
  void Consume(size_t count);

  std::string buffer_;
  uint64_t consumed_ = 0;  // bytes ever dropped from the buffer's front
  std::atomic<uint64_t> received_{0};
  std::function<bool()> cancel_;
  TFrameCandidates candidates_;
  TRef<ci::ICommunicationInterface> comm_;
  // Lines left whose handler may still be ours.
  std::vector<TRef<ci::ICommunicationInterface>> left_;
  std::mutex attachMutex_;
};

}  // namespace korvan
