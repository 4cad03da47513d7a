// The stock-lens catalog browsers as a user meets them: the File menu asks for a catalog,
// the window lists its entries and previews the selected one, and Open or a double-click
// makes that entry a lens document.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/MenuBar.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/tables/SurfaceTable.h"
#include "analysis/LayoutCalculator.h"
#include "app/windows/LensCatalogWindow.h"
#include "geometry/values/Extents.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Color.h"
#include "platform/KeyedUnarchiver.h"
#include "rendering/PlanarView.h"

namespace orb::app {
namespace {

const std::string kFixtures = std::string(ORB_TEST_DATA_DIR) + "/lenses/fixtures/";

struct LensCatalogWindowTest : ::testing::Test {
  std::vector<std::string> messages;
  std::vector<LensCatalogWindow::Kind> asked;
  std::string chosen;
  QWidget host;
  QMenuBar* bar = new QMenuBar(&host);

  void SetUp() override {
    registerLensDocument();
    installApplicationMenuBar(bar, &host);
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string&) { messages.push_back(text); });
    LensCatalogWindow::setFileChooser([this](QWidget*, LensCatalogWindow::Kind kind) -> std::optional<std::string> {
      asked.push_back(kind);
      return chosen;
    });
  }
  void TearDown() override {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<LensCatalogWindow*>(w)) delete w;
    for (const auto& document : DocumentController::shared().documents()) document->close();
    testing::settle();
    LensCatalogWindow::setFileChooser({});
    setMessagePresenter({});
  }

  /// Picks `file` from the File menu item `action`; the browser it shows.
  LensCatalogWindow* browseFromMenu(const char* action, const std::string& file) {
    chosen = kFixtures + file;
    QAction* item = nullptr;
    for (QMenu* menu : bar->findChildren<QMenu*>()) emit menu->aboutToShow();
    for (QAction* a : bar->findChildren<QAction*>())
      if (a->objectName() == QLatin1String(action)) item = a;
    if (!item || !item->isEnabled()) return nullptr;
    item->trigger();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* browser = qobject_cast<LensCatalogWindow*>(w); browser && browser->isVisible()) return browser;
    return nullptr;
  }
  static QStringList row(const LensCatalogWindow& browser, int index) {
    QStringList texts;
    const QTreeWidgetItem* item = browser.entryList()->topLevelItem(index);
    for (int c = 0; item && c < item->columnCount(); ++c) texts << item->text(c);
    return texts;
  }
  static std::shared_ptr<OBDocument> onlyDocument() {
    const auto& documents = DocumentController::shared().documents();
    return documents.size() == 1 ? std::dynamic_pointer_cast<OBDocument>(documents.front()) : nullptr;
  }
};

TEST_F(LensCatalogWindowTest, ZemaxCatalogListsPreviewsAndOpensItsEntries) {
  LensCatalogWindow* browser = browseFromMenu("openZemaxLensCatalog", "zemax_lens_catalog.txt");
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(asked, std::vector{LensCatalogWindow::Kind::Zemax});
  EXPECT_EQ(browser->windowTitle(), QStringLiteral("zemax_lens_catalog.txt"));
  // Text before the first "VERS" line is no entry.
  ASSERT_EQ(browser->entryCount(), 3);
  EXPECT_EQ(row(*browser, 0), (QStringList{"LA1000 Plano-convex", "LA1000", "100", "25.4"}));
  EXPECT_EQ(row(*browser, 1).front(), QStringLiteral("ONE"));
  EXPECT_EQ(row(*browser, 2).front(), QStringLiteral("LAST"));

  // The first entry is selected and previewed: object, a plane behind it, three
  // surfaces and the new image plane; f = R / (n − 1).
  const auto lens = browser->previewLens();
  ASSERT_TRUE(lens);
  EXPECT_EQ(lens->surfaceArray().size(), 6u);
  const auto* f = lens->paraxialData().find("focalLength");
  ASSERT_TRUE(f && f->isNumber());
  EXPECT_NEAR(f->asDouble(), 100, 0.05);
  EXPECT_TRUE(browser->entryText()->toPlainText().startsWith(QStringLiteral("VERS")));

  // The preview is the entry's layout, framed to fit: black outlines over the
  // glass in a rainbow colour, not a text.
  rendering::PlanarView* view = browser->layoutView();
  ASSERT_TRUE(view);
  ASSERT_TRUE(testing::pumpUntil([&] {
    const auto c = browser->layoutCalculator();
    return c->tracedRays() && !c->needsWork() && !c->hasWorkerThread();
  }));
  testing::settle();
  const auto box = browser->layoutCalculator()->extents();
  ASSERT_TRUE(box && box->active());
  EXPECT_LE(view->xMin(), box->zMin());
  EXPECT_GE(view->xMax(), box->zMax());
  EXPECT_LT(view->xMax() - view->xMin(), 1.5 * (box->zMax() - box->zMin()));
  const QImage image = view->grab().toImage();
  if (const char* dump = std::getenv("ORB_DUMP_PREVIEW")) image.save(QString::fromUtf8(dump));
  std::shared_ptr<platform::Color> tint;
  for (const auto& surface : lens->surfaceArray())
    if (!tint && surface->glass()) tint = surface->glassColor();
  ASSERT_TRUE(tint);
  const QColor glassColour = QColor::fromRgbF(float(tint->red()), float(tint->green()), float(tint->blue()));
  ASSERT_GT(glassColour.hsvSaturationF(), 0.5f);  // a rainbow colour, not the glass's own grey
  int outline = 0, glass = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor p = image.pixelColor(x, y);
      outline += p.valueF() < 0.3f;
      glass += p.hsvSaturationF() > 0.4f && std::abs(p.hsvHue() - glassColour.hsvHue()) < 10;
    }
  EXPECT_GT(outline, 40);
  EXPECT_GT(glass, 100);

  browser->openButton()->click();
  auto document = onlyDocument();
  ASSERT_NE(document, nullptr);
  EXPECT_TRUE(document->filePath().empty());
  ASSERT_EQ(document->lens()->surfaceArray().size(), 4u);
  EXPECT_DOUBLE_EQ(document->lens()->surfaceArray()[1]->curvature(), 0.019349845201238390);
  EXPECT_TRUE(messages.empty());
}

TEST_F(LensCatalogWindowTest, OsloCatalogShowsDescriptionsAndPrescriptionsAndOpensOnDoubleClick) {
  LensCatalogWindow* browser = browseFromMenu("openOsloLensCatalog", "oslo_catalog.lst");
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(asked, std::vector{LensCatalogWindow::Kind::Oslo});
  ASSERT_EQ(browser->entryCount(), 3);
  EXPECT_EQ(row(*browser, 0), (QStringList{"LA1000", "100", "25.4", "4"}));
  EXPECT_EQ(row(*browser, 1), (QStringList{"KPX099", "50", "12.7", "3"}));
  EXPECT_EQ(row(*browser, 2).front(), QStringLiteral("9TAIL"));
  // The later of two descriptions of a family is shown.
  EXPECT_TRUE(browser->previewLabel()->text().contains(QStringLiteral("Plano-convex lenses")));

  QTreeWidget* list = browser->entryList();
  list->setCurrentItem(list->topLevelItem(1));
  EXPECT_EQ(browser->entryText()->toPlainText(), QStringLiteral("LEN \"KPX099\"\nCV 0.02\nTH 3"));
  EXPECT_TRUE(browser->previewLabel()->text().contains(QStringLiteral("offset = 70, bytes = 26")));

  // An entry with no lens says so and opens nothing.
  list->setCurrentItem(list->topLevelItem(2));
  browser->openButton()->click();
  EXPECT_TRUE(DocumentController::shared().documents().empty());
  EXPECT_EQ(messages.size(), 1u);

  list->setCurrentItem(list->topLevelItem(0));
  emit list->itemDoubleClicked(list->topLevelItem(0), 0);
  auto document = onlyDocument();
  ASSERT_NE(document, nullptr);
  ASSERT_EQ(document->lens()->surfaceArray().size(), 4u);
  EXPECT_DOUBLE_EQ(document->lens()->surfaceArray()[1]->curvature(), 1 / 51.68);
  EXPECT_FALSE(document->isDocumentEdited());
}

// Any of a catalog's three files opens it; a file that is none says so.
TEST_F(LensCatalogWindowTest, OsloCatalogOpensFromItsDataFileAndMissingFilesAreSaid) {
  LensCatalogWindow* browser = browseFromMenu("openOsloLensCatalog", "oslo_catalog.dat");
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->entryCount(), 3);
  delete browser;
  EXPECT_EQ(browseFromMenu("openZemaxLensCatalog", "no_such_catalog.txt"), nullptr);
  EXPECT_EQ(messages, std::vector<std::string>{"The lens catalog could not be opened."});
}

/// What a drag of the rows `rows` of the browser's list carries, as the view asks for it.
std::unique_ptr<QMimeData> dragOf(const LensCatalogWindow& browser, std::initializer_list<int> rows) {
  QModelIndexList indexes;
  for (int r : rows) indexes << browser.entryList()->model()->index(r, 0);
  return std::unique_ptr<QMimeData>(browser.entryList()->model()->mimeData(indexes));
}

// An entry dragged out carries its Zemax text, that text archived, and its surfaces, which
// a lens's surface table takes in.
TEST_F(LensCatalogWindowTest, ZemaxEntryDragsOutAsTextArchiveAndSurfaces) {
  LensCatalogWindow* browser = browseFromMenu("openZemaxLensCatalog", "zemax_lens_catalog.txt");
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(browser->entryList()->dragEnabled());

  // The entry's text is the file's lines from its "VERS" line up to the next entry's.
  QFile file(QString::fromStdString(kFixtures + "zemax_lens_catalog.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString whole = QString::fromLatin1(file.readAll());
  const qsizetype from = whole.indexOf(QStringLiteral("VERS"));
  const QString entryText = whole.mid(from, whole.indexOf(QStringLiteral("VERS"), from + 1) - from);

  auto data = dragOf(*browser, {0});
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->text().trimmed(), entryText.trimmed());
  ASSERT_TRUE(data->hasFormat(kArchivedZemaxStringType));
  const QByteArray archive = data->data(kArchivedZemaxStringType);
  const auto unarchived = platform::KeyedUnarchiver::unarchiveObjectWithData(
      platform::Data(archive.begin(), archive.end()));
  ASSERT_TRUE(unarchived.isString());
  EXPECT_EQ(QString::fromStdString(unarchived.asString()), data->text());

  // Dropped on an empty lens's surface table: the four surfaces of the entry, R = 51.68 mm.
  auto lens = lens::Lens::create();
  SurfaceArrayController table(lens);
  ASSERT_TRUE(data->hasFormat(kSurfacePasteboardType));
  EXPECT_TRUE(table.acceptDrop(data.get(), 0, false, Qt::CopyAction, false));
  ASSERT_EQ(lens->surfaceArray().size(), 4u);
  EXPECT_DOUBLE_EQ(lens->surfaceArray()[1]->curvature(), 0.019349845201238390);
  EXPECT_DOUBLE_EQ(lens->surfaceArray()[2]->thickness(), 97.36);

  // Two entries are no lens: nothing to drag.
  EXPECT_EQ(dragOf(*browser, {0, 2}), nullptr);
}

TEST_F(LensCatalogWindowTest, OsloEntryDragsOutAsItsPrescriptionAndSurfacesButNoZemaxArchive) {
  LensCatalogWindow* browser = browseFromMenu("openOsloLensCatalog", "oslo_catalog.lst");
  ASSERT_NE(browser, nullptr);
  auto data = dragOf(*browser, {1});
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->text(), QStringLiteral("LEN \"KPX099\"\nCV 0.02\nTH 3"));
  EXPECT_FALSE(data->hasFormat(kArchivedZemaxStringType));
  EXPECT_TRUE(data->hasFormat(kSurfacePasteboardType));
  // An entry with no prescription has nothing to carry.
  EXPECT_EQ(dragOf(*browser, {2}), nullptr);
}

TEST_F(LensCatalogWindowTest, SearchKeepsTheEntriesWhoseNameContainsTheTextInAnyCase) {
  LensCatalogWindow* browser = browseFromMenu("openZemaxLensCatalog", "zemax_lens_catalog.txt");
  ASSERT_NE(browser, nullptr);
  const auto shown = [&] {
    QStringList names;
    for (int r = 0; r < browser->entryCount(); ++r)
      if (!browser->entryList()->topLevelItem(r)->isHidden()) names << browser->entryList()->topLevelItem(r)->text(0);
    return names;
  };
  browser->searchField()->setText(QStringLiteral("la"));
  EXPECT_EQ(shown(), (QStringList{"LA1000 Plano-convex", "LAST"}));
  EXPECT_FALSE(browser->previewLabel()->text().isEmpty());  // the first entry stays selected

  // Nothing matches: an empty list, no preview, nothing to open.
  browser->search(QStringLiteral("zz"));
  EXPECT_TRUE(shown().isEmpty());
  EXPECT_EQ(browser->searchField()->text(), QStringLiteral("zz"));
  EXPECT_TRUE(browser->previewLabel()->text().isEmpty());
  EXPECT_TRUE(browser->entryText()->toPlainText().isEmpty());
  EXPECT_FALSE(browser->openButton()->isEnabled());

  browser->searchField()->clear();
  EXPECT_EQ(shown().size(), 3);
}

// Writes the screenshot of the documentation when ORB_WRITE_SCREENSHOTS is set.
TEST_F(LensCatalogWindowTest, Screenshot) {
  if (!std::getenv("ORB_WRITE_SCREENSHOTS")) GTEST_SKIP() << "set ORB_WRITE_SCREENSHOTS to write docs/screenshots";
  LensCatalogWindow* browser = browseFromMenu("openOsloLensCatalog", "oslo_catalog.lst");
  ASSERT_NE(browser, nullptr);
  testing::settle();
  browser->repaint();
  const auto path = std::filesystem::path(ORB_SOURCE_DIR) / "docs/screenshots/oslo-lens-catalog.png";
  ASSERT_TRUE(browser->grab().save(QString::fromStdString(path.string())));
}

}  // namespace
}  // namespace orb::app
