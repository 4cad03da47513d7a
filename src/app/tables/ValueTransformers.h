#pragma once

#include <QVariant>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/Value.h"

namespace orb::app {

/// Converts a model value for display in a view and, where it allows, an edited
/// value back. Model side values are platform values; the view side is what Qt
/// widgets and item models take (QString, QColor, QImage, QUrl, numbers).
/// Stateless.
class ValueTransformer {
public:
  virtual ~ValueTransformer() = default;
  virtual std::string className() const = 0;
  /// Model value to view value; an invalid QVariant stands for "nothing".
  virtual QVariant transformedValue(const platform::Value &value) const = 0;
  virtual bool allowsReverseTransformation() const { return false; }
  /// View value back to a model value; raises
  /// "NSInternalInconsistencyException" on transformers that are one-way.
  virtual platform::Value reverseTransformedValue(const QVariant &value) const;

  /// The registry of named transformers that interface code looks up by name.
  static void
  setValueTransformer(std::shared_ptr<const ValueTransformer> transformer,
                      const std::string &name);
  /// The transformer registered under `name`, or null.
  static std::shared_ptr<const ValueTransformer>
  valueTransformerForName(const std::string &name);
  /// Registered names, in registration order.
  static std::vector<std::string> valueTransformerNames();
  /// A transformer of the named class, registered or not (interface code names
  /// the unregistered ones by class): the registered instance when there is
  /// one, else a new one; null for an unknown class.
  static std::shared_ptr<const ValueTransformer>
  valueTransformerWithClassName(const std::string &className);
  /// Every transformer class this application knows.
  static std::vector<std::string> transformerClassNames();
};

/// Double to "%g" text; text back to the number it starts with (0 when none).
class GenericDoubleToStringTransformer : public ValueTransformer {
public:
  std::string className() const override {
    return "GenericDoubleToStringTransformer";
  }
  QVariant transformedValue(const platform::Value &value) const override;
  bool allowsReverseTransformation() const override { return true; }
  platform::Value reverseTransformedValue(const QVariant &value) const override;
};

/// False gives red (a warning tint); true gives nothing.
class BooleanNoIsRedTransformer : public ValueTransformer {
public:
  std::string className() const override { return "BooleanNoIsRedTransformer"; }
  QVariant transformedValue(const platform::Value &value) const override;
};

/// A colour swatch of 16 × 16 pixels over a black triangle, so translucency
/// shows.
class ColorToImageTransformer : public ValueTransformer {
public:
  std::string className() const override { return "ColorToImageTransformer"; }
  QVariant transformedValue(const platform::Value &value) const override;
};

/// An operand's importance (0 to 1) as a 128 × 16 bar.
class ImportanceToImageTransformer : public ValueTransformer {
public:
  std::string className() const override {
    return "ImportanceToImageTransformer";
  }
  QVariant transformedValue(const platform::Value &value) const override;
};

/// log2 of a double; back: 2 to the power.
class LogBaseTwoTransformer : public ValueTransformer {
public:
  std::string className() const override { return "LogBaseTwoTransformer"; }
  QVariant transformedValue(const platform::Value &value) const override;
  bool allowsReverseTransformation() const override { return true; }
  platform::Value reverseTransformedValue(const QVariant &value) const override;
};

/// For sliders and steppers that step in powers of two: forward log2 of the value (0
/// gives -infinity, a negative value NaN); back 2^x rounded to the nearest integer,
/// halves away from zero (-1 gives 1, -2 gives 0, 1.5 gives 3). Past the 64-bit
/// integers the power stays a double.
class LogBaseTwoIntTransformer : public LogBaseTwoTransformer {
public:
  std::string className() const override { return "LogBaseTwoIntTransformer"; }
  platform::Value reverseTransformedValue(const QVariant &value) const override;
};

/// An integer n to the smallest k with 2^k ≥ n (0 below 2); back: 2^k for k ≥
/// 1, else 1. Powers past 2^62 saturate there.
class IntLogBaseTwoTransformer : public ValueTransformer {
public:
  std::string className() const override { return "IntLogBaseTwoTransformer"; }
  QVariant transformedValue(const platform::Value &value) const override;
  bool allowsReverseTransformation() const override { return true; }
  platform::Value reverseTransformedValue(const QVariant &value) const override;
};

/// True unless the value's integer part is 1.
class VKIsNotUnity : public ValueTransformer {
public:
  std::string className() const override { return "VKIsNotUnity"; }
  QVariant transformedValue(const platform::Value &value) const override;
};

/// A dispersion-formula name to the file URL of its picture, resource
/// "dispersion-<name in lower case>" of type "tiff", or nothing when there is
/// none.
class FormulaNameToImageURLTransformer : public ValueTransformer {
public:
  std::string className() const override {
    return "FormulaNameToImageURLTransformer";
  }
  QVariant transformedValue(const platform::Value &value) const override;
};

/// Numerical aperture to full cone angle in degrees; back from degrees.
class DegreesTransformer : public ValueTransformer {
public:
  std::string className() const override { return "DegreesTransformer"; }
  QVariant transformedValue(const platform::Value &value) const override;
  bool allowsReverseTransformation() const override { return true; }
  platform::Value reverseTransformedValue(const QVariant &value) const override;
};

/// Curvature to radius (flat: +infinity); back, a flat radius (0 or infinite)
/// gives 0.
class OBCurvatureToRadiusTransformer : public ValueTransformer {
public:
  std::string className() const override {
    return "OBCurvatureToRadiusTransformer";
  }
  QVariant transformedValue(const platform::Value &value) const override;
  bool allowsReverseTransformation() const override { return true; }
  platform::Value reverseTransformedValue(const QVariant &value) const override;
};

/// An index of "not found" gives nothing; any other value passes unchanged.
class VKFoundIndex : public ValueTransformer {
public:
  std::string className() const override { return "VKFoundIndex"; }
  QVariant transformedValue(const platform::Value &value) const override;
};

/// The "not found" index as the model keeps it in a value.
inline constexpr std::int64_t kNotFoundIndex =
    std::numeric_limits<std::int64_t>::max();

/// A platform value as the QVariant a view shows when no transformer is named
/// (numbers, text, colours; anything else by its description).
QVariant variantFromValue(const platform::Value &value);

} // namespace orb::app
