#pragma once
// A loopback transport for the wrapper's tests, and the providers that make it.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/uCI_InternalBufferCommunicationInterface.h"

namespace korvan::test {

// A transport with no line behind it. What is written is recorded and may be
// answered by a peer; answers and injected bytes reach DoReadString from the
// transport's own thread ("Loopback Rx"), as a real receive thread's would.
class TLoopbackTransport : public transport::TCommunicationInternalBufferInterface {
 public:
  // Gets every written chunk on the transport's thread; what it returns is received.
  using TPeer = std::function<std::string(const std::string& written)>;

  explicit TLoopbackTransport(std::string provider = "LOOPBACK");
  ~TLoopbackTransport() override;

  bool GetActive() override;
  std::string GetProvider() override { return provider_; }
  // The last string applied, or the base's "provider=..." before any.
  std::string GetConfiguration() override;
  void ClearOutput() override;

  void SetPeer(TPeer peer);
  // Queues bytes to arrive from the "line", in order with the peer's answers.
  void Receive(const std::string& bytes);
  // Waits until everything written and received has been delivered.
  bool WaitIdle(int milliseconds = 5000);
  // Ends the transport's thread; the destructor does it too.
  void Stop();

  std::vector<std::string> Written();
  std::vector<std::string> AppliedConfigurations();
  int InternalOpenCalls();
  int InternalCloseCalls();
  bool LastCloseForced();
  int ClearOutputCalls();
  std::thread::id ReceiveThreadId() const { return thread_.get_id(); }
  // Some thread holds the transport's exclusive lock.
  bool Locked() { return Lock().WriteDepth() > 0; }

  void SetOpenResult(bool result);
  void SetCloseResult(bool result);
  void SetConfigurationResult(bool result);

 protected:
  bool InternalOpen() override;
  bool InternalClose(bool Force) override;
  int InternalWriteString(const std::string& S) override;
  bool InternalSetConfiguration(const std::string& S) override;

 private:
  struct TItem {
    bool fromPeer;  // a written chunk for the peer, else bytes to receive
    std::string data;
  };

  void Run();

  const std::string provider_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool active_ = false;
  bool openResult_ = true;
  bool closeResult_ = true;
  bool configurationResult_ = true;
  int openCalls_ = 0;
  int closeCalls_ = 0;
  bool lastCloseForced_ = false;
  int clearOutputCalls_ = 0;
  std::vector<std::string> written_;
  std::vector<std::string> configurations_;
  std::deque<TItem> pending_;
  TPeer peer_;
  bool busy_ = false;
  bool stop_ = false;
  std::thread thread_;
};

// Lets the wrapper create loopback transports for the given provider names
// through its transport registry, and registers those names with the wrapper class so
// that CreateCommunicationInterface finds them. Undone on destruction.
class TLoopbackProviders {
 public:
  explicit TLoopbackProviders(std::vector<std::string> providers = {"LOOPBACK"});
  ~TLoopbackProviders();
  TLoopbackProviders(const TLoopbackProviders&) = delete;
  TLoopbackProviders& operator=(const TLoopbackProviders&) = delete;

  // Every transport made so far, oldest first; kept alive by this object.
  std::vector<TRef<TLoopbackTransport>> Created();
  TRef<TLoopbackTransport> Last();
  // Given to every transport made from now on.
  void SetPeer(TLoopbackTransport::TPeer peer);

 private:
  struct TState {
    std::mutex mutex;
    std::vector<std::string> providers;
    std::vector<TRef<TLoopbackTransport>> created;
    TLoopbackTransport::TPeer peer;
  };
  std::shared_ptr<TState> state_ = std::make_shared<TState>();
};

}  // namespace korvan::test
