#pragma once

#include "tracing/Turner.h"

namespace orb::tracing {

/// The ideal thin lens of focal length f on its vertex plane: a ray at (x, y) leaves with
/// the slopes u − P·(x, y)·n/n′ (P = 1/f), whatever its angle, so a bundle from a point of
/// the front focal plane leaves parallel and a parallel bundle meets at the back focus
/// with equal optical paths. The paraxial operations are the exact ones: an ideal lens
/// behaves the same in both traces.
class TurnerParaxial : public Turner {
 public:
  TurnerParaxial() = default;
  explicit TurnerParaxial(std::shared_ptr<const SurfaceShape> surface) { TurnerParaxial::setSurface(std::move(surface)); }
  /// After the base: the focal length "f" of a paraxial lens surface; unchanged otherwise.
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;

  virtual double focalLength() const { return m_focalLength; }
  virtual void setFocalLength(double f) { m_focalLength = f; }
  virtual double powerX() const { return 1 / m_focalLength; }
  virtual double powerY() const { return 1 / m_focalLength; }

  void refractRay(Ray& ray, double finalIndex) override;
  void refractRay(RayWithFrame& ray, double finalIndex) override;
  void refractRays(std::span<Ray> rays, double finalIndex) override;
  /// Deflects by sin(arctan(P·x)) per axis and turns back; "TIR" when the deflection
  /// exceeds the index.
  void reflectRay(Ray& ray) override;
  void reflectRay(RayWithFrame& ray) override;
  void reflectRays(std::span<Ray> rays) override;
  void paraxiallyRefractRay(Ray& ray, double finalIndex) override { refractRay(ray, finalIndex); }
  void paraxiallyRefractRay(RayWithFrame& ray, double finalIndex) override { refractRay(ray, finalIndex); }
  void paraxiallyReflectRay(Ray& ray) override { reflectRay(ray); }
  void paraxiallyReflectRay(RayWithFrame& ray) override { reflectRay(ray); }

 protected:
  template <class R>
  void lensRefract(R& ray, double finalIndex);
  template <class R>
  void lensReflect(R& ray);
  /// Basis and transfer matrix of a framed ray whose momentum went from p0 (index n0) to
  /// the one it now holds (index n1), Bo its basis before.
  struct Basis {
    foundation::XYZ e[3];
    /// Component i of column j.
    double at(int i, int j) const { return i == 0 ? e[j].x : i == 1 ? e[j].y : e[j].z; }
  };
  void updateFrame(RayWithFrame& ray, const foundation::XYZ& p0, double n0, double n1, const Basis& Bo) const;

  double m_focalLength = 0;
};

/// An anamorphic ideal lens: powers "powerX" and "powerY"; its focal length is 1/powerY.
class TurnerParaxialXY : public TurnerParaxial {
 public:
  TurnerParaxialXY() = default;
  explicit TurnerParaxialXY(std::shared_ptr<const SurfaceShape> surface) { TurnerParaxialXY::setSurface(std::move(surface)); }
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
  double focalLength() const override { return 1 / m_powerY; }
  /// Sets the y power to 1/f; the x power stays.
  void setFocalLength(double f) override;
  double powerX() const override { return m_powerX; }
  double powerY() const override { return m_powerY; }
  void setPowers(double powerX, double powerY) { m_powerX = powerX, m_powerY = powerY, m_focalLength = 1 / powerY; }

 private:
  double m_powerX = 0, m_powerY = 0;
};

/// A rectangular array of identical ideal lenslets ("nx" × "ny" on the pitches "dx",
/// "dy", centred on the vertex). A ray is bent by the lenslet it meets, about that
/// lenslet's centre; a ray outside the array passes as through a lenslet centre.
class TurnerParaxialFlyEye : public TurnerParaxial {
 public:
  TurnerParaxialFlyEye() = default;
  explicit TurnerParaxialFlyEye(std::shared_ptr<const SurfaceShape> surface) {
    TurnerParaxialFlyEye::setSurface(std::move(surface));
  }
  void setSurface(std::shared_ptr<const SurfaceShape> surface) override;
  /// Pitches and counts, then the cell layout.
  void setCells(double dx, double dy, int nx, int ny);
  /// The position relative to the centre of its lenslet; (0, 0, z) outside the array.
  foundation::XYZ relativePositionForPosition(const foundation::XYZ& p) const;

  void refractRay(Ray& ray, double finalIndex) override;
  void refractRay(RayWithFrame& ray, double finalIndex) override;
  void refractRays(std::span<Ray> rays, double finalIndex) override;
  void reflectRay(Ray& ray) override;
  void reflectRay(RayWithFrame& ray) override;
  void reflectRays(std::span<Ray> rays) override;

 private:
  void setupCellLocations();
  double m_dx = 0, m_dy = 0;
  int m_nx = 0, m_ny = 0;
  double m_x0 = 0, m_y0 = 0;
  int m_ixmin = 0, m_ixmax = -1, m_iymin = 0, m_iymax = -1;
  double m_xL = 0, m_yL = 0;
};

}  // namespace orb::tracing
