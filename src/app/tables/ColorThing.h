#pragma once

#include <memory>

#include "platform/Observation.h"
#include "platform/Value.h"

namespace orb::platform {
class Object;
}

namespace orb::app {

/// Watches the colours of the objects an array controller arranges and announces them.
/// An array controller is any object that answers "arrangedObjects" with an Array of
/// coloured objects (keys "color" and "colorNumber").
///
/// On every change of "arrangedObjects.color" it posts "colorChangedNotification" at once
/// on the default centre. The notification's `object` is not a sender but the Dictionary
/// {colour number → colour} of every arranged object (nil for an object without colour),
/// read with `notification.object.asDictionary()` and handed to
/// VKColoredObject::updateColorWithDictionary, so copies of the objects (which keep their
/// colour numbers) follow the edit. There is no user info.
class ColorThing {
 public:
  static constexpr const char* kColorChangedNotification = "colorChangedNotification";

  ColorThing() = default;
  ColorThing(const ColorThing&) = delete;
  ColorThing& operator=(const ColorThing&) = delete;

  const std::shared_ptr<platform::Object>& arrayController() const { return m_arrayController; }
  /// Stops watching the old controller and watches the new one; the same controller
  /// again changes nothing.
  void setArrayController(std::shared_ptr<platform::Object> arrayController);

  /// Watches exactly `objects`, for tables whose controller is no model object: the
  /// table calls it whenever its rows change. Posts nothing by itself, so re-reading rows
  /// (undo, a new lens) is never taken for a colour edit.
  void watchObjects(platform::Array objects);

  /// {colorNumber → color} of the objects `arrayController` arranges.
  static platform::Dictionary colorsByNumber(const platform::Object& arrayController);

 private:
  void arrangedColorsChanged();

  std::shared_ptr<platform::Object> m_arrayController;
  platform::Observation m_observation;  // ends with this object: the handler uses `this`
};

}  // namespace orb::app
