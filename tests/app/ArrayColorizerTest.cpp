#include "app/document/ArrayColorizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "materials/Glass.h"
#include "platform/Color.h"

namespace orb::app {
namespace {

struct Rgb {
  double r, g, b;
};

/// Hue, saturation and brightness recovered from RGB by the textbook formulas.
struct Hsb {
  double h, s, v;
};
Hsb hsbOf(const platform::Color& c) {
  const double mx = std::max({c.red(), c.green(), c.blue()});
  const double mn = std::min({c.red(), c.green(), c.blue()});
  const double d = mx - mn;
  double h = 0;
  if (d > 0) {
    if (mx == c.red())
      h = std::fmod((c.green() - c.blue()) / d + 6.0, 6.0);
    else if (mx == c.green())
      h = (c.blue() - c.red()) / d + 2.0;
    else
      h = (c.red() - c.green()) / d + 4.0;
  }
  return {h / 6.0, mx > 0 ? d / mx : 0, mx};
}

void expectColor(const std::shared_ptr<platform::Color>& c, Rgb want) {
  ASSERT_NE(c, nullptr);
  EXPECT_NEAR(c->red(), want.r, 1e-12);
  EXPECT_NEAR(c->green(), want.g, 1e-12);
  EXPECT_NEAR(c->blue(), want.b, 1e-12);
  EXPECT_EQ(c->alpha(), 1.0);
}

platform::Array freshObjects(std::size_t n) {
  platform::Array objects;
  for (std::size_t i = 0; i < n; ++i) objects.push_back(platform::Value(lens::Field::field()));
  return objects;
}

std::shared_ptr<platform::Color> colorOf(const platform::Value& v) { return v.asObject<lens::Field>()->color(); }

// Rainbow RGB worked by hand from the hexcone sectors (brightness 1).
TEST(ArrayColorizer, RainbowRunsFromVioletToRed) {
  struct Case {
    const char* name;
    std::size_t count;
    double saturation;
    std::vector<Rgb> colors;
  };
  const std::vector<Case> cases = {
      {"one object is violet", 1, 1.0, {{0.662, 0, 1}}},
      {"five objects", 5, 1.0, {{0.662, 0, 1}, {0, 0.5035, 1}, {0, 1, 0.331}, {0.8345, 1, 0}, {1, 0, 0}}},
      {"softened", 2, 0.7, {{0.7634, 0.3, 1}, {1, 0.3, 0.3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto objects = freshObjects(c.count);
    ArrayColorizer::rainbowColorsForArray(objects, c.saturation);
    for (std::size_t i = 0; i < c.count; ++i) expectColor(colorOf(objects[i]), c.colors[i]);
  }
  ArrayColorizer::rainbowColorsForArray({}, 1.0);  // nothing to colour, nothing to divide by
}

TEST(ArrayColorizer, ColoursAreSetObservably) {
  auto objects = freshObjects(2);
  int changes = 0;
  auto watch = objects[1].asObject<lens::Field>()->addObserver("color", [&](const platform::ObservedChange&) { ++changes; });
  ArrayColorizer::rainbowColorsForArray(objects, 1.0);
  EXPECT_EQ(changes, 1);
}

TEST(ArrayColorizer, RandomHuesKeepSaturationAndBrightness) {
  auto objects = freshObjects(6);
  ArrayColorizer::randomizeColorsForArray(objects, 0.7);
  std::set<double> hues;
  for (const auto& o : objects) {
    const auto color = colorOf(o);
    ASSERT_NE(color, nullptr);
    const Hsb hsb = hsbOf(*color);
    EXPECT_GE(hsb.h, 0.0);
    EXPECT_LE(hsb.h, 1.0);
    EXPECT_NEAR(hsb.s, 0.7, 1e-12);
    EXPECT_NEAR(hsb.v, 1.0, 1e-12);
    EXPECT_EQ(color->alpha(), 1.0);
    hues.insert(hsb.h);
  }
  EXPECT_EQ(hues.size(), objects.size());
}

struct LensColorTest : ::testing::Test {
  void SetUp() override {
    m_lens = lens::Lens::create();
    m_lens->stopWatchingSelf();
    for (int i = 0; i < 3; ++i) m_lens->insertInSurfaces(lens::Surface::create());
    m_lens->insertObjectInFieldArrayAtIndex(lens::Field::field(), 1);
    m_lens->insertObjectInWaveArrayAtIndex(lens::Wave::wave(), 1);
    m_lens->insertObjectInGlassArrayAtIndex(materials::Glass::glassWithIndex(1.5, 60), 0);
    m_lens->insertObjectInGlassArrayAtIndex(materials::Glass::glassWithIndex(1.7, 30), 1);
  }

  /// The colour of every member of every collection, keyed by collection.
  std::map<std::string, std::vector<std::shared_ptr<platform::Color>>> colors() const {
    std::map<std::string, std::vector<std::shared_ptr<platform::Color>>> out;
    for (const char* key : {"surfaceArray", "fieldArray", "waveArray", "glassArray"}) {
      const platform::Value members = m_lens->valueForKey(key);
      for (const auto& m : members.asArray()) out[key].push_back(m.asObject<foundation::VKColoredObject>()->color());
    }
    return out;
  }

  std::shared_ptr<lens::Lens> m_lens;
};

TEST_F(LensColorTest, EachActionColoursItsOwnCollection) {
  struct Case {
    const char* action;
    const char* collection;
    double saturation;
    bool rainbow;
  };
  const std::vector<Case> cases = {
      {"rainbowSurfaceColors", "surfaceArray", 0.7, true}, {"randomizeSurfaceColors", "surfaceArray", 0.7, false},
      {"rainbowFieldColors", "fieldArray", 1.0, true},     {"randomizeFieldColors", "fieldArray", 1.0, false},
      {"rainbowWaveColors", "waveArray", 1.0, true},       {"randomizeWaveColors", "waveArray", 1.0, false},
      {"rainbowGlassColors", "glassArray", 0.7, true},     {"randomizeGlassColors", "glassArray", 0.7, false},
  };
  EXPECT_EQ(colorActionNames().size(), cases.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action);
    const auto before = colors();
    ASSERT_TRUE(applyColorAction(*m_lens, c.action));
    const auto after = colors();
    for (const auto& [collection, members] : after) {
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (collection != c.collection) {
          EXPECT_EQ(members[i], before.at(collection)[i]) << collection << " must keep its colours";
          continue;
        }
        ASSERT_NE(members[i], nullptr);
        EXPECT_NE(members[i], before.at(collection)[i]);
        const Hsb hsb = hsbOf(*members[i]);
        EXPECT_NEAR(hsb.s, c.saturation, 1e-12);
        if (c.rainbow && i == 0) {
          EXPECT_NEAR(hsb.h, 0.777, 1e-12);
        }
        if (c.rainbow && i > 0 && i + 1 == members.size()) {
          EXPECT_NEAR(hsb.h, 0.0, 1e-12);
        }
      }
    }
  }
  EXPECT_FALSE(applyColorAction(*m_lens, "rainbowBeamColors"));
}

TEST_F(LensColorTest, RainbowsColourEveryCollection) {
  const auto before = colors();
  colorizeLensWithRainbows(*m_lens);
  for (const auto& [collection, members] : colors()) {
    SCOPED_TRACE(collection);
    ASSERT_FALSE(members.empty());
    EXPECT_NEAR(hsbOf(*members.front()).h, 0.777, 1e-12);
    EXPECT_NE(members.front(), before.at(collection).front());
  }
}

TEST_F(LensColorTest, GenerateRainbowReplacesTheWaves) {
  const auto oldWave = m_lens->waveArray().front();
  generateRainbow(*m_lens);
  const auto& waves = m_lens->waveArray();
  ASSERT_EQ(waves.size(), 5u);
  const double microns[] = {0.4, 0.475, 0.55, 0.625, 0.7};
  const double hues[] = {0.777, 0.58275, 0.3885, 0.19425, 0.0};
  int primaries = 0;
  for (std::size_t i = 0; i < waves.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(waves[i], oldWave);
    EXPECT_NEAR(waves[i]->wavelengthInMicrons(), microns[i], 1e-12);
    const Hsb hsb = hsbOf(*waves[i]->color());
    EXPECT_NEAR(hsb.h, hues[i], 1e-12);
    EXPECT_NEAR(hsb.s, 1.0, 1e-12);
    EXPECT_NEAR(hsb.v, 1.0, 1e-12);
    primaries += waves[i]->isPrimary();
  }
  EXPECT_EQ(primaries, 1);
}

TEST_F(LensColorTest, OwnsWavesFieldsAndGlassesButNotSurfaces) {
  struct Case {
    const char* name;
    const platform::Object* object;
    bool owned;
  };
  const auto strangerWave = m_lens->waveArray().front()->copy();  // equal, not the same
  const std::vector<Case> cases = {
      {"wave", m_lens->waveArray().back().get(), true},
      {"field", m_lens->fieldArray().back().get(), true},
      {"glass", m_lens->glassArray().front().get(), true},
      {"surface", m_lens->surfaceArray().front().get(), false},
      {"copy of a wave", strangerWave.get(), false},
      {"the lens", m_lens.get(), false},
      {"nothing", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(lensOwnsColoredObject(*m_lens, c.object), c.owned);
  }
}

}  // namespace
}  // namespace orb::app
