// The Reports menu's listings on the double Gauss example, the progress panel, help and the
// notification logger.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/LensRoles.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/windows/ListingWindows.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "tracing/SeidelAnalysis.h"

namespace orb::app {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<double> numbers(const std::string& text) {
  std::vector<double> out;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    char* end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (end && *end == '\0' && end != word.c_str()) out.push_back(v);
  }
  return out;
}

class ListingWindowsTest : public testing::DoubleGaussDocumentTest<> {
 protected:
  void SetUp() override {
    testing::DoubleGaussDocumentTest<>::SetUp();
    ASSERT_TRUE(testing::pumpUntil([&] { return document->lens()->isReady() && !document->lens()->isBusy(); }));
  }

  /// The listing view of the Reports action's window, opened as the menu opens it.
  ListingView* open(const char* action) {
    const WindowAction* row = windowAction(action);
    if (!row || !windowActionIsAvailable(*row) || !document->performAction(action)) return nullptr;
    SmartWindowController* controller = document->existingWindowControllerForWindowNibName(row->nibName);
    if (!controller) return nullptr;
    controller->window()->show();
    testing::settle();
    return controller->window()->findChild<ListingView*>(QStringLiteral("listing"));
  }
};

TEST_F(ListingWindowsTest, SeidelListingShowsTheParaxialLayersSums) {
  ListingView* view = open("showSeidelListing");
  ASSERT_TRUE(view);
  EXPECT_NE(dynamic_cast<SeidelListingView*>(view), nullptr);
  const std::string text = view->toPlainText().toStdString();

  // The sums measured afresh on the document's lens.
  tracing::seidelDataMeasurement(*document->lens());
  const tracing::SeidelSums sums = tracing::seidelSums(*document->lens());
  const double expected[] = {sums.S1, sums.S2, sums.S3, sums.S4, sums.S5, sums.C1, sums.C2};
  ASSERT_GT(std::abs(sums.S1), 1e-6) << "a double Gauss has spherical aberration to sum";

  // The TOTAL line prints them with six decimals.
  std::vector<double> total;
  for (const auto& line : lines(text))
    if (line.find("TOTAL") != std::string::npos) total = numbers(line);
  ASSERT_EQ(total.size(), 7u) << text;
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(total[i], expected[i], 5.1e-7) << "sum " << i;

  // The summary lines print them in exponent form, to six significant digits.
  const char* labels[] = {"(S1):", "(S2):", "(S3):", "(S4):", "(S5):", "(C1):", "(C2):"};
  for (int i = 0; i < 7; ++i) {
    std::vector<double> values;
    for (const auto& line : lines(text))
      if (line.find(labels[i]) != std::string::npos) values = numbers(line);
    ASSERT_EQ(values.size(), 1u) << labels[i];
    EXPECT_NEAR(values[0], expected[i], 1e-5 * std::abs(expected[i]) + 1e-12) << labels[i];
  }

  // Petzval curvature n_f · S4 / H².
  std::vector<double> petzval;
  for (const auto& line : lines(text))
    if (line.rfind("Curvature of Petzval surface:", 0) == 0) petzval = numbers(line);
  ASSERT_EQ(petzval.size(), 1u);
  const double h = sums.lagrangeInvariant;
  EXPECT_NEAR(petzval[0], sums.finalIndex * sums.S4 / (h * h), 1e-6);
}

TEST_F(ListingWindowsTest, PrescriptionListsEverySurfaceAsTheFileHasIt) {
  ListingView* view = open("showPrescriptionListing");
  ASSERT_TRUE(view);
  EXPECT_EQ(view->footerComment(), "Prescription listing");
  const std::string text = view->toPlainText().toStdString();

  // Radius = 1 / CURV and thickness = DISZ of DoubleGauss.zmx, surfaces 0 to 12.
  struct Row {
    double radius, thickness;
  };
  const Row file[] = {{kInf, kInf},     {54.15325, 8.746658}, {152.5219, 0.5},      {35.95062, 14.0},
                      {kInf, 3.776966}, {22.26992, 14.25306}, {kInf, 12.42813},     {-25.68503, 3.776966},
                      {kInf, 10.83352}, {-36.98022, 0.5},     {196.4173, 6.858506}, {-67.14755, 57.31454},
                      {kInf, 0}};
  std::vector<std::vector<std::string>> surfaces;
  bool inSurfaces = false;
  for (const auto& line : lines(text)) {
    if (line == "Surfaces") {
      inSurfaces = true;
      continue;
    }
    if (line.rfind("Additional data", 0) == 0) break;
    if (!inSurfaces || line.empty() || line.find("number") != std::string::npos) continue;
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    surfaces.push_back(words);
  }
  ASSERT_EQ(surfaces.size(), std::size(file)) << text;
  for (std::size_t i = 0; i < std::size(file); ++i) {
    const auto& words = surfaces[i];
    EXPECT_EQ(words.front(), std::to_string(i));
    // The type column comes right before radius and thickness.
    auto type = std::find(words.begin(), words.end(), "Standard");
    ASSERT_TRUE(type != words.end() && words.end() - type >= 3) << "surface " << i;
    const double radius = std::strtod(type[1].c_str(), nullptr);
    const double thickness = std::strtod(type[2].c_str(), nullptr);
    if (std::isinf(file[i].radius))
      EXPECT_TRUE(std::isinf(radius)) << "surface " << i;
    else
      EXPECT_NEAR(radius, file[i].radius, 6e-5) << "surface " << i;
    if (std::isinf(file[i].thickness))
      EXPECT_TRUE(std::isinf(thickness)) << "surface " << i;
    else
      EXPECT_NEAR(thickness, file[i].thickness, 6e-5) << "surface " << i;
  }
  // Surface 6 is the stop.
  EXPECT_NE(std::find(surfaces[6].begin(), surfaces[6].end(), "STO"), surfaces[6].end()) << text;

  // Asked again, the same window comes front.
  const std::size_t windows = document->windowControllers().size();
  EXPECT_EQ(open("showPrescriptionListing"), view);
  EXPECT_EQ(document->windowControllers().size(), windows);
}

TEST_F(ListingWindowsTest, TransformationMatricesPlaceEachVertexOneThicknessOn) {
  ListingView* view = open("showTransformationMatrixListing");
  ASSERT_TRUE(view);
  EXPECT_EQ(view->footerComment(), "Transformation matrix listing");
  const std::string text = view->toPlainText().toStdString();
  // Each surface's block is three rows of rotation and translation (the first followed by the
  // surface's nickname); the third ends in z.
  std::vector<double> z;
  std::vector<std::string> all = lines(text);
  for (std::size_t i = 0; i + 3 < all.size(); ++i)
    if (all[i].empty() && numbers(all[i + 1]).size() >= 4 && numbers(all[i + 3]).size() == 4)
      z.push_back(numbers(all[i + 3])[3]);
  ASSERT_EQ(z.size(), 13u) << text;
  const double thickness[] = {8.746658, 0.5,      14.0, 3.776966, 14.25306, 12.42813,
                              3.776966, 10.83352, 0.5,  6.858506, 57.31454};
  for (int s = 1; s <= 11; ++s)
    EXPECT_NEAR(z[s + 1] - z[s], thickness[s - 1], 1e-4 * std::max(1.0, std::abs(z[s + 1]))) << "surface " << s;
}

TEST_F(ListingWindowsTest, ListingsFollowTheLens) {
  ListingView* view = open("showPrescriptionListing");
  ASSERT_TRUE(view);
  auto surfaceOne = [&] {
    for (const auto& line : lines(view->toPlainText().toStdString()))
      if (line.rfind("     1 ", 0) == 0) return numbers(line);
    return std::vector<double>{};
  };
  ASSERT_FALSE(surfaceOne().empty());
  ASSERT_TRUE(testing::pumpUntil([&] { return document->snapshotIsFresh(); }));
  int ready = 0;
  auto watch = platform::NotificationCenter::defaultCenter().addObserver(
      analysis::kLensIsReadyNotification, document->reference(), [&](const platform::Notification&) { ++ready; });
  document->lens()->surfaceArray()[1]->setValueForKey("thickness", 9.25);
  ASSERT_TRUE(testing::pumpUntil([&] { return ready > 0 && !document->lens()->isBusy(); }));
  EXPECT_TRUE(testing::pumpUntil([&] {
    const auto values = surfaceOne();
    return std::find(values.begin(), values.end(), 9.25) != values.end();
  })) << view->toPlainText().toStdString();
}

TEST_F(ListingWindowsTest, ListingsPrintWithTheirFooter) {
  ListingView* view = open("showPrescriptionListing");
  ASSERT_TRUE(view);
  const std::string footer = view->pageFooter(2);
  EXPECT_EQ(footer.rfind("Prescription listing", 0), 0u) << footer;
  EXPECT_GT(footer.find('2'), footer.find("listing"));

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("prescription.pdf"));
  platform::UserDefaults::standard().setObject("NSPrintHeaderAndFooter", platform::Value(false));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  view->printTo(printer);
  EXPECT_GT(QFileInfo(path).size(), 0);
  EXPECT_TRUE(platform::UserDefaults::standard().boolForKey("NSPrintHeaderAndFooter"));
  const QMarginsF margins = printer.pageLayout().margins(QPageLayout::Point);
  EXPECT_NEAR(margins.left(), 72, 1e-6);
  EXPECT_NEAR(margins.right(), 72, 1e-6);
  EXPECT_NEAR(margins.top(), 72, 1e-6);
  EXPECT_NEAR(margins.bottom(), 90, 1e-6);
}

TEST(ListingFooterTest, EachListingNamesItself) {
  EXPECT_EQ(ListingView().footerComment(), "Generic listing");
  EXPECT_EQ(SeidelListingView().footerComment(), "Seidel listing");
  EXPECT_EQ(CoordListingView().footerComment(), "Transformation matrix listing");
}

TEST(ProgressPanelTest, ShowsFractionsAndAborts) {
  ProgressPanel panel;
  panel.createWindow();
  ASSERT_TRUE(panel.window());
  auto* bar = panel.window()->findChild<QProgressBar*>(QStringLiteral("progressMonitor"));
  ASSERT_TRUE(bar);
  EXPECT_TRUE(panel.isIndeterminate());

  panel.setString("Reading catalog");
  EXPECT_EQ(panel.infoString(), "Reading catalog");
  panel.doing(3, 4);
  EXPECT_FALSE(panel.isIndeterminate());
  EXPECT_DOUBLE_EQ(panel.value(), 0.75);
  EXPECT_EQ(bar->value() * 4, bar->maximum() * 3);
  // Nothing to count: no division by zero, just an indeterminate indicator.
  panel.doing(1, 0);
  EXPECT_TRUE(panel.isIndeterminate());
  EXPECT_EQ(bar->maximum(), 0);

  // Abort ends the modal run of the panel.
  EXPECT_FALSE(panel.abortDesired());
  QTimer::singleShot(0, &panel, [&] { panel.abort(); });
  const int answer = panel.window()->exec();
  EXPECT_EQ(answer, QDialog::Rejected);
  EXPECT_TRUE(panel.abortDesired());
}

TEST(HelpLauncherTest, OpensTheHelpBookAtTheDelegatesAnchor) {
  ASSERT_FALSE(HelpLauncher::helpBookPath().empty());
  HelpLauncher launcher([] { return std::string("anc-optimizer"); });
  launcher.showHelp();
  QTextBrowser* browser = HelpLauncher::helpWindow();
  EXPECT_TRUE(browser->isVisible());
  EXPECT_EQ(browser->source().fragment(), QStringLiteral("anc-optimizer"));
  EXPECT_EQ(QFileInfo(browser->source().toLocalFile()).canonicalFilePath(),
            QFileInfo(QString::fromStdString(HelpLauncher::helpBookPath())).canonicalFilePath());
  EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("merit function")));
  browser->close();
}

TEST(NotificationLoggerTest, ShowsNotificationsFromAnyThread) {
  NotificationLogger logger;
  logger.awakeFromNib();
  platform::NotificationCenter::defaultCenter().post("loggerTestNotification");
  std::thread([] { platform::NotificationCenter::defaultCenter().post("loggerWorkerNotification"); }).join();
  ASSERT_TRUE(testing::pumpUntil(
      [&] { return logger.window()->toPlainText().contains(QStringLiteral(">> loggerWorkerNotification")); }));
  EXPECT_TRUE(logger.window()->toPlainText().contains(QStringLiteral(">> loggerTestNotification")));
}

}  // namespace
}  // namespace orb::app
