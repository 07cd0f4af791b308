#pragma once
// A reference a transport holds on itself while its own threads call out.
#include "comm/ui_MyInterfacedObject.h"

namespace korvan::transport {

// A reference that a transport holds on itself while one of its own threads
// calls out, so that a handler dropping the last other reference does not
// free it in mid-call: it then goes when the callback has returned. Not held
// when the object is already being destroyed elsewhere.
class TSelfReference {
 public:
  explicit TSelfReference(TMyInterfacedObject* object) : object_(object->TryAddRef() ? object : nullptr) {}
  ~TSelfReference() {
    if (object_) object_->Release();
  }
  TSelfReference(const TSelfReference&) = delete;
  TSelfReference& operator=(const TSelfReference&) = delete;

  bool Held() const { return object_ != nullptr; }

 private:
  TMyInterfacedObject* object_;
};

}  // namespace korvan::transport
