#include "app/windows/LensGlassWindow.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <vector>

#include "analysis/LensRoles.h"
#include "app/document/OBDocument.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/GlassControllers.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "materials/Glass.h"
#include "platform/NotificationCenter.h"
#include "platform/Observation.h"

namespace orb::app {

namespace {

using materials::Glass;

QString numberText(double value) { return QString::number(value, 'g', 7); }

/// Indexes of the surfaces that refract through `glass`.
QStringList surfacesUsing(const lens::Lens& lens, const Glass* glass) {
  QStringList indexes;
  const auto& surfaces = lens.surfaceArray();
  for (std::size_t i = 0; i < surfaces.size(); ++i)
    if (surfaces[i] && surfaces[i]->glass().get() == glass) indexes << QString::number(i);
  return indexes;
}

/// The lens's list: the glass list with a "surfaces" column (who uses each glass) and each
/// glass's colour beside its name.
class LensGlassListController : public GlassArrayController {
 public:
  LensGlassListController(std::weak_ptr<lens::Lens> lens, QObject* parent)
      : GlassArrayController(parent), m_lens(std::move(lens)) {}

  QVariant data(const QModelIndex& index, int role) const override {
    const auto& rows = arrangedObjects();
    if (!index.isValid() || std::size_t(index.row()) >= rows.size()) return {};
    const auto glass = std::dynamic_pointer_cast<Glass>(rows[std::size_t(index.row())]);
    if (glass && index.column() == 0 && role == Qt::DecorationRole) {
      const auto& color = glass->color();
      if (!color) return {};
      return QColor::fromRgbF(float(color->red()), float(color->green()), float(color->blue()));
    }
    if (glass && columns()[std::size_t(index.column())].identifier == "surfaces" && role == Qt::DisplayRole) {
      const auto lens = m_lens.lock();
      return lens ? surfacesUsing(*lens, glass.get()).join(QStringLiteral(", ")) : QString();
    }
    return GlassArrayController::data(index, role);
  }

 private:
  std::weak_ptr<lens::Lens> m_lens;
};

/// What the one-glass editor holds: the glass selected in the lens's list. A drop first
/// takes the held glass out, then inserts its replacement; the two together put the
/// new glass in the old one's place in the lens and on every surface that used it.
struct OneGlass {
  std::weak_ptr<lens::Lens> lens;
  std::shared_ptr<Glass> shown;
  std::shared_ptr<Glass> leaving;
};

ArrayBinding lensGlassBinding(std::weak_ptr<lens::Lens> weak) {
  ArrayBinding binding;
  binding.objects = [weak] {
    std::vector<ObjectPtr> rows;
    if (auto l = weak.lock())
      for (const auto& g : l->glassArray()) rows.push_back(g);
    return rows;
  };
  binding.insert = [weak](ObjectPtr object, std::size_t at) {
    auto l = weak.lock();
    auto glass = std::dynamic_pointer_cast<Glass>(object);
    if (l && glass) l->insertObjectInGlassArrayAtIndex(std::move(glass), std::min(at, l->countOfGlassArray()));
  };
  binding.remove = [weak](std::size_t at) {
    auto l = weak.lock();
    if (l && at < l->countOfGlassArray()) l->removeObjectFromGlassArrayAtIndex(at);
  };
  return binding;
}

ArrayBinding oneGlassBinding(std::shared_ptr<OneGlass> one) {
  ArrayBinding binding;
  binding.objects = [one] { return one->shown ? std::vector<ObjectPtr>{one->shown} : std::vector<ObjectPtr>{}; };
  binding.remove = [one](std::size_t) {
    one->leaving = std::move(one->shown);
    one->shown = nullptr;
  };
  binding.insert = [one](ObjectPtr object, std::size_t) {
    auto l = one->lens.lock();
    auto glass = std::dynamic_pointer_cast<Glass>(object);
    if (!l || !glass) return;
    const auto old = std::move(one->leaving);
    one->leaving = nullptr;
    const auto& glasses = l->glassArray();
    const auto at = std::size_t(std::find(glasses.begin(), glasses.end(), old) - glasses.begin());
    if (old && at < glasses.size()) {
      l->replaceObjectInGlassArrayAtIndex(at, glass);
      for (const auto& s : l->surfaceArray())
        if (s && s->glass() == old) s->setGlass(glass);
    } else {
      l->insertObjectInGlassArrayAtIndex(glass, l->countOfGlassArray());
    }
    one->shown = glass;
  };
  return binding;
}

QString glassDescription(const Glass& glass, int surfaces) {
  QStringList lines;
  lines << QString::fromStdString(glass.name());
  lines << QStringLiteral("nd %1   Vd %2").arg(numberText(glass.referenceIndex()), numberText(glass.referenceAbbe()));
  lines << QStringLiteral("Formula %1").arg(QString::fromStdString(glass.formulaName()));
  if (const auto catalog = glass.catalogName(); catalog && !catalog->empty())
    lines << QStringLiteral("Catalog %1").arg(QString::fromStdString(*catalog));
  lines << (surfaces == 0 ? QStringLiteral("Used by no surface")
                          : QStringLiteral("Used by %1 surface%2").arg(surfaces).arg(surfaces == 1 ? "" : "s"));
  if (!glass.isEditable())
    lines << QStringLiteral("Clone it as a mutable glass, or drop a glass here, to edit its coefficients.");
  return lines.join(QLatin1Char('\n'));
}

QPushButton* button(QWidget* parent, QLayout* row, const char* name, const char* title, const char* tip) {
  auto* b = new QPushButton(QString::fromUtf8(title), parent);
  b->setObjectName(QString::fromUtf8(name));
  b->setToolTip(QString::fromUtf8(tip));
  b->setAutoDefault(false);
  row->addWidget(b);
  return b;
}

GlassTableView* glassTable(QWidget* parent, const char* name) {
  auto* table = new GlassTableView(parent);
  table->setObjectName(QString::fromUtf8(name));
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  table->setDragEnabled(true);
  table->setAcceptDrops(true);
  table->setDropIndicatorShown(true);
  return table;
}

/// The window's contents; the observations end with it.
class LensGlassPane : public QWidget {
 public:
  using QWidget::QWidget;
  std::vector<platform::Observation> observations;
};

}  // namespace

InterfaceOutlets loadLensGlassWindow(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Glasses"));
  auto* pane = new LensGlassPane(&window);
  window.setCentralWidget(pane);
  window.resize(900, 440);
  auto* controller = window.controller();
  const auto document = controller ? std::dynamic_pointer_cast<OBDocument>(controller->document()) : nullptr;
  const auto lens = document ? document->lens() : nullptr;
  auto* column = new QVBoxLayout(pane);
  if (!lens) {
    column->addWidget(new QLabel(QStringLiteral("No lens")));
    return {};
  }
  std::weak_ptr<lens::Lens> weak = lens;

  auto* search = new QLineEdit(pane);
  search->setObjectName(QStringLiteral("searchField"));
  search->setPlaceholderText(QStringLiteral("Search by name"));
  search->setClearButtonEnabled(true);
  column->addWidget(search);

  auto* split = new QSplitter(Qt::Horizontal, pane);
  column->addWidget(split, 1);

  // The lens's glasses.
  auto* list = new LensGlassListController(weak, pane);
  list->setObjectName(QStringLiteral("glassArrayController"));
  list->setColumns({{"name", "Glass", "name", false, nullptr},
                    {"referenceIndex", "nd", "referenceIndex", false, nullptr},
                    {"referenceAbbe", "Vd", "referenceAbbe", false, nullptr},
                    {"formulaName", "Formula", "formulaName", false, nullptr},
                    {"surfaces", "Surfaces", "", false, nullptr}});
  list->setGlassContent(lensGlassBinding(weak));
  auto* table = glassTable(split, "glassTable");
  table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table->setToolTip(
      QStringLiteral("Drop glasses or surfaces here to add their glasses; drop a colour on a row to colour it"));
  table->setModel(list);
  list->setTableView(table);
  auto* deleteRows = new QAction(QStringLiteral("Remove"), table);
  deleteRows->setShortcuts({QKeySequence::Delete, QKeySequence(Qt::Key_Backspace)});
  deleteRows->setShortcutContext(Qt::WidgetShortcut);
  table->addAction(deleteRows);
  QObject::connect(deleteRows, &QAction::triggered, list, [list] { list->remove(); });

  // The one-glass editor: the selected glass, its data and its coefficients.
  auto* editor = new QWidget(split);
  auto* editorColumn = new QVBoxLayout(editor);
  editorColumn->setContentsMargins(0, 0, 0, 0);
  editorColumn->addWidget(new QLabel(QStringLiteral("Selected glass (drop a glass here to replace it):"), editor));
  auto one = std::make_shared<OneGlass>();
  one->lens = weak;
  auto* single = new GlassSingletonController(pane);
  single->setObjectName(QStringLiteral("oneGlassController"));
  single->setColumns({{"name", "Glass", "name", false, nullptr},
                      {"referenceIndex", "nd", "referenceIndex", false, nullptr},
                      {"referenceAbbe", "Vd", "referenceAbbe", false, nullptr}});
  single->setContent(oneGlassBinding(one));
  auto* singleTable = glassTable(editor, "oneGlassTable");
  singleTable->setSelectionMode(QAbstractItemView::SingleSelection);
  singleTable->setModel(single);
  single->setTableView(singleTable);
  singleTable->setFixedHeight(singleTable->horizontalHeader()->sizeHint().height() +
                              singleTable->verticalHeader()->defaultSectionSize() + 2 * singleTable->frameWidth());
  editorColumn->addWidget(singleTable);
  auto* data = new QPlainTextEdit(editor);
  data->setObjectName(QStringLiteral("glassData"));
  data->setReadOnly(true);
  editorColumn->addWidget(data, 1);
  auto* glasser = new Glasser(pane);
  glasser->setObjectName(QStringLiteral("glasser"));
  auto* coefficients = new QTableView(editor);
  coefficients->setObjectName(QStringLiteral("coefficientTable"));
  coefficients->verticalHeader()->hide();
  coefficients->horizontalHeader()->setStretchLastSection(true);
  coefficients->setModel(glasser);
  editorColumn->addWidget(coefficients, 1);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);

  auto* buttons = new QHBoxLayout;
  button(pane, buttons, "cloneAsModelGlasses", "Clone as Model", "Adds model glasses (nd and Vd only) of the selected glasses");
  button(pane, buttons, "cloneAsMutableGlasses", "Clone as Mutable",
         "Adds copies of the selected glasses whose coefficients can be edited and varied");
  button(pane, buttons, "removeGlasses", "Remove",
         "Removes the selected glasses; the surfaces that used them become air");
  auto* removeUnused =
      button(pane, buttons, "removeUnusedGlasses", "Remove Unused", "Removes the lens's glasses that no surface uses");
  button(pane, buttons, "rainbowColors", "Rainbow Colors", "Colours the glasses along the rainbow");
  button(pane, buttons, "randomizeColors", "Random Colors", "Gives each glass a random colour");
  buttons->addStretch();
  column->addLayout(buttons);

  // Colours and coefficients belong to the glasses, which the lens does not watch: their
  // edits start the lens's change cycle, which makes them one undo step.
  auto refreshing = std::make_shared<bool>(false);
  auto glassesEdited = [weak, refreshing] {
    if (*refreshing) return;
    if (auto l = weak.lock()) l->enqueueLensChangedNotification();
  };
  QObject::connect(list, &QAbstractItemModel::dataChanged, pane, glassesEdited);
  QObject::connect(list, &GlassCatalogController::contentEdited, pane, glassesEdited);
  QObject::connect(glasser, &Glasser::glassEdited, pane, glassesEdited);

  auto show = [weak, one, single, glasser, data](const std::shared_ptr<Glass>& glass) {
    if (one->shown != glass) {
      one->shown = glass;
      single->reloadContent();
    }
    if (glasser->glass() != glass) glasser->setContent(glass);
    glasser->setEditable(glass && glass->isEditable());
    const auto l = weak.lock();
    data->setPlainText(glass && l ? glassDescription(*glass, int(surfacesUsing(*l, glass.get()).size())) : QString());
  };
  list->setIndexHandler(show);

  auto refresh = [weak, list, removeUnused, refreshing, show](bool reread) {
    auto l = weak.lock();
    if (!l) return;
    l->updateGlassUsageCount();
    if (reread) list->reloadContent();
    *refreshing = true;
    if (list->rowCount() > 0)
      emit list->dataChanged(list->index(0, 0), list->index(list->rowCount() - 1, list->columnCount() - 1));
    *refreshing = false;
    const auto& glasses = l->glassArray();
    removeUnused->setEnabled(
        std::any_of(glasses.begin(), glasses.end(), [](const auto& g) { return g->usageCount() == 0; }));
    show(list->selectedGlass());
  };
  auto observe = [pane, weak](const char* key, std::function<void()> action) {
    QPointer<LensGlassPane> self = pane;
    if (auto l = weak.lock())
      pane->observations.push_back(l->addObserver(key, [self, action](const platform::ObservedChange&) {
        if (self) action();
      }));
  };
  observe("glassArray", [refresh] { refresh(true); });
  observe("surfaceArray", [refresh] { refresh(false); });
  {
    // Undo and revert put new glass objects in place without announcing each one.
    QPointer<LensGlassPane> self = pane;
    pane->observations.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        analysis::kLensIsReadyNotification, document->reference(), [self, refresh](const platform::Notification&) {
          if (self) refresh(true);
        }));
  }

  QObject::connect(search, &QLineEdit::textChanged, list, [list](const QString& text) { list->search(text); });
  auto connectButton = [pane](const char* name, std::function<void()> action) {
    if (auto* b = pane->findChild<QPushButton*>(QString::fromUtf8(name)))
      QObject::connect(b, &QPushButton::clicked, pane, std::move(action));
  };
  connectButton("cloneAsModelGlasses", [list] { list->cloneAsModelGlasses(); });
  connectButton("cloneAsMutableGlasses", [list] { list->cloneAsMutableGlasses(); });
  connectButton("removeGlasses", [list] { list->remove(); });
  connectButton("removeUnusedGlasses", [list, weak] {
    // Usage is counted afresh: surfaces may have changed glass since the last count.
    if (auto l = weak.lock()) l->updateGlassUsageCount();
    list->removeUnusedGlasses();
  });
  connectButton("rainbowColors", [list] { list->rainbowColors(); });
  connectButton("randomizeColors", [list] { list->randomizeColors(); });

  refresh(false);
  if (list->rowCount() > 0) list->setSelectionIndexes({0});
  table->resizeColumnsToContents();
  return {};
}

}  // namespace orb::app
