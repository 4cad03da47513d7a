#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/windows/LensPlotWindowController.h"
#include "platform/Observation.h"

namespace orb::optimisation {
class CalcMeritVsParameter;
class MeritFunction;
}  // namespace orb::optimisation

namespace orb::rendering {
class PlotViewWithPOI;
}

namespace orb::app {

class OBDocument;

/// The "MeritPlot" window: one of the document's merit functions against one lens value
/// swept over nominal ± delta. The scan runs only on request ("Calculate"); the nominal
/// value can be taken from the lens or written into it.
class MeritPlotWindowController : public LensPlotWindowController {
  Q_OBJECT
 public:
  explicit MeritPlotWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~MeritPlotWindowController() override;

  std::shared_ptr<optimisation::CalcMeritVsParameter> meritCalculator() const;
  std::vector<std::shared_ptr<optimisation::MeritFunction>> meritFunctions() const;
  /// Scans the document's merit function at `index`; false when there is none there.
  bool selectMeritFunction(int index);
  /// Sweeps `keyPath` from now on (refreshing the nominal value and remembered delta).
  void setConstructionKeyPath(const std::string& keyPath);

  void calculate();
  /// Writes the nominal value into the document's lens.
  void pushNominalValueToLens();
  /// Takes the nominal value from the document's lens.
  void getNominalValueFromLens();
  /// The nominal value becomes the abscissa of the point picked on the plot; false (and a
  /// word in the status line) when no point is picked.
  bool setAbscissaToPresentSelection();
  /// The same, then the pick is cleared and the scan runs again around it 0.1 s later.
  void setAbscissaToPresentSelectionAndCalculate();
  rendering::PlotViewWithPOI* plotView() const;

  std::vector<std::string> toolbarAllowedItemIdentifiers() const override { return {"export", "zoomToFit"}; }
  std::vector<std::string> toolbarDefaultItemIdentifiers() const override { return {"export", "zoomToFit"}; }

 protected:
  void awakeFromNib() override;
  void windowWillClose() override;
  /// None: the scan runs only on request.
  void makeUpdaterForCalculator(const std::shared_ptr<analysis::OBCalculator>& calculator) override {
    (void)calculator;
  }

 private:
  std::shared_ptr<OBDocument> lensDocument() const;
  void reloadMeritFunctions();
  void reloadKeyPaths();
  void refreshFields();
  void fieldEdited(const std::string& key);

  // The selected merit function: the calculator holds it only weakly.
  std::shared_ptr<optimisation::MeritFunction> m_selected;
  std::vector<platform::Observation> m_observations;
  bool m_awakeAlready = false;
};

/// Registers the interface file "MeritPlot".
void registerMeritPlotWindow();
SmartWindowController* makeMeritPlotWindowController(const std::string& nibName,
                                                     const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
