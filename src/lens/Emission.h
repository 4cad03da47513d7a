#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "foundation/objects/VKObject.h"

namespace orb::lens {

class Wave;

/// What makes a surface a light source for illumination analyses: light of one
/// wavelength leaving the surface within a numerical aperture. This class holds the
/// settings and the registry of emission types by display name; the ray-generating
/// types ("Lambertian emission", "Diode bar emission") derive from it in the tracing
/// layer, which registers them.
///
/// Keys (all observable): "wavelengthInNanometers", "numericalAperture", read-only
/// "wave", "emissionDescription", "emissionGestalt" (summary key: changes with every
/// model key), "emissionType", "keyPathsForVariables", "description".
class Emission : public foundation::VKObject {
 public:
  using Factory = std::function<std::shared_ptr<Emission>()>;

  /// Adds `name` → class T to the registry (after the names already there). A layer
  /// registers its emission types once, from its start-up registration function.
  template <class T>
  static void registerEmissionType(const std::string& name) {
    registerEmissionType(name, typeid(T), [] { return std::static_pointer_cast<Emission>(platform::makeObject<T>()); });
  }
  static void registerEmissionType(const std::string& name, const std::type_info& type, Factory factory);
  /// The registered names in registration order.
  static std::vector<std::string> emissionTypes();
  /// A new emission of the class registered under `name`, given `information`; null for
  /// an unregistered name.
  static std::shared_ptr<Emission> emissionOfType(const std::string& name,
                                                  const platform::Dictionary& information = {});
  /// A new emission of this base class.
  static std::shared_ptr<Emission> emission();

  /// The registry name of this object's class (the last, should a class stand under
  /// several); none for an unregistered class.
  std::optional<std::string> emissionType() const;

  double wavelengthInNanometers() const { return m_wavelengthInNanometers; }
  void setWavelengthInNanometers(double nm);
  double numericalAperture() const { return m_numericalAperture; }
  void setNumericalAperture(double na);
  /// The emitting surface (not owned), or null.
  std::shared_ptr<platform::Object> surface() const { return m_surface.lock(); }
  void setSurface(const std::shared_ptr<platform::Object>& surface) { m_surface = surface; }

  /// Keys written by `information` and read by `setInformation`; subclasses add theirs.
  virtual std::vector<std::string> informationExportKeys() const;
  virtual std::vector<std::string> informationImportKeys() const { return informationExportKeys(); }
  /// This emission's values under the export keys.
  platform::Dictionary information() const;
  /// Sets the import keys that `information` holds (others are left as they are); an
  /// empty dictionary changes nothing.
  void setInformation(const platform::Dictionary& information);

  /// A new wave at the emission's wavelength.
  std::shared_ptr<Wave> wave() const;
  /// Keys that may become optimisation variables; none here.
  virtual std::vector<std::string> possibleVariables() const { return {}; }
  /// Each possible variable k whose flag key "kIsVariable" is set.
  std::vector<std::string> keyPathsForVariables() const;
  /// The editor sheet's interface file; none here.
  virtual std::optional<std::string> sheetNibName() const { return std::nullopt; }

  /// "%@(%gnm,%g)": class, wavelength, numerical aperture.
  std::string description() const override;
  /// "wavelength %gnm\ncutoff N.A. %g".
  virtual std::string emissionDescription() const;

  /// A new emission of this object's class with this one's information, no surface.
  std::shared_ptr<Emission> copy() const;
  /// A fresh object of this object's own class; every subclass overrides it.
  virtual std::shared_ptr<Emission> makeEmpty() const { return emission(); }

  std::string className() const override { return "Emission"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 private:
  double m_wavelengthInNanometers = 532.0;
  double m_numericalAperture = 1.0;
  std::weak_ptr<platform::Object> m_surface;
};

}  // namespace orb::lens
