#include "foundation/objects/GLObject.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace orb::foundation {

namespace {

struct Entry {
  const GLObject* object;
  std::weak_ptr<const void> owner;
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::uint32_t, Entry> entries;
  Registry() { entries.reserve(10000); }
};

// Never destroyed: objects may be released during static destruction.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

std::atomic<std::uint32_t> g_counter{0};

}  // namespace

GLObject::~GLObject() {
  if (m_glName == 0) return;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const auto it = r.entries.find(m_glName);
  if (it != r.entries.end() && it->second.object == this) r.entries.erase(it);
}

std::uint32_t GLObject::nameForOpenGL(const std::shared_ptr<const void>& owner) const {
  if (m_glName == 0) assignNameForOpenGL(owner);
  return m_glName;
}

void GLObject::assignNameForOpenGL(const std::shared_ptr<const void>& owner) const {
  std::uint32_t name = ++g_counter;
  // 0 means "nothing picked": after a wrap the counter continues at 1.
  while (name == 0) name = ++g_counter;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (m_glName != 0) {
    const auto it = r.entries.find(m_glName);
    if (it != r.entries.end() && it->second.object == this) r.entries.erase(it);
  }
  m_glName = name;
  r.entries[name] = Entry{this, owner};
}

std::string GLObject::keyForName(std::uint32_t name) { return std::to_string(name); }

std::shared_ptr<const GLObject> GLObject::glObjectForName(std::uint32_t name) {
  if (name == 0) return nullptr;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const auto it = r.entries.find(name);
  if (it == r.entries.end()) return nullptr;
  // The owner is locked while the entry is still there, so the object cannot go before the
  // answer is released; an owner already gone means the object is on its way out.
  const auto owner = it->second.owner.lock();
  if (!owner) return nullptr;
  return std::shared_ptr<const GLObject>(owner, it->second.object);
}

void GLObject::setLastNameForTesting(std::uint32_t last) { g_counter = last; }

}  // namespace orb::foundation
