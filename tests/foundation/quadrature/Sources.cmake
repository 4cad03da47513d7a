list(APPEND sources
  quadrature/GaussLegendreIntegratorTest.cpp
  quadrature/SingularIntegratorTest.cpp
  quadrature/TriangleQuadratureTest.cpp
  quadrature/SpecialFunctionsTest.cpp
)
