// duomat-cli: what the main window does, one action per call, for scripts
// and headless machines. The same requests on the line, the same messages.
#include "tools/duomat-cli/uCliRunner.h"

int main(int argc, char** argv) { return duomat::cli::RunCommandLine(argc, argv); }
