#pragma once
#include <chrono>
#include <functional>
#include <sys/types.h>
#include <ostream>
#include <string>
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
// `watch` sees the output so far after every read, with the program's pid
// (to signal it at the right moment).
using TRunWatch = std::function<void(pid_t pid, const TRun& sofar)>;
TRun RunProgram(std::vector<std::string> argv, std::chrono::milliseconds bound, const TRunWatch& watch = {});

}  // namespace korvan::test
