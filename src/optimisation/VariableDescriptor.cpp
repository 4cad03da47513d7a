#include "optimisation/VariableDescriptor.h"

#include "platform/KeyTable.h"

namespace orb::optimisation {

using platform::Dictionary;
using platform::Value;

namespace {
Value optionalValue(const std::optional<double>& v) { return v ? Value(*v) : Value(); }
std::optional<double> optionalFrom(const Value& v) {
  if (v.isNil()) return std::nullopt;
  return v.asDouble();
}
}  // namespace

std::shared_ptr<VariableDescriptor> VariableDescriptor::create(const std::string& keyPath, double value) {
  auto d = platform::makeObject<VariableDescriptor>();
  d->m_keyPath = keyPath;
  d->m_nominalValue = value;
  d->m_value = value;
  return d;
}

const platform::KeyTable& VariableDescriptor::classKeys() {
  using K = platform::Keys<VariableDescriptor>;
  static const platform::KeyTable table(
      &foundation::VKObject::classKeys(),
      {
          K::property("keyPath", &VariableDescriptor::keyPath, &VariableDescriptor::setKeyPath),
          K::property("nominalValue", &VariableDescriptor::nominalValue, &VariableDescriptor::setNominalValue),
          K::property("value", &VariableDescriptor::value, &VariableDescriptor::setValue),
          K::property("scale", &VariableDescriptor::scale, &VariableDescriptor::setScale),
          K::property("minimum", &VariableDescriptor::minimum, &VariableDescriptor::setMinimum),
          K::property("maximum", &VariableDescriptor::maximum, &VariableDescriptor::setMaximum),
          K::property("enabled", &VariableDescriptor::enabled, &VariableDescriptor::setEnabled),
          platform::KeyEntry{"slider",
                             [](const platform::Object& o) {
                               return optionalValue(static_cast<const VariableDescriptor&>(o).slider());
                             },
                             [](platform::Object& o, const Value& v) {
                               static_cast<VariableDescriptor&>(o).setSlider(optionalFrom(v));
                             }},
          platform::KeyEntry{"delta",
                             [](const platform::Object& o) {
                               return optionalValue(static_cast<const VariableDescriptor&>(o).delta());
                             },
                             [](platform::Object& o, const Value& v) {
                               static_cast<VariableDescriptor&>(o).setDelta(optionalFrom(v));
                             }},
      });
  return table;
}

std::string VariableDescriptor::lastElementOfKeyPath(const std::string& keyPath) {
  const auto dot = keyPath.rfind('.');
  return dot == std::string::npos ? keyPath : keyPath.substr(dot + 1);
}

Dictionary VariableDescriptor::dictionary() const {
  Dictionary d{{"keyPath", m_keyPath}, {"nominalValue", m_nominalValue}, {"value", m_value}, {"scale", m_scale},
               {"minimum", m_minimum}, {"maximum", m_maximum},           {"enabled", m_enabled}};
  if (m_slider) d.set("slider", *m_slider);
  if (m_delta) d.set("delta", *m_delta);
  return d;
}

Dictionary VariableDescriptor::memoryEntry() const {
  return Dictionary{{"scale", m_scale}, {"minimum", m_minimum}, {"maximum", m_maximum}, {"enabled", m_enabled}};
}

void VariableDescriptor::applyMemoryEntry(const Dictionary& entry) {
  if (const Value* v = entry.find("scale"); v && v->isNumber() && v->asDouble() > 0) setScale(v->asDouble());
  if (const Value* v = entry.find("minimum"); v && v->isNumber()) setMinimum(v->asDouble());
  if (const Value* v = entry.find("maximum"); v && v->isNumber()) setMaximum(v->asDouble());
  if (const Value* v = entry.find("enabled"); v && v->isNumber()) setEnabled(v->asBool());
}

std::shared_ptr<VariableDescriptor> VariableDescriptor::copy() const {
  auto d = create(m_keyPath, m_value);
  d->m_nominalValue = m_nominalValue;
  d->m_scale = m_scale;
  d->m_minimum = m_minimum;
  d->m_maximum = m_maximum;
  d->m_enabled = m_enabled;
  d->m_slider = m_slider;
  d->m_delta = m_delta;
  return d;
}

void ScaleMemory::record(const VariableDescriptor& descriptor) {
  Dictionary entry = descriptor.memoryEntry();
  std::lock_guard lock(m_mutex);
  m_entries.set(descriptor.keyPath(), std::move(entry));
}

std::optional<Dictionary> ScaleMemory::entryForKeyPath(const std::string& keyPath) const {
  std::lock_guard lock(m_mutex);
  const Value* v = m_entries.find(keyPath);
  if (!v || !v->isDictionary()) return std::nullopt;
  return v->asDictionary();
}

Dictionary ScaleMemory::dictionary() const {
  std::lock_guard lock(m_mutex);
  return m_entries;
}

void ScaleMemory::setDictionary(Dictionary entries) {
  std::lock_guard lock(m_mutex);
  m_entries = std::move(entries);
}

}  // namespace orb::optimisation
