// The slider panel on the double Gauss with the first and third surfaces' curvatures
// variable: the value/slider/delta rule, the half-range remembered by the key path's last
// component, and a drag that analyses follow live and that undoes as one step.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QUndoStack>
#include <cmath>
#include <filesystem>
#include <limits>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/ImmediateUpdate.h"
#include "analysis/OBCalculator.h"
#include "analysis/RaysAtSurfaceCalculator.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SlidersWindow.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/UserDefaults.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

using platform::Dictionary;
using platform::Value;

class SlidersWindowTest : public testing::DoubleGaussDocumentTest<> {
 protected:
  void SetUp() override {
    DoubleGaussDocumentTest::SetUp();
    if (HasFatalFailure()) return;
    auto& defaults = platform::UserDefaults::standard();
    m_savedDeltas = defaults.objectForKey(kSlidersDeltaDictionaryKey);
    defaults.removeObject(kSlidersDeltaDictionaryKey);
    const auto& surfaces = document->lens()->surfaceArray();
    surfaces[1]->setCurvatureSolveType(1);
    surfaces[3]->setCurvatureSolveType(1);
    ASSERT_TRUE(testing::pumpUntil([&] { return document->lens()->isReady() && document->snapshotIsFresh(); }));
    testing::settle();
    ASSERT_EQ(document->lens()->keyPathsForVariables(), (std::vector<std::string>{"s1.curvature", "s3.curvature"}));
  }
  void TearDown() override {
    analysis::setImmediateUpdate(false);
    DoubleGaussDocumentTest::TearDown();
    platform::UserDefaults::standard().setObject(kSlidersDeltaDictionaryKey, m_savedDeltas);
  }

  double lensValue(const analysis::Lens& lens, const char* keyPath) const {
    return lens.valueForKeyPath(keyPath).asDouble();
  }

  static void mouse(QWidget& w, QEvent::Type type, QPointF at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, at, w.mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
  }

 private:
  Value m_savedDeltas;
};

// The controller alone, on a copy of the lens and a private defaults file: the rule
// value = nominal + delta × slider checked by hand, the delta widening, the shared memory
// by last component, refused half-ranges and a variable that leaves and comes back.
TEST_F(SlidersWindowTest, ControllerKeepsTheRuleAndRemembersDeltasByLastComponent) {
  const auto dir = std::filesystem::temp_directory_path() / "orb-sliders-test";
  std::filesystem::remove_all(dir);
  platform::UserDefaults defaults(dir.string());
  int writes = 0;
  auto watch = defaults.addObserver(kSlidersDeltaDictionaryKey, [&](const platform::ObservedChange&) { ++writes; });

  auto lens = document->lens()->copy();
  const double c1 = lensValue(*lens, "s1.curvature"), c3 = lensValue(*lens, "s3.curvature");
  SlidersController sliders(defaults);
  sliders.setLens(lens);
  const auto& d = sliders.sliderDescriptors();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].keyPath, "s1.curvature");
  EXPECT_EQ(d[1].keyPath, "s3.curvature");
  EXPECT_EQ(d[0].nominalValue, c1);
  EXPECT_EQ(d[0].value, c1);
  EXPECT_EQ(d[0].slider, 0.0);
  EXPECT_EQ(d[0].delta, 0.1);  // nothing remembered yet

  // 0.25 above nominal with delta 0.1: the range widens to 0.25 and the knob sits at the
  // end; 0.05 below then lies inside it, at -0.05 / 0.25.
  sliders.setValue(0, c1 + 0.25);
  EXPECT_EQ(d[0].slider, 1.0);
  EXPECT_NEAR(d[0].delta, 0.25, 1e-15);
  EXPECT_NEAR(lensValue(*lens, "s1.curvature"), c1 + 0.25, 1e-15);
  sliders.setValue(0, c1 - 0.05);
  EXPECT_NEAR(d[0].slider, -0.2, 1e-12);
  EXPECT_NEAR(d[0].delta, 0.25, 1e-15);
  sliders.setValue(0, c1 - 0.75);
  EXPECT_EQ(d[0].slider, -1.0);
  EXPECT_NEAR(d[0].delta, 0.75, 1e-15);

  // A slider move writes nominal + delta × slider into the lens.
  sliders.setSlider(0, 0.5);
  EXPECT_NEAR(lensValue(*lens, "s1.curvature"), c1 + 0.375, 1e-15);
  sliders.setSlider(0, 0);

  // A new delta is stored under "curvature" once; the same number again is not written.
  sliders.setDelta(0, 0.002);
  EXPECT_EQ(defaults.dictionaryForKey(kSlidersDeltaDictionaryKey).get("curvature"), Value(0.002));
  EXPECT_EQ(writes, 1);
  sliders.setDelta(1, 0.002);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(d[1].delta, 0.002);
  // Half-ranges that would put the value off the slider are refused.
  for (double bad : {0.0, -0.01, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    sliders.setDelta(0, bad);
    EXPECT_EQ(d[0].delta, 0.002) << bad;
  }
  EXPECT_EQ(writes, 1);

  // Another controller (another document) starts every curvature from the shared delta.
  SlidersController other(defaults);
  other.setLens(document->lens()->copy());
  ASSERT_EQ(other.sliderDescriptors().size(), 2u);
  EXPECT_EQ(other.sliderDescriptors()[0].delta, 0.002);
  EXPECT_EQ(other.sliderDescriptors()[1].delta, 0.002);

  // s3 leaves the variables and comes back with its nominal and delta.
  sliders.setNominalValue(1, c3 + 0.001);
  sliders.setDelta(1, 0.004);
  lens->surfaceArray()[3]->setCurvatureSolveType(0);
  sliders.updateSliderDescriptors();
  ASSERT_EQ(d.size(), 1u);
  lens->surfaceArray()[3]->setCurvatureSolveType(1);
  sliders.updateSliderDescriptors();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[1].nominalValue, c3 + 0.001);
  EXPECT_EQ(d[1].delta, 0.004);

  // A rename map rewrites whole first components only; the rest of the path stays.
  sliders.setLensKeyPathUpdateDictionary(Dictionary{{"s1", Value("s2")}, {"s", Value("t")}});
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].keyPath, "s2.curvature");
  EXPECT_EQ(d[1].keyPath, "s3.curvature");

  watch.remove();
  std::filesystem::remove_all(dir);
}

// A drag of the first slider on the document: the flag is up only while the knob is held,
// the spot diagram redraws during the drag, and the whole drag is one undo step.
TEST_F(SlidersWindowTest, DragIsLiveAndUndoesAsOneStep) {
  // Curvatures of the double Gauss are a few hundredths: a small half-range keeps it sane.
  platform::UserDefaults::standard().setObject(kSlidersDeltaDictionaryKey, Dictionary{{"curvature", Value(0.002)}});
  auto* spot = showWindow<LensPlotWindowController>("makeSpotDiagram");
  ASSERT_TRUE(spot);
  auto* plot = dynamic_cast<rendering::ZoomPlotView*>(spot->view());
  ASSERT_TRUE(plot);
  ASSERT_TRUE(testing::pumpUntil([&] { return !plot->plotDictionary().empty() && !spot->calculator()->needsWork(); }));
  testing::settle();

  auto* sliders = showWindow<SlidersWindowController>("showSliders");
  ASSERT_TRUE(sliders);
  EXPECT_EQ(sliders->window()->windowTitle().toStdString().rfind("Sliders", 0), 0u);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(sliders->window()));
  const auto& d = sliders->slidersController()->sliderDescriptors();
  ASSERT_EQ(d.size(), 2u);
  const double c1 = lensValue(*document->lens(), "s1.curvature"), c3 = lensValue(*document->lens(), "s3.curvature");
  EXPECT_EQ(d[0].delta, 0.002);
  QSlider* knob = sliders->sliderAt(0);
  ASSERT_TRUE(knob);
  ASSERT_EQ(knob->value(), 0);
  testing::settle();
  const int undoSteps = document->undoStack().count();
  const Dictionary before = plot->plotDictionary();

  // Slider 0 puts the handle in the middle of the groove.
  const QPointF centre(knob->width() / 2.0, knob->height() / 2.0);
  EXPECT_FALSE(analysis::isImmediateUpdate());
  mouse(*knob, QEvent::MouseButtonPress, centre);
  ASSERT_TRUE(knob->isSliderDown());
  EXPECT_TRUE(analysis::isImmediateUpdate());
  mouse(*knob, QEvent::MouseMove, centre + QPointF(10, 0));
  mouse(*knob, QEvent::MouseMove, centre + QPointF(25, 0));
  ASSERT_GT(knob->value(), 0);
  const double s = double(knob->value()) / SlidersWindowController::kSliderSteps;
  EXPECT_NEAR(lensValue(*document->lens(), "s1.curvature"), c1 + 0.002 * s, 1e-15);
  // A lens handed over mid-drag is ignored: the knob keeps its row.
  sliders->slidersController()->setLens(nullptr);
  EXPECT_EQ(sliders->slidersController()->lens(), document->lens());
  EXPECT_EQ(d.size(), 2u);
  EXPECT_EQ(sliders->sliderAt(0), knob);
  // The spot diagram follows while the knob is still held.
  EXPECT_TRUE(testing::pumpUntil([&] { return plot->plotDictionary() != before; }));
  EXPECT_TRUE(analysis::isImmediateUpdate());
  EXPECT_TRUE(knob->isSliderDown());
  mouse(*knob, QEvent::MouseButtonRelease, centre + QPointF(25, 0));
  EXPECT_FALSE(analysis::isImmediateUpdate());

  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  testing::settle();
  EXPECT_EQ(document->undoStack().count(), undoSteps + 1);
  EXPECT_NEAR(lensValue(*document->lens(), "s1.curvature"), c1 + 0.002 * s, 1e-15);
  EXPECT_EQ(lensValue(*document->lens(), "s3.curvature"), c3);

  document->undo();
  ASSERT_TRUE(testing::pumpUntil([&] { return document->lens()->isReady(); }));
  testing::settle();
  EXPECT_EQ(lensValue(*document->lens(), "s1.curvature"), c1);
  // The panel shows the restored value on a centred knob.
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].value, c1);
  EXPECT_EQ(d[0].slider, 0.0);
  EXPECT_EQ(knob->value(), 0);
}

// "Hold Plot Scales" makes the open ray plots' scale only grow while sliding, "Free Plot
// Scales" lets it fit each result again.
TEST_F(SlidersWindowTest, HoldAndFreePlotScalesReachTheRayPlots) {
  auto* spot = showWindow<LensPlotWindowController>("makeSpotDiagram");
  ASSERT_TRUE(spot);
  auto rays = std::dynamic_pointer_cast<analysis::RaysAtSurfaceCalculator>(spot->calculator());
  ASSERT_TRUE(rays);
  EXPECT_FALSE(rays->scaleOnlyExpands());
  auto* sliders = showWindow<SlidersWindowController>("showSliders");
  ASSERT_TRUE(sliders);
  auto* hold = sliders->window()->findChild<QPushButton*>("makeSliderFriendly");
  auto* release = sliders->window()->findChild<QPushButton*>("makeSliderUnfriendly");
  ASSERT_TRUE(hold && release);
  EXPECT_EQ(hold->text(), QStringLiteral("Hold Plot Scales"));

  hold->click();
  EXPECT_TRUE(testing::pumpUntil([&] { return rays->scaleOnlyExpands(); }));
  release->click();
  EXPECT_TRUE(testing::pumpUntil([&] { return !rays->scaleOnlyExpands(); }));
}

}  // namespace
}  // namespace orb::app
