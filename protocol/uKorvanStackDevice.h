#pragma once
// Korvan module devices: request outcomes, signature slots, the baud table and the base of every device.
#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "comm/uTimer.h"
#include "comm/uiNodedInterface.h"
#include "platform/uEvent.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanStack.h"

namespace korvan {

// Outcome of a device's last request.
enum : uint8_t {
  KorvanStatusNone = 0,
  KorvanStatusDone = 1,
  KorvanStatusNoAnswer = 2,
  KorvanStatusInvalidAnswer = 3,
  KorvanStatusModuleError = 4,
};

// Called with the request and its answer when an answer arrives for a
// request sent without waiting.
using TKorvanAnswerCallback = TMethod<void(const TKorvanFormat97& request, const TKorvanFormat97& answer)>;

// One of the 256 signature slots of a device.
struct TKorvanStackItemSIG {
  bool free = true;
  uint8_t instruction = 0;
  double created = 0;  // seconds since the epoch, local clock
  TTimer deadline;
  TEvent* event = nullptr;
  TKorvanFormat97 answer;
  TKorvanAnswerCallback callback;
  TKorvanFormat97 request;

  // Reserved and not yet past its deadline.
  bool Busy() const { return !free && !deadline.Expired(); }
};
using TKorvanStackItemSIGP = TKorvanStackItemSIG*;

// Code → baud rate of the modules' serial line.
constexpr std::array<int, 12> KorvanBaudTable = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

class IKorvanStackDevice : public virtual INodedInterface {
 public:
  virtual TRef<IKorvanStack> GetStack() = 0;
  virtual void SetStack(IKorvanStack* stack) = 0;
  virtual uint8_t GetAdr() = 0;
  virtual void SetAdr(uint8_t adr) = 0;
  virtual int DoPacketReceive(const TKorvanFormat97& packet) = 0;
  virtual bool CommandE3() = 0;
  virtual bool ReadIdentification() = 0;
  virtual bool ReadByteParameter(uint8_t& value) = 0;
  virtual bool WriteByteParameter(uint8_t value) = 0;
  virtual bool ReadF2Data(std::string& data) = 0;
  virtual bool WriteText(const std::string& text) = 0;
  virtual bool ReadIdentificationText(std::string& text) = 0;
  virtual bool ReadFlag(bool& value) = 0;
  virtual bool WriteFlag(bool value) = 0;
  virtual bool ReadNumbers(uint16_t& a, uint16_t& b, uint32_t& c) = 0;
  virtual bool ReadAddress(uint8_t& adr) = 0;
  virtual bool ChangeAddress(uint8_t newAdr) = 0;
  virtual bool AssignAddress(uint8_t newAdr, uint16_t a, uint16_t b) = 0;
  virtual bool ReadAddressAndBaudRate(uint8_t& adr, int& baud) = 0;
  virtual bool SetAddressAndBaudRate(uint8_t adr, int baud) = 0;
  virtual bool EnableConfiguration() = 0;
  // True for any answer with the right SIG; the acknowledge is returned, not tested.
  virtual bool RequestData(uint8_t instruction, const std::string& data, int timeout, int& ack,
                           std::string& answer) = 0;
  virtual uint8_t GetStatus() = 0;
  virtual void ClearStatus() = 0;
  virtual int GetLastAck() = 0;
  virtual void SetFixedSIG(uint8_t sig) = 0;
  virtual uint8_t GetFixedSIG() = 0;
  virtual void SetTimeout(int milliseconds) = 0;
  virtual int GetTimeout() = 0;
};

// The base of every Korvan module object: its address, the signature table,
// synchronous requests through its stack and the instructions all modules share.
class TKorvanStackDevice : public TNodedInterface, public virtual IKorvanStackDevice {
 public:
  static constexpr int DefaultTimeout = 1000;
  static constexpr int EnableConfigurationTimeout = 500;

  explicit TKorvanStackDevice(uint8_t adr);
  TKorvanStackDevice(const std::string& identifier, uint8_t adr);
  TKorvanStackDevice(pugi::xml_node xmlNode, IInterface* parent);
  ~TKorvanStackDevice() override;

  TRef<IKorvanStack> GetStack() override;
  void SetStack(IKorvanStack* stack) override;
  uint8_t GetAdr() override;
  void SetAdr(uint8_t adr) override;
  int DoPacketReceive(const TKorvanFormat97& packet) override;
  bool CommandE3() override;
  bool ReadIdentification() override;
  bool ReadByteParameter(uint8_t& value) override;
  bool WriteByteParameter(uint8_t value) override;
  bool ReadF2Data(std::string& data) override;
  bool WriteText(const std::string& text) override;
  bool ReadIdentificationText(std::string& text) override;
  bool ReadFlag(bool& value) override;
  bool WriteFlag(bool value) override;
  bool ReadNumbers(uint16_t& a, uint16_t& b, uint32_t& c) override;
  bool ReadAddress(uint8_t& adr) override;
  bool ChangeAddress(uint8_t newAdr) override;
  bool AssignAddress(uint8_t newAdr, uint16_t a, uint16_t b) override;
  bool ReadAddressAndBaudRate(uint8_t& adr, int& baud) override;
  bool SetAddressAndBaudRate(uint8_t adr, int baud) override;
  bool EnableConfiguration() override;
  bool RequestData(uint8_t instruction, const std::string& data, int timeout, int& ack,
                   std::string& answer) override;
  uint8_t GetStatus() override;
  void ClearStatus() override;
  int GetLastAck() override;
  void SetFixedSIG(uint8_t sig) override;
  uint8_t GetFixedSIG() override;
  void SetTimeout(int milliseconds) override;
  int GetTimeout() override;

  virtual void SetStatus(uint8_t status);
  virtual void SetLastAck(int ack);
  // Packets with codes 12 to 15, which answer no request.
  virtual int DoNonAnswerPacket(const TKorvanFormat97& packet);
  // Stores an answer in its signature slot.
  virtual int DoAnswer(const TKorvanFormat97& packet);

  void LoadFromXML(pugi::xml_node node, bool take, bool alwaysGUID) override;
  void SaveToXML() override;

  // Parses an "ADR" attribute text: "#$31", "#49", a single character, else 0.
  static uint8_t ParseAddressText(const std::string& text);

  // The signature slot (for tests and diagnostics).
  TKorvanStackItemSIG Slot(uint8_t sig);

 protected:
  // A negative time-out means the device's default.
  bool Request(uint8_t instruction, const std::string& data, TKorvanAnswerCallback callback, bool wait, int timeout,
               TKorvanFormat97& answer);
  // Request that also needs acknowledge 0 when waiting.
  bool RequestAck(uint8_t instruction, const std::string& data, TKorvanAnswerCallback callback, bool wait,
                  int timeout, int& ack, std::string& answerData);
  // The common case: wait with the default time-out, answer data out.
  bool RequestAck(uint8_t instruction, const std::string& data, std::string& answerData, int timeout = -1);

  uint8_t AllocateSIG(int timeout, TEvent* event, uint8_t instruction);
  void ReleaseSIG(uint8_t sig);

 protected:
  void Constructed() override;

 private:
  void Init(uint8_t adr);

  TRef<IInterface> pendingParent_;  // the XML constructor's, set in Constructed
  std::mutex mutex_;  // the fields below except the slot table
  int defaultTimeout_ = DefaultTimeout;
  uint8_t lastSIG_ = 0;
  uint8_t adr_ = 0;
  TRef<IKorvanStack> stack_;
  uint8_t status_ = KorvanStatusNone;
  int lastAck_ = -1;
  uint8_t fixedSIG_ = 0;

  std::recursive_mutex slotLock_;
  std::array<TKorvanStackItemSIG, 256> slots_;
};

}  // namespace korvan
