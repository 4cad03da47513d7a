#include "optimisation/VariablesController.h"

#include <algorithm>
#include <cmath>

#include "lens/Lens.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

namespace orb::optimisation {

using platform::Dictionary;
using platform::Value;

void runChangeCycle(analysis::Lens& lens) { lens.lensChanged(); }

std::shared_ptr<VariablesController> VariablesController::create(platform::UserDefaults& defaults) {
  return platform::makeObject<VariablesController>(defaults);
}

void VariablesController::setLens(LensPtr lens) {
  m_lensWatch.remove();
  m_lens = std::move(lens);
  if (!m_lens) return;
  m_lensWatch = m_lens->addObserver("keyPathsForVariables", [this](const platform::ObservedChange&) {
    if (m_rebuildPending.exchange(true)) return;
    platform::RunLoop::main().perform(reference(), [this] {
      m_rebuildPending = false;
      if (!m_rebuildSuspended) updateArrayOfVariableDescriptors();
    });
  });
  updateArrayOfVariableDescriptors();
}

void VariablesController::setIncludeFocus(bool on) {
  m_includeFocus = on;
  updateArrayOfVariableDescriptors();
}

void VariablesController::setRebuildSuspended(bool on) { m_rebuildSuspended = on; }

void VariablesController::updateArrayOfVariableDescriptors() {
  if (!m_lens) {
    setArrayOfVariableDescriptors({});
    return;
  }
  saveScaleMemory();
  std::vector<std::string> paths = m_lens->keyPathsForVariables();
  if (m_includeFocus)
    if (auto focus = m_lens->focusKeyPath(); focus && std::find(paths.begin(), paths.end(), *focus) == paths.end())
      paths.push_back(*focus);
  Descriptors next;
  for (const auto& path : paths) {
    Value v;
    try {
      v = m_lens->valueForKeyPath(path);
    } catch (const platform::Exception& e) {
      platform::log("variable %s: %s", path.c_str(), e.what());
    }
    const double value = v.isNumber() ? v.asDouble() : 0.0;
    auto existing = std::find_if(m_descriptors.begin(), m_descriptors.end(),
                                 [&](const VariableDescriptorPtr& d) { return d->keyPath() == path; });
    if (existing != m_descriptors.end()) {
      m_internalSetValue = true;
      (*existing)->setValue(value);
      m_internalSetValue = false;
      next.push_back(*existing);
      continue;
    }
    auto d = VariableDescriptor::create(path, value);
    if (auto entry = m_scaleMemory->entryForKeyPath(path))
      d->applyMemoryEntry(*entry);
    else
      d->setScale(scaleForLastElementOfKeyPath(path));
    next.push_back(std::move(d));
  }
  setArrayOfVariableDescriptors(std::move(next));
  saveScaleMemory();
}

void VariablesController::setArrayOfVariableDescriptors(Descriptors descriptors) {
  if (descriptors == m_descriptors) return;
  willChangeValueForKey("arrayOfVariableDescriptors");
  m_watches.clear();
  m_descriptors = std::move(descriptors);
  for (const auto& d : m_descriptors) watch(d);
  didChangeValueForKey("arrayOfVariableDescriptors");
}

void VariablesController::watch(const VariableDescriptorPtr& d) {
  std::vector<platform::Observation> watches;
  VariableDescriptor* raw = d.get();
  for (const char* key : {"value", "scale", "minimum", "maximum", "enabled"})
    watches.push_back(d->addObserver(key, [this, raw, k = std::string(key)](const platform::ObservedChange&) {
      descriptorChanged(*raw, k);
    }));
  m_watches[raw] = std::move(watches);
}

void VariablesController::descriptorChanged(VariableDescriptor& d, const std::string& key) {
  if (key == "value") {
    if (m_internalSetValue) return;
    const double delta = d.delta().value_or(0.0);
    const double offset = d.value() - d.nominalValue();
    const double r = offset / delta;
    m_internalSetValue = true;
    if (r > 1) {
      d.setSlider(1.0);
      d.setDelta(offset);
    } else if (r < -1) {
      d.setSlider(-1.0);
      d.setDelta(-offset);
    } else {
      d.setSlider(std::isnan(r) ? 0.0 : r);
      if (!d.delta()) d.setDelta(delta);
    }
    m_internalSetValue = false;
    m_lensNeedsUpdate = true;
  } else if (key == "scale") {
    saveScaleForLastElementOfKeyPath(d.scale(), d.keyPath());
  }
  if (m_realTimeUpdate && m_lensNeedsUpdate) updateLens();
  updateScaleMemoryForEntry(d);
}

VariablesController::Descriptors VariablesController::enabledVariables() const {
  Descriptors out;
  for (const auto& d : m_descriptors)
    if (d->enabled()) out.push_back(d);
  return out;
}

void VariablesController::enableAll() {
  for (const auto& d : m_descriptors) d->setEnabled(true);
}

void VariablesController::disableAll() {
  for (const auto& d : m_descriptors) d->setEnabled(false);
}

void VariablesController::removeConstraints() {
  for (const auto& d : m_descriptors) {
    d->setMinimum(-std::numeric_limits<double>::infinity());
    d->setMaximum(std::numeric_limits<double>::infinity());
  }
}

void VariablesController::resumeUpdate() {
  m_realTimeUpdate = true;
  updateLens();
}

void VariablesController::updateLens() {
  if (m_lensNeedsUpdate && m_lens) updateLens(m_lens);
}

void VariablesController::updateLens(const LensPtr& lens) {
  if (!lens || lens->isBusy()) return;
  for (const auto& d : m_descriptors) lens->setValueForKeyPath(d->keyPath(), d->value());
  runChangeCycle(*lens);
  m_lensNeedsUpdate = false;
}

void VariablesController::setLensKeyPathUpdateDictionary(const Dictionary& renames) {
  if (renames.empty()) return;
  Descriptors next;
  for (const auto& d : m_descriptors) {
    const std::string& path = d->keyPath();
    const auto dot = path.find('.');
    const std::string head = path.substr(0, dot);
    const Value* mapped = renames.find(head);
    if (!mapped || !mapped->isString()) {
      next.push_back(d);
      continue;
    }
    auto renamed = d->copy();
    renamed->setKeyPath(mapped->asString() + (dot == std::string::npos ? std::string() : path.substr(dot)));
    next.push_back(std::move(renamed));
  }
  setArrayOfVariableDescriptors(std::move(next));
  saveScaleMemory();
}

// --- memory ---------------------------------------------------------------------------------------

void VariablesController::saveScaleMemory() {
  for (const auto& d : m_descriptors) m_scaleMemory->record(*d);
}

void VariablesController::updateScaleMemoryForEntry(const VariableDescriptor& descriptor) {
  m_scaleMemory->record(descriptor);
}

void VariablesController::saveScaleForLastElementOfKeyPath(double scale, const std::string& keyPath) {
  if (!(scale > 0)) return;
  const std::string last = VariableDescriptor::lastElementOfKeyPath(keyPath);
  Dictionary scales = m_defaults->dictionaryForKey(kOptimizerScaleDictionaryKey);
  if (const Value* stored = scales.find(last); stored && stored->isNumber() && stored->asDouble() == scale) return;
  scales.set(last, scale);
  m_defaults->setObject(kOptimizerScaleDictionaryKey, scales);
}

double VariablesController::scaleForLastElementOfKeyPath(const std::string& keyPath) const {
  const Dictionary scales = m_defaults->dictionaryForKey(kOptimizerScaleDictionaryKey);
  const Value* stored = scales.find(VariableDescriptor::lastElementOfKeyPath(keyPath));
  if (stored && stored->isNumber() && stored->asDouble() > 0) return stored->asDouble();
  return 0.01;
}

void VariablesController::willDeallocate() {
  m_lensWatch.remove();
  m_watches.clear();
  VKObject::willDeallocate();
}

}  // namespace orb::optimisation
