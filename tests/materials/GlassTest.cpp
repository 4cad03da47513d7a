#include "materials/Glass.h"

#include <gtest/gtest.h>

#include <cmath>

#include "materials/ArchiveClasses.h"
#include "materials/ZemaxGlass.h"
#include "platform/Coder.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"

using namespace orb::materials;
using orb::platform::Exception;
using orb::platform::Value;
namespace spectral = orb::materials::spectral;

namespace {

std::shared_ptr<Glass> roundTrip(const std::shared_ptr<Glass>& g) {
  registerArchiveClasses();
  auto data = orb::platform::KeyedArchiver::archivedDataWithRootObject(Value(g));
  return orb::platform::KeyedUnarchiver::unarchiveObjectWithData(data).asObject<Glass>();
}

}  // namespace

TEST(ModelGlass, NewGlassIsVacuumWithCountedName) {
  auto a = Glass::glass();
  auto b = Glass::glass();
  unsigned long na = std::stoul(a->name().substr(7)), nb = std::stoul(b->name().substr(7));
  EXPECT_EQ(a->name().rfind("noname-", 0), 0u);
  EXPECT_EQ(nb, na + 1);
  EXPECT_EQ(a->referenceIndex(), 1.0);
  EXPECT_EQ(a->referenceAbbe(), 0.0);
  for (double lambda : {0.3, 0.58756, 2.0}) EXPECT_EQ(a->indexAtWavelengthInMicrons(lambda), 1.0);
  auto grey = a->displayColor();
  EXPECT_EQ(grey->red(), grey->green());
  EXPECT_NE(Glass::glassWithIndex(1.5)->displayColor()->red(), Glass::glassWithIndex(1.5)->displayColor()->blue());
}

// nF − nC = (nd − 1)/Vd is what defines the Abbe number; the fit must meet it and nd.
TEST(ModelGlass, ReproducesReferenceIndexAndAbbeNumber) {
  struct Case {
    const char* name;
    double nd, vd;
  };
  for (const Case& c : {Case{"crown N-BK7 data", 1.5168, 64.17}, Case{"dense flint", 1.80518, 25.43},
                        Case{"fluor crown", 1.437, 95.1}}) {
    SCOPED_TRACE(c.name);
    auto g = Glass::glassWithIndex(c.nd, c.vd);
    EXPECT_NEAR(g->indexAtWavelengthInMicrons(spectral::kLambdaD), c.nd, 1e-12);
    const double dispersion =
        g->indexAtWavelengthInMicrons(spectral::kLambdaF) - g->indexAtWavelengthInMicrons(spectral::kLambdaC);
    EXPECT_NEAR(dispersion, (c.nd - 1) / c.vd, 1e-7);
    EXPECT_GT(g->indexAtWavelengthInMicrons(0.4), g->indexAtWavelengthInMicrons(0.7));  // normal dispersion
  }
  EXPECT_EQ(Glass::glassWithIndex(1.5168, 64.17)->name(), "1.5168,64.17");
}

TEST(ModelGlass, SpecialDispersionLaws) {
  auto linear = Glass::glassWithIndex(1.6, -3.45);
  EXPECT_DOUBLE_EQ(linear->indexAtWavelengthInMicrons(spectral::kLambdaD), 1.6);
  const double slope = 0.6 / (0.17014 * 3.45);  // (nd − 1)/(−(λC − λF)·Vd)
  EXPECT_NEAR(linear->indexAtWavelengthInMicrons(1.0) - linear->indexAtWavelengthInMicrons(0.5), 0.5 * slope, 1e-12);

  auto belowOne = Glass::glassWithIndex(0.9);
  for (double lambda : {0.4, 1.0}) EXPECT_EQ(belowOne->indexAtWavelengthInMicrons(lambda), 0.9);

  auto noDispersion = Glass::glassWithIndex(1.7);
  EXPECT_NEAR(noDispersion->indexAtWavelengthInMicrons(0.4), 1.7, 1e-14);
  EXPECT_NEAR(noDispersion->indexAtWavelengthInMicrons(1.5), 1.7, 1e-14);
}

// A partial dispersion set on a model glass used to leave it without any fit (n = 1).
TEST(ModelGlass, PartialDispersionDoesNotUndoTheFit) {
  auto g = Glass::glassWithIndex(1.5168, 64.17);
  g->setReferencePartialDispersion(0.5349);
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(spectral::kLambdaD), 1.5168, 1e-12);
}

TEST(ModelGlass, RefitsAfterReferenceDataChange) {
  auto g = Glass::glassWithIndex(1.5168, 64.17);
  g->indexAtWavelengthInMicrons(0.5);
  EXPECT_NE(g->sellmeierA(), 0.0);
  g->setReferenceIndex(1.6);
  EXPECT_EQ(g->sellmeierA(), 0.0);
  EXPECT_NEAR(g->indexAtWavelengthInMicrons(spectral::kLambdaD), 1.6, 1e-12);
}

TEST(GlassNaming, DynamicNamesAndGlassCodes) {
  auto g = Glass::glassWithIndex(1.5168, 64.17);
  g->setDynamicNameType(std::string("xxxyyy"));
  g->setDynamicName(true);
  EXPECT_EQ(g->name(), "517642");
  g->setReferenceIndex(2.001);
  EXPECT_EQ(g->name(), "002642");
  g->setDynamicNameType(std::string("xxx:yyy"));
  EXPECT_EQ(g->name(), "002:642");
  g->setDynamicNameType(std::string("n,V"));
  EXPECT_EQ(g->name(), "2.001,64.17");
  g->setDynamicNameType(std::string("xxxyyy"));
  g->setReferenceIndex(1.5168);
  g->setDynamicName(false);
  EXPECT_EQ(g->name(), "G517642");

  auto code = Glass::glassWithIndex(1.5168, 64.17);
  code->setGlassCodeFromReferenceIndexAndAbbe();
  EXPECT_EQ(code->glassCode(), "517642");
  code->setReferenceAbbe(120);
  code->setGlassCodeFromReferenceIndexAndAbbe();
  EXPECT_EQ(code->glassCode(), "517999");

  std::string typed = "N BK 7\n";
  EXPECT_TRUE(Glass::validateName(typed));
  EXPECT_EQ(typed, "NBK7");
}

TEST(GlassNaming, DescriptionsAndEquality) {
  auto g = Glass::glassWithIndex(1.5);
  g->setReferenceIndexIsVariable(true);
  EXPECT_EQ(g->glassDescription(), "model glass, nd=1.5*");
  g->setReferenceAbbe(60);
  EXPECT_EQ(g->glassDescription(), "model glass, nd=1.5*, Vd=60");
  EXPECT_EQ(Glass::dummyGlassWithName("FOO")->glassDescription(), "unknown glass");

  auto a = Glass::glassWithName("X"), b = Glass::glassWithName("X");
  EXPECT_FALSE(a->isEqualTo(*b));  // no versions: only itself
  a->setVersion(std::string("V1"));
  b->setVersion(std::string("V1"));
  EXPECT_TRUE(a->isEqualTo(*b));
  EXPECT_EQ(a->hash(), b->hash());
}

TEST(GlassCopy, CopiesKeepClassDataAndColourNumber) {
  auto source = ZemaxGlass::glassWithName("N-BK7");
  source->setVersion(std::string("SCHOTT.AGF"));
  source->setFormula(2);
  const double c[6] = {1.03961212, 0.00600069867, 0.231792344, 0.0200179144, 1.01046945, 103.560653};
  source->setCoefficientValuesFromDoubles(c, 6);
  source->setReferenceIndex(1.5168);
  source->setCatalogName(std::string("SCHOTT"));

  auto copy = std::dynamic_pointer_cast<ZemaxGlass>(source->copy());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->name(), "N-BK7");
  EXPECT_EQ(copy->colorNumber(), source->colorNumber());
  EXPECT_EQ(copy->indexAtWavelengthInMicrons(0.5), source->indexAtWavelengthInMicrons(0.5));
  EXPECT_EQ(copy->catalogName(), "SCHOTT");

  auto m = Glass::mutableGlassWithGlass(*source);
  EXPECT_EQ(m->name(), "m-N-BK7");
  EXPECT_FALSE(m->version());
  EXPECT_TRUE(m->isMutable());
  EXPECT_FALSE(m->hasVariables());
  EXPECT_TRUE(std::dynamic_pointer_cast<ZemaxGlass>(m));
  auto again = Glass::mutableGlassWithGlass(*Glass::glassWithName("m-X"));
  EXPECT_EQ(again->name(), "m-X");
}

TEST(GlassArchive, RoundTripsModelGlassIncludingDynamicName) {
  auto g = Glass::glassWithIndex(1.5168, 64.17);
  g->setDynamicNameType(std::string("xxxyyy"));
  g->setDynamicName(true);
  g->setReferenceAbbeIsVariable(true);
  g->setColor(orb::platform::Color::make(0.1, 0.2, 0.3));
  g->addTransmission(0.4, 0.97, 10);
  auto back = roundTrip(g);
  const Glass& decoded = *back;
  EXPECT_EQ(typeid(decoded), typeid(Glass));
  EXPECT_EQ(back->name(), "517642");
  EXPECT_EQ(back->referenceIndex(), 1.5168);
  EXPECT_EQ(back->referenceAbbe(), 64.17);
  EXPECT_TRUE(back->referenceAbbeIsVariable());
  EXPECT_EQ(back->dynamicNameType(), "xxxyyy");
  ASSERT_TRUE(back->color());
  EXPECT_DOUBLE_EQ(back->color()->green(), 0.2);
  EXPECT_EQ(back->transmissionArray(), g->transmissionArray());
}

TEST(GlassArchive, RefusesNonKeyedCoders) {
  orb::platform::Coder plain;
  try {
    Glass::glass()->encodeWithCoder(plain);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_EQ(e.reason(), "Only supports NSKeyedArchiver coders");
  }
}

TEST(GlassDictionary, CarriesReferenceDataFormulaAndCoefficients) {
  auto source = ZemaxGlass::glassWithName("K");
  source->setFormula(5);
  source->setCoefficientValue(1.5, "n0");
  source->setCoefficientValue(0.01, "A");
  source->setVersion(std::string("v"));
  source->setColor(orb::platform::Color::make(1, 0, 0));
  auto d = source->dictionary();
  EXPECT_EQ(d.get("formulaName").asString(), "Conrady");
  EXPECT_EQ(d.get("coefficientDictionary").asDictionary().get("n0").asDouble(), 1.5);
  EXPECT_FALSE(d.contains("transmissionArray"));

  auto back = Glass::glassWithDictionary<ZemaxGlass>(d);
  EXPECT_EQ(back->name(), "K");
  EXPECT_EQ(back->formula(), 5);
  EXPECT_EQ(back->indexAtWavelengthInMicrons(0.6), source->indexAtWavelengthInMicrons(0.6));
  ASSERT_TRUE(back->color());
  EXPECT_EQ(back->color()->red(), 1.0);
}

// A damaged archive can name the glass itself as its transmission records; kept, the glass
// would hold itself and never be freed.
TEST(GlassArchive, RecordsThatHoldTheGlassItselfArePassedOver) {
  registerArchiveClasses();
  auto g = Glass::glassWithIndex(1.6, 40);
  g->addTransmission(0.4, 0.97, 10);
  namespace platform = orb::platform;
  platform::Dictionary root =
      platform::plist::parse(platform::KeyedArchiver::archivedDataWithRootObject(Value(g), platform::PlistFormat::XML))
          .asDictionary();
  const Value glassUID = root.get("$top").asDictionary().get("root");
  platform::Array objects = root.get("$objects").asArray();
  const auto at = static_cast<std::size_t>(glassUID.asDictionary().get("CF$UID").asInt());
  platform::Dictionary entry = objects[at].asDictionary();
  entry.set("transmissionArray", glassUID);
  objects[at] = entry;
  root.set("$objects", objects);

  auto back = platform::KeyedUnarchiver::unarchiveObjectWithData(platform::plist::serialize(root, platform::PlistFormat::XML))
                  .asObject<Glass>();
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->transmissionArray().isNil());
  std::weak_ptr<Glass> weak = back;
  back.reset();
  EXPECT_TRUE(weak.expired()) << "the glass holds itself";
}
