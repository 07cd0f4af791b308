#pragma once
// Method pointers: an object and a member function bound together, comparable and callable.
#include <type_traits>
#include <utility>

namespace korvan {

// The untyped pair behind every method pointer: the object and the code.
// Two method pointers are equal when both are; one is assigned when its code is set.
struct TMethodData {
  void* Data = nullptr;
  void (*Code)() = nullptr;

  bool Assigned() const { return Code != nullptr; }
  friend bool operator==(const TMethodData& a, const TMethodData& b) { return a.Data == b.Data && a.Code == b.Code; }
};

namespace detail {
template <class M>
struct MemberClass;
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...)> {
  using type = C;
};
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...) const> {
  using type = C;
};
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...) noexcept> {
  using type = C;
};
template <class C, class R, class... A>
struct MemberClass<R (C::*)(A...) const noexcept> {
  using type = C;
};
}  // namespace detail

template <class Signature>
class TMethod;

// A comparable delegate: `TMethod<void(int)>::Bind<&TFoo::Bar>(foo)`. The code
// is one thunk per bound member function, so equality means "same method of
// the same object", which subscription and removal rely on.
template <class R, class... A>
class TMethod<R(A...)> : public TMethodData {
  using Thunk = R (*)(void*, A...);

 public:
  TMethod() = default;

  template <auto Member, class C>
  static TMethod Bind(C* object) {
    using Class = typename detail::MemberClass<decltype(Member)>::type;
    static_assert(std::is_base_of_v<Class, C> || std::is_same_v<Class, C>, "method of another class");
    TMethod m;
    m.Data = static_cast<void*>(static_cast<Class*>(object));
    m.Code = reinterpret_cast<void (*)()>(&MemberThunk<Member, Class>);
    return m;
  }

  // A plain function, with no object.
  template <R (*Function)(A...)>
  static TMethod Bind() {
    TMethod m;
    m.Code = reinterpret_cast<void (*)()>(&FunctionThunk<Function>);
    return m;
  }

  // Recovers the typed method from untyped data made by a TMethod of this signature.
  static TMethod FromData(const TMethodData& data) {
    TMethod m;
    m.Data = data.Data;
    m.Code = data.Code;
    return m;
  }

  void* Object() const { return Data; }
  explicit operator bool() const { return Assigned(); }

  R operator()(A... args) const { return reinterpret_cast<Thunk>(Code)(Data, std::forward<A>(args)...); }

 private:
  template <auto Member, class Class>
  static R MemberThunk(void* object, A... args) {
    return (static_cast<Class*>(object)->*Member)(std::forward<A>(args)...);
  }
  template <R (*Function)(A...)>
  static R FunctionThunk(void*, A... args) {
    return Function(std::forward<A>(args)...);
  }
};

}  // namespace korvan
