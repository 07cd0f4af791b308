#include "app/uDataSpyChain.h"

#include <mutex>

namespace duomat {

using korvan::ci::TDataSpyHandler;

namespace {
std::mutex g_mutex;
TDataSpyHandler g_first;
TDataSpyHandler g_then;

void Chained(korvan::ci::ICommunicationInterface* Sender, const std::string& Data, uint8_t Direction) {
  TDataSpyHandler first, then;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    first = g_first;
    then = g_then;
  }
  try {
    if (first) first(Sender, Data, Direction);
  } catch (...) {
    // the handler behind still gets its traffic
  }
  if (then) then(Sender, Data, Direction);
}

TDataSpyHandler ChainedHandler() { return TDataSpyHandler::Bind<&Chained>(); }
}  // namespace

// The framework waits for a running call of a handler it replaces, and a
// running Chained takes g_mutex: so g_mutex is never held across the switch.
void ChainDataSpyHandler(TDataSpyHandler first) {
  const TDataSpyHandler current = korvan::ci::GetDataSpyHandler();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!(current == ChainedHandler())) g_then = current;
    g_first = first;
  }
  korvan::ci::SetDataSpyHandler(ChainedHandler());
}

void UnchainDataSpyHandler() {
  TDataSpyHandler then;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    then = g_then;
  }
  if (korvan::ci::GetDataSpyHandler() == ChainedHandler()) korvan::ci::SetDataSpyHandler(then);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_first = g_then = TDataSpyHandler();
}

}  // namespace duomat
