#pragma once
// duomat-cli's one runner: parse, check, start the library, log, take signals, run, finish.

namespace duomat::cli {

// Everything the program does; its exit status.
int RunCommandLine(int argc, const char* const* argv);

}  // namespace duomat::cli
