list(APPEND sources
  minimise/Functor.h minimise/Functor.cpp
  minimise/FunctorWithOffset.h minimise/FunctorWithOffset.cpp
  minimise/FunctorXYZ.h
  minimise/MultivariateFunctor.h
  minimise/LeastSquaresFunctor.h minimise/LeastSquaresFunctor.cpp
)
