#include "tools/duomat-cli/uCliInterrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/uText.h"
#include "protocol/uKorvanStack.h"

namespace duomat::cli {

namespace {
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> g_signal{0};
std::atomic<bool> g_insisted{false};
std::atomic<bool> g_secondEnds{true};
std::atomic<int> g_wake{-1};
int g_wakePipe[2] = {-1, -1};
struct sigaction g_previous[3];
// Made before any signal can come: a handler may only write and end.
char g_taken[256];
char g_insistedText[512];

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the handler must not take a lock");

void Say(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

void WakeUp() {
  const int fd = g_wake.load();
  const char byte = 1;
  if (fd >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
}

void OnSignal(int signal) {
  const int saved = errno;
  int expected = 0;
  if (g_signal.compare_exchange_strong(expected, signal)) {
    Say(g_taken);
  } else if (signal == SIGINT) {
    g_insisted.store(true);
    if (g_secondEnds.load()) {
      Say(g_insistedText);
      // Not _exit: the sanitizers wrap it with their exit checks (TSan sleeps a
      // second there while other threads run), and when the signal came to a
      // worker thread the main thread would finish the action meanwhile. The
      // system call ends every thread at once.
      ::syscall(SYS_exit_group, 128 + SIGINT);
    }
  }
  WakeUp();
  errno = saved;
}

bool Signalled() { return g_signal.load() != 0; }

void Format(char* buffer, size_t size, const std::string& text) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.c_str(), n);
  buffer[n] = '\0';
}
}  // namespace

TInterruptPolicy::TInterruptPolicy(const TSettings& settings) {
  const bool writes = !settings.Target.empty();
  Format(g_taken, sizeof g_taken,
         writes ? "duomat-cli: " +
                      Tr(DUOMAT_TR_EN("duomat-cli",
                                      "interrupted: finishing first, so that %1 is not left "
                                      "half-written (Ctrl+C again stops at once)"),
                         settings.Target) +
                      "\n"
                : std::string());
  Format(g_insistedText, sizeof g_insistedText,
         writes ? "duomat-cli: " +
                      Tr(DUOMAT_TR_EN("duomat-cli",
                                      "stopped at once: %1 may be partly written; load it to see "
                                      "what it holds now"),
                         settings.Target) +
                      "\n"
                : std::string());
  g_signal.store(0);
  g_insisted.store(false);
  g_secondEnds.store(settings.SecondSigintEnds);
  if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) == 0) g_wake.store(g_wakePipe[1]);
  // A command that only reads has nothing to finish: its request ends now.
  korvan::SetRequestCancel(settings.EndRequests && !writes ? &Signalled : nullptr);
  struct sigaction sa {};
  sa.sa_handler = &OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int s : kSignals) sigaddset(&sa.sa_mask, s);  // one handler at a time
  sa.sa_flags = SA_RESTART;
  for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
}

TInterruptPolicy::~TInterruptPolicy() {
  for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  korvan::SetRequestCancel(nullptr);
  g_wake.store(-1);
  for (int& fd : g_wakePipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

int TInterruptPolicy::Signal() { return g_signal.load(); }

bool TInterruptPolicy::Insisted() { return g_insisted.load(); }

int TInterruptPolicy::WakeDescriptor() { return g_wake.load() >= 0 ? g_wakePipe[0] : -1; }

void TInterruptPolicy::Wake() { WakeUp(); }

int TInterruptPolicy::ExitStatus(int status) {
  const int signal = Signal();
  return signal ? 128 + signal : status;
}

}  // namespace duomat::cli
