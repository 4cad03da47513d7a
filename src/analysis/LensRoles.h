#pragma once

#include <memory>

#include "lens/Lens.h"
#include "platform/Object.h"
#include "platform/Value.h"

namespace orb::analysis {

/// The lens the analyses are handed.
using Lens = lens::Lens;
using LensPtr = std::shared_ptr<Lens>;

/// True when the lens's change cycle has regenerated the system; false for no lens.
bool lensIsReady(const Lens* lens);

/// Role of the object that owns a lens and announces it: the lens document. It is a
/// platform::Object that posts "lensIsReadyNotification" with its reference as sender
/// when its lens is ready, and announces its "lensKeyPathUpdateDictionary" key (a map of
/// old to new lens key paths) after lens items are inserted or removed. Main thread.
class LensProvider {
 public:
  virtual ~LensProvider() = default;
  virtual LensPtr lens() const = 0;
  virtual platform::Dictionary lensKeyPathUpdateDictionary() const = 0;
};

/// Role of an object that is handed the lens: calculators, the optimiser, variables,
/// sliders, merit functions. Main thread.
class LensUser {
 public:
  virtual ~LensUser() = default;
  virtual LensPtr lens() const = 0;
  /// Every hand-over, the first included; the same lens again means "it has changed".
  virtual void setLens(LensPtr lens) = 0;
  /// Before the first setLens, when the user has no lens yet: the place to choose
  /// initial selections from the lens.
  virtual void firstTimeWithLens(const LensPtr& lens) = 0;
  /// Rewrites stored lens key paths through the map (old path to new path).
  virtual void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) = 0;
};

inline constexpr const char* kLensIsReadyNotification = "lensIsReadyNotification";
inline constexpr const char* kLensTweakNotification = "lensTweakNotification";

}  // namespace orb::analysis
