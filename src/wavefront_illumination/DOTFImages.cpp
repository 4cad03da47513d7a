#include "wavefront_illumination/DOTFImages.h"

#include <algorithm>
#include <utility>

#include "platform/Thread.h"

namespace orb::wavefront {

foundation::Matrix DOTFPupilImages::wavefrontInWaves() const {
  const auto n = static_cast<std::size_t>(std::max(grid.n, 0));
  foundation::Matrix m(n, n);
  if (grid.opd.size() < n * n) return m;
  // The pipeline's phase is 2π·OPD/λ with λ in mm; a grid without a wavelength made no OTF.
  const double perWave = grid.wavelength > 0 ? 1 / grid.wavelength : 0.0;
  double* to = m.rowMajorStorage();
  for (std::size_t k = 0; k < n * n; ++k) to[k] = grid.opd[k] * perWave;
  return m;
}

std::vector<bool> DOTFPupilImages::liveCells() const {
  std::vector<bool> live(grid.alive.size());
  for (std::size_t k = 0; k < live.size(); ++k) live[k] = grid.alive[k] != 0;
  return live;
}

std::shared_ptr<const DOTFPupilImages> DOTFCalculator::pupilImages() const {
  platform::Synchronized lock(this);
  return m_pupilImages;
}

void DOTFCalculator::recordPupilImages(PupilGrid grid) {
  auto images = std::make_shared<DOTFPupilImages>();
  bool any = false;
  for (std::size_t k = 0; k < grid.alive.size() && k < grid.opd.size(); ++k) {
    if (!grid.alive[k]) continue;
    images->wavefrontMin = any ? std::min(images->wavefrontMin, grid.opd[k]) : grid.opd[k];
    images->wavefrontMax = any ? std::max(images->wavefrontMax, grid.opd[k]) : grid.opd[k];
    any = true;
  }
  images->grid = std::move(grid);
  images->otf = opticalTransferFunction();
  std::shared_ptr<const DOTFPupilImages> replaced = std::move(images);
  {
    platform::Synchronized lock(this);
    std::swap(m_pupilImages, replaced);
  }
  // The replaced data (and its hold on an OTF the workspace may reuse) goes here, outside
  // the lock. Windows read the data when told, on the main thread.
  replaced.reset();
  auto announce = [this] { changeValueForKey("pupilImages", [] {}); };
  if (platform::isMainThread())
    announce();
  else
    performOnMainThreadForRun(std::move(announce));
}

}  // namespace orb::wavefront
