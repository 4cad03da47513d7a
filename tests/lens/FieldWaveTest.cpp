#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cmath>
#include <limits>

#include "TestCoder.h"
#include "lens/ArchiveClasses.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace orb;
using namespace orb::lens;
using ::testing::UnorderedElementsAre;

namespace {

template <class T>
std::shared_ptr<T> roundTrip(const std::shared_ptr<T>& object) {
  lens::registerArchiveClasses();
  auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(object));
  return platform::KeyedUnarchiver::unarchiveObjectWithData(data).template asObject<T>();
}

}  // namespace

TEST(Field, VignettingFactorsArchiveOnlyWhenNotDefault) {
  auto field = Field::field();
  EXPECT_FALSE(field->vignetted());

  field->setX(3);
  field->setY(4);
  field->setValueForKey("PYB", 0.8);
  EXPECT_TRUE(field->vignetted());
  EXPECT_DOUBLE_EQ(field->r(), 5);

  test::DictionaryCoder coder;
  field->encodeWithCoder(coder);
  EXPECT_THAT(coder.keys(), UnorderedElementsAre("x", "y", "weight", "color", "PYB"));

  auto back = roundTrip(field);
  EXPECT_EQ(back->x(), 3);
  EXPECT_EQ(back->y(), 4);
  EXPECT_EQ(back->PXA(), -1);
  EXPECT_EQ(back->PXB(), 1);
  EXPECT_EQ(back->PYA(), -1);
  EXPECT_EQ(back->PYB(), 0.8);
}

TEST(Field, NaNFactorCountsAsVignetted) {
  auto field = Field::field();
  field->setPXA(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(field->vignetted());
}

TEST(Field, EveryEditReachesDescriptionYObservers) {
  auto field = Field::field();
  int changes = 0, vignetting = 0;
  auto a = field->addObserver("descriptionY", [&](const platform::ObservedChange&) { ++changes; });
  auto b = field->addObserver("vignetted", [&](const platform::ObservedChange&) { ++vignetting; });
  field->setValueForKey("x", 1.0);
  field->setValueForKey("weight", 2.0);
  field->setValueForKey("PXB", 0.5);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(vignetting, 1);
  EXPECT_EQ(field->valueForKey("descriptionY").asString(), "x=1 y=0 w = 2 PXA = -1 PXB = 0.5 PYA = -1 PYB = 1");
}

TEST(Field, CopyKeepsValuesAndColourNumber) {
  auto field = Field::field();
  field->setY(2.5);
  field->setPYA(-0.7);
  field->setColor(platform::Color::make(1, 0, 0));
  auto copy = field->copy();
  EXPECT_NE(copy, field);
  EXPECT_EQ(copy->colorNumber(), field->colorNumber());
  EXPECT_EQ(copy->y(), 2.5);
  EXPECT_EQ(copy->PYA(), -0.7);
  EXPECT_TRUE(copy->color()->isEqualTo(*field->color()));
}

TEST(FieldAndWave, RefuseCodersThatAreNotKeyed) {
  test::SequentialCoder coder;
  try {
    Field::field()->encodeWithCoder(coder);
    FAIL();
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_EQ(e.reason(), "Field only supports NSKeyedArchiver coders");
  }
  try {
    Wave::wave()->encodeWithCoder(coder);
    FAIL();
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.reason(), "Wave only supports NSKeyedArchiver coders");
  }
}

TEST(Wave, DefaultsAndUnitConversions) {
  auto wave = Wave::wave();
  EXPECT_DOUBLE_EQ(wave->wavelengthInMicrons(), 0.58756);
  EXPECT_DOUBLE_EQ(wave->wavelengthInMillimeters(), 0.00058756);
  EXPECT_EQ(wave->wavelengthUnit(), 1e-9);

  wave->setWavelengthInMicrons(0.5);
  EXPECT_DOUBLE_EQ(wave->wavelength(), 500);
  wave->setWavelengthUnit(1e-6);
  wave->setWavelengthInNanometers(632.8);
  EXPECT_DOUBLE_EQ(wave->wavelength(), 0.6328);
  EXPECT_EQ(wave->wavelengthShortString(), "632.8nm");
  wave->setIsPrimary(true);
  EXPECT_EQ(wave->wavelengthString(), "632.8nm (primary)");
  EXPECT_EQ(wave->description(), "Wave{632.8nm,w=1}");

  auto fdc = Wave::FdC();
  ASSERT_EQ(fdc.size(), 3u);
  EXPECT_DOUBLE_EQ(fdc[0]->wavelengthInNanometers(), 486.13);
  EXPECT_DOUBLE_EQ(fdc[2]->wavelengthInNanometers(), 656.27);
  EXPECT_FALSE(fdc[0]->isPrimary());
  EXPECT_TRUE(fdc[1]->isPrimary());
  EXPECT_FALSE(fdc[2]->isPrimary());
}

TEST(Wave, DecodingConvertsToNanometres) {
  struct Case {
    const char* name;
    bool withUnit;
    double unit, stored, nanometres;
  };
  const Case cases[] = {
      {"micrometre-unit", true, 1e-6, 0.55, 550},
      {"no-unit-means-micrometres", false, 0, 0.6328, 632.8},
      {"nanometre-unit", true, 1e-9, 486.13, 486.13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::DictionaryCoder coder;
    if (c.withUnit) coder.values.set("wavelengthUnit", c.unit);
    coder.values.set("wavelength", c.stored);
    coder.values.set("weight", 0.5);
    coder.values.set("isPrimary", true);
    auto wave = platform::makeObject<Wave>();
    wave->initWithCoder(coder);
    EXPECT_EQ(wave->wavelengthUnit(), 1e-9);
    EXPECT_NEAR(wave->wavelength(), c.nanometres, 1e-12);
    EXPECT_EQ(wave->weight(), 0.5);
    EXPECT_TRUE(wave->isPrimary());
  }
}

TEST(Wave, ArchiveAndCopyKeepTheWave) {
  auto wave = Wave::wave();
  wave->setWavelengthUnit(1e-6);
  wave->setWavelength(0.55);
  wave->setWeight(2);
  auto back = roundTrip(wave);
  EXPECT_EQ(back->wavelengthUnit(), 1e-9);
  EXPECT_NEAR(back->wavelength(), 550, 1e-12);
  EXPECT_EQ(back->weight(), 2);

  auto copy = wave->copy();
  EXPECT_EQ(copy->colorNumber(), wave->colorNumber());
  EXPECT_DOUBLE_EQ(copy->wavelengthInNanometers(), 550);
}
