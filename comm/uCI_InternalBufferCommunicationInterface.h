#pragma once
// A transport that keeps received bytes in memory until they are read.
#include <string>

#include "comm/uCI_CommunicationInterface.h"

namespace korvan::transport {

class TCommunicationInternalBufferInterface : public TCommunicationInterface {
 public:
  static constexpr int DefaultCapacity = 100000;

  TCommunicationInternalBufferInterface();
  ~TCommunicationInternalBufferInterface() override;

  int InputCount() override;
  void ClearInput() override;

  // Most bytes kept; 0 keeps none, a negative value removes the limit.
  int Capacity();
  void SetCapacity(int capacity);

 protected:
  void InternalReadString(std::string& S) override;
  // Transports call this with every received chunk, from any thread.
  void DoReadString(const std::string& S) override;
  void Constructed() override;

 private:
  TMultiReadExclusiveWriteSynchronizerExtended bufferLock_;
  std::string buffer_;
  int capacity_ = DefaultCapacity;
};

}  // namespace korvan::transport
