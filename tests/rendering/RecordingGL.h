#pragma once

// A GL sink that records what the drawing helpers issue instead of drawing it.

#include <array>
#include <optional>
#include <vector>

#include "foundation/objects/XYZ.h"
#include "rendering/GLSink.h"

namespace orb::rendering::test {

struct RecordedPrimitive {
  GLPrimitive kind;
  std::vector<foundation::XYZ> vertices;
  /// The normal current at each vertex (none before any normal was issued).
  std::vector<std::optional<foundation::XYZ>> normals;
  std::vector<std::array<double, 2>> texCoords;
  unsigned texture = 0;
};

class RecordingGL : public GLSink {
 public:
  void beginPrimitive(GLPrimitive kind) override { primitives.push_back({kind, {}, {}, {}, boundTexture}); }
  void normal(const foundation::XYZ& n) override {
    current = n;
    ++normalCalls;
  }
  void vertex(const foundation::XYZ& p) override {
    primitives.back().vertices.push_back(p);
    primitives.back().normals.push_back(current);
  }
  void end() override {}
  void texCoord(double s, double t) override { primitives.back().texCoords.push_back({s, t}); }
  void multMatrix(const double* m) override {
    std::array<double, 16> copy;
    for (int k = 0; k < 16; ++k) copy[static_cast<std::size_t>(k)] = m[k];
    matrices.push_back(copy);
  }
  void bindRectangleTexture(unsigned name) override { boundTexture = name; }

  std::vector<const RecordedPrimitive*> of(GLPrimitive kind) const {
    std::vector<const RecordedPrimitive*> out;
    for (const auto& p : primitives)
      if (p.kind == kind) out.push_back(&p);
    return out;
  }

  std::vector<RecordedPrimitive> primitives;
  std::vector<std::array<double, 16>> matrices;
  std::optional<foundation::XYZ> current;
  int normalCalls = 0;
  unsigned boundTexture = 0;
};

}  // namespace orb::rendering::test
