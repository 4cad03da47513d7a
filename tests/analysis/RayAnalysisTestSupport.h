#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "AnalysisTestSupport.h"
#include "analysis/LensBuffer.h"
#include "analysis/OBCalculatorUpdater.h"
#include "analysis/PlotDictionary.h"
#include "analysis/SpotDiagramCalculator.h"
#include "lens/Field.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "lens/Wave.h"
#include "platform/KeyTable.h"
#include "platform/NotificationCenter.h"
#include "tracing/Regeneration.h"

namespace orb::analysis::testing {

/// Stands in for the lens document: owns a lens and announces it ready.
class TestDocument : public platform::Object, public LensProvider {
 public:
  explicit TestDocument(LensPtr lens) : m_lens(std::move(lens)) {}
  static const platform::KeyTable& classKeys() {
    using K = platform::Keys<TestDocument>;
    static const platform::KeyTable table(&Object::classKeys(),
                                          {K::field("lensKeyPathUpdateDictionary", &TestDocument::m_renames)});
    return table;
  }
  const platform::KeyTable& keys() const override { return classKeys(); }
  LensPtr lens() const override { return m_lens; }
  platform::Dictionary lensKeyPathUpdateDictionary() const override { return m_renames; }
  void postLensIsReady() {
    m_lens->setIsReady(true);
    platform::NotificationCenter::defaultCenter().post(kLensIsReadyNotification, reference());
  }
  LensPtr m_lens;
  platform::Dictionary m_renames;
};

/// Entrance pupil 20, fields as angles in degrees, regenerated and ready.
inline LensPtr finishedMirrorLens(LensPtr lens, const std::vector<double>& fieldAnglesDegrees) {
  lens->setSourceDivergenceType(0);
  lens->setSourceDivergenceValue(20);
  lens->setUseRealRaysToUpdateSemidiameters(false);
  std::vector<std::shared_ptr<lens::Field>> fields;
  for (double angle : fieldAnglesDegrees) {
    auto f = lens::Field::field();
    f->setY(angle);
    fields.push_back(f);
  }
  lens->setFieldArray(fields);
  lens->generateSystemFromParaxialSpecification();
  EXPECT_FALSE(lens->warningReSystemGeneration().has_value()) << *lens->warningReSystemGeneration();
  lens->setIsReady(true);
  return lens;
}

/// A concave mirror facing the object at infinity, stop on the mirror, image plane at
/// the paraxial focus (R/2 before the mirror), entrance pupil 20. Regenerated and ready.
inline LensPtr mirrorLens(double radius, double conic, const std::vector<double>& fieldAnglesDegrees = {0}) {
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  auto object = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  auto mirror = lens::Surface::create();
  mirror->setCurvature(1 / radius);
  mirror->setConicConstant(conic);
  mirror->setThickness(radius / 2);
  auto image = lens::Surface::create();
  for (const auto& s : {object, mirror, image}) lens->insertInSurfaces(s);
  mirror->setIsMirror(true);
  lens->setStopSurface(mirror);
  return finishedMirrorLens(std::move(lens), fieldAnglesDegrees);
}

/// A concave mirror of radius `radius` (negative: concave towards the object at infinity)
/// behind a plane stop: object, `leadIn` of air after a plane first surface (none for 0),
/// the stop, `stopToMirror` of air, the mirror, the image plane at its paraxial focus.
/// Entrance pupil 20; fields as angles in degrees. Regenerated and ready.
inline LensPtr mirrorBehindStop(double radius, double stopToMirror, double leadIn,
                                const std::vector<double>& fieldAnglesDegrees = {0}) {
  tracing::registerSystemGenerator();
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  auto object = lens::Surface::create();
  object->setThickness(std::numeric_limits<double>::infinity());
  lens->insertInSurfaces(object);
  if (leadIn > 0) {
    auto first = lens::Surface::create();
    first->setThickness(leadIn);
    lens->insertInSurfaces(first);
  }
  auto stop = lens::Surface::create();
  stop->setThickness(stopToMirror);
  auto mirror = lens::Surface::create();
  mirror->setCurvature(1 / radius);
  mirror->setThickness(radius / 2);
  auto image = lens::Surface::create();
  for (const auto& s : {stop, mirror, image}) lens->insertInSurfaces(s);
  mirror->setIsMirror(true);
  lens->setStopSurface(stop);
  return finishedMirrorLens(std::move(lens), fieldAnglesDegrees);
}

/// The window's wiring around a calculator: document, updater, lens buffer. `run` hands
/// the lens over and pumps the main loop until the published plot has settled.
template <class Calculator>
struct Window {
  std::shared_ptr<TestDocument> document;
  std::shared_ptr<Calculator> calculator;
  std::shared_ptr<OBCalculatorUpdater> updater;
  std::unique_ptr<LensBuffer> buffer;

  Window(LensPtr lens, std::shared_ptr<Calculator> c) : calculator(std::move(c)) {
    drainMainLoop();
    document = platform::makeObject<TestDocument>(std::move(lens));
    updater = OBCalculatorUpdater::make(calculator);
  }
  ~Window() {
    buffer.reset();
    updater.reset();
    calculator.reset();
    drainMainLoop();
  }
  /// True once a plot is published and no work is pending.
  bool settle() {
    return pumpUntil([&] {
      return calculator->plotDictionary() && !calculator->needsWork() && !calculator->hasWorkerThread() &&
             !platform::RunLoop::main().hasPendingWork();
    });
  }
  bool run() {
    if (!buffer) buffer = std::make_unique<LensBuffer>(document, calculator);
    document->postLensIsReady();
    return settle();
  }
  const platform::Array& curves() const { return calculator->plotDictionary()->get(plot::kCurves).asArray(); }
};

inline const foundation::VKSeries& seriesOf(const platform::Value& curve, const char* key) {
  const foundation::VKSeries* s = SeriesValue::from(curve.asDictionary().get(key));
  EXPECT_TRUE(s);
  return *s;
}

/// The curves named `name` ("Airy disk", "Reference"), or the spot curves for "".
inline std::vector<platform::Dictionary> curvesNamed(const platform::Array& curves, const std::string& name) {
  std::vector<platform::Dictionary> out;
  for (const auto& c : curves) {
    const std::string n = c.asDictionary().get(plot::kName).asString();
    const bool isOutline = n == "Airy disk" || n == "Reference";
    if (name.empty() ? !isOutline : n == name) out.push_back(c.asDictionary());
  }
  return out;
}

}  // namespace orb::analysis::testing
