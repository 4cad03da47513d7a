#pragma once

#include <memory>
#include <mutex>

#include "platform/Object.h"
#include "platform/Observation.h"
#include "rendering/OBOpenGL.h"

namespace orb::analysis {
class LayoutCalculator;
}

namespace orb::app {

/// The layout calculator as the 3-D lens view's model: each surface of interest swept in
/// its own frame and colour (light pipes and elbows as their hulls), the traced rays as
/// lines between the surfaces of interest, and, while the view picks, each surface's and
/// ray's selection name. The calculator's "modelChangedNotification" is passed on as this
/// model's own, so the view redraws when the rays arrive. Main thread.
class LayoutOpenGLModel : public platform::Object, public rendering::PickableOpenGLModel {
 public:
  explicit LayoutOpenGLModel(const std::shared_ptr<analysis::LayoutCalculator>& calculator);
  ~LayoutOpenGLModel() override;

  void drawUsingOpenGL(const platform::Dictionary& options) override;
  /// The calculator's box; null (the view's default cube) while there is nothing to draw.
  std::shared_ptr<geometry::Extents> extents() const override;
  std::recursive_mutex& drawingMutex() override { return m_mutex; }
  /// A surface tells its description, its vertex and its box in lens coordinates; a ray
  /// its description.
  rendering::PickedObjectInfo infoForPickedObject(const foundation::GLObject& object) const override;

  std::shared_ptr<analysis::LayoutCalculator> calculator() const { return m_calculator.lock(); }

 private:
  std::weak_ptr<analysis::LayoutCalculator> m_calculator;
  std::recursive_mutex m_mutex;
  platform::Observation m_observation;
};

}  // namespace orb::app
