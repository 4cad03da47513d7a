#include "app/tables/DNDArrayController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/Formatters.h"
#include "platform/ArchiveRegistry.h"
#include "platform/Coder.h"
#include "platform/KeyedArchiver.h"
#include "platform/PropertyList.h"

namespace orb::app {
namespace {

/// The least archivable row: a name.
class TestRow : public platform::Object {
 public:
  std::string m_name;
  std::string className() const override { return "DNDTestRow"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys() {
    static const platform::KeyTable table(&Object::classKeys(),
                                          {platform::Keys<TestRow>::field("name", &TestRow::m_name)});
    return table;
  }
  void encodeWithCoder(platform::Coder& coder) const override { coder.encodeObject("name", m_name); }
  void initWithCoder(const platform::Coder& coder) override {
    const auto name = coder.decodeObject("name");
    if (name.isString()) m_name = name.asString();
  }
};

std::shared_ptr<TestRow> row(const std::string& name) {
  auto r = platform::makeObject<TestRow>();
  r->m_name = name;
  return r;
}

/// Takes whole rows from other tables, files and text besides its own moves.
class OpenController : public DNDArrayController {
 public:
  QStringList draggedTypes() const override { return {kMovedRowsType, kCopiedRowsType, kFilenamesPasteboardType}; }
};

/// Parses to upper case and refuses "bad": shows that edits go through the column's formatter.
class ShoutingFormatter : public Formatter {
 public:
  std::string className() const override { return "ShoutingFormatter"; }
  QString stringForObjectValue(const platform::Value& value) const override {
    return QStringLiteral("<%1>").arg(QString::fromStdString(value.isString() ? value.asString() : std::string()));
  }
  QString editingStringForObjectValue(const platform::Value& value) const override {
    return QString::fromStdString(value.isString() ? value.asString() : std::string());
  }
  bool getObjectValue(platform::Value& out, const QString& text, QString* error) const override {
    if (text == QLatin1String("bad")) {
      if (error) *error = QStringLiteral("refused");
      return false;
    }
    out = text.toUpper().toStdString();
    return true;
  }
};

struct DNDArrayControllerTest : ::testing::Test {
  static void SetUpTestSuite() {
    static bool registered = false;
    if (!registered) platform::ArchiveRegistry::shared().registerClass<TestRow>("DNDTestRow", "NSObject");
    registered = true;
  }

  /// A controller over rows named by the letters of `names`, each insertion and removal counted.
  void fill(DNDArrayController& controller, const std::string& names) {
    storage = std::make_shared<std::vector<ObjectPtr>>();
    for (char c : names) storage->push_back(row(std::string(1, c)));
    auto binding = bindingForVector(storage);
    auto insert = binding.insert;
    auto remove = binding.remove;
    binding.insert = [this, insert](ObjectPtr o, std::size_t at) {
      ++insertions;
      insert(std::move(o), at);
    };
    binding.remove = [this, remove](std::size_t at) {
      ++removals;
      remove(at);
    };
    controller.setColumns({TableColumn{"name", "Name", "name", true, nullptr}});
    controller.setContent(binding);
  }

  static std::string names(const DNDArrayController& controller) {
    std::string s;
    for (const auto& o : controller.arrangedObjects()) s += std::static_pointer_cast<TestRow>(o)->m_name;
    return s;
  }

  std::shared_ptr<std::vector<ObjectPtr>> storage;
  int insertions = 0;
  int removals = 0;
};

TEST_F(DNDArrayControllerTest, OwnTableDropsMoveOrCopyRowsIntoOneSelectedBlock) {
  struct Case {
    std::vector<std::size_t> rows;
    int to;
    Qt::DropActions mask;
    std::string expected;
    std::vector<std::size_t> selected;
  };
  const std::vector<Case> cases = {
      {{1, 3}, 0, Qt::MoveAction, "bdace", {0, 1}},
      {{0, 1}, 4, Qt::MoveAction, "cdabe", {2, 3}},
      {{1, 3}, 0, Qt::MoveAction | Qt::CopyAction, "bdace", {0, 1}},  // Move wins over Copy
      {{1, 3}, 5, Qt::MoveAction, "acebd", {3, 4}},
      {{1, 3}, 0, Qt::CopyAction, "bdabcde", {0, 1}},
      {{0, 4}, 2, Qt::CopyAction, "abaecde", {2, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    DNDArrayController controller;
    fill(controller, "abcde");
    DNDTableView view;
    controller.setTableView(&view);
    const auto original = controller.arrangedObjects();
    std::unique_ptr<QMimeData> data(controller.writeRows(c.rows));
    ASSERT_TRUE(controller.isOwnData(data.get()));
    int target = c.to;
    bool onRow = true;
    EXPECT_NE(controller.validateDrop(data.get(), target, onRow, c.mask, true), Qt::IgnoreAction);
    EXPECT_FALSE(onRow);  // drops inside the own table go between rows
    EXPECT_TRUE(controller.acceptDrop(data.get(), c.to, false, c.mask, true));
    EXPECT_EQ(names(controller), c.expected);
    EXPECT_EQ(controller.selectionIndexes(), c.selected);
    std::vector<std::size_t> shown;
    for (const auto& i : view.selectionModel()->selectedRows()) shown.push_back(static_cast<std::size_t>(i.row()));
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, c.selected);  // the table shows the controller's selection
    if (c.mask == Qt::CopyAction) {
      // Copies are new objects; the originals stay where they were, in order.
      for (auto r : c.selected)
        for (const auto& o : original) EXPECT_NE(controller.arrangedObjects()[r], o);
    } else {
      EXPECT_EQ(insertions, removals);  // a move is one removal and one insertion per row
      for (const auto& o : original)
        EXPECT_NE(std::find(controller.arrangedObjects().begin(), controller.arrangedObjects().end(), o),
                  controller.arrangedObjects().end());
    }
  }
}

TEST_F(DNDArrayControllerTest, RowsFromAnotherTableAreInsertedAtTheDropRowNegativeMeaningTheTop) {
  DNDArrayController source;
  fill(source, "xyz");
  std::unique_ptr<QMimeData> data(source.writeRows({0, 2}));
  EXPECT_EQ(DNDArrayController::decodeRowIndexes(data->data(kMovedRowsType)), (std::vector<std::size_t>{0, 2}));

  OpenController target;
  fill(target, "abc");
  EXPECT_FALSE(target.isOwnData(data.get()));
  int row = -1;
  bool onRow = false;
  EXPECT_EQ(target.validateDrop(data.get(), row, onRow, Qt::MoveAction, false), Qt::CopyAction);
  EXPECT_TRUE(target.acceptDrop(data.get(), -1, false, Qt::MoveAction, false));
  EXPECT_EQ(names(target), "xzabc");
  EXPECT_EQ(target.selectionIndexes(), (std::vector<std::size_t>{0, 1}));
  EXPECT_NE(target.arrangedObjects()[0], source.arrangedObjects()[0]);  // decoded, not shared
  EXPECT_EQ(names(source), "xyz");

  // Rows dropped on a row are not a property of this table: refused.
  row = 1;
  onRow = true;
  EXPECT_EQ(target.validateDrop(data.get(), row, onRow, Qt::CopyAction, false), Qt::IgnoreAction);
  EXPECT_FALSE(target.acceptDrop(data.get(), 1, true, Qt::CopyAction, false));

  // The base table takes only its own moves.
  DNDArrayController closed;
  fill(closed, "abc");
  row = 0;
  EXPECT_EQ(closed.validateDrop(data.get(), row, onRow, Qt::CopyAction, false), Qt::IgnoreAction);
  EXPECT_FALSE(closed.acceptDrop(data.get(), 0, false, Qt::CopyAction, false));
  EXPECT_EQ(names(closed), "abc");

  // A table that is not editable takes nothing.
  target.setEditable(false);
  row = 0;
  EXPECT_EQ(target.validateDrop(data.get(), row, onRow, Qt::CopyAction, false), Qt::IgnoreAction);
}

TEST_F(DNDArrayControllerTest, PasteInsertsAtTheLastSelectedRowOrAtTheTop) {
  DNDArrayController source;
  fill(source, "xy");
  std::unique_ptr<QMimeData> data(source.writeRows({0, 1}));

  OpenController target;
  fill(target, "abcdefg");
  EXPECT_TRUE(target.pasteFromMimeData(data.get()));
  EXPECT_EQ(names(target), "xyabcdefg");
  EXPECT_EQ(target.selectionIndexes(), (std::vector<std::size_t>{0, 1}));

  fill(target, "abcdefg");
  target.setSelectionIndexes({2, 5});
  EXPECT_TRUE(target.pasteFromMimeData(data.get()));
  EXPECT_EQ(names(target), "abcdexyfg");
  EXPECT_EQ(target.selectionIndexes(), (std::vector<std::size_t>{5, 6}));

  // Moved-row indexes alone are never pasted.
  QMimeData moved;
  moved.setData(kMovedRowsType, DNDArrayController::encodeRowIndexes({0}));
  EXPECT_FALSE(target.pasteFromMimeData(&moved));
}

TEST_F(DNDArrayControllerTest, AFileDropWithoutObjectsIsTakenAndChangesNothing) {
  OpenController controller;
  fill(controller, "abc");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/nothing-here.txt"))});
  int row = 1;
  bool onRow = true;
  EXPECT_EQ(controller.validateDrop(&data, row, onRow, Qt::CopyAction, false), Qt::CopyAction);
  EXPECT_FALSE(onRow);
  EXPECT_TRUE(controller.acceptDrop(&data, 1, false, Qt::CopyAction, false));
  EXPECT_EQ(names(controller), "abc");
  EXPECT_EQ(insertions, 0);
}

TEST_F(DNDArrayControllerTest, SelectionActions) {
  DNDArrayController controller;
  fill(controller, "");
  controller.negateSelection();
  EXPECT_TRUE(controller.selectionIndexes().empty());

  fill(controller, "abcde");
  controller.setSelectionIndexes({1, 3, 9});  // out of range ignored
  EXPECT_EQ(controller.selectionIndexes(), (std::vector<std::size_t>{1, 3}));
  EXPECT_TRUE(controller.canReverse());
  controller.negateSelection();
  EXPECT_EQ(controller.selectionIndexes(), (std::vector<std::size_t>{0, 2, 4}));
  controller.selectAll();
  EXPECT_EQ(controller.selectionIndexes().size(), 5u);
  controller.selectNone();
  EXPECT_FALSE(controller.canReverse());
  EXPECT_FALSE(controller.onlyOneSelection());

  // The table's selection and the controller's are one.
  DNDTableView view;
  controller.setTableView(&view);
  view.selectRow(2);
  EXPECT_EQ(controller.selectionIndexes(), (std::vector<std::size_t>{2}));
  EXPECT_TRUE(controller.onlyOneSelection());
  controller.setSelectionIndexes({0, 4});
  EXPECT_EQ(view.selectionModel()->selectedRows().size(), 2);

  // Removing keeps a selection on the row that took the first removed one's place.
  controller.setSelectionIndexes({1, 3});
  controller.remove();
  EXPECT_EQ(names(controller), "ace");
  EXPECT_EQ(controller.selectionIndexes(), (std::vector<std::size_t>{1}));
}

TEST_F(DNDArrayControllerTest, ForgedOrForeignDropsAndPastesAreRefusedWithoutChange) {
  OpenController controller;
  fill(controller, "abcde");

  QMimeData forged;
  forged.setData(kMovedRowsType, DNDArrayController::encodeRowIndexes({1, 99}));
  EXPECT_FALSE(controller.acceptDrop(&forged, 0, false, Qt::MoveAction, true));
  EXPECT_FALSE(controller.acceptDrop(&forged, 0, false, Qt::CopyAction, true));
  QMimeData garbage;
  garbage.setData(kMovedRowsType, QByteArray("\x01\x02not an archive"));
  EXPECT_FALSE(controller.acceptDrop(&garbage, 0, false, Qt::MoveAction, true));

  // An archive naming a class nobody registered.
  auto bytes = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{platform::Value(row("q"))},
                                                                   platform::PlistFormat::XML);
  QByteArray archive(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  ASSERT_TRUE(archive.contains("DNDTestRow"));
  archive.replace("DNDTestRow", "EvilRowClass");
  QMimeData foreign;
  foreign.setData(kCopiedRowsType, archive);
  EXPECT_FALSE(controller.acceptDrop(&foreign, 0, false, Qt::CopyAction, false));
  EXPECT_FALSE(controller.pasteFromMimeData(&foreign));
  // Data that is not row objects at all.
  QMimeData strings;
  auto plain = platform::KeyedArchiver::archivedDataWithRootObject(platform::Array{platform::Value("text")});
  strings.setData(kCopiedRowsType,
                  QByteArray(reinterpret_cast<const char*>(plain.data()), static_cast<qsizetype>(plain.size())));
  EXPECT_FALSE(controller.pasteFromMimeData(&strings));

  EXPECT_EQ(names(controller), "abcde");
  EXPECT_EQ(insertions + removals, 0);
}

TEST_F(DNDArrayControllerTest, RowsDraggedOutAndMovedAwayAreRemoved) {
  DNDArrayController controller;
  fill(controller, "abcde");
  std::unique_ptr<QMimeData> data(controller.writeRows({0, 3}));
  auto copied = DNDArrayController::unarchiveObjects(data->data(kCopiedRowsType));
  ASSERT_TRUE(copied);
  ASSERT_EQ(copied->size(), 2u);
  EXPECT_EQ(std::static_pointer_cast<TestRow>((*copied)[1])->m_name, "d");
  controller.removeRowsInvolvedInDrag();
  EXPECT_EQ(names(controller), "bce");
}

TEST_F(DNDArrayControllerTest, CellEditsGoThroughTheFormatterToTheRowObject) {
  DNDArrayController controller;
  fill(controller, "abc");
  controller.setColumns({TableColumn{"name", "Name", "name", true, std::make_shared<ShoutingFormatter>()}});
  const QModelIndex cell = controller.index(1, 0);
  EXPECT_EQ(controller.data(cell, Qt::DisplayRole).toString(), QStringLiteral("<b>"));
  EXPECT_EQ(controller.data(cell, Qt::EditRole).toString(), QStringLiteral("b"));
  EXPECT_TRUE(controller.setData(cell, QStringLiteral("new")));
  EXPECT_EQ(std::static_pointer_cast<TestRow>(controller.arrangedObjects()[1])->m_name, "NEW");
  EXPECT_FALSE(controller.setData(cell, QStringLiteral("bad")));
  EXPECT_EQ(std::static_pointer_cast<TestRow>(controller.arrangedObjects()[1])->m_name, "NEW");

  controller.setEditable(false);
  EXPECT_FALSE(controller.flags(cell) & Qt::ItemIsEditable);
  EXPECT_FALSE(controller.setData(cell, QStringLiteral("other")));
}

TEST_F(DNDArrayControllerTest, ReturnOnTheLastRowInSpreadsheetModeAddsARowAndEditsIt) {
  DNDArrayController controller;
  fill(controller, "ab");
  controller.setObjectFactory([] { return row("?"); });
  DataEntryTableView view;
  controller.setTableView(&view);
  view.setSpreadsheetMode(true);
  view.resize(300, 200);
  view.show();

  view.editWithInfo(0, 1);
  auto* editor = qobject_cast<QLineEdit*>(view.indexWidget(controller.index(1, 0)));
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("typed"));
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(testing::pumpUntil([&] { return view.indexWidget(controller.index(2, 0)) != nullptr; }));
  EXPECT_EQ(names(controller), "atyped?");
  EXPECT_EQ(view.currentIndex().row(), 2);

  // Outside spreadsheet mode Return only ends the edit.
  view.setSpreadsheetMode(false);
  view.commitEditing();
  view.editWithInfo(0, 2);
  auto* last = qobject_cast<QLineEdit*>(view.indexWidget(controller.index(2, 0)));
  ASSERT_NE(last, nullptr);
  QTest::keyClick(last, Qt::Key_Return);
  testing::settle();
  EXPECT_EQ(controller.rowCount(), 3);
}

TEST_F(DNDArrayControllerTest, DragImagesAreLabelledByTheTable) {
  DNDArrayController controller;
  fill(controller, "abc");
  SurfaceTableView surfaces;
  controller.setTableView(&surfaces);
  EXPECT_EQ(surfaces.dragLabel({1}), QStringLiteral("one surface"));
  EXPECT_EQ(surfaces.dragLabel({0, 1, 2}), QStringLiteral("3 surfaces"));
  GlassTableView glasses;
  controller.setTableView(&glasses);
  EXPECT_EQ(glasses.dragLabel({2}), QStringLiteral("c"));
  EXPECT_EQ(glasses.dragLabel({0, 2}), QStringLiteral("2 glasses"));
  MyTableView objects;
  EXPECT_EQ(objects.dragLabel({0}), QStringLiteral("1 object"));
  const QPixmap image = objects.dragImageForLabel(QStringLiteral("2 objects"));
  const QSize text = QFontMetrics(objects.font()).size(0, QStringLiteral("2 objects"));
  EXPECT_EQ(image.size(), text + QSize(6, 6));
}

/// Qt delivers drag events only during a real drag: the test hands them to the table itself.
struct DropTestView : DNDTableView {
  using DNDTableView::dragMoveEvent;
  using DNDTableView::dropEvent;
};

TEST_F(DNDArrayControllerTest, TheTableDropsBetweenRowsBelowTheLastAndTheModelDropsTheSame) {
  DNDArrayController source;
  fill(source, "x");
  std::unique_ptr<QMimeData> data(source.writeRows({0}));

  OpenController controller;
  fill(controller, "ab");
  DropTestView view;
  controller.setTableView(&view);
  view.resize(300, 300);
  view.show();
  const QRect first = view.visualRect(controller.index(0, 0));
  const QPointF below(first.center().x(), view.visualRect(controller.index(1, 0)).bottom() + 20);
  const QPointF middleOfFirst = first.center();

  QDragMoveEvent onRow(middleOfFirst.toPoint(), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  view.dragMoveEvent(&onRow);
  EXPECT_FALSE(onRow.isAccepted());  // rows are not a property of a row

  QDragMoveEvent move(below.toPoint(), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  view.dragMoveEvent(&move);
  EXPECT_TRUE(move.isAccepted());
  QDropEvent drop(below, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  view.dropEvent(&drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(names(controller), "abx");

  // Qt's own drop entry: no row under an invalid parent is the end of the list, a row is a gap.
  EXPECT_TRUE(controller.dropMimeData(data.get(), Qt::CopyAction, -1, -1, QModelIndex()));
  EXPECT_TRUE(controller.dropMimeData(data.get(), Qt::CopyAction, 1, 0, QModelIndex()));
  EXPECT_EQ(names(controller), "axbxx");
  EXPECT_FALSE(controller.canDropMimeData(data.get(), Qt::CopyAction, -1, -1, controller.index(0, 0)));
}

/// The one-glass editor's owner.
class GlassHolder : public platform::Object {
 public:
  platform::Value m_glassDictionary;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys() {
    static const platform::KeyTable table(
        &Object::classKeys(), {platform::Keys<GlassHolder>::field("glassDictionary", &GlassHolder::m_glassDictionary)});
    return table;
  }
};

TEST_F(DNDArrayControllerTest, TheGlassEditorTakesOnlyAGlassDictionaryFromElsewhere) {
  auto holder = platform::makeObject<GlassHolder>();
  DropArrayController controller;
  controller.setDelegate(holder);
  const platform::Dictionary glass{{"name", "N-BK7"}, {"nd", 1.5168}};
  const auto bytes = platform::plist::serialize(platform::Value(glass), platform::PlistFormat::XML);
  QMimeData data;
  data.setData(kGlassDictionaryPasteboardType,
               QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));

  EXPECT_EQ(controller.validateDrop(&data, true), Qt::IgnoreAction);
  EXPECT_FALSE(controller.acceptDrop(&data, true));
  EXPECT_TRUE(holder->m_glassDictionary.isNil());
  EXPECT_EQ(controller.validateDrop(&data, false), Qt::CopyAction);
  EXPECT_TRUE(controller.acceptDrop(&data, false));
  EXPECT_EQ(holder->m_glassDictionary, platform::Value(glass));

  holder->m_glassDictionary = {};
  const auto array = platform::plist::serialize(platform::Value(platform::Array{1, 2}), platform::PlistFormat::XML);
  QMimeData notADictionary;
  notADictionary.setData(kGlassDictionaryPasteboardType,
                         QByteArray(reinterpret_cast<const char*>(array.data()), static_cast<qsizetype>(array.size())));
  EXPECT_FALSE(controller.acceptDrop(&notADictionary, false));
  EXPECT_FALSE(controller.pasteFromMimeData(&notADictionary));
  QMimeData text;
  text.setText(QStringLiteral("N-BK7"));
  EXPECT_FALSE(controller.pasteFromMimeData(&text));
  EXPECT_TRUE(holder->m_glassDictionary.isNil());
  EXPECT_TRUE(controller.pasteFromMimeData(&data));
  EXPECT_EQ(holder->m_glassDictionary, platform::Value(glass));
}

}  // namespace
}  // namespace orb::app
