#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/platform/ArrayExtensions.h"
#include "foundation/platform/DictionaryExtensions.h"
#include "foundation/platform/IndexSetExtensions.h"
#include "platform/Exception.h"
#include "platform/Object.h"
#include "platform/Value.h"

namespace orb::foundation {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

struct PairCase {
  const char* name;
  Array input;
  Array runToOne;
  Array annihilatePairs;
};

TEST(ArrayExtensions, CollapsesRunsAndCancelsPairs) {
  const std::vector<PairCase> cases = {
      {"empty", {}, {}, {}},
      {"single", {"0"}, {"0"}, {"0"}},
      {"pair", {"0", "0"}, {"0"}, {}},
      {"triple", {"0", "0", "0"}, {"0"}, {"0"}},
      {"five", {"0", "0", "0", "0", "0"}, {"0"}, {"0"}},
      {"pair-at-end", {"1", "2", "2"}, {"1", "2"}, {"1"}},
      {"neighbours-not-compared-again", {"1", "2", "2", "1"}, {"1", "2", "1"}, {"1", "1"}},
      {"no-runs", {"1", "2", "1"}, {"1", "2", "1"}, {"1", "2", "1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(runToOne(c.input), c.runToOne);
    EXPECT_EQ(annihilatePairs(c.input), c.annihilatePairs);
  }
  // Plain vectors and a caller's own equality work the same way.
  const std::vector<double> xs{1.0, 1.0 + 1e-12, 2.0};
  EXPECT_EQ(runToOne(xs, [](double a, double b) { return std::abs(a - b) < 1e-9; }), (std::vector<double>{1.0, 2.0}));
}

TEST(ArrayExtensions, MergesOneLevel) {
  const Array input{1, Array{2, 3}, "x", Array{}, Array{Array{4}}};
  EXPECT_EQ(merge(input), (Array{1, 2, 3, "x", Array{4}}));
  EXPECT_EQ(merge(std::vector<std::vector<int>>{{1}, {}, {2, 3}}), (std::vector<int>{1, 2, 3}));
}

TEST(ArrayExtensions, FindsElements) {
  const auto a = std::make_shared<int>(5);
  const auto b = std::make_shared<int>(5);
  const std::vector<std::shared_ptr<int>> objects{a};
  EXPECT_TRUE(containsObjectIdenticalTo(objects, a));
  EXPECT_FALSE(containsObjectIdenticalTo(objects, b));  // equal, but another object

  EXPECT_TRUE(firstObject(Array{}).isNil());
  EXPECT_EQ(firstObject(Array{"a", "b"}), Value("a"));
  EXPECT_EQ(firstObject(std::vector<std::shared_ptr<int>>{}), nullptr);
  const Array numbers{1, 4, 9};
  EXPECT_EQ(firstObjectMatchingPredicate(numbers, [](const Value& v) { return v.asInt() > 3; }), Value(4));
  EXPECT_TRUE(firstObjectMatchingPredicate(numbers, [](const Value& v) { return v.asInt() > 9; }).isNil());
}

// Records every key set on it: it has no keys of its own, so each lands here.
struct Shape : platform::Object {
  void setValueForUndefinedKey(std::string_view key, const Value& value) override {
    set.emplace_back(std::string(key), value);
  }
  std::vector<std::pair<std::string, Value>> set;
};
struct Circle : Shape {};

TEST(ArrayExtensions, SendsKeyedValuesAndChecksClasses) {
  const std::vector<std::shared_ptr<Shape>> shapes{platform::makeObject<Circle>(), platform::makeObject<Shape>()};
  setValues(shapes, Array{1.5}, "radius");
  ASSERT_EQ(shapes[0]->set.size(), 1u);
  EXPECT_EQ(shapes[0]->set[0], (std::pair<std::string, Value>{"radius", 1.5}));
  ASSERT_EQ(shapes[1]->set.size(), 1u);
  EXPECT_TRUE(shapes[1]->set[0].second.isNil());  // the values ran out

  EXPECT_EQ(valueForSelector(shapes, [](const auto& s, int add) { return static_cast<int>(s->set.size()) + add; }, 1),
            (std::vector<int>{2, 2}));

  EXPECT_FALSE(areKindOfClass<Circle>(shapes));
  EXPECT_TRUE(areKindOfClass<Circle>(std::vector<std::shared_ptr<Shape>>{shapes[0]}));
  EXPECT_TRUE(areKindOfClass<Circle>(std::vector<std::shared_ptr<Shape>>{}));
  EXPECT_TRUE(areKindOfClass<Shape>(Array{shapes[0], shapes[1]}));
  EXPECT_FALSE(areKindOfClass<Circle>(Array{shapes[0], shapes[1]}));
  EXPECT_FALSE(areKindOfClass<Shape>(Array{shapes[0], 1}));

  // Arrays of object values reach the same objects.
  setValues(Array{shapes[1]}, Array{"red"}, "colour");
  EXPECT_EQ(shapes[1]->set.back(), (std::pair<std::string, Value>{"colour", "red"}));
  EXPECT_TRUE(containsObjectIdenticalTo(Array{shapes[0]}, shapes[0]));
}

TEST(DictionaryExtensions, MakesKeyValueRowsSortedIgnoringCase) {
  const Dictionary byName{{"beta", 2}, {"Alpha", 1}, {"gamma", 3}};
  EXPECT_EQ(array(byName), (Array{Dictionary{{"key", "Alpha"}, {"value", 1}}, Dictionary{{"key", "beta"}, {"value", 2}},
                                  Dictionary{{"key", "gamma"}, {"value", 3}}}));

  // Keys that are not all strings keep the dictionary's order.
  const Dictionary mixed{{"b", 1}, {2, "two"}};
  EXPECT_EQ(arrayWithKeyKey(mixed, "k", "v"),
            (Array{Dictionary{{"k", "b"}, {"v", 1}}, Dictionary{{"k", 2}, {"v", "two"}}}));
}

TEST(DictionaryExtensions, TurnsParallelArraysIntoRows) {
  EXPECT_EQ(dictionaries(Dictionary{{"a", Array{1, 2}}, {"b", Array{3, 4}}}),
            (Array{Dictionary{{"a", 1}, {"b", 3}}, Dictionary{{"a", 2}, {"b", 4}}}));
  EXPECT_FALSE(dictionaries(Dictionary{}).has_value());

  // The first key sets the count; a shorter column is never read past its end.
  EXPECT_EQ(dictionaries(Dictionary{{"wavelength", Array{0.5, 0.6, 0.7}}, {"index", Array{1.5}}}),
            (Array{Dictionary{{"wavelength", 0.5}, {"index", 1.5}}, Dictionary{{"wavelength", 0.6}},
                   Dictionary{{"wavelength", 0.7}}}));
  EXPECT_EQ(dictionaries(Dictionary{{"a", Array{1}}, {"b", Array{2, 3}}}), (Array{Dictionary{{"a", 1}, {"b", 2}}}));

  try {
    dictionaries(Dictionary{{"a", Array{1}}, {"b", 2}});
    FAIL() << "expected an exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArgumentException");
  }
}

TEST(IndexSetExtensions, GivesContiguousRanges) {
  struct Case {
    const char* name;
    IndexSet indexes;
    IndexRange range;
  };
  const std::vector<Case> cases = {
      {"contiguous", {3, 4, 5}, {3, 3}},
      {"gap", {3, 5}, {kNotFound, 0}},
      {"single", {7}, {7, 1}},
      {"empty", {}, {kNotFound, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(range(c.indexes), c.range);
  }
  EXPECT_EQ(allIndexes({9, 2, 5}), (std::vector<std::size_t>{2, 5, 9}));
}

}  // namespace
}  // namespace orb::foundation
