#include "app/windows/IndexPlotter.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QVBoxLayout>
#include <sstream>

#include "analysis/DispersionCalculator.h"
#include "app/document/GlassCatalogDocument.h"
#include "app/document/OBAppDel.h"
#include "app/tables/DNDArrayController.h"
#include "app/windows/AnalysisOptions.h"
#include "app/windows/AnalysisPanel.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/PlotWindowController.h"
#include "materials/Glass.h"
#include "materials/GlassCatalog.h"
#include "rendering/ZoomPlotView.h"
#include "ui_IndexPlotter.h"

namespace orb::app {

namespace {

using analysis::DispersionCalculator;
using GlassPtr = DispersionCalculator::GlassPtr;

constexpr const char* kNibName = "IndexPlotter";
constexpr const char* kDefaultGlasses = "N-BK7, F2, N-SF6";
constexpr std::size_t kFirstCatalogGlasses = 3;

/// Where the plotter finds glasses by name: glasses dropped on it, then its document's
/// catalog (for a glass-catalog document's plotter), then the system catalog.
struct GlassSources {
  std::shared_ptr<materials::GlassCatalog> catalog;
  std::vector<GlassPtr> dropped;

  GlassPtr lookup(const std::string& name) const {
    for (auto it = dropped.rbegin(); it != dropped.rend(); ++it)
      if ((*it)->name() == name) return *it;
    if (catalog)
      if (auto glass = catalog->lookupGlassWithName(name)) return glass;
    const auto system = OBAppDel::systemGlassCatalog();
    return system ? system->lookupGlassWithName(name) : nullptr;
  }
};

// Names separated by commas or blanks; the glasses found, and the names not found. A model
// glass's name holds a comma ("1.7,30"): a word is first looked up whole, then comma by comma.
std::vector<GlassPtr> glassesNamed(const GlassSources& sources, const std::string& text, std::string& unknown) {
  std::vector<GlassPtr> glasses;
  std::string names = text;
  for (char& ch : names)
    if (ch == ';') ch = ' ';
  auto take = [&](const std::string& name) {
    if (name.empty()) return;
    if (auto glass = sources.lookup(name))
      glasses.push_back(glass);
    else
      unknown += (unknown.empty() ? "" : ", ") + name;
  };
  std::istringstream words(names);
  for (std::string word; words >> word;) {
    while (!word.empty() && word.back() == ',') word.pop_back();
    if (auto glass = word.empty() ? nullptr : sources.lookup(word)) {
      glasses.push_back(glass);
      continue;
    }
    std::istringstream parts(word);
    for (std::string part; std::getline(parts, part, ',');) take(part);
  }
  return glasses;
}

/// Takes glasses dragged from a glass list (a catalog, the glass library, a lens's
/// glasses) and adds them to the plot.
class GlassDropTarget : public QObject {
 public:
  GlassDropTarget(QObject* parent, std::function<void(std::vector<GlassPtr>)> add)
      : QObject(parent), m_add(std::move(add)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(event);
      if (!drag->mimeData()->hasFormat(QString::fromLatin1(kGlassPasteboardType))) return false;
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      const auto objects =
          DNDArrayController::unarchiveObjects(drop->mimeData()->data(QString::fromLatin1(kGlassPasteboardType)));
      if (!objects) return false;
      std::vector<GlassPtr> glasses;
      for (const auto& o : *objects)
        if (auto glass = std::dynamic_pointer_cast<materials::Glass>(o)) glasses.push_back(std::move(glass));
      if (glasses.empty()) return false;
      m_add(std::move(glasses));
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void(std::vector<GlassPtr>)> m_add;
};

QWidget* makePanel(const std::shared_ptr<DispersionCalculator>& calculator) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("analysisOptions"));
  panel->setWindowTitle(QStringLiteral("Index Plotter Options"));
  options::Binder<> b(calculator, panel);
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Wavelengths", form));
  form->addRow(QStringLiteral("From (nm)"), b.doubleSpin("lambdaMin", 1, 100000, 1));
  form->addRow(QStringLiteral("To (nm)"), b.doubleSpin("lambdaMax", 1, 100000, 1));
  form->addRow(b.checkBox("Differences from the first glass", "relateToFirstCurve"));

  column->addWidget(options::group("Display", form));
  form->addRow(b.checkBox("Legend", "showLegend"));
  form->addRow(b.checkBox("Axes end at the data", "plotTight"));
  form->addRow(b.checkBox("Transpose axes", "transposeAxes"));
  column->addStretch();
  return panel;
}

/// The row under the plot that names the plotted glasses.
void addGlassRow(OBWindow& window, QWidget* plotView, const std::shared_ptr<DispersionCalculator>& calculator,
                 std::shared_ptr<GlassSources> sources, const QString& initialNames) {
  auto* central = window.centralWidget();
  auto* row = new QWidget(central);
  auto* line = new QHBoxLayout(row);
  line->setContentsMargins(8, 4, 8, 6);
  line->addWidget(new QLabel(QStringLiteral("Glasses:"), row));
  auto* names = new QLineEdit(initialNames, row);
  names->setObjectName(QStringLiteral("glassNames"));
  names->setToolTip(sources->catalog
                        ? QStringLiteral("Glass names from this catalog or the system catalog, separated by commas; "
                                         "glasses dragged onto the window are added")
                        : QStringLiteral("Glass names from the system catalog, separated by commas; glasses dragged "
                                         "onto the window are added"));
  line->addWidget(names, 1);
  auto* unknown = new QLabel(row);
  unknown->setObjectName(QStringLiteral("unknownGlasses"));
  line->addWidget(unknown);
  if (auto* box = qobject_cast<QBoxLayout*>(central->layout())) box->addWidget(row);

  std::weak_ptr<DispersionCalculator> weak = calculator;
  auto apply = [weak, names, unknown, sources] {
    auto c = weak.lock();
    if (!c) return;
    std::string missing;
    c->setGlasses(glassesNamed(*sources, names->text().toStdString(), missing));
    unknown->setText(missing.empty() ? QString() : QStringLiteral("Not found: ") + QString::fromStdString(missing));
  };
  QObject::connect(names, &QLineEdit::editingFinished, names, apply);
  auto* target = new GlassDropTarget(central, [names, sources, apply](std::vector<GlassPtr> glasses) {
    QString text = names->text().trimmed();
    for (auto& glass : glasses) {
      if (!text.isEmpty()) text += QStringLiteral(", ");
      text += QString::fromStdString(glass->name());
      sources->dropped.push_back(std::move(glass));
    }
    names->setText(text);
    apply();
  });
  for (QWidget* w : {central, plotView, static_cast<QWidget*>(names)}) {
    if (!w) continue;
    w->setAcceptDrops(true);
    w->installEventFilter(target);
  }
  apply();
}

InterfaceOutlets loadIndexPlotter(OBWindow& window) {
  auto calculator = platform::makeObject<DispersionCalculator>();
  calculator->setShowLegend(true);
  auto sources = std::make_shared<GlassSources>();
  QString initialNames = QString::fromUtf8(kDefaultGlasses);
  auto* controller = window.controller();
  if (auto document = controller ? std::dynamic_pointer_cast<AGFDocument>(controller->document()) : nullptr) {
    sources->catalog = document->glassCatalog();
    QStringList first;
    for (const auto& glass : sources->catalog->glassArray()) {
      if (std::size_t(first.size()) == kFirstCatalogGlasses) break;
      first << QString::fromStdString(glass->name());
    }
    initialNames = first.join(QStringLiteral(", "));
  }
  QWidget* panel = makePanel(calculator);
  auto outlets = analysispanel::loadPlotForm<Ui::IndexPlotter>(window, "Index Plotter", calculator, panel);
  addGlassRow(window, outlets.view, calculator, std::move(sources), initialNames);
  return outlets;
}

void registerIndexPlotter() {
  static const bool registered = [] {
    interfacefile::registerLoader(kNibName, loadIndexPlotter);
    return true;
  }();
  (void)registered;
}

}  // namespace

void IPWindowController::awakeFromNib() {
  PlotWindowController::awakeFromNib();
  if (m_awakeAlready) return;
  m_awakeAlready = true;
  // Shown on request only (Window ▸ Show Toolbar): the glass row does the everyday work.
  setToolbarShown(false);
}

PlotWindowController* showIndexPlotter() {
  registerIndexPlotter();
  static QPointer<PlotWindowController> shown;  // main thread only
  if (!shown || shown->isClosing()) shown = new IPWindowController(kNibName);
  shown->showWindow();
  return shown;
}

PlotWindowController* showIndexPlotterForDocument(const std::shared_ptr<SmartDocument>& document) {
  registerIndexPlotter();
  auto* plotter = new IPWindowController(kNibName, document);  // joins the document; lives with its window
  plotter->showWindow();
  return plotter;
}

}  // namespace orb::app
