list(APPEND sources
  GlassTest.cpp
  CoefficientGlassTest.cpp
  GlassCatalogTest.cpp
  GrinDispersionTest.cpp
  IndexFitterTest.cpp
  MediumTest.cpp
)
