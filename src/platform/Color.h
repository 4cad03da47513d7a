#pragma once

#include <memory>
#include <string>

#include "platform/Object.h"

namespace orb::platform {

/// An immutable RGBA colour, components in 0…1. Shared like any object: an object that
/// holds a colour can tell "the very colour I have" from an equal one.
class Color : public Object {
 public:
  Color() : Color(0, 0, 0, 1) {}
  Color(double red, double green, double blue, double alpha = 1.0)
      : m_red(red), m_green(green), m_blue(blue), m_alpha(alpha) {}
  static std::shared_ptr<Color> make(double red, double green, double blue, double alpha = 1.0) {
    return makeObject<Color>(red, green, blue, alpha);
  }

  double red() const { return m_red; }
  double green() const { return m_green; }
  double blue() const { return m_blue; }
  double alpha() const { return m_alpha; }

  std::string className() const override { return "Color"; }
  std::string description() const override;
  bool isEqualTo(const Object& other) const override;
  std::size_t hash() const override;
  void encodeWithCoder(Coder& coder) const override;
  void initWithCoder(const Coder& coder) override;

  /// A colour as bytes (a keyed archive), the form colours take in the user defaults.
  Data archivedData() const;
  /// The colour in `data`, or null when the data is not an archived colour.
  static std::shared_ptr<Color> fromArchivedData(const Data& data);

 private:
  double m_red, m_green, m_blue, m_alpha;
};

}  // namespace orb::platform
