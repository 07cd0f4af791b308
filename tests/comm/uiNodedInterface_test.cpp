#include "comm/uiNodedInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/uGuid.h"
#include "support/TWait.h"

using korvan::test::WaitUntil;

using namespace korvan;
using namespace std::chrono_literals;

namespace {

std::atomic<int> g_destroyed{0};

// Counts destructions, so a leaked cycle or a double free shows.
class TCountedNode : public TNodedInterface {
 public:
  ~TCountedNode() override { g_destroyed.fetch_add(1); }
};

class IMarker : public virtual IInterface {};

class TMarkedNode : public TNodedInterface, public virtual IMarker {};

// A counted child that is not a node.
class TMarkedObject : public TMyInterfacedObject, public virtual IMarker {};

using TNode = TRef<INodedInterface>;

TNode NewNode(const std::string& name = std::string()) {
  TNode node = CreateObject<TNodedInterface>();
  if (!name.empty()) node->SetName(name);
  return node;
}

bool SameNode(INodedInterface* a, INodedInterface* b) { return ObjectIdentity(a) == ObjectIdentity(b); }
bool SameNode(const TRef<IInterface>& a, const TNode& b) { return ObjectIdentity(a.get()) == ObjectIdentity(b.get()); }

struct TDescent {
  INodedInterface* node;
  int depth;
};

class TDescentLog {
 public:
  void Added(INodedInterface* node, int depth) { Push(added_, node, depth); }
  void Removed(INodedInterface* node, int depth) { Push(removed_, node, depth); }

  void Watch(INodedInterface* node) {
    node->GetDescendantAdded()->Add(TeventerDescentEvent::THandler::Bind<&TDescentLog::Added>(this));
    node->GetDescendantRemoved()->Add(TeventerDescentEvent::THandler::Bind<&TDescentLog::Removed>(this));
  }
  void Unwatch(INodedInterface* node) {
    node->GetDescendantAdded()->Remove(TeventerDescentEvent::THandler::Bind<&TDescentLog::Added>(this));
    node->GetDescendantRemoved()->Remove(TeventerDescentEvent::THandler::Bind<&TDescentLog::Removed>(this));
  }

  std::vector<TDescent> TakeAdded() { return Take(added_); }
  std::vector<TDescent> TakeRemoved() { return Take(removed_); }

 private:
  void Push(std::vector<TDescent>& list, INodedInterface* node, int depth) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.push_back({node, depth});
  }
  std::vector<TDescent> Take(std::vector<TDescent>& list) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(list, {});
  }

  std::mutex mutex_;
  std::vector<TDescent> added_;
  std::vector<TDescent> removed_;
};

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

}  // namespace

// ---- Fresh nodes -------------------------------------------------------------

TEST(TNodedInterface, AFreshNodeIsNamedAfterItsClassIsEnabledAndHasItsOwnGuid) {
  TNode a = NewNode();
  TNode b = NewNode();
  TNode counted = CreateObject<TCountedNode>();

  EXPECT_EQ(a->GetName(), "TNodedInterface");
  EXPECT_EQ(counted->GetName(), "TCountedNode");
  EXPECT_TRUE(a->GetEnabled());
  EXPECT_FALSE(a->GetXMLNode());
  EXPECT_FALSE(a->GetParent());
  EXPECT_EQ(a->ChildCount(), 0);

  for (const TNode& n : {a, b, counted}) {
    const std::string text = n->GetGUIDText();
    EXPECT_TRUE(IsGuidText(text)) << text;
    EXPECT_EQ(text, Upper(text));
    EXPECT_EQ(n->GetGUID(), GuidFromText(text));
    EXPECT_NE(n->GetGUID(), TGUID{});
  }
  EXPECT_NE(a->GetGUIDText(), b->GetGUIDText());
  EXPECT_NE(a->GetGUIDText(), counted->GetGUIDText());
}

// ---- Children and parents ----------------------------------------------------

TEST(TNodedInterface, AddingAChildTwiceGivesItsIndexThenMinusOneAndLeavesItsParent) {
  TNode parent = NewNode("parent");
  TNode first = NewNode("first");
  TNode child = NewNode("child");

  EXPECT_EQ(parent->AddChild(first.get()), 0);
  EXPECT_EQ(parent->AddChild(child.get()), 1);
  EXPECT_TRUE(SameNode(child->GetParent(), parent));
  EXPECT_TRUE(SameNode(child->GetParentNoded().get(), parent.get()));

  EXPECT_EQ(parent->AddChild(child.get()), -1);
  EXPECT_EQ(parent->ChildCount(), 2);
  EXPECT_EQ(parent->IndexOfChild(child.get()), 1);
  EXPECT_TRUE(SameNode(child->GetParent(), parent));

  // Setting the parent it already has changes nothing either.
  child->SetParent(parent.get());
  EXPECT_EQ(parent->ChildCount(), 2);

  EXPECT_EQ(parent->RemoveChild(first.get()), 0);
  EXPECT_EQ(parent->RemoveChild(first.get()), -1);
  EXPECT_FALSE(first->GetParent());
  EXPECT_EQ(parent->IndexOfChild(child.get()), 0);
  EXPECT_FALSE(parent->GetChild(1));
  EXPECT_FALSE(parent->GetChild(-1));
  EXPECT_EQ(parent->AddChild(nullptr), -1);

  parent->ShutDown();
}

TEST(TNodedInterface, AChildChangingParentsLeavesTheFirstAndJoinsTheSecond) {
  TNode p1 = NewNode("p1");
  TNode p2 = NewNode("p2");
  TNode child = NewNode("child");

  child->SetParent(p1.get());
  ASSERT_EQ(p1->IndexOfChild(child.get()), 0);

  child->SetParent(p2.get());
  EXPECT_EQ(p1->ChildCount(), 0);
  EXPECT_EQ(p1->IndexOfChild(child.get()), -1);
  EXPECT_EQ(p2->IndexOfChild(child.get()), 0);
  EXPECT_TRUE(SameNode(child->GetParent(), p2));

  // Adopting from the parent's side moves it the same way.
  EXPECT_EQ(p1->AddChild(child.get()), 0);
  EXPECT_EQ(p2->ChildCount(), 0);
  EXPECT_TRUE(SameNode(child->GetParent(), p1));

  child->SetParent(nullptr);
  EXPECT_EQ(p1->ChildCount(), 0);
  EXPECT_FALSE(child->GetParent());
}

TEST(TNodedInterface, AncestorsHearOfAddedAndRemovedDescendantsWithTheirDepth) {
  TNode root = NewNode("root");
  TNode child = NewNode("child");
  TNode grandchild = NewNode("grandchild");
  TNode great = NewNode("great");
  TDescentLog log;
  log.Watch(root.get());

  root->AddChild(child.get());
  child->AddChild(grandchild.get());
  great->SetParent(grandchild.get());  // from the child's side as well
  auto added = log.TakeAdded();
  ASSERT_EQ(added.size(), 3u);
  EXPECT_TRUE(SameNode(added[0].node, child.get()));
  EXPECT_EQ(added[0].depth, 1);
  EXPECT_TRUE(SameNode(added[1].node, grandchild.get()));
  EXPECT_EQ(added[1].depth, 2);
  EXPECT_TRUE(SameNode(added[2].node, great.get()));
  EXPECT_EQ(added[2].depth, 3);
  EXPECT_TRUE(log.TakeRemoved().empty());

  child->RemoveChild(grandchild.get());
  auto removed = log.TakeRemoved();
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_TRUE(SameNode(removed[0].node, grandchild.get()));
  EXPECT_EQ(removed[0].depth, 2);

  // A detached subtree no longer reports to its former ancestors.
  grandchild->RemoveChild(great.get());
  grandchild->AddChild(great.get());
  EXPECT_TRUE(log.TakeAdded().empty());
  EXPECT_TRUE(log.TakeRemoved().empty());

  log.Unwatch(root.get());
  grandchild->ShutDown();
  root->ShutDown();
}

// ---- Lookups -----------------------------------------------------------------

TEST(TNodedInterface, FindLooksAtTheNodeItselfFirstThenDepthFirst) {
  // root "x"
  //   a "y"
  //     a1 "z"
  //   b "z", also called "x" later
  TNode root = NewNode("x");
  TNode a = NewNode("y");
  TNode a1 = NewNode("z");
  TNode b = NewNode("z");
  root->AddChild(a.get());
  a->AddChild(a1.get());
  root->AddChild(b.get());

  TNode found;
  ASSERT_TRUE(root->FindByName("z", found));
  EXPECT_TRUE(SameNode(found.get(), a1.get()));
  b->SetName("x");
  ASSERT_TRUE(root->FindByName("x", found));
  EXPECT_TRUE(SameNode(found.get(), root.get()));
  EXPECT_FALSE(a->FindByName("x", found));  // never searches upwards
  EXPECT_FALSE(found);
  found = root;
  EXPECT_FALSE(root->FindByName("X", found));  // exact text only
  EXPECT_FALSE(found);

  // Give b the GUID of a1: the depth-first order decides.
  pugi::xml_document doc;
  pugi::xml_node element = doc.append_child("node");
  element.append_attribute("GUID").set_value(a1->GetGUIDText().c_str());
  b->LoadFromXML(element, false, true);
  ASSERT_EQ(b->GetGUIDText(), a1->GetGUIDText());

  ASSERT_TRUE(root->FindByGUID(a1->GetGUIDText(), found));
  EXPECT_TRUE(SameNode(found.get(), a1.get()));
  ASSERT_TRUE(root->FindByGUID(root->GetGUIDText(), found));
  EXPECT_TRUE(SameNode(found.get(), root.get()));
  std::string lower = root->GetGUIDText();
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  EXPECT_FALSE(root->FindByGUID(lower, found));
  EXPECT_FALSE(found);

  root->ShutDown();
}

TEST(TNodedInterface, CountSupportingCountsDescendantsOnlyWhenRecursive) {
  // root
  //   m1 (marked)
  //     m2 (marked)
  //   plain
  //     m3 (marked)
  //     m4 (marked)
  //   object (marked, not a node)
  TNode root = NewNode();
  TNode m1 = CreateObject<TMarkedNode>();
  TNode m2 = CreateObject<TMarkedNode>();
  TNode plain = NewNode();
  TNode m3 = CreateObject<TMarkedNode>();
  TNode m4 = CreateObject<TMarkedNode>();
  TRef<IMarker> object = CreateObject<TMarkedObject>();
  root->AddChild(m1.get());
  m1->AddChild(m2.get());
  root->AddChild(plain.get());
  plain->AddChild(m3.get());
  plain->AddChild(m4.get());
  EXPECT_EQ(root->AddChild(object.get()), 2);

  EXPECT_EQ(root->CountSupporting(&SupportsTest<IMarker>, false), 2);
  EXPECT_EQ(root->CountSupporting(&SupportsTest<IMarker>, true), 5);
  EXPECT_EQ(root->CountSupporting(&SupportsTest<INodedInterface>, true), 5);
  EXPECT_EQ(plain->CountSupporting(&SupportsTest<IMarker>, false), 2);

  // A child that is not a node is skipped by lookups and by shut-down.
  TNode found;
  EXPECT_FALSE(root->FindByName("TMarkedObject", found));
  root->ShutDown();
  EXPECT_EQ(root->ChildCount(), 0);
  EXPECT_EQ(plain->ChildCount(), 0);
  EXPECT_EQ(object->AddRef(), 2);  // only ours and this one are left
  object->Release();
}

// ---- XML ---------------------------------------------------------------------

TEST(TNodedInterface, SavingWritesNameEnabledAsMinusOneOrZeroAndGuid) {
  pugi::xml_document doc;
  pugi::xml_node element = doc.append_child("node");
  TNode node = CreateObject<TNodedInterface>(element, nullptr);
  ASSERT_EQ(node->GetXMLNode(), element);
  EXPECT_EQ(node->GetName(), "TNodedInterface");
  EXPECT_TRUE(IsGuidText(node->GetGUIDText()));

  node->SaveToXML();
  EXPECT_STREQ(element.attribute("name").value(), "TNodedInterface");
  EXPECT_STREQ(element.attribute("enabled").value(), "-1");
  EXPECT_EQ(element.attribute("GUID").value(), node->GetGUIDText());

  node->SetEnabled(false);
  node->SaveToXML();
  EXPECT_STREQ(element.attribute("enabled").value(), "0");

  // Renaming writes through at once, and saving again adds no duplicates.
  node->SetName("Ingra");
  EXPECT_STREQ(element.attribute("name").value(), "Ingra");
  node->SaveToXML();
  int attributes = 0;
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) ++attributes;
  EXPECT_EQ(attributes, 3);
}

TEST(TNodedInterface, ANodeSavedAndLoadedAgainKeepsNameEnabledAndGuid) {
  pugi::xml_document doc;
  pugi::xml_node saved = doc.append_child("saved");
  TNode original = NewNode("Outra");
  original->SetEnabled(false);
  original->SetXMLNode(saved);
  original->SaveToXML();

  TNode parent = NewNode("parent");
  TNode loaded = CreateObject<TNodedInterface>(saved, parent.get());
  EXPECT_EQ(loaded->GetName(), "Outra");
  EXPECT_FALSE(loaded->GetEnabled());
  EXPECT_EQ(loaded->GetGUIDText(), original->GetGUIDText());
  EXPECT_EQ(loaded->GetXMLNode(), saved);
  EXPECT_TRUE(SameNode(loaded->GetParent(), parent));
  EXPECT_EQ(parent->IndexOfChild(loaded.get()), 0);

  parent->ShutDown();
}

TEST(TNodedInterface, EnabledIsReadAsANumberOrAsTrueOrFalseInAnyCase) {
  const std::pair<const char*, bool> cases[] = {
      {"-1", true},   {"0", false},    {"1", true},     {"0.0", false}, {"2.5", true},
      {"True", true}, {"true", true},  {"tRuE", true},  {"FALSE", false}, {"false", false},
  };
  TNode node = NewNode();
  pugi::xml_document doc;
  for (const auto& [text, expected] : cases) {
    pugi::xml_node element = doc.append_child("node");
    element.append_attribute("enabled").set_value(text);
    node->SetEnabled(!expected);
    node->LoadFromXML(element, false, false);
    EXPECT_EQ(node->GetEnabled(), expected) << text;
  }
}

TEST(TNodedInterface, MissingAttributesLeaveNameAndGuidAndEnableTheNode) {
  TNode node = NewNode("kept");
  node->SetEnabled(false);
  const std::string guid = node->GetGUIDText();
  pugi::xml_document doc;
  pugi::xml_node empty = doc.append_child("node");

  node->LoadFromXML(empty, true, false);
  EXPECT_EQ(node->GetName(), "kept");
  EXPECT_EQ(node->GetGUIDText(), guid);
  EXPECT_TRUE(node->GetEnabled());

  // Loading from no element at all reads nothing either.
  node->SetEnabled(false);
  node->LoadFromXML(pugi::xml_node(), false, false);
  EXPECT_EQ(node->GetName(), "kept");
  EXPECT_EQ(node->GetGUIDText(), guid);
  EXPECT_TRUE(node->GetEnabled());
}

TEST(TNodedInterface, TakeDecidesWhetherTheElementBecomesTheNodesOwn) {
  pugi::xml_document doc;
  pugi::xml_node first = doc.append_child("first");
  first.append_attribute("name").set_value("from first");
  pugi::xml_node second = doc.append_child("second");
  TNode node = NewNode();

  node->LoadFromXML(first, false, false);
  EXPECT_EQ(node->GetName(), "from first");
  EXPECT_FALSE(node->GetXMLNode());
  node->SaveToXML();  // no element of its own: writes nowhere
  EXPECT_FALSE(first.attribute("GUID"));

  node->LoadFromXML(first, true, false);
  EXPECT_EQ(node->GetXMLNode(), first);
  node->LoadFromNode(second);
  EXPECT_EQ(node->GetXMLNode(), second);
  EXPECT_EQ(node->GetName(), "from first");
}

TEST(TNodedInterface, AKnownGuidIsReplacedFromXmlOnlyWhenAlwaysGuidIsAsked) {
  TNode node = NewNode();
  const std::string own = node->GetGUIDText();
  const std::string other = NewGuidText();
  pugi::xml_document doc;
  pugi::xml_node element = doc.append_child("node");
  element.append_attribute("GUID").set_value(other.c_str());

  node->LoadFromXML(element, true, false);
  EXPECT_EQ(node->GetGUIDText(), own);
  node->LoadFromXML(element, true, true);
  EXPECT_EQ(node->GetGUIDText(), other);
}

// ---- Process-wide eventers -----------------------------------------------------

namespace {
// Records only this file's counting nodes: the eventers are process-wide.
class TLifeLog {
 public:
  void Created(INodedInterface* node) {
    if (dynamic_cast<TCountedNode*>(node)) Record(created_, node);
  }
  void Destroying(INodedInterface* node) {
    if (!dynamic_cast<TCountedNode*>(node)) return;
    // The node is whole here: it can be asked, and held and let go again.
    node->AddRef();
    node->Release();
    Record(destroying_, node);
    destroyedBefore_ = g_destroyed.load();
  }

  std::vector<std::pair<INodedInterface*, std::string>> created_, destroying_;
  int destroyedBefore_ = -1;

 private:
  void Record(std::vector<std::pair<INodedInterface*, std::string>>& list, INodedInterface* node) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.emplace_back(node, node->GetName());
  }
  std::mutex mutex_;
};
}  // namespace

TEST(TNodedInterface, CreationAndDestructionAreAnnouncedWithTheWholeNode) {
  TLifeLog log;
  const auto created = Teventer_NodedInterface::THandler::Bind<&TLifeLog::Created>(&log);
  const auto destroying = Teventer_NodedInterface::THandler::Bind<&TLifeLog::Destroying>(&log);
  NodeCreatedEventer().Add(created);
  NodeDestroyingEventer().Add(destroying);
  g_destroyed = 0;

  TNode node = CreateObject<TCountedNode>();
  INodedInterface* const raw = node.get();
  ASSERT_EQ(log.created_.size(), 1u);
  EXPECT_EQ(log.created_[0].first, raw);
  EXPECT_EQ(log.created_[0].second, "TCountedNode");
  EXPECT_TRUE(log.destroying_.empty());

  node = nullptr;
  ASSERT_EQ(log.destroying_.size(), 1u);
  EXPECT_EQ(log.destroying_[0].first, raw);
  EXPECT_EQ(log.destroying_[0].second, "TCountedNode");
  EXPECT_EQ(log.destroyedBefore_, 0);  // announced before the destructor ran
  EXPECT_EQ(g_destroyed.load(), 1);    // and destroyed exactly once

  NodeCreatedEventer().Remove(created);
  NodeDestroyingEventer().Remove(destroying);
}

// ---- Tearing down ----------------------------------------------------------------

namespace {
// root
//   a
//     a1
//     a2
//   b
//     b1
std::vector<TNode> BuildCountedTree() {
  std::vector<TNode> nodes;
  for (int i = 0; i < 6; ++i) nodes.push_back(CreateObject<TCountedNode>());
  nodes[0]->AddChild(nodes[1].get());
  nodes[1]->AddChild(nodes[2].get());
  nodes[1]->AddChild(nodes[3].get());
  nodes[0]->AddChild(nodes[4].get());
  nodes[5]->SetParent(nodes[4].get());
  return nodes;
}
}  // namespace

TEST(TNodedInterface, ShutDownOfTheRootFreesEveryNodeOfTheTree) {
  g_destroyed = 0;
  TNode root;
  {
    std::vector<TNode> nodes = BuildCountedTree();
    root = nodes[0];
  }
  EXPECT_EQ(g_destroyed.load(), 0);  // the tree holds itself together

  root->ShutDown();
  EXPECT_EQ(g_destroyed.load(), 5);
  EXPECT_EQ(root->ChildCount(), 0);
  root = nullptr;
  EXPECT_EQ(g_destroyed.load(), 6);
}

TEST(TNodedInterface, DetachingEveryNodeWithSetParentNullFreesTheTree) {
  g_destroyed = 0;
  {
    std::vector<TNode> nodes = BuildCountedTree();
    for (size_t i = 1; i < nodes.size(); ++i) nodes[i]->SetParent(nullptr);
    for (const TNode& n : nodes) EXPECT_EQ(n->ChildCount(), 0);
    EXPECT_EQ(g_destroyed.load(), 0);
  }
  EXPECT_EQ(g_destroyed.load(), 6);
}

TEST(TNodedInterface, ANodeWhoseParentDropsItLastIsFreedOnce) {
  g_destroyed = 0;
  TNode parent = NewNode();
  {
    TNode child = CreateObject<TCountedNode>();
    parent->AddChild(child.get());
  }
  EXPECT_EQ(g_destroyed.load(), 0);
  // The parent holds the last reference while the child detaches itself.
  IInterface* const child = parent->GetChild(0).get();
  EXPECT_EQ(parent->RemoveChild(child), 0);
  EXPECT_EQ(g_destroyed.load(), 1);
}

// ---- Concurrency -----------------------------------------------------------------

TEST(TNodedInterface, TwoThreadsAddingAndRemovingTheSameChildrenNeverDeadlock) {
  TNode grandparent = NewNode("grandparent");
  TNode parent = NewNode("parent");
  grandparent->AddChild(parent.get());
  TDescentLog log;
  log.Watch(grandparent.get());

  std::vector<TNode> children;
  for (int i = 0; i < 8; ++i) children.push_back(NewNode("child" + std::to_string(i)));

  constexpr int kRounds = 1500;
  std::atomic<int> finished{0};
  // One thread works from the parent's side, the other from the children's:
  // the two lock orders that could meet.
  std::thread fromParent([&] {
    for (int r = 0; r < kRounds; ++r) {
      INodedInterface* c = children[r % children.size()].get();
      parent->AddChild(c);
      parent->RemoveChild(c);
    }
    finished.fetch_add(1);
  });
  std::thread fromChildren([&] {
    for (int r = 0; r < kRounds; ++r) {
      INodedInterface* c = children[(r * 3) % children.size()].get();
      c->SetParent(parent.get());
      if (r % 2) c->SetParent(nullptr);
    }
    finished.fetch_add(1);
  });
  if (!WaitUntil([&] { return finished.load() == 2; }, 60s)) {
    // A deadlocked thread can be neither joined nor left behind.
    std::fprintf(stderr, "deadlock: %d of 2 threads did not finish\n", 2 - finished.load());
    std::fflush(stderr);
    std::_Exit(3);
  }
  fromParent.join();
  fromChildren.join();

  for (const TNode& c : children) {
    const bool listed = parent->IndexOfChild(c.get()) >= 0;
    EXPECT_EQ(listed, SameNode(c->GetParent(), parent)) << c->GetName();
  }
  EXPECT_FALSE(log.TakeAdded().empty());

  log.Unwatch(grandparent.get());
  grandparent->ShutDown();
  for (const TNode& c : children) c->SetParent(nullptr);
}

// ---- Failures around construction and destruction ---------------------------------

namespace {
struct TThrowOnDestroying {
  void Destroying(INodedInterface*) { throw std::runtime_error("handler failed"); }
};
class TFailingNode : public TCountedNode {
  void Constructed() override { throw std::runtime_error("not today"); }
};
// Its parent must only ever see it whole: then its name is its own class's.
class TLateChild : public TNodedInterface {
 public:
  explicit TLateChild(IInterface* parent) : TNodedInterface(pugi::xml_node(), parent) {}
};
struct TSeenByParent {
  void Added(INodedInterface* node, int) { names.push_back(node->GetName()); }
  std::vector<std::string> names;
};
}  // namespace

TEST(TNodedInterface, FailuresAroundConstructionAndDestructionFreeTheNodeAndReachTheCreator) {
  g_destroyed = 0;
  TThrowOnDestroying thrower;
  const auto destroying = Teventer_NodedInterface::THandler::Bind<&TThrowOnDestroying::Destroying>(&thrower);
  NodeDestroyingEventer().Add(destroying);
  CreateObject<TCountedNode>();  // released at once: the handler throws, the node still goes
  NodeDestroyingEventer().Remove(destroying);
  EXPECT_THROW(CreateObject<TFailingNode>(), std::runtime_error);
  EXPECT_EQ(g_destroyed.load(), 2);

  TNode parent = NewNode();
  TSeenByParent seen;
  parent->GetDescendantAdded()->Add(TeventerDescentEvent::THandler::Bind<&TSeenByParent::Added>(&seen));
  CreateObject<TLateChild>(parent.get());
  EXPECT_EQ(seen.names, (std::vector<std::string>{"TLateChild"}));
  parent->ShutDown();
}
