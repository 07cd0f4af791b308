#include "comm/uMethod.h"

#include <gtest/gtest.h>

#include <string>

using namespace korvan;

namespace {

struct TTarget {
  int value = 0;
  // Identical bodies: identical-code folding must not make them one method.
  void Add(int n) { value += n; }
  void AddToo(int n) { value += n; }
  int Get() const { return value; }
  int GetNoexcept() const noexcept { return value + 1; }
};

struct TPadding {
  virtual ~TPadding() = default;
  long pad[4] = {};
};

struct TBase {
  virtual ~TBase() = default;
  virtual std::string Who() { return "base"; }
};

// TBase is not the first base, so a TDerived* and its TBase* differ.
struct TDerived : TPadding, TBase {
  std::string Who() override { return "derived"; }
};

int Twice(int n) { return 2 * n; }
int Thrice(int n) { return 3 * n; }

void Increment(int& n) { ++n; }

}  // namespace

TEST(TMethod, EqualsOnlyTheSameMethodOfTheSameObject) {
  TTarget a, b;
  using M = TMethod<void(int)>;
  EXPECT_TRUE(M::Bind<&TTarget::Add>(&a) == M::Bind<&TTarget::Add>(&a));
  EXPECT_FALSE(M::Bind<&TTarget::Add>(&a) == M::Bind<&TTarget::Add>(&b));
  EXPECT_FALSE(M::Bind<&TTarget::Add>(&a) == M::Bind<&TTarget::AddToo>(&a));

  using F = TMethod<int(int)>;
  EXPECT_TRUE(F::Bind<&Twice>() == F::Bind<&Twice>());
  EXPECT_FALSE(F::Bind<&Twice>() == F::Bind<&Thrice>());
}

TEST(TMethod, IsAssignedWhenItsCodeIsSetEvenWithoutAnObject) {
  TMethod<int(int)> none;
  EXPECT_FALSE(none);
  EXPECT_FALSE(none.Assigned());
  EXPECT_TRUE(none == TMethod<int(int)>());

  const auto function = TMethod<int(int)>::Bind<&Twice>();
  EXPECT_TRUE(function);
  EXPECT_EQ(function.Object(), nullptr);
  EXPECT_EQ(function(21), 42);
}

TEST(TMethod, CallsTheBoundObjectAndPassesReferences) {
  TTarget a, b;
  const auto addA = TMethod<void(int)>::Bind<&TTarget::Add>(&a);
  addA(5);
  addA(2);
  EXPECT_EQ(a.value, 7);
  EXPECT_EQ(b.value, 0);
  EXPECT_EQ(addA.Object(), &a);

  EXPECT_EQ((TMethod<int()>::Bind<&TTarget::Get>(&a))(), 7);
  EXPECT_EQ((TMethod<int()>::Bind<&TTarget::GetNoexcept>(&a))(), 8);

  int n = 1;
  TMethod<void(int&)>::Bind<&Increment>()(n);
  EXPECT_EQ(n, 2);
}

TEST(TMethod, ABaseMethodBoundThroughTheDerivedObjectEqualsTheSameBoundThroughItsBase) {
  TDerived d;
  TBase* base = &d;
  ASSERT_NE(static_cast<void*>(base), static_cast<void*>(&d));
  using M = TMethod<std::string()>;
  const M viaDerived = M::Bind<&TBase::Who>(&d);
  const M viaBase = M::Bind<&TBase::Who>(base);
  EXPECT_TRUE(viaDerived == viaBase);
  // A virtual method bound through the base still reaches the override.
  EXPECT_EQ(viaDerived(), "derived");
}

TEST(TMethod, SurvivesTheRoundTripThroughUntypedData) {
  TTarget a;
  const auto m = TMethod<void(int)>::Bind<&TTarget::Add>(&a);
  const TMethodData data = m;
  const auto back = TMethod<void(int)>::FromData(data);
  EXPECT_TRUE(back == m);
  back(3);
  EXPECT_EQ(a.value, 3);
}
