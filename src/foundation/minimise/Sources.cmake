list(APPEND sources
  minimise/Functor.h minimise/Functor.cpp
  minimise/FunctorWithOffset.h minimise/FunctorWithOffset.cpp
  minimise/FunctorXYZ.h
  minimise/MultivariateFunctor.h
  minimise/LeastSquaresFunctor.h minimise/LeastSquaresFunctor.cpp
)
list(APPEND sources
  minimise/Minimiser.h minimise/MinimiserRecords.h
  minimise/FindBracketingTriplet.h minimise/FindBracketingTriplet.cpp
  minimise/GoldenSectionSearch.h minimise/GoldenSectionSearch.cpp
  minimise/CoordinateAndFunctionValue.h minimise/CoordinateAndFunctionValue.cpp
  minimise/SimplexSupport.h
  minimise/NelderMead.h minimise/NelderMead.cpp
  minimise/NelderMeadUsingSeries.h minimise/NelderMeadUsingSeries.cpp
  minimise/LevenbergMarquardt.h minimise/LevenbergMarquardt.cpp
  minimise/VKMath.h minimise/VKMath.cpp
  minimise/RayGridCounts.h minimise/RayGridCounts.cpp
  minimise/MersenneTwister.h minimise/MersenneTwister.cpp
)
