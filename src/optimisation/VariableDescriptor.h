#pragma once

#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/objects/VKObject.h"
#include "platform/Value.h"

namespace orb::optimisation {

/// One lens variable as the optimiser and the variables table see it: the lens key path,
/// the value when the variable appeared (nominal), the present value, the step scale, the
/// bounds and the enabled flag; the slider position and its excursion once the value has
/// moved. Every key is observable; `dictionary` is a snapshot for the interface.
///
/// Bounds: minimum < maximum allows the closed interval, minimum > maximum allows
/// everything outside the open gap between them, minimum = maximum blocks a run.
class VariableDescriptor : public foundation::VKObject {
 public:
  static std::shared_ptr<VariableDescriptor> create(const std::string& keyPath, double value);

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "VariableDescriptor"; }

  const std::string& keyPath() const { return m_keyPath; }
  void setKeyPath(const std::string& k) { setAndAnnounce("keyPath", m_keyPath, k); }
  double nominalValue() const { return m_nominalValue; }
  void setNominalValue(double v) { setAndAnnounce("nominalValue", m_nominalValue, v); }
  double value() const { return m_value; }
  void setValue(double v) { setAndAnnounce("value", m_value, v); }
  double scale() const { return m_scale; }
  void setScale(double v) { setAndAnnounce("scale", m_scale, v); }
  double minimum() const { return m_minimum; }
  void setMinimum(double v) { setAndAnnounce("minimum", m_minimum, v); }
  double maximum() const { return m_maximum; }
  void setMaximum(double v) { setAndAnnounce("maximum", m_maximum, v); }
  bool enabled() const { return m_enabled; }
  void setEnabled(bool on) { setAndAnnounce("enabled", m_enabled, on); }
  /// Nothing until the value first moves.
  std::optional<double> slider() const { return m_slider; }
  void setSlider(std::optional<double> v) { setAndAnnounce("slider", m_slider, v); }
  std::optional<double> delta() const { return m_delta; }
  void setDelta(std::optional<double> v) { setAndAnnounce("delta", m_delta, v); }

  /// The text after the key path's last ".".
  static std::string lastElementOfKeyPath(const std::string& keyPath);

  /// "keyPath", "nominalValue", "value", "scale", "minimum", "maximum", "enabled" (and
  /// "slider", "delta" once set).
  platform::Dictionary dictionary() const;
  /// The entry the scale memory keeps: "scale", "minimum", "maximum", "enabled".
  platform::Dictionary memoryEntry() const;
  /// Applies an entry of the scale memory (keys it lacks stay).
  void applyMemoryEntry(const platform::Dictionary& entry);
  /// A new descriptor with the same values.
  std::shared_ptr<VariableDescriptor> copy() const;

 private:
  std::string m_keyPath;
  double m_nominalValue = 0;
  double m_value = 0;
  double m_scale = 0.001;
  double m_minimum = -std::numeric_limits<double>::infinity();
  double m_maximum = std::numeric_limits<double>::infinity();
  bool m_enabled = true;
  std::optional<double> m_slider;
  std::optional<double> m_delta;
};

using VariableDescriptorPtr = std::shared_ptr<VariableDescriptor>;

/// The document's memory of each variable's scale, bounds and enabled flag by full key
/// path, archived with the document under "scaleMemory". The optimiser's worker records
/// into it while the main thread may read it (to save the document), so every access
/// takes its lock.
class ScaleMemory {
 public:
  ScaleMemory() = default;
  explicit ScaleMemory(platform::Dictionary entries) : m_entries(std::move(entries)) {}

  void record(const VariableDescriptor& descriptor);
  std::optional<platform::Dictionary> entryForKeyPath(const std::string& keyPath) const;
  platform::Dictionary dictionary() const;
  void setDictionary(platform::Dictionary entries);

 private:
  mutable std::mutex m_mutex;
  platform::Dictionary m_entries;
};

}  // namespace orb::optimisation
