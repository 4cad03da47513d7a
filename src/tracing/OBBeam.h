#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lens/LensBeam.h"
#include "tracing/Ray.h"

namespace orb::tracing {

/// A standard normal deviate from the shared Mersenne Twister (Marsaglia's polar method,
/// the second deviate of each pair kept for the thread's next call). Concurrent callers
/// get valid deviates, not a reproducible sequence.
double gaussianDeviate();

/// A Gaussian (laser-like) beam source held by a lens: a waist of radius w0 (1/e²
/// intensity radius) centred at a global position, a wavelength, a beam quality factor
/// M² and the index of the medium it starts in. Its random rays sample the beam's
/// position and angle distribution.
///
/// Keys (observable): "name", "indexOfRefraction", "positionX", "positionY", "positionZ",
/// "wavelengthInNanometers", "gaussianWaistRadius", "gaussianDistanceFromWaist",
/// "emSquared", the six "…IsVariable" flags, "description", "shortDescription",
/// "keyPathsForVariables", the summary key "beamGestalt", "color", "colorNumber". A nil
/// value for a scalar key leaves it unchanged.
class OBBeam : public lens::LensBeam {
 public:
  OBBeam();
  static std::shared_ptr<OBBeam> beam();
  /// The defaults: "noname", n 1, at the origin, 633 nm, w0 0.05, distance 0, M² 1, no
  /// variables, cyan.
  void setupDefaults();

  const std::string& name() const { return m_name; }
  void setName(const std::string& name);
  std::string shortDescription() const { return m_name; }
  double indexOfRefraction() const { return m_indexOfRefraction; }
  void setIndexOfRefraction(double n);
  double positionX() const { return m_positionX; }
  void setPositionX(double v);
  double positionY() const { return m_positionY; }
  void setPositionY(double v);
  double positionZ() const { return m_positionZ; }
  void setPositionZ(double v);
  double wavelengthInNanometers() const { return m_wavelengthInNanometers; }
  /// 0 stands for 633 nm.
  void setWavelengthInNanometers(double nm);
  double gaussianWaistRadius() const { return m_gaussianWaistRadius; }
  void setGaussianWaistRadius(double w0);
  double gaussianDistanceFromWaist() const { return m_gaussianDistanceFromWaist; }
  void setGaussianDistanceFromWaist(double d);
  double emSquared() const { return m_emSquared; }
  /// Stored as at least 1 (no beam is better than diffraction-limited).
  void setEmSquared(double m2);

  /// "Beam(x=%g,y=%g,z=%g,w0=%g)".
  std::string description() const override;

  static const std::vector<std::string>& possibleVariables();
  static const std::vector<std::string>& variabilityKeys();
  static const std::vector<std::string>& coderKeys();
  bool isVariable(const std::string& key) const;
  void setIsVariable(const std::string& key, bool variable);
  std::vector<std::string> keyPathsForVariables() const override;
  bool beamGestalt() const { return true; }

  /// σ of the ray angle, λM²/(2πw0) (λ in lens millimetres).
  double angularSpread() const;
  /// N rays (alive, carrying a wave at the beam's wavelength) sampling the beam, moved
  /// `gaussianDistanceFromWaist` along their directions. Raises "OBException" "beam
  /// divergence too large" when the angular spread exceeds half the index.
  std::vector<Ray> randomRaysWithCount(std::size_t count) const;

  std::shared_ptr<lens::LensBeam> copyBeam() const override { return copy(); }
  /// Every field, colour and colour number included.
  std::shared_ptr<OBBeam> copy() const;

  std::string className() const override { return "OBBeam"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();
  /// Keyed coders only ("OBBeam class requires NSKeyedArchiver"); every coder key as an
  /// object, missing keys leave the defaults.
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

 private:
  std::string m_name = "noname";
  double m_indexOfRefraction = 1.0;
  double m_positionX = 0, m_positionY = 0, m_positionZ = 0;
  double m_wavelengthInNanometers = 633;
  double m_gaussianWaistRadius = 0.05;
  double m_gaussianDistanceFromWaist = 0;
  double m_emSquared = 1.0;
  bool m_variable[6] = {false, false, false, false, false, false};
};

/// Registers the tracing layer's archive classes ("OBBeam") and emission types; called by
/// registerSystemGenerator, harmless to call again.
void registerTracingClasses();

}  // namespace orb::tracing
