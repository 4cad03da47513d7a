#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <cmath>

#include "AppTestSupport.h"
#include "app/document/StartWindow.h"
#include "app/windows/IndexFitterWindow.h"
#include "app/windows/IndexPlotter.h"
#include "app/windows/OBWindow.h"
#include "app/windows/ObjectController.h"
#include "materials/IndexFitter.h"
#include "materials/ZemaxGlass.h"
#include "rendering/ZoomPlotView.h"

namespace orb::app {
namespace {

// The default rows: (λ µm, n) at the C, d and F lines.
constexpr double kLambda[3] = {0.656279, 0.587562, 0.486133};
constexpr double kIndex[3] = {1.518, 1.525, 1.532};

/// n0, A, B of Conrady's law n0 + A/λ + B/λ^3.5 through the three default rows (Cramer's rule).
std::array<double, 3> conradyThroughDefaultRows() {
  auto det = [](const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  };
  double m[3][3];
  for (int i = 0; i < 3; ++i) m[i][0] = 1, m[i][1] = 1 / kLambda[i], m[i][2] = std::pow(kLambda[i], -3.5);
  std::array<double, 3> x{};
  for (int k = 0; k < 3; ++k) {
    double mk[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) mk[i][j] = j == k ? kIndex[i] : m[i][j];
    x[static_cast<std::size_t>(k)] = det(mk) / det(m);
  }
  return x;
}

QAction* menuItem(QWidget& window, const char* name) {
  for (QAction* a : window.findChildren<QAction*>())
    if (a->objectName() == QLatin1String(name)) return a;
  return nullptr;
}

double shownChiSquared(const QLabel& label) {
  const QString text = label.text();
  return text.mid(text.indexOf('=') + 1).trimmed().toDouble();
}

struct IndexFitterWindowTest : ::testing::Test {
  void TearDown() override {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<OBWindow*>(w); window && window->isVisible()) window->close();
    testing::settle();
  }
};

// Window ▸ Index Fitter from the start window's menus; Fit on the default rows of a new
// fitter (every coefficient 0) lands on the Conrady law through them.
TEST_F(IndexFitterWindowTest, OpensFromTheMenuAndFitsTheDefaultRowsExactly) {
  StartWindow start;
  QAction* item = menuItem(start, "showIndexFitter");
  ASSERT_TRUE(item);
  ASSERT_TRUE(item->isEnabled());
  item->trigger();
  QPointer<IFWindowController> controller = showIndexFitter();  // the one the menu opened
  ASSERT_TRUE(controller);
  OBWindow* window = controller->window();
  ASSERT_TRUE(window->isVisible());
  EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Index Fitter")));
  EXPECT_FALSE(controller->toolbar()->isVisible());
  EXPECT_FALSE(controller->document());

  auto* rows = window->findChild<QTableView*>(QStringLiteral("indexTable"));
  auto* coefficients = window->findChild<QTableWidget*>(QStringLiteral("coefficientTable"));
  auto* chi = window->findChild<QLabel*>(QStringLiteral("chiSquared"));
  auto* fit = window->findChild<QPushButton*>(QStringLiteral("fit"));
  ASSERT_TRUE(rows && coefficients && chi && fit);
  EXPECT_EQ(rows->model()->rowCount(), 3);
  ASSERT_EQ(coefficients->rowCount(), 3);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(coefficients->item(r, 1)->text().toDouble(), 0);

  fit->click();
  ASSERT_TRUE(testing::pumpUntil([&] { return coefficients->item(0, 1)->text().toDouble() != 0; }));
  EXPECT_LT(shownChiSquared(*chi), 1e-12) << chi->text().toStdString();
  const auto expected = conradyThroughDefaultRows();
  const char* names[3] = {"n0", "A", "B"};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(coefficients->item(r, 0)->text().toStdString(), names[r]);
    EXPECT_NEAR(coefficients->item(r, 1)->text().toDouble(), expected[static_cast<std::size_t>(r)], 1e-8) << names[r];
  }
  // The plot shows the rows and the fitted curve, which passes through them.
  auto* view = dynamic_cast<rendering::ZoomPlotView*>(controller->view());
  ASSERT_TRUE(view);
  const platform::Value* curves = view->plotDictionary().find("curves");
  ASSERT_TRUE(curves && curves->isArray());
  EXPECT_EQ(curves->asArray().size(), 2u);
  auto glass = controller->indexFitter()->glass();
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(glass->indexAtWavelengthInMicrons(kLambda[i]), kIndex[i], 1e-9);

  // One window per application; a closed one gives way to a new one.
  EXPECT_EQ(showIndexFitter(), controller.data());
  controller->close();
  testing::settle();
  EXPECT_FALSE(controller);
  IFWindowController* again = showIndexFitter();
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->window()->isVisible());
}

TEST_F(IndexFitterWindowTest, TablesAndSingletonReachTheFitter) {
  IFWindowController* controller = showIndexFitter();
  auto fitter = controller->indexFitter();
  ASSERT_TRUE(fitter);
  auto* rows = controller->window()->findChild<QTableView*>(QStringLiteral("indexTable"));
  ASSERT_TRUE(rows);
  QAbstractItemModel* model = rows->model();

  // A typed index reaches the fitter's row; "+" adds the fitter's default row (550 nm, 1.5).
  ASSERT_TRUE(model->setData(model->index(1, 1), QStringLiteral("1.6"), Qt::EditRole));
  EXPECT_EQ(fitter->indexData()[1].asDictionary().find("indexOfRefraction")->asDouble(), 1.6);
  controller->window()->findChild<QPushButton*>(QStringLiteral("addIndexRow"))->click();
  ASSERT_EQ(fitter->countOfIndexData(), 4u);
  EXPECT_EQ(fitter->indexData()[3].asDictionary().find("wavelength")->asDouble(), 550);
  EXPECT_EQ(model->rowCount(), 4);
  // Rows the fitter makes itself show in the table.
  controller->window()->findChild<QPushButton*>(QStringLiteral("generateIndexData"))->click();
  EXPECT_EQ(model->rowCount(), 100);

  // The fitter's glass follows the singleton's selection.
  auto glass = platform::makeObject<materials::ZemaxGlass>();
  glass->setIsMutable(true);
  glass->setFormula(2);
  glass->setName("melt");
  controller->singleton()->setContent(glass);
  EXPECT_EQ(fitter->glass(), glass);
  auto* coefficients = controller->window()->findChild<QTableWidget*>(QStringLiteral("coefficientTable"));
  ASSERT_TRUE(testing::pumpUntil([&] { return coefficients->rowCount() == 6; }));  // Sellmeier 1: B1 C1 … C3
}

// Window ▸ Index Plotter from the start window: one plotter, whose toolbar (hidden until
// asked for) offers nothing that needs a lens document.
TEST_F(IndexFitterWindowTest, IndexPlotterOpensFromTheStartWindow) {
  StartWindow start;
  QAction* item = menuItem(start, "showIndexPlotter");
  ASSERT_TRUE(item && item->isEnabled());
  item->trigger();
  PlotWindowController* plotter = showIndexPlotter();
  ASSERT_TRUE(plotter && plotter->window()->isVisible());
  EXPECT_FALSE(plotter->document());
  const std::vector<std::string> items{"export", "zoomToFit", "glassLibrary", CalculatorWindowController::kFlexibleSpace,
                                       "options"};
  EXPECT_EQ(plotter->toolbarItemIdentifiers(), items);
  EXPECT_FALSE(plotter->isToolbarShown());
}

}  // namespace
}  // namespace orb::app
