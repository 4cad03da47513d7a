#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QUndoStack>
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/LensRoles.h"
#include "analysis/OBCalculator.h"
#include "app/document/WindowActions.h"
#include "app/tables/SurfaceTable.h"
#include "app/windows/OBWindow.h"
#include "app/windows/ScaleLensWindow.h"
#include "app/windows/SurfaceDataWindow.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/SurfaceTypeRegistry.h"
#include "platform/NotificationCenter.h"
#include "rendering/ZoomPlotView.h"
#include "tracing/LensSummary.h"

namespace orb::app {
namespace {

// The double Gauss example's curvatures and thicknesses (examples/DoubleGauss.zmx).
constexpr double kCurvature[] = {
    0, 0.0184661123755,  0.00655643550205, 0.0278159319645,  0, 0.0449036188725, 0, -0.0389331840376,
    0, -0.0270414832578, 0.00509120123329, -0.0148925761253, 0};
constexpr double kThickness[] = {INFINITY, 8.746658, 0.5, 14.0,     3.776966, 14.25306, 12.42813,
                                 3.776966, 10.83352, 0.5, 6.858506, 57.31454, 0};

struct SurfaceDataWindowTest : testing::DoubleGaussDocumentTest<> {
  std::vector<std::string> messages;

  void SetUp() override {
    DoubleGaussDocumentTest::SetUp();
    setMessagePresenter(
        [this](QWidget*, const std::string& text, const std::string& info) { messages.push_back(text + " " + info); });
  }

  std::shared_ptr<lens::Lens> lens() const { return document->lens(); }
  std::shared_ptr<lens::Surface> surface(std::size_t i) const { return lens()->surfaceArray().at(i); }

  template <class Controller>
  Controller* open(const char* action) {
    EXPECT_TRUE(document->performAction(action));
    for (auto* c : document->windowControllers())
      if (auto* w = qobject_cast<Controller*>(c)) return w;
    return nullptr;
  }
  SurfaceArrayController* surfaceTable() {
    auto* window = open<SurfaceDataWindowController>("showLensDataEditor");
    return window ? window->surfaceArrayController() : nullptr;
  }

  /// Waits for the idle-time snapshot, so the next change registers its own
  /// undo step.
  bool quiet() {
    return testing::pumpUntil([&] { return document->snapshotIsFresh(); });
  }
  /// Runs `edit` and lets the change cycles it starts run (waiting for one when
  /// `expectOne`); answers how many ran.
  template <class F>
  int changeCycles(F&& edit, bool expectOne = true) {
    int ready = 0;
    auto observation = platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document->reference(), [&](const platform::Notification&) { ++ready; });
    edit();
    if (expectOne) testing::pumpUntil([&] { return ready > 0 && !lens()->isBusy(); });
    testing::settle();
    return ready;
  }
};

// A radius typed into the table goes into the lens in one change cycle (one
// undo step, named as any lens edit), an open spot diagram recomputes, and Undo
// brings the old radius back into the lens and the table.
TEST_F(SurfaceDataWindowTest, EditingARadiusIsOneUndoableChangeThatReachesTheSpotWindow) {
  auto* spot = open<RandomizableLensPlotWindowController>("makeSpotDiagram");
  ASSERT_TRUE(spot);
  spot->window()->show();
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(spot->view());
  ASSERT_TRUE(view);
  auto spotIsDrawn = [&] { return view->plotDictionary().get("curves").isArray() && !spot->calculator()->needsWork(); };
  ASSERT_TRUE(testing::pumpUntil(spotIsDrawn));
  const platform::Dictionary before = view->plotDictionary();

  auto* table = surfaceTable();
  ASSERT_TRUE(table);
  const int radius = table->columnOf("radius");
  ASSERT_GE(radius, 0);
  ASSERT_TRUE(quiet());
  const int cycles = changeCycles([&] { EXPECT_TRUE(table->setData(table->index(1, radius), QStringLiteral("60"))); });
  EXPECT_EQ(cycles, 1);
  EXPECT_DOUBLE_EQ(surface(1)->curvature(), 1.0 / 60.0);
  ASSERT_EQ(document->undoStack().count(), 1);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "lens change");
  EXPECT_TRUE(testing::pumpUntil([&] { return spotIsDrawn() && !(view->plotDictionary() == before); }));

  document->undo();
  EXPECT_DOUBLE_EQ(surface(1)->curvature(), kCurvature[1]);
  testing::settle();
  EXPECT_EQ(table->data(table->index(1, radius)).toString(), QString::asprintf("%.4f", 1.0 / kCurvature[1]));
}

// A typed text the cell cannot take keeps the old value, adds no undo step and
// says why in the window's status line: a word in a radius, a negative
// semi-diameter, an infinite gap after the object. Only the object distance
// may be infinite.
TEST_F(SurfaceDataWindowTest, RefusedEntriesKeepTheValueAndSayWhyInTheStatusLine) {
  auto* window = open<SurfaceDataWindowController>("showLensDataEditor");
  ASSERT_TRUE(window);
  auto* table = window->surfaceArrayController();
  auto* bar = window->window()->findChild<QStatusBar*>();
  ASSERT_TRUE(table && bar);
  ASSERT_TRUE(quiet());
  const auto undoSteps = document->undoStack().count();
  const int radius = table->columnOf("radius"), thickness = table->columnOf("thickness"),
            semidiameter = table->columnOf("semidiameter");
  const double semidiameterBefore = surface(1)->semidiameter();
  const struct {
    int row, column;
    const char* text;
    const char* reason;
    const char* quantity;
  } refusals[] = {
      {1, radius, "abc", "\"abc\" is not a number", "radius"},
      {1, semidiameter, "-3", "\"-3\" is negative", "semi-diameter"},
      {1, thickness, "inf", "\"inf\" is not a finite number", "thickness"},
      {2, thickness, "NaN", "\"NaN\" is not a number", "thickness"},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.text);
    const QModelIndex cell = table->index(r.row, r.column);
    const QString shown = table->data(cell).toString();
    EXPECT_EQ(changeCycles([&] { EXPECT_FALSE(table->setData(cell, QString::fromUtf8(r.text))); }, false), 0);
    EXPECT_EQ(table->data(cell).toString(), shown);
    EXPECT_EQ(bar->currentMessage().toStdString(),
              std::string(r.reason) + ": the " + r.quantity + " keeps " + shown.trimmed().toStdString());
  }
  EXPECT_DOUBLE_EQ(surface(1)->curvature(), kCurvature[1]);
  EXPECT_DOUBLE_EQ(surface(1)->thickness(), kThickness[1]);
  EXPECT_DOUBLE_EQ(surface(2)->thickness(), kThickness[2]);
  EXPECT_DOUBLE_EQ(surface(1)->semidiameter(), semidiameterBefore);
  EXPECT_EQ(document->undoStack().count(), undoSteps);

  // The object distance: a finite one, then infinity again. An accepted entry
  // takes the refusal away.
  // The lens takes an edit at once; its change cycle is not waited for, so a
  // refusal here fails without waiting out the cycle that would not come.
  const QModelIndex object = table->index(0, thickness);
  EXPECT_TRUE(table->setData(object, QStringLiteral("1000")));
  EXPECT_DOUBLE_EQ(surface(0)->thickness(), 1000);
  EXPECT_TRUE(bar->currentMessage().isEmpty()) << bar->currentMessage().toStdString();
  EXPECT_TRUE(table->setData(object, QStringLiteral(" Inf ")));
  EXPECT_EQ(surface(0)->thickness(), INFINITY);
  testing::settle();
}

// Rows 2–4 turned round: the surfaces come in reverse order with reversed
// shapes; each gap stays between the same pair of surfaces, so row 2 (old
// surface 4) now carries surface 3's thickness and glass, row 3 (old 3) surface
// 2's, row 4 (old 2) surface 4's.
TEST_F(SurfaceDataWindowTest, FlippingRowsTwoToFourReversesThemAndKeepsTheGaps) {
  auto* table = surfaceTable();
  ASSERT_TRUE(table);
  const auto s2 = surface(2), s3 = surface(3), s4 = surface(4), stop = lens()->stopSurface();
  ASSERT_TRUE(quiet());
  table->setSelectionIndexes({2, 3, 4});
  EXPECT_EQ(changeCycles([&] { table->flipSurfaces(); }), 1);

  EXPECT_EQ(surface(2), s4);
  EXPECT_EQ(surface(3), s3);
  EXPECT_EQ(surface(4), s2);
  EXPECT_EQ(surface(2)->curvature(), 0.0);
  EXPECT_DOUBLE_EQ(surface(3)->curvature(), -kCurvature[3]);
  EXPECT_DOUBLE_EQ(surface(4)->curvature(), -kCurvature[2]);
  EXPECT_DOUBLE_EQ(surface(2)->thickness(), kThickness[3]);
  EXPECT_DOUBLE_EQ(surface(3)->thickness(), kThickness[2]);
  EXPECT_DOUBLE_EQ(surface(4)->thickness(), kThickness[4]);
  EXPECT_EQ(surface(2)->glassName().value_or(""), "SK16");
  EXPECT_FALSE(surface(3)->glassName());
  EXPECT_EQ(surface(4)->glassName().value_or(""), "F5");
  EXPECT_EQ(lens()->surfaceArray().size(), 13u);
  EXPECT_EQ(lens()->stopSurface(), stop);
  EXPECT_EQ(table->selectionIndexes(), (std::vector<std::size_t>{2, 3, 4}));

  document->undo();
  EXPECT_DOUBLE_EQ(surface(2)->curvature(), kCurvature[2]);
  EXPECT_DOUBLE_EQ(surface(4)->thickness(), kThickness[4]);
}

// A type change replaces the surface in the lens; the table shows the new
// surface and keeps the selection.
TEST_F(SurfaceDataWindowTest, ATypeChangeKeepsTheSelection) {
  auto* table = surfaceTable();
  ASSERT_TRUE(table);
  const auto& types = lens::SurfaceTypeRegistry::types();
  const auto other = std::find_if(types.begin(), types.end(), [](const std::string& t) { return t != "Standard"; });
  ASSERT_NE(other, types.end());
  const auto old = surface(3);
  table->setSelectionIndexes({3});
  old->setType(*other);
  ASSERT_NE(surface(3), old);
  EXPECT_EQ(surface(3)->type(), *other);
  EXPECT_DOUBLE_EQ(surface(3)->curvature(), kCurvature[3]);
  EXPECT_EQ(table->surfaceAt(3), surface(3));
  EXPECT_EQ(table->selectionIndexes(), (std::vector<std::size_t>{3}));
  EXPECT_EQ(table->data(table->index(3, table->columnOf("type"))).toString().toStdString(), *other);
}

// Removing the stop hands it to the surface before the removed one, or to the
// one after it when the removed stop followed the object surface.
TEST_F(SurfaceDataWindowTest, RemovingTheStopSurfaceReassignsTheStop) {
  struct Case {
    std::size_t stopRow;
    std::size_t newStopRow;
    double newStopCurvature;
  };
  for (const Case& c : {Case{6, 5, kCurvature[5]}, Case{1, 1, kCurvature[2]}}) {
    SCOPED_TRACE(c.stopRow);
    TearDown();
    SetUp();
    auto* table = surfaceTable();
    ASSERT_TRUE(table);
    table->setSelectionIndexes({c.stopRow});
    table->setSurfaceAsStop();
    ASSERT_TRUE(surface(c.stopRow)->isStop());
    table->remove();
    ASSERT_EQ(lens()->surfaceArray().size(), 12u);
    ASSERT_TRUE(lens()->stopSurface());
    EXPECT_EQ(lens()->stopSurface(), surface(c.newStopRow));
    EXPECT_DOUBLE_EQ(surface(c.newStopRow)->curvature(), c.newStopCurvature);
    EXPECT_EQ(table->headerData(static_cast<int>(c.newStopRow), Qt::Vertical).toString().toStdString(), "STO");
  }
}

// Zemax text dropped between rows becomes surfaces there, without its object
// surface, solves or stop flag; text that is no lens inserts nothing; pasted
// text names the glass of the selected surfaces.
TEST_F(SurfaceDataWindowTest, ZemaxTextDropInsertsItsSurfaces) {
  auto* table = surfaceTable();
  ASSERT_TRUE(table);
  const auto stop = lens()->stopSurface();
  QMimeData zemax;
  zemax.setText(
      QStringLiteral("SURF 0\n  CURV 0\n  DISZ INFINITY\n"
                     "SURF 1\n  STOP\n  CURV 0.02\n  DISZ 5\n  GLAS SK2 1 0 1.60738 56.65\n"
                     "SURF 2\n  CURV -0.02\n  DISZ 2\n"));
  ASSERT_TRUE(table->dropMimeData(&zemax, Qt::CopyAction, 3, 0, QModelIndex()));
  ASSERT_EQ(lens()->surfaceArray().size(), 15u);
  EXPECT_DOUBLE_EQ(surface(3)->radiusOfCurvature(), 50.0);
  EXPECT_DOUBLE_EQ(surface(4)->radiusOfCurvature(), -50.0);
  EXPECT_DOUBLE_EQ(surface(3)->thickness(), 5.0);
  EXPECT_EQ(surface(3)->glassName().value_or(""), "SK2");
  EXPECT_DOUBLE_EQ(surface(5)->curvature(), kCurvature[3]);
  EXPECT_EQ(lens()->stopSurface(), stop);
  EXPECT_EQ(table->selectionIndexes(), (std::vector<std::size_t>{3, 4}));

  QMimeData words;
  words.setText(QStringLiteral("a shopping list, not a lens"));
  EXPECT_FALSE(table->dropMimeData(&words, Qt::CopyAction, 3, 0, QModelIndex()));
  EXPECT_EQ(lens()->surfaceArray().size(), 15u);

  table->setSelectionIndexes({2});
  QMimeData glass;
  glass.setText(QStringLiteral("F2"));
  ASSERT_TRUE(table->pasteFromMimeData(&glass));
  EXPECT_EQ(surface(2)->glassName().value_or(""), "F2");
  EXPECT_EQ(lens()->surfaceArray().size(), 15u);
}

// Copied surfaces (one travels as a surface, several as an array) paste as new
// surfaces at the selection, without the stop flag; data under the surface type
// that is no archive of surfaces is refused.
TEST_F(SurfaceDataWindowTest, CopiedSurfacesPasteAsNewSurfacesWithoutTheStop) {
  auto* table = surfaceTable();
  ASSERT_TRUE(table);
  const auto stop = lens()->stopSurface();
  ASSERT_EQ(stop, surface(6));
  std::unique_ptr<QMimeData> two(table->writeSurfaceRows({6, 7}));
  std::unique_ptr<QMimeData> one(table->writeSurfaceRows({1}));
  ASSERT_TRUE(two->hasFormat(kSurfacePasteboardType) && one->hasFormat(kSurfacePasteboardType));

  table->setSelectionIndexes({2});
  ASSERT_TRUE(table->pasteFromMimeData(two.get()));
  ASSERT_EQ(lens()->surfaceArray().size(), 15u);
  EXPECT_EQ(surface(2)->curvature(), 0.0);
  EXPECT_DOUBLE_EQ(surface(2)->thickness(), kThickness[6]);
  EXPECT_DOUBLE_EQ(surface(3)->curvature(), kCurvature[7]);
  EXPECT_NE(surface(2), stop);
  EXPECT_FALSE(surface(2)->isStop());
  EXPECT_EQ(lens()->stopSurface(), stop);

  table->setSelectionIndexes({1});
  ASSERT_TRUE(table->pasteFromMimeData(one.get()));
  ASSERT_EQ(lens()->surfaceArray().size(), 16u);
  EXPECT_DOUBLE_EQ(surface(1)->curvature(), kCurvature[1]);
  EXPECT_EQ(surface(1)->glassName().value_or(""), "SK2");
  EXPECT_NE(surface(1), surface(2));

  QMimeData forged;
  forged.setData(kSurfacePasteboardType, QByteArray("bplist00 not an archive of surfaces"));
  EXPECT_FALSE(table->pasteFromMimeData(&forged));
  EXPECT_EQ(lens()->surfaceArray().size(), 16u);
}

// Scaling by 25.4 multiplies every length: radii and thicknesses, and with them
// the paraxial focal length (the example's is 100 mm); the whole scale is one
// undo step.
TEST_F(SurfaceDataWindowTest, ScalingByTwentyFivePointFourIsOneUndoableScaleLens) {
  auto* scale = open<ScaleLensWindowController>("showScaleLensWindow");
  ASSERT_TRUE(scale);
  auto* field = scale->window()->findChild<QLineEdit*>(QStringLiteral("scaleFactor"));
  ASSERT_TRUE(field);
  const double focalLength = tracing::focalLength(*lens());
  ASSERT_NEAR(focalLength, 100.0, 2.0);
  ASSERT_TRUE(quiet());
  field->setText(QStringLiteral("25.4"));
  EXPECT_EQ(changeCycles([&] { EXPECT_TRUE(scale->makeItSo()); }), 1);
  EXPECT_TRUE(messages.empty());
  for (std::size_t i = 1; i < 13; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(surface(i)->curvature(), kCurvature[i] / 25.4, 1e-15);
    EXPECT_NEAR(surface(i)->thickness(), kThickness[i] * 25.4, 1e-9);
  }
  EXPECT_NEAR(tracing::focalLength(*lens()), 25.4 * focalLength, 1e-9 * focalLength);
  ASSERT_EQ(document->undoStack().count(), 1);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "scale lens");

  document->undo();
  for (std::size_t i = 1; i < 13; ++i) {
    EXPECT_DOUBLE_EQ(surface(i)->curvature(), kCurvature[i]);
    EXPECT_DOUBLE_EQ(surface(i)->thickness(), kThickness[i]);
  }
}

// A factor that is no finite number above zero is refused with a message: a
// typed word (which number fields elsewhere read as infinity), infinity itself,
// 0, a negative one.
TEST_F(SurfaceDataWindowTest, ScaleFactorsThatAreNoPositiveNumberAreRefused) {
  auto* scale = open<ScaleLensWindowController>("showScaleLensWindow");
  ASSERT_TRUE(scale);
  auto* field = scale->window()->findChild<QLineEdit*>(QStringLiteral("scaleFactor"));
  auto* button = scale->window()->findChild<QPushButton*>(QStringLiteral("makeItSo"));
  ASSERT_TRUE(field && button);
  ASSERT_TRUE(quiet());
  for (const char* text : {"inches", "inf", "0", "-1", ""}) {
    SCOPED_TRACE(text);
    messages.clear();
    field->setText(QString::fromUtf8(text));
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(changeCycles([&] { EXPECT_FALSE(scale->makeItSo()); }, false), 0);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_DOUBLE_EQ(surface(1)->curvature(), kCurvature[1]);
    EXPECT_DOUBLE_EQ(surface(1)->thickness(), kThickness[1]);
  }
  EXPECT_EQ(document->undoStack().count(), 0);
  field->setText(QStringLiteral("2"));
  EXPECT_TRUE(button->isEnabled());
}

// The editor is on the Lens menu; folding the lower part away and back twice
// gives the window its frame and minimum size again, and the upper part never
// changes size.
TEST_F(SurfaceDataWindowTest, LowerPartFoldsAwayAndBack) {
  for (const char* action : {"showLensDataEditor", "showScaleLensWindow"})
    EXPECT_TRUE(windowActionIsAvailable(*windowAction(action))) << action;
  auto* window = open<SurfaceDataWindowController>("showLensDataEditor");
  ASSERT_TRUE(window);
  window->window()->show();
  testing::settle();
  auto* upper = window->window()->findChild<QWidget*>(QStringLiteral("upperPart"));
  ASSERT_TRUE(upper && window->toolbar());
  EXPECT_EQ(window->toolbar()->objectName().toStdString(), "SDE");
  const QRect frame = window->window()->geometry();
  const QSize minimum = window->window()->minimumSize();
  const QSize upperSize = upper->size();
  for (int i = 0; i < 2; ++i) {
    window->showHideTheLowerPart();
    testing::settle();
    EXPECT_TRUE(window->lowerPartIsHidden());
    EXPECT_EQ(window->window()->geometry().height(), frame.height() - 330);
    EXPECT_EQ(window->window()->geometry().top(), frame.top());
    EXPECT_EQ(upper->size(), upperSize);
    window->showTheLowerPart();
    testing::settle();
    EXPECT_FALSE(window->lowerPartIsHidden());
    EXPECT_EQ(window->window()->geometry(), frame);
    EXPECT_EQ(window->window()->minimumSize(), minimum);
  }
}

}  // namespace
}  // namespace orb::app
