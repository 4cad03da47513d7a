list(APPEND sources
  GlassTest.cpp
  CoefficientGlassTest.cpp
  GlassCatalogTest.cpp
)
