list(APPEND sources
  minimise/FunctorTest.cpp
  minimise/LeastSquaresFunctorTest.cpp
)
list(APPEND sources
  minimise/GoldenSectionSearchTest.cpp
  minimise/NelderMeadTest.cpp
  minimise/LevenbergMarquardtTest.cpp
  minimise/VKMathTest.cpp
  minimise/MersenneTwisterTest.cpp
)
