// The ownership tree of named components: an owner destroys the components it owns, and
// a component destroyed first leaves its owner's list. The form value walk follows it.
#pragma once

#include <string>
#include <vector>

namespace zemb {

class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  TComponent* Owner() const { return owner_; }

  // Owned components in the order they were created.
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Component(int index) const { return components_.at(static_cast<size_t>(index)); }

 private:
  std::string name_;
  TComponent* owner_;
  std::vector<TComponent*> components_;
};

}  // namespace zemb
