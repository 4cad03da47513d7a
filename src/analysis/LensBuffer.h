#pragma once

#include <memory>
#include <vector>

#include "analysis/LensRoles.h"
#include "platform/Observation.h"
#include "platform/Reference.h"

namespace orb::platform {
struct Notification;
}

namespace orb::analysis {

/// Binds a lens provider (the document) to a lens user (a calculator, the optimiser, the
/// sliders). Whenever the provider posts "lensIsReadyNotification" the user is handed
/// the lens, through `firstTimeWithLens` first when it has none yet, then `setLens`; when
/// the provider announces a new "lensKeyPathUpdateDictionary" the user gets the map.
///
/// The provider is not kept alive (it owns the window that owns the buffer); the user is.
/// Destroying the buffer ends all observation. Main thread only.
class LensBuffer {
 public:
  /// The provider must be a platform::Object (it is observed by key and by reference);
  /// otherwise "NSInvalidArgumentException" is raised. A ready lens is handed over at once.
  LensBuffer(const std::shared_ptr<LensProvider>& provider, std::shared_ptr<LensUser> user);
  ~LensBuffer();
  LensBuffer(const LensBuffer&) = delete;
  LensBuffer& operator=(const LensBuffer&) = delete;

  void setLensProvider(const std::shared_ptr<LensProvider>& provider);
  std::shared_ptr<LensProvider> lensProvider() const { return m_provider.lock(); }
  void setLensUser(std::shared_ptr<LensUser> user) { m_user = std::move(user); }
  const std::shared_ptr<LensUser>& lensUser() const { return m_user; }

 private:
  void handOverLens();
  void lensIsReadyWithNotification(const platform::Notification& notification);
  void lensTweakWithNotification(const platform::Notification& notification);
  void lensKeyPathUpdateDictionaryChanged();

  std::weak_ptr<LensProvider> m_provider;
  platform::Reference m_providerReference;
  std::shared_ptr<LensUser> m_user;
  std::vector<platform::Observation> m_observations;
};

}  // namespace orb::analysis
