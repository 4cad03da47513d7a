list(APPEND sources
  minimise/FunctorTest.cpp
  minimise/LeastSquaresFunctorTest.cpp
)
