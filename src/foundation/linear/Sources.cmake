list(APPEND sources
  linear/VKSeries.h linear/VKSeries.cpp
  linear/VKInterval.h linear/VKInterval.cpp
  linear/Quaternion.h linear/Quaternion.cpp
  linear/Matrix.h linear/Matrix.cpp linear/SquareMatrix.cpp
  linear/SymplecticMatrix.h linear/SymplecticMatrix.cpp
  linear/FFT.h linear/FFT.cpp
  linear/ComplexMatrix.h linear/ComplexMatrix.cpp
)

# The general matrix inverse calls LAPACK dgetrf/dgetri; the column and comparison 2-D
# transforms of ComplexMatrix call FFTW3.
find_package(LAPACK REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(fftw3 REQUIRED IMPORTED_TARGET fftw3)
list(APPEND links LAPACK::LAPACK PkgConfig::fftw3)
