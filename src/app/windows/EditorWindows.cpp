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
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"
#include "lens/Emission.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/NotificationCenter.h"
#include "platform/Observation.h"
#include "tracing/Emitters.h"

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

InterfaceOutlets loadSources(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Sources"));
  auto document = documentOf(window);
  auto* pane = new EditorPane(window, document);
  window.setCentralWidget(pane);
  window.resize(620, 300);
  if (!document) return {};
  tracing::registerEmissionTypes();
  const auto lens = document->lens();
  std::weak_ptr<lens::Lens> weak = lens;

  auto* controller = new EmitterArrayController(lens, pane);
  auto* view = pane->addTable<QTableView>("emitters");
  view->setModel(controller);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->resizeColumnsToContents();
  QObject::connect(controller, &QAbstractItemModel::modelReset, view, [view] { view->resizeColumnsToContents(); });

  // Making a surface a source: which surface, which emission.
  auto* addRow = new QHBoxLayout();
  addRow->addWidget(new QLabel(QStringLiteral("Surface:"), pane));
  auto* surface = new QComboBox(pane);
  surface->setObjectName(QStringLiteral("sourceSurface"));
  addRow->addWidget(surface);
  addRow->addWidget(new QLabel(QStringLiteral("Emission:"), pane));
  auto* type = new QComboBox(pane);
  type->setObjectName(QStringLiteral("emissionType"));
  for (const auto& t : lens::Emission::emissionTypes()) type->addItem(QString::fromStdString(t));
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

  pane->addButton(
      "add", QStringLiteral("Add Source"), QStringLiteral("Give the chosen surface the chosen emission"),
      [weak, surface, type] {
        auto l = weak.lock();
        const int i = surface->currentIndex();
        if (!l || i < 0 || static_cast<std::size_t>(i) >= l->countOfSurfaceArray() || type->currentText().isEmpty())
          return;
        l->surfaceArray()[static_cast<std::size_t>(i)]->setValueForKey("emissionType",
                                                                       type->currentText().toStdString());
      });
  pane->addButton("remove", QStringLiteral("Remove Source"), QStringLiteral("The selected surfaces emit no more"),
                  [controller, view] {
                    std::vector<std::shared_ptr<lens::Surface>> chosen;
                    for (const auto& index : view->selectionModel()->selectedRows())
                      if (static_cast<std::size_t>(index.row()) < controller->arrangedObjects().size())
                        chosen.push_back(controller->arrangedObjects()[static_cast<std::size_t>(index.row())]);
                    for (const auto& s : chosen) s->setValueForKey("emission", platform::Value());
                  });
  pane->finish();
  return {};
}

}  // namespace

void registerEditorWindows() {
  static const bool once = [] {
    interfacefile::registerLoader(kFieldEditorNibName, loadFieldEditor);
    interfacefile::registerLoader(kWaveEditorNibName, loadWaveEditor);
    interfacefile::registerLoader(kBeamsNibName, loadBeams);
    interfacefile::registerLoader(kSourcesNibName, loadSources);
    return true;
  }();
  (void)once;
}

}  // namespace orb::app
