#pragma once
// duomat-cli's one signal policy: a write is never cut off, a read stops at once.
#include <string>

// While a TInterruptPolicy lives, SIGINT, SIGTERM and SIGHUP are taken
// instead of ending the program. The first one is recorded. A command that
// writes runs its write to the end (each request is bounded by its time-out)
// so the module is never left with part of the new settings and part of the
// old; a command that only reads has its request in flight ended and sends
// no more. The caller then exits with ExitStatus(), 128 + the signal. A
// second SIGINT ends the program at once (the user insisted), unless the
// command handles that itself (batch prints what ran so far).
namespace duomat::cli {

class TInterruptPolicy {
 public:
  struct TSettings {
    std::string Target;             // what a write changes ("the Outra module"), named when a signal comes
    bool EndRequests = true;        // false where any request may belong to a write
    bool SecondSigintEnds = true;   // false: the command watches Insisted() itself
  };
  explicit TInterruptPolicy(const TSettings& settings);
  ~TInterruptPolicy();  // the previous handling of the three signals comes back
  TInterruptPolicy(const TInterruptPolicy&) = delete;
  TInterruptPolicy& operator=(const TInterruptPolicy&) = delete;

  // The first signal taken, 0 when none came.
  static int Signal();
  // Whether a SIGINT followed the first signal.
  static bool Insisted();
  // Readable when a signal came; -1 while no policy lives.
  static int WakeDescriptor();
  // Wakes whoever polls WakeDescriptor() without a signal.
  static void Wake();
  // 128 + the signal taken, or `status` when none came.
  static int ExitStatus(int status);
};

}  // namespace duomat::cli
