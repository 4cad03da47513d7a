list(APPEND sources
  solids/PointCoalescer.h solids/PointCoalescer.cpp
  solids/PointAndParameter.h
  solids/Ordering.h
  solids/Cloaked.h solids/Cloaked.cpp
  solids/Coding.h
  solids/Vector3.h
  solids/ConicKernel.h solids/ConicKernel.cpp
  solids/SymmetricEigen.h solids/SymmetricEigen.cpp
  solids/ShadowKernel.cpp
  solids/VKThetaFinder.h solids/VKThetaFinder.cpp
  solids/R3Curve.h solids/R3Curve.cpp
  solids/R3Line.h solids/R3Line.cpp
  solids/R3Ellipse.h solids/R3Ellipse.cpp
  solids/R3Surface.h solids/R3Surface.cpp
  solids/R3Plane.h solids/R3Plane.cpp
  solids/R3Quadric.h solids/R3Quadric.cpp
  solids/R3Cylinder.h solids/R3Cylinder.cpp
  solids/R3Ellipsoid.h solids/R3Ellipsoid.cpp
  solids/R3Torus.h solids/R3Torus.cpp
  solids/PolarMap.h solids/PolarMap.cpp
  solids/PolarIntegration.h solids/PolarIntegration.cpp
  solids/BowTieIntegral.h solids/BowTieIntegral.cpp
  solids/WingedEdge.h solids/WingedEdge.cpp
  solids/Manifold.h solids/Manifold.cpp
  solids/PlaneManifold.h solids/PlaneManifold.cpp
  solids/SurfacePatch.h solids/SurfacePatch.cpp
  solids/LimbGenerator.h solids/LimbGenerator.cpp
  solids/R3Hull.h solids/R3Hull.cpp
  solids/BSIG.h solids/BSIG.cpp
)
