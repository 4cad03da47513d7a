#include "app/windows/EditorWindows.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <functional>
#include <memory>

#include "analysis/LensRoles.h"
#include "app/document/OBDocument.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/SmallTables.h"
#include "app/tables/SolveSheets.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Emission.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/NotificationCenter.h"
#include "platform/Observation.h"

namespace orb::app {

namespace {

std::shared_ptr<OBDocument> documentOf(OBWindow& window) {
  auto* controller = window.controller();
  return controller ? std::dynamic_pointer_cast<OBDocument>(controller->document()) : nullptr;
}

/// The common frame of the editors: a table over the whole window and a row of buttons under it; the table's rows are
/// re-read whenever the document's lens is ready (after undo, redo and every change cycle).
class EditorPane : public QWidget {
 public:
  EditorPane(OBWindow& window, const std::shared_ptr<OBDocument>& document) : QWidget(&window) {
    m_layout = new QVBoxLayout(this);
    m_buttons = new QHBoxLayout();
    if (document) {
      QPointer<EditorPane> self = this;
      m_ready = platform::NotificationCenter::defaultCenter().addObserver(
          analysis::kLensIsReadyNotification, document->reference(), [self](const platform::Notification&) {
            if (self && self->m_onReady) self->m_onReady();
          });
    }
  }

  QVBoxLayout* layout() const { return m_layout; }
  void finish() {
    m_buttons->addStretch();
    m_layout->addLayout(m_buttons);
  }
  void setOnReady(std::function<void()> f) { m_onReady = std::move(f); }

  QPushButton* addButton(const char* name, const QString& text, const QString& tip, std::function<void()> action) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(tip);
    connect(button, &QPushButton::clicked, this, std::move(action));
    m_buttons->addWidget(button);
    return button;
  }

  template <class View>
  View* addTable(const char* name) {
    auto* view = new View(this);
    view->setObjectName(QString::fromLatin1(name));
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    m_layout->addWidget(view, 1);
    return view;
  }

 private:
  QVBoxLayout* m_layout;
  QHBoxLayout* m_buttons;
  std::function<void()> m_onReady;
  platform::Observation m_ready;
};

/// A table of one of the lens's lists with Add and Remove and the colour buttons.
template <class Controller>
Controller* listEditor(EditorPane* pane, Controller* controller, const char* tableName) {
  auto* view = pane->addTable<DataEntryTableView>(tableName);
  controller->setTableView(view);
  view->resizeColumnsToContents();
  pane->setOnReady([controller] { controller->reloadContent(); });
  pane->addButton("add", QStringLiteral("Add"), QStringLiteral("Add a row at the end"),
                  [controller] { controller->add(); });
  pane->addButton("remove", QStringLiteral("Remove"), QStringLiteral("Remove the selected rows"),
                  [controller] { controller->remove(); });
  return controller;
}

void addColorButtons(EditorPane* pane, LensListController* controller) {
  pane->addButton("rainbowColors", QStringLiteral("Rainbow Colors"), QStringLiteral("Colour the rows violet to red"),
                  [controller] { controller->rainbowColors(); });
  pane->addButton("randomizeColors", QStringLiteral("Random Colors"), QStringLiteral("Colour the rows at random"),
                  [controller] { controller->randomizeColors(); });
}

InterfaceOutlets loadFieldEditor(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Fields"));
  auto document = documentOf(window);
  auto* pane = new EditorPane(window, document);
  window.setCentralWidget(pane);
  window.resize(620, 300);
  if (!document) return {};
  const auto lens = document->lens();

  // The unit of the field values.
  auto* typeRow = new QHBoxLayout();
  typeRow->addWidget(new QLabel(QStringLiteral("Field type:"), pane));
  auto* type = new QComboBox(pane);
  type->setObjectName(QStringLiteral("fieldType"));
  for (const auto& t : lens::Lens::fieldTypes()) type->addItem(QString::fromStdString(t));
  typeRow->addWidget(type);
  typeRow->addStretch();
  pane->layout()->addLayout(typeRow);
  const auto showType = [type, weak = std::weak_ptr<lens::Lens>(lens)] {
    auto l = weak.lock();
    if (!l) return;
    QSignalBlocker block(type);
    type->setCurrentText(QString::fromStdString(l->fieldType()));
  };
  showType();
  QObject::connect(type, &QComboBox::textActivated, pane,
                   [weak = std::weak_ptr<lens::Lens>(lens)](const QString& text) {
                     if (auto l = weak.lock(); l && l->fieldType() != text.toStdString())
                       l->setValueForKey("fieldType", text.toStdString());
                   });

  auto* controller = listEditor(pane, new FieldArrayController(lens, pane), "fields");
  pane->setOnReady([controller, showType] {
    controller->reloadContent();
    showType();
  });
  pane->addButton("clearVignetting", QStringLiteral("Clear Vignetting"),
                  QStringLiteral("Give the selected fields their full pupil"),
                  [controller] { controller->clearVignetting(); });
  addColorButtons(pane, controller);
  pane->finish();
  return {};
}

InterfaceOutlets loadWaveEditor(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Wavelengths"));
  auto document = documentOf(window);
  auto* pane = new EditorPane(window, document);
  window.setCentralWidget(pane);
  window.resize(520, 300);
  if (!document) return {};
  auto* controller = listEditor(pane, new WaveArrayController(document->lens(), document, pane), "waves");
  auto* primary = pane->addButton("setWaveAsPrimary", QStringLiteral("Set Primary"),
                                  QStringLiteral("Make the selected wavelength the primary one"),
                                  [controller] { controller->setWaveAsPrimary(); });
  const auto enable = [controller, primary] { primary->setEnabled(controller->canSetWaveAsPrimary()); };
  QObject::connect(controller, &DNDArrayController::selectionChanged, primary, enable);
  enable();
  pane->addButton("useFdC", QStringLiteral("F, d, C"), QStringLiteral("Use the F, d and C lines"),
                  [controller] { controller->useFdC(); });
  addColorButtons(pane, controller);
  pane->finish();
  return {};
}

InterfaceOutlets loadBeams(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Gaussian Beams"));
  auto document = documentOf(window);
  auto* pane = new EditorPane(window, document);
  window.setCentralWidget(pane);
  window.resize(760, 260);
  if (!document) return {};
  auto* controller = listEditor(pane, new BeamArrayController(document->lens(), pane), "beams");
  addColorButtons(pane, controller);
  pane->finish();
  return {};
}

/// The surfaces that carry an emission ("Sources") or an aperture ("Apertures"): their table, and the controls that
/// give a chosen surface one of the chosen type, open the settings of the selected row (a double click does too) or
/// take it away. New ones and changed settings go through the settings sheet, whose OK is one undo step.
InterfaceOutlets loadSurfaceExtras(OBWindow& window, bool emission) {
  window.setWindowTitle(emission ? QStringLiteral("Sources") : QStringLiteral("Apertures"));
  auto document = documentOf(window);
  auto* pane = new EditorPane(window, document);
  window.setCentralWidget(pane);
  window.resize(620, 300);
  if (!document) return {};
  const auto lens = document->lens();
  std::weak_ptr<lens::Lens> weak = lens;

  SurfaceFilterController* controller = nullptr;
  if (emission)
    controller = new EmitterArrayController(lens, pane);
  else
    controller = new ApertureArrayController(lens, pane);
  auto* view = pane->addTable<QTableView>(emission ? "emitters" : "apertures");
  view->setModel(controller);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->resizeColumnsToContents();
  QObject::connect(controller, &QAbstractItemModel::modelReset, view, [view] { view->resizeColumnsToContents(); });
  const auto selectedSurfaces = [controller, view] {
    std::vector<std::shared_ptr<lens::Surface>> chosen;
    if (!view->selectionModel()) return chosen;
    for (const auto& index : view->selectionModel()->selectedRows())
      if (static_cast<std::size_t>(index.row()) < controller->arrangedObjects().size())
        chosen.push_back(controller->arrangedObjects()[static_cast<std::size_t>(index.row())]);
    return chosen;
  };

  // The settings sheets open over this window; OK names its undo step.
  auto* sheets = new SolveSheetController(&window, [selectedSurfaces] {
    std::vector<ObjectPtr> objects;
    for (const auto& s : selectedSurfaces()) objects.push_back(s);
    return objects;
  });
  std::weak_ptr<OBDocument> weakDocument = document;
  sheets->setUndoNamer([weakDocument](const std::string& name) {
    if (auto d = weakDocument.lock()) d->setUpcomingActionName(name);
  });
  sheets->setLensProvider([weak] { return weak.lock(); });

  // Which surface, which type.
  auto* addRow = new QHBoxLayout();
  addRow->addWidget(new QLabel(QStringLiteral("Surface:"), pane));
  auto* surface = new QComboBox(pane);
  surface->setObjectName(emission ? QStringLiteral("sourceSurface") : QStringLiteral("apertureSurface"));
  addRow->addWidget(surface);
  addRow->addWidget(new QLabel(emission ? QStringLiteral("Emission:") : QStringLiteral("Aperture:"), pane));
  auto* type = new QComboBox(pane);
  type->setObjectName(emission ? QStringLiteral("emissionType") : QStringLiteral("apertureType"));
  for (const auto& t : apertureOrEmissionTypes(emission)) type->addItem(QString::fromStdString(t));
  addRow->addWidget(type);
  addRow->addStretch();
  pane->layout()->addLayout(addRow);

  const auto listSurfaces = [surface, weak] {
    auto l = weak.lock();
    if (!l) return;
    const int current = surface->currentIndex();
    QSignalBlocker block(surface);
    surface->clear();
    const auto& surfaces = l->surfaceArray();
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
      const auto& comment = surfaces[i]->comment();
      surface->addItem(comment.empty() ? QString::number(i)
                                       : QStringLiteral("%1 %2").arg(i).arg(QString::fromStdString(comment)));
    }
    surface->setCurrentIndex(current >= 0 && current < surface->count() ? current : 0);
  };
  listSurfaces();
  pane->setOnReady([controller, listSurfaces] {
    controller->rearrangeObjects();
    listSurfaces();
  });

  QPointer<SolveSheetController> guard = sheets;
  pane->addButton(
      "add", emission ? QStringLiteral("Add Source...") : QStringLiteral("Add Aperture..."),
      emission ? QStringLiteral("Give the chosen surface the chosen emission")
               : QStringLiteral("Give the chosen surface the chosen aperture or obscuration"),
      [weak, surface, type, emission, guard] {
        auto l = weak.lock();
        const int i = surface->currentIndex();
        if (!l || i < 0 || static_cast<std::size_t>(i) >= l->countOfSurfaceArray() || type->currentText().isEmpty())
          return;
        chooseApertureOrEmissionType(l->surfaceArray()[static_cast<std::size_t>(i)], type->currentText().toStdString(),
                                     emission, guard);
      });
  const auto editSelected = [selectedSurfaces, emission, guard] {
    const auto chosen = selectedSurfaces();
    if (!chosen.empty()) editApertureOrEmission(chosen.front(), emission, guard);
  };
  auto* settings = pane->addButton("settings", QStringLiteral("Settings..."),
                                   emission ? QStringLiteral("Edit the selected source's emission")
                                            : QStringLiteral("Edit the selected aperture"),
                                   editSelected);
  QObject::connect(view, &QAbstractItemView::doubleClicked, pane, [editSelected] { editSelected(); });
  auto* remove = pane->addButton(
      "remove", emission ? QStringLiteral("Remove Source") : QStringLiteral("Remove Aperture"),
      emission ? QStringLiteral("The selected surfaces emit no more")
               : QStringLiteral("The selected surfaces lose their apertures"),
      [selectedSurfaces, emission, guard] {
        // All in one change of the lens: one undo step.
        for (const auto& s : selectedSurfaces()) removeApertureOrEmission(s, emission, guard);
      });
  const auto enable = [settings, remove, selectedSurfaces] {
    const bool any = !selectedSurfaces().empty();
    settings->setEnabled(any);
    remove->setEnabled(any);
  };
  QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, pane, enable);
  QObject::connect(controller, &QAbstractItemModel::modelReset, pane, enable);
  enable();
  pane->finish();
  return {};
}

InterfaceOutlets loadSources(OBWindow& window) { return loadSurfaceExtras(window, true); }
InterfaceOutlets loadApertures(OBWindow& window) { return loadSurfaceExtras(window, false); }

}  // namespace

void registerEditorWindows() {
  static const bool once = [] {
    interfacefile::registerLoader(kFieldEditorNibName, loadFieldEditor);
    interfacefile::registerLoader(kWaveEditorNibName, loadWaveEditor);
    interfacefile::registerLoader(kBeamsNibName, loadBeams);
    interfacefile::registerLoader(kSourcesNibName, loadSources);
    interfacefile::registerLoader(kAperturesNibName, loadApertures);
    return true;
  }();
  (void)once;
}

}  // namespace orb::app
