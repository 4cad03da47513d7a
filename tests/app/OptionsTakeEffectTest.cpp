#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <string>
#include <vector>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/OBCalculator.h"
#include "app/document/OBDocument.h"
#include "app/windows/CalculatorWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "platform/Observation.h"

namespace orb::app {
namespace {

struct Window {
  const char* action;
  const char* example;  // a lens the analysis has something to show for
};

class OptionsTakeEffectTest : public testing::DoubleGaussDocumentTest<::testing::TestWithParam<Window>> {
 protected:
  std::shared_ptr<analysis::OBCalculator> calculator;
  int published = 0;

  void waitForWork() {
    ASSERT_TRUE(testing::pumpUntil([&] { return !calculator->needsWork() && !calculator->hasWorkerThread(); }))
        << "status: " << calculator->status();
    testing::settle();
  }
};

// Every option of every analysis window takes effect at once: changed alone, it makes the
// calculator publish a new result (a plot, or a status saying why there is none), with
// nothing else touched. A binding that writes a key nobody acts on fails here.
TEST_P(OptionsTakeEffectTest, EachOptionAloneMakesANewResult) {
  const std::string action = GetParam().action;
  if (std::string example = GetParam().example; !example.empty()) {
    document->close();
    std::string why;
    document = std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->openDocument(
        std::string(ORB_SOURCE_DIR) + "/examples/" + example, &why));
    ASSERT_TRUE(document) << why;
    DocumentController::shared().addDocument(document);
  }
  ASSERT_TRUE(document->performAction(action)) << action;
  CalculatorWindowController* window = nullptr;
  for (auto* controller : document->windowControllers())
    if (auto* c = qobject_cast<CalculatorWindowController*>(controller)) window = c;
  ASSERT_TRUE(window);
  window->window()->show();
  calculator = window->calculator();
  ASSERT_TRUE(calculator);
  ASSERT_TRUE(window->optionsPanelController());
  QWidget* panel = window->optionsPanelController()->panel();
  ASSERT_TRUE(panel);
  waitForWork();
  platform::Observation plots = calculator->addObserver("plotDictionary", [&](const platform::ObservedChange&) { ++published; });
  platform::Observation statuses = calculator->addObserver("status", [&](const platform::ObservedChange&) { ++published; });
  // The point-spread windows' image options redraw the image alone.
  platform::Observation images =
      calculator->addObserver("imageOfPSF", [&](const platform::ObservedChange&) { ++published; });

  int options = 0;
  for (QWidget* w : panel->findChildren<QWidget*>()) {
    const std::string key = w->objectName().toStdString();
    if (key.empty() || key.rfind("qt_", 0) == 0 || !w->isEnabled()) continue;
    auto* check = qobject_cast<QCheckBox*>(w);
    auto* spin = qobject_cast<QAbstractSpinBox*>(w);
    auto* box = qobject_cast<QComboBox*>(w);
    if (!check && !spin && !box) continue;
    if (box && box->count() < 2) continue;
    SCOPED_TRACE(action + " option " + key);
    ++options;
    const int before = published;
    // Change it, see a new result, then put it back.
    std::function<void()> undo;
    if (check) {
      check->toggle();
      undo = [check] { check->toggle(); };
    } else if (spin) {
      bool atTop = false;
      if (auto* i = qobject_cast<QSpinBox*>(spin)) atTop = i->value() >= i->maximum();
      if (auto* d = qobject_cast<QDoubleSpinBox*>(spin)) atTop = d->value() >= d->maximum();
      const int step = atTop ? -1 : 1;
      spin->stepBy(step);
      undo = [spin, step] { spin->stepBy(-step); };
    } else {
      const int was = box->currentIndex();
      const int other = was == 0 ? 1 : 0;
      box->setCurrentIndex(other);
      emit box->activated(other);
      undo = [box, was] {
        box->setCurrentIndex(was);
        emit box->activated(was);
      };
    }
    waitForWork();
    EXPECT_GT(published, before) << "nothing new was published";
    undo();
    waitForWork();
  }
  EXPECT_GT(options, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, OptionsTakeEffectTest,
    ::testing::Values(Window{"makeSpotDiagram", ""}, Window{"makeRayFan", ""}, Window{"makeOPD", ""},
                      Window{"makeLSA", ""}, Window{"makeCFS", ""}, Window{"makeFieldCurvature", ""},
                      Window{"makeDistortion", ""}, Window{"makeOSC", ""}, Window{"makeChiefRayAngle", ""},
                      Window{"makeCRS", ""}, Window{"makeGEE", ""}, Window{"makeGOTF", ""}, Window{"makeFGOTF", ""},
                      Window{"makeDOTF", ""}, Window{"makeDLSF", ""}, Window{"makeDPSF", ""}, Window{"makeHPSF", ""},
                      Window{"makeHLSF", ""}, Window{"makeHOTF", ""}, Window{"makeIntensityFan", ""},
                      Window{"makeIntensityScreen", "HomogenizingRod.orb"}, Window{"makeThroughput", ""},
                      Window{"makeAcceptance", ""}),
    [](const ::testing::TestParamInfo<Window>& info) { return std::string(info.param.action); });

}  // namespace
}  // namespace orb::app
