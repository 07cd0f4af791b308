#include "comm/ui_MyInterfacedObject.h"

#include <typeinfo>

#include "comm/uException.h"

namespace korvan {

long TMyInterfacedObject::AddRef() {
  const long count = refCount_.fetch_add(1) + 1;
  ReferenceAdded(count);
  return count;
}

long TMyInterfacedObject::Release() {
  const long count = refCount_.fetch_sub(1) - 1;
  ReferenceReleased(count);
  if (count == 0 && !destroying_.exchange(true)) {
    // References taken and dropped while tearing down must not destroy again.
    refCount_.store(1);
    BeforeDestruction();
    delete this;
  }
  return count;
}

void TMyInterfacedObject::AfterConstruction() {
  Constructed();
  refCount_.fetch_sub(1);
}

std::string TMyInterfacedObject::ClassName() const { return ClassNameOf(typeid(*this)); }

}  // namespace korvan
