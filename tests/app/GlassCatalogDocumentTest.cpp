// Glass catalogs opened as documents: the window lists the catalog and shows the selected
// glass; search, clones, removal of unused glasses, drags out, coefficient edits, export and
// saving as the user meets them. The reference is the AGF file itself (MISC.AGF: eight
// glasses, SILICA first).

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "AppTestSupport.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/GlassCatalogDocument.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/GlassControllers.h"
#include "app/windows/GlassCatalogWindow.h"
#include "app/windows/OBWindow.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "materials/ZemaxGlass.h"
#include "platform/PropertyList.h"

namespace orb::app {
namespace {

const std::string kMisc = std::string(ORB_SOURCE_DIR) + "/resources/glass/MISC.AGF";
const std::vector<std::string> kMiscNames{"SILICA", "F_SILICA", "CAF2", "BAF2", "MGF2", "SAPPHIRE", "LIF", "CALCITE"};

std::vector<std::string> names(const std::vector<ObjectPtr>& objects) {
  std::vector<std::string> out;
  for (const auto& o : objects) out.push_back(std::dynamic_pointer_cast<materials::Glass>(o)->name());
  return out;
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> tokens(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string t; in >> t;) out.push_back(t);
  return out;
}

struct GlassCatalogDocumentTest : ::testing::Test {
  std::vector<std::string> messages;
  std::optional<std::string> chosen;
  QTemporaryDir dir;

  void SetUp() override {
    registerLensDocument();
    registerGlassCatalogDocument();
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string&) { messages.push_back(text); });
    OBAppDel::shared().chooseFileToOpen = [this](QWidget*) { return chosen; };
  }
  void TearDown() override {
    for (const auto& document : DocumentController::shared().documents()) document->close();
    testing::settle();
    OBAppDel::shared().chooseFileToOpen = nullptr;
    GlassCatalogWindowController::setExportPathChooser({});
    setMessagePresenter({});
  }

  /// MISC.AGF opened as the user opens it from File > Open.
  std::shared_ptr<AGFDocument> openMisc() {
    chosen = kMisc;
    OBAppDel::shared().openDocument(nullptr);
    const auto& documents = DocumentController::shared().documents();
    return documents.size() == 1 ? std::dynamic_pointer_cast<AGFDocument>(documents.front()) : nullptr;
  }
  static GlassCatalogWindowController* windowOf(const std::shared_ptr<AGFDocument>& document) {
    const auto controllers = document->windowControllers();
    return controllers.size() == 1 ? dynamic_cast<GlassCatalogWindowController*>(controllers.front()) : nullptr;
  }
  std::string path(const char* name) const { return dir.filePath(QString::fromUtf8(name)).toStdString(); }
};

TEST_F(GlassCatalogDocumentTest, AgfFileOpensAsCatalogDocumentShowingItsFirstGlass) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(document->fileType(), AGFDocument::kZemaxGlassCatalogType);
  EXPECT_EQ(document->displayName(), "MISC.AGF");
  auto* window = windowOf(document);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->window()->isVisible());
  auto* controller = window->glassController();
  EXPECT_EQ(names(controller->arrangedObjects()), kMiscNames);
  EXPECT_EQ(window->glassTable()->model()->rowCount(), 8);

  // The first glass as the file gives it: nd, Vd and the three Sellmeier pairs.
  ASSERT_NE(window->shownGlass(), nullptr);
  EXPECT_EQ(window->shownGlass()->name(), "SILICA");
  EXPECT_TRUE(window->shownGlassText().contains(QStringLiteral("1.458464")));
  EXPECT_TRUE(window->shownGlassText().contains(QStringLiteral("67.8214")));
  const auto& rows = window->glasser()->coefficientData();
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_DOUBLE_EQ(rows[0].asDictionary().get("coefficientValue").asDouble(), 0.6961663);
  EXPECT_DOUBLE_EQ(rows[5].asDictionary().get("coefficientValue").asDouble(), 97.934002537921);
  EXPECT_FALSE(document->isDocumentEdited());

  // Opening the same file again brings the open document forward.
  EXPECT_EQ(OBAppDel::shared().openDocumentWithPath(kMisc, nullptr), document);
  EXPECT_EQ(DocumentController::shared().documents().size(), 1u);
}

TEST_F(GlassCatalogDocumentTest, FilesWithoutGlassesDoNotOpen) {
  const std::pair<const char*, const char*> cases[] = {{"empty.agf", ""},
                                                       {"prose.AGF", "Not a catalog at all.\nJust two lines.\n"}};
  for (const auto& [name, text] : cases) {
    std::ofstream(path(name)) << text;
    const auto* opener = DocumentController::shared().openerForPath(path(name));
    ASSERT_NE(opener, nullptr) << name;
    std::string error;
    EXPECT_EQ((*opener)(path(name), &error), nullptr) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  std::string error;
  EXPECT_EQ((*DocumentController::shared().openerForPath(path("missing.agf")))(path("missing.agf"), &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(DocumentController::shared().openerForPath(path("lens.zmx")), nullptr);
  EXPECT_TRUE(DocumentController::shared().documents().empty());
}

TEST_F(GlassCatalogDocumentTest, SearchKeepsTheSelectedGlassOrSelectsTheFirstRow) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  auto* window = windowOf(document);
  auto* controller = window->glassController();
  QLineEdit* field = window->searchField();
  ASSERT_NE(field, nullptr);

  struct Case {
    const char* selectBefore;  // by name, in the list before the search
    const char* search;
    std::vector<std::string> listed;
    const char* selectedAfter;  // null: nothing selected
  };
  const std::vector<std::string> fluorides{"CAF2", "BAF2", "MGF2"};
  const Case cases[] = {
      {"BAF2", "f2", fluorides, "BAF2"},    // still listed: stays selected (any case)
      {"SILICA", "F2", fluorides, "CAF2"},  // filtered out: the first row
      {"MGF2", "", kMiscNames, "MGF2"},     // an empty search lists every glass
      {"LIF", "nothing like it", {}, nullptr},
  };
  for (const auto& c : cases) {
    field->setText(QString());
    const auto& all = controller->arrangedObjects();
    const auto before =
        std::find(kMiscNames.begin(), kMiscNames.end(), std::string(c.selectBefore)) - kMiscNames.begin();
    ASSERT_EQ(all.size(), kMiscNames.size());
    controller->setSelectionIndexes({std::size_t(before)});
    field->setText(QString::fromUtf8(c.search));
    EXPECT_EQ(names(controller->arrangedObjects()), c.listed) << c.search;
    const auto selected = controller->selectedGlass();
    if (c.selectedAfter) {
      ASSERT_NE(selected, nullptr) << c.search;
      EXPECT_EQ(selected->name(), c.selectedAfter) << c.search;
      ASSERT_NE(window->shownGlass(), nullptr);
      EXPECT_EQ(window->shownGlass()->name(), c.selectedAfter);
    } else {
      EXPECT_EQ(selected, nullptr) << c.search;
      EXPECT_EQ(window->shownGlass(), nullptr);
    }
  }
  EXPECT_EQ(document->countOfGlassCatalog(), 8u);  // searching never changes the catalog
}

TEST_F(GlassCatalogDocumentTest, ClonesOfRowsThreeAndSevenLandAtThreeAndSeven) {
  struct Case {
    bool model;
    std::string clone3, clone7;
  };
  for (const Case& c : {Case{true, "BAF2", "CALCITE"}, Case{false, "m-BAF2", "m-CALCITE"}}) {
    const auto document = openMisc();
    ASSERT_NE(document, nullptr);
    auto* controller = windowOf(document)->glassController();
    controller->setSelectionIndexes({3, 7});
    if (c.model)
      controller->cloneAsModelGlasses();
    else
      controller->cloneAsMutableGlasses();
    // Inserted at the indexes 3 and 7 of the grown list, the later clone ahead of LIF.
    const std::vector<std::string> expected{"SILICA", "F_SILICA", "CAF2",   c.clone3, "BAF2",
                                            "MGF2",   "SAPPHIRE", c.clone7, "LIF",    "CALCITE"};
    EXPECT_EQ(names(controller->arrangedObjects()), expected);
    EXPECT_EQ(document->countOfGlassCatalog(), 10u);
    EXPECT_EQ(controller->selectionIndexes(), (std::vector<std::size_t>{3, 7}));
    const auto clone = document->objectInGlassCatalogAtIndex(3);
    const auto source = document->objectInGlassCatalogAtIndex(4);
    EXPECT_NE(clone, source);
    EXPECT_DOUBLE_EQ(clone->referenceIndex(), 1.474478);  // BAF2's nd in the file
    if (c.model) {
      EXPECT_EQ(typeid(*clone), typeid(materials::Glass));
      EXPECT_EQ(clone->version(), std::optional<std::string>("model"));
      EXPECT_FALSE(clone->isDummy());
    } else {
      EXPECT_TRUE(clone->isMutable());
      EXPECT_NE(dynamic_cast<materials::ZemaxGlass*>(clone.get()), nullptr);
    }
    EXPECT_TRUE(document->isDocumentEdited());
    document->close();
    testing::settle();
  }
}

TEST_F(GlassCatalogDocumentTest, ClonesDuringASearchLandAtTheSelectedRowsOfTheSearchedList) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  auto* window = windowOf(document);
  auto* controller = window->glassController();
  window->searchField()->setText(QStringLiteral("f2"));  // CAF2, BAF2, MGF2
  controller->setSelectionIndexes({0, 2});
  controller->cloneAsMutableGlasses();
  EXPECT_EQ(names(controller->arrangedObjects()),
            (std::vector<std::string>{"m-CAF2", "CAF2", "m-MGF2", "BAF2", "MGF2"}));
  std::vector<std::string> catalog;
  for (const auto& g : document->glassCatalog()->glassArray()) catalog.push_back(g->name());
  EXPECT_EQ(catalog, (std::vector<std::string>{"SILICA", "F_SILICA", "m-CAF2", "CAF2", "m-MGF2", "BAF2", "MGF2",
                                               "SAPPHIRE", "LIF", "CALCITE"}));
}

TEST_F(GlassCatalogDocumentTest, RemoveUnusedTakesOnlyGlassesNoSurfaceUses) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  auto* controller = windowOf(document)->glassController();
  for (const auto& glass : document->glassCatalog()->glassArray()) glass->setUsageCount(1);
  controller->removeUnusedGlasses();
  EXPECT_EQ(names(controller->arrangedObjects()), kMiscNames);
  EXPECT_FALSE(document->isDocumentEdited());

  document->objectInGlassCatalogAtIndex(1)->setUsageCount(0);
  document->objectInGlassCatalogAtIndex(6)->setUsageCount(0);
  windowOf(document)->searchField()->setText(QStringLiteral("silica"));  // only the listed ones are candidates
  controller->removeUnusedGlasses();
  windowOf(document)->searchField()->setText(QString());
  EXPECT_EQ(names(controller->arrangedObjects()),
            (std::vector<std::string>{"SILICA", "CAF2", "BAF2", "MGF2", "SAPPHIRE", "LIF", "CALCITE"}));
  EXPECT_TRUE(document->isDocumentEdited());
}

TEST_F(GlassCatalogDocumentTest, DragsCarryGlassesAndDropsTakeSurfaceGlassesOnce) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  auto* controller = windowOf(document)->glassController();

  std::unique_ptr<QMimeData> one(controller->writeRows({2}));
  ASSERT_TRUE(one->hasFormat(kGlassPasteboardType));
  ASSERT_TRUE(one->hasFormat(kGlassDictionaryPasteboardType));
  const QByteArray plist = one->data(kGlassDictionaryPasteboardType);
  const auto dictionary = platform::plist::parse(platform::Data(plist.begin(), plist.end()));
  EXPECT_EQ(dictionary.asDictionary().get("name").asString(), "CAF2");
  const auto single = DNDArrayController::unarchiveObjects(one->data(kGlassPasteboardType));
  ASSERT_TRUE(single && single->size() == 1);
  EXPECT_DOUBLE_EQ(std::dynamic_pointer_cast<materials::Glass>(single->front())->referenceIndex(), 1.433849);

  std::unique_ptr<QMimeData> two(controller->writeRows({0, 7}));
  EXPECT_FALSE(two->hasFormat(kGlassDictionaryPasteboardType));
  const auto pair = DNDArrayController::unarchiveObjects(two->data(kGlassPasteboardType));
  ASSERT_TRUE(pair.has_value());
  EXPECT_EQ(names(*pair), (std::vector<std::string>{"SILICA", "CALCITE"}));

  // A surface gives its glass, unless the list holds that glass already.
  auto held = lens::Surface::create();
  held->setGlass(document->objectInGlassCatalogAtIndex(0));
  auto fresh = lens::Surface::create();
  fresh->setGlass(materials::Glass::glassWithIndex(1.6, 40));
  const auto prepared = controller->prepareObjectsForInsertion({held, fresh, materials::Glass::glassWithIndex(1.7)});
  ASSERT_TRUE(prepared.has_value());
  EXPECT_EQ(names(*prepared), (std::vector<std::string>{"1.6,40", "1.7"}));
}

TEST_F(GlassCatalogDocumentTest, AGlassDroppedOnTheOneGlassListReplacesItsGlass) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  std::unique_ptr<QMimeData> drag(windowOf(document)->glassController()->writeRows({2}));  // CAF2

  const auto old = materials::Glass::glassWithIndex(1.5, 60);
  auto held = std::make_shared<std::vector<ObjectPtr>>(std::vector<ObjectPtr>{old});
  GlassSingletonController single;
  single.setContent(bindingForVector(held));
  int row = 0;
  bool onRow = false;
  ASSERT_NE(single.validateDrop(drag.get(), row, onRow, Qt::CopyAction | Qt::MoveAction, false), Qt::IgnoreAction);
  EXPECT_EQ(single.validateDrop(drag.get(), row, onRow, Qt::MoveAction, true), Qt::IgnoreAction);  // rows never move
  ASSERT_TRUE(single.acceptDrop(drag.get(), 0, false, Qt::CopyAction, false));
  ASSERT_EQ(held->size(), 1u);
  const auto glass = std::dynamic_pointer_cast<materials::ZemaxGlass>(held->front());
  ASSERT_NE(glass, nullptr);
  EXPECT_NE(glass, document->objectInGlassCatalogAtIndex(2));  // a copy, not the catalog's glass
  EXPECT_TRUE(glass->isMutable());
  EXPECT_DOUBLE_EQ(glass->referenceIndex(), 1.433849);
  EXPECT_NEAR(glass->indexAtWavelengthInMicrons(0.5875618), 1.433849, 2e-6);
}

TEST_F(GlassCatalogDocumentTest, GlasserEditsTheGlassAndFollowsItsChanges) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  auto* window = windowOf(document);
  auto* glasser = window->glasser();
  const auto silica = document->objectInGlassCatalogAtIndex(0);
  ASSERT_EQ(glasser->glass(), silica);
  const double before = silica->indexAtWavelengthInMicrons(0.5875618);

  // K1 0.6961663 -> 0.7: n² at 0.5876 µm grows by 0.0038337·L/(L − L1).
  ASSERT_EQ(glasser->data(glasser->index(0, Glasser::NameColumn)).toString(), QStringLiteral("K1"));
  ASSERT_TRUE(glasser->setData(glasser->index(0, Glasser::ValueColumn), QStringLiteral("0.7")));
  const double L = 0.5875618 * 0.5875618;
  const double expected = std::sqrt(before * before + (0.7 - 0.6961663) * L / (L - 0.00467914825849));
  EXPECT_NEAR(silica->indexAtWavelengthInMicrons(0.5875618), expected, 1e-12);
  EXPECT_TRUE(document->isDocumentEdited());

  silica->setCoefficientValue(2.5, "K2");  // elsewhere
  bool found = false;
  for (const auto& row : glasser->coefficientData())
    if (row.asDictionary().get("coefficientName").asString() == "K2") {
      found = true;
      EXPECT_DOUBLE_EQ(row.asDictionary().get("coefficientValue").asDouble(), 2.5);
    }
  EXPECT_TRUE(found);
  EXPECT_DOUBLE_EQ(glasser->data(glasser->index(0, Glasser::ValueColumn), Qt::EditRole).toDouble(), 0.7);
}

TEST_F(GlassCatalogDocumentTest, ExportOfOneGlassRepeatsItsLinesInTheFile) {
  const auto document = openMisc();
  ASSERT_NE(document, nullptr);
  auto* window = windowOf(document);
  window->glassController()->setSelectionIndexes({0});
  const std::string out = path("silica.agf");
  GlassCatalogWindowController::setExportPathChooser([&](QWidget*) { return std::optional<std::string>(out); });
  window->exportGlasses();
  EXPECT_TRUE(messages.empty());

  // SILICA's block in the file, NM to the line before the next NM.
  const auto source = readLines(kMisc);
  auto start =
      std::find_if(source.begin(), source.end(), [](const std::string& l) { return l.rfind("NM SILICA ", 0) == 0; });
  ASSERT_NE(start, source.end());
  std::vector<std::string> block{*start};
  for (auto it = start + 1; it != source.end() && it->rfind("NM ", 0) != 0; ++it) block.push_back(*it);

  std::vector<std::string> exported;
  for (const auto& line : readLines(out))
    if (!line.empty() && line.rfind("CC ", 0) != 0) exported.push_back(line);
  ASSERT_EQ(exported.size(), block.size());
  for (std::size_t i = 0; i < block.size(); ++i) {
    const auto written = tokens(exported[i]);
    const auto given = tokens(block[i]);
    ASSERT_LE(written.size(), given.size()) << exported[i];
    EXPECT_EQ(written[0], given[0]) << exported[i];
    for (std::size_t k = 1; k < given.size(); ++k) {
      if (written[0] == "NM" && k <= 3) {  // name, formula number, glass code as text
        ASSERT_LT(k, written.size());
        EXPECT_EQ(written[k], given[k]) << exported[i];
      } else if (k < written.size()) {
        EXPECT_EQ(std::strtod(written[k].c_str(), nullptr), std::strtod(given[k].c_str(), nullptr)) << exported[i];
      } else if (written[0] == "CD") {  // unused coefficient slots
        EXPECT_EQ(std::strtod(given[k].c_str(), nullptr), 0.0) << block[i];
      }
    }
  }
}

TEST_F(GlassCatalogDocumentTest, SavingWritesAgfThatReadsBackOrRefusesGlassesAgfCannotHold) {
  const std::string copy = path("MISC.AGF");
  std::filesystem::copy_file(kMisc, copy);
  const auto document = platform::makeObject<AGFDocument>();
  ASSERT_TRUE(document->readFromFile(copy, AGFDocument::kZemaxGlassCatalogType, nullptr));
  document->removeObjectFromGlassCatalogAtIndex(1);  // F_SILICA
  ASSERT_TRUE(document->saveDocument(nullptr));
  EXPECT_FALSE(document->isDocumentEdited());
  const auto reread = materials::GlassCatalog::glassCatalogWithContentsOfZemaxFile(copy);
  ASSERT_NE(reread, nullptr);
  std::vector<std::string> expected = kMiscNames;
  expected.erase(expected.begin() + 1);
  std::vector<std::string> got;
  for (const auto& g : reread->glassArray()) got.push_back(g->name());
  EXPECT_EQ(got, expected);
  EXPECT_NEAR(reread->lookupGlassWithName("CAF2")->indexAtWavelengthInMicrons(0.5875618), 1.433849, 2e-6);

  // A model glass has no AGF entry: the save is refused and the file keeps its glasses.
  document->insertObjectInGlassCatalogAtIndex(materials::Glass::glassWithIndex(1.5, 60), 0);
  EXPECT_FALSE(document->saveDocument(nullptr));
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(document->isDocumentEdited());
  EXPECT_EQ(materials::GlassCatalog::glassCatalogWithContentsOfZemaxFile(copy)->count(), 7u);
}

}  // namespace
}  // namespace orb::app
