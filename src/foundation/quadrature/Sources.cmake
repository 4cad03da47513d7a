list(APPEND sources
  quadrature/GaussLegendreIntegrator.h quadrature/GaussLegendreIntegrator.cpp
  quadrature/CauchyIntegrator.h quadrature/CauchyIntegrator.cpp
  quadrature/HayamiLogIntegrator.h quadrature/HayamiLogIntegrator.cpp
  quadrature/TriangleQuadrature.h quadrature/TriangleQuadrature.cpp
  quadrature/SpecialFunctions.h quadrature/SpecialFunctions.cpp
)
