#pragma once
// Forwarding spied traffic to the external terminal's datagram socket in a private folder.
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace korvan {

// The external terminal's mailbox: a Unix datagram socket named
// "TfMainKorvanTerm" in $XDG_RUNTIME_DIR, else in /tmp/duomat-<uid>. Never
// in /tmp itself, where any local user could bind the name and receive every
// frame, or stop reading and slow the program down.
std::string TerminalSocketDir();
std::string TerminalSocketPath();

// Sends one datagram to the terminal when one of ours listens: the folder is
// a real folder of this user that nobody else may enter (0700; the /tmp one
// is made so when missing), the socket a socket of this user. Never waits: a
// datagram the listener has no room for is dropped and counted. True when sent.
bool ForwardToTerminal(std::string_view payload);

// Datagrams dropped because the listener had no room, since the start.
uint64_t TerminalDroppedCount();

// The checks above, for a given user: `dir` is a folder (not a link) of
// `uid` with mode 0700, made so when `create` and it is missing; `path` is a
// socket (not a link) of `uid`.
bool IsPrivateDir(const std::string& dir, uid_t uid, bool create);
bool IsOwnSocket(const std::string& path, uid_t uid);

}  // namespace korvan
