// Paths of the build's own programs and libraries, found from the running test program.
#pragma once

namespace korvan::test {

// PATH, relative to the build folder (the nearest folder above the running
// program that holds CMakeCache.txt), made absolute. The programs under test
// are named to the compiler relative to the build folder, so that an object
// compiled in one clone of the tree is the same in every other (ccache).
// The text lives as long as the program.
const char* InBuild(const char* path);

}  // namespace korvan::test
