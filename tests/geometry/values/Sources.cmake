list(APPEND sources
  values/XYZValueTest.cpp
  values/ExtentsTest.cpp
  values/GTransformerTest.cpp
  values/OctTreeTest.cpp
  values/OBSurfaceTreeTest.cpp
  values/TriangleNestTest.cpp
  values/DxfPrimitivesTest.cpp
  values/PolynomialRootsTest.cpp
  values/SurfaceMapTest.cpp
)
