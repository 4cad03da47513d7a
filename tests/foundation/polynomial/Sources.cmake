list(APPEND sources
  polynomial/SparsePolynomialTest.cpp
  polynomial/TwoPolynomialTest.cpp
  polynomial/ThreePolynomialTest.cpp
  polynomial/InterpolatorTest.cpp
  polynomial/QuarticTest.cpp
)
