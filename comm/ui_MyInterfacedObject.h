#pragma once
// The root interface, reference-counted objects and the counted reference that holds them.
#include <atomic>
#include <string>
#include <type_traits>
#include <utility>

namespace korvan {

// The root interface: every interface derives virtually from it, so one
// object implementing several interfaces has one reference count.
class IInterface {
 public:
  virtual long AddRef() = 0;
  virtual long Release() = 0;

 protected:
  virtual ~IInterface() = default;
};

// A reference-counted object. The count is 1 while the constructor runs, so
// that references taken to `this` during construction cannot destroy it; the
// factory (CreateObject) lowers it to 0 afterwards without destroying.
class TMyInterfacedObject : public virtual IInterface {
 public:
  TMyInterfacedObject() = default;
  TMyInterfacedObject(const TMyInterfacedObject&) = delete;
  TMyInterfacedObject& operator=(const TMyInterfacedObject&) = delete;

  long AddRef() override;
  long Release() override;

  // Takes a reference only while another one still exists, so that a thread
  // racing the last Release never brings the object back.
  bool TryAddRef();

  long RefCount() const { return refCount_.load(); }
  bool Destroying() const { return destroying_.load(); }
  // The object's class name without namespaces.
  std::string ClassName() const;

  // Called by the factory once the most derived constructor has finished:
  // runs Constructed, then lowers the construction count without destroying.
  // When Constructed throws, the count is lowered all the same and the error
  // passes on; the factory's reference then frees the object.
  void AfterConstruction();

 protected:
  ~TMyInterfacedObject() override = default;

  // Runs once the whole object exists, while the count still protects it.
  virtual void Constructed() {}
  virtual void ReferenceAdded(long /*newCount*/) {}
  virtual void ReferenceReleased(long /*newCount*/) {}
  // Runs once before destruction, while the whole object still exists; what
  // it throws is contained.
  virtual void BeforeDestruction() {}

 private:
  std::atomic<bool> destroying_{false};
  std::atomic<long> refCount_{1};
};

// The counted reference: holds one reference to the object it points to.
template <class T>
class TRef {
 public:
  TRef() = default;
  TRef(std::nullptr_t) {}
  TRef(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  TRef(const TRef& other) : TRef(other.p_) {}
  TRef(TRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TRef(const TRef<U>& other) : TRef(other.get()) {}
  ~TRef() { reset(); }

  TRef& operator=(const TRef& other) {
    TRef(other).swap(*this);
    return *this;
  }
  TRef& operator=(TRef&& other) noexcept {
    TRef(std::move(other)).swap(*this);
    return *this;
  }
  TRef& operator=(std::nullptr_t) {
    reset();
    return *this;
  }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void swap(TRef& other) noexcept { std::swap(p_, other.p_); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  friend bool operator==(const TRef& a, const TRef& b) { return a.p_ == b.p_; }
  friend bool operator==(const TRef& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Creates a counted object; the first counted reference owns it.
template <class T, class... Args>
TRef<T> CreateObject(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  TRef<T> ref(object);  // count 2: the construction count and this reference
  object->AfterConstruction();
  return ref;
}

// "Supports interface I": the object's I, or null.
template <class I, class T>
I* Supports(T* object) {
  return object ? dynamic_cast<I*>(object) : nullptr;
}
template <class I, class T>
I* Supports(const TRef<T>& object) {
  return Supports<I>(object.get());
}

// The identity of an object behind any of its interfaces, for comparisons.
inline const void* ObjectIdentity(IInterface* object) { return object ? dynamic_cast<const void*>(object) : nullptr; }

}  // namespace korvan
