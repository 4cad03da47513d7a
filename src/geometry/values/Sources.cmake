list(APPEND sources
  values/XYZValue.h values/XYZValue.cpp
  values/R3Point.h values/R3Point.cpp
  values/XYValue.h values/XYValue.cpp
  values/BoxProtocol.h
  values/Extents.h values/Extents.cpp
  values/ArchiveClasses.h values/ArchiveClasses.cpp
  values/GeometryDebug.h values/GeometryDebug.cpp
  values/GTransformer.h values/GTransformer.cpp
  values/DrawingSink.h
  values/DxfPrimitives.h values/DxfPrimitives.cpp
  values/SweepDrawing.h values/SweepDrawing.cpp
  values/Voxel.h values/Voxel.cpp
  values/OctTree.h values/OctTree.cpp
  values/SurfaceTaylorExpansion.h
  values/OutlinableSurface.h
  values/OBSurfaceBounder.h values/OBSurfaceBounder.cpp
  values/OBSurfaceTree.h values/OBSurfaceTree.cpp
)
list(APPEND sources
  values/TriangleNest.h values/TriangleNest.cpp
  values/R3ToR1Map.h values/R3ToR1Map.cpp
  values/PolynomialRoots.h values/PolynomialRoots.cpp
  values/SurfaceMap.h values/SurfaceMap.cpp
)
