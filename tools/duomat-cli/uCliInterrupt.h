#pragma once
// duomat-cli's signal handling while a writing action runs, so no module is left half-written.
#include <string>

// A writing action must not be cut off half-way: the module would keep part
// of the new settings and part of the old. While a TWritingAction lives,
// SIGINT, SIGTERM and SIGHUP are taken instead of ending the program; the
// action runs to its end (every request is bounded by its time-out) and the
// caller then exits with ExitStatus(). A second SIGINT ends the program at
// once, after saying what may be incomplete: the user insisted.
namespace duomat::cli {

class TWritingAction {
 public:
  // `target` is what is written, for example "the Outra module": named when
  // a signal is taken and when a second SIGINT leaves it partly written.
  explicit TWritingAction(const std::string& target);
  ~TWritingAction();  // the previous handling of the three signals comes back
  TWritingAction(const TWritingAction&) = delete;
  TWritingAction& operator=(const TWritingAction&) = delete;

  // The first signal taken, 0 when none came.
  static int Signal();
  // 128 + the signal taken, or `status` when none came.
  static int ExitStatus(int status);
};

}  // namespace duomat::cli
