#pragma once

#include <memory>

namespace orb::platform {

namespace detail {
/// Something that can be switched off once: an observer registration of any kind.
struct Registration {
  virtual ~Registration() = default;
  virtual void cancel() = 0;
};
}  // namespace detail

/// Owns one observer registration (key-value observation or notification observer).
/// Removing it is safe at any time, also from inside its own delivery; a removed
/// observer is never called again. Destroying the token removes the observer, so keep it
/// for as long as the observation should last.
class [[nodiscard]] Observation {
 public:
  Observation() = default;
  explicit Observation(std::shared_ptr<detail::Registration> r) : m_registration(std::move(r)) {}
  Observation(Observation&&) noexcept = default;
  Observation& operator=(Observation&& other) noexcept {
    if (this != &other) {
      remove();
      m_registration = std::move(other.m_registration);
    }
    return *this;
  }
  Observation(const Observation&) = delete;
  Observation& operator=(const Observation&) = delete;
  ~Observation() { remove(); }

  void remove() {
    if (auto r = std::move(m_registration)) r->cancel();
  }
  bool isActive() const { return m_registration != nullptr; }

 private:
  std::shared_ptr<detail::Registration> m_registration;
};

}  // namespace orb::platform
