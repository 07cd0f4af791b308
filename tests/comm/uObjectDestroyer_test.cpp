#include "comm/uObjectDestroyer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "comm/uCommModules.h"
#include "comm/uThreadRunner.h"
#include "platform/uThreadName.h"

using korvan::DestroyLater;
using korvan::TThreadRunner;
using namespace std::chrono_literals;

namespace {

// Who was freed, and on which thread.
struct TFreedLog {
  std::mutex mutex;
  std::vector<std::pair<int, std::thread::id>> freed;

  std::vector<std::pair<int, std::thread::id>> Freed() {
    std::lock_guard<std::mutex> lock(mutex);
    return freed;
  }
};

class TTracked {
 public:
  TTracked(TFreedLog& log, int id) : log_(log), id_(id) {}
  ~TTracked() {
    std::lock_guard<std::mutex> lock(log_.mutex);
    log_.freed.emplace_back(id_, std::this_thread::get_id());
  }

 private:
  TFreedLog& log_;
  int id_;
};

// Runs on the destroyer's thread once everything handed over before it is freed.
std::future<std::string> Marker() {
  auto promise = std::make_shared<std::promise<std::string>>();
  std::future<std::string> done = promise->get_future();
  DestroyLater([promise] { promise->set_value(korvan::CurrentThreadName()); });
  return done;
}

class ObjectDestroyer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvan::InitializeCommModules(); }
};

TEST_F(ObjectDestroyer, HandingOverNoneDoesNothing) {
  DestroyLater(std::unique_ptr<TTracked>());
  DestroyLater(std::function<void()>());
  std::future<std::string> marker = Marker();
  ASSERT_EQ(marker.wait_for(10s), std::future_status::ready);
  // The "Object Destroyer Thread" name, as the kernel keeps it.
  EXPECT_EQ(marker.get(), "Object Destroye");
}

TEST_F(ObjectDestroyer, FreesObjectsInTheOrderHandedOverOnItsOwnThread) {
  TFreedLog log;
  DestroyLater(std::make_unique<TTracked>(log, 1));
  DestroyLater(std::make_unique<TTracked>(log, 2));
  std::future<std::string> marker = Marker();
  ASSERT_EQ(marker.wait_for(10s), std::future_status::ready);

  const auto freed = log.Freed();
  ASSERT_EQ(freed.size(), 2u);
  EXPECT_EQ(freed[0].first, 1);
  EXPECT_EQ(freed[1].first, 2);
  EXPECT_NE(freed[0].second, std::this_thread::get_id());
  EXPECT_EQ(freed[0].second, freed[1].second);
}

TEST_F(ObjectDestroyer, AFailureWhileFreeingDoesNotStopTheDestroyer) {
  DestroyLater([] { throw std::runtime_error("destructor failed"); });
  TFreedLog log;
  DestroyLater(std::make_unique<TTracked>(log, 3));
  std::future<std::string> marker = Marker();
  ASSERT_EQ(marker.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(log.Freed().size(), 1u);
}

struct TWork {
  std::atomic<int> runs{0};
  std::atomic<TThreadRunner*> argument{nullptr};
  std::atomic<bool> ended{false};
  void Run(TThreadRunner* runner) {
    argument = runner;
    ++runs;
    ended = true;
    throw std::runtime_error("work failed");
  }
};

TEST(ThreadRunner, RunsItsMethodOnceOnAThreadOfItsOwnAndSwallowsItsException) {
  TWork work;
  TThreadRunner runner(TThreadRunner::TRunMethod::Bind<&TWork::Run>(&work));
  EXPECT_TRUE(runner.Started().WaitFor(0)) << "set once construction is complete";
  EXPECT_EQ(work.runs, 0) << "created suspended";

  runner.Start();
  runner.Start();
  runner.WaitFor();
  EXPECT_EQ(work.runs, 1);
  EXPECT_EQ(work.argument, &runner);
  EXPECT_TRUE(work.ended);
  runner.Start();
  runner.WaitFor();
  EXPECT_EQ(work.runs, 1) << "an ended runner does not run again";
}

}  // namespace
