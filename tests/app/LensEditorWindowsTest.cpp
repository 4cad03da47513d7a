// The lens's small editor windows on the double Gauss example: each opens from
// its menu row, shows the lens as the file describes it, and an edit made in it
// is one undo step.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QUndoStack>
#include <functional>
#include <string>
#include <vector>

#include "AnalysisWindowTestSupport.h"
#include "AppTestSupport.h"
#include "analysis/LensRoles.h"
#include "app/Messages.h"
#include "app/document/OBDocument.h"
#include "app/document/WindowActions.h"
#include "app/tables/DNDArrayController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "platform/NotificationCenter.h"

namespace orb::app {
namespace {

using platform::Array;
using platform::Dictionary;

class LensEditorWindowsTest : public testing::DoubleGaussDocumentTest<> {
 protected:
  std::vector<std::string> messages;

  void SetUp() override {
    testing::DoubleGaussDocumentTest<>::SetUp();
    setMessagePresenter([this](QWidget*, const std::string& text, const std::string&) { messages.push_back(text); });
    ASSERT_TRUE(testing::pumpUntil([&] { return document->lens()->isReady() && !document->lens()->isBusy(); }));
  }

  /// The window of the Lens-menu action, opened as the menu opens it.
  OBWindow* open(const char* action) {
    const WindowAction* row = windowAction(action);
    if (!row || !windowActionIsAvailable(*row) || !document->performAction(action)) return nullptr;
    SmartWindowController* controller = document->existingWindowControllerForWindowNibName(row->nibName);
    if (!controller) return nullptr;
    controller->window()->show();
    return controller->window();
  }

  /// Runs `edit` once the idle-time snapshot is there and waits for the change
  /// cycle it starts.
  ::testing::AssertionResult editAndWait(const std::function<void()>& edit) {
    if (!testing::pumpUntil([&] { return document->snapshotIsFresh(); }))
      return ::testing::AssertionFailure() << "no snapshot";
    int ready = 0;
    auto watch = platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document->reference(), [&](const platform::Notification&) { ++ready; });
    edit();
    if (!testing::pumpUntil([&] { return ready > 0 && !document->lens()->isBusy(); }))
      return ::testing::AssertionFailure() << "no change cycle";
    return ::testing::AssertionSuccess();
  }

  template <class T>
  static T* child(OBWindow* window, const char* name) {
    return window ? window->findChild<T*>(QString::fromUtf8(name)) : nullptr;
  }
};

struct Opening {
  const char* action;
  const char* title;
};

// Every window opens from its menu row under a readable title, shows the lens
// (not the no-lens placeholder), reports nothing, and a second request brings
// the same window back.
TEST_F(LensEditorWindowsTest, EachWindowOpensFromItsMenuRow) {
  const Opening openings[] = {
      {"showSystemWindow", "System Data"},
      {"showAdvancedOptions", "Advanced Options"},
      {"makeSourceDivergenceWindow", "Source Divergence"},
      {"makePupilDataWindow", "Pupil Data"},
      {"showVignettingFactors", "Vignetting Factors"},
      {"showGlassMonitor", "Glasses"},
      {"showMulticonfigurations", "Multiconfigurations"},
      {"showMC", "Configuration Table"},
  };
  for (const auto& o : openings) {
    SCOPED_TRACE(o.action);
    OBWindow* window = open(o.action);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle().toStdString().rfind(o.title, 0), 0u) << window->windowTitle().toStdString();
    for (auto* label : window->findChildren<QLabel*>()) EXPECT_NE(label->text(), QStringLiteral("No lens"));
    EXPECT_EQ(open(o.action), window);
  }
  testing::settle();
  EXPECT_TRUE(messages.empty()) << messages.front();
}

// The system window shows the file's entrance pupil diameter (ENPD 33.3333); a
// new one is one undo step, and entries that are no usable diameter leave the
// lens alone.
TEST_F(LensEditorWindowsTest, SystemWindowEditsTheEntrancePupilDiameter) {
  OBWindow* window = open("showSystemWindow");
  auto* diameter = child<QLineEdit>(window, "entrancePupilDiameter");
  ASSERT_TRUE(diameter);
  EXPECT_DOUBLE_EQ(diameter->text().toDouble(), 33.3333);
  auto lens = document->lens();

  // Each refusal says why in the window's status line.
  auto* bar = window->findChild<QStatusBar*>();
  ASSERT_TRUE(bar);
  const std::pair<const char*, const char*> refusals[] = {{"abc", "\"abc\" is not a number"},
                                                          {"-3", "\"-3\" is not above zero"},
                                                          {"0", "\"0\" is not above zero"},
                                                          {"nan", "\"nan\" is not a number"},
                                                          {"inf", "\"inf\" is not a finite number"}};
  for (const auto& [refused, reason] : refusals) {
    SCOPED_TRACE(refused);
    diameter->setText(QString::fromUtf8(refused));
    emit diameter->editingFinished();
    EXPECT_DOUBLE_EQ(lens->sourceDivergenceValue(), 33.3333);
    EXPECT_DOUBLE_EQ(diameter->text().toDouble(), 33.3333);
    EXPECT_EQ(bar->currentMessage().toStdString(), std::string(reason) + ": the entrance pupil diameter keeps 33.3333");
  }
  testing::settle();
  EXPECT_FALSE(document->undoStack().canUndo());

  ASSERT_TRUE(editAndWait([&] {
    diameter->setText(QStringLiteral("25"));
    emit diameter->editingFinished();
  }));
  EXPECT_EQ(lens->sourceDivergenceType(), 0);
  EXPECT_DOUBLE_EQ(lens->sourceDivergenceValue(), 25);
  EXPECT_DOUBLE_EQ(lens->valueForKey("entrancePupilDiameter").asDouble(), 25);
  EXPECT_DOUBLE_EQ(diameter->text().toDouble(), 25);
  EXPECT_TRUE(bar->currentMessage().isEmpty()) << "an accepted entry leaves the refusal shown";
  ASSERT_EQ(document->undoStack().count(), 1);

  document->undo();
  EXPECT_DOUBLE_EQ(lens->sourceDivergenceValue(), 33.3333);
  ASSERT_TRUE(testing::pumpUntil([&] { return diameter->text().toDouble() == 33.3333; }));
}

// The vignetting table lists the file's three fields (YFLN 0 10 14); a pupil
// factor typed into it is one undo step, and the summary counts the vignetted
// fields.
TEST_F(LensEditorWindowsTest, VignettingTableEditsAFieldsPupilFactor) {
  OBWindow* window = open("showVignettingFactors");
  auto* table = child<DNDArrayController>(window, "vignettingController");
  auto* summary = child<QLabel>(window, "vignettingSummary");
  ASSERT_TRUE(table && summary);
  ASSERT_EQ(table->rowCount(), 3);
  auto column = [&](const char* id) {
    for (std::size_t c = 0; c < table->columns().size(); ++c)
      if (table->columns()[c].identifier == id) return static_cast<int>(c);
    return -1;
  };
  for (int row = 0; row < 3; ++row)
    EXPECT_EQ(table->data(table->index(row, column("y"))).toString(), QString::number(std::vector{0, 10, 14}[row]));
  EXPECT_EQ(summary->text(), QStringLiteral("0 of 3 fields vignetted"));

  EXPECT_FALSE(table->setData(table->index(2, column("PXA")), QStringLiteral("nan")));
  EXPECT_FALSE(table->setData(table->index(2, column("vignetted")), QStringLiteral("Yes")));
  ASSERT_TRUE(
      editAndWait([&] { EXPECT_TRUE(table->setData(table->index(2, column("PXA")), QStringLiteral("-0.6"))); }));
  auto lens = document->lens();
  EXPECT_DOUBLE_EQ(lens->fieldArray()[2]->PXA(), -0.6);
  EXPECT_EQ(summary->text(), QStringLiteral("1 of 3 fields vignetted"));
  EXPECT_EQ(table->data(table->index(2, column("vignetted"))).toString(), QStringLiteral("Yes"));
  EXPECT_EQ(document->undoStack().count(), 1);

  document->undo();
  EXPECT_DOUBLE_EQ(lens->fieldArray()[2]->PXA(), lens::Field::kDefaultPXA);
  ASSERT_TRUE(testing::pumpUntil([&] { return summary->text() == QStringLiteral("0 of 3 fields vignetted"); }));
  EXPECT_EQ(table->data(table->index(2, column("PXA"))).toString(), QStringLiteral("-1"));
}

// Editing a configuration's value is one undo step of its own and leaves the
// lens as it is; applying a configuration from the list is an ordinary,
// undoable lens edit.
TEST_F(LensEditorWindowsTest, ConfigurationsAreEditedAndAppliedUndoably) {
  auto lens = document->lens();
  const double thickness = lens->surfaceArray()[2]->thickness();
  lens->storeMulticonfigurationArray(
      Array{Dictionary{{"s2.thickness", 7.5}},
            Dictionary{{"s2.thickness", Dictionary{{"value", 3.25}, {"isVariable", true}}}}});
  OBWindow* tableWindow = open("showMC");
  auto* view = child<QTableView>(tableWindow, "configurationTable");
  ASSERT_TRUE(view);
  QAbstractItemModel* model = view->model();
  ASSERT_EQ(model->rowCount(), 1);
  ASSERT_EQ(model->columnCount(), 2);
  EXPECT_EQ(model->headerData(0, Qt::Vertical).toString(), QStringLiteral("s2.thickness"));
  EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("3.25"));

  EXPECT_FALSE(model->setData(model->index(0, 1), QStringLiteral("nan")));
  ASSERT_TRUE(model->setData(model->index(0, 1), QStringLiteral("4")));
  const auto edited = lens->multiconfigurationArray()[1].asDictionary().get("s2.thickness").asDictionary();
  EXPECT_EQ(edited.get("value").asDouble(), 4.0);
  EXPECT_TRUE(edited.get("isVariable").asBool());  // the variable flag stays
  EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("4"));
  EXPECT_DOUBLE_EQ(lens->surfaceArray()[2]->thickness(), thickness);
  ASSERT_EQ(document->undoStack().count(), 1);
  EXPECT_TRUE(document->isDocumentEdited());
  document->undo();
  EXPECT_FALSE(document->isDocumentEdited());
  EXPECT_EQ(
      lens->multiconfigurationArray()[1].asDictionary().get("s2.thickness").asDictionary().get("value").asDouble(),
      3.25);
  EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("3.25"));

  OBWindow* listWindow = open("showMulticonfigurations");
  auto* list = child<QListWidget>(listWindow, "configurationList");
  auto* apply = child<QPushButton>(listWindow, "applyConfiguration");
  ASSERT_TRUE(list && apply);
  ASSERT_EQ(list->count(), 2);
  list->setCurrentRow(0);
  ASSERT_TRUE(editAndWait([&] { apply->click(); }));
  EXPECT_DOUBLE_EQ(lens->surfaceArray()[2]->thickness(), 7.5);
  document->undo();
  EXPECT_DOUBLE_EQ(lens->surfaceArray()[2]->thickness(), thickness);
}

}  // namespace
}  // namespace orb::app
