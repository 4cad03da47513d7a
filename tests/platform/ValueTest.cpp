#include "platform/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/Color.h"

using namespace orb::platform;

TEST(Value, NumbersCompareAndHashByNumericValue) {
  struct Row {
    const char* name;
    Value a, b;
    bool equal;
  };
  const Row rows[] = {
      {"int-double", Value(1), Value(1.0), true},
      {"bool-int", Value(true), Value(1), true},
      {"negative-zero", Value(-0.0), Value(0), true},
      {"different", Value(2), Value(2.5), false},
      {"string-vs-number", Value("1"), Value(1), false},
      {"nil-vs-zero", Value(), Value(0), false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.a == r.b, r.equal);
    if (r.equal) {
      EXPECT_EQ(r.a.hash(), r.b.hash());
    }
  }
}

TEST(Value, WrongKindRaisesAClearException) {
  Value s("glass");
  try {
    s.asDouble();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArgumentException");
    EXPECT_NE(e.reason().find("string"), std::string::npos) << e.reason();
  }
  EXPECT_THROW(Value(3).asString(), Exception);
  EXPECT_THROW(Value(Color::make(1, 0, 0)).asObject<Exception>(), std::exception) ;
  EXPECT_EQ(Value().asObject(), nullptr);
  EXPECT_EQ(Value(2.9).asInt(), 2);
  EXPECT_EQ(Value(std::numeric_limits<double>::quiet_NaN()).asInt(), 0);
}

TEST(Dictionary, KeepsInsertionOrderAndComparesRegardlessOfIt) {
  Dictionary d;
  d.set("zeta", 1);
  d.set("alpha", 2);
  d.set(3, "three");
  d.set("zeta", 10);  // replacing keeps the place
  EXPECT_EQ(d.keys(), (Array{"zeta", "alpha", 3}));
  EXPECT_EQ(d.get("zeta").asInt(), 10);
  EXPECT_EQ(d.get(3.0).asString(), "three");  // numeric keys match across kinds
  EXPECT_TRUE(d.get("missing").isNil());

  Dictionary e{{3, "three"}, {"alpha", 2}, {"zeta", 10}};
  EXPECT_EQ(d, e);
  EXPECT_EQ(Value(d).hash(), Value(e).hash());
  EXPECT_TRUE(d.remove("alpha"));
  EXPECT_FALSE(d.remove("alpha"));
  EXPECT_EQ(d.keys(), (Array{"zeta", 3}));
  EXPECT_EQ(d.get(3).asString(), "three");
}

TEST(Value, DescriptionIsReadableAndLocaleFree) {
  Dictionary d{{"name", "N-BK7"}, {"nd", 1.5168}, {"tags", Array{1, "two words", Value()}}};
  EXPECT_EQ(Value(d).description(), "{name = N-BK7; nd = 1.5168; tags = (1, \"two words\", nil); }");
  EXPECT_EQ(Value(Data{0xde, 0xad, 0xbe, 0xef, 0x01}).description(), "<deadbeef 01>");
  EXPECT_EQ(Value(0.1).description(), "0.1");
  EXPECT_EQ(Value(Color::make(1, 0.5, 0)).description(), "Color(1, 0.5, 0, 1)");
}

TEST(Value, ObjectsCompareByTheirOwnEquality) {
  auto red = Color::make(1, 0, 0);
  EXPECT_EQ(Value(red), Value(Color::make(1, 0, 0)));
  EXPECT_FALSE(Value(red) == Value(Color::make(0, 1, 0)));
  EXPECT_EQ(Value(red).asObject<Color>(), red);
}
