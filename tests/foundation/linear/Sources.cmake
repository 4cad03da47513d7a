list(APPEND sources
  linear/VKSeriesTest.cpp
  linear/VKIntervalTest.cpp
  linear/QuaternionTest.cpp
  linear/MatrixTest.cpp
  linear/SymplecticMatrixTest.cpp
  linear/FFTTest.cpp
  linear/ComplexMatrixTest.cpp
)
