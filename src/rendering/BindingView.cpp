#include "rendering/BindingView.h"

namespace orb::rendering {

void BindingView::bind(const std::string& name, const std::shared_ptr<platform::Object>& object,
                       const std::string& keyPath) {
  unbind(name);
  if (!object) return;
  Binding& b = m_bindings[name];
  b.object = object;
  b.keyPath = keyPath;
  b.observation =
      object->addObserver(keyPath, [this, name](const platform::ObservedChange&) { boundValueChanged(name); });
}

void BindingView::unbind(const std::string& name) { m_bindings.erase(name); }

std::shared_ptr<platform::Object> BindingView::boundObject(const std::string& name) const {
  auto it = m_bindings.find(name);
  return it == m_bindings.end() ? nullptr : it->second.object.lock();
}

std::string BindingView::boundKeyPath(const std::string& name) const {
  auto it = m_bindings.find(name);
  return it == m_bindings.end() ? std::string() : it->second.keyPath;
}

void BindingView::boundValueChanged(const std::string&) { update(); }

}  // namespace orb::rendering
