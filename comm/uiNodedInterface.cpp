#include "comm/uiNodedInterface.h"

#include <algorithm>
#include <utility>

#include "comm/uci_ConnectionString.h"

namespace korvan {

Teventer_NodedInterface& NodeCreatedEventer() {
  // Never destroyed: nodes may outlive static destruction at exit.
  static auto* eventer = new Teventer_NodedInterface();
  return *eventer;
}

Teventer_NodedInterface& NodeDestroyingEventer() {
  static auto* eventer = new Teventer_NodedInterface();
  return *eventer;
}

namespace {
using TDescentHandler = TeventerDescentEvent::THandler;

int IndexIn(const std::vector<TRef<IInterface>>& list, IInterface* item) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].get() == item) return static_cast<int>(i);
  return -1;
}
}  // namespace

TNodedInterface::TNodedInterface() : TNodedInterface(pugi::xml_node(), nullptr) {}

TNodedInterface::TNodedInterface(pugi::xml_node xmlNode, IInterface* parent)
    : lock_("TNodedInterface"), pendingParent_(parent) {
  xmlNode_ = xmlNode;
  LoadFromXML(xmlNode, true, false);
}

void TNodedInterface::Constructed() {
  // The parent gets the node only once the whole node exists.
  if (TRef<IInterface> parent = std::exchange(pendingParent_, nullptr)) SetParent(parent.get());
  NodeCreatedEventer().Notify(this);
}

void TNodedInterface::BeforeDestruction() {
  try {
    NodeDestroyingEventer().Notify(this);
  } catch (...) {
    // the node goes all the same; its subclasses' teardown must still run
  }
}

TNodedInterface::~TNodedInterface() {
  try {
    RemoveAllChildren();
  } catch (...) {
  }
  xmlNode_ = pugi::xml_node();
  parent_ = nullptr;
}

std::string TNodedInterface::GetName() {
  TReadLock guard(lock_);
  return nameSet_ ? name_ : ClassName();
}

void TNodedInterface::SetName(const std::string& name) {
  TWriteLock guard(lock_);
  name_ = name;
  nameSet_ = true;
  if (xmlNode_) {
    pugi::xml_attribute a = xmlNode_.attribute("name");
    if (!a) a = xmlNode_.append_attribute("name");
    a.set_value(name.c_str());
  }
}

TGUID TNodedInterface::GetGUID() { return GuidFromText(GetGUIDText()); }

std::string TNodedInterface::GetGUIDText() {
  TReadLock guard(lock_);
  return guid_;
}

void TNodedInterface::SetGUIDText(const std::string& guid) {
  TWriteLock guard(lock_);
  guid_ = guid;
}

bool TNodedInterface::GetEnabled() {
  TReadLock guard(lock_);
  return enabled_;
}

void TNodedInterface::SetEnabled(bool value) {
  TWriteLock guard(lock_);
  enabled_ = value;
}

void TNodedInterface::BeginWrite() { lock_.BeginWrite(true); }
void TNodedInterface::EndWrite() { lock_.EndWrite(); }
void TNodedInterface::BeginRead() { lock_.BeginRead(); }
void TNodedInterface::EndRead() { lock_.EndRead(); }

TeventerDescentEvent* TNodedInterface::ExistingEventer(bool added) {
  TReadLock guard(lock_);
  return added ? descendantAdded_.get() : descendantRemoved_.get();
}

void TNodedInterface::DescentAddedRelay(INodedInterface* node, int depth) {
  if (TeventerDescentEvent* e = ExistingEventer(true)) e->Notify(node, depth + 1);
}

void TNodedInterface::DescentRemovedRelay(INodedInterface* node, int depth) {
  if (TeventerDescentEvent* e = ExistingEventer(false)) e->Notify(node, depth + 1);
}

void TNodedInterface::SetXMLNode(pugi::xml_node node) {
  TWriteLock guard(lock_);
  xmlNode_ = node;
}

void TNodedInterface::LoadFromXML(pugi::xml_node node, bool take, bool alwaysGUID) {
  TWriteLock guard(lock_);
  if (take) xmlNode_ = node;
  if (node) {
    if (pugi::xml_attribute a = node.attribute("name")) {
      name_ = a.value();
      nameSet_ = true;
    }
  }
  bool enabled = true;
  if (node) {
    if (pugi::xml_attribute a = node.attribute("enabled")) {
      bool value = true;
      if (StrToBoolean(a.value(), value)) enabled = value;
    }
  }
  SetEnabled(enabled);
  if (alwaysGUID || guid_.empty()) {
    pugi::xml_attribute a = node ? node.attribute("GUID") : pugi::xml_attribute();
    guid_ = a ? std::string(a.value()) : NewGuidText();
  }
}

void TNodedInterface::SaveToXML() {
  TWriteLock guard(lock_);
  if (!xmlNode_) return;
  const auto set = [this](const char* key, const std::string& value) {
    pugi::xml_attribute a = xmlNode_.attribute(key);
    if (!a) a = xmlNode_.append_attribute(key);
    a.set_value(value.c_str());
  };
  set("name", nameSet_ ? name_ : ClassName());
  set("enabled", BooleanToStr(enabled_));
  set("GUID", guid_);
}

pugi::xml_node TNodedInterface::GetXMLNode() {
  TReadLock guard(lock_);
  return xmlNode_;
}

void TNodedInterface::LoadFromNode(pugi::xml_node node) { LoadFromXML(node, true, false); }

TRef<IInterface> TNodedInterface::GetParent() {
  TReadLock guard(lock_);
  return parent_;
}

TRef<INodedInterface> TNodedInterface::GetParentNoded() {
  TReadLock guard(lock_);
  return TRef<INodedInterface>(Supports<INodedInterface>(parent_));
}

void TNodedInterface::SetParent(IInterface* parent) {
  // Keep both ends alive: the old parent may hold the last reference to us.
  TRef<IInterface> self(Self());
  TWriteLock guard(lock_);
  if (parent_.get() == parent) return;
  TRef<IInterface> old = parent_;
  if (auto* p = Supports<INodedInterface>(old)) p->RemoveChild(self.get());
  parent_ = parent;
  if (auto* p = Supports<INodedInterface>(parent)) p->AddChild(self.get());
}

void TNodedInterface::SetOwner(IInterface* owner) { SetParent(owner); }

std::vector<TRef<IInterface>> TNodedInterface::GetChildren() {
  TReadLock guard(lock_);
  return children_;
}

TRef<IInterface> TNodedInterface::GetChild(int index) {
  TReadLock guard(lock_);
  if (index < 0 || index >= static_cast<int>(children_.size())) return nullptr;
  return children_[index];
}

int TNodedInterface::ChildCount() {
  TReadLock guard(lock_);
  return static_cast<int>(children_.size());
}

int TNodedInterface::IndexOfChild(IInterface* child) {
  TReadLock guard(lock_);
  return IndexIn(children_, child);
}

void TNodedInterface::Subscribe(INodedInterface* child, bool subscribe) {
  const auto added = TDescentHandler::Bind<&TNodedInterface::DescentAddedRelay>(this);
  const auto removed = TDescentHandler::Bind<&TNodedInterface::DescentRemovedRelay>(this);
  if (subscribe) {
    child->GetDescendantAdded()->Add(added);
    child->GetDescendantRemoved()->Add(removed);
  } else {
    child->GetDescendantAdded()->Remove(added);
    child->GetDescendantRemoved()->Remove(removed);
  }
}

int TNodedInterface::AddChild(IInterface* child) {
  if (!child) return -1;
  int index = -1;
  {
    TWriteLock guard(lock_);
    if (IndexIn(children_, child) >= 0) return -1;
    children_.emplace_back(child);
    index = static_cast<int>(children_.size()) - 1;
  }
  // Our own lock is released here: the child's lock comes first.
  if (auto* c = Supports<INodedInterface>(child)) {
    {
      TWriteLock guard(*c);
      if (c->GetParent().get() != Self()) c->SetParent(Self());
      Subscribe(c, true);
    }
    if (TeventerDescentEvent* added = ExistingEventer(true)) added->Notify(c, 1);
  }
  return index;
}

int TNodedInterface::RemoveChild(IInterface* child) {
  TRef<IInterface> keep;
  int index = -1;
  {
    TWriteLock guard(lock_);
    index = IndexIn(children_, child);
    if (index < 0) return -1;
    keep = children_[index];
    children_.erase(children_.begin() + index);
  }
  // Touch the child only after our lock is released: child before parent.
  if (auto* c = Supports<INodedInterface>(keep)) {
    if (TeventerDescentEvent* removed = ExistingEventer(false)) removed->Notify(c, 1);
    if (c->GetParent().get() == Self()) c->SetParent(nullptr);
    Subscribe(c, false);
  }
  return index;
}

void TNodedInterface::RemoveAllChildren() {
  for (const TRef<IInterface>& child : GetChildren()) RemoveChild(child.get());
}

int TNodedInterface::CountSupporting(TSupportsTest test, bool recursive) {
  int count = 0;
  for (const TRef<IInterface>& child : GetChildren()) {
    if (recursive)
      if (auto* c = Supports<INodedInterface>(child)) count += c->CountSupporting(test, true);
    if (test && test(child.get())) ++count;
  }
  return count;
}

bool TNodedInterface::FindByGUID(const std::string& guid, TRef<INodedInterface>& node) {
  node = nullptr;
  if (GetGUIDText() == guid) {
    node = this;
    return true;
  }
  for (const TRef<IInterface>& child : GetChildren())
    if (auto* c = Supports<INodedInterface>(child))
      if (c->FindByGUID(guid, node)) return true;
  return false;
}

bool TNodedInterface::FindByName(const std::string& name, TRef<INodedInterface>& node) {
  node = nullptr;
  if (GetName() == name) {
    node = this;
    return true;
  }
  for (const TRef<IInterface>& child : GetChildren())
    if (auto* c = Supports<INodedInterface>(child))
      if (c->FindByName(name, node)) return true;
  return false;
}

TeventerDescentEvent* TNodedInterface::GetDescendantAdded() {
  TWriteLock guard(lock_);
  if (!descendantAdded_) descendantAdded_ = std::make_unique<TeventerDescentEvent>();
  return descendantAdded_.get();
}

TeventerDescentEvent* TNodedInterface::GetDescendantRemoved() {
  TWriteLock guard(lock_);
  if (!descendantRemoved_) descendantRemoved_ = std::make_unique<TeventerDescentEvent>();
  return descendantRemoved_.get();
}

void TNodedInterface::ShutDown() {
  for (const TRef<IInterface>& child : GetChildren())
    if (auto* c = Supports<INodedInterface>(child)) c->ShutDown();
  RemoveAllChildren();
}

}  // namespace korvan
