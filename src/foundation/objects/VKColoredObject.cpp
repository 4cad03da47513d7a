#include "foundation/objects/VKColoredObject.h"

#include <atomic>

namespace orb::foundation {

using platform::Keys;

namespace {
// Objects are made on the main thread and on workers that copy lenses: atomic, so two
// threads never receive the same number.
std::atomic<std::uint64_t> g_colorCounter{1};
}  // namespace

VKColoredObject::VKColoredObject() : m_colorNumber(g_colorCounter.fetch_add(1)) {}

void VKColoredObject::setColor(std::shared_ptr<platform::Color> color) { setAndAnnounce("color", m_color, std::move(color)); }

void VKColoredObject::setColorNumber(std::uint64_t number) {
  setAndAnnounce("colorNumber", m_colorNumber, number);
  std::uint64_t current = g_colorCounter.load();
  while (current <= number && !g_colorCounter.compare_exchange_weak(current, number + 1)) {
  }
}

std::uint64_t VKColoredObject::nextColorNumber() { return g_colorCounter.load(); }

void VKColoredObject::updateColorWithDictionary(const platform::Dictionary& colorsByNumber) {
  const platform::Value* entry = colorsByNumber.find(platform::Value(m_colorNumber));
  if (!entry) return;
  auto color = entry->objectIf<platform::Color>();
  if (color && color != m_color) setColor(std::move(color));
}

const platform::KeyTable& VKColoredObject::classKeys() {
  static const platform::KeyTable table(
      &VKObject::classKeys(),
      {Keys<VKColoredObject>::property("color", &VKColoredObject::color, &VKColoredObject::setColor),
       Keys<VKColoredObject>::property("colorNumber", &VKColoredObject::colorNumber, &VKColoredObject::setColorNumber)});
  return table;
}

}  // namespace orb::foundation
