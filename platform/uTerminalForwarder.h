#pragma once
#include <string>
#include <string_view>

namespace korvan {

// The external terminal's mailbox: a Unix datagram socket named
// "TfMainKorvanTerm" in $XDG_RUNTIME_DIR, else in /tmp.
std::string TerminalSocketPath();

// Sends one datagram to the terminal when one listens. Waits at most a few
// milliseconds for room; true when the datagram was sent.
bool ForwardToTerminal(std::string_view payload);

}  // namespace korvan
