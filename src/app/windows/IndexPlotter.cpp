#include "app/windows/IndexPlotter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>
#include <sstream>

#include "analysis/DispersionCalculator.h"
#include "app/document/OBAppDel.h"
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

constexpr const char* kDefaultGlasses = "N-BK7, F2, N-SF6";

// Names separated by commas or blanks; the glasses the system catalog knows, and the names
// it does not.
std::vector<DispersionCalculator::GlassPtr> glassesNamed(const std::string& text, std::string& unknown) {
  std::vector<DispersionCalculator::GlassPtr> glasses;
  std::string names = text;
  for (char& ch : names)
    if (ch == ',' || ch == ';') ch = ' ';
  std::istringstream words(names);
  const auto catalog = OBAppDel::systemGlassCatalog();
  for (std::string name; words >> name;) {
    if (auto glass = catalog ? catalog->lookupGlassWithName(name) : nullptr)
      glasses.push_back(glass);
    else
      unknown += (unknown.empty() ? "" : ", ") + name;
  }
  return glasses;
}

QWidget* makePanel(const std::shared_ptr<DispersionCalculator>& calculator) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("analysisOptions"));
  panel->setWindowTitle(QStringLiteral("Index Plotter Options"));
  options::Binder<> b(calculator, panel);
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Glasses", form));
  auto* names = new QLineEdit(QString::fromUtf8(kDefaultGlasses));
  names->setObjectName(QStringLiteral("glassNames"));
  names->setToolTip(QStringLiteral("Glass names from the system catalog, separated by commas"));
  auto* unknown = new QLabel();
  unknown->setObjectName(QStringLiteral("unknownGlasses"));
  unknown->setWordWrap(true);
  std::weak_ptr<DispersionCalculator> weak = calculator;
  auto apply = [weak, names, unknown] {
    auto c = weak.lock();
    if (!c) return;
    std::string missing;
    c->setGlasses(glassesNamed(names->text().toStdString(), missing));
    unknown->setText(missing.empty() ? QString() : QStringLiteral("Not in the glass catalog: ") + QString::fromStdString(missing));
  };
  QObject::connect(names, &QLineEdit::editingFinished, names, apply);
  form->addRow(QStringLiteral("Names"), names);
  form->addRow(unknown);
  form->addRow(QStringLiteral("From (nm)"), b.doubleSpin("lambdaMin", 1, 100000, 1));
  form->addRow(QStringLiteral("To (nm)"), b.doubleSpin("lambdaMax", 1, 100000, 1));
  form->addRow(b.checkBox("Differences from the first glass", "relateToFirstCurve"));

  column->addWidget(options::group("Display", form));
  form->addRow(b.checkBox("Legend", "showLegend"));
  form->addRow(b.checkBox("Axes end at the data", "plotTight"));
  form->addRow(b.checkBox("Transpose axes", "transposeAxes"));
  column->addStretch();
  apply();
  return panel;
}

InterfaceOutlets loadIndexPlotter(OBWindow& window) {
  auto calculator = platform::makeObject<DispersionCalculator>();
  calculator->setShowLegend(true);
  QWidget* panel = makePanel(calculator);
  return analysispanel::loadPlotForm<Ui::IndexPlotter>(window, "Index Plotter", std::move(calculator), panel);
}

}  // namespace

PlotWindowController* showIndexPlotter() {
  static const bool registered = [] {
    interfacefile::registerLoader("IndexPlotter", loadIndexPlotter);
    return true;
  }();
  (void)registered;
  static QPointer<PlotWindowController> shown;  // main thread only
  if (!shown || shown->isClosing()) shown = new IPWindowController("IndexPlotter");
  shown->showWindow();
  return shown;
}

}  // namespace orb::app
