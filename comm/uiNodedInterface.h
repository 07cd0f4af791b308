#pragma once
// Tree nodes: their interfaces, the creation and descent notifications, and the node object itself.
#include <pugixml.hpp>

#include <string>
#include <vector>

#include "comm/uEventer.h"
#include "comm/uSynchronizer.h"
#include "comm/ui_MyInterfacedObject.h"
#include "platform/uGuid.h"

namespace korvan {

class INodedInterface;

// (node, depth): a node was added to or removed from the subtree, `depth`
// levels below the node whose eventer reports it.
class TeventerDescentEvent : public TEventer<void(INodedInterface* node, int depth)> {};

// (node): a node was created or is being destroyed.
class Teventer_NodedInterface : public TEventer<void(INodedInterface* node)> {};

// "Does this object offer interface X", for counting children by interface.
using TSupportsTest = bool (*)(IInterface* object);
template <class I>
bool SupportsTest(IInterface* object) {
  return dynamic_cast<I*>(object) != nullptr;
}

class INodedInterfaceCore : public virtual IInterface {
 public:
  virtual void Placeholder() = 0;
  virtual std::string GetName() = 0;
  virtual void SetName(const std::string& name) = 0;
  virtual TGUID GetGUID() = 0;
  virtual std::string GetGUIDText() = 0;
  virtual bool GetEnabled() = 0;
  virtual void SetEnabled(bool value) = 0;
  virtual void BeginWrite() = 0;
  virtual void EndWrite() = 0;
  virtual void BeginRead() = 0;
  virtual void EndRead() = 0;
  // Called by the eventers of children: report one level further up.
  virtual void DescentAddedRelay(INodedInterface* node, int depth) = 0;
  virtual void DescentRemovedRelay(INodedInterface* node, int depth) = 0;
};

class INodedInterface : public virtual INodedInterfaceCore {
 public:
  virtual void SetXMLNode(pugi::xml_node node) = 0;
  virtual void LoadFromXML(pugi::xml_node node, bool take, bool alwaysGUID) = 0;
  virtual void SaveToXML() = 0;
  virtual pugi::xml_node GetXMLNode() = 0;
  // LoadFromXML(node, take = true, alwaysGUID = false).
  virtual void LoadFromNode(pugi::xml_node node) = 0;
  virtual TRef<IInterface> GetParent() = 0;
  virtual void SetParent(IInterface* parent) = 0;
  virtual TRef<INodedInterface> GetParentNoded() = 0;
  virtual void SetOwner(IInterface* owner) = 0;
  virtual std::vector<TRef<IInterface>> GetChildren() = 0;
  virtual TRef<IInterface> GetChild(int index) = 0;
  virtual int ChildCount() = 0;
  // The child's index, or -1 when it was there already.
  virtual int AddChild(IInterface* child) = 0;
  // The child's former index, or -1 when it was not a child.
  virtual int RemoveChild(IInterface* child) = 0;
  virtual void RemoveAllChildren() = 0;
  virtual int CountSupporting(TSupportsTest test, bool recursive) = 0;
  // This node first, then its subtree depth first.
  virtual bool FindByGUID(const std::string& guid, TRef<INodedInterface>& node) = 0;
  virtual bool FindByName(const std::string& name, TRef<INodedInterface>& node) = 0;
  virtual int IndexOfChild(IInterface* child) = 0;
  virtual TeventerDescentEvent* GetDescendantAdded() = 0;
  virtual TeventerDescentEvent* GetDescendantRemoved() = 0;
  virtual void ShutDown() = 0;
};

// Node creation and destruction, process-wide.
Teventer_NodedInterface& NodeCreatedEventer();
Teventer_NodedInterface& NodeDestroyingEventer();

// A named, enabled, GUID-identified tree node. Parent and children hold each
// other by reference: whoever owns a tree breaks the cycles with ShutDown or
// SetParent(nullptr) before letting go. Lock order: a child before its parent.
class TNodedInterface : public TMyInterfacedObject, public virtual INodedInterface {
 public:
  TNodedInterface();
  // The parent is set once construction is complete (see Constructed).
  TNodedInterface(pugi::xml_node xmlNode, IInterface* parent);
  ~TNodedInterface() override;

  // INodedInterfaceCore
  void Placeholder() override {}
  std::string GetName() override;
  void SetName(const std::string& name) override;
  TGUID GetGUID() override;
  std::string GetGUIDText() override;
  bool GetEnabled() override;
  void SetEnabled(bool value) override;
  void BeginWrite() override;
  void EndWrite() override;
  void BeginRead() override;
  void EndRead() override;
  void DescentAddedRelay(INodedInterface* node, int depth) override;
  void DescentRemovedRelay(INodedInterface* node, int depth) override;

  // INodedInterface
  void SetXMLNode(pugi::xml_node node) override;
  void LoadFromXML(pugi::xml_node node, bool take, bool alwaysGUID) override;
  void SaveToXML() override;
  pugi::xml_node GetXMLNode() override;
  void LoadFromNode(pugi::xml_node node) override;
  TRef<IInterface> GetParent() override;
  void SetParent(IInterface* parent) override;
  TRef<INodedInterface> GetParentNoded() override;
  void SetOwner(IInterface* owner) override;
  std::vector<TRef<IInterface>> GetChildren() override;
  TRef<IInterface> GetChild(int index) override;
  int ChildCount() override;
  int AddChild(IInterface* child) override;
  int RemoveChild(IInterface* child) override;
  void RemoveAllChildren() override;
  int CountSupporting(TSupportsTest test, bool recursive) override;
  bool FindByGUID(const std::string& guid, TRef<INodedInterface>& node) override;
  bool FindByName(const std::string& name, TRef<INodedInterface>& node) override;
  int IndexOfChild(IInterface* child) override;
  TeventerDescentEvent* GetDescendantAdded() override;
  TeventerDescentEvent* GetDescendantRemoved() override;
  void ShutDown() override;

  // The node's synchronizer, for scoped brackets.
  TMultiReadExclusiveWriteSynchronizerExtended& Lock() { return lock_; }

 protected:
  void Constructed() override;
  void BeforeDestruction() override;
  void SetGUIDText(const std::string& guid);

 private:
  void Subscribe(INodedInterface* child, bool subscribe);
  TeventerDescentEvent* ExistingEventer(bool added);
  IInterface* Self() { return static_cast<INodedInterface*>(this); }

  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  bool enabled_ = true;
  pugi::xml_node xmlNode_;
  bool nameSet_ = false;  // until set, the name is the class name
  std::string name_;
  TRef<IInterface> parent_;
  TRef<IInterface> pendingParent_;  // the constructor's, set in Constructed
  std::vector<TRef<IInterface>> children_;
  std::unique_ptr<TeventerDescentEvent> descendantAdded_;
  std::unique_ptr<TeventerDescentEvent> descendantRemoved_;
  std::string guid_;
};

}  // namespace korvan
