#include "optimisation/MeritoidKeyPath.h"

#include <gtest/gtest.h>

#include <cmath>

#include "OptimisationTestSupport.h"
#include "optimisation/LensQuantities.h"
#include "optimisation/MeritFunction.h"

namespace orb::optimisation {
namespace {

using testing::kModelIndex;

TEST(KeyPathOperandTest, FifteenValueBasedKinds) {
  const auto& kinds = keyPathOperandKinds();
  ASSERT_EQ(kinds.size(), 15u);
  auto lens = testing::singletLens(0.02, false);
  for (const auto& kind : kinds) {
    auto m = MeritoidKeyPath::makeKind(kind.identifier, kind.script);
    m->setLens(lens);
    m->evaluate();
    EXPECT_TRUE(std::isfinite(m->value())) << kind.identifier << ": " << m->message();
    EXPECT_EQ(m->message(), "") << kind.identifier;
    EXPECT_EQ(m->isDimensionless(), std::string(kind.identifier).rfind("Mag", 0) == 0);
  }
}

TEST(KeyPathOperandTest, SingletReadingsMatchClosedForms) {
  const double c = 0.02;
  auto lens = testing::singletLens(c, false);
  auto read = [&](const char* script) {
    auto m = MeritoidKeyPath::makeKind("q", script);
    m->setLens(lens);
    m->evaluate();
    EXPECT_EQ(m->message(), "") << script;
    return m->value();
  };
  // Flat back: f = 1 / ((n − 1) c) whatever the thickness.
  EXPECT_NEAR(read("lens.focalLength"), 1 / ((kModelIndex - 1) * c), 1e-9);
  EXPECT_NEAR(read("lens.totalTrack"), 4 + 97, 1e-12);
  EXPECT_NEAR(read("lens.glassThickness"), 4, 1e-12);
  // Petzval sum of one refracting surface: (n − 1) c / n; the flat one adds nothing.
  EXPECT_NEAR(std::abs(read("lens.petzvalSum")), (kModelIndex - 1) * c / kModelIndex, 1e-9);
  EXPECT_NEAR(read("lens.s1.curvature"), c, 1e-15);
}

TEST(KeyPathOperandTest, BoundFiltersCountOnlyTheWrongSide) {
  struct Case {
    const char* filter;
    double value;
    double expectedResidual;
  } cases[] = {
      {"Target", 12, 200}, {"Target", 8, -200},       {"Target", 10, 0},
      {"Lower bound", 12, 0}, {"Lower bound", 8, -200}, {"Lower bound", 10, 0},
      {"Upper bound", 12, 200}, {"Upper bound", 8, 0},  {"Upper bound", 10, 0},
  };
  for (const auto& c : cases) {
    auto m = Meritoid::make<MeritoidKeyPath>();
    m->setIdentifier("q");
    m->setTarget(10);
    m->setResidualFilter(c.filter);
    m->setValue(c.value);
    EXPECT_NEAR(m->residual().asDouble(), c.expectedResidual, 1e-9) << c.filter << " " << c.value;
  }
  // A failed reading is never inside a bound.
  auto m = Meritoid::make<MeritoidKeyPath>();
  m->setTarget(10);
  m->setResidualFilter("Lower bound");
  m->setValue(std::nan(""));
  EXPECT_TRUE(std::isnan(m->contribution()));
}

TEST(KeyPathOperandTest, FailedReadingsAreNaNWithAMessage) {
  auto lens = testing::singletLens(0.02, false);
  struct Case {
    const char* script;
    bool withLens;
    const char* message;  // null: any non-empty message
  } cases[] = {
      {"lens.focalLength", false, "No lens"},
      {"lens.s9", true, "Result is nil"},
      {"lens.noSuchProperty", true, nullptr},
      {"lens.surfaceArray", true, "Result is not a number"},
  };
  for (const auto& c : cases) {
    auto m = MeritoidKeyPath::makeKind("q", c.script);
    m->setValue(5);
    if (c.withLens) m->setLens(lens);
    m->evaluate();
    EXPECT_TRUE(std::isnan(m->value())) << c.script;
    if (c.message)
      EXPECT_EQ(m->message(), c.message) << c.script;
    else
      EXPECT_FALSE(m->message().empty()) << c.script;
    EXPECT_EQ(m->interpreterError(), m->message());
  }
  // Without a script nothing is read and the last value stays.
  auto idle = Meritoid::make<MeritoidKeyPath>();
  idle->setValue(5);
  idle->setLens(lens);
  idle->evaluate();
  EXPECT_EQ(idle->message(), "");
}

TEST(KeyPathOperandTest, MeritOfAFocalLengthOperand) {
  auto lens = testing::singletLens(0.02, false);
  auto f = MeritFunction::create();
  auto focal = MeritoidKeyPath::makeKind("Focal Length", "lens.focalLength");
  focal->setTarget(100);
  focal->setTolerance(0.01);
  f->addMeritoid(focal);
  f->setLens(lens);
  f->evaluate();
  const double r = (1 / ((kModelIndex - 1) * 0.02) - 100) / 0.01;
  EXPECT_NEAR(f->doubleValue(), 0.5 * r * r, 1e-6 * r * r);
}

}  // namespace
}  // namespace orb::optimisation
