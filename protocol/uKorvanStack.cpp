#include "protocol/uKorvanStack.h"

#include <cstring>

#include "comm/uTimer.h"
#include "platform/uMessageBox.h"
#include "platform/uTickCount.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanAnswer.h"
#include "protocol/uKorvanStackDevice.h"

namespace korvan {


TKorvanStack::TKorvanStack() : TKorvanStack(pugi::xml_node(), nullptr) {}

// The node base sets the parent, through our SetParent, once the stack exists.
TKorvanStack::TKorvanStack(pugi::xml_node xmlNode, IInterface* parent) : TNodedInterface(xmlNode, parent) {}

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
  const auto handler = ci::TCiNotifyEvent::Bind<&TKorvanStack::icDataRcv>(this);
  const auto attach = [&] {
    if (comm_.get() == commInterface) return;
    ClearBuffer();
    if (comm_) left_.push_back(std::move(comm_));
    comm_ = commInterface;
  };
  if (Lock().HeldByThisThread()) {
    // A device detaches us while we route. Clearing a handler waits for its
    // calls in progress, which wait for our lock: the lines left keep ours,
    // which ignores them, until an attach from outside clears them.
    TWriteLock guard(Lock());
    attach();
    if (commInterface) commInterface->SetOnDataRcv(handler);
    return;
  }
  // One attach from outside at a time, each to its end: two that overlap
  // would leave the loser's line with our handler.
  std::lock_guard<std::mutex> one(attachMutex_);
  {
    TWriteLock guard(Lock());
    attach();
  }
  for (;;) {
    TRef<ci::ICommunicationInterface> attached;
    std::vector<TRef<ci::ICommunicationInterface>> left;
    {
      TWriteLock guard(Lock());
      attached = comm_;
      left.swap(left_);
    }
    if (attached) attached->SetOnDataRcv(handler);
    // Not under our lock: clearing waits for a call in progress, which waits for it.
    for (const auto& old : left)
      if (old != attached && old->GetOnDataRcv() == handler) old->SetOnDataRcv(ci::TCiNotifyEvent());
    // A routing that detached us meanwhile left more to clear.
    TWriteLock guard(Lock());
    if (left_.empty() && comm_ == attached) return;
  }
}

void TKorvanStack::Send(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data) {
  if (data.size() > KorvanMaxData) return;  // the length field could not say it
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
  // A line we have just left may still announce its data once.
  if (!Sender || Sender != comm_.get()) return;
  std::string bytes;
  Sender->Read(bytes);
  received_ += bytes.size();
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
  if (buffer_.size() > MaxBuffer) Consume(buffer_.size() - TrimmedBuffer);
  // The frames are cut out first and delivered afterwards: a device that
  // sends a request or detaches the stack meanwhile changes the buffer.
  std::vector<TKorvanFormat97> frames;
  std::exception_ptr error = CutFrames(frames);

  std::vector<TRef<IKorvanStackDevice>> devices;
  for (const TRef<IInterface>& child : GetChildren())
    if (auto* d = Supports<IKorvanStackDevice>(child)) devices.emplace_back(d);
  for (const TKorvanFormat97& packet : frames) {
    for (const auto& device : devices) {
      const uint8_t adr = device->GetAdr();
      if (adr == packet.ADR || packet.ADR == KorvanUniversalAddress || adr == KorvanUniversalAddress)
        device->DoPacketReceive(packet);
    }
  }
  // The frames behind a faulty one are delivered first; then its error.
  if (error) std::rethrow_exception(error);
}

void TKorvanStack::ClearBuffer() {
  buffer_.clear();
  consumed_ = 0;
  candidates_.Clear();
}

void TKorvanStack::Consume(size_t count) {
  buffer_.erase(0, count);
  consumed_ += count;
  candidates_.DropBefore(consumed_);
}

std::exception_ptr TKorvanStack::CutFrames(std::vector<TKorvanFormat97>& frames) {
  // Consumed bytes are skipped with an offset and cut off once at the end, so
  // the work stays linear in the buffer however many frames it holds; a start
  // whose frame is not complete is looked at again only once it can be.
  size_t head = 0;
  std::exception_ptr error;
  const std::string_view all(buffer_);
  candidates_.Update(all, consumed_);
  size_t candidate = 0;  // length of the frame at the head, 0 when none
  for (int passes = 0;;) {
    bool tookFrame = false;
    if (candidate != 0) {
      const std::string_view frame = all.substr(head, candidate);
      tookFrame = IsValidPacket(frame);
      if (!tookFrame) {
        // Garbage: drop up to the next "*" inside it, at least one byte.
        const void* next = std::memchr(frame.data() + 1, KorvanPrefix, frame.size() - 1);
        if (next) candidate = static_cast<const char*>(next) - frame.data();
      } else if (frame.size() < 9) {
        // Passes the check but does not parse: it goes, and so does its error.
        if (!error) error = std::make_exception_ptr(EKorvanPacketError());
      } else {
        TKorvanFormat97 packet = ParsePacket(frame);
        if (packet.ADR == KorvanInvalidAddress) {
          if (!error) error = std::make_exception_ptr(EKorvanStackError("RCV packet ADR=$FF !"));
        } else {
          frames.push_back(std::move(packet));
        }
      }
      // Taken or not, a valid frame leaves the buffer; garbage is dropped.
      head += candidate;
    }

    candidate = CompletePacketLength(all, head);
    if (candidate == 0 && head < all.size()) {
      // The first start behind the head whose frame is complete; the bytes
      // before it go.
      candidates_.DropBefore(consumed_ + head);
      if (const uint64_t next = candidates_.FirstReady(); next != TFrameCandidates::None) {
        head = static_cast<size_t>(next - consumed_);
        candidate = CompletePacketLength(all, head);
      }
    }
    ++passes;
    if (candidate == 0) break;
    // Asking the line takes its locks: after each frame, but only every 64th
    // pass through a run of garbage.
    if (passes > 1000 && (tookFrame || passes % 64 == 0) && comm_ && comm_->InputCount() != 0) break;
  }
  Consume(std::min(head, buffer_.size()));
  return error;
}

void TKorvanStack::ProcessRemaining(const TKorvanAnswerSearch& search) {
  try {
    std::string rest = search.Rest();
    if (search.Trimmed()) {
      // The routing would have kept only the newest bytes of all this.
      TWriteLock guard(Lock());
      ClearBuffer();
      if (rest.size() > TrimmedBuffer) rest.erase(0, rest.size() - TrimmedBuffer);
    }
    ProcessReceived(rest);
  } catch (const std::exception& e) {
    // The transaction is over: a stray frame's error is shown, not raised.
    ShowLibraryMessage(e.what());
  } catch (...) {
    ShowLibraryMessage("TKorvanStack.SendReceive");
  }
}

namespace {
std::atomic<TRequestCancel> g_requestCancel{nullptr};

bool RequestCancelled() {
  const TRequestCancel check = g_requestCancel.load();
  return check != nullptr && check();
}
}  // namespace

void SetRequestCancel(TRequestCancel check) { g_requestCancel.store(check); }

bool TKorvanStack::Cancelled() const { return RequestCancelled() || (cancel_ && cancel_()); }

bool TKorvanStack::SendReceive(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data, std::string& reply,
                               int timeout) {
  reply.clear();
  if (data.size() > KorvanMaxData) return false;
  TRef<ci::ICommunicationInterface> comm = GetCommInterface();
  if (!comm || !comm->GetActive()) return false;

  // Whatever fails inside (a read, a write, memory) ends the request as a
  // failure; the guards release both locks on every path.
  try {
    TWriteLock stackGuard(Lock());
    TWriteLock commGuard(*comm);
    TKorvanAnswerSearch search(ADR, SIG, MaxBuffer, TrimmedBuffer);
    bool answered = false;
    try {
      std::string stale;
      comm->Read(stale);  // stale bytes are never the answer
      received_ += stale.size();
      search.SetAside(stale);
      // Reading may have found the line gone (an unplugged adapter): then this
      // is a failed request, not a write onto a closed line.
      if (comm->GetActive() && !Cancelled()) {
        comm->Write(BuildPacket(ADR, SIG, code, data));
        // Counted from the write, not from the wait for the locks.
        TTimer deadline;
        deadline.Start(static_cast<uint32_t>(std::max(timeout, 0)));
        for (;;) {
          if (comm->InputCount() != 0) {
            std::string chunk;
            comm->Read(chunk);
            received_ += chunk.size();
            // Every complete frame that arrived is looked at, not just the first.
            if (search.Add(chunk, reply)) {
              answered = true;
              break;
            }
          }
          // A line that went away (peer closed, adapter unplugged) answers nothing more.
          if (!comm->GetActive() || deadline.Expired() || Cancelled()) break;
          // Woken by the bytes themselves; the period only bounds the wait.
          comm->WaitForInput(PollPeriodMs);
        }
      }
    } catch (...) {
      answered = false;
      reply.clear();
    }
    // Whatever was not the answer still reaches the devices, in arrival order.
    ProcessRemaining(search);
    return answered;
  } catch (...) {
    reply.clear();
    return false;
  }
}

}  // namespace korvan
