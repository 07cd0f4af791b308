#include "comm/ui_MyInterfacedObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "comm/uException.h"
#include "comm/uQueue.h"
#include "comm/uSynchronizer.h"

using namespace korvan;

namespace {

class IFirst : public virtual IInterface {
 public:
  virtual int First() = 0;
};
class ISecond : public virtual IInterface {
 public:
  virtual int Second() = 0;
};
class IUnused : public virtual IInterface {};

struct TCounters {
  int destroyed = 0;
  int beforeDestruction = 0;
  std::string nameBeforeDestruction;
};

}  // namespace

namespace outer::inner {

// Counts its own end and can exercise references to itself at awkward moments.
class TCounted : public TMyInterfacedObject, public IFirst, public ISecond {
 public:
  enum class TSelfReference { None, TakeAndDrop, Keep };

  TCounted(TCounters& counters, TSelfReference self) : counters_(counters) {
    if (self == TSelfReference::TakeAndDrop) {
      TRef<IFirst> me(this);
      constructionCount = RefCount();
    } else if (self == TSelfReference::Keep) {
      kept = this;
    }
  }
  ~TCounted() override { ++counters_.destroyed; }

  int First() override { return 1; }
  int Second() override { return 2; }

  long constructionCount = 0;
  TRef<TCounted> kept;  // a reference the object holds to itself

 protected:
  void BeforeDestruction() override {
    ++counters_.beforeDestruction;
    counters_.nameBeforeDestruction = ClassName();  // the whole object still exists
    TRef<ISecond> again(this);                        // must not start a second destruction
  }

 private:
  TCounters& counters_;
};

template <class T>
class TTemplated : public TMyInterfacedObject {
 public:
  class TNested : public TMyInterfacedObject {};
};

}  // namespace outer::inner

using outer::inner::TCounted;
using TSelf = TCounted::TSelfReference;

TEST(CreateObject, AReferenceTakenAndDroppedInTheConstructorDoesNotDestroyTheObject) {
  TCounters counters;
  {
    auto object = CreateObject<TCounted>(counters, TSelf::TakeAndDrop);
    EXPECT_EQ(object->constructionCount, 2);  // the construction count plus that reference
    EXPECT_EQ(counters.destroyed, 0);
    EXPECT_EQ(object->RefCount(), 1);
  }
  EXPECT_EQ(counters.destroyed, 1);
  EXPECT_EQ(counters.beforeDestruction, 1);
}

TEST(CreateObject, TheLastReleaseDestroysExactlyOnce) {
  TCounters counters;
  auto object = CreateObject<TCounted>(counters, TSelf::None);
  TRef<IFirst> first(object.get());
  TRef<ISecond> second(object.get());
  EXPECT_EQ(object->RefCount(), 3);
  object = nullptr;
  first = nullptr;
  EXPECT_EQ(counters.destroyed, 0);
  EXPECT_EQ(second->Second(), 2);
  second = nullptr;
  EXPECT_EQ(counters.destroyed, 1);
  // BeforeDestruction ran with the whole object and its own reference did not destroy again.
  EXPECT_EQ(counters.beforeDestruction, 1);
  EXPECT_EQ(counters.nameBeforeDestruction, "TCounted");
}

TEST(CreateObject, AReferenceKeptByTheConstructorKeepsTheObject) {
  TCounters counters;
  auto object = CreateObject<TCounted>(counters, TSelf::Keep);
  EXPECT_EQ(object->RefCount(), 2);
  TCounted* raw = object.get();
  object = nullptr;
  EXPECT_EQ(counters.destroyed, 0);
  raw->kept = nullptr;  // the last reference
  EXPECT_EQ(counters.destroyed, 1);
}

TEST(TRef, CopiesMovesAndAssignmentsKeepTheCountRight) {
  TCounters counters;
  auto a = CreateObject<TCounted>(counters, TSelf::None);
  TRef<TCounted> copy = a;
  EXPECT_EQ(a->RefCount(), 2);
  TRef<TCounted> moved = std::move(copy);
  EXPECT_FALSE(copy);
  EXPECT_EQ(a->RefCount(), 2);
  const TRef<TCounted>& same = moved;  // through a reference: clang warns on a plain self-assignment
  moved = same;                         // self-assignment
  EXPECT_EQ(a->RefCount(), 2);
  TRef<IInterface> root = a;  // widening keeps its own reference
  EXPECT_EQ(a->RefCount(), 3);

  auto b = CreateObject<TCounted>(counters, TSelf::None);
  moved = b;  // lets go of a, takes b
  EXPECT_EQ(a->RefCount(), 2);
  EXPECT_EQ(b->RefCount(), 2);
  EXPECT_TRUE(moved == b);
  moved = nullptr;
  root = nullptr;
  EXPECT_EQ(a->RefCount(), 1);
  EXPECT_EQ(counters.destroyed, 0);
}

TEST(TRef, ConcurrentCopiesAndReleasesDestroyOnceAtTheEnd) {
  TCounters counters;
  auto object = CreateObject<TCounted>(counters, TSelf::None);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([shared = object] {
      for (int i = 0; i < 20000; ++i) {
        TRef<IFirst> a(shared.get());
        TRef<IInterface> b(a.get());
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(object->RefCount(), 1);
  object = nullptr;
  EXPECT_EQ(counters.destroyed, 1);
}

TEST(Supports, FindsTheInterfacesAnObjectImplements) {
  TCounters counters;
  auto object = CreateObject<TCounted>(counters, TSelf::None);
  IInterface* root = static_cast<IFirst*>(object.get());
  ASSERT_NE(Supports<ISecond>(root), nullptr);
  EXPECT_EQ(Supports<ISecond>(root)->Second(), 2);
  EXPECT_EQ(Supports<IUnused>(root), nullptr);
  EXPECT_EQ(Supports<IFirst>(static_cast<IInterface*>(nullptr)), nullptr);
  EXPECT_EQ(Supports<IFirst>(object)->First(), 1);

  // One object behind either interface, another object apart.
  auto other = CreateObject<TCounted>(counters, TSelf::None);
  EXPECT_EQ(ObjectIdentity(Supports<IFirst>(root)), ObjectIdentity(Supports<ISecond>(root)));
  EXPECT_NE(ObjectIdentity(Supports<IFirst>(root)), ObjectIdentity(Supports<IFirst>(other)));
  EXPECT_EQ(ObjectIdentity(nullptr), nullptr);
}

TEST(ClassName, IsTheClassWithoutNamespacesOrTemplateArguments) {
  TCounters counters;
  auto object = CreateObject<TCounted>(counters, TSelf::None);
  EXPECT_EQ(object->ClassName(), "TCounted");
  EXPECT_EQ(CreateObject<outer::inner::TTemplated<std::vector<int>>>()->ClassName(), "TTemplated");
  // A class inside a template is named for itself, not for the template around it.
  EXPECT_EQ(CreateObject<outer::inner::TTemplated<int>::TNested>()->ClassName(), "TNested");
}

TEST(Exception, ReportsTheClassNameOfWhatWasRaised) {
  auto nameOf = [](auto raise) {
    try {
      raise();
    } catch (const Exception& e) {
      return e.ClassName();
    }
    return std::string("(nothing raised)");
  };
  EXPECT_EQ(nameOf([] { throw Exception("plain"); }), "Exception");
  EXPECT_EQ(nameOf([] { TQueue<int>().Pop(); }), "EQueueError");
  EXPECT_EQ(nameOf([] { TMultiReadExclusiveWriteSynchronizerExtended("L").EndRead(); }),
            "EMultiReadExclusiveWriteSynchronizerExtendedException");

  const Exception e("text kept as given");
  EXPECT_STREQ(e.what(), "text kept as given");
}
