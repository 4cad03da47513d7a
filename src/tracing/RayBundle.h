#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tracing/Ray.h"

namespace orb::lens {
class Field;
class Wave;
}  // namespace orb::lens

namespace orb::tracing {

namespace detail {
/// Large blocks on 2 MB boundaries, with the kernel asked to back them with huge pages:
/// filling a million-ray column from fresh 4 KB pages faults once per page, and the
/// faults serialise the threads that fill it. Small blocks are plain allocations.
void* allocateColumn(std::size_t bytes);
void releaseColumn(void* p, std::size_t bytes) noexcept;

/// Leaves new elements of a column uninitialised, so a column sized for overwrite is
/// first touched by the threads that fill it (and never written twice).
template <class T>
struct UninitialisedAllocator {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(allocateColumn(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { releaseColumn(p, n * sizeof(T)); }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U>
  bool operator==(const UninitialisedAllocator<U>&) const noexcept {
    return true;
  }
};
template <class T>
using Column = std::vector<T, UninitialisedAllocator<T>>;
}  // namespace detail

/// Rays in bulk, as columns: what a trace reads and writes per ray and nothing more
/// (72 bytes a ray against a Ray's 272). Wave and field are small indexes into the
/// bundle's own tables, so a million rays hold no shared pointer each; the cause of death
/// is one of the causeOfDeath pointers and the place an index into `surfaceNicknames`.
/// Surface normals live only inside a trace. `Ray` is what analyses and listings see:
/// ray(i) makes one from a row, append() takes one in.
class RayBundle {
 public:
  static constexpr std::uint16_t kNoSurface = 0xffff;

  detail::Column<double> qx, qy, qz;  ///< position, in the frame the rays sit in
  detail::Column<double> px, py, pz;  ///< momentum n · unit direction
  detail::Column<double> opticalPathLength;
  detail::Column<std::uint8_t> alive, reflected, indexIsNegative;
  detail::Column<std::uint8_t> wave;        ///< index into waves
  detail::Column<std::uint16_t> field;      ///< index into fields; 0xffff for none
  detail::Column<const char*> causeOfDeath;  ///< null while alive
  detail::Column<std::uint16_t> diedAt;      ///< index into surfaceNicknames, or kNoSurface

  /// The tables the indexes point into; the trace fills surfaceNicknames with the lens's.
  std::vector<std::shared_ptr<lens::Wave>> waves;
  std::vector<std::shared_ptr<lens::Field>> fields;
  std::vector<std::string> surfaceNicknames;

  std::size_t size() const { return qx.size(); }
  bool empty() const { return qx.empty(); }
  /// Sizes every column; new rows are alive, in wave 0, without field or cause.
  void resize(std::size_t n);
  /// Sizes every column without writing new rows: the caller fills every column of them.
  void resizeForOverwrite(std::size_t n);
  void reserve(std::size_t n);
  void clear() { resize(0); }

  /// The slot of `w` in waves (added when new). At most 256 waves.
  std::uint8_t waveIndex(const std::shared_ptr<lens::Wave>& w);
  /// The slot of `f` in fields (added when new); 0xffff for null.
  std::uint16_t fieldIndex(const std::shared_ptr<lens::Field>& f);

  /// Appends the ray's traced state, wave and field tag (other tags are not kept).
  void append(const Ray& ray);
  /// Row i as a ray: position, momentum, path, flags, wave, field tag, cause and place.
  Ray ray(std::size_t i) const;
  /// Every row as rays.
  std::vector<Ray> rays() const;
};

}  // namespace orb::tracing
