#include "materials/NonuniformMedium.h"

#include "platform/Coder.h"

namespace orb::materials {

using foundation::XYZ;
using foundation::XYZTensor;
using platform::Array;
using platform::Dictionary;
using platform::Keys;
using platform::Value;

double NonuniformMedium::indexOfRefractionAtWaveGlobalCoordinate(double lambda, const XYZ& globalPoint) const {
  const XYZ local = m_transform ? m_transform->transformFromGlobal(globalPoint) : XYZ{0, 0, 0};
  return indexOfRefractionAtWave(lambda, local);
}

XYZ NonuniformMedium::forceInGlobalFrameAtWave(double lambda, const XYZ& globalPoint) const {
  if (!m_transform) return XYZ{0, 0, 0};
  return m_transform->rotateToGlobal(forceAtWave(lambda, m_transform->transformFromGlobal(globalPoint)));
}

XYZTensor NonuniformMedium::forceGradientInGlobalFrameAtWave(double lambda, const XYZ& globalPoint) const {
  if (!m_transform) return foundation::tensorZero();
  return m_transform->tensorToGlobal(forceGradientAtWave(lambda, m_transform->transformFromGlobal(globalPoint)));
}

namespace {

Array matrixArray(const foundation::TransformationMatrix& m) {
  Array a;
  a.reserve(16);
  for (int i = 0; i < 16; ++i) a.emplace_back(m.data()[i]);
  return a;
}

std::optional<foundation::TransformationMatrix> matrixFrom(const Value* v) {
  if (!v || !v->isArray() || v->asArray().size() != 16) return std::nullopt;
  foundation::TransformationMatrix m = foundation::TransformationMatrix::identity();
  for (int i = 0; i < 16; ++i) m.m[i] = v->asArray()[i].asDouble();
  return m;
}

}  // namespace

void NonuniformMedium::encodeWithCoder(platform::Coder& coder) const {
  Medium::encodeWithCoder(coder);
  if (m_transform)
    coder.encodeObject("transform",
                       Dictionary{{"localToGlobal", matrixArray(m_transform->localToGlobalCoordinateTransformationMatrix())},
                                  {"globalToLocal", matrixArray(m_transform->globalToLocalCoordinateTransformationMatrix())}});
  coder.encodeDouble("integrationStep", m_integrationStep);
}

void NonuniformMedium::initWithCoder(const platform::Coder& coder) {
  Medium::initWithCoder(coder);
  m_transform.reset();
  const Value t = coder.decodeObject("transform");
  if (t.isDictionary()) {
    auto forward = matrixFrom(t.asDictionary().find("localToGlobal"));
    auto inverse = matrixFrom(t.asDictionary().find("globalToLocal"));
    if (forward && inverse) m_transform = foundation::OBTransform(*forward, *inverse);
  }
  m_integrationStep = coder.decodeDouble("integrationStep");
}

const platform::KeyTable& NonuniformMedium::classKeys() {
  using K = Keys<NonuniformMedium>;
  static const platform::KeyTable table(
      &Medium::classKeys(),
      {
          K::readOnlyField("integrationStep", &NonuniformMedium::m_integrationStep),
          K::property("bounceRadius", &NonuniformMedium::bounceRadius, &NonuniformMedium::setBounceRadius),
      });
  return table;
}

}  // namespace orb::materials
