#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Object.h"

namespace orb::lens {

class Parameter;

/// What a parameter needs of surfaces, implemented by Surface: the source of a pickup
/// answers its parameters by title and its short name, and the owning surface judges
/// whether a source may be picked up from (same lens, not further down).
class ParameterSurface {
 public:
  virtual ~ParameterSurface() = default;
  /// The parameter titled `title`, or null.
  virtual std::shared_ptr<Parameter> parameterForKey(std::string_view title) const = 0;
  /// The surface's short name in messages ("3 (stop) [Stop]").
  virtual std::string nickname() const = 0;
  /// True when `source` (an object, possibly not a surface) may not serve as this
  /// surface's pickup source; null is a valid source.
  virtual bool invalidSolveSurface(const std::shared_ptr<platform::Object>& source) const = 0;
};

/// One titled value of a surface type (a toric radius, an aspheric coefficient, a
/// decentre ...), fixed, variable for optimisation, or a pickup that copies the
/// parameter of the same title from another surface as value × scale + offset.
///
/// Keys (all observable): "title", "value", "solveType", "solveSurface", "solveScale",
/// "solveOffset", "solveDescriptor" (settable), read-only "solveIsNontrivial",
/// "solveDescription", "parameterDescription", "description", "solveDescriptors",
/// "solveKeys".
///
/// The source surface is not kept alive by the parameter: the lens owns its surfaces,
/// and a surface that picks up from itself would otherwise own itself. A source that has
/// gone reads as none.
class Parameter : public platform::Object {
 public:
  enum SolveType : int { kFixed = 0, kVariable = 1, kPickup = 2 };

  static std::shared_ptr<Parameter> parameter();
  static std::shared_ptr<Parameter> parameterWithTitle(std::string title, double value = 0);

  const std::string& title() const { return m_title; }
  void setTitle(std::string title);
  double value() const { return m_value; }
  void setValue(double value);
  int solveType() const { return m_solveType; }
  void setSolveType(int type);
  /// The pickup's source surface (a ParameterSurface in a lens), or null.
  std::shared_ptr<platform::Object> solveSurface() const { return m_solveSurface.lock(); }
  void setSolveSurface(const std::shared_ptr<platform::Object>& surface);
  double solveScale() const { return m_solveScale; }
  void setSolveScale(double scale);
  /// Added after scaling; other programs' lens files carry it.
  double solveOffset() const { return m_solveOffset; }
  void setSolveOffset(double offset);

  /// What a solve menu shows, index-aligned with solveKeys() (0, 1, 2).
  static const std::vector<std::string>& solveDescriptors();
  static const std::vector<int>& solveKeys();
  /// The descriptor of the current type ("" for an unknown type).
  std::string solveDescriptor() const;
  /// Sets the type whose descriptor this is (unknown texts change nothing), then touchSolve.
  void setSolveDescriptor(std::string descriptor);
  bool solveIsNontrivial() const { return m_solveType == kPickup; }
  /// For a pickup, asks the interface (when idle, once however often asked) for the
  /// source by posting "parameterSolveRequiresAttention" with this parameter as object.
  void touchSolve();
  /// "fixed", "variable", "pickup from surface %@ with scale %g[, offset %g]".
  std::string solveDescription() const;

  /// For a pickup whose source has a parameter of this title: value = source value ×
  /// scale + offset. Anything else leaves the value alone.
  void implementSolve();
  /// A parameter that is not a pickup drops its source; a pickup whose source `owner`
  /// judges invalid becomes fixed without source.
  void validateSolveForSurface(const ParameterSurface& owner);
  /// A pickup becomes fixed without source.
  void removeSolve();
  /// A variable becomes fixed.
  void removeVariable();
  /// {"oldSurface": s, "newSurface": t}: replaceSurface(s, t).
  void surfaceReplacement(const platform::Dictionary& replacement);
  /// The surface is leaving the lens: replaceSurface(surface, none).
  void detachSurface(const std::shared_ptr<platform::Object>& surface);
  /// Only when the source is `oldSurface`: the source becomes `newSurface`, and a pickup
  /// left without source becomes fixed (keeping its value).
  void replaceSurface(const std::shared_ptr<platform::Object>& oldSurface,
                      const std::shared_ptr<platform::Object>& newSurface);
  /// A pickup without source takes `surface`.
  void howAboutSolveSurface(const std::shared_ptr<platform::Object>& surface);

  /// value = −value, with 0 staying +0.
  void negate();
  /// value = value × factor, exactly +0 when either is 0.
  void scaleByFactor(double factor);

  /// The text shown for a title ("a12": "Aspheric coefficient of r^12"), or none.
  std::optional<std::string> parameterDescription() const;
  static const platform::Dictionary& parameterDescriptionDictionary();

  /// "{%@ = %g}" of title and value.
  std::string description() const override;
  /// Title, value, solve type, the same source surface, scale and offset.
  std::shared_ptr<Parameter> copy() const;

  std::string className() const override { return "Parameter"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 private:
  ParameterSurface* sourceSurface(std::shared_ptr<platform::Object>& keepAlive) const;

  std::string m_title;
  double m_value = 0;
  int m_solveType = kFixed;
  std::weak_ptr<platform::Object> m_solveSurface;
  double m_solveScale = 1;
  double m_solveOffset = 0;
};

}  // namespace orb::lens
