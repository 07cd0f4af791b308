#include "comm/ui_MyInterfacedObject.h"

#include <typeinfo>

#include "comm/uException.h"

namespace korvan {

long TMyInterfacedObject::AddRef() {
  const long count = refCount_.fetch_add(1) + 1;
  ReferenceAdded(count);
  return count;
}

bool TMyInterfacedObject::TryAddRef() {
  long count = refCount_.load();
  while (count > 0 && !destroying_.load()) {
    if (refCount_.compare_exchange_weak(count, count + 1)) {
      ReferenceAdded(count + 1);
      return true;
    }
  }
  return false;
}

long TMyInterfacedObject::Release() {
  // The hook runs while this reference still keeps the object alive: once the
  // count is down, another thread's release may destroy it at any moment.
  ReferenceReleased(refCount_.load() - 1);
  const long count = refCount_.fetch_sub(1) - 1;
  if (count == 0 && !destroying_.exchange(true)) {
    // References taken and dropped while tearing down must not destroy again.
    refCount_.store(1);
    try {
      BeforeDestruction();
    } catch (...) {
      // a destroying notification's failure must not keep the object alive
    }
    delete this;
  }
  return count;
}

void TMyInterfacedObject::AfterConstruction() {
  try {
    Constructed();
  } catch (...) {
    // The creator's reference is then the last one: dropping it frees the
    // half-made object (and stops its threads) before the error reaches the creator.
    refCount_.fetch_sub(1);
    throw;
  }
  refCount_.fetch_sub(1);
}

std::string TMyInterfacedObject::ClassName() const { return ClassNameOf(typeid(*this)); }

}  // namespace korvan
