#include "tools/duomat-cli/uCliInterrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace duomat::cli {

namespace {
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> g_signal{0};
struct sigaction g_previous[3];
// Made before any signal can come: a handler may only write and end.
char g_taken[256];
char g_insisted[512];

void Say(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

void OnSignal(int signal) {
  const int saved = errno;
  int expected = 0;
  if (g_signal.compare_exchange_strong(expected, signal)) {
    Say(g_taken);
  } else if (signal == SIGINT) {
    Say(g_insisted);
    // Not _exit: the sanitizers wrap it with their exit checks (TSan sleeps a
    // second there while other threads run), and when the signal came to a
    // worker thread the main thread would finish the action meanwhile. The
    // system call ends every thread at once.
    ::syscall(SYS_exit_group, 128 + SIGINT);
  }
  errno = saved;
}

void Format(char* buffer, size_t size, const char* a, const std::string& b, const char* c) {
  std::string text = std::string("duomat-cli: ") + a + b + c;
  if (text.size() >= size) text.resize(size - 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}
}  // namespace

static_assert(std::atomic<int>::is_always_lock_free, "the handler must not take a lock");

TWritingAction::TWritingAction(const std::string& target) {
  Format(g_taken, sizeof g_taken, "interrupted: finishing first, so that ", target,
         " is not left half-written (Ctrl+C again stops at once)\n");
  Format(g_insisted, sizeof g_insisted, "stopped at once: ", target,
         " may be partly written; load it to see what it holds now\n");
  g_signal.store(0);
  struct sigaction sa{};
  sa.sa_handler = &OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int s : kSignals) sigaddset(&sa.sa_mask, s);  // one handler at a time
  sa.sa_flags = SA_RESTART;
  for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
}

TWritingAction::~TWritingAction() {
  for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

int TWritingAction::Signal() { return g_signal.load(); }

int TWritingAction::ExitStatus(int status) {
  const int signal = Signal();
  return signal ? 128 + signal : status;
}

}  // namespace duomat::cli
