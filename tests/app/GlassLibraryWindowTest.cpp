#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/document/StartWindow.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/GlassControllers.h"
#include "app/windows/GlassLibraryWindow.h"
#include "app/windows/OBWindow.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"

namespace orb::app {
namespace {

const std::string kGlassResources = std::string(ORB_SOURCE_DIR) + "/resources/glass";

QAction* menuItem(QWidget& window, const char* name) {
  for (QAction* a : window.findChildren<QAction*>())
    if (a->objectName() == QLatin1String(name)) return a;
  return nullptr;
}

std::optional<std::size_t> rowOfGlass(const GlassCatalogController& glasses, const std::string& name) {
  const auto& rows = glasses.arrangedObjects();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (auto glass = std::dynamic_pointer_cast<materials::Glass>(rows[i]); glass && glass->name() == name) return i;
  return std::nullopt;
}

int visibleWindowsTitled(const QString& title) {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<OBWindow*>(w) && w->isVisible() && w->windowTitle() == title) ++n;
  return n;
}

// The system catalog is every maker's AGF file of the resources, read as a glass library.
struct GlassLibraryWindowTest : ::testing::Test {
  void SetUp() override {
    registerLensDocument();  // as at launch: glasses archive for drags
    OBAppDel::waitForSystemGlassCatalogLoader();
    OBAppDel::setSystemGlassCatalogLoader(
        [] { return materials::GlassCatalog::zemaxGlassLibraryWithPath(kGlassResources); });
    OBAppDel::shared().resetGlassCatalog();
  }
  void TearDown() override {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<OBWindow*>(w); window && window->isVisible()) window->close();
    testing::settle();
    OBAppDel::setSystemGlassCatalogLoader({});
    OBAppDel::shared().resetGlassCatalog();
  }
};

TEST_F(GlassLibraryWindowTest, OpensFromTheMenuListsTheSystemCatalogReadOnlyAndComesBackTheSame) {
  StartWindow start;
  QAction* item = menuItem(start, "showGlassLibrary");
  ASSERT_TRUE(item);
  ASSERT_TRUE(item->isEnabled());
  item->trigger();
  QPointer<GlassLibraryWindowController> controller = showGlassLibrary();  // the one the menu opened
  ASSERT_TRUE(controller);
  QPointer<OBWindow> window = controller->window();
  ASSERT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Glass Library"));

  // Every glass of every maker is listed, with its maker.
  const auto catalog = OBAppDel::systemGlassCatalog();
  ASSERT_TRUE(catalog);
  ASSERT_GT(catalog->count(), 1000u);
  GlassCatalogController& glasses = *controller->glassController();
  EXPECT_EQ(std::size_t(glasses.rowCount()), catalog->count());
  int catalogColumn = -1;
  for (int c = 0; c < glasses.columnCount(); ++c)
    if (glasses.headerData(c, Qt::Horizontal).toString() == QStringLiteral("Catalog")) catalogColumn = c;
  ASSERT_GE(catalogColumn, 0);

  // N-BK7 by search: SCHOTT's datasheet gives nd 1.5168.
  controller->searchField()->setText(QStringLiteral("n-bk7"));
  EXPECT_LT(glasses.rowCount(), 20);
  const auto row = rowOfGlass(glasses, "N-BK7");
  ASSERT_TRUE(row);
  glasses.setSelectionIndexes({*row});
  ASSERT_TRUE(controller->shownGlass());
  EXPECT_EQ(controller->shownGlass()->name(), "N-BK7");
  EXPECT_NEAR(controller->shownGlass()->referenceIndex(), 1.5168, 1e-9);
  EXPECT_TRUE(controller->shownGlassText().contains(QStringLiteral("nd 1.5168 ")));
  EXPECT_EQ(glasses.data(glasses.index(int(*row), catalogColumn)).toString(), QStringLiteral("SCHOTT"));

  // Dragged out, the row carries the glass (for a surface to take).
  std::unique_ptr<QMimeData> drag(glasses.writeRows({*row}));
  EXPECT_TRUE(drag->hasFormat(QString::fromLatin1(kGlassPasteboardType)));

  // Read only: no clone, removal, colour or export buttons; the actions that would change
  // the catalog leave it as it is (no surface uses these glasses, so an editable list
  // would lose them all); the table takes no drops and the coefficients no edits.
  for (const char* name : {"cloneAsModelGlasses", "cloneAsMutableGlasses", "removeUnusedGlasses", "rainbowColors",
                           "randomizeColors", "exportGlasses"})
    EXPECT_FALSE(window->findChild<QPushButton*>(QString::fromUtf8(name))) << name;
  EXPECT_FALSE(glasses.isEditable());
  EXPECT_FALSE(controller->glassTable()->acceptDrops());
  const auto nbk7 = controller->shownGlass();
  const auto colorBefore = nbk7->valueForKey("color");
  glasses.cloneAsMutableGlasses();
  glasses.cloneAsModelGlasses();
  glasses.rainbowColors();
  controller->searchField()->clear();
  glasses.removeUnusedGlasses();
  EXPECT_EQ(std::size_t(glasses.rowCount()), catalog->count());
  EXPECT_EQ(controller->shownGlass(), nbk7);
  EXPECT_EQ(nbk7->valueForKey("color"), colorBefore);
  EXPECT_EQ(catalog->count(), materials::GlassCatalog::zemaxGlassLibraryWithPath(kGlassResources)->count());
  Glasser& coefficients = *controller->glasser();
  ASSERT_GT(coefficients.rowCount(), 0);
  EXPECT_FALSE(coefficients.flags(coefficients.index(0, Glasser::ValueColumn)) & Qt::ItemIsEditable);
  EXPECT_FALSE(coefficients.setData(coefficients.index(0, Glasser::ValueColumn), 2.0));

  // Asked again, the same window comes front; the index plotter is a button away.
  item->trigger();
  EXPECT_EQ(showGlassLibrary(), controller.data());
  EXPECT_EQ(controller->window(), window.data());
  EXPECT_EQ(visibleWindowsTitled(QStringLiteral("Glass Library")), 1);
  auto* plotter = window->findChild<QPushButton*>(QStringLiteral("showIndexPlotter"));
  ASSERT_TRUE(plotter);
  plotter->click();
  bool plotterShown = false;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<OBWindow*>(w) && w->isVisible() && w->windowTitle().startsWith(QStringLiteral("Index Plotter")))
      plotterShown = true;
  EXPECT_TRUE(plotterShown);
}

// A reload of the catalog re-reads the list from the new catalog, the shown glass kept by name.
TEST_F(GlassLibraryWindowTest, FollowsACatalogReset) {
  QPointer<GlassLibraryWindowController> controller = showGlassLibrary();
  ASSERT_TRUE(controller);
  GlassCatalogController& glasses = *controller->glassController();
  const auto row = rowOfGlass(glasses, "N-BK7");
  ASSERT_TRUE(row);
  glasses.setSelectionIndexes({*row});

  const auto schott = materials::GlassCatalog::glassCatalogWithContentsOfZemaxFile(kGlassResources + "/SCHOTT.AGF");
  ASSERT_TRUE(schott);
  OBAppDel::setSystemGlassCatalogLoader([schott] { return schott; });
  OBAppDel::shared().resetGlassCatalog();

  EXPECT_EQ(std::size_t(glasses.rowCount()), schott->count());
  const auto shown = controller->shownGlass();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->name(), "N-BK7");
  EXPECT_EQ(shown, schott->lookupGlassWithName("N-BK7"));  // the new catalog's glass, not the released one
}

}  // namespace
}  // namespace orb::app
