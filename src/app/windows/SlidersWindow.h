#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/LensRoles.h"
#include "app/windows/WindowControllerWithDocumentController.h"
#include "platform/Observation.h"

class QObject;
class QSlider;
class QWidget;

namespace orb::platform {
class UserDefaults;
}
namespace orb::analysis {
class LensBuffer;
}

namespace orb::app {

/// User default: the slider half-range remembered by the last key-path component.
inline constexpr const char* kSlidersDeltaDictionaryKey = "SlidersDeltaDictionary";

/// One slider on a lens value: value = nominalValue + delta × slider, slider in [−1, 1],
/// delta > 0.
struct SliderDescriptor {
  std::string keyPath;
  double nominalValue = 0;
  double value = 0;
  double delta = 0.1;
  double slider = 0;
};

/// Keeps one slider descriptor per lens variable (and optionally the focus) and writes
/// the values into the lens. A key path that leaves the variable list and comes back gets
/// its nominal value and delta back. While the immediate-update flag is raised (a slider
/// is being dragged) new lenses and changes of the variable list are ignored so the drag
/// is not pulled from under the hand. Main thread only.
class SlidersController : public analysis::LensUser {
 public:
  /// `defaults` holds "SlidersDeltaDictionary"; it must outlive the controller.
  explicit SlidersController(platform::UserDefaults& defaults);
  ~SlidersController() override;

  analysis::LensPtr lens() const override { return m_lens; }
  void setLens(analysis::LensPtr lens) override;
  void firstTimeWithLens(const analysis::LensPtr&) override {}
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;

  bool includeFocus() const { return m_includeFocus; }
  void setIncludeFocus(bool on);

  const std::vector<SliderDescriptor>& sliderDescriptors() const { return m_descriptors; }
  void updateSliderDescriptors();

  // Edits by the user; each one writes the lens (unless it is busy, when it stays pending).
  void setSlider(std::size_t index, double slider);
  /// A value outside the range widens the delta so the value lies on the slider.
  void setValue(std::size_t index, double value);
  /// Only a finite delta > 0 is taken; it is remembered by the key path's last component.
  void setDelta(std::size_t index, double delta);
  void setNominalValue(std::size_t index, double nominal);
  /// Every value back to its nominal, slider 0, written to the lens.
  void restoreToNominal();
  /// Every present value becomes its nominal, slider 0; the lens is not written.
  void setAsNominal();

  bool lensNeedsUpdate() const { return m_lensNeedsUpdate; }
  void updateLens();

  void saveDeltaForLastElementOfKeyPath(double delta, const std::string& keyPath);
  /// The remembered delta, else 0.1.
  double deltaForLastElementOfKeyPath(const std::string& keyPath) const;

  /// Called after the list of descriptors was replaced.
  std::function<void()> onDescriptorsReplaced;
  /// Called after one descriptor's numbers changed.
  std::function<void(std::size_t)> onDescriptorChanged;

 private:
  static void updateSliderFromValue(SliderDescriptor& d);
  void setDescriptors(std::vector<SliderDescriptor> descriptors);
  void descriptorEdited(std::size_t index);

  platform::UserDefaults* m_defaults;
  analysis::LensPtr m_lens;
  bool m_includeFocus = false;
  std::vector<SliderDescriptor> m_descriptors;
  std::unordered_map<std::string, SliderDescriptor> m_memory;
  bool m_lensNeedsUpdate = false;
  platform::Observation m_lensWatch;
  std::unique_ptr<QObject> m_context;  // guards deferred rebuilds
  bool m_rebuildPending = false;
};

/// The "Sliders" window: a slider, a value field and a delta field per lens variable, so
/// the user can sweep each value around its nominal and watch the open analyses follow.
/// A drag raises the immediate-update flag; its release closes the drag as one undo step
/// of the document.
class SlidersWindowController : public WindowControllerWithDocumentController {
  Q_OBJECT
 public:
  explicit SlidersWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~SlidersWindowController() override;

  const std::shared_ptr<SlidersController>& slidersController() const { return m_controller; }
  /// The slider of the descriptor at `index`, or null.
  QSlider* sliderAt(std::size_t index) const;

  void makeSliderFriendly();
  void makeSliderUnfriendly();

  /// Slider positions are integers: ±kSliderSteps is ±1.
  static constexpr int kSliderSteps = 1000;

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  /// The lens buffer hands the sliders the document's lens at its next readiness.
  void documentLensWasReplaced() override {}

 private:
  void rebuildRows();
  void refreshRow(std::size_t index);
  void dragEnded();

  std::shared_ptr<SlidersController> m_controller;
  std::unique_ptr<analysis::LensBuffer> m_lensBuffer;
  QWidget* m_rows = nullptr;
  std::vector<std::string> m_rowKeyPaths;
  bool m_refreshing = false;
};

/// Registers the interface file "Sliders".
void registerSlidersWindow();
SmartWindowController* makeSlidersWindowController(const std::string& nibName,
                                                   const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
