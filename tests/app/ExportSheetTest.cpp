#include "app/windows/ExportSheet.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>

#include "analysis/PlotDictionary.h"
#include "app/Messages.h"

namespace orb::app {
namespace {

using platform::Array;
using platform::Dictionary;

Dictionary curve(const char* name, std::vector<double> x, std::vector<double> y) {
  namespace plot = analysis::plot;
  return Dictionary{{plot::kName, name},
                    {plot::kXLabel, "z (mm)"},
                    {plot::kYLabel, "W (waves)"},
                    {plot::kXSeries, analysis::SeriesValue::make(foundation::VKSeries::seriesWithArray(x))},
                    {plot::kYSeries, analysis::SeriesValue::make(foundation::VKSeries::seriesWithArray(y))}};
}

std::string readFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

struct ExportSheetTest : ::testing::Test {
  std::shared_ptr<ExportSheetController> sheet = platform::makeObject<ExportSheetController>();
  QTemporaryDir directory;
  std::vector<std::string> messages;
  std::vector<SavePanelOptions> panels;

  void SetUp() override {
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string& informative) {
      messages.push_back(text + " | " + informative);
    });
  }
  void TearDown() override { setMessagePresenter({}); }

  /// Saves through a chooser that answers `path` at once.
  void saveTo(const std::string& path) {
    sheet->setSavePathChooser([this, path](QWidget*, const SavePanelOptions& options, auto chosen) {
      panels.push_back(options);
      chosen(path);
    });
    sheet->save();
  }
};

TEST_F(ExportSheetTest, StartsWithCommasANameRowAndEveryCurveSelected) {
  EXPECT_EQ(sheet->valueForKey("delimiterType"), platform::Value(0));
  EXPECT_EQ(sheet->valueForKey("includeNameRow"), platform::Value(true));
  sheet->setValueForKey("curves", Array{curve("A", {0}, {1}), curve("B", {0}, {2}), curve("C", {0}, {3})});
  EXPECT_EQ(sheet->selectionIndexes(), (std::vector<std::size_t>{0, 1, 2}));
}

TEST_F(ExportSheetTest, TextOfTheSelectedCurvesOnTheClipboardAndInTheFile) {
  const Array twoCurves{curve("A", {0, 1}, {1, 2}), curve("B", {0, 1}, {3, 4})};
  Dictionary otherAxis = curve("B", {5, 6.5}, {3, 4});
  otherAxis.set(analysis::plot::kXLabel, "r (mm)");
  struct Case {
    const char* name;
    Array curves;
    std::vector<std::size_t> selection;
    int delimiterType;
    bool includeNameRow;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"comma with names", twoCurves, {0, 1}, 0, true,
       "\"z (mm)\",\"A\",\"B\"\n0.000000e+00,1.000000e+00,3.000000e+00\n1.000000e+00,2.000000e+00,4.000000e+00\n"},
      {"without the name row", twoCurves, {0, 1}, 0, false,
       "0.000000e+00,1.000000e+00,3.000000e+00\n1.000000e+00,2.000000e+00,4.000000e+00\n"},
      {"space", twoCurves, {0, 1}, 1, false, "0.000000e+00 1.000000e+00 3.000000e+00\n1.000000e+00 2.000000e+00 4.000000e+00\n"},
      {"tab", twoCurves, {0, 1}, 2, true,
       "\"z (mm)\"\t\"A\"\t\"B\"\n0.000000e+00\t1.000000e+00\t3.000000e+00\n1.000000e+00\t2.000000e+00\t4.000000e+00\n"},
      {"unknown delimiter type is a space", twoCurves, {0, 1}, 7, false,
       "0.000000e+00 1.000000e+00 3.000000e+00\n1.000000e+00 2.000000e+00 4.000000e+00\n"},
      {"one curve alone", Array{curve("A", {0, 1}, {1, 2}), otherAxis}, {1}, 0, true,
       "\"r (mm)\",\"B\"\n5.000000e+00,3.000000e+00\n6.500000e+00,4.000000e+00\n"},
      // Curves over different abscissae keep their own x beside their y.
      {"different abscissae give an x column each", Array{curve("A", {0, 1}, {1, 2}), otherAxis}, {0, 1}, 0, true,
       "\"z (mm)\",\"A\",\"r (mm)\",\"B\"\n"
       "0.000000e+00,1.000000e+00,5.000000e+00,3.000000e+00\n1.000000e+00,2.000000e+00,6.500000e+00,4.000000e+00\n"},
      {"no selection with the name row", twoCurves, {}, 0, true, "\n"},
      {"no selection without it", twoCurves, {}, 0, false, ""},
      // Rows run to the longest curve, whichever it is; the shorter leaves empty fields.
      {"shorter first curve leaves empty fields", Array{curve("A", {0}, {1}), curve("B", {0, 1}, {3, 4})}, {0, 1}, 0,
       false, "0.000000e+00,1.000000e+00,0.000000e+00,3.000000e+00\n,,1.000000e+00,4.000000e+00\n"},
      {"shorter last curve does not cut the rows", Array{curve("A", {0, 1, 2}, {1, 2, 5}), curve("B", {0}, {3})},
       {0, 1}, 1, false,
       "0.000000e+00 1.000000e+00 0.000000e+00 3.000000e+00\n1.000000e+00 2.000000e+00  \n"
       "2.000000e+00 5.000000e+00  \n"},
      // A y series shorter than its shared x leaves its field empty.
      {"short y over a shared x", Array{curve("A", {0, 1}, {1, 2}), curve("B", {0, 1}, {3})}, {0, 1}, 0, false,
       "0.000000e+00,1.000000e+00,3.000000e+00\n1.000000e+00,2.000000e+00,\n"},
      {"quotes in a name are doubled", Array{curve("say \"hi\"", {-1234.5}, {1e-100})}, {0}, 1, true,
       "\"z (mm)\" \"say \"\"hi\"\"\"\n-1.234500e+03 1.000000e-100\n"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sheet->setCurves(c.curves);
    sheet->setSelectionIndexes(c.selection);
    sheet->setDelimiterType(c.delimiterType);
    sheet->setIncludeNameRow(c.includeNameRow);

    QApplication::clipboard()->setText(QStringLiteral("old contents"));
    sheet->copy();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), c.text);

    const QString path = directory.filePath(QStringLiteral("export-%1.txt").arg(++n));
    saveTo(path.toStdString());
    EXPECT_EQ(readFile(path), c.text);
  }
  EXPECT_TRUE(messages.empty());
  ASSERT_FALSE(panels.empty());
  EXPECT_EQ(panels.back().suffix, "txt");
}

TEST_F(ExportSheetTest, NumbersAreWrittenAsPrintfDoesInTheCLocaleWhateverTheInterfaceLocale) {
  const std::vector<double> values = {0.0, -0.0, 0.1, -1234.5, 6.02214076e23, 1e-300, 1e300, 123456789.123};
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "C");
  std::vector<std::string> expected;
  for (double v : values) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%e", v);
    expected.push_back(buffer);
  }
  if (!std::setlocale(LC_NUMERIC, "de_DE.utf8") && !std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    std::setlocale(LC_NUMERIC, previous.c_str());
    GTEST_SKIP() << "no German locale installed";
  }
  char comma[16];
  std::snprintf(comma, sizeof comma, "%.1f", 1.5);
  sheet->setCurves(Array{curve("A", values, values)});
  sheet->setIncludeNameRow(false);
  const std::string text = sheet->exportText();
  std::setlocale(LC_NUMERIC, previous.c_str());

  EXPECT_STREQ(comma, "1,5");  // the locale really was in force
  std::string want;
  for (const auto& e : expected) want += e + "," + e + "\n";
  EXPECT_EQ(text, want);
}

// A file that cannot be created is said, with the reason, and nothing is written.
TEST_F(ExportSheetTest, AFailedSaveNamesTheFileAndTheReasonAndWritesNothing) {
  sheet->setCurves(Array{curve("A", {0}, {1})});
  ASSERT_TRUE(QDir(directory.path()).mkdir(QStringLiteral("folder")));
  for (const char* name : {"missing/export.txt", "folder"}) {
    SCOPED_TRACE(name);
    messages.clear();
    const std::string path = directory.filePath(QString::fromUtf8(name)).toStdString();
    saveTo(path);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("\"" + path + "\" could not be saved"), std::string::npos) << messages[0];
    EXPECT_GT(messages[0].size(), messages[0].find(" | ") + 3) << "no reason given";
  }
  // Only the folder made above: no file, no temporary left behind.
  EXPECT_EQ(QDir(directory.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{QStringLiteral("folder")});
  EXPECT_TRUE(QDir(directory.filePath(QStringLiteral("folder")))
                  .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(ExportSheetTest, TheListShowsTheCurvesAndFollowsTheUsersSelection) {
  sheet->setCurves(Array{curve("A", {0}, {1}), curve("B", {0}, {2}), curve("C", {0}, {3})});
  auto* list = sheet->sheet()->findChild<QListWidget*>(QStringLiteral("curveList"));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(1)->text(), "B");
  EXPECT_EQ(list->selectedItems().size(), 3);

  list->item(1)->setSelected(false);
  EXPECT_EQ(sheet->selectionIndexes(), (std::vector<std::size_t>{0, 2}));
  auto* delimiter = sheet->sheet()->findChild<QComboBox*>(QStringLiteral("delimiterType"));
  delimiter->setCurrentIndex(2);
  EXPECT_EQ(sheet->delimiterType(), 2);
  sheet->setValueForKey("includeNameRow", false);
  EXPECT_FALSE(sheet->sheet()->findChild<QCheckBox*>(QStringLiteral("includeNameRow"))->isChecked());
  EXPECT_EQ(sheet->exportText(), "0.000000e+00\t1.000000e+00\t3.000000e+00\n");
}

TEST_F(ExportSheetTest, SavePanelIsWindowModalShowsItsAccessoryLineAndAddsTheSuffix) {
  QWidget window;
  window.show();
  std::vector<std::string> chosen;
  runSavePanel(&window, SavePanelOptions{"Save Data", "txt", "Exports in ASCII format (.txt)"},
               [&](const std::string& path) { chosen.push_back(path); });
  auto* panel = window.findChild<QFileDialog*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
  EXPECT_EQ(panel->acceptMode(), QFileDialog::AcceptSave);
  bool accessoryShown = false;
  for (auto* label : panel->findChildren<QLabel*>())
    accessoryShown |= label->text() == "Exports in ASCII format (.txt)";
  EXPECT_TRUE(accessoryShown);

  panel->setDirectory(directory.path());
  panel->selectFile(QStringLiteral("data"));
  static_cast<QDialog*>(panel)->accept();  // as the Save button does
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0], directory.filePath(QStringLiteral("data.txt")).toStdString());
}

}  // namespace
}  // namespace orb::app
