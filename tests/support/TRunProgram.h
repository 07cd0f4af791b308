#pragma once
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvan::test {

// What a program run to its end left behind.
struct TRun {
  int Status = -1;  // exit status; -1 when it did not exit normally (killed, not started)
  std::string Out;
  std::string Err;
};

std::ostream& operator<<(std::ostream& os, const TRun& r);

// Runs the program (argv[0] is its path) with standard input from /dev/null
// and standard output and error kept apart. One that does not end within the
// bound is killed, so no test leaves it behind.
// `watch`, when given, sees the output so far after every read (to signal
// the program at a chosen moment, say).
TRun RunProgram(std::vector<std::string> argv, std::chrono::milliseconds bound,
                const std::function<void(pid_t, const TRun&)>& watch = {});

}  // namespace korvan::test
