#pragma once
// The component tree: every component has an owner and an ordered list of the components
// it owns. An owner destroys what it owns; a component leaves its owner's list when it is
// destroyed, and the owner's other components are told, so none keeps a dangling reference.

#include <cstddef>
#include <string>
#include <vector>

namespace vader {

enum class TOperation { opInsert, opRemove };

class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  int ComponentIndex() const;

  const std::string& Name() const { return name_; }
  // Virtual: a component may build other names from its own.
  virtual void SetName(const std::string& name) { name_ = name; }

  // True while the component's stored description is being read; components created
  // meanwhile with this one as owner are loading too. EndLoading() ends the phase for the
  // owned components, then runs Loaded() of this one.
  bool Loading() const { return loading_; }
  void BeginLoading() { loading_ = true; }
  void EndLoading();

  // Finds an owned component by name (case-insensitive), or nullptr.
  TComponent* FindComponent(const std::string& name) const;

  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

 protected:
  // Told about components entering and leaving this component's owner.
  virtual void Notification(TComponent* component, TOperation operation);
  // Runs once loading has finished (a stored Active dataset opens here).
  virtual void Loaded() {}

 private:
  void NotifyOwnedComponents(TComponent* component, TOperation operation);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::string name_;
  bool loading_ = false;
};

}  // namespace vader
