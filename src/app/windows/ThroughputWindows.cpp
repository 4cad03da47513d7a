#include "app/windows/ThroughputWindows.h"

#include <QVBoxLayout>

#include "app/windows/AnalysisPanel.h"
#include "platform/Object.h"
#include "rendering/ZoomPlotView.h"
#include "ui_Acceptance.h"
#include "ui_Throughput.h"
#include "wavefront_illumination/ThroughputCalculator.h"

namespace orb::app {

namespace {

using analysispanel::Binder;
using options::Choice;

// The names a list key of the calculator offers, each shown as it is.
std::function<std::vector<Choice>()> namesOf(const Binder& b, const char* listKey) {
  return [b, listKey] {
    std::vector<Choice> out;
    for (const auto& name : analysispanel::stringList(b.get(listKey))) out.push_back({name, name});
    return out;
  };
}

// The throughput analyses trace no pupil pattern of their own: their panel offers the
// sampling depths, the scan and the plotted quantity instead of the ray settings.
QWidget* makePanel(const std::shared_ptr<wavefront::ThroughputCalculator>& calculator, const char* title,
                   bool acceptance) {
  auto* panel = new QWidget();
  panel->setObjectName(QStringLiteral("analysisOptions"));
  panel->setWindowTitle(QString::fromUtf8(title));
  Binder b(calculator, panel);
  std::weak_ptr<analysis::RaysCalculator> weak = calculator;
  auto* column = new QVBoxLayout(panel);
  QFormLayout* form = nullptr;

  column->addWidget(options::group("Sampling", form));
  if (acceptance)
    form->addRow(QStringLiteral("Fields"), b.choice("fieldOfInterestKeyPath",
                                                    [weak] { return analysispanel::fieldChoices(weak, "All fields"); },
                                                    {"lens"}));
  form->addRow(QStringLiteral("Waves"),
               b.choice("waveOfInterestKeyPath", [weak] { return analysispanel::waveChoices(weak, "All waves"); },
                        {"lens"}));
  if (!acceptance) form->addRow(QStringLiteral("Field heights"), b.intSpin("numberOfFields", 1, 101));
  form->addRow(QStringLiteral("Uniform depth"), b.intSpin("initialDepth", 0, 3));
  form->addRow(QStringLiteral("Boundary depth"), b.intSpin("searchDepth", 0, 16));
  if (acceptance) {
    form->addRow(QStringLiteral("Filter"), b.choice("filterType", namesOf(b, "availableFilterTypes")));
    form->addRow(QStringLiteral("Filter radius"), b.doubleSpin("filterRadius", 0, 1e6, 4));
  } else {
    form->addRow(b.checkBox("Only the object-space NA cone", "useLensObjectSpaceNumericalAperture"));
  }

  column->addWidget(options::group("Plot", form));
  if (acceptance)
    form->addRow(QStringLiteral("Abscissa"), b.choice("abscissa", namesOf(b, "availableAbscissas"),
                                                      {"availableAbscissas"}));
  form->addRow(QStringLiteral("Ordinate"), b.choice("ordinate", namesOf(b, "availableOrdinates"),
                                                    {"availableOrdinates"}));
  form->addRow(b.checkBox("Resampled curves", "resampleCurves"));

  column->addWidget(options::group("Display", form));
  form->addRow(b.checkBox("One band per wavelength", "multiplot"));
  form->addRow(b.checkBox("Legend", "showLegend"));
  form->addRow(b.checkBox("Axes end at the data", "plotTight"));
  form->addRow(b.checkBox("Axes only grow", "scaleOnlyExpands"));
  column->addStretch();
  return panel;
}

InterfaceOutlets loadThroughput(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::ThroughputCalculator>();
  calculator->setShowLegend(true);
  return analysispanel::loadPlotForm<Ui::Throughput>(window, "Throughput", calculator,
                                                      makePanel(calculator, "Throughput Options", false));
}

InterfaceOutlets loadAcceptance(OBWindow& window) {
  auto calculator = platform::makeObject<wavefront::AcceptanceCalculator>();
  calculator->setShowLegend(true);
  return analysispanel::loadPlotForm<Ui::Acceptance>(window, "Acceptance", calculator,
                                                      makePanel(calculator, "Acceptance Options", true));
}

}  // namespace

void registerThroughputWindows() {
  interfacefile::registerLoader("Throughput", loadThroughput);
  interfacefile::registerLoader("Acceptance", loadAcceptance);
}

}  // namespace orb::app
