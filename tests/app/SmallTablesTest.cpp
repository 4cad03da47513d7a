#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUndoStack>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/SmallTables.h"
#include "app/windows/EditorWindows.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Aperture.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/LensBeam.h"
#include "lens/Parameter.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/NotificationCenter.h"
#include "tracing/Emitters.h"

namespace orb::app {
namespace {

std::vector<ObjectPtr> parameters(std::initializer_list<std::pair<const char*, double>> values) {
  std::vector<ObjectPtr> rows;
  for (const auto& [title, value] : values) rows.push_back(lens::Parameter::parameterWithTitle(title, value));
  return rows;
}

double valueOf(const ObjectPtr& row, const char* key = "value") { return row->valueForKey(key).asDouble(); }

std::vector<std::string> titles(const ParameterArrayController& controller) {
  std::vector<std::string> result;
  for (const auto& row : controller.arrangedObjects()) result.push_back(row->valueForKey("title").asString());
  return result;
}

// --- Text forms --------------------------------------------------------------------------------------

// The text form is the C library's "%s\t%e\n"; pasting it back sets the rows by title.
TEST(ParameterText, CopiedRowsPasteBackOntoTheirTitles) {
  auto rows = parameters({{"a1", 0.5}, {"a2", -2}});
  rows.push_back(KeyValueRow::row());  // neither title nor value: no line
  const std::string text = parameterRowsText(rows, "title", "value");
  EXPECT_EQ(text, "a1\t5.000000e-01\na2\t-2.000000e+00\n");

  ParameterArrayController controller;
  controller.setContent([rows] { return rows; });
  rows[0]->setValueForKey("value", 7.0);
  rows[1]->setValueForKey("value", 7.0);
  EXPECT_EQ(controller.pasteString(text), 2);
  EXPECT_EQ(valueOf(rows[0]), 0.5);
  EXPECT_EQ(valueOf(rows[1]), -2.0);
  EXPECT_EQ(controller.stringFromRowIndexes({0, 1}), text);
}

TEST(ParameterText, ScanningNamesAndNumbers) {
  struct Case {
    std::string text;
    std::vector<std::pair<std::string, double>> expected;
  };
  const std::vector<Case> cases = {
      {"a1\t5.000000e-01\n", {{"a1", 0.5}}},
      {"a1\na2 3", {{"a1", 0.0}, {"a2", 3.0}}},  // a name without a number means 0
      {"  k -1.25e2  x 4\n\n", {{"k", -125.0}, {"x", 4.0}}},
      {"-1 a1 2", {}},  // no name first: nothing
  };
  for (const auto& c : cases) EXPECT_EQ(scanTitledValues(c.text), c.expected) << c.text;
}

TEST(ParameterText, UnknownTitlesAreSkippedAndBareNamesZero) {
  auto rows = parameters({{"a1", 0.5}, {"a2", -2}});
  ParameterArrayController controller;
  controller.setContent([rows] { return rows; });
  EXPECT_EQ(controller.pasteString("zz 4\na2\n"), 1);
  EXPECT_EQ(valueOf(rows[0]), 0.5);
  EXPECT_EQ(valueOf(rows[1]), 0.0);
}

// Drops: text and a dropped text file reach the rows; the table's own drag does not.
TEST(ParameterText, DropsOfTextAndFilesButNotOwnRows) {
  auto rows = parameters({{"a1", 0.5}, {"a2", -2}});
  ParameterArrayController controller;
  controller.setContent([rows] { return rows; });

  std::unique_ptr<QMimeData> own(controller.writeRows({0}));
  EXPECT_EQ(controller.validateDrop(own.get()), Qt::IgnoreAction);

  QMimeData text;
  text.setText("a1 3");
  EXPECT_EQ(controller.validateDrop(&text), Qt::CopyAction);
  EXPECT_TRUE(controller.acceptDrop(&text));
  EXPECT_EQ(valueOf(rows[0]), 3.0);

  const auto path = std::filesystem::temp_directory_path() / ("orb-parameters-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(path) << "a2\t1.500000e+00\n";
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
  file.setText(QUrl::fromLocalFile(QString::fromStdString(path.string())).toString());  // as file managers send it
  EXPECT_TRUE(controller.acceptDrop(&file));
  EXPECT_EQ(valueOf(rows[1]), 1.5);
  std::filesystem::remove(path);

  controller.setEditable(false);
  EXPECT_EQ(controller.validateDrop(&text), Qt::IgnoreAction);
  DCArrayController dc;
  EXPECT_EQ(dc.validateDrop(&text),
            Qt::IgnoreAction);  // its table takes no drops
}

// "%g\t%.7f\n" per row; reading stops at the first line without two numbers.
TEST(IndexText, ReadsUntilTheFirstBadLineAndWritesBack) {
  const auto rows = indexRowsFromString("0.48613\t1.52238\n0.58756 1.5168\nschott\n0.65627\t1.51432\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_DOUBLE_EQ(valueOf(rows[0], "wavelength"), 0.48613);
  EXPECT_DOUBLE_EQ(valueOf(rows[0], "indexOfRefraction"), 1.52238);
  EXPECT_DOUBLE_EQ(valueOf(rows[1], "wavelength"), 0.58756);
  EXPECT_DOUBLE_EQ(valueOf(rows[1], "indexOfRefraction"), 1.5168);

  const std::string text = indexRowsText(rows);
  EXPECT_EQ(text, "0.48613\t1.5223800\n0.58756\t1.5168000\n");
  const auto again = indexRowsFromString(text);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_DOUBLE_EQ(valueOf(again[1], "indexOfRefraction"), 1.5168);

  // A row missing either number writes no line; the controller writes only the rows asked.
  IndexArrayController controller;
  for (const auto& row : rows) controller.rows()->push_back(row);
  controller.rows()->push_back(KeyValueRow::row());
  controller.reloadContent();
  EXPECT_EQ(controller.stringFromRowIndexes({1, 2}), std::optional<std::string>("0.58756\t1.5168000\n"));
  EXPECT_TRUE(controller.typesToDragOut().contains(kStringPasteboardType));
  EXPECT_EQ(controller.objectsFromString("1 2\n3").size(), 1u);

  // Copied rows paste back as rows with the same numbers.
  std::unique_ptr<QMimeData> copied(controller.writeRows({0}));
  ASSERT_TRUE(controller.pasteFromMimeData(copied.get()));
  ASSERT_EQ(controller.rows()->size(), 4u);
  const auto pasted = std::find_if(controller.rows()->begin(), controller.rows()->end(), [&](const ObjectPtr& r) {
    return r != rows[0] && r->valueForKey("wavelength").isNumber() && valueOf(r, "wavelength") == 0.48613;
  });
  ASSERT_NE(pasted, controller.rows()->end());
  EXPECT_DOUBLE_EQ(valueOf(*pasted, "indexOfRefraction"), 1.52238);
}

// --- Filters and value actions -----------------------------------------------------------------------

TEST(ParameterFilter, SearchIgnoresCaseAndClearingShowsAll) {
  auto rows = parameters({{"a4", 0}, {"Ry", 0}, {"A6", 0}, {"kappa", 0}, {"x", 0}});
  ParameterArrayController controller;
  controller.setContent([rows] { return rows; });
  controller.setSearchString("A");
  EXPECT_EQ(titles(controller), (std::vector<std::string>{"a4", "A6", "kappa"}));
  // Pasting goes to the rows shown.
  controller.pasteString("x 5 a4 1");
  EXPECT_EQ(valueOf(rows[4]), 0.0);
  EXPECT_EQ(valueOf(rows[0]), 1.0);
  controller.setSearchString("");
  EXPECT_EQ(titles(controller).size(), 5u);
}

TEST(ParameterActions, ZeroNegateBiggerSmaller) {
  auto rows = parameters({{"a", 0}, {"b", 1.5}, {"c", -3}});
  ParameterArrayController controller;
  controller.setContent([rows] { return rows; });
  controller.setSelectionIndexes({0, 1});
  controller.bigger();
  EXPECT_EQ(valueOf(rows[0]), 0.0);  // 0 stays 0
  EXPECT_EQ(valueOf(rows[1]), 3.0);
  EXPECT_EQ(valueOf(rows[2]), -3.0);  // not selected
  controller.smaller();
  EXPECT_EQ(valueOf(rows[1]), 1.5);
  controller.negate();
  EXPECT_EQ(valueOf(rows[1]), -1.5);
  EXPECT_FALSE(std::signbit(valueOf(rows[0])));
  controller.zero();
  EXPECT_EQ(valueOf(rows[1]), 0.0);

  // A replacement keeps the selection by index.
  controller.setSelectionIndexes({2});
  controller.startSurfaceReplacement();
  controller.reloadContent();
  controller.setSelectionIndexes({});
  controller.endSurfaceReplacement();
  EXPECT_EQ(controller.selectionIndexes(), std::vector<std::size_t>{2});
}

// --- The document's editors --------------------------------------------------------------------------

struct SmallTablesDocumentTest : testing::DoubleGaussDocumentTest<> {
  std::vector<std::string> messages;

  void SetUp() override {
    testing::DoubleGaussDocumentTest<>::SetUp();
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string&) { messages.push_back(text); });
  }

  lens::Lens& lens() const { return *document->lens(); }

  /// Opens the editor through its menu action and answers its window.
  OBWindow* openEditor(const char* action, const char* nib) {
    if (!document->performAction(action)) return nullptr;
    for (auto* controller : document->windowControllers())
      if (controller->nibName() == nib && controller->isWindowLoaded()) return controller->window();
    return nullptr;
  }

  /// Runs `edit` once the idle-time snapshot is there, then waits for its change cycle.
  ::testing::AssertionResult edit(const std::function<void()>& edit) {
    if (!testing::pumpUntil([&] { return document->snapshotIsFresh() && !lens().isBusy(); }))
      return ::testing::AssertionFailure() << "no snapshot";
    int ready = 0;
    auto observation = platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document->reference(), [&](const platform::Notification&) { ++ready; });
    edit();
    if (!testing::pumpUntil([&] { return ready > 0 && !lens().isBusy(); }))
      return ::testing::AssertionFailure() << "no change cycle";
    return ::testing::AssertionSuccess();
  }
};

TEST_F(SmallTablesDocumentTest, EditorsAreLensMenuRowsWithTheirTitles) {
  registerEditorWindows();
  const std::vector<std::tuple<const char*, const char*, const char*>> editors = {
      {"showFieldEditor", kFieldEditorNibName, "Fields"},
      {"showWaveEditor", kWaveEditorNibName, "Wavelengths"},
      {"showBeamEditor", kBeamsNibName, "Gaussian Beams"},
      {"showSources", kSourcesNibName, "Sources"},
  };
  for (const auto& [action, nib, title] : editors) {
    const auto* row = windowAction(action);
    ASSERT_TRUE(row) << action;
    EXPECT_EQ(row->nibName, std::string(nib));
    EXPECT_TRUE(interfacefile::loader(nib)) << nib;  // a registered loader enables the row
    auto* window = openEditor(action, nib);
    ASSERT_TRUE(window) << action;
    EXPECT_EQ(shownWindowTitle(*window).toStdString(), std::string(title) + " - DoubleGauss.zmx");
  }
}

TEST_F(SmallTablesDocumentTest, AddingAFieldIsOneUndoStep) {
  auto* window = openEditor("showFieldEditor", kFieldEditorNibName);
  ASSERT_TRUE(window);
  auto* add = window->findChild<QPushButton*>("add");
  auto* table = window->findChild<DNDTableView*>("fields");
  ASSERT_TRUE(add && table);
  const auto fields = lens().countOfFieldArray();
  ASSERT_EQ(table->model()->rowCount(), static_cast<int>(fields));

  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  const int steps = document->undoStack().count();
  ASSERT_TRUE(edit([&] { add->click(); }));
  EXPECT_EQ(lens().countOfFieldArray(), fields + 1);
  EXPECT_EQ(table->model()->rowCount(), static_cast<int>(fields + 1));
  EXPECT_EQ(document->undoStack().count(), steps + 1);

  document->undo();
  testing::settle();
  EXPECT_EQ(lens().countOfFieldArray(), fields);
  EXPECT_EQ(table->model()->rowCount(), static_cast<int>(fields));
}

TEST_F(SmallTablesDocumentTest, EditingAWavelengthChangesTheLensAndUndoRestoresIt) {
  auto* window = openEditor("showWaveEditor", kWaveEditorNibName);
  ASSERT_TRUE(window);
  auto* table = window->findChild<DNDTableView*>("waves");
  ASSERT_TRUE(table);
  auto* model = table->model();
  const double before = lens().waveArray()[0]->wavelengthInNanometers();
  ASSERT_NE(before, 500.0);
  ASSERT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Wavelength (nm)");

  ASSERT_TRUE(edit([&] { ASSERT_TRUE(model->setData(model->index(0, 0), "500", Qt::EditRole)); }));
  EXPECT_DOUBLE_EQ(lens().waveArray()[0]->wavelengthInNanometers(), 500.0);
  EXPECT_EQ(model->data(model->index(0, 0)).toString(), "500");

  document->undo();
  testing::settle();
  EXPECT_DOUBLE_EQ(lens().waveArray()[0]->wavelengthInNanometers(), before);
  EXPECT_NEAR(model->data(model->index(0, 0)).toString().toDouble(), before,
              1e-3);  // shown as %g
}

// The lens always has at least one field and one wavelength (it makes one when it has none): removing all of them is
// refused and said; removing fewer works.
TEST_F(SmallTablesDocumentTest, RemovingTheLastFieldOrWaveIsRefused) {
  FieldArrayController fields(document->lens());
  WaveArrayController waves(document->lens(), document);
  const auto fieldCount = lens().countOfFieldArray();
  const auto waveCount = lens().countOfWaveArray();
  ASSERT_GE(fieldCount, 2u);
  ASSERT_GE(waveCount, 2u);

  fields.selectAll();
  fields.remove();
  waves.selectAll();
  waves.remove();
  EXPECT_EQ(lens().countOfFieldArray(), fieldCount);
  EXPECT_EQ(lens().countOfWaveArray(), waveCount);
  EXPECT_EQ(messages, (std::vector<std::string>{"The lens needs at least one field.",
                                                "The lens needs at least one wavelength."}));

  // Removing the primary wave hands the flag to the first remaining wave.
  std::size_t primary = 0;
  while (!lens().waveArray()[primary]->isPrimary()) ++primary;
  waves.setSelectionIndexes({primary});
  waves.remove();
  EXPECT_EQ(lens().countOfWaveArray(), waveCount - 1);
  EXPECT_TRUE(lens().waveArray()[0]->isPrimary());
  fields.setSelectionIndexes({0});
  fields.remove();
  EXPECT_EQ(lens().countOfFieldArray(), fieldCount - 1);
  EXPECT_EQ(fields.rowCount(), static_cast<int>(fieldCount - 1));
}

TEST_F(SmallTablesDocumentTest, WaveActions) {
  WaveArrayController waves(document->lens(), document);
  waves.setSelectionIndexes({0});
  EXPECT_FALSE(waves.canSetWaveAsPrimary());  // the first row
  waves.setSelectionIndexes({0, 1});
  EXPECT_FALSE(waves.canSetWaveAsPrimary());
  waves.setSelectionIndexes({1});
  ASSERT_TRUE(waves.canSetWaveAsPrimary());
  waves.setWaveAsPrimary();
  for (std::size_t i = 0; i < lens().countOfWaveArray(); ++i)
    EXPECT_EQ(lens().waveArray()[i]->isPrimary(), i == 1) << i;

  const int steps = document->undoStack().count();
  ASSERT_TRUE(edit([&] { waves.useFdC(); }));
  ASSERT_EQ(lens().countOfWaveArray(), 3u);
  const double fdc[] = {486.13, 587.56, 656.27};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(lens().waveArray()[i]->wavelengthInNanometers(), fdc[i]);
    EXPECT_EQ(lens().waveArray()[i]->isPrimary(), i == 1);
  }
  EXPECT_EQ(waves.rowCount(), 3);
  EXPECT_TRUE(waves.selectionIndexes().empty());
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  EXPECT_EQ(document->undoStack().undoText().toStdString(), "F,d,C");
}

TEST_F(SmallTablesDocumentTest, BeamsAreAddedAndNamedThroughTheTable) {
  BeamArrayController beams(document->lens());
  EXPECT_EQ(beams.rowCount(), 0);  // the double Gauss has none
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  const int steps = document->undoStack().count();
  ASSERT_TRUE(edit([&] { beams.add(); }));
  ASSERT_EQ(lens().countOfBeamArray(), 1u);
  EXPECT_EQ(document->undoStack().count(), steps + 1);
  ASSERT_TRUE(edit([&] { EXPECT_TRUE(beams.setData(beams.index(0, 0), "probe", Qt::EditRole)); }));
  EXPECT_EQ(lens().objectInBeamArrayAtIndex(0)->valueForKey("name").asString(), "probe");
  document->undo();
  testing::settle();
  EXPECT_EQ(lens().objectInBeamArrayAtIndex(0)->valueForKey("name").asString(), "noname");
  EXPECT_EQ(beams.data(beams.index(0, 0)).toString(), "noname");
}

TEST_F(SmallTablesDocumentTest, ClearVignettingRestoresTheFullPupil) {
  FieldArrayController fields(document->lens());
  const auto field = lens().fieldArray()[0];
  field->setValueForKey("PYA", -0.6);
  field->setValueForKey("PXB", 0.8);
  ASSERT_TRUE(field->vignetted());
  fields.setSelectionIndexes({0});
  fields.clearVignetting();
  EXPECT_EQ(field->PXA(), -1.0);
  EXPECT_EQ(field->PXB(), 1.0);
  EXPECT_EQ(field->PYA(), -1.0);
  EXPECT_EQ(field->PYB(), 1.0);
  EXPECT_FALSE(field->vignetted());
}

// The emitter list holds the surfaces with an emission, in lens order, and filters again when a surface gains or loses
// one.
TEST_F(SmallTablesDocumentTest, EmitterListFollowsTheSurfaces) {
  tracing::registerEmissionTypes();
  EmitterArrayController emitters(document->lens());
  EXPECT_EQ(emitters.rowCount(), 0);
  const auto& surfaces = lens().surfaceArray();
  ASSERT_GE(surfaces.size(), 4u);
  surfaces[3]->setValueForKey("emissionType", "Lambertian emission");
  surfaces[1]->setValueForKey("emissionType", "Lambertian emission");
  testing::settle();
  ASSERT_EQ(emitters.rowCount(), 2);
  EXPECT_EQ(emitters.arrangedObjects()[0], surfaces[1]);
  EXPECT_EQ(emitters.arrangedObjects()[1], surfaces[3]);
  EXPECT_EQ(emitters.data(emitters.index(1, 0)).toInt(), 3);
  EXPECT_EQ(emitters.data(emitters.index(1, 2)).toString(), "Lambertian emission");

  surfaces[1]->setValueForKey("emission", platform::Value());
  testing::settle();
  ASSERT_EQ(emitters.rowCount(), 1);
  EXPECT_EQ(emitters.arrangedObjects()[0], surfaces[3]);
}

TEST_F(SmallTablesDocumentTest, ApertureListFollowsTheSurfaces) {
  ApertureArrayController apertures(document->lens());
  const auto& surfaces = lens().surfaceArray();
  const auto withAperture = [&] {
    std::vector<std::shared_ptr<lens::Surface>> found;
    for (const auto& s : surfaces)
      if (s->apertureObject()) found.push_back(s);
    return found;
  };
  EXPECT_EQ(apertures.arrangedObjects(), withAperture());
  auto bare = std::find_if(surfaces.begin() + 1, surfaces.end(), [](const auto& s) { return !s->apertureObject(); });
  ASSERT_NE(bare, surfaces.end());
  (*bare)->setValueForKey("apertureType", lens::Aperture::apertureTypes().front());
  testing::settle();
  ASSERT_TRUE((*bare)->apertureObject());
  EXPECT_EQ(apertures.arrangedObjects(), withAperture());
  (*bare)->setValueForKey("aperture", platform::Value());
  testing::settle();
  EXPECT_EQ(apertures.arrangedObjects(), withAperture());
}

// The parameter table of the surface-data window: a surface's parameters, searchable.
TEST_F(SmallTablesDocumentTest, ParameterTableShowsTheSurfacesParameters) {
  QWidget parent;
  auto* table = makeParameterTable(document, &parent);
  auto* controller = parameterTableController(table);
  ASSERT_TRUE(controller);
  EXPECT_EQ(controller->rowCount(), 0);

  // A surface with parameters: an asphere.
  std::shared_ptr<lens::Surface> surface;
  ASSERT_TRUE(edit([&] { lens().replaceSurfaceWithType(lens().surfaceArray()[2], "Asphere"); }));
  surface = lens().surfaceArray()[2];
  ASSERT_FALSE(surface->parameterArray().empty()) << surface->type();
  setParameterTableSurface(table, surface);
  ASSERT_EQ(controller->rowCount(), static_cast<int>(surface->parameterArray().size()));

  const auto first = surface->parameterArray()[0];
  const std::string text = first->title() + " 0.25";
  ASSERT_TRUE(edit([&] { controller->pasteString(text); }));
  EXPECT_EQ(first->value(), 0.25);
  EXPECT_EQ(controller->data(controller->index(0, 1)).toString(), "0.25");

  // Undo puts a new surface in the lens: the table follows it.
  document->undo();
  testing::settle();
  EXPECT_EQ(lens().surfaceArray()[2]->parameterArray()[0]->value(), 0.0);
  EXPECT_EQ(controller->data(controller->index(0, 1)).toString(), "0");
}

}  // namespace
}  // namespace orb::app
