// The shell around the windows, driven from the menus, buttons and keys a user has: help
// from an analysis window, Zoom and where new and restored windows go, the irradiance
// screen's toolbar and CSV panel, printing a document, and documents of the old archive
// form.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <string>
#include <vector>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/windows/CalculatorWindowController.h"
#include "app/windows/DiffractionWindows.h"
#include "app/windows/HuygensWindows.h"
#include "app/windows/IlluminationWindows.h"
#include "app/windows/ListingWindows.h"
#include "app/windows/OBWindow.h"
#include "app/windows/OptionPanelController.h"
#include "lens/Emission.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/SurfaceAsphere.h"
#include "lens/Wave.h"
#include "platform/ArchiveRegistry.h"
#include "platform/KeyedArchiver.h"
#include "platform/UserDefaults.h"

namespace orb::app {
namespace {

namespace fs = std::filesystem;

/// The window's menu item of that name, its menus opened first (they enable their items
/// as they open).
QAction* menuAction(QWidget* window, const char* name) {
  auto* mainWindow = qobject_cast<QMainWindow*>(window);
  QMenuBar* bar = mainWindow ? mainWindow->menuBar() : window->findChild<QMenuBar*>();
  if (!bar) return nullptr;
  for (QMenu* menu : bar->findChildren<QMenu*>()) emit menu->aboutToShow();
  for (QAction* a : bar->findChildren<QAction*>())
    if (a->objectName() == QLatin1String(name)) return a;
  return nullptr;
}

bool activate(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
  return testing::pumpUntil([&] { return QApplication::activeWindow() == window; });
}

class WindowShellTest : public testing::DoubleGaussDocumentTest<> {
 protected:
  fs::path dir = fs::temp_directory_path() / ("orb-shell-test-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());

  void SetUp() override {
    fs::create_directories(dir);
    testing::DoubleGaussDocumentTest<>::SetUp();
  }
  void TearDown() override {
    // A copy: closing takes the document out of the list.
    const auto open = DocumentController::shared().documents();
    for (const auto& d : open) d->close();
    testing::DoubleGaussDocumentTest<>::TearDown();
    OBDocument::setPrinterChooser({});
    OBDocument::setPageSetupChooser({});
    OBDocument::setSaveDestinationChooser({});
    if (QTextBrowser* help = HelpLauncher::helpWindow()) help->close();
    fs::remove_all(dir);
  }

  template <class Controller = SmartWindowController>
  Controller* open(const std::string& action) {
    Controller* window = showWindow<Controller>(action);
    if (window) window->window()->show();
    testing::settle();
    return window;
  }
};

// --- help --------------------------------------------------------------------------------------

// The options panel's help button opens the help book at its title's section, the Help key
// at the ray analyses; Ctrl+W and Escape close the help window.
TEST_F(WindowShellTest, AnalysisHelpOpensItsSectionAndClosesWithTheWindowKeys) {
  auto* fan = open<CalculatorWindowController>("makeRayFan");
  ASSERT_TRUE(fan);
  QAction* options = fan->toolbarItem("options");
  ASSERT_TRUE(options);
  options->trigger();
  QWidget* panel = fan->optionsPanelController()->panel();
  ASSERT_TRUE(panel && panel->isVisible());
  auto* button = panel->findChild<QToolButton*>(QStringLiteral("helpButton"));
  ASSERT_TRUE(button);
  EXPECT_TRUE(button->isVisible());
  EXPECT_FALSE(button->icon().isNull());
  QTest::mouseClick(button, Qt::LeftButton);

  QTextBrowser* help = HelpLauncher::helpWindow();
  ASSERT_TRUE(help->isVisible());
  EXPECT_EQ(help->source().fragment(), button->text());
  EXPECT_EQ(help->source().fragment(), QStringLiteral("anc-analysis"));
  EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("options panel")));

  ASSERT_TRUE(activate(help));
  QTest::keyClick(help, Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(help->isVisible());

  // Not from a button: the ray analyses' section, which the help book has.
  ASSERT_TRUE(activate(fan->window()));
  QTest::keyClick(fan->window(), Qt::Key_F1);
  ASSERT_TRUE(help->isVisible());
  EXPECT_EQ(help->source().fragment(), QStringLiteral("anc-ray"));
  EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("Ray analyses")));
  ASSERT_TRUE(activate(help));
  QTest::keyClick(help, Qt::Key_Escape);
  EXPECT_FALSE(help->isVisible());

  // Every analysis window with an options panel has the button.
  for (const char* action : {"makeSpotDiagram", "makeHPSF", "makeDPSF", "makeGOTF"}) {
    auto* other = open<CalculatorWindowController>(action);
    ASSERT_TRUE(other) << action;
    ASSERT_TRUE(other->optionsPanelController()) << action;
    EXPECT_TRUE(other->optionsPanelController()->panel()->findChild<QToolButton*>(QStringLiteral("helpButton")))
        << action;
  }
}

// --- zoom and placement --------------------------------------------------------------------------

// Window ▸ Zoom takes the screen's available area, the point-spread windows cut to nearly
// square; Zoom again gives the user's frame back. Maximising them zooms the same way.
TEST_F(WindowShellTest, ZoomKeepsThePointSpreadWindowsNearlySquare) {
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_GT(available.width(), available.height() - 60) << "the screen must be wide enough for the cut to show";
  struct Case {
    const char* action;
    int width;  // the zoomed frame's
  };
  for (const Case& c : {Case{"makeHPSF", std::min(available.width(), available.height() - 80)},
                        Case{"makeDPSF", std::min(available.width(), available.height() - 60)},
                        Case{"makeSpotDiagram", available.width()}}) {
    SCOPED_TRACE(c.action);
    auto* controller = open(c.action);
    ASSERT_TRUE(controller);
    OBWindow* window = controller->window();
    window->setGeometry(40, 50, 300, 200);
    testing::settle();
    const QRect user = window->frameGeometry();
    QAction* zoom = menuAction(window, "performZoom");
    ASSERT_TRUE(zoom);
    zoom->trigger();
    testing::settle();
    EXPECT_TRUE(window->isZoomed());
    EXPECT_EQ(window->frameGeometry(), QRect(available.topLeft(), QSize(c.width, available.height())));
    zoom->trigger();
    testing::settle();
    EXPECT_FALSE(window->isZoomed());
    EXPECT_EQ(window->frameGeometry(), user);
  }

  // The title bar's maximise button.
  auto* hpsf = open("makeHPSF");
  OBWindow* window = hpsf->window();
  window->showMaximized();
  ASSERT_TRUE(testing::pumpUntil([&] { return window->isZoomed(); }));
  testing::settle();
  EXPECT_FALSE(window->isMaximized());
  EXPECT_EQ(window->frameGeometry().width(), available.height() - 80);
}

// A new window of a document goes down and right of the document's last one; a window
// restored from the file keeps its frame (it ignores that one move).
TEST_F(WindowShellTest, NewWindowsCascadeAndRestoredWindowsKeepTheirFrame) {
  auto* first = open("makeRayFan");
  ASSERT_TRUE(first);
  first->window()->move(60, 70);
  testing::settle();
  const QPoint firstOrigin = first->window()->frameGeometry().topLeft();
  auto* second = open("makeSpotDiagram");
  ASSERT_TRUE(second);
  // Down and right of the first, or at the screen's top-left corner when that runs off it.
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  QRect cascaded(firstOrigin + QPoint(SmartWindowController::kCascadeStep, SmartWindowController::kCascadeStep),
                 second->window()->frameGeometry().size());
  if (!available.contains(cascaded)) cascaded.moveTopLeft(available.topLeft());
  EXPECT_EQ(second->window()->frameGeometry().topLeft(), cascaded.topLeft());
  // A third, small enough to fit, goes down and right of the second.
  auto* third = open("makeOPD");
  ASSERT_TRUE(third);
  third->close();
  second->window()->setGeometry(QRect(QPoint(200, 150), QSize(300, 200)));
  testing::settle();
  auto* fourth = open("makeLSA");
  ASSERT_TRUE(fourth);
  if (fourth->window()->frameGeometry().size().width() + 222 <= available.width() &&
      fourth->window()->frameGeometry().size().height() + 172 <= available.height())
    EXPECT_EQ(fourth->window()->frameGeometry().topLeft(),
              second->window()->frameGeometry().topLeft() + QPoint(22, 22));
  fourth->close();
  testing::settle();

  // Saved with the spot diagram far from where a cascade would put it, then reopened.
  second->window()->setGeometry(QRect(QPoint(300, 150), QSize(300, 200)));
  testing::settle();
  const QRect kept = second->window()->frameGeometry();
  const std::string path = (dir / "placed.orb").string();
  OBDocument::setSaveDestinationChooser(
      [&](QWidget*, const OBDocument&) { return std::optional<OBDocument::SaveDestination>({path, OBDocument::kNativeType}); });
  ASSERT_TRUE(document->saveDocumentAs(first->window()));
  document->close();
  testing::settle();

  auto reopened = std::static_pointer_cast<OBDocument>(OBAppDel::shared().openDocumentWithPath(path, nullptr));
  ASSERT_TRUE(reopened);
  document = reopened;
  testing::settle();
  SmartWindowController* restored = nullptr;
  for (auto* c : reopened->windowControllers())
    if (c->nibName() == "SpotWindow") restored = c;
  ASSERT_TRUE(restored);
  EXPECT_TRUE(restored->window()->isVisible());
  EXPECT_EQ(restored->window()->frameGeometry().topLeft(), kept.topLeft());

  // The flag is good for one move only.
  OBWindow* window = restored->window();
  window->ignoreOneSetFrameOrigin();
  window->setFrameOrigin(QPoint(20, 30));
  testing::settle();
  EXPECT_EQ(window->frameGeometry().topLeft(), kept.topLeft());
  window->setFrameOrigin(QPoint(20, 30));
  testing::settle();
  EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(20, 30));
}

// --- printing ------------------------------------------------------------------------------------

/// The pages of a PDF file and the media box of its first page ("x0 y0 x1 y1", points).
struct PdfPages {
  int count = 0;
  QString mediaBox;
};
PdfPages pdfPages(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString text = QString::fromLatin1(file.readAll());
  PdfPages out;
  out.count = static_cast<int>(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
  const auto box = QRegularExpression(QStringLiteral("/MediaBox\\s*\\[([^\\]]*)\\]")).match(text);
  if (box.hasMatch()) out.mediaBox = box.captured(1).simplified();
  return out;
}

// Page Setup… keeps the paper and orientation with the document (an edit, saved and read
// back); Print… prints the window's view on one page of that paper, however large the view.
TEST_F(WindowShellTest, PageSetupIsKeptWithTheDocumentAndPrintFitsOnePage) {
  auto* layout = open("makeLayout");
  ASSERT_TRUE(layout);
  OBWindow* window = layout->window();
  ASSERT_TRUE(testing::pumpUntil([&] { return !document->lens()->isBusy(); }));
  testing::settle();
  document->clearChangeCount();
  EXPECT_FALSE(document->isDocumentEdited());

  int asked = 0;
  OBDocument::setPageSetupChooser(
      [&](QWidget*, const QPageLayout&, std::function<void(const QPageLayout&)> accepted) {
        ++asked;
        accepted(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()));
      });
  QAction* pageSetup = menuAction(window, "runPageLayout");
  ASSERT_TRUE(pageSetup && pageSetup->isEnabled());
  pageSetup->trigger();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(document->isDocumentEdited());
  EXPECT_TRUE(window->isWindowModified());
  EXPECT_EQ(document->printInfo().get("orientation").asString(), "Landscape");
  // A4, 210 × 297 mm: 595.3 × 841.9 points, which the page sizes keep in whole points.
  EXPECT_EQ(document->printInfo().get("paperWidth").asDouble(), 595);
  EXPECT_EQ(document->printInfo().get("paperHeight").asDouble(), 842);

  // Far larger than the page: still one page, the landscape A4 (842 × 595 points).
  window->resize(2400, 1800);
  testing::settle();
  const QString pdf = QString::fromStdString((dir / "layout.pdf").string());
  OBDocument::setPrinterChooser([&](QWidget*, std::shared_ptr<QPrinter> printer, std::function<void()> accepted) {
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    accepted();
  });
  QAction* print = menuAction(window, "printDocument");
  ASSERT_TRUE(print && print->isEnabled());
  EXPECT_TRUE(print->shortcut().isEmpty()) << "the layout keeps the Print key for its own Print Layout";
  print->trigger();
  const PdfPages pages = pdfPages(pdf);
  EXPECT_EQ(pages.count, 1);
  const QStringList box = pages.mediaBox.split(QLatin1Char(' '));
  ASSERT_EQ(box.size(), 4) << pages.mediaBox.toStdString();
  EXPECT_EQ(box[2].toDouble(), 842);
  EXPECT_EQ(box[3].toDouble(), 595);
  EXPECT_GT(QFileInfo(pdf).size(), 1000);

  const auto operation = document->printOperationWithSettings({}, window);
  ASSERT_TRUE(operation);
  EXPECT_EQ(operation->view(), layout->viewForPrinting());
  EXPECT_EQ(operation->printInfo().get("horizontalPagination").asString(), "fit");
  EXPECT_EQ(operation->printInfo().get("verticalPagination").asString(), "fit");
  EXPECT_EQ(operation->printInfo().get("topMargin").asDouble(), 0);
  EXPECT_EQ(operation->printInfo().get("bottomMargin").asDouble(), 0);
  EXPECT_EQ(operation->printInfo().get("leftMargin").asDouble(), 7);
  EXPECT_EQ(operation->printInfo().get("rightMargin").asDouble(), 7);
  // A window that is not the document's gives no print operation.
  QMainWindow stranger;
  EXPECT_FALSE(document->printOperationWithSettings({}, &stranger));

  // A window without a Print of its own has the key on Print….
  auto* spot = open("makeSpotDiagram");
  QAction* spotPrint = menuAction(spot->window(), "printDocument");
  ASSERT_TRUE(spotPrint);
  EXPECT_EQ(spotPrint->shortcut(), QKeySequence(QKeySequence::Print));

  // Saved and read back: the same paper, and reading it is no edit.
  const std::string path = (dir / "printed.orb").string();
  OBDocument::setSaveDestinationChooser(
      [&](QWidget*, const OBDocument&) { return std::optional<OBDocument::SaveDestination>({path, OBDocument::kNativeType}); });
  ASSERT_TRUE(document->saveDocumentAs(window));
  auto reopened =
      std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->openDocument(path, nullptr));
  ASSERT_TRUE(reopened);
  EXPECT_FALSE(reopened->isDocumentEdited());
  EXPECT_EQ(reopened->printInfo().get("orientation").asString(), "Landscape");
  EXPECT_EQ(reopened->printInfo().get("paperWidth").asDouble(), 595);
  EXPECT_EQ(reopened->printInfo().get("paperHeight").asDouble(), 842);
}

// --- the file's name and old archives --------------------------------------------------------------

// The listings name the document's file: Save As… under a new name shows it there without
// any change to the lens.
TEST_F(WindowShellTest, ListingsFollowTheFileNameAfterSaveAs) {
  auto* prescription = open("showPrescriptionListing");
  ASSERT_TRUE(prescription);
  auto* listing = prescription->window()->findChild<ListingView*>(QStringLiteral("listing"));
  ASSERT_TRUE(listing);
  ASSERT_TRUE(testing::pumpUntil([&] { return listing->toPlainText().contains(QStringLiteral("File: DoubleGauss.zmx")); }))
      << listing->toPlainText().left(200).toStdString();

  const std::string path = (dir / "Renamed.orb").string();
  OBDocument::setSaveDestinationChooser(
      [&](QWidget*, const OBDocument&) { return std::optional<OBDocument::SaveDestination>({path, OBDocument::kNativeType}); });
  QAction* saveAs = menuAction(prescription->window(), "saveDocumentAs");
  ASSERT_TRUE(saveAs);
  saveAs->trigger();
  EXPECT_EQ(document->filePath(), path);
  EXPECT_TRUE(testing::pumpUntil([&] { return listing->toPlainText().contains(QStringLiteral("File: Renamed.orb")); }))
      << listing->toPlainText().left(200).toStdString();
}

/// A surface as the old archives kept it: the plain surface, its kind named under
/// "surfaceType".
class OldArchiveSurface : public lens::Surface {
 public:
  std::string className() const override { return "OldArchiveSurface"; }
  void encodeWithCoder(platform::Coder& coder) const override {
    lens::Surface::encodeWithCoder(coder);
    if (!surfaceType().empty()) coder.encodeObject("surfaceType", platform::Value(surfaceType()));
  }
};

// A file of the old form (the lens keys at the top) opens with each surface of the kind its
// "surfaceType" names, its values kept and its aperture dropped, and a numeric field type
// read as its name.
TEST_F(WindowShellTest, OldArchiveSurfacesBecomeTheirNamedKind) {
  platform::ArchiveRegistry::shared().registerClass<OldArchiveSurface>("OldArchiveSurface", "Surface");
  auto triplet = OBDocument::tripletTestLens();
  platform::Array surfaces;
  std::vector<std::string> kinds = {"", "Asphere", "", "Toric Y", "", "", "", ""};
  ASSERT_EQ(triplet->surfaceArray().size(), kinds.size());
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    auto old = platform::makeObject<OldArchiveSurface>();
    old->initWithSurface(*triplet->surfaceArray()[i]);
    old->setSurfaceType(kinds[i]);
    if (i == 1) old->setApertureType(lens::Surface::apertureTypes().back());
    surfaces.push_back(platform::Value(std::static_pointer_cast<lens::Surface>(old)));
  }
  ASSERT_TRUE(std::static_pointer_cast<lens::Surface>(surfaces[1].asObject())->apertureObject());
  platform::Array fields, waves;
  for (const auto& f : triplet->fieldArray()) fields.push_back(platform::Value(f));
  for (const auto& w : triplet->waveArray()) waves.push_back(platform::Value(w));
  platform::Dictionary root;
  root.set("surfaceArray", surfaces);
  root.set("fieldArray", fields);
  root.set("waveArray", waves);
  root.set("fieldType", 1);
  root.set("apodizationType", 1);
  const std::string path = (dir / "old.orb").string();
  platform::KeyedArchiver::archiveRootObjectToFile(root, path);

  auto old = std::static_pointer_cast<OBDocument>(OBAppDel::shared().openDocumentWithPath(path, nullptr));
  ASSERT_TRUE(old);
  const auto& read = old->lens()->surfaceArray();
  ASSERT_EQ(read.size(), kinds.size());
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(read[i]->type(), kinds[i].empty() ? "Standard" : kinds[i]);
    EXPECT_EQ(dynamic_cast<OldArchiveSurface*>(read[i].get()) != nullptr, kinds[i].empty());
    EXPECT_DOUBLE_EQ(read[i]->curvature(), triplet->surfaceArray()[i]->curvature());
    EXPECT_FALSE(read[i]->apertureObject());
  }
  EXPECT_TRUE(dynamic_cast<lens::SurfaceAsphere*>(read[1].get()));
  EXPECT_DOUBLE_EQ(read[1]->valueForKey("thickness").asDouble(), 4.0);
  EXPECT_EQ(old->lens()->fieldType(), "Object height");
  EXPECT_FALSE(old->isDocumentEdited());
}

// --- the irradiance screen ------------------------------------------------------------------------

// A new screen window shows Export, Randomize and Options; Export asks for a CSV file with
// its line saying so, and writes nothing when cancelled.
TEST_F(WindowShellTest, IrradianceScreenToolbarAndCSVPanel) {
  platform::UserDefaults::standard().removeObject(
      CalculatorWindowController::toolbarConfigurationKey("ScreenCalculator"));
  std::string why;
  auto rod = std::static_pointer_cast<OBDocument>(DocumentController::shared().documentFactory()->openDocument(
      std::string(ORB_SOURCE_DIR) + "/examples/HomogenizingRod.orb", &why));
  ASSERT_TRUE(rod) << why;
  DocumentController::shared().addDocument(rod);
  ASSERT_TRUE(rod->performAction("makeIntensityScreen"));
  ScreenWindowController* screen = nullptr;
  for (auto* c : rod->windowControllers())
    if (auto* s = qobject_cast<ScreenWindowController*>(c)) screen = s;
  ASSERT_TRUE(screen);
  screen->window()->show();
  EXPECT_EQ(screen->toolbarIdentifier(), "ScreenCalculator");
  EXPECT_EQ(screen->toolbarItemIdentifiers(),
            (std::vector<std::string>{"export", CalculatorWindowController::kFlexibleSpace, "dice", "options"}));
  QStringList shown;
  for (QAction* a : screen->toolbar()->actions())
    if (!a->text().isEmpty() && a->isVisible()) shown << a->text();
  EXPECT_EQ(shown, (QStringList{"Export", "Randomize", "Options"}));

  SavePanelOptions asked;
  int panels = 0;
  screen->setCSVPathChooser([&](QWidget*, const SavePanelOptions& o, std::function<void(const std::string&)>) {
    asked = o;
    ++panels;  // cancelled: the path is never given
  });
  screen->toolbarItem("export")->trigger();
  EXPECT_EQ(panels, 1);
  EXPECT_EQ(asked.suffix, "csv");
  EXPECT_EQ(asked.accessoryText, "Export in CSV format");
  EXPECT_TRUE(fs::is_empty(dir));
}

}  // namespace
}  // namespace orb::app
