#include "TComponent.h"

#include <algorithm>

namespace zemb {

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  // Last created goes first; each one removes itself from components_ as it goes.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    child->owner_ = nullptr;
    components_.pop_back();
    delete child;
  }
  if (owner_) {
    auto& siblings = owner_->components_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

}  // namespace zemb
