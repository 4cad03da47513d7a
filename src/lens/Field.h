#pragma once

#include <memory>
#include <string>

#include "foundation/objects/VKColoredObject.h"

namespace orb::lens {

/// One field point of a prescription: where the light comes from, in the unit of the
/// lens's field type ("Angle": degrees; "Object height", "Image height": lens units),
/// with a weight and four pupil factors that describe vignetting.
///
/// Keys (all observable): "x", "y", "weight", "PXA", "PXB", "PYA", "PYB", "color",
/// "colorNumber"; read-only "r", "vignetted", "description", "shortDescription",
/// "descriptionX", "descriptionY". The lens watches "descriptionY", which changes with
/// every model key.
class Field : public foundation::VKColoredObject {
 public:
  static constexpr double kDefaultPXA = -1;
  static constexpr double kDefaultPXB = 1;
  static constexpr double kDefaultPYA = -1;
  static constexpr double kDefaultPYB = 1;

  /// A new default field: on axis, weight 1, no vignetting.
  static std::shared_ptr<Field> field();

  double x() const { return m_x; }
  double y() const { return m_y; }
  double weight() const { return m_weight; }
  void setX(double x);
  void setY(double y);
  void setWeight(double weight);

  /// Pupil limits: lower and upper in x (PXA, PXB) and y (PYA, PYB), in pupil coordinates.
  double PXA() const { return m_PXA; }
  double PXB() const { return m_PXB; }
  double PYA() const { return m_PYA; }
  double PYB() const { return m_PYB; }
  void setPXA(double v);
  void setPXB(double v);
  void setPYA(double v);
  void setPYB(double v);

  /// √(x² + y²).
  double r() const;
  /// Any pupil factor differs from its default (a NaN factor counts as different).
  bool vignetted() const;

  /// "Field(x=%g,y=%g,w=%g)".
  std::string description() const override;
  /// "%g,%g" of x and y.
  std::string shortDescription() const;
  /// "x=%g y=%g".
  std::string descriptionX() const;
  /// Every model value: "x=%g y=%g w = %g PXA = %g PXB = %g PYA = %g PYB = %g".
  std::string descriptionY() const;

  /// An independent field with the same values, colour and colour number.
  std::shared_ptr<Field> copy() const;

  std::string className() const override { return "Field"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

  /// Keyed coders only ("Field only supports NSKeyedArchiver coders"); pupil factors are
  /// written only when they differ from their defaults.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 private:
  double m_x = 0;
  double m_y = 0;
  double m_weight = 1;
  double m_PXA = kDefaultPXA;
  double m_PXB = kDefaultPXB;
  double m_PYA = kDefaultPYA;
  double m_PYB = kDefaultPYB;
};

}  // namespace orb::lens
