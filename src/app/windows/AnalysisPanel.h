#pragma once

#include <QFormLayout>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/RaysAtSurfaceCalculator.h"
#include "app/windows/AnalysisOptions.h"
#include "app/windows/InterfaceFile.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"

namespace orb::app::analysispanel {

using Binder = options::Binder<>;

/// What each analysis adds to the common panel of the ray-based plot analyses.
struct PanelExtras {
  bool fields = true;  // the axial fans and field scans choose no field
  bool waves = true;   // the chromatic scan makes its own wavelengths
  bool units = true;
  const char* raysLabel = "Rays per fan";
  std::vector<std::pair<const char*, const char*>> checks;  // label, key
  std::function<void(const Binder&, QFormLayout*)> rows;   // the analysis's own rows
};

/// The strings of an array value.
std::vector<std::string> stringList(const platform::Value& list);
/// How a unit name reads in a menu: "micron" as "µm".
std::string unitLabel(const std::string& unit);

/// "All …" (an empty key path, `all`) and each field, wave or surface of the calculator's
/// lens by its key path.
std::vector<options::Choice> fieldChoices(const std::weak_ptr<analysis::RaysCalculator>& calculator, const char* all);
std::vector<options::Choice> waveChoices(const std::weak_ptr<analysis::RaysCalculator>& calculator, const char* all);
std::vector<options::Choice> surfaceChoices(const std::weak_ptr<analysis::RaysCalculator>& calculator, const char* all);

/// One interface file, two presentations: the window's base title follows a flag of the
/// calculator (the document's name stays after it).
void titleFollowsFlag(const Binder& b, OBWindow& window, const char* key, const char* whenOn, const char* whenOff);

/// The options panel: what is traced, how it is sampled, what is plotted and how.
QWidget* makeOptionsPanel(const std::shared_ptr<analysis::RaysAtSurfaceCalculator>& calculator, const char* title,
                          const PanelExtras& extras);

/// A plot window from the Designer form `Form` (whose view is "plotView"), with the
/// calculator and the options panel made for it.
template <class Form, class Calculator>
InterfaceOutlets loadPlotForm(OBWindow& window, const char* title, std::shared_ptr<Calculator> calculator,
                              QWidget* optionsPanel) {
  auto* central = new QWidget(&window);
  Form form;
  form.setupUi(central);
  window.setCentralWidget(central);
  window.setWindowTitle(QString::fromUtf8(title));
  window.resize(central->size());
  InterfaceOutlets outlets;
  outlets.view = form.plotView;
  outlets.optionsPanel = optionsPanel;
  outlets.calculator = std::move(calculator);
  return outlets;
}

/// A plot window from the Designer form `Form` with the common options panel.
template <class Form>
InterfaceOutlets load(OBWindow& window, const char* title,
                      std::shared_ptr<analysis::RaysAtSurfaceCalculator> calculator, const char* panelTitle,
                      const PanelExtras& extras) {
  QWidget* panel = makeOptionsPanel(calculator, panelTitle, extras);
  return loadPlotForm<Form>(window, title, std::move(calculator), panel);
}

}  // namespace orb::app::analysispanel
