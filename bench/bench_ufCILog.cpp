// The communication log window under a busy line: 1000 frames a second for
// 10 s (requests written and answers read, alternately) reach it through the
// data spy from another thread, while its own 250 ms timer draws them
// (offscreen). Against a baseline in the same run:
//
//   BM_LogWindowShown      vs BM_LogWindowHidden_Baseline
//   BM_LogWindowShownFull  the same, into a log already at its line limit
//
// The baseline feeds the same traffic to the hidden window, which records
// nothing, so the difference is what recording and drawing cost the
// user-interface thread. Counters: the longest tick (queue taken, frames cut,
// lines drawn), the longest single event of any kind (painting included),
// the lines in the log and the process's resident memory after the run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTextDocument>
#include <QPlainTextEdit>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "app/ufCILog.h"
#include "protocol/uKorvan97.h"
#include "support/TTestLine.h"

namespace {

using Clock = std::chrono::steady_clock;

// Times every event the user-interface thread delivers.
class TTimedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    const auto start = Clock::now();
    const bool result = QApplication::notify(receiver, event);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (event->type() == QEvent::Timer && receiver->objectName() == QLatin1String("Timer1") && ms > longestTick)
      longestTick = ms;
    if (ms > longestEvent) longestEvent = ms;
    return result;
  }
  double longestTick = 0;
  double longestEvent = 0;
};

double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kib = 0;
      status >> kib;
      return kib / 1024;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

void FeedTheWindow(benchmark::State& state, bool shown, bool full) {
  auto* app = static_cast<TTimedApplication*>(QCoreApplication::instance());
  const std::string request = korvan::BuildPacket(0x31, 0x01, 0x1B, "");
  const std::string answer = korvan::BuildPacket(0x31, 0x01, 0x00, "\x01\x01\x02\x02\x03\x03\x04\x04");
  constexpr int FramesPerSecond = 1000;
  constexpr int Seconds = 10;
  for (auto _ : state) {
    auto log = std::make_unique<duomat::TfCiLog>();
    auto line = korvan::CreateObject<korvan::test::TTestLine>();
    if (shown) log->ShowLog("");
    if (full) {
      // Hours of traffic already: the log at its limit, each new line drops the oldest.
      for (int i = 0; i < duomat::TfCiLog::MaxLines; ++i) line->Spy(1, request);
      log->Timer1Timer();
      QCoreApplication::processEvents();
    }
    app->longestTick = app->longestEvent = 0;
    std::atomic<bool> done{false};
    std::thread feeder([&] {
      const auto start = Clock::now();
      for (int i = 0; i < FramesPerSecond * Seconds; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000LL / FramesPerSecond));
        if (i % 2 == 0)
          line->Spy(1, request);
        else
          line->Spy(2, answer);
      }
      done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (done) loop.quit();
    });
    poll.start(50);
    loop.exec();
    feeder.join();
    log->Timer1Timer();
    QCoreApplication::processEvents();
    state.counters["longest_tick_ms"] = app->longestTick;
    state.counters["longest_event_ms"] = app->longestEvent;
    state.counters["lines"] = log->Log()->document()->blockCount();
    state.counters["rss_MiB"] = ResidentMiB();
  }
}

void BM_LogWindowShown(benchmark::State& state) { FeedTheWindow(state, true, false); }
void BM_LogWindowShownFull(benchmark::State& state) { FeedTheWindow(state, true, true); }
void BM_LogWindowHidden_Baseline(benchmark::State& state) { FeedTheWindow(state, false, false); }

BENCHMARK(BM_LogWindowHidden_Baseline)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogWindowShown)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogWindowShownFull)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TTimedApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
