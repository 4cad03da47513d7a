#pragma once

#include <memory>
#include <vector>

#include "foundation/linear/ComplexMatrix.h"
#include "foundation/linear/Matrix.h"
#include "wavefront_illumination/DOTFCalculator.h"

namespace orb::wavefront {

/// What the diffraction OTF's three pupil images show, kept from the calculator's last
/// grid: the wavefront over the n × n grid with its live cells as the mask, the complex
/// pupil before the FFT (2n × 2n) and the OTF after it. The windows turn it into images;
/// the library stays free of any image type.
///
/// It holds no copy of a 2n × 2n matrix: the OTF is the calculator's own (shared), and
/// the pre-FFT pupil is made from the grid only when asked for. A polychromatic field
/// keeps its last wave's grid with the weight-averaged OTF the curves are read from.
struct DOTFPupilImages {
  /// OPD in lens units, dead cells 0; row i is pupil x, column j pupil y.
  DOTFCalculator::PupilGrid grid;
  /// 2n × 2n, FFT order (zero frequency at (0, 0)), 1 at zero frequency.
  std::shared_ptr<const foundation::ComplexMatrix> otf;
  /// The live cells' OPD range (lens units): the colour range of the wavefront image.
  double wavefrontMin = 0, wavefrontMax = 0;

  /// The n × n wavefront in waves (OPD / λ), row-major like the grid.
  foundation::Matrix wavefrontInWaves() const;
  /// Whether each cell of the wavefront is shown: its alive flag, row-major.
  std::vector<bool> liveCells() const;
  /// The complex pupil the FFT starts from (DOTFCalculator::pupilMatrix), made now.
  foundation::ComplexMatrix preFFT() const { return DOTFCalculator::pupilMatrix(grid); }
};

}  // namespace orb::wavefront
