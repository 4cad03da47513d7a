#include "interchange/ZemaxWriter.h"

#include <gtest/gtest.h>

#include <clocale>

#include "InterchangeTestSupport.h"
#include "foundation/platform/StringExtensions.h"
#include "interchange/LensDictionary.h"
#include "lens/Field.h"
#include "lens/Wave.h"
#include "platform/Exception.h"

namespace orb::interchange {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

std::string quietWrite(const Dictionary& d) {
  return zemaxStringForModel(d, [](const std::string&) {});
}

TEST(ZemaxWriter, MinimalDictionaryLineByLine) {
  const std::string text = quietWrite(Dictionary{{"fieldType", "Angle"}});
  EXPECT_EQ(foundation::lines(text),
            (std::vector<std::string>{"VERS 0", "NAME Lens has no title.", "UNIT MM", "ENPD 0", "GFAC 0 0",
                                      "FTYP 0 0 0 0", "XFLD", "YFLD", "FWGT", "WAVL", "WWGT", "PWAV 1", "MNUM 1"}));
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
