#pragma once
// The simulated module's base: shared instructions, fault switches and the framing of answers.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvan::sim {

// One write of the module's output: wait PauseMs, then put Bytes on the line.
struct TPiece {
  int PauseMs = 0;
  std::string Bytes;
};

// What a module sends back for one request; empty when it stays quiet.
struct TAnswer {
  std::vector<TPiece> Pieces;

  bool Empty() const { return Pieces.empty(); }
  // Every piece, in order, without the pauses.
  std::string Bytes() const;
};

// Misbehaviour to simulate; may be changed at any time, takes effect with the
// next request.
struct TFaults {
  int DelayMs = 0;                   // pause before the first byte
  std::string Noise;                 // sent before everything else
  std::string Suffix;                // sent after everything else
  int SplitPauseMs = -1;             // >= 0: the answer frame in two halves, this pause between
  bool BadChecksumOnce = false;      // spoils the next answer frame's checksum, then clears itself
  bool Silent = false;               // requests are neither carried out nor answered
  bool NoticeBeforeAnswer = false;   // a frame with the request's SIG and code 0x0D goes first
  std::optional<uint8_t> ForcedAck;  // every request refused with this code, nothing carried out
};

// The 0xFA numbers; the first two also identify the module for 0xEB.
struct TNumbers {
  uint16_t A = 0;
  uint16_t B = 0;
  uint32_t C = 0;
};

// State and answers of one simulated module: the instructions every Korvan
// module shares, the fault switches, and the framing of answers. Derived
// models add their own instructions. All public members are thread-safe.
class TModuleModel {
 public:
  static constexpr uint8_t DefaultAddress = 0x31;
  static constexpr uint8_t DefaultBaudCode = 6;  // 9600 Bd
  static constexpr uint8_t BaudCodes = 12;

  virtual ~TModuleModel() = default;
  TModuleModel(const TModuleModel&) = delete;
  TModuleModel& operator=(const TModuleModel&) = delete;

  // The answer to one received frame. Frames that fail the check, cannot be
  // parsed or are addressed to another module get none.
  TAnswer Answer(std::string_view request);

  uint8_t GetAddress() const;
  void SetAddress(uint8_t address);
  uint8_t GetBaudCode() const;
  void SetBaudCode(uint8_t code);
  std::string GetIdentification() const;
  void SetIdentification(std::string text);
  uint8_t GetParameter() const;  // 0xF1 / 0xE1
  void SetParameter(uint8_t value);
  std::string GetText() const;  // 0xF2 / 0xE2
  void SetText(std::string text);
  bool GetFlag() const;  // 0xFE / 0xEE
  void SetFlag(bool value);
  TNumbers GetNumbers() const;  // 0xFA, 0xEB
  void SetNumbers(TNumbers numbers);
  int GetCommandCount() const;  // 0xE3 carried out
  // True between an accepted 0xE4 and the next request.
  bool GetConfigurationEnabled() const;

  TFaults GetFaults() const;
  void SetFaults(TFaults faults);
  void ClearFaults() { SetFaults({}); }
  // One switch each, leaving the others as they are.
  void SetDelay(int milliseconds);
  void SetNoise(std::string bytes);
  void SetSuffix(std::string bytes);
  void SetSplit(int pauseMs);  // negative: off
  void SpoilNextChecksum();
  void SetSilent(bool silent);
  void SetNoticeBeforeAnswer(bool notice);
  void SetForcedAck(std::optional<uint8_t> code);

 protected:
  explicit TModuleModel(std::string identification);

  struct TReply {
    uint8_t Ack = 0;
    std::string Data;
    bool Quiet = false;  // carried out or not, but not answered
  };
  static TReply Ack(uint8_t code, std::string data = {}) { return {code, std::move(data), false}; }

  // Tagged items: the channel number, then the value big-endian in `width`
  // bytes. A read answers one item per channel with value(channel). A write
  // takes up to `channels` items with distinct channel numbers (all of them
  // when `all` is set), refuses the whole write with 3 when the data is not
  // such items or one value is not valid(value), and otherwise stores each
  // with store(channel, value).
  template <class Value>
  static TReply ReadItems(std::string_view data, int width, int channels, Value value) {
    if (!data.empty()) return Ack(3);
    std::string answer;
    for (int n = 1; n <= channels; ++n) answer += Item(static_cast<uint8_t>(n), value(n), width);
    return Ack(0, answer);
  }
  template <class Valid, class Store>
  static TReply WriteItems(std::string_view data, int width, int channels, bool all, Valid valid, Store store) {
    const auto items = ParseItems(data, width, channels);
    if (!items || (all && items->size() != static_cast<size_t>(channels))) return Ack(3);
    for (const TItem& item : *items)
      if (!valid(item.Value)) return Ack(3);
    for (const TItem& item : *items) store(item.Channel, item.Value);
    return Ack(0);
  }

  // The module's own instructions, called with mutex_ held; `configuration`
  // tells whether 0xE4 came directly before. None for an unknown instruction.
  virtual std::optional<TReply> Instruction(uint8_t code, std::string_view data,
                                            bool configuration) = 0;
  // Every request that reaches the module, answered or not, before it is
  // carried out; called with mutex_ held.
  virtual void Heard() {}

  mutable std::mutex mutex_;

 private:
  struct TItem {
    uint8_t Channel;
    uint32_t Value;
  };
  static std::string Item(uint8_t channel, uint32_t value, int width);
  static std::optional<std::vector<TItem>> ParseItems(std::string_view data, int width, int channels);

  std::optional<TReply> Common(uint8_t code, std::string_view data, bool configuration);
  TAnswer Shape(uint8_t adr, uint8_t sig, const TReply& reply);

  uint8_t address_ = DefaultAddress;
  uint8_t baudCode_ = DefaultBaudCode;
  std::string identification_;
  uint8_t parameter_ = 0;
  std::string text_;
  bool flag_ = false;
  TNumbers numbers_;
  int commands_ = 0;
  bool configuration_ = false;
  TFaults faults_;
};

}  // namespace korvan::sim
