list(APPEND sources
  polynomial/SparsePolynomial.h polynomial/SparsePolynomial.cpp
  polynomial/Polynomial.h polynomial/TwoPolynomial.h
  polynomial/ThreePolynomial.h polynomial/ThreePolynomial.cpp
  polynomial/Interpolator.h polynomial/Interpolator.cpp
  polynomial/SplineInterpolator.h polynomial/SplineInterpolator.cpp
  polynomial/Resampler.h polynomial/Resampler.cpp
  polynomial/QuarticPoly.h polynomial/QuarticPoly.cpp
  polynomial/QuarticSolver.h polynomial/QuarticSolver.cpp
)
