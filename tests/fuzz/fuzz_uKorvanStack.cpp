// A stack with an Ingra (0x31) and an Outra (0x32) on a scripted line, fed
// chunks and running requests whose answers the fuzzer writes. Single-threaded
// and deterministic: the line answers inside the request's write, and time is
// the simulated tick count, so every reproducer replays.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "comm/uci_ICommunicationInterface.h"
#include "platform/uMessageBox.h"
#include "platform/uTickCount.h"
#include "protocol/uIngra.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uOutra.h"

using namespace korvan;

namespace {

// An open line that receives what it is told to, and answers each write with
// the bytes scripted for it.
class TScriptedLine : public ci::TCommunicationInterface {
 public:
  bool GetActive() override { return active_; }
  std::string GetIdentity() override { return "ScriptedLine"; }
  int InputCount() override { return static_cast<int>(input_.size()); }
  void ClearInput() override { input_.clear(); }
  void ClearOutput() override {}

  void Receive(const std::string& bytes) { input_ += bytes; }
  void Script(std::string answer, bool hangUp) {
    answer_ = std::move(answer);
    hangUp_ = hangUp;
  }

 protected:
  bool InternalOpen() override { return active_ = true; }
  bool InternalClose(bool) override {
    active_ = false;
    return true;
  }
  int InternalWrite(const std::string& Data) override {
    input_ += answer_;
    answer_.clear();
    if (hangUp_) active_ = false;
    return static_cast<int>(Data.size());
  }
  void InternalRead(std::string& Data) override { Data = std::exchange(input_, std::string()); }
  bool InternalSetConfiguration(const std::string&) override { return true; }

 private:
  bool active_ = false;
  bool hangUp_ = false;
  std::string input_;
  std::string answer_;
};

// Reads the input as a little program.
class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint8_t Byte() { return More() ? data_[at_++] : 0; }
  std::string Bytes(size_t n) {
    n = std::min(n, size_ - at_);
    std::string s(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void Request(uint8_t which, TIngra& ingra, TOutra& outra) {
  TIngraRanges ranges{};
  uint8_t a = 0, b = 0;
  int x = 0, y = 0;
  std::string text;
  switch (which % 8) {
    case 0: ingra.GetRanges(ranges); break;
    case 1: ingra.SetRanges({1, 2, 1, 2}); break;
    case 2: ingra.ReadIdentificationText(text); break;
    case 3: outra.GetRanges(a, b); break;
    case 4: outra.GetOutputs(x, y, which & 8); break;
    case 5: outra.GetWatchDogTimeouts(x, y); break;
    case 6: outra.ReadAddressAndBaudRate(a, x); break;
    case 7: ingra.AssignAddress(0x31, 1, 2); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetSimulatedTime(true, 0xFFFFF000u);  // close to the wrap
  SetLibraryMessageHandler([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetSimulatedTime(true, 0xFFFFF000u);
  TRef<TScriptedLine> line = CreateObject<TScriptedLine>();
  line->Open();
  TRef<TKorvanStack> stack = CreateObject<TKorvanStack>();
  stack->SetCommInterface(line.get());
  TRef<TIngra> ingra = CreateObject<TIngra>(uint8_t{0x31});
  TRef<TOutra> outra = CreateObject<TOutra>(uint8_t{0x32});
  ingra->SetStack(stack.get());
  outra->SetStack(stack.get());
  ingra->SetTimeout(40);
  outra->SetTimeout(40);

  TReader in(data, size);
  while (in.More()) {
    const uint8_t op = in.Byte();
    const size_t length = in.Byte() | size_t{in.Byte()} << 8;
    const std::string bytes = in.Bytes(length);
    try {
      switch (op % 4) {
        case 0:  // a chunk from the line, announced
          line->Receive(bytes);
          stack->icDataRcv(line.get());
          break;
        case 1:  // a request answered with these bytes
        case 2:  // the same, and the line goes during it
          line->Script(bytes, op % 4 == 2);
          Request(op >> 2, *ingra, *outra);
          line->Script(std::string(), false);
          if (!line->GetActive()) line->Open();
          break;
        case 3:  // bytes handed to the routing directly
          stack->ProcessReceived(bytes);
          break;
      }
    } catch (const Exception&) {
      // the routing's own errors ("RCV packet ADR=$FF !") are allowed; a request's are not
      if (op % 4 == 1 || op % 4 == 2) std::abort();
    }
    if (stack->BufferedCount() > TKorvanStack::MaxBuffer) std::abort();
  }

  ingra->SetStack(nullptr);
  outra->SetStack(nullptr);
  stack->SetCommInterface(nullptr);
  return 0;
}
