#pragma once
// Korvan frames read back from what a test line was given to write.
#include <string>
#include <vector>

#include "protocol/uKorvan97.h"
#include "support/TTestLine.h"

namespace korvan::test {

// The frames in bytes, in order; bytes that are not whole valid frames fail
// the test.
std::vector<TKorvanFormat97> ValidFrames(std::string bytes);

// The frames written to the line so far, parsed as ValidFrames does.
std::vector<TKorvanFormat97> Requests(TTestLine& line);

}  // namespace korvan::test
