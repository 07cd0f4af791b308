#include "protocol/uKorvanStack.h"

#include <cstring>

#include "comm/uTimer.h"
#include "platform/uTickCount.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanStackDevice.h"

namespace korvan {

namespace {
bool IsNonAnswerCode(uint8_t code) { return code >= 12 && code <= 15; }

// Releases an interface's exclusive lock when a transaction ends, whatever happens.
struct TInterfaceWriteLock {
  ci::ICommunicationInterface* comm;
  explicit TInterfaceWriteLock(ci::ICommunicationInterface* c) : comm(c) { comm->BeginWrite(); }
  ~TInterfaceWriteLock() noexcept(false) { comm->EndWrite(); }
};
}  // namespace

TKorvanStack::TKorvanStack() : TKorvanStack(pugi::xml_node(), nullptr) {}

TKorvanStack::TKorvanStack(pugi::xml_node xmlNode, IInterface* parent) : TNodedInterface(xmlNode, nullptr) {
  if (parent) SetParent(parent);
}

TKorvanStack::~TKorvanStack() {
  try {
    SetCommInterface(nullptr);
  } catch (...) {
  }
}

void TKorvanStack::SetParent(IInterface* parent) {
  auto* comm = Supports<ci::ICommunicationInterface>(parent);
  if (parent && !comm) throw EKorvanStackError("IKorvanStack can be owned only by ICommunicationInterface");
  TNodedInterface::SetParent(parent);
  SetCommInterface(comm);
}

TRef<ci::ICommunicationInterface> TKorvanStack::GetCommInterface() {
  TReadLock guard(Lock());
  return comm_;
}

void TKorvanStack::SetCommInterface(ci::ICommunicationInterface* commInterface) {
  TRef<ci::ICommunicationInterface> old;  // released after the lock
  TWriteLock guard(Lock());
  if (comm_.get() == commInterface) return;
  if (comm_) comm_->SetOnDataRcv(ci::TCiNotifyEvent());
  buffer_.clear();
  old = std::move(comm_);
  comm_ = commInterface;
  if (comm_) comm_->SetOnDataRcv(ci::TCiNotifyEvent::Bind<&TKorvanStack::icDataRcv>(this));
}

void TKorvanStack::Send(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data) {
  if (TRef<ci::ICommunicationInterface> comm = GetCommInterface()) comm->Write(BuildPacket(ADR, SIG, code, data));
}

bool TKorvanStack::AddDevice(IKorvanStackDevice* device) {
  if (!device) return false;
  const bool added = AddChild(device) >= 0;
  if (device->GetStack().get() != static_cast<IKorvanStack*>(this)) device->SetStack(this);
  return added;
}

bool TKorvanStack::RemoveDevice(IKorvanStackDevice* device) {
  if (!device) return false;
  TRef<IKorvanStackDevice> keep(device);
  if (device->GetStack().get() == static_cast<IKorvanStack*>(this)) device->SetStack(nullptr);
  return RemoveChild(device) >= 0;
}

void TKorvanStack::icDataRcv(ci::ICommunicationInterface* Sender) {
  TRef<IKorvanStack> self(this);
  // Held over the processing too: a transaction's final processing works on
  // the same buffer.
  TWriteLock guard(Lock());
  std::string bytes;
  if (Sender) Sender->Read(bytes);
  ProcessReceived(bytes);
}

size_t TKorvanStack::BufferedCount() {
  TReadLock guard(Lock());
  return buffer_.size();
}

void TKorvanStack::ProcessReceived(const std::string& bytes) {
  if (bytes.empty()) return;
  TWriteLock guard(Lock());
  buffer_ += bytes;
  if (buffer_.size() > MaxBuffer) buffer_.erase(0, buffer_.size() - TrimmedBuffer);
  ProcessBuffer();
}

void TKorvanStack::ProcessBuffer() {
  // Consumed bytes are skipped with an offset and cut off once at the end, so
  // the work stays linear in the buffer however many frames it holds.
  size_t head = 0;
  struct Compact {
    std::string& buffer;
    size_t& head;
    ~Compact() { buffer.erase(0, std::min(head, buffer.size())); }
  } compact{buffer_, head};

  std::vector<TRef<IKorvanStackDevice>> devices;
  for (const TRef<IInterface>& child : GetChildren())
    if (auto* d = Supports<IKorvanStackDevice>(child)) devices.emplace_back(d);

  const std::string_view all(buffer_);
  size_t candidate = 0;  // length of the frame at the head, 0 when none
  for (int passes = 0;;) {
    bool pending = true;
    if (candidate != 0) {
      const std::string_view frame = all.substr(head, candidate);
      if (CheckPacket(frame) != 0) {
        // Garbage: drop up to the next "*" inside it, at least one byte.
        const void* next = std::memchr(frame.data() + 1, KorvanPrefix, frame.size() - 1);
        if (next) candidate = static_cast<const char*>(next) - frame.data();
      } else {
        TKorvanFormat97 packet;
        try {
          packet = ParsePacket(frame);
        } catch (...) {
          // A frame that passes the check but does not parse (8 bytes) goes
          // too, or it would stay at the head and block everything behind it.
          head += candidate;
          throw;
        }
        if (packet.ADR == KorvanInvalidAddress) {
          // Drop it so that the frames behind it are not blocked forever.
          head += candidate;
          throw EKorvanStackError("RCV packet ADR=$FF !");
        }
        for (const auto& device : devices) {
          const uint8_t adr = device->GetAdr();
          if (adr == packet.ADR || packet.ADR == KorvanUniversalAddress || adr == KorvanUniversalAddress) {
            if (pending) {
              head += candidate;
              pending = false;
            }
            device->DoPacketReceive(packet);
          }
        }
      }
    }
    if (pending) head += candidate;

    candidate = CompletePacketLength(all, head);
    if (candidate == 0 && head < all.size()) {
      for (size_t p = all.find("*a", head); p != std::string_view::npos; p = all.find("*a", p + 1)) {
        if (const size_t length = CompletePacketLength(all, p)) {
          head = p;
          candidate = length;
          break;
        }
      }
    }
    ++passes;
    if (candidate == 0) break;
    if (passes > 1000 && comm_ && comm_->InputCount() != 0) break;
  }
}

bool TKorvanStack::SendReceive(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data, std::string& reply,
                               int timeout) {
  TTimer deadline;
  deadline.Start(static_cast<uint32_t>(std::max(timeout, 0)));
  reply.clear();
  TRef<ci::ICommunicationInterface> comm = GetCommInterface();
  if (!comm || !comm->GetActive()) return false;

  TWriteLock stackGuard(Lock());
  std::string other, rx;
  bool answered = false;
  {
    TInterfaceWriteLock commGuard(comm.get());
    struct Finally {
      TKorvanStack* stack;
      std::string& other;
      std::string& rx;
      // Whatever was not the answer still reaches the devices, in arrival order.
      ~Finally() noexcept(false) {
        if (std::uncaught_exceptions() == 0) {
          stack->ProcessReceived(other + rx);
        } else {
          try {
            stack->ProcessReceived(other + rx);
          } catch (...) {
          }
        }
      }
    } finally{this, other, rx};

    std::string waiting;
    comm->Read(waiting);
    other += waiting;  // stale bytes are never the answer
    // Reading may have found the line gone (an unplugged adapter): then this
    // is a failed request, not a write onto a closed line.
    if (!comm->GetActive()) return false;
    comm->Write(BuildPacket(ADR, SIG, code, data));

    while (!answered) {
      SleepMs(PollPeriodMs);
      if (comm->InputCount() != 0) {
        std::string chunk;
        comm->Read(chunk);
        rx += chunk;
        // Every complete frame that arrived is looked at, not just the first:
        // a non-answer and the answer may come in one chunk.
        for (;;) {
          const size_t start = rx.find("*a");
          if (start != std::string::npos && start > 0) {
            other.append(rx, 0, start);
            rx.erase(0, start);
          }
          std::string frame = ExtractPacket(rx, true);
          if (frame.empty()) break;
          if (CheckPacket(frame) == 0) {
            const TKorvanFormat97 p = ParsePacket(frame);
            if (p.SIG == SIG && !IsNonAnswerCode(p.code) && (ADR == KorvanUniversalAddress || p.ADR == ADR)) {
              reply = std::move(frame);
              answered = true;
              break;
            }
          }
          other += frame;
        }
      }
      if (!answered && deadline.Expired()) break;
    }
  }
  return answered;
}

}  // namespace korvan
