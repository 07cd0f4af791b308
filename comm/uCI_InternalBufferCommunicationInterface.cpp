#include "comm/uCI_InternalBufferCommunicationInterface.h"

namespace korvan::transport {

TCommunicationInternalBufferInterface::TCommunicationInternalBufferInterface()
    : bufferLock_("TCommunicationInternalBufferInterface.Buffer") {}

TCommunicationInternalBufferInterface::~TCommunicationInternalBufferInterface() {
  TWriteLock guard(bufferLock_);
  buffer_.clear();
}

void TCommunicationInternalBufferInterface::Constructed() {
  bufferLock_.SetName(ClassName() + ".Buffer");
  TCommunicationInterface::Constructed();
}

int TCommunicationInternalBufferInterface::Capacity() {
  TReadLock guard(bufferLock_);
  return capacity_;
}

void TCommunicationInternalBufferInterface::SetCapacity(int capacity) {
  TWriteLock guard(bufferLock_);
  capacity_ = capacity;
  if (capacity_ == 0) buffer_.clear();
  if (capacity_ > 0 && buffer_.size() > static_cast<size_t>(capacity_))
    buffer_.erase(0, buffer_.size() - static_cast<size_t>(capacity_));
}

void TCommunicationInternalBufferInterface::DoReadString(const std::string& S) {
  {
    TWriteLock guard(bufferLock_);
    if (capacity_ != 0) {
      buffer_ += S;
      if (capacity_ > 0 && buffer_.size() > static_cast<size_t>(capacity_))
        buffer_.erase(0, buffer_.size() - static_cast<size_t>(capacity_));
    }
  }
  // Before the notification: its handlers may wait for the lock of a
  // transaction that is waiting for these bytes.
  SignalInput();
  TCommunicationInterface::DoReadString(S);
}

void TCommunicationInternalBufferInterface::InternalReadString(std::string& S) {
  // Exclusive: the receive path appends without the transport lock.
  TWriteLock guard(bufferLock_);
  S = std::move(buffer_);
  buffer_.clear();
}

int TCommunicationInternalBufferInterface::InputCount() {
  TReadLock guard(Lock());
  TReadLock bufferGuard(bufferLock_);
  return static_cast<int>(buffer_.size());
}

void TCommunicationInternalBufferInterface::ClearInput() {
  TWriteLock guard(Lock());
  TWriteLock bufferGuard(bufferLock_);
  buffer_.clear();
}

}  // namespace korvan::transport
