#pragma once

#include <string>
#include <vector>

#include "optimisation/Meritoid.h"

namespace orb::optimisation {

/// "Ray Trace Result": traces one test ray (a field point and a pupil point, each in one
/// of several conventions) at one wavelength and reads one coordinate of the ray where it
/// ends on the image surface, globally or in the image surface's frame, or one element of
/// its transfer matrix ("M.xx" = ∂qx/∂qx₀, "M.xy" = ∂qx/∂qy₀), traced framed. A ray that
/// cannot be made, is lost on the way or has no such key is NaN with a message.
class MeritoidTrace : public Meritoid {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "MeritoidTrace"; }

  static const std::vector<std::string>& fieldSpecifiers();
  static const std::vector<std::string>& pupilSpecifiers();
  static const std::vector<std::string>& possibleValueKeys();
  static const std::vector<std::string>& valueKeysForPosition();

  void nontrivialize() override;
  std::vector<std::string> coderKeys() const override;
  bool isDimensionless() const override;
  void evaluation() override;
  std::shared_ptr<Meritoid> makeEmpty() const override { return make<MeritoidTrace>(); }

  double fieldX() const { return m_fieldX; }
  void setFieldX(double v) { mark("fieldX", m_fieldX, v); }
  double fieldY() const { return m_fieldY; }
  void setFieldY(double v) { mark("fieldY", m_fieldY, v); }
  double pupilX() const { return m_pupilX; }
  void setPupilX(double v) { mark("pupilX", m_pupilX, v); }
  double pupilY() const { return m_pupilY; }
  void setPupilY(double v) { mark("pupilY", m_pupilY, v); }
  const std::string& fieldSpecifier() const { return m_fieldSpecifier; }
  void setFieldSpecifier(const std::string& s) { mark("fieldSpecifier", m_fieldSpecifier, s); }
  const std::string& pupilSpecifier() const { return m_pupilSpecifier; }
  void setPupilSpecifier(const std::string& s) { mark("pupilSpecifier", m_pupilSpecifier, s); }
  double wavelengthInNanometers() const { return m_wavelengthInNanometers; }
  void setWavelengthInNanometers(double v) { mark("wavelengthInNanometers", m_wavelengthInNanometers, v); }
  bool useLocalCoordinates() const { return m_useLocalCoordinates; }
  void setUseLocalCoordinates(bool on) { mark("useLocalCoordinates", m_useLocalCoordinates, on); }
  const std::string& valueKey() const { return m_valueKey; }
  void setValueKey(const std::string& k);

  /// The specifier's position in its list; −1 for any other text. Setting a tag outside
  /// the list clears the specifier.
  int fieldSpecificationTag() const;
  void setFieldSpecificationTag(int tag);
  int pupilSpecificationTag() const;
  void setPupilSpecificationTag(int tag);
  std::string fieldLabelX() const;
  std::string fieldLabelY() const;
  std::string pupilLabelX() const;
  std::string pupilLabelY() const;
  bool fieldIsMomentum() const;
  bool pupilIsMomentum() const;

 private:
  template <class M, class V>
  void mark(std::string_view key, M& member, V&& v) {
    setAndAnnounce(key, member, std::forward<V>(v));
    setNeedsEvaluation(true);
  }
  double m_fieldX = 0, m_fieldY = 0, m_pupilX = 0, m_pupilY = 0;
  std::string m_fieldSpecifier = "reduced";
  std::string m_pupilSpecifier = "reduced";
  double m_wavelengthInNanometers = 633;
  bool m_useLocalCoordinates = false;
  std::string m_valueKey = "x";
};

}  // namespace orb::optimisation
