#include "app/uSignalCloser.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace duomat {

namespace {
int g_fds[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
  errno = saved;
}

void SetHandler(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);  // the terminal that started us closed
}
}  // namespace

TSignalCloser::TSignalCloser(QWidget* window) : window_(window) {
  if (g_fds[0] >= 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) return;
  notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TSignalCloser::Received);
  SetHandler(&OnSignal);
}

TSignalCloser::~TSignalCloser() {
  if (!notifier_) return;
  SetHandler(SIG_DFL);
  delete notifier_;
  ::close(g_fds[0]);
  ::close(g_fds[1]);
  g_fds[0] = g_fds[1] = -1;
}

void TSignalCloser::Received() {
  char bytes[16];
  while (::read(g_fds[1], bytes, sizeof bytes) > 0) {
  }
  if (window_) window_->close();
}

}  // namespace duomat
