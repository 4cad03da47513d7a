#include "materials/Medium.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "materials/ArchiveClasses.h"
#include "materials/Medium2.h"
#include "materials/Medium5.h"
#include "materials/UniformMedium.h"
#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb::materials;
using orb::foundation::OBTransform;
using orb::foundation::TransformationMatrix;
using orb::foundation::XYZ;
using orb::foundation::XYZTensor;
using orb::platform::Value;

namespace {

// Fourth-order central difference: truncation ~h⁴, so the reference does not lean on
// the analytic formulas under test.
double derivative(const std::function<double(double)>& f, double x, double h = 1e-3) {
  return (-f(x + 2 * h) + 8 * f(x + h) - 8 * f(x - h) + f(x - 2 * h)) / (12 * h);
}

XYZ shifted(XYZ p, int axis, double d) {
  (axis == 0 ? p.x : axis == 1 ? p.y : p.z) += d;
  return p;
}

double component(const XYZ& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

/// Force and gradient of a medium against numeric derivatives of its own index.
void expectConsistentDerivatives(const Medium& m, double lambda, const XYZ& p, double tolerance) {
  const XYZ f = m.forceAtWave(lambda, p);
  const XYZTensor g = m.forceGradientAtWave(lambda, p);
  const double* gij = &g.xx;
  for (int i = 0; i < 3; ++i) {
    const double numericForce = derivative(
        [&](double d) {
          const double n = m.indexOfRefractionAtWave(lambda, shifted(p, i, d));
          return 0.5 * n * n;
        },
        0);
    EXPECT_NEAR(component(f, i), numericForce, tolerance) << "F" << i;
    for (int j = 0; j < 3; ++j) {
      const double numericGradient =
          derivative([&](double d) { return component(m.forceAtWave(lambda, shifted(p, j, d)), i); }, 0);
      EXPECT_NEAR(gij[3 * i + j], numericGradient, tolerance) << "dF" << i << "/dx" << j;
    }
  }
}

void expectTensorNear(const XYZTensor& a, const XYZTensor& b, double tolerance) {
  const double* x = &a.xx;
  const double* y = &b.xx;
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(x[i], y[i], tolerance) << "entry " << i;
}

const XYZTensor kZero = orb::foundation::tensorZero();

}  // namespace

TEST(Medium, VacuumBaseAndAmbientMedium) {
  auto base = orb::platform::makeObject<Medium>();
  EXPECT_EQ(base->indexOfRefractionAtWave(0.5, {1, 2, 3}), 1.0);
  EXPECT_EQ(base->forceAtWave(0.5, {1, 2, 3}), (XYZ{0, 0, 0}));
  EXPECT_EQ(base->forceGradientAtWave(0.5, {1, 2, 3}), kZero);

  auto ambient = UniformMedium::ambientMedium();
  for (double lambda : {0.4, 0.58756, 1.5}) EXPECT_DOUBLE_EQ(ambient->indexOfRefractionAtWavelengthInMicrons(lambda), 1.0);
  EXPECT_EQ(relativeDispersion(ambient.get(), 0.48613, 0.65627, 0.58756), 0.0);
  EXPECT_EQ(relativeDispersion(nullptr, 0.48613, 0.65627, 0.58756), 0.0);
}

TEST(Medium, UniformMediumAnswersItsGlassAndRelativeDispersion) {
  // A model glass nd 1.5168, Vd 64.17: (nF − nC)/nd = (nd − 1)/Vd/nd by construction.
  auto medium = UniformMedium::mediumWithGlass(Glass::glassWithIndex(1.5168, 64.17));
  EXPECT_NEAR(medium->indexOfRefractionAtWavelengthInMicrons(0.58756), 1.5168, 1e-9);
  EXPECT_NEAR(relativeDispersion(medium.get(), 0.48613, 0.65627, 0.58756), 0.5168 / 64.17 / 1.5168, 1e-7);
  EXPECT_NE(medium->description().find("glass="), std::string::npos);
}

TEST(Medium2, RadialProfileAgainstHandValues) {
  // n0 = 1.5, nr2 = −0.1, nr4 = 0.02. At (1, 0, 0): n² = 2.25 − 0.1 (+ 0.02); at (0.3, 0.4)
  // ρ = 0.25, S = nr2 + 2·nr4·ρ = −0.09, ∂Fx/∂x = S + 4·nr4·x², ∂Fx/∂y = 4·nr4·x·y.
  struct Case {
    const char* name;
    double nr4;
    XYZ p;
    double n;
    XYZ f;
    XYZTensor g;
  };
  const Case cases[] = {
      {"nr2-only-at-unit-radius", 0, {1, 0, 0}, 1.466287829861518, {-0.1, 0, 0}, {-0.1, 0, 0, 0, -0.1, 0, 0, 0, 0}},
      {"nr4-off-axis", 0.02, {0.3, 0.4, 7}, 1.4920623311376773, {-0.027, -0.036, 0},
       {-0.0828, 0.0096, 0, 0.0096, -0.0772, 0, 0, 0, 0}},
      {"on-axis", 0.02, {0, 0, 3}, 1.5, {0, 0, 0}, {-0.1, 0, 0, 0, -0.1, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = Medium2::withTransform(OBTransform(), {1.5, -0.1, c.nr4, 0, 0, 0, 0}, 0.1);
    EXPECT_NEAR(m->indexOfRefractionAtWave(0.5, c.p), c.n, 1e-15);
    const XYZ f = m->forceAtWave(0.5, c.p);
    EXPECT_NEAR(f.x, c.f.x, 1e-15);
    EXPECT_NEAR(f.y, c.f.y, 1e-15);
    EXPECT_EQ(f.z, 0);
    expectTensorNear(m->forceGradientAtWave(0.5, c.p), c.g, 1e-15);
  }
}

TEST(Medium2, HighOrderTermsAndAlphaExpansion) {
  auto m = Medium2::withTransform(OBTransform(), {1.6, -0.08, 0.01, -0.002, 3e-4, -2e-5, 1e-6}, 0.1);
  expectConsistentDerivatives(*m, 0.5, {0.7, -0.5, 2}, 1e-9);
  // n(r) − (α0 + α1·r² + α2·r⁴) shrinks as r⁶.
  double a0, a1, a2;
  m->getAlphaCoefficients(a0, a1, a2, 0);
  for (double r : {0.05, 0.1}) {
    const double n = m->indexOfRefractionAtWave(0.5, {r, 0, 0});
    EXPECT_LT(std::fabs(n - (a0 + a1 * r * r + a2 * std::pow(r, 4))), 2e-3 * std::pow(r, 6)) << r;
  }
}

TEST(Medium5, ProfileWithoutDispersionMatchesNumericDerivatives) {
  auto m = Medium5::withTransform(OBTransform(), {1.6, -0.05, 0.01, 0.02, -0.003, 4e-4, -5e-5}, 0.1);
  // nb at (0.3, −0.2, 1.5): ρ = 0.13.
  const double rho = 0.13, z = 1.5;
  const double nb = 1.6 - 0.05 * rho + 0.01 * rho * rho + 0.02 * z - 0.003 * z * z + 4e-4 * z * z * z -
                    5e-5 * z * z * z * z;
  EXPECT_NEAR(m->indexOfRefractionAtWave(0.5, {0.3, -0.2, 1.5}), nb, 1e-15);
  expectConsistentDerivatives(*m, 0.5, {0.3, -0.2, 1.5}, 1e-9);
  // On the axis: no transverse force, diagonal entries T = 2·nr2·nb.
  const XYZ f = m->forceAtWave(0.5, {0, 0, 1.5});
  EXPECT_EQ(f.x, 0);
  EXPECT_EQ(f.y, 0);
  const XYZTensor g = m->forceGradientAtWave(0.5, {0, 0, 1.5});
  const double nbAxis = m->baseIndex({0, 0, 1.5});
  EXPECT_NEAR(g.xx, 2 * -0.05 * nbAxis, 1e-15);
  EXPECT_NEAR(g.yy, 2 * -0.05 * nbAxis, 1e-15);
  EXPECT_EQ(g.xz, 0);
  EXPECT_EQ(g.yz, 0);
}

// The cross entries ∂Fx/∂z carry x·g·nb′·n·D″ besides x·g·nb′·D′²: without it the
// gradient disagrees with the force it differentiates.
TEST(Medium5, ProfileWithDispersionMatchesNumericDerivatives) {
  auto m = Medium5::withTransform(OBTransform(), {1.6, -0.05, 0.01, 0.02, -0.003, 4e-4, -5e-5}, 0.1);
  m->setGrinDispersion(orb::platform::makeObject<GrinDispersion>());
  for (const XYZ& p : {XYZ{0.3, -0.2, 1.5}, XYZ{0, 0, 0.5}, XYZ{0.8, 0.1, -1}}) {
    SCOPED_TRACE(orb::foundation::toString(p));
    expectConsistentDerivatives(*m, 0.5, p, 1e-9);
  }
  double n, dn, d2n;
  m->grinDispersion()->derivativesForBaseValue(m->baseIndex({0.3, -0.2, 1.5}), 0.5, n, dn, d2n);
  ASSERT_GT(std::fabs(0.3 * 2 * -0.05 * n * d2n * 0.02), 1e-7);  // the term is really there
  // At the reference wavelength the dispersion is the identity.
  EXPECT_NEAR(m->indexOfRefractionAtWave(0.67, {0.3, -0.2, 1.5}), m->baseIndex({0.3, -0.2, 1.5}), 1e-15);
}

TEST(Medium5, EvaluateAtWaveAgreesWithSeparateQueries) {
  auto m = Medium5::withTransform(OBTransform(), {1.6, -0.05, 0.01, 0.02, -0.003, 4e-4, -5e-5}, 0.1);
  m->setGrinDispersion(orb::platform::makeObject<GrinDispersion>());
  const XYZ p{0.3, -0.2, 1.5};
  double n;
  XYZ f;
  XYZTensor g;
  m->evaluateAtWave(0.5, p, n, f, g);
  EXPECT_DOUBLE_EQ(n, m->indexOfRefractionAtWave(0.5, p));
  EXPECT_EQ(f, m->forceAtWave(0.5, p));
  EXPECT_EQ(g, m->forceGradientAtWave(0.5, p));
}

TEST(Medium, ZeroGradientIsTheUniformMedium) {
  auto uniform = UniformMedium::mediumWithGlass(Glass::glassWithIndex(1.5));
  auto m2 = Medium2::withTransform(OBTransform(), {1.5, 0, 0, 0, 0, 0, 0}, 0.1);
  auto m5 = Medium5::withTransform(OBTransform(), {1.5, 0, 0, 0, 0, 0, 0}, 0.1);
  for (const XYZ& p : {XYZ{0, 0, 0}, XYZ{3, -4, 10}, XYZ{-0.5, 0.25, -2}}) {
    for (double lambda : {0.45, 0.58756, 0.9}) {
      const double n = uniform->indexOfRefractionAtWavelengthInMicrons(lambda);
      for (const NonuniformMedium* m : {static_cast<const NonuniformMedium*>(m2.get()), static_cast<const NonuniformMedium*>(m5.get())}) {
        EXPECT_DOUBLE_EQ(m->indexOfRefractionAtWave(lambda, p), n);
        EXPECT_EQ(m->forceAtWave(lambda, p), (XYZ{0, 0, 0}));
        EXPECT_EQ(m->forceGradientAtWave(lambda, p), kZero);
      }
    }
  }
}

TEST(NonuniformMedium, GlobalFormsGoThroughTheTransform) {
  // Local x is global y (a quarter turn about z), local origin at global (0, 0, 5).
  TransformationMatrix toGlobal{{0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 5, 0, 0, 0, 1}};
  TransformationMatrix fromGlobal{{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, -5, 0, 0, 0, 1}};
  // At local (1, 0, 0): S = −0.1 + 2·0.02 = −0.06, T = −0.1 + 6·0.02 = 0.02.
  auto m = Medium2::withTransform(OBTransform(toGlobal, fromGlobal), {1.5, -0.1, 0.02, 0, 0, 0, 0}, 0.1);
  const XYZ global{0, 1, 5};
  EXPECT_NEAR(m->indexOfRefractionAtWaveGlobalCoordinate(0.5, global), std::sqrt(2.17), 1e-15);
  const XYZ f = m->forceInGlobalFrameAtWave(0.5, global);
  EXPECT_NEAR(f.x, 0, 1e-15);
  EXPECT_NEAR(f.y, -0.06, 1e-15);
  expectTensorNear(m->forceGradientInGlobalFrameAtWave(0.5, global), {-0.06, 0, 0, 0, 0.02, 0, 0, 0, 0}, 1e-15);

  // Without a transform: the index at the local origin, no force, no gradient.
  auto loose = Medium2::withTransform(std::nullopt, {1.5, -0.1, 0.02, 0, 0, 0, 0}, 0.1);
  EXPECT_EQ(loose->indexOfRefractionAtWaveGlobalCoordinate(0.5, {1, 1, 1}), 1.5);
  EXPECT_EQ(loose->forceInGlobalFrameAtWave(0.5, {1, 1, 1}), (XYZ{0, 0, 0}));
  EXPECT_EQ(loose->forceGradientInGlobalFrameAtWave(0.5, {1, 1, 1}), kZero);
}

TEST(MediumArchive, RoundTripsAndRefusesPlainCoders) {
  registerArchiveClasses();
  TransformationMatrix toGlobal = TransformationMatrix::translation({1, 2, 3});
  TransformationMatrix fromGlobal = TransformationMatrix::translation({-1, -2, -3});
  auto m5 = Medium5::withTransform(OBTransform(toGlobal, fromGlobal), {1.6, -0.05, 0.01, 0.02, -0.003, 4e-4, -5e-5}, 0.25);
  auto uniform = UniformMedium::mediumWithGlass(Glass::glassWithIndex(1.62, 36.4));
  for (const std::shared_ptr<Medium>& original : {std::shared_ptr<Medium>(m5), std::shared_ptr<Medium>(uniform)}) {
    auto data = orb::platform::KeyedArchiver::archivedDataWithRootObject(Value(original));
    auto back = orb::platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<Medium>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->className(), original->className());
    const XYZ g{1.3, 1.8, 4.5};
    EXPECT_EQ(back->indexOfRefractionAtWaveGlobalCoordinate(0.55, g), original->indexOfRefractionAtWaveGlobalCoordinate(0.55, g));
    EXPECT_EQ(back->forceInGlobalFrameAtWave(0.55, g), original->forceInGlobalFrameAtWave(0.55, g));
    EXPECT_DOUBLE_EQ(back->indexOfRefractionAtWavelengthInMicrons(0.48613), original->indexOfRefractionAtWavelengthInMicrons(0.48613));
  }
  EXPECT_EQ(std::dynamic_pointer_cast<NonuniformMedium>(orb::platform::KeyedUnarchiver::unarchiveObjectWithData(
                                                            orb::platform::KeyedArchiver::archivedDataWithRootObject(Value(m5)))
                                                            .asObject<Medium>())
                ->integrationStep(),
            0.25);

  orb::platform::Coder plain;
  try {
    m5->encodeWithCoder(plain);
    FAIL() << "no exception";
  } catch (const orb::platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_EQ(e.reason(), "Require NSKeyedArchiver");
  }
}
