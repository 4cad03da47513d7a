#pragma once

#include "platform/Object.h"

namespace orb::foundation {

/// Root of the model and controller objects. Made with platform::makeObject, it knows
/// when its last owner has let go (isDeallocating), so work queued for it, and tear-down
/// code in subclasses, can skip what would touch a dying object.
class VKObject : public platform::Object {
 public:
  /// The deallocating mark under its historical name.
  bool deallocating() const { return isDeallocating(); }
};

}  // namespace orb::foundation
