#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/Object.h"
#include "rendering/DragoutImageView.h"

namespace orb::rendering {

/// A drag-out view that redisplays whenever a value it is bound to changes. Each binding
/// name observes one key path of one object; the observations end with the view.
class BindingView : public DragoutImageView {
 public:
  explicit BindingView(QWidget* parent = nullptr) : DragoutImageView(parent) {}
  ~BindingView() override { clearBindings(); }

  /// Observes `keyPath` of `object` under `name`, replacing an earlier binding of that name.
  void bind(const std::string& name, const std::shared_ptr<platform::Object>& object, const std::string& keyPath);
  void unbind(const std::string& name);
  void clearBindings() { m_bindings.clear(); }
  bool isBound(const std::string& name) const { return m_bindings.count(name) != 0; }
  /// The bound object (null when unbound or gone) and key path of a binding.
  std::shared_ptr<platform::Object> boundObject(const std::string& name) const;
  std::string boundKeyPath(const std::string& name) const;

 protected:
  /// A bound value changed; redisplays.
  virtual void boundValueChanged(const std::string& name);

 private:
  struct Binding {
    std::weak_ptr<platform::Object> object;
    std::string keyPath;
    platform::Observation observation;
  };
  std::map<std::string, Binding> m_bindings;
};

}  // namespace orb::rendering
