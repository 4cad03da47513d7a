#include "analysis/DispersionCalculator.h"

#include "analysis/PlotDictionary.h"
#include "materials/Glass.h"
#include "platform/Color.h"
#include "platform/KeyTable.h"
#include "platform/NotificationCenter.h"

namespace orb::analysis {

using foundation::VKSeries;
using platform::Dictionary;
using platform::Value;

DispersionCalculator::DispersionCalculator() {
  m_colorObservation = platform::NotificationCenter::defaultCenter().addObserver(
      "colorChangedNotification", Value(), [this](const platform::Notification& n) {
        if (n.object.isDictionary()) colorChanged(n.object.asDictionary());
      });
}

void DispersionCalculator::willDeallocate() {
  m_colorObservation = {};
  m_glasses.clear();
  setPlotDictionary(std::nullopt);
  OBCalculator::willDeallocate();
}

const platform::KeyTable& DispersionCalculator::classKeys() {
  using K = platform::Keys<DispersionCalculator>;
  using D = DispersionCalculator;
  platform::KeyEntry glassesKey{"glasses",
                                [](const platform::Object& o) {
                                  platform::Array a;
                                  for (const auto& g : static_cast<const D&>(o).glasses()) a.push_back(Value(g));
                                  return Value(std::move(a));
                                },
                                [](platform::Object& o, const Value& v) {
                                  std::vector<GlassPtr> glasses;
                                  if (v.isArray())
                                    for (const Value& g : v.asArray())
                                      if (auto glass = g.asObject<materials::Glass>()) glasses.push_back(glass);
                                  static_cast<D&>(o).setGlasses(std::move(glasses));
                                }};
  static const platform::KeyTable table(
      &OBCalculator::classKeys(),
      {std::move(glassesKey), K::property("lambdaMin", &D::lambdaMin, &D::setLambdaMin),
       K::property("lambdaMax", &D::lambdaMax, &D::setLambdaMax),
       K::property("relateToFirstCurve", &D::relateToFirstCurve, &D::setRelateToFirstCurve),
       K::property("plotTight", &D::plotTight, &D::setPlotTight),
       K::property("showLegend", &D::showLegend, &D::setShowLegend),
       K::property("transposeAxes", &D::transposeAxes, &D::setTransposeAxes)});
  return table;
}

void DispersionCalculator::setGlasses(std::vector<GlassPtr> glasses) {
  changeValueForKey("glasses", [&] { m_glasses = std::move(glasses); });
  generateCurves();
}
void DispersionCalculator::setLambdaMin(double nm) {
  changeValueForKey("lambdaMin", [&] { m_lambdaMin = nm; });
  m_wavelengths.reset();
  generateCurves();
}
void DispersionCalculator::setLambdaMax(double nm) {
  changeValueForKey("lambdaMax", [&] { m_lambdaMax = nm; });
  m_wavelengths.reset();
  generateCurves();
}
void DispersionCalculator::setRelateToFirstCurve(bool on) {
  changeValueForKey("relateToFirstCurve", [&] { m_relateToFirstCurve = on; });
  generateCurves();
}
void DispersionCalculator::setDisplayFlag(const char* key, bool& member, bool on) {
  changeValueForKey(key, [&] { member = on; });
  setPlotDictionaryValue(key, on);
}
void DispersionCalculator::setPlotTight(bool on) { setDisplayFlag(plot::kPlotTight, m_plotTight, on); }
void DispersionCalculator::setShowLegend(bool on) { setDisplayFlag(plot::kShowLegend, m_showLegend, on); }
void DispersionCalculator::setTransposeAxes(bool on) { setDisplayFlag(plot::kTransposeAxes, m_transposeAxes, on); }

const VKSeries& DispersionCalculator::wavelengthSeries() {
  if (!m_wavelengths) m_wavelengths = VKSeries::seriesWithCount(kNumberOfWavelengths, m_lambdaMin, m_lambdaMax);
  return *m_wavelengths;
}

Dictionary DispersionCalculator::generateCurveForGlass(const GlassPtr& glass) {
  const VKSeries& lambdas = wavelengthSeries();
  return Dictionary{{plot::kXSeries, SeriesValue::make(lambdas)},
                    {plot::kYSeries, SeriesValue::make(glass->indexAtWavelengthInNanometersSeries(lambdas))},
                    {plot::kColor, Value(glass->color())},
                    {"glass", Value(glass)},
                    {plot::kName, glass->name()},
                    {plot::kXLabel, "wavelength"},
                    {plot::kYLabel, "index"},
                    {plot::kUpdateColor, true}};
}

void DispersionCalculator::generateCurves() {
  wavelengthSeries();
  setPlotDictionary(std::nullopt);
  if (m_glasses.empty()) return;
  std::vector<Dictionary> curves;
  for (const GlassPtr& g : m_glasses)
    if (g) curves.push_back(generateCurveForGlass(g));
  if (curves.empty()) return;
  // Catalog glasses that no lens has coloured would all draw black: give them distinct hues.
  static const double palette[][3] = {{0.0, 0.35, 0.85}, {0.85, 0.1, 0.1}, {0.0, 0.6, 0.2}, {0.9, 0.5, 0.0},
                                      {0.55, 0.1, 0.7},  {0.0, 0.6, 0.65}, {0.6, 0.4, 0.1}, {0.9, 0.2, 0.6}};
  for (std::size_t k = 0; k < curves.size(); ++k)
    if (curves[k].get(plot::kColor).isNil()) {
      const auto& rgb = palette[k % std::size(palette)];
      curves[k].set(Value(plot::kColor), Value(platform::Color::make(rgb[0], rgb[1], rgb[2])));
    }
  std::string title = "Glass dispersion", yLabel = "index";
  if (m_relateToFirstCurve && curves.size() >= 2) {
    const VKSeries first = *SeriesValue::from(curves.front().get(plot::kYSeries));
    for (std::size_t c = 1; c < curves.size(); ++c) {
      VKSeries y = *SeriesValue::from(curves[c].get(plot::kYSeries));
      for (std::size_t i = 0; i < y.count(); ++i) y.data()[i] -= first.at(i);
      curves[c].set(Value(plot::kYSeries), SeriesValue::make(std::move(y)));
    }
    title = platform::format("Relative to glass %s",
                             curves.front().get(plot::kName).asString().c_str());
    yLabel = "delta index";
    curves.erase(curves.begin());
  }
  platform::Array list;
  for (Dictionary& c : curves) list.push_back(Value(std::move(c)));
  setPlotDictionary(Dictionary{{plot::kCurves, Value(std::move(list))},
                               {plot::kTitle, title},
                               {plot::kXLabel, "wavelength (nm)"},
                               {plot::kYLabel, yLabel},
                               {plot::kPlotTight, m_plotTight},
                               {plot::kShowLegend, m_showLegend},
                               {plot::kTransposeAxes, m_transposeAxes},
                               {plot::kUpdateColor, true}});
}

void DispersionCalculator::colorChanged(const Dictionary& colorsByNumber) {
  Dictionary* d = mutablePlotDictionary();
  if (!d || !d->get(plot::kCurves).isArray()) return;
  platform::Array curves = d->get(plot::kCurves).asArray();
  for (Value& v : curves) {
    if (!v.isDictionary()) continue;
    Dictionary c = v.asDictionary();
    const auto glass = c.get("glass").asObject<materials::Glass>();
    if (!glass || !c.get(plot::kUpdateColor).isNumber() || !c.get(plot::kUpdateColor).asBool()) continue;
    glass->updateColorWithDictionary(colorsByNumber);
    if (glass->color()) c.set(Value(plot::kColor), Value(glass->color()));
    v = Value(std::move(c));
  }
  d->set(Value(plot::kCurves), Value(std::move(curves)));
  plotDictionaryWasMutated();
}

void DispersionCalculator::addRestorationDataToDictionary(Dictionary& d) const {
  OBCalculator::addRestorationDataToDictionary(d);
  for (const char* key : {"glasses", "lambdaMin", "lambdaMax", "plotTight", "showLegend", "transposeAxes"})
    d.set(Value(key), valueForKey(key));
}

}  // namespace orb::analysis
