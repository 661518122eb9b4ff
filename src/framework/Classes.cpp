#include "framework/Classes.h"

#include <algorithm>
#include <stdexcept>

#include "platform/TextCase.h"

namespace vader {

TComponent::TComponent(TComponent* owner) {
  if (!owner) return;
  loading_ = owner->Loading();  // created while the owner's description is being read
  owner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Owned components go last-first, each removing itself from the list as it goes.
  while (!components_.empty()) delete components_.back();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw std::out_of_range("List index out of bounds");
  return components_[static_cast<std::size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  const auto& list = owner_->components_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TComponent::EndLoading() {
  if (!loading_) return;
  loading_ = false;
  // Owned components finish first, so an owner's Loaded() sees them ready.
  for (TComponent* c : std::vector<TComponent*>(components_)) c->EndLoading();
  Loaded();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (platform::EqualsIgnoringAsciiCase(c->Name(), name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->owner_) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  NotifyOwnedComponents(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  components_.erase(it);
  component->owner_ = nullptr;
  NotifyOwnedComponents(component, TOperation::opRemove);
}

void TComponent::Notification(TComponent* /*component*/, TOperation /*operation*/) {}

void TComponent::NotifyOwnedComponents(TComponent* component, TOperation operation) {
  Notification(component, operation);
  for (TComponent* c : std::vector<TComponent*>(components_))
    if (c != component) c->Notification(component, operation);
}

}  // namespace vader
