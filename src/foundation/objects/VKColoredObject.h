#pragma once

#include <cstdint>
#include <memory>

#include "foundation/objects/VKObject.h"
#include "platform/Color.h"

namespace orb::foundation {

/// A VKObject with a display colour and a colour number. Numbers come from one
/// process-wide counter, so an interface can publish {colour number → colour} and every
/// object (and every copy, which keeps its source's number) picks up its own colour.
class VKColoredObject : public VKObject {
 public:
  VKColoredObject();

  const std::shared_ptr<platform::Color>& color() const { return m_color; }
  /// Observable under "color".
  void setColor(std::shared_ptr<platform::Color> color);

  std::uint64_t colorNumber() const { return m_colorNumber; }
  /// Takes `number` (copies keep their source's number) and makes sure no object made
  /// later is handed a number already taken.
  void setColorNumber(std::uint64_t number);

  /// Adopts the colour the dictionary gives for this object's number, if there is one,
  /// it is a colour (not nil) and not the very colour already held.
  void updateColorWithDictionary(const platform::Dictionary& colorsByNumber);

  /// The next number the counter will hand out.
  static std::uint64_t nextColorNumber();

  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  std::shared_ptr<platform::Color> m_color;
  std::uint64_t m_colorNumber;
};

}  // namespace orb::foundation
