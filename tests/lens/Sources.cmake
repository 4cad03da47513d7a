list(APPEND sources
  FieldWaveTest.cpp
  ParameterTest.cpp
  ApertureTest.cpp
)
list(APPEND sources
  SolveTest.cpp
  SimpleSurfaceTypesTest.cpp
  FreeformSurfaceTypesTest.cpp
  SurfaceGradientTest.cpp
)
list(APPEND sources
  SurfaceTest.cpp
  SurfaceDrawingTest.cpp
)
list(APPEND sources
  LensTest.cpp
  SurfaceEditingTest.cpp
)
