#include "interchange/ZemaxWriter.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "InterchangeTestSupport.h"
#include "foundation/platform/StringExtensions.h"
#include "interchange/LensDictionary.h"
#include "lens/Field.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/Exception.h"

namespace orb::interchange {
namespace {

using lens::Field;
using lens::Wave;
using platform::Array;
using platform::Dictionary;
using platform::Value;

std::string quietWrite(const Dictionary& d) {
  return zemaxStringForModel(d, [](const std::string&) {});
}

TEST(ZemaxWriter, MinimalDictionaryLineByLine) {
  const std::string text = quietWrite(Dictionary{{"fieldType", "Angle"}});
  EXPECT_EQ(foundation::lines(text),
            (std::vector<std::string>{"UNIT MM", "ENPD 0", "GFAC 0 0", "FTYP 0 0 0 0", "XFLD", "YFLD", "FWGT", "WAVL",
                                      "WWGT", "PWAV 1", "MNUM 1"}));
}

// Only a title the lens has is written: a made-up one would come back as the lens's title.
TEST(ZemaxWriter, TitleOnlyWhenTheLensHasOne) {
  for (const std::optional<std::string>& title : {std::optional<std::string>(), std::optional<std::string>(""),
                                                  std::optional<std::string>("Doublet f/4")}) {
    SCOPED_TRACE(title.value_or("(none)"));
    auto lens = test::lensFromDictionary(Dictionary{});
    lens->setSystemName(title);
    const std::string text = quietWrite(lensDictionaryFromLens(*lens));
    const bool titled = title && !title->empty();
    EXPECT_EQ(text.find("NAME"), titled ? 0 : std::string::npos) << text;
    EXPECT_EQ(text.find("VERS"), std::string::npos);
    auto back = test::lensFromDictionary(*test::readZemaxText(text).dictionary);
    EXPECT_EQ(back->systemName().value_or(""), titled ? *title : "");
  }
}

// A wave holds nanometres and the file microns; the writer moves the decimal point of the
// shortest text of the nanometres, so a wave of 587.6 nm is written as 0.5876 (its binary
// quotient by 1000 would print as 0.5876000000000001).
TEST(ZemaxWriter, WavelengthsAreWrittenAsTheirNanometresGiveThem) {
  struct Case {
    double nanometres;
    const char* microns;
  };
  const std::vector<Case> cases = {{587.6, "0.5876"}, {486.13, "0.48613"},  {587.56, "0.58756"}, {10600, "10.6"},
                                   {1e-300, "1e-303"}, {-12.5, "-0.0125"}, {0, "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.microns);
    EXPECT_EQ(zemaxMicronsFromNanometres(c.nanometres), c.microns);
  }
  auto wave = Wave::wave();
  wave->setWavelengthInNanometers(587.6);
  const std::string text = quietWrite(Dictionary{{"fieldType", "Angle"}, {"waveArray", Array{Value(wave)}}});
  EXPECT_NE(text.find("\nWAVL 0.5876\n"), std::string::npos) << text;
}

// Write → read gives every number back to the last bit, wavelengths included (the wave keeps
// nanometres and the file has microns).
TEST(ZemaxWriter, AwkwardNumbersComeBackExactly) {
  const std::vector<double> values = {0.1 + 0.2, 1e-300, -0.0, 123456.789, 587.6, 486.13, 5e-324};
  for (double v : values) {
    SCOPED_TRACE(testing::Message() << std::hexfloat << v);
    auto surface = lens::Surface::create();
    surface->setThickness(v);
    surface->setCurvature(v);
    surface->setSemidiameter(v);
    auto field = Field::field();
    field->setY(v);
    auto wave = Wave::wave();
    wave->setWavelengthUnit(Wave::kNanometre);
    wave->setWavelength(v);
    const Dictionary d{{"fieldType", "Angle"},          {"sourceDivergenceType", 0.0},
                       {"sourceDivergenceValue", v},     {"surfaceArray", Array{Value(surface)}},
                       {"fieldArray", Array{Value(field)}}, {"waveArray", Array{Value(wave)}}};
    auto r = test::readZemaxText(quietWrite(d));
    ASSERT_TRUE(r.dictionary);
    auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    const auto s = test::objectsUnder(*r.dictionary, "surfaceArray").at(0);
    EXPECT_EQ(bits(s->thickness()), bits(v));
    EXPECT_EQ(bits(s->curvature()), bits(v));
    EXPECT_EQ(bits(s->semidiameter()), bits(v));
    EXPECT_EQ(bits(test::objectsUnder<Field>(*r.dictionary, "fieldArray").at(0)->y()), bits(v));
    EXPECT_EQ(bits(r.dictionary->get("sourceDivergenceValue").asDouble()), bits(v));
    const auto back = test::objectsUnder<Wave>(*r.dictionary, "waveArray").at(0);
    EXPECT_EQ(back->wavelengthUnit(), Wave::kNanometre);
    EXPECT_EQ(bits(back->wavelength()), bits(v));
  }
}

// The lens's angle field turns toward the field; Zemax gives the angles of the direction's
// tangents. A lens field atan(√2) = 54.735610° off the axis at 45° is the direction
// ∝ (1, 1, 1): the file says 45° and 45°. Read back, each field is the lens's again.
TEST(ZemaxWriter, AngleFieldsAreWrittenAsTangentAngles) {
  const double diagonal = std::atan(std::sqrt(2.0)) * 180 / M_PI / std::sqrt(2.0);
  const std::vector<std::pair<double, double>> lensFields = {{0, 0}, {diagonal, diagonal}, {2, 3}, {-7.5, 0.25}};
  Array fields;
  for (const auto& [x, y] : lensFields) {
    auto f = Field::field();
    f->setX(x);
    f->setY(y);
    fields.push_back(Value(f));
  }
  const std::string text = quietWrite(Dictionary{{"fieldType", "Angle"}, {"fieldArray", fields}});
  for (const char* word : {"XFLD", "YFLD"}) {
    SCOPED_TRACE(word);
    std::istringstream line(text.substr(text.find(word) + 4));
    double first = 1, second = 0;
    line >> first >> second;
    EXPECT_EQ(first, 0);
    EXPECT_NEAR(second, 45, 1e-12);
  }
  auto r = test::readZemaxText(text);
  ASSERT_TRUE(r.dictionary);
  const auto back = test::objectsUnder<Field>(*r.dictionary, "fieldArray");
  ASSERT_EQ(back.size(), lensFields.size());
  for (std::size_t i = 0; i < back.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(back[i]->x(), lensFields[i].first, 1e-12);
    EXPECT_NEAR(back[i]->y(), lensFields[i].second, 1e-12);
  }
}

TEST(ZemaxWriter, WhatZemaxTextCannotHoldIsRefused) {
  Array twelve;
  for (int i = 0; i < 12; ++i) twelve.push_back(Value(lens::Field::field()));
  struct Case {
    const char* name;
    Dictionary dictionary;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"field-type", Dictionary{{"fieldType", "Paraxial image height"}}, "Field type 'Paraxial image height'"},
      {"no-field-type", Dictionary{}, "is not supported by ZEMAX"},
      {"twelve-fields", Dictionary{{"fieldType", "Angle"}, {"fieldArray", twelve}}, "at most 10 fields"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      quietWrite(c.dictionary);
      ADD_FAILURE() << "no exception";
    } catch (const platform::Exception& e) {
      EXPECT_EQ(e.name(), "Unsupported");
      EXPECT_NE(e.reason().find(c.reason), std::string::npos) << e.reason();
    }
  }
}

TEST(ZemaxWriter, ApertureLinesReadBackAsTheirTypes) {
  for (int type : {0, 1, 2, 3, 4, 5}) {
    SCOPED_TRACE(type);
    auto r = test::readZemaxText(zemaxCommandFromSourceDivergenceType(type, 0.125));
    EXPECT_EQ(r.dictionary->get("sourceDivergenceType").asInt(), type);
    if (type != 3) {
      EXPECT_EQ(r.dictionary->get("sourceDivergenceValue").asDouble(), 0.125);
    }
  }
  EXPECT_EQ(zemaxCommandFromSourceDivergenceType(7, 1), "");
}

TEST(ZemaxWriter, NumbersKeepEveryDigitWhateverTheLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(zemaxNumber(1e-7), "1e-07");
  EXPECT_EQ(zemaxNumber(0.1), "0.1");
  EXPECT_EQ(zemaxNumber(-2.3641429999999999), "-2.364143");
  EXPECT_EQ(zemaxNumber(1.0 / 3), "0.3333333333333333");
  if (previous) std::setlocale(LC_NUMERIC, "C");
}

// Read → write → read must give the same lens; comparing the texts of the first and the
// second writing checks every value the writer writes. The documents' path: file → lens →
// dictionary of the lens → text. (A lens's own glasses are not written: see the glass
// section test of the reader.)
TEST(ZemaxWriter, WriteThenReadIsTheIdentity) {
  const char* files[] = {"fixtures/apertures.zmx",       "fixtures/solves.zmx",
                         "fixtures/pickups.zmx",         "fixtures/breaks.zmx",
                         "fixtures/break_orders.zmx",    "fixtures/parameters.zmx",
                         "fixtures/integer_fields.zmx",  "fixtures/unknown_glass.zmx",
                         "lens1.zmx",                    "lens2.zmx",
                         "lens_floa.zmx",                "lens_thorlabs_iso_8859_1.zmx",
                         "thorlabs_lj1598l1.zmx",        "simple_fold_mirror_up.zmx",
                         "one_mirror_up_45deg.zmx",      "flat_transmission_grating.zmx"};
  for (const char* file : files) {
    SCOPED_TRACE(file);
    auto first = test::readZemaxFile(file);
    ASSERT_TRUE(first.dictionary);
    const std::string written = quietWrite(lensDictionaryFromLens(*test::lensFromDictionary(*first.dictionary)));
    auto second = test::readZemaxText(written);
    ASSERT_TRUE(second.dictionary);
    EXPECT_TRUE(second.troubles.empty());
    const std::string again = quietWrite(lensDictionaryFromLens(*test::lensFromDictionary(*second.dictionary)));
    EXPECT_EQ(again, written);
  }
}

TEST(ZemaxWriter, RoundTripKeepsWhatOlderWritersLost) {
  auto r = test::readZemaxText(
      "OBNA 15 1\nFTYP 0\nYFLD 0 10\nVDYN 0 0.1\nVCYN 0 0.3\nSURF\n DISZ INFINITY\nSURF\n STOP\n CONI 1e-7\n"
      " CHIA 0.05\n DISZ 5\n GLAS ___BLANK 1 0 1.6 40 0 1 1\nSURF\n");
  const std::string text = quietWrite(*r.dictionary);
  EXPECT_NE(text.find("OBNA 15 1\n"), std::string::npos);
  EXPECT_NE(text.find(" CONI 1e-07\n"), std::string::npos);
  EXPECT_NE(text.find(" CHIA 0.05\n"), std::string::npos);
  EXPECT_NE(text.find(" GLAS ___BLANK 1 0 1.6 40 "), std::string::npos);
  auto back = test::readZemaxText(text);
  auto lens = test::lensFromDictionary(*back.dictionary);
  EXPECT_EQ(lens->sourceDivergenceType(), 5);
  const auto& s = lens->surfaceArray()[1];
  EXPECT_EQ(s->conicConstant(), 1e-7);
  EXPECT_EQ(s->curvatureSolveType(), 3);
  EXPECT_TRUE(s->glass()->referenceIndexIsVariable());
  EXPECT_TRUE(s->glass()->referenceAbbeIsVariable());
  EXPECT_DOUBLE_EQ(lens->fieldArray()[1]->PYA(), 0.1 + 0.3 - 1);
}

TEST(ZemaxWriter, LensDictionaryFromALensWritesThatLens) {
  auto r = test::readZemaxFile("lens1.zmx");
  auto lens = test::lensFromDictionary(*r.dictionary);
  const std::string fromLens = quietWrite(lensDictionaryFromLens(*lens));
  EXPECT_EQ(fromLens, quietWrite(*r.dictionary));
}

}  // namespace
}  // namespace orb::interchange
