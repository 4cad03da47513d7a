#include "app/windows/GlassCatalogWindow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/document/GlassCatalogDocument.h"
#include "app/tables/DNDTableView.h"
#include "app/tables/GlassControllers.h"
#include "app/windows/IndexPlotter.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "materials/ZemaxGlass.h"

namespace orb::app {

namespace {

constexpr const char* kCatalogComment = "catalogComment";
constexpr const char* kSearchField = "searchField";
constexpr const char* kGlassTable = "glassTable";
constexpr const char* kGlassData = "glassData";
constexpr const char* kCoefficientTable = "coefficientTable";

GlassCatalogWindowController::ExportPathChooser& exportPathChooser() {
  static GlassCatalogWindowController::ExportPathChooser chooser;
  return chooser;
}

InterfaceOutlets loadGlassCatalogWindow(OBWindow& window) {
  window.setWindowTitle(QStringLiteral("Glass Catalog"));
  auto* content = new QWidget(&window);
  auto* column = new QVBoxLayout(content);
  auto* comment = new QLabel(content);
  comment->setObjectName(QString::fromUtf8(kCatalogComment));
  comment->setWordWrap(true);
  column->addWidget(comment);
  auto* search = new QLineEdit(content);
  search->setObjectName(QString::fromUtf8(kSearchField));
  search->setPlaceholderText(QStringLiteral("Search by name"));
  search->setClearButtonEnabled(true);
  column->addWidget(search);

  auto* split = new QSplitter(Qt::Horizontal, content);
  auto* table = new GlassTableView(split);
  table->setObjectName(QString::fromUtf8(kGlassTable));
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  auto* details = new QWidget(split);
  auto* detailColumn = new QVBoxLayout(details);
  detailColumn->setContentsMargins(0, 0, 0, 0);
  auto* data = new QPlainTextEdit(details);
  data->setObjectName(QString::fromUtf8(kGlassData));
  data->setReadOnly(true);
  detailColumn->addWidget(data, 1);
  auto* coefficients = new QTableView(details);
  coefficients->setObjectName(QString::fromUtf8(kCoefficientTable));
  coefficients->verticalHeader()->hide();
  coefficients->horizontalHeader()->setStretchLastSection(true);
  detailColumn->addWidget(coefficients, 1);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  column->addWidget(split, 1);

  auto* buttons = new QHBoxLayout();
  const std::pair<const char*, const char*> actions[] = {
      {"cloneAsModelGlasses", "Clone as Model"}, {"cloneAsMutableGlasses", "Clone as Mutable"},
      {"removeUnusedGlasses", "Remove Unused"},  {"rainbowColors", "Rainbow Colors"},
      {"randomizeColors", "Random Colors"},      {"exportGlasses", "Export\u2026"},
      {"showIndexPlotter", "Index Plotter"}};
  for (const auto& [name, title] : actions) {
    auto* b = new QPushButton(QString::fromUtf8(title), content);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  buttons->addStretch();
  column->addLayout(buttons);
  window.setCentralWidget(content);
  window.resize(820, 520);
  return {};
}

QString numberText(double value) { return QString::number(value, 'g', 7); }

}  // namespace

GlassCatalogWindowController::GlassCatalogWindowController(std::string nibName,
                                                           const std::shared_ptr<SmartDocument>& document)
    : SmartWindowController(std::move(nibName), document) {}

GlassCatalogWindowController::~GlassCatalogWindowController() { closeIfOpen(); }

std::shared_ptr<AGFDocument> GlassCatalogWindowController::glassDocument() const {
  return std::dynamic_pointer_cast<AGFDocument>(document());
}

GlassTableView* GlassCatalogWindowController::glassTable() const {
  return isWindowLoaded() ? const_cast<GlassCatalogWindowController*>(this)->window()->findChild<GlassTableView*>(
                                QString::fromUtf8(kGlassTable))
                          : nullptr;
}

QLineEdit* GlassCatalogWindowController::searchField() const {
  return isWindowLoaded() ? const_cast<GlassCatalogWindowController*>(this)->window()->findChild<QLineEdit*>(
                                QString::fromUtf8(kSearchField))
                          : nullptr;
}

void GlassCatalogWindowController::awakeFromNib() {
  SmartWindowController::awakeFromNib();
  auto* w = window();
  const auto document = glassDocument();
  const bool readOnly = isReadOnly();

  m_glasses = new GlassCatalogController(this);
  m_glasses->setEditable(!readOnly);
  std::vector<TableColumn> columns{{"name", "Glass", "name", false, nullptr}};
  // A list of several makers' glasses says whose each one is.
  if (readOnly) columns.push_back({"catalogName", "Catalog", "catalogName", false, nullptr});
  columns.push_back({"referenceIndex", "nd", "referenceIndex", false, nullptr});
  columns.push_back({"referenceAbbe", "Vd", "referenceAbbe", false, nullptr});
  columns.push_back({"formulaName", "Formula", "formulaName", false, nullptr});
  if (!readOnly) columns.push_back({"usageCount", "Used", "usageCount", false, nullptr});
  m_glasses->setColumns(std::move(columns));
  std::weak_ptr<AGFDocument> weak = document;
  m_glasses->setGlassContent(glassBinding());
  connect(m_glasses, &GlassCatalogController::contentEdited, this, [weak] {
    if (auto d = weak.lock()) d->noteEdited();
  });
  if (auto* table = glassTable()) {
    table->setModel(m_glasses);
    m_glasses->setTableView(table);
    table->setDragEnabled(true);
    table->setAcceptDrops(!readOnly);
    table->setDropIndicatorShown(!readOnly);
  }

  m_glasser = new Glasser(this);
  m_glasser->setEditable(!readOnly);
  connect(m_glasser, &Glasser::glassEdited, this, [this, weak] {
    if (auto d = weak.lock()) d->noteEdited();
    showGlass(m_glasser->glass());
  });
  if (auto* coefficients = w->findChild<QTableView*>(QString::fromUtf8(kCoefficientTable)))
    coefficients->setModel(m_glasser);
  m_glasses->setIndexHandler([this](const GlassPtr& glass) { showGlass(glass); });

  if (auto* field = searchField())
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) { m_glasses->search(text); });
  auto connectButton = [&](const char* name, auto action) {
    if (auto* b = w->findChild<QPushButton*>(QString::fromUtf8(name))) connect(b, &QPushButton::clicked, this, action);
  };
  connectButton("cloneAsModelGlasses", [this] { m_glasses->cloneAsModelGlasses(); });
  connectButton("cloneAsMutableGlasses", [this] { m_glasses->cloneAsMutableGlasses(); });
  connectButton("removeUnusedGlasses", [this] { m_glasses->removeUnusedGlasses(); });
  connectButton("rainbowColors", [this] { m_glasses->rainbowColors(); });
  connectButton("randomizeColors", [this] { m_glasses->randomizeColors(); });
  connectButton("exportGlasses", [this] { exportGlasses(); });
  connectButton("showIndexPlotter", [weak] {
    if (auto d = weak.lock())
      d->performAction("showIndexPlotter");
    else
      showIndexPlotter();
  });
  if (readOnly)
    for (const char* name : {"cloneAsModelGlasses", "cloneAsMutableGlasses", "removeUnusedGlasses", "rainbowColors",
                             "randomizeColors", "exportGlasses"})
      delete w->findChild<QPushButton*>(QString::fromUtf8(name));
  if (auto* comment = w->findChild<QLabel*>(QString::fromUtf8(kCatalogComment))) {
    const std::string text = document ? document->catalogComment() : std::string();
    comment->setText(QString::fromStdString(text));
    comment->setVisible(!text.empty());
  }
  // The catalog opens showing its first glass.
  if (!m_glasses->arrangedObjects().empty()) m_glasses->setSelectionIndexes({0});
  showGlass(m_glasses->selectedGlass());
}

ArrayBinding GlassCatalogWindowController::glassBinding() {
  std::weak_ptr<AGFDocument> weak = glassDocument();
  ArrayBinding binding;
  binding.objects = [weak] {
    std::vector<ObjectPtr> objects;
    if (auto d = weak.lock())
      for (const auto& glass : d->glassCatalog()->glassArray()) objects.push_back(glass);
    return objects;
  };
  binding.insert = [weak](ObjectPtr object, std::size_t at) {
    if (auto d = weak.lock())
      if (auto glass = std::dynamic_pointer_cast<materials::Glass>(object))
        d->insertObjectInGlassCatalogAtIndex(std::move(glass), at);
  };
  binding.remove = [weak](std::size_t at) {
    if (auto d = weak.lock()) d->removeObjectFromGlassCatalogAtIndex(at);
  };
  return binding;
}

void GlassCatalogWindowController::reloadGlasses() {
  if (!m_glasses) return;
  const auto selected = m_glasses->selectedGlass();
  const std::string name = selected ? selected->name() : std::string();
  // Re-searching drops the rows kept for the old objects and reads the list afresh.
  m_glasses->setSearchString(m_glasses->searchString());
  const auto& arranged = m_glasses->arrangedObjects();
  std::size_t row = 0;
  for (std::size_t i = 0; i < arranged.size(); ++i)
    if (auto glass = std::dynamic_pointer_cast<materials::Glass>(arranged[i]); glass && glass->name() == name) {
      row = i;
      break;
    }
  m_glasses->setSelectionIndexes(arranged.empty() ? std::vector<std::size_t>{} : std::vector<std::size_t>{row});
  showGlass(m_glasses->selectedGlass());
}

void GlassCatalogWindowController::windowWillClose() {
  if (m_glasses) m_glasses->setIndexHandler({});
  if (m_glasser) m_glasser->setContent(nullptr);
  SmartWindowController::windowWillClose();
}

std::shared_ptr<materials::Glass> GlassCatalogWindowController::shownGlass() const {
  return m_glasser ? m_glasser->glass() : nullptr;
}

QString GlassCatalogWindowController::shownGlassText() const {
  if (!isWindowLoaded()) return {};
  auto* data = const_cast<GlassCatalogWindowController*>(this)->window()->findChild<QPlainTextEdit*>(
      QString::fromUtf8(kGlassData));
  return data ? data->toPlainText() : QString();
}

void GlassCatalogWindowController::showGlass(const std::shared_ptr<materials::Glass>& glass) {
  if (m_glasser && m_glasser->glass() != glass) m_glasser->setContent(glass);
  auto* data = isWindowLoaded() ? window()->findChild<QPlainTextEdit*>(QString::fromUtf8(kGlassData)) : nullptr;
  if (!data) return;
  if (!glass) {
    data->setPlainText({});
    return;
  }
  QStringList lines;
  lines << QString::fromStdString(glass->name());
  lines << QStringLiteral("nd %1   Vd %2").arg(numberText(glass->referenceIndex()), numberText(glass->referenceAbbe()));
  if (const auto& code = glass->glassCode(); code && !code->empty())
    lines << QStringLiteral("Glass code %1").arg(QString::fromStdString(*code));
  lines << QStringLiteral("Formula %1").arg(QString::fromStdString(glass->formulaName()));
  if (const auto* zemax = dynamic_cast<const materials::ZemaxGlass*>(glass.get())) {
    if (auto catalog = zemax->catalogName())
      lines << QStringLiteral("Catalog %1").arg(QString::fromStdString(*catalog));
    lines << QStringLiteral("Wavelengths %1 to %2 \u00b5m")
                 .arg(numberText(zemax->lambdaMin()), numberText(zemax->lambdaMax()));
    lines << QStringLiteral("Density %1 g/cm\u00b3").arg(numberText(zemax->density()));
  }
  lines << QStringLiteral("Used by %1 surface(s)").arg(glass->usageCount());
  data->setPlainText(lines.join(QLatin1Char('\n')));
}

void GlassCatalogWindowController::setExportPathChooser(ExportPathChooser chooser) {
  exportPathChooser() = std::move(chooser);
}

void GlassCatalogWindowController::exportGlasses() {
  const auto document = glassDocument();
  if (!document || !m_glasses) return;
  std::vector<GlassPtr> glasses;
  for (const auto& o : m_glasses->selectedObjects())
    if (auto glass = std::dynamic_pointer_cast<materials::Glass>(o)) glasses.push_back(std::move(glass));
  if (glasses.empty()) glasses = document->glassCatalog()->glassArray();
  auto choose = exportPathChooser() ? exportPathChooser() : [](QWidget* parent) -> std::optional<std::string> {
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export Glasses"), QString(),
                                                      QStringLiteral("Zemax glass catalogs (*.agf *.AGF)"));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
  };
  const auto path = choose(window());
  if (!path) return;
  std::string error;
  if (!document->exportGlasses(glasses, *path, &error))
    showMessage(window(), "The glasses could not be exported.", error);
}

void registerGlassCatalogWindow() {
  interfacefile::registerLoader(AGFDocument::kWindowNibName, loadGlassCatalogWindow);
}

}  // namespace orb::app
