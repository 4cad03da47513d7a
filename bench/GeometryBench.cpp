#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "geometry/solids/PointCoalescer.h"
#include "geometry/values/OBSurfaceTree.h"
#include "geometry/values/OutlinableSurface.h"
#include "geometry/values/PolynomialRoots.h"
#include "geometry/values/R3Point.h"

namespace {

using namespace orb::geometry;

// Line–torus intersections solve one quartic per ray per surface.
void BM_QuarticRoots(benchmark::State& state) {
  const std::array<double, 5> c = {24, -50, 35, -10, 1};
  std::array<orb::foundation::XY, 4> r{};
  for (auto _ : state) {
    quarticRoots(c, r);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_QuarticRoots);

void BM_QuarticRootsFerrari(benchmark::State& state) {
  const std::array<double, 5> c = {24, -50, 35, -10, 1};
  std::array<double, 4> re{}, im{};
  int count = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(quarticRootsFerrari(c, re, im, count));
    benchmark::DoNotOptimize(re);
  }
}
BENCHMARK(BM_QuarticRootsFerrari);

void BM_CoalesceGridPoints(benchmark::State& state) {
  std::vector<std::shared_ptr<XYZValue>> points;
  for (int i = 0; i < state.range(0); ++i) points.push_back(R3Point::pointWithDoubles(i % 7, i % 11, i % 13));
  for (auto _ : state) {
    PointCoalescer c;
    benchmark::DoNotOptimize(c.addPointsInArray(points));
  }
}
BENCHMARK(BM_CoalesceGridPoints)->Arg(64)->Arg(1024);

class Sphere : public OutlinableSurface {
  class Disc : public BoxSurfaceTest {
   public:
    int boxSurfaceTest(const BoxProtocol& b) const override {
      auto nearest = [](double lo, double hi) { return lo > 0 ? lo : hi < 0 ? hi : 0.0; };
      const double n = std::hypot(nearest(b.xMin(), b.xMax()), nearest(b.yMin(), b.yMax()));
      const double f = std::hypot(std::max(-b.xMin(), b.xMax()), std::max(-b.yMin(), b.yMax()));
      return n >= 10 ? 2 : f <= 10 ? 1 : 0;
    }
  };

 public:
  double semidiameter() const override { return 10; }
  std::shared_ptr<const BoxSurfaceTest> fullAperture() const override { return std::make_shared<Disc>(); }
  std::shared_ptr<const BoxSurfaceTest> aperture() const override { return nullptr; }
  bool validQ(const orb::foundation::XY& q) const override { return q.x * q.x + q.y * q.y <= 400; }
  double sagAtQ(const orb::foundation::XY& q) const override { return 20 - std::sqrt(400 - q.x * q.x - q.y * q.y); }
  SurfaceTaylorExpansion taylorExpansionAtPosition(const orb::foundation::XYZ& p) const override {
    const double w = std::sqrt(400 - p.x * p.x - p.y * p.y);
    return {p.x / w, p.y / w, -1, 0, 0, 0, 0, 0, 0};
  }
};

// The 3-D view rebuilds a surface's outline on every lens change.
void BM_SurfaceOutline(benchmark::State& state) {
  const Sphere s;
  for (auto _ : state) benchmark::DoNotOptimize(OBSurfaceTree::outline(s));
}
BENCHMARK(BM_SurfaceOutline);

}  // namespace
