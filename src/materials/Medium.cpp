#include "materials/Medium.h"

#include "platform/Coder.h"
#include "platform/Exception.h"

namespace orb::materials {

using foundation::XYZ;
using foundation::XYZTensor;

double Medium::indexOfRefractionAtWavelengthInMicrons(double) const { return 1.0; }

double Medium::indexOfRefractionAtWave(double lambda, const XYZ&) const {
  return indexOfRefractionAtWavelengthInMicrons(lambda);
}

XYZ Medium::forceAtWave(double, const XYZ&) const { return XYZ{0, 0, 0}; }

XYZTensor Medium::forceGradientAtWave(double, const XYZ&) const { return foundation::tensorZero(); }

double Medium::indexOfRefractionAtWaveGlobalCoordinate(double lambda, const XYZ&) const {
  return indexOfRefractionAtWavelengthInMicrons(lambda);
}

XYZ Medium::forceInGlobalFrameAtWave(double lambda, const XYZ& globalPoint) const {
  return forceAtWave(lambda, globalPoint);
}

XYZTensor Medium::forceGradientInGlobalFrameAtWave(double lambda, const XYZ& globalPoint) const {
  return forceGradientAtWave(lambda, globalPoint);
}

void Medium::getAlphaCoefficients(double& alpha0, double& alpha1, double& alpha2, double) const {
  alpha0 = 1, alpha1 = 0, alpha2 = 0;
}

void Medium::requireKeyedCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Require NSKeyedArchiver");
}

void Medium::encodeWithCoder(platform::Coder& coder) const { requireKeyedCoder(coder); }

void Medium::initWithCoder(const platform::Coder& coder) { requireKeyedCoder(coder); }

double relativeDispersion(const Medium* medium, double lambdaMin, double lambdaMax, double lambdaPrimary) {
  if (!medium) return 0;
  const double np = medium->indexOfRefractionAtWavelengthInMicrons(lambdaPrimary);
  if (np == 0) return 0;
  return (medium->indexOfRefractionAtWavelengthInMicrons(lambdaMin) -
          medium->indexOfRefractionAtWavelengthInMicrons(lambdaMax)) /
         np;
}

}  // namespace orb::materials
