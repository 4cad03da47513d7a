#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "analysis/OBCalculator.h"
#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBDocument.h"
#include "app/windows/ExportSheet.h"
#include "app/windows/LensPlotWindowController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "platform/Color.h"
#include "rendering/PlotViewWithPOI.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

using platform::Dictionary;
using platform::Value;

const std::string kDoubleGauss = std::string(ORB_SOURCE_DIR) + "/examples/DoubleGauss.zmx";

struct SpotWindowTest : ::testing::Test {
  std::shared_ptr<OBDocument> document;
  RandomizableLensPlotWindowController* spot = nullptr;

  void SetUp() override {
    registerLensDocument();
    setMessagePresenter([](QWidget*, const std::string&, const std::string&) {});
    std::string why;
    document = std::static_pointer_cast<OBDocument>(
        DocumentController::shared().documentFactory()->openDocument(kDoubleGauss, &why));
    ASSERT_TRUE(document) << why;
    DocumentController::shared().addDocument(document);
    ASSERT_TRUE(document->performAction("makeSpotDiagram"));
    for (auto* c : document->windowControllers())
      if (auto* s = qobject_cast<RandomizableLensPlotWindowController*>(c)) spot = s;
    ASSERT_TRUE(spot);
    spot->window()->show();
  }
  void TearDown() override {
    // A copy: closing a document takes it out of the controller's list.
    for (const auto& d : std::vector(DocumentController::shared().documents())) d->close();
    testing::settle();
    setMessagePresenter({});
  }

  rendering::ZoomPlotView* view() const { return dynamic_cast<rendering::ZoomPlotView*>(spot->view()); }
  QWidget* panel() const { return spot->optionsPanelController()->panel(); }
  std::shared_ptr<analysis::OBCalculator> calculator() const { return spot->calculator(); }
  const platform::Array* curves() const {
    const auto& d = view()->plotDictionary();
    const Value* c = d.find(analysis::plot::kCurves);
    return c && c->isArray() ? &c->asArray() : nullptr;
  }
  /// True once the view holds a result of `count` spot curves whose colours `ready` accepts.
  bool waitForCurves(std::size_t count, const std::function<bool(const Dictionary&)>& ready = {}) {
    return testing::pumpUntil([&] {
      const auto* c = curves();
      if (!c || c->size() != count || calculator()->needsWork()) return false;
      for (const Value& curve : *c)
        if (ready && !ready(curve.asDictionary())) return false;
      return true;
    });
  }
};

std::shared_ptr<platform::Color> colorOf(const Dictionary& curve) {
  return curve.get(analysis::plot::kColor).asObject<platform::Color>();
}
std::shared_ptr<platform::Color> memberColor(const Dictionary& curve, const char* key) {
  auto member = curve.get(key).asObject();
  const Value c = member ? member->valueForKey("color") : Value();
  return c.isObject() ? c.asObject<platform::Color>() : nullptr;
}
double hueDistance(double a, double b) {
  const double d = std::abs(a - b);
  return std::min(d, 1 - d);
}

// The double Gauss as a new user sees it: three fields, three waves, one band per field,
// each band titled with its field and rms size; coloured by field, each band's dots (and
// legend samples) are drawn in its own field's colour and nowhere else.
TEST_F(SpotWindowTest, DoubleGaussShowsEachFieldInItsOwnBandAndColour) {
  ASSERT_TRUE(waitForCurves(9)) << "status: " << calculator()->status();
  std::set<std::string> titles;
  for (const Value& c : *curves()) titles.insert(c.asDictionary().get(analysis::plot::kLayerTitle).asString());
  ASSERT_EQ(titles.size(), 3u);
  for (int f = 1; f <= 3; ++f) {
    const auto at = std::next(titles.begin(), f - 1);
    EXPECT_EQ(at->rfind(platform::format("Field %d (", f), 0), 0u) << *at;
    EXPECT_NE(at->find("rms x "), std::string::npos) << *at;
    EXPECT_NE(at->find(" µm"), std::string::npos) << *at;
  }

  calculator()->setValueForKey("colorOption", "field");
  ASSERT_TRUE(waitForCurves(9, [](const Dictionary& c) {
    auto own = colorOf(c), field = memberColor(c, "field");
    return own && field && own->red() == field->red() && own->green() == field->green() && own->blue() == field->blue();
  }));
  // The hue of each field's colour, in band order (the first field's band at the bottom).
  std::vector<double> hues;
  for (std::size_t f = 0; f < 3; ++f) {
    auto c = colorOf((*curves())[3 * f].asDictionary());
    hues.push_back(QColor::fromRgbF(float(c->red()), float(c->green()), float(c->blue())).hsvHueF());
  }
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = i + 1; j < 3; ++j) ASSERT_GT(hueDistance(hues[i], hues[j]), 0.1) << i << " " << j;

  view()->repaint();
  const QImage image = view()->grab().toImage();
  const int bandHeight = image.height() / 3;
  int counted[3] = {0, 0, 0}, outside[3] = {0, 0, 0};
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel(image.pixel(x, y));
      if (pixel.hsvSaturationF() < 0.25f) continue;  // background, frame, text
      for (int f = 0; f < 3; ++f) {
        if (hueDistance(pixel.hsvHueF(), hues[f]) > 0.04) continue;
        const int band = 2 - std::min(2, y / bandHeight);  // image rows run top down
        (band == f ? counted : outside)[f]++;
      }
    }
  for (int f = 0; f < 3; ++f) {
    SCOPED_TRACE(f);
    EXPECT_GT(counted[f], 40);
    EXPECT_EQ(outside[f], 0);
  }
}

// Colours set in the field editor reach the open spot diagram at once (no lens edit in
// between) and are an edit of the document: closing would ask, saving keeps them.
TEST_F(SpotWindowTest, FieldColoursFromTheEditorRecolourTheSpotsAndMarkTheDocument) {
  calculator()->setValueForKey("colorOption", "field");
  ASSERT_TRUE(waitForCurves(9));
  ASSERT_FALSE(document->isDocumentEdited());
  ASSERT_TRUE(document->performAction("showFieldEditor"));
  SmartWindowController* editor = nullptr;
  for (auto* c : document->windowControllers())
    if (c->nibName() == "FieldEditor") editor = c;
  ASSERT_TRUE(editor);
  auto spotsShowFieldColours = [&](const Dictionary& c) {
    auto own = colorOf(c), field = memberColor(c, "field");
    return own && field && own->red() == field->red() && own->green() == field->green() && own->blue() == field->blue();
  };
  const struct {
    const char* how;
    std::function<void()> recolour;
  } cases[] = {
      {"a colour set on a row",
       [&] { document->lens()->fieldArray().at(0)->setValueForKey("color", Value(platform::Color::make(1, 0, 0))); }},
      {"Random Colors", [&] { editor->window()->findChild<QPushButton*>(QStringLiteral("randomizeColors"))->click(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    document->clearChangeCount();
    c.recolour();
    EXPECT_TRUE(document->isDocumentEdited());
    // Each band's spots in the colour its field now has in the document's lens.
    ASSERT_TRUE(waitForCurves(9, [&](const Dictionary& curve) {
      if (!spotsShowFieldColours(curve)) return false;
      const auto own = colorOf(curve);
      const auto field = curve.get("field").asObject();
      for (const auto& f : document->lens()->fieldArray())
        if (f->colorNumber() == field->valueForKey("colorNumber").asInt() && f->color())
          return own->red() == f->color()->red() && own->green() == f->color()->green() &&
                 own->blue() == f->color()->blue();
      return false;
    }));
  }
}

// The options panel shows the calculator's settings and writes the user's choices back.
TEST_F(SpotWindowTest, OptionsPanelIsBoundBothWays) {
  ASSERT_TRUE(waitForCurves(9));
  auto* keyX = panel()->findChild<QComboBox*>("keyX");
  auto* unitsX = panel()->findChild<QComboBox*>("unitsX");
  auto* legend = panel()->findChild<QCheckBox*>("showLegend");
  auto* fields = panel()->findChild<QComboBox*>("fieldOfInterestKeyPath");
  ASSERT_TRUE(keyX && unitsX && legend && fields);
  EXPECT_EQ(fields->count(), 4);  // all fields, then each
  EXPECT_EQ(fields->currentText().toStdString(), "All fields");
  EXPECT_TRUE(legend->isChecked());

  // A change made elsewhere (restored settings) shows.
  calculator()->setValueForKey("keyX", "thetax");
  EXPECT_EQ(keyX->currentText().toStdString(), "thetax");
  EXPECT_EQ(unitsX->currentData().toString().toStdString(), "mrad");  // the unit follows the key
  calculator()->setValueForKey("showLegend", false);
  EXPECT_FALSE(legend->isChecked());

  // The user's choices reach the calculator.
  emit fields->activated(2);
  EXPECT_EQ(calculator()->valueForKey("fieldOfInterestKeyPath").asString(),
            fields->itemData(2).toString().toStdString());
  legend->setChecked(true);
  EXPECT_TRUE(calculator()->valueForKey("showLegend").asBool());
  ASSERT_TRUE(waitForCurves(3));  // one field, three waves
}

// A click in the middle band marks a point of its field's spot; the status bar shows it as
// "name, x = …, y = …" with the point's own values; the right arrow moves to the next one.
TEST_F(SpotWindowTest, ClickSetsAPointOfInterestThatTheStatusBarDescribes) {
  ASSERT_TRUE(waitForCurves(9));
  auto* spotView = dynamic_cast<rendering::SpotView*>(spot->view());
  ASSERT_TRUE(spotView);
  auto* readout = spot->window()->findChild<QLabel*>("plotReadout");
  ASSERT_TRUE(readout);
  spotView->repaint();  // the bands are known once drawn
  testing::settle();

  const QPointF centre(spotView->width() / 2.0, spotView->height() / 2.0);
  for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent event(type, centre, spotView->mapToGlobal(centre), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(spotView, &event);
  }
  ASSERT_TRUE(spotView->hasPointOfInterest());
  const platform::Array drawn = spotView->filteredPlotDictionary().get("curves").asArray();
  const Dictionary& curve = drawn.at(spotView->indexOfCurveOfInterest()).asDictionary();
  // The middle band is the second field's.
  EXPECT_EQ(curve.get(analysis::plot::kLayer), (*curves())[3].asDictionary().get(analysis::plot::kLayer));

  auto expected = [&](std::size_t point) {
    const auto x = rendering::plotSeriesValues(curve.get("xSeries")), y = rendering::plotSeriesValues(curve.get("ySeries"));
    return curve.get("name").asString() + ", " + curve.get("xLabel").asString() + " = " +
           platform::format("%e", x.at(point)) + ", " + curve.get("yLabel").asString() + " = " +
           platform::format("%e", y.at(point));
  };
  const std::size_t first = spotView->indexOfPointOfInterest();
  ASSERT_TRUE(testing::pumpUntil([&] { return readout->text().toStdString() == expected(first); }))
      << readout->text().toStdString() << " vs " << expected(first);

  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QApplication::sendEvent(spotView, &right);
  const std::size_t count = rendering::plotSeriesValues(curve.get("xSeries")).size();
  EXPECT_EQ(spotView->indexOfPointOfInterest(), (first + 1) % count);
  EXPECT_TRUE(testing::pumpUntil([&] { return readout->text().toStdString() == expected((first + 1) % count); }))
      << readout->text().toStdString();
}

// Writes the screenshot of the documentation when ORB_WRITE_SCREENSHOTS is set.
TEST_F(SpotWindowTest, Screenshot) {
  if (!std::getenv("ORB_WRITE_SCREENSHOTS")) GTEST_SKIP() << "set ORB_WRITE_SCREENSHOTS to write docs/screenshots";
  ASSERT_TRUE(waitForCurves(9));
  testing::settle();
  spot->window()->repaint();
  const auto path = std::filesystem::path(ORB_SOURCE_DIR) / "docs/screenshots/double-gauss-spot-diagram.png";
  std::filesystem::create_directories(path.parent_path());
  ASSERT_TRUE(spot->window()->grab().save(QString::fromStdString(path.string())));

  // The export sheet over the same window, as Export opens it.
  spot->exportAction();
  ASSERT_TRUE(spot->exportSheetController() && spot->exportSheetController()->isSheetLoaded());
  QDialog* sheet = spot->exportSheetController()->sheet();
  testing::settle();
  ASSERT_TRUE(sheet->grab().save(QString::fromStdString((path.parent_path() / "double-gauss-export-sheet.png").string())));
  spot->exportSheetController()->endSheet();
}

}  // namespace
}  // namespace orb::app
