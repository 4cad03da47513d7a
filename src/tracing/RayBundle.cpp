#include "tracing/RayBundle.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

#include "platform/Exception.h"

namespace orb::tracing {

namespace detail {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugeFrom = 4 * kHugePage;
}  // namespace

void* allocateColumn(std::size_t bytes) {
  if (bytes < kHugeFrom) return ::operator new(bytes);
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = ::operator new(rounded, std::align_val_t{kHugePage});
#ifdef MADV_HUGEPAGE
  ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only: without it the column works as well
#endif
  return p;
}

void releaseColumn(void* p, std::size_t bytes) noexcept {
  if (bytes < kHugeFrom) return ::operator delete(p);
  ::operator delete(p, std::align_val_t{kHugePage});
}

}  // namespace detail

void RayBundle::resize(std::size_t n) {
  for (auto* c : {&qx, &qy, &qz, &px, &py, &pz, &opticalPathLength}) c->resize(n, 0.0);
  alive.resize(n, 1);
  reflected.resize(n, 0);
  indexIsNegative.resize(n, 0);
  wave.resize(n, 0);
  field.resize(n, 0xffff);
  causeOfDeath.resize(n, nullptr);
  diedAt.resize(n, kNoSurface);
}

void RayBundle::resizeForOverwrite(std::size_t n) {
  for (auto* c : {&qx, &qy, &qz, &px, &py, &pz, &opticalPathLength}) c->resize(n);
  for (auto* c : {&alive, &reflected, &indexIsNegative, &wave}) c->resize(n);
  field.resize(n);
  causeOfDeath.resize(n);
  diedAt.resize(n);
}

void RayBundle::reserve(std::size_t n) {
  for (auto* c : {&qx, &qy, &qz, &px, &py, &pz, &opticalPathLength}) c->reserve(n);
  for (auto* c : {&alive, &reflected, &indexIsNegative, &wave}) c->reserve(n);
  field.reserve(n);
  causeOfDeath.reserve(n);
  diedAt.reserve(n);
}

std::uint8_t RayBundle::waveIndex(const std::shared_ptr<lens::Wave>& w) {
  const auto found = std::find(waves.begin(), waves.end(), w);
  if (found != waves.end()) return static_cast<std::uint8_t>(found - waves.begin());
  if (waves.size() == 256) platform::Exception::raise("UsageError", "A ray bundle holds at most 256 waves");
  waves.push_back(w);
  return static_cast<std::uint8_t>(waves.size() - 1);
}

std::uint16_t RayBundle::fieldIndex(const std::shared_ptr<lens::Field>& f) {
  if (!f) return 0xffff;
  const auto found = std::find(fields.begin(), fields.end(), f);
  if (found != fields.end()) return static_cast<std::uint16_t>(found - fields.begin());
  if (fields.size() == 0xffff) platform::Exception::raise("UsageError", "A ray bundle holds at most 65535 fields");
  fields.push_back(f);
  return static_cast<std::uint16_t>(fields.size() - 1);
}

void RayBundle::append(const Ray& r) {
  qx.push_back(r.x()), qy.push_back(r.y()), qz.push_back(r.z());
  px.push_back(r.px()), py.push_back(r.py()), pz.push_back(r.pz());
  opticalPathLength.push_back(r.opticalPathLength());
  alive.push_back(r.isAlive());
  reflected.push_back(r.isReflected());
  indexIsNegative.push_back(r.indexOfRefractionIsNegative());
  wave.push_back(waveIndex(r.wave()));
  field.push_back(fieldIndex(r.tags().field));
  causeOfDeath.push_back(r.tags().causeOfDeath);
  std::uint16_t place = kNoSurface;
  if (!r.isAlive() && !r.tags().diedAtSurface.empty()) {
    const auto found = std::find(surfaceNicknames.begin(), surfaceNicknames.end(), r.tags().diedAtSurface);
    place = static_cast<std::uint16_t>(found - surfaceNicknames.begin());
    if (found == surfaceNicknames.end()) surfaceNicknames.push_back(r.tags().diedAtSurface);
  }
  diedAt.push_back(place);
}

Ray RayBundle::ray(std::size_t i) const {
  Ray r({qx[i], qy[i], qz[i]}, {0, 0, 1}, 1.0);
  r.setMomentum({px[i], py[i], pz[i]});
  r.setOpticalPathLength(opticalPathLength[i]);
  r.setIsReflected(reflected[i]);
  r.setIndexOfRefractionIsNegative(indexIsNegative[i]);
  if (wave[i] < waves.size()) r.setWave(waves[wave[i]]);
  if (field[i] < fields.size()) r.tags().field = fields[field[i]];
  if (!alive[i]) {
    r.kill(causeOfDeath[i], diedAt[i] < surfaceNicknames.size() ? std::string_view(surfaceNicknames[diedAt[i]])
                                                                : std::string_view());
  }
  return r;
}

std::vector<Ray> RayBundle::rays() const {
  std::vector<Ray> out;
  out.reserve(size());
  for (std::size_t i = 0; i < size(); ++i) out.push_back(ray(i));
  return out;
}

}  // namespace orb::tracing
