#pragma once

#include <atomic>

#include "lens/Aperture.h"

namespace orb::lens {

/// Obscuring arms of equal width radiating from the decentre, evenly spaced in angle,
/// the first along local +x. An arm blocks the points within half its width of its
/// centre line on its own side of the centre.
class SpiderAperture : public Aperture {
 public:
  static std::shared_ptr<SpiderAperture> spiderWithNumberOfArms(int numberOfArms, double widthOfArms);

  int numberOfArms() const { return m_numberOfArms; }
  void setNumberOfArms(int n);
  double widthOfArms() const { return m_widthOfArms; }
  void setWidthOfArms(double width);

  bool shapePasses(double x, double y) const override;

  /// Debugging aid: log the outcome of every spider pass test (off by default; the
  /// tests run per ray, so the log grows fast).
  static void setLogsEachRay(bool logs) { s_logsEachRay.store(logs, std::memory_order_relaxed); }
  static bool logsEachRay() { return s_logsEachRay.load(std::memory_order_relaxed); }

  std::vector<std::string> informationImportKeys() const override { return {"isSoft", "decenterX", "decenterY"}; }
  std::shared_ptr<Aperture> makeEmpty() const override { return platform::makeObject<SpiderAperture>(); }
  /// "SPID %d %g" of the number and width of the arms.
  std::optional<std::string> zemaxCommandForApertureType() const override;
  std::optional<std::string> sheetNibName() const override { return "SVSpiderAperture"; }
  /// "Spider (obscuring arms)".
  std::string description() const override { return "Spider (obscuring arms)"; }

  std::string className() const override { return "SpiderAperture"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 protected:
  /// The arms are not among the information keys, but a copy keeps them.
  void copyUninformedStateFrom(const Aperture& other) override;

 private:
  void updateArmDirections();

  int m_numberOfArms = 0;
  double m_widthOfArms = 0;
  std::vector<foundation::XY> m_armDirections;  // unit vectors, made when the count changes
  static inline std::atomic<bool> s_logsEachRay{false};
};

}  // namespace orb::lens
