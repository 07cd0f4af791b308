#include "platform/uThreadName.h"

#include <pthread.h>

namespace korvan {

void NameThread(const std::string& name) {
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

std::string CurrentThreadName() {
  char buffer[32] = {};
  if (pthread_getname_np(pthread_self(), buffer, sizeof buffer) != 0) return {};
  return buffer;
}

}  // namespace korvan
