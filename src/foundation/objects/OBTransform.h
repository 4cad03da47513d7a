#pragma once

#include <string>

#include "foundation/objects/TransformationMatrix.h"
#include "foundation/objects/XYZ.h"
#include "foundation/objects/XYZTensor.h"

namespace orb::foundation {

/// A surface's coordinate frame: the row-major matrix from local to global coordinates and
/// its inverse. The two are not checked against each other: whoever sets them supplies
/// both (the transform stack keeps them exact inverses). A plain value; model objects
/// that share one frame hold it through a shared pointer.
class OBTransform {
 public:
  /// The identity frame.
  OBTransform() = default;
  OBTransform(const TransformationMatrix& localToGlobal, const TransformationMatrix& globalToLocal)
      : m_localToGlobal(localToGlobal), m_globalToLocal(globalToLocal) {}

  void setLocalToGlobalCoordinateTransformationMatrix(const TransformationMatrix& localToGlobal,
                                                      const TransformationMatrix& globalToLocal) {
    m_localToGlobal = localToGlobal;
    m_globalToLocal = globalToLocal;
  }
  const TransformationMatrix& localToGlobalCoordinateTransformationMatrix() const { return m_localToGlobal; }
  const TransformationMatrix& globalToLocalCoordinateTransformationMatrix() const { return m_globalToLocal; }

  /// A local point in global coordinates.
  XYZ transformToGlobal(const XYZ& localPoint) const { return applyToPoint(m_localToGlobal, localPoint); }
  /// A global point in local coordinates.
  XYZ transformFromGlobal(const XYZ& globalPoint) const { return applyToPoint(m_globalToLocal, globalPoint); }
  /// A local direction or optical momentum in global coordinates (no translation).
  XYZ rotateToGlobal(const XYZ& localDirection) const { return applyToDirection(m_localToGlobal, localDirection); }
  /// A global direction in local coordinates.
  XYZ rotateFromGlobal(const XYZ& globalDirection) const {
    return applyToDirection(m_globalToLocal, globalDirection);
  }
  /// R · T · Rᵀ with R the rotation block of local-to-global: a local tensor (a gradient of
  /// a force, a curvature) in global coordinates.
  XYZTensor tensorToGlobal(const XYZTensor& localTensor) const;

  /// The drawing seam: hands the local-to-global matrix, row-major, to a routine of the
  /// rendering layer that multiplies the current graphics matrix by it (that routine does
  /// the column-major copy). Kept as a callback so this layer needs no graphics library.
  /// `multMatrixRowMajor` is any callable taking `const double*` (16 doubles).
  template <class MultMatrixRowMajor>
  void transformOpenGL(MultMatrixRowMajor&& multMatrixRowMajor) const {
    multMatrixRowMajor(m_localToGlobal.data());
  }

  /// Four lines: row r of local-to-global, of global-to-local and of their product, which
  /// should be the identity. A diagnostic.
  std::string dumpDescription() const;
  /// Writes dumpDescription() to the diagnostic log, line by line.
  void dumpToLog() const;

  friend bool operator==(const OBTransform&, const OBTransform&) = default;

 private:
  TransformationMatrix m_localToGlobal = TransformationMatrix::identity();
  TransformationMatrix m_globalToLocal = TransformationMatrix::identity();
};

}  // namespace orb::foundation
