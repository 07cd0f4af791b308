#include "protocol/uKorvanStack.h"

#include <cstring>

#include "comm/uTimer.h"
#include "platform/uMessageBox.h"
#include "platform/uTickCount.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanStackDevice.h"

namespace korvan {

namespace {
bool IsNonAnswerCode(uint8_t code) { return code >= 12 && code <= 15; }

// The length of the complete frame at `at` that passes CheckPacket, else 0.
size_t ValidFrameAt(std::string_view bytes, size_t at) {
  const size_t length = CompletePacketLength(bytes, at);
  return length != 0 && CheckPacket(bytes.substr(at, length)) == 0 ? length : 0;
}

// Looks for the transaction's answer in rx. Frames and noise before it move to
// the end of other, the answer to reply. A "*a" whose frame is not complete or
// not valid does not hide a complete valid frame behind it, and a frame too
// short to carry SIG and code (8 bytes) is never the answer.
bool TakeAnswer(std::string& rx, std::string& other, uint8_t ADR, uint8_t SIG, std::string& reply) {
  const std::string_view all(rx);
  size_t done = 0;  // rx up to here is not the answer
  for (size_t at = all.find("*a"); at != std::string_view::npos; at = all.find("*a", at + 1)) {
    const size_t length = ValidFrameAt(all, at);
    if (length == 0) continue;
    if (length >= 9) {
      const auto byte = [&](size_t i) { return static_cast<uint8_t>(all[at + i]); };
      if (byte(5) == SIG && !IsNonAnswerCode(byte(6)) && (ADR == KorvanUniversalAddress || byte(4) == ADR)) {
        other.append(all.substr(0, at));
        reply.assign(all.substr(at, length));
        rx.erase(0, at + length);
        return true;
      }
    }
    done = at + length;
    at = done - 1;
  }
  // Keep what may still become a frame; the noise in front of it is not.
  const size_t start = all.find("*a", done);
  if (start != std::string_view::npos) done = start;
  other.append(all.substr(0, done));
  rx.erase(0, done);
  return false;
}
}  // namespace

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
  // A device may detach us while we route, with our lock held on this thread.
  const bool locked = Lock().HeldByThisThread();
  std::vector<TRef<ci::ICommunicationInterface>> left;
  {
    TWriteLock guard(Lock());
    if (comm_.get() == commInterface && (locked || left_.empty())) return;
    if (comm_.get() != commInterface) {
      buffer_.clear();
      if (comm_) left_.push_back(std::move(comm_));
      comm_ = commInterface;
    }
    if (!locked) left.swap(left_);
  }
  const auto handler = ci::TCiNotifyEvent::Bind<&TKorvanStack::icDataRcv>(this);
  if (commInterface) commInterface->SetOnDataRcv(handler);
  // Clearing waits for a handler call in progress on the receive thread, and
  // that call waits for our lock: so never while we hold it. Until then our
  // handler stays on the line we left and ignores it.
  for (const auto& old : left)
    if (old.get() != commInterface && old->GetOnDataRcv() == handler) old->SetOnDataRcv(ci::TCiNotifyEvent());
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

std::exception_ptr TKorvanStack::CutFrames(std::vector<TKorvanFormat97>& frames) {
  // Consumed bytes are skipped with an offset and cut off once at the end, so
  // the work stays linear in the buffer however many frames it holds.
  size_t head = 0;
  std::exception_ptr error;
  const std::string_view all(buffer_);
  size_t candidate = 0;  // length of the frame at the head, 0 when none
  for (int passes = 0;;) {
    if (candidate != 0) {
      const std::string_view frame = all.substr(head, candidate);
      if (CheckPacket(frame) != 0) {
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
  buffer_.erase(0, std::min(head, buffer_.size()));
  return error;
}

void TKorvanStack::ProcessRemaining(const std::string& bytes) {
  try {
    ProcessReceived(bytes);
  } catch (const std::exception& e) {
    // The transaction is over: a stray frame's error is shown, not raised.
    ShowLibraryMessage(e.what());
  } catch (...) {
    ShowLibraryMessage("TKorvanStack.SendReceive");
  }
}

bool TKorvanStack::SendReceive(uint8_t ADR, uint8_t SIG, uint8_t code, const std::string& data, std::string& reply,
                               int timeout) {
  reply.clear();
  if (data.size() > KorvanMaxData) return false;
  TRef<ci::ICommunicationInterface> comm = GetCommInterface();
  if (!comm || !comm->GetActive()) return false;

  TWriteLock stackGuard(Lock());
  std::string other, rx;
  bool answered = false;
  comm->BeginWrite();
  try {
    comm->Read(other);  // stale bytes are never the answer
    // Reading may have found the line gone (an unplugged adapter): then this
    // is a failed request, not a write onto a closed line.
    if (comm->GetActive()) {
      comm->Write(BuildPacket(ADR, SIG, code, data));
      // Counted from the write, not from the wait for the locks.
      TTimer deadline;
      deadline.Start(static_cast<uint32_t>(std::max(timeout, 0)));
      for (;;) {
        if (comm->InputCount() != 0) {
          std::string chunk;
          comm->Read(chunk);
          rx += chunk;
          // Every complete frame that arrived is looked at, not just the first.
          if (TakeAnswer(rx, other, ADR, SIG, reply)) {
            answered = true;
            break;
          }
        }
        // A line that went away (peer closed, adapter unplugged) answers nothing more.
        if (!comm->GetActive() || deadline.Expired()) break;
        // Woken by the bytes themselves; the period only bounds the wait.
        comm->WaitForInput(PollPeriodMs);
      }
    }
  } catch (...) {
    // Whatever was not the answer still reaches the devices, in arrival order.
    ProcessRemaining(other + rx);
    comm->EndWrite();
    throw;
  }
  ProcessRemaining(other + rx);
  comm->EndWrite();
  return answered;
}

}  // namespace korvan
