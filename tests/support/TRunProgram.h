#pragma once
// Running a program to its end in a test, bounded in time, with its output kept.
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

#include "support/TBuildPath.h"  // the paths of the programs under test

namespace korvan::test {

// What a program run to its end left behind.
struct TRun {
  int Status = -1;  // exit status; -1 when it did not exit normally (killed, not started)
  std::string Out;
  std::string Err;
  long MaxRssKb = 0;  // the program's peak resident memory
};

struct TLimit {  // a resource limit (setrlimit) for the program alone
  int Resource;
  unsigned long Value;
};

std::ostream& operator<<(std::ostream& os, const TRun& r);

// Runs the program (argv[0] is its path) with standard input from /dev/null
// and standard output and error kept apart. One that does not end within the
// bound is killed, so no test leaves it behind.
// `watch` sees the output so far after every read, with the program's pid
// (to signal it at the right moment); `limits` apply to the program alone.
using TRunWatch = std::function<void(pid_t pid, const TRun& sofar)>;
TRun RunProgram(std::vector<std::string> argv, std::chrono::milliseconds bound, const TRunWatch& watch = {},
                const std::vector<TLimit>& limits = {});

}  // namespace korvan::test
