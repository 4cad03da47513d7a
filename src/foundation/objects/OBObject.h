#pragma once

#include "foundation/objects/VKObject.h"

namespace orb::foundation {

/// A VKObject that others address through its `reference()`: model notifications carry
/// the sender's reference and observers subscribe with it, so neither side owns the
/// other. (The reference itself, and the rule that an empty key is an undefined key,
/// come from the platform root object.)
class OBObject : public VKObject {};

}  // namespace orb::foundation
