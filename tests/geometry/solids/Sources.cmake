list(APPEND sources
  solids/PointCoalescerTest.cpp
  solids/ConicKernelTest.cpp
  solids/SurfaceTest.cpp
  solids/CurveTest.cpp
  solids/PolarTest.cpp
  solids/HullTest.cpp
  solids/WingedEdgeTest.cpp
  solids/ManifoldTest.cpp
  solids/CodingTest.cpp
  solids/BowTieTest.cpp
)
