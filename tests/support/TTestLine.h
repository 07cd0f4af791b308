#pragma once
// A test line: an application-facing interface that records writes and feeds reads.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/uci_ICommunicationInterfaceDataSpy.h"

namespace korvan::test {

// An application-facing interface that stands for an open line. What is
// written is recorded and may be answered by a peer; what the line
// "receives" is queued for Read and announced with DoDataRcv from the line's
// own thread, as a real line's receive thread would.
//
// Bytes may also Arrive: readable at once, while only their announcement
// waits on the line's thread. A stack in a transaction holds its lock and its
// OnDataRcv handler waits for it there; a real line goes on receiving
// meanwhile, and so must a module behind it.
class TTestLine : public ci::TCommunicationInterfaceDataSpy {
 public:
  // Gets every written chunk on the writer's thread; whatever it returns
  // arrives (readable at once, announced later).
  using TPeer = std::function<std::string(const std::string& written)>;

  TTestLine();
  // The base applies the string (or loads the element) once construction is done.
  explicit TTestLine(const std::string& connectionString);
  TTestLine(pugi::xml_node xmlNode, IInterface* parent);
  ~TTestLine() override;

  // Queues bytes as if they arrived from the line.
  void Receive(const std::string& data);
  // Bytes readable at once, announced later. Read after anything queued with
  // Receive, so one line should get its bytes one way only.
  void Arrive(const std::string& data);
  void SetPeer(TPeer peer);
  std::vector<std::string> Written();
  std::string WrittenBytes();
  void ClearWritten();

  void SetOpenResult(bool result);
  void SetCloseResult(bool result);
  void SetConfigurationResult(bool result);
  // The line goes away under its user (a peer that closed, an adapter unplugged).
  void HangUp();
  // Waits until everything written and received has been delivered.
  bool WaitIdle(int milliseconds = 2000);
  // Ends the line's thread; the destructor does it too.
  void Stop();

  int InternalCloseCalls();
  int InternalSetConfigurationCalls();

  bool GetActive() override;
  std::string GetIdentity() override { return "TestLine"; }
  int InputCount() override;
  void ClearInput() override;
  void ClearOutput() override {}
  std::string GetConfiguration() override;

 protected:
  bool InternalOpen() override;
  bool InternalClose(bool Force) override;
  int InternalWrite(const std::string& Data) override;
  void InternalRead(std::string& Data) override;
  bool InternalSetConfiguration(const std::string& S) override;

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable cv_;
  bool active_ = false;
  bool openResult_ = true;
  bool closeResult_ = true;
  bool configurationResult_ = true;
  int closeCalls_ = 0;
  int configurationCalls_ = 0;
  std::string configuration_;
  std::string input_;                 // waiting for Read
  std::string arrived_;               // readable, announced through arriving_
  std::deque<std::string> arriving_;  // not yet announced
  std::vector<std::string> written_;
  TPeer peer_;
  bool busy_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace korvan::test
