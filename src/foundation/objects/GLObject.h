#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace orb::foundation {

/// Something the 3-D views can pick (surfaces and rays). It gets a process-wide selection
/// name on first use, never 0 (a pick that answers 0 found nothing), and a registry maps
/// names back to objects. The registry holds no ownership: each entry keeps a weak handle
/// on whatever owns the object (the surface itself, the array a ray lives in), so a
/// lookup either keeps the object alive for the caller or finds nothing; the entry goes
/// when the object is destroyed. Lookups, insertions and removals may come from any thread.
///
/// A copy is a new object: it starts without a name.
class GLObject {
 public:
  GLObject() = default;
  GLObject(const GLObject&) noexcept {}
  GLObject& operator=(const GLObject&) noexcept { return *this; }
  virtual ~GLObject();

  /// The object's name; assigns one first, registered under `owner`, when it has none.
  /// Main thread (the thread that draws).
  std::uint32_t nameForOpenGL(const std::shared_ptr<const void>& owner) const;
  /// The name, 0 when none has been assigned yet.
  std::uint32_t glName() const { return m_glName; }
  /// Gives the object the next name and enters it in the registry under `owner`.
  void assignNameForOpenGL(const std::shared_ptr<const void>& owner) const;

  static std::string keyForName(std::uint32_t name);
  std::string keyForNameDictionary() const { return keyForName(m_glName); }
  /// The registered object, kept alive by its owner for as long as the answer is held;
  /// null for 0, an unknown name, or an object whose owner is gone.
  static std::shared_ptr<const GLObject> glObjectForName(std::uint32_t name);

  /// What a pick shows of the object.
  virtual std::string description() const = 0;

  /// Sets the counter, so that the next name follows `last`; for tests of the wrap-around.
  static void setLastNameForTesting(std::uint32_t last);

 private:
  mutable std::uint32_t m_glName = 0;
};

}  // namespace orb::foundation
