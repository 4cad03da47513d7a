// Every window of the double Gauss at once, from the Debug menu: the windows open in
// their fixed order, unique ones once, and nothing is reported to the user. The 3-D view
// is among them, so this runs with the GL tests.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <algorithm>

#include "AnalysisWindowTestSupport.h"
#include "app/document/MenuBar.h"
#include "app/document/WindowActions.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "rendering/OBOpenGL.h"

namespace orb::app {
namespace {

// The order the windows are opened in, written out independently of the document's list.
const std::vector<std::string> kOrder = {
    "makeTrace", "makePupilDataWindow", "makeSourceDivergenceWindow", "makeLayout", "makeSolidView",
    "makeSpotDiagram", "makeIntensityFan", "makeOPD", "makeCRS", "makeThroughput", "makeAcceptance", "makeRayFan",
    "makeChiefRayAngle", "makeFieldCurvature", "makeOSC", "makeMeritVsParameter", "makeMeritEditor",
    "makeDistortion", "makeGEE", "makeGOTF", "makeFGOTF", "makeDOTF", "makeDLSF", "makeDPSF", "makeHPSF",
    "makeHLSF", "makeHOTF", "showTransformationMatrixListing", "showPrescriptionListing", "showSystemWindow",
    "showAdvancedOptions", "showScaleLensWindow", "showLensDataEditor", "showSeidelListing", "showSources",
    "showFieldEditor", "showVignettingFactors", "showBeamEditor", "showMeritFunctions", "showWaveEditor",
    "showGlassMonitor", "showOptimizer", "showSliders", "showLayout"};

struct ShowAllWindowsTest : testing::DoubleGaussDocumentTest<> {
  std::vector<std::string> messages;
  void SetUp() override {
    if (!rendering::BasicOpenGLView::contextAvailable()) GTEST_SKIP() << "no OpenGL context on this display";
    DoubleGaussDocumentTest::SetUp();
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string& informative) {
      messages.push_back(text + " | " + informative);
    });
  }
  std::vector<std::string> nibNames() const {
    std::vector<std::string> names;
    for (auto* c : document->windowControllers()) names.push_back(c->nibName());
    return names;
  }
};

TEST_F(ShowAllWindowsTest, OpensEveryAvailableWindowInOrderFromTheDebugMenuWithoutAMessage) {
  document->makeWindowControllers();  // the windows a user sees on opening the file
  testing::settle();
  ASSERT_FALSE(document->windowControllers().empty());
  std::vector<std::string> expected = nibNames();
  std::vector<std::string> unavailable;
  for (const auto& action : kOrder) {
    const WindowAction* a = windowAction(action);
    ASSERT_NE(a, nullptr) << action;
    if (!windowActionIsAvailable(*a)) {
      unavailable.push_back(action);
      continue;
    }
    if (a->unique && std::find(expected.begin(), expected.end(), a->nibName) != expected.end()) continue;
    expected.push_back(a->nibName);
  }
  if (!unavailable.empty()) {
    std::string names;
    for (const auto& u : unavailable) names += " " + u;
    std::printf("[ INFO     ] windows not built yet, passed over:%s\n", names.c_str());
  }

  // As the user asks: the item of the Debug menu on the document's first window.
  QMenuBar bar(document->windowControllers().front()->window());
  installMenuBar(&bar, document->windowControllers().front()->window());
  QAction* item = nullptr;
  for (QAction* a : bar.findChildren<QAction*>())
    if (a->objectName() == QLatin1String("showAllPossibleWindows")) item = a;
  ASSERT_NE(item, nullptr);
  for (QMenu* menu : bar.findChildren<QMenu*>()) emit menu->aboutToShow();
  EXPECT_TRUE(item->isEnabled());
  item->trigger();
  testing::settle();

  EXPECT_EQ(nibNames(), expected);
  EXPECT_TRUE(messages.empty()) << messages.front();
  for (auto* c : document->windowControllers()) EXPECT_TRUE(c->window()->isVisible()) << c->nibName();

  // Asked again, the unique windows are brought front rather than doubled.
  const auto unique = std::count_if(kOrder.begin(), kOrder.end(), [](const std::string& action) {
    const WindowAction* a = windowAction(action);
    return a->unique && windowActionIsAvailable(*a);
  });
  const auto before = document->windowControllers().size();
  EXPECT_EQ(document->showAllPossibleWindows(), unavailable);
  testing::settle();
  EXPECT_EQ(document->windowControllers().size(), before + (kOrder.size() - unavailable.size()) - unique);
  EXPECT_TRUE(messages.empty()) << messages.front();
}

}  // namespace
}  // namespace orb::app
