#pragma once
// Serves one simulated bus on its endpoints: a pseudo-terminal, TCP connections, UDP datagrams.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/korvan-sim/uSimBus.h"
#include "tools/korvan-sim/uSimHidDevice.h"
#include "tools/korvan-sim/uSimUhid.h"

namespace korvan::sim {

// Serves the modules of one bus on its endpoints: a pseudo-terminal, TCP
// connections, UDP datagrams. Single-threaded: one poll loop, in which each
// stream has its own bounded output queue, so that a client that stops
// reading (or an answer's pauses) holds up no one else.
class TSimServer {
 public:
  explicit TSimServer(TSimBus& bus) : bus_(bus) {}
  ~TSimServer();
  TSimServer(const TSimServer&) = delete;
  TSimServer& operator=(const TSimServer&) = delete;

  // Each returns the line to announce ("pty /dev/pts/3", "tcp 127.0.0.1:4000")
  // or throws std::runtime_error with the reason.
  std::string OpenPty(const std::string& link);
  std::string ListenTcp(const std::string& hostPort);
  std::string BindUdp(const std::string& hostPort);
  // A HID device in the tree DIR ("hid DIR/dev/hidrawN").
  std::string ServeHid(const std::string& dir, const THidIdentity& identity);
  // A kernel HID device through /dev/uhid ("uhid /dev/hidrawN").
  std::string ServeUhid(const THidIdentity& identity, uint8_t reportId);

  // Serves until Stop (or a SIGINT/SIGTERM/SIGHUP turned into Stop by the caller).
  void Run();
  void Stop() { stop_.store(true); }
  // A signalfd the loop also watches: SIGUSR1 calls the hook, any other
  // signal stops. Read before the streams of the same turn, so a request
  // sent after kill() returned always sees the hook's effect.
  void SetSignalFd(int fd, std::function<void()> onUser1 = {}) {
    signalFd_ = fd;
    onUser1_ = std::move(onUser1);
  }
  // Fault: after this many answers a TCP connection is closed and the
  // pseudo-terminal hung up (for good). 0: never.
  void SetCloseAfter(int answers) { closeAfter_ = answers; }

 private:
  struct TStream;
  // Answers the frames; true when the stream is to be closed now.
  bool Serve(TStream& stream, const std::vector<std::string>& frames);
  // Queues the answer on the stream; on a HID stream every piece goes as
  // input reports.
  void WriteAnswer(TStream& stream, const TAnswer& answer);
  void CloseStream(TStream* stream);
  void Close();

  TSimBus& bus_;
  std::atomic<bool> stop_{false};
  int signalFd_ = -1;
  std::function<void()> onUser1_;
  int closeAfter_ = 0;
  int ptyMaster_ = -1;
  int ptySlave_ = -1;  // held so that the master never sees a hang-up between clients
  std::string link_;
  int tcpListen_ = -1;
  int udp_ = -1;
  std::unique_ptr<THidSimDevice> hid_;
  std::unique_ptr<TSimUhidDevice> uhid_;
  std::vector<TStream*> streams_;
  std::chrono::steady_clock::time_point acceptAgainAt_{};  // listeners rest until then
};

}  // namespace korvan::sim
