#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "TestCoder.h"
#include "lens/ArchiveClasses.h"
#include "lens/Emission.h"
#include "lens/Parameter.h"
#include "lens/Wave.h"
#include "platform/ArchiveRegistry.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

using namespace orb;
using namespace orb::lens;

namespace {

/// Stands in for a lens surface: parameters by title, a nickname, and an owner's
/// judgement of pickup sources (here: a fixed list of forbidden sources).
class StubSurface : public platform::Object, public ParameterSurface {
 public:
  std::string name = "2";
  std::vector<std::shared_ptr<Parameter>> parameters;
  std::vector<const platform::Object*> forbidden;

  std::shared_ptr<Parameter> parameterForKey(std::string_view title) const override {
    for (const auto& p : parameters)
      if (p->title() == title) return p;
    return nullptr;
  }
  std::string nickname() const override { return name; }
  bool invalidSolveSurface(const std::shared_ptr<platform::Object>& source) const override {
    for (auto* f : forbidden)
      if (f == source.get()) return true;
    return false;
  }
  void encodeWithCoder(platform::Coder& coder) const override { coder.encodeObject("name", name); }
  void initWithCoder(const platform::Coder& coder) override { name = coder.decodeString("name"); }
};

std::shared_ptr<StubSurface> surfaceWith(const std::string& title, double value) {
  auto s = platform::makeObject<StubSurface>();
  s->parameters.push_back(Parameter::parameterWithTitle(title, value));
  return s;
}

std::shared_ptr<Parameter> pickup(const std::shared_ptr<StubSurface>& source, double scale, double offset) {
  auto p = Parameter::parameterWithTitle("toricR", 1);
  p->setSolveType(Parameter::kPickup);
  p->setSolveSurface(source);
  p->setSolveScale(scale);
  p->setSolveOffset(offset);
  return p;
}

}  // namespace

TEST(Parameter, PickupScalesAndOffsetsTheSourceValue) {
  auto source = surfaceWith("toricR", 3);
  auto p = pickup(source, 2, 0.5);
  p->implementSolve();
  EXPECT_EQ(p->value(), 6.5);
  EXPECT_EQ(p->solveDescription(), "pickup from surface 2 with scale 2, offset 0.5");
  p->setSolveOffset(0);
  EXPECT_EQ(p->solveDescription(), "pickup from surface 2 with scale 2");

  auto other = pickup(surfaceWith("a4", 3), 2, 0.5);
  other->implementSolve();
  EXPECT_EQ(other->value(), 1) << "a source without the title leaves the value";
}

// The offset comes from other programs' files; it must survive save and copy.
TEST(Parameter, PickupSurvivesArchiveAndCopyWithItsOffset) {
  lens::registerArchiveClasses();
  platform::ArchiveRegistry::shared().registerClass<StubSurface>("TestStubSurface", "NSObject");
  auto source = surfaceWith("toricR", 3);
  auto p = pickup(source, 2, 0.5);

  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{source, p});
  auto root = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asArray();
  auto decodedSource = root[0].asObject<StubSurface>();
  auto decoded = root[1].asObject<Parameter>();
  EXPECT_EQ(decoded->solveSurface(), decodedSource) << "the source is the archived surface, stored once";
  EXPECT_EQ(decoded->solveType(), Parameter::kPickup);
  EXPECT_EQ(decoded->solveScale(), 2);
  EXPECT_EQ(decoded->solveOffset(), 0.5);
  decodedSource->parameters.push_back(Parameter::parameterWithTitle("toricR", 3));
  decoded->implementSolve();
  EXPECT_EQ(decoded->value(), 6.5);

  auto copy = p->copy();
  EXPECT_EQ(copy->solveSurface(), source);
  EXPECT_EQ(copy->solveOffset(), 0.5);

  test::DictionaryCoder plain;
  Parameter::parameterWithTitle("a4", 1)->encodeWithCoder(plain);
  EXPECT_FALSE(plain.containsValueForKey("solveOffset")) << "a zero offset is not written";
}

TEST(Parameter, LosingTheSourceMakesAPickupFixed) {
  auto source = surfaceWith("toricR", 3);
  auto p = pickup(source, 2, 0);
  p->implementSolve();
  p->detachSurface(source);
  EXPECT_EQ(p->solveType(), Parameter::kFixed);
  EXPECT_EQ(p->solveSurface(), nullptr);
  EXPECT_EQ(p->value(), 6);

  auto q = pickup(source, 1, 0);
  auto owner = platform::makeObject<StubSurface>();
  owner->forbidden.push_back(source.get());
  q->validateSolveForSurface(*owner);
  EXPECT_EQ(q->solveType(), Parameter::kFixed);
  EXPECT_EQ(q->solveSurface(), nullptr);

  auto variable = Parameter::parameterWithTitle("a4", 1);
  variable->setSolveType(Parameter::kVariable);
  variable->setSolveSurface(source);
  variable->validateSolveForSurface(*platform::makeObject<StubSurface>());
  EXPECT_EQ(variable->solveSurface(), nullptr) << "only pickups keep a source";
  EXPECT_EQ(variable->solveType(), Parameter::kVariable);

  auto waiting = pickup(nullptr, 1, 0);
  waiting->howAboutSolveSurface(source);
  EXPECT_EQ(waiting->solveSurface(), source);
  auto replacement = platform::makeObject<StubSurface>();
  waiting->surfaceReplacement(platform::Dictionary{{"oldSurface", source}, {"newSurface", replacement}});
  EXPECT_EQ(waiting->solveSurface(), replacement);
}

TEST(Parameter, NegateAndScaleNeverGiveNegativeZero) {
  auto p = Parameter::parameterWithTitle("a4", 0);
  p->negate();
  EXPECT_FALSE(std::signbit(p->value()));
  p->setValue(-3);
  p->scaleByFactor(0);
  EXPECT_EQ(p->value(), 0);
  EXPECT_FALSE(std::signbit(p->value()));
  p->setValue(2);
  p->negate();
  EXPECT_EQ(p->value(), -2);
}

TEST(Parameter, DescriptorsAndDescriptions) {
  auto p = Parameter::parameterWithTitle("a12", 1);
  EXPECT_EQ(p->parameterDescription(), "Aspheric coefficient of r^12");
  EXPECT_EQ(Parameter::parameterWithTitle("b20")->parameterDescription(), "Phase polynomial coefficient of r^20");
  EXPECT_EQ(Parameter::parameterWithTitle("zz")->parameterDescription(), std::nullopt);
  EXPECT_EQ(p->description(), "{a12 = 1}");
  EXPECT_EQ(p->solveDescriptor(), "  (fixed at user-specified value)");

  int descriptionChanges = 0;
  auto o = p->addObserver("solveDescription", [&](const platform::ObservedChange&) { ++descriptionChanges; });
  p->setValueForKey("solveDescriptor", "V (variable for optimization)");
  EXPECT_EQ(p->solveType(), Parameter::kVariable);
  EXPECT_EQ(p->solveDescription(), "variable");
  EXPECT_GE(descriptionChanges, 1);
  p->setSolveType(7);
  EXPECT_EQ(p->solveDescription(), "unknown solve type");
}

TEST(Parameter, ChoosingPickupAsksForTheSourceOnce) {
  int asked = 0;
  auto observation = platform::NotificationCenter::defaultCenter().addObserver(
      "parameterSolveRequiresAttention", {}, [&](const platform::Notification&) { ++asked; });
  auto p = Parameter::parameterWithTitle("a4", 1);
  p->setSolveDescriptor("P (pick up...)");
  p->touchSolve();
  EXPECT_EQ(asked, 0) << "posted when idle";
  platform::RunLoop::main().runUntilIdle();
  EXPECT_EQ(asked, 1);
}

// --- Emission ---------------------------------------------------------------------------

namespace {

class TestEmission : public Emission {
 public:
  double wx = 0;
  std::vector<std::string> informationExportKeys() const override {
    auto keys = Emission::informationExportKeys();
    keys.push_back("wx");
    return keys;
  }
  std::shared_ptr<Emission> makeEmpty() const override { return platform::makeObject<TestEmission>(); }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys() {
    static const platform::KeyTable table(&Emission::classKeys(), {platform::Keys<TestEmission>::field("wx", &TestEmission::wx)});
    return table;
  }
};

}  // namespace

TEST(Emission, RegistryMakesByNameAndAnswersTheName) {
  Emission::registerEmissionType<TestEmission>("Test emission");
  EXPECT_EQ(Emission::emissionOfType("No such emission"), nullptr);

  auto e = Emission::emissionOfType("Test emission", platform::Dictionary{{"numericalAperture", 0.25}, {"wx", 7.0}});
  ASSERT_TRUE(std::dynamic_pointer_cast<TestEmission>(e));
  EXPECT_EQ(e->emissionType(), "Test emission");
  EXPECT_EQ(e->numericalAperture(), 0.25);
  EXPECT_EQ(e->wavelengthInNanometers(), 532) << "keys missing from the information are left alone";
  EXPECT_EQ(Emission::emission()->emissionType(), std::nullopt);

  auto surface = platform::makeObject<platform::Object>();
  e->setSurface(surface);
  auto copy = e->copy();
  ASSERT_TRUE(std::dynamic_pointer_cast<TestEmission>(copy));
  EXPECT_EQ(std::static_pointer_cast<TestEmission>(copy)->wx, 7);
  EXPECT_EQ(copy->numericalAperture(), 0.25);
  EXPECT_EQ(copy->surface(), nullptr);

  copy->setInformation({});
  EXPECT_EQ(copy->numericalAperture(), 0.25);
}

TEST(Emission, WaveTextsAndArchive) {
  auto e = Emission::emission();
  e->setWavelengthInNanometers(650);
  e->setNumericalAperture(0.1);
  EXPECT_DOUBLE_EQ(e->wave()->wavelengthInMicrons(), 0.65);
  EXPECT_EQ(e->emissionDescription(), "wavelength 650nm\ncutoff N.A. 0.1");
  EXPECT_EQ(e->description(), "Emission(650nm,0.1)");

  int gestalt = 0;
  auto o = e->addObserver("emissionGestalt", [&](const platform::ObservedChange&) { ++gestalt; });
  e->setValueForKey("numericalAperture", 0.2);
  EXPECT_EQ(gestalt, 1);

  lens::registerArchiveClasses();
  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(e));
  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<Emission>();
  EXPECT_EQ(back->wavelengthInNanometers(), 650);
  EXPECT_EQ(back->numericalAperture(), 0.2);
}
