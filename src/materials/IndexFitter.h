#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "materials/Glass.h"
#include "platform/Object.h"
#include "platform/Observation.h"
#include "platform/Value.h"

namespace orb::materials {

/// Fits a glass's dispersion formula to measured (wavelength, index) rows, or makes rows
/// from the glass, and publishes data, fit and residual as a plot dictionary.
///
/// The model behind the index fitter window. The analysis layer runs it as a calculator
/// (its "plotDictionary" is what a calculator publishes); the window's tables edit rows
/// through setIndexDataValue / setCoefficientDataValue, so every edit reaches the rows or
/// the glass and refreshes the plot. Everything runs on the calling thread.
///
/// Rows are dictionaries: index rows {"wavelength" (in the data unit), "indexOfRefraction"},
/// coefficient rows {"coefficientName", "coefficientValue", "coefficientIsVariable"} for
/// the glass's variable coefficients only.
class IndexFitter : public platform::Object {
 public:
  /// A mutable Conrady ZemaxGlass "untitled" (version "default", light grey), the three
  /// default rows in nanometres, range 365–1000, all dynamic flags on.
  IndexFitter();
  static std::shared_ptr<IndexFitter> indexFitter() { return platform::makeObject<IndexFitter>(); }

  // --- The glass ----------------------------------------------------------------------------
  const std::shared_ptr<Glass>& glass() const { return m_glass; }
  /// Observes the new glass's formula and coefficients; a model glass turns the reference
  /// dynamic flags off; a glass with index data brings its rows and unit; all coefficients
  /// become variable.
  void setGlass(std::shared_ptr<Glass> glass);
  const std::vector<std::shared_ptr<Glass>>& glassArray() const { return m_glassArray; }
  void setGlassArray(std::vector<std::shared_ptr<Glass>> glasses);
  platform::Dictionary glassDictionary() const;
  /// Takes "name", "formulaName" and the "coefficientDictionary" values.
  void setGlassDictionary(const platform::Dictionary& dictionary);

  // --- Rows ---------------------------------------------------------------------------------
  const platform::Array& indexData() const { return m_indexData; }
  void setIndexData(platform::Array rows);
  std::size_t countOfIndexData() const { return m_indexData.size(); }
  const platform::Value& objectInIndexDataAtIndex(std::size_t index) const;
  /// Appends (whatever the index); a row without either key becomes 550 nm (0.55 µm), 1.5.
  void insertObjectInIndexDataAtIndex(const platform::Value& row, std::size_t index);
  void removeObjectFromIndexDataAtIndex(std::size_t index);
  /// One edited cell: "wavelength" or "indexOfRefraction".
  void setIndexDataValue(std::size_t row, const std::string& key, double value);

  const platform::Array& coefficientData() const { return m_coefficientData; }
  /// The variable coefficients of the glass as rows.
  void updateCoefficientData();
  /// One edited cell: a "coefficientValue" goes into the glass under the row's name.
  void setCoefficientDataValue(std::size_t row, const std::string& key, const platform::Value& value);

  // --- Actions ------------------------------------------------------------------------------
  void clearCoefficients();
  /// Starting values from the glass's guess at the shortest row wavelength and the largest
  /// row index (0.465 µm and 1.5 without rows).
  void setTypicalCoefficients();
  /// Fits the variable coefficients to the rows (see IndexFitter.cpp); sets chiSquared.
  void fit();
  /// 100 rows from lambdaMin to lambdaMax with the glass's indices.
  void generateIndexData();

  /// Σ over the rows of (n_glass(λ) − n_row)² with the variable coefficients set from the
  /// coordinate (the glass keeps them); 0 without rows.
  double valueAtCoordinate(const foundation::VKSeries& coordinate);
  double valueForDouble(double x);

  // --- Settings -----------------------------------------------------------------------------
  double chiSquared() const { return m_chiSquared; }
  double lambdaMin() const { return m_lambdaMin; }
  double lambdaMax() const { return m_lambdaMax; }
  /// What the window edits: setting one stops the range following the data.
  double lambdaMinGUI() const { return m_lambdaMin; }
  double lambdaMaxGUI() const { return m_lambdaMax; }
  void setLambdaMinGUI(double v);
  void setLambdaMaxGUI(double v);
  bool wavelengthRangeDeterminedByData() const { return m_wavelengthRangeDeterminedByData; }
  void setWavelengthRangeDeterminedByData(bool on);
  bool dynamicReferenceIndex() const { return m_dynamicReferenceIndex; }
  bool dynamicReferenceAbbe() const { return m_dynamicReferenceAbbe; }
  bool dynamicReferencePartialDispersion() const { return m_dynamicReferencePartialDispersion; }
  bool dynamicCode() const { return m_dynamicCode; }
  void setDynamicReferenceIndex(bool on);
  void setDynamicReferenceAbbe(bool on);
  void setDynamicReferencePartialDispersion(bool on);
  void setDynamicCode(bool on);
  bool plotResidual() const { return m_plotResidual; }
  void setPlotResidual(bool on);
  /// 1: wavelengths in nanometres, 0: in microns.
  int unitsTag() const { return m_unitsTag; }
  void setUnitsTag(int tag);
  bool wavelengthDataInNanometers() const { return m_unitsTag == 1; }

  void updateReferenceQuantities();
  /// Rebuilds and publishes the plot dictionary.
  void updatePlotDictionary();
  const platform::Dictionary& plotDictionary() const { return m_plotDictionary; }

  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  double scale() const { return wavelengthDataInNanometers() ? 0.001 : 1.0; }
  void observeGlass();
  void glassDidChange();
  void indexDataDidChange();
  void updateRangeFromData();
  std::vector<double> rowWavelengths() const;
  std::vector<double> rowIndices() const;

  std::shared_ptr<Glass> m_glass;
  std::vector<std::shared_ptr<Glass>> m_glassArray;
  platform::Array m_indexData;
  platform::Array m_coefficientData;
  double m_chiSquared = 0;
  double m_lambdaMin = 365;
  double m_lambdaMax = 1000;
  bool m_wavelengthRangeDeterminedByData = false;
  bool m_dynamicReferenceIndex = true;
  bool m_dynamicReferenceAbbe = true;
  bool m_dynamicReferencePartialDispersion = true;
  bool m_dynamicCode = true;
  bool m_plotResidual = false;
  int m_unitsTag = 1;
  platform::Dictionary m_plotDictionary;
  std::vector<platform::Observation> m_glassObservations;
  // While a fit moves the coefficients, the glass's announcements are not acted on.
  bool m_ignoreGlassChanges = false;
};

}  // namespace orb::materials
