#pragma once

#include <QPointer>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rendering/SmoothOpenGLView.h"

namespace orb::foundation {
class GLObject;
}

namespace orb::rendering {

/// True only while a lens view's pick has its model draw in selection mode. Main thread.
bool openGLIsPicking();
/// While picking, makes `name` the current selection name (0 after each pickable object);
/// does nothing otherwise, so models can call it unconditionally.
void loadOpenGLSelectionName(std::uint32_t name);

/// What a pick shows of an object and, for a surface, where the view then turns and what
/// it frames.
struct PickedObjectInfo {
  std::string description;
  bool isSurface = false;
  std::array<double, 3> origin{0, 0, 0};
  std::shared_ptr<geometry::Extents> extents;
};

/// A model whose pickable objects (foundation::GLObject) the lens view can describe.
class PickableOpenGLModel : public OpenGLModel {
 public:
  virtual PickedObjectInfo infoForPickedObject(const foundation::GLObject& object) const = 0;
};

/// The name of the nearest hit in a selection buffer of `hits` records (names, minimum
/// depth, maximum depth, names…): the first name of the record with the smallest minimum
/// depth, the earlier record on a tie; records without names are skipped, and a record
/// whose first name is 0 counts as nothing found. 0 when nothing is found. Records that
/// would run past `size` words end the walk.
std::uint32_t nearestNameInSelectionBuffer(const std::uint32_t* buffer, std::size_t size, int hits);

/// The rotatable 3-D view of a lens and its traced rays, with picking: a single click
/// finds the surface or ray under the pointer, shows its description in a small popup
/// and, for a surface, makes its vertex the rotation centre and its box what the next
/// zoom to fit frames.
class OBOpenGL : public SmoothOpenGLView {
 public:
  explicit OBOpenGL(QWidget* parent = nullptr, platform::UserDefaults* defaults = nullptr);
  ~OBOpenGL() override;

  void restoreDefaultFlags() override;
  /// White background, grey ambient 0.2 and diffuse 158/255 light, white specular.
  void restoreFactoryColors() override;
  std::vector<std::string> turnSequence() const override { return {"ZY", "ZX", "XY"}; }
  bool disableContextualMenus() const override { return false; }
  /// The middle button pans.
  int otherMouseMode() const override { return kPanMode; }
  void otherMouseDown(QMouseEvent* event) override;
  void otherMouseDragged(QMouseEvent* event) override;
  void otherMouseUp(QMouseEvent* event) override;

  // Drawing options handed to the model.
  platform::Dictionary optionsDictionary() const override;
  int numberOfSegmentsPerRevolution() const { return m_numberOfSegmentsPerRevolution; }
  void setNumberOfSegmentsPerRevolution(int n);
  double phiMin() const { return m_phiMin; }
  void setPhiMin(double phi);
  double phiMax() const { return m_phiMax; }
  void setPhiMax(double phi);
  bool drawsSurfaceAxes() const { return m_drawsSurfaceAxes; }
  void setDrawsSurfaceAxes(bool on);
  double surfaceAxesLength() const { return m_surfaceAxesLength; }
  void setSurfaceAxesLength(double length);
  /// Kept in the user defaults ("numberOfRadialSegments"), where the surfaces read it.
  int numberOfRadialSegments() const;
  void setNumberOfRadialSegments(int n);
  void restoreFullRevolved();

  // Rotation centre and framing.
  /// Moves the zoom box by (dx, dy) model units.
  void shift(double dx, double dy);
  /// Turns about `center` from now on, keeping the picture still; locks the centre.
  void setRotationCenter(const std::array<double, 3>& center);
  bool rotationCenterIsLocked() const { return m_rotationCenterLocked; }
  /// The locked centre whatever the world centre, else the base answer.
  std::array<float, 3> rotationCenterDataForWorldCenterData(const std::array<float, 3>& center) const override;
  void setZoomToFitExtents(std::shared_ptr<geometry::Extents> extents) { m_zoomToFitExtents = std::move(extents); }
  void setZoomToFitComment(std::string comment) { m_zoomToFitComment = std::move(comment); }
  void setZoomToFitExtents(std::shared_ptr<geometry::Extents> extents, std::string comment);
  const std::string& zoomToFitComment() const { return m_zoomToFitComment; }
  /// The picked surface's box when there is one, else the model's.
  std::shared_ptr<geometry::Extents> extentsForZoomToFit() override;
  /// Forgets the picked surface and frames the whole system.
  void zoomToSystem();
  /// Select mode chosen again: back to turning about the world centre and framing the
  /// whole system; then the base behaviour.
  void mouseModeStress() override;

  // Picking.
  /// The name of the nearest pickable object under the view point (x right, y up from the
  /// bottom, in widget points), 0 for none.
  std::uint32_t pick(double x, double y);
  /// A single click at the widget point (y down): picks, shows the description, and for
  /// a surface moves the rotation centre there. Answers what was picked (null for none).
  std::shared_ptr<const foundation::GLObject> selectAt(const QPoint& point);
  void selectMouseDown(QMouseEvent* event) override;
  void selectMouseUp(QMouseEvent* event) override;
  std::shared_ptr<const foundation::GLObject> lastPickedObject() const { return m_lastPicked.lock(); }
  /// The description shown last, while its popup is up.
  QWidget* popover() const { return m_popover; }

 protected:
  void updateLighting() override;

 private:
  void showDescription(const std::string& text, const QPoint& at);
  void closePopoverLater();
  /// The x and y translation of the model-view transform, as updateModelView builds it.
  std::array<double, 2> modelViewTranslation() const;

  int m_numberOfSegmentsPerRevolution = 16;
  double m_phiMin = 0, m_phiMax = 360;
  bool m_drawsSurfaceAxes = false;
  double m_surfaceAxesLength = 0;
  bool m_rotationCenterLocked = false;
  std::shared_ptr<geometry::Extents> m_zoomToFitExtents;
  std::string m_zoomToFitComment;
  std::weak_ptr<const foundation::GLObject> m_lastPicked;
  QPointer<QWidget> m_popover;
};

}  // namespace orb::rendering
