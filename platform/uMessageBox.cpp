#include "platform/uMessageBox.h"

#include <cstdio>
#include <mutex>

namespace korvan {

namespace {
std::mutex g_mutex;
TLibraryMessageHandler g_handler;
}  // namespace

TLibraryMessageHandler SetLibraryMessageHandler(TLibraryMessageHandler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::swap(g_handler, handler);
  return handler;
}

void ShowLibraryMessage(const std::string& text) {
  TLibraryMessageHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = g_handler;
  }
  try {
    if (handler) {
      handler(text);
      return;
    }
  } catch (...) {
    // fall through to standard error
  }
  std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace korvan
