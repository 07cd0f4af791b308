#pragma once
// Shared pieces of the protocol tests: a simulated module's line, a recording device, a diagnostics capture.
// The line plays the module on a thread of its own; the device records what the stack routes to it.
// Header only, so that the support library does not depend on the simulator's models.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/uMessageBox.h"
#include "protocol/uKorvan97.h"
#include "protocol/uKorvanModules.h"
#include "protocol/uKorvanStack.h"
#include "protocol/uKorvanStackDevice.h"
#include "support/THex.h"
#include "support/TKorvanFrames.h"
#include "support/TTestLine.h"
#include "support/TWait.h"
#include "tools/korvan-sim/uFrameCutter.h"
#include "tools/korvan-sim/uModuleModel.h"

namespace korvan::test {

using TestClock = std::chrono::steady_clock;

// The library's process-wide modules, once for the whole test program.
class TKorvanModulesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { InitializeModules(); }
  void TearDown() override { FinalizeModules(); }
};
inline ::testing::Environment* const KorvanModulesEnvironment =
    ::testing::AddGlobalTestEnvironment(new TKorvanModulesEnvironment);

inline long long MsSince(TestClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(TestClock::now() - start).count();
}

// Plays a simulated module behind a line, on a thread of its own: cuts the
// requests out of what is written, answers each with the model and puts the
// answer's pieces on the line, each after its pause.
class TModulePeer {
 public:
  // The module gives up on an unfinished request after this much quiet.
  static constexpr auto InterByteTimeout = std::chrono::milliseconds(50);

  TModulePeer(TTestLine& line, sim::TModuleModel& model) : line_(line), model_(model) {
    line_.SetPeer([shared = shared_](const std::string& written) {
      {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->written.push_back(written);
      }
      shared->cv.notify_all();
      return std::string();
    });
    thread_ = std::thread([this] { Run(); });
  }
  ~TModulePeer() { Stop(); }
  TModulePeer(const TModulePeer&) = delete;
  TModulePeer& operator=(const TModulePeer&) = delete;

  void Stop() {
    line_.SetPeer(nullptr);
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->stop = true;
    }
    shared_->cv.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Everything written has been answered and announced: the line has handed
  // every write over, the module has answered it, the line has announced that.
  bool WaitIdle(int milliseconds = 5000) {
    if (!line_.WaitIdle(milliseconds)) return false;
    {
      std::unique_lock<std::mutex> lock(shared_->mutex);
      if (!shared_->cv.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                [&] { return shared_->written.empty() && !shared_->busy; }))
        return false;
    }
    return line_.WaitIdle(milliseconds);
  }

 private:
  struct TShared {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::string> written;
    bool busy = false;
    bool stop = false;
  };

  void Run() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    for (;;) {
      const bool wrote =
          shared_->cv.wait_for(lock, InterByteTimeout, [&] { return shared_->stop || !shared_->written.empty(); });
      if (shared_->stop) return;
      if (!wrote && cutter_.Pending() == 0) continue;
      std::string chunk;
      if (wrote) {
        chunk = std::move(shared_->written.front());
        shared_->written.pop_front();
      }
      shared_->busy = true;
      lock.unlock();
      const std::vector<std::string> frames = wrote ? cutter_.Feed(chunk) : cutter_.Expire();
      for (const std::string& frame : frames)
        if (!Play(model_.Answer(frame))) return;
      lock.lock();
      shared_->busy = false;
      shared_->cv.notify_all();
    }
  }

  // False when stopped during a pause.
  bool Play(const sim::TAnswer& answer) {
    for (const sim::TPiece& piece : answer.Pieces) {
      if (piece.PauseMs > 0) {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        if (shared_->cv.wait_for(lock, std::chrono::milliseconds(piece.PauseMs), [&] { return shared_->stop; }))
          return false;
      }
      line_.Arrive(piece.Bytes);
    }
    return true;
  }

  TTestLine& line_;
  sim::TModuleModel& model_;
  std::shared_ptr<TShared> shared_ = std::make_shared<TShared>();
  sim::TFrameCutter cutter_;  // the module thread's only
  std::thread thread_;
};

// A device that records every frame the stack routes to it, in order.
class TRecordingDevice : public TKorvanStackDevice {
 public:
  using TKorvanStackDevice::TKorvanStackDevice;

  int DoPacketReceive(const TKorvanFormat97& packet) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      frames_.push_back(packet);
    }
    cv_.notify_all();
    return TKorvanStackDevice::DoPacketReceive(packet);
  }

  std::vector<TKorvanFormat97> Frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  size_t FrameCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
  }
  bool WaitForFrames(size_t count, int milliseconds = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return frames_.size() >= count; });
  }
  void ClearFrames() {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<TKorvanFormat97> frames_;
};

// Collects the library's diagnostics while it exists, instead of standard error.
class TMessageCapture {
 public:
  TMessageCapture() {
    previous_ = SetLibraryMessageHandler([texts = texts_](const std::string& text) {
      std::lock_guard<std::mutex> lock(texts->mutex);
      texts->list.push_back(text);
    });
  }
  ~TMessageCapture() { SetLibraryMessageHandler(previous_); }
  TMessageCapture(const TMessageCapture&) = delete;
  TMessageCapture& operator=(const TMessageCapture&) = delete;

  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(texts_->mutex);
    return texts_->list;
  }
  int Count(const std::string& text) {
    std::lock_guard<std::mutex> lock(texts_->mutex);
    int n = 0;
    for (const std::string& t : texts_->list) n += t == text ? 1 : 0;
    return n;
  }

 private:
  struct TTexts {
    std::mutex mutex;
    std::vector<std::string> list;
  };
  std::shared_ptr<TTexts> texts_ = std::make_shared<TTexts>();
  TLibraryMessageHandler previous_;
};

// A device with address 0x31 on a stack whose line leads to a simulated module.
template <class TModel, class TDevice>
class TModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line_ = CreateObject<TTestLine>();
    ASSERT_TRUE(line_->Open());
    peer_ = std::make_unique<TModulePeer>(*line_, model_);
    stack_ = CreateObject<TKorvanStack>();
    stack_->SetCommInterface(line_.get());
    device_ = CreateObject<TDevice>(uint8_t{0x31});
    device_->SetStack(stack_.get());
  }

  void TearDown() override {
    device_->SetStack(nullptr);
    stack_->SetCommInterface(nullptr);
    peer_->Stop();
    line_->Stop();
  }

  // Replaces the module by answers made up from each request.
  template <class F>
  void Script(F answer) {
    peer_->Stop();
    line_->SetPeer([answer](const std::string& written) { return answer(ParsePacket(written)); });
  }
  // Answers every request with this acknowledge and data.
  void ScriptAnswer(uint8_t ack, const std::string& data) {
    Script([ack, data](const TKorvanFormat97& r) { return BuildPacket(r.ADR, r.SIG, ack, data); });
  }

  std::vector<TKorvanFormat97> Requests() { return korvan::test::Requests(*line_); }

  TModel model_;  // outlives the peer that plays it
  TRef<TTestLine> line_;
  std::unique_ptr<TModulePeer> peer_;
  TRef<TKorvanStack> stack_;
  TRef<TDevice> device_;
};

}  // namespace korvan::test
