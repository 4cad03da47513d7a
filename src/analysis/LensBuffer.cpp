#include "analysis/LensBuffer.h"

#include "platform/Exception.h"
#include "platform/NotificationCenter.h"

namespace orb::analysis {

using platform::Notification;

LensBuffer::LensBuffer(const std::shared_ptr<LensProvider>& provider, std::shared_ptr<LensUser> user)
    : m_user(std::move(user)) {
  setLensProvider(provider);
  if (provider && lensIsReady(provider->lens().get())) handOverLens();
}

LensBuffer::~LensBuffer() { setLensProvider(nullptr); }

void LensBuffer::setLensProvider(const std::shared_ptr<LensProvider>& provider) {
  m_observations.clear();
  m_provider.reset();
  m_providerReference = {};
  if (!provider) return;
  auto* object = dynamic_cast<platform::Object*>(provider.get());
  if (!object)
    platform::Exception::raise("NSInvalidArgumentException", "a lens provider must be an object that can be observed");
  m_provider = provider;
  m_providerReference = object->reference();
  auto& center = platform::NotificationCenter::defaultCenter();
  m_observations.push_back(center.addObserver(kLensIsReadyNotification, m_providerReference,
                                              [this](const Notification& n) { lensIsReadyWithNotification(n); }));
  m_observations.push_back(center.addObserver(kLensTweakNotification, m_providerReference,
                                              [this](const Notification& n) { lensTweakWithNotification(n); }));
  m_observations.push_back(object->addObserver("lensKeyPathUpdateDictionary",
                                               [this](const platform::ObservedChange&) {
                                                 lensKeyPathUpdateDictionaryChanged();
                                               }));
}

void LensBuffer::handOverLens() {
  auto provider = m_provider.lock();
  if (!provider || !m_user) return;
  LensPtr lens = provider->lens();
  if (!m_user->lens()) m_user->firstTimeWithLens(lens);
  m_user->setLens(std::move(lens));
}

void LensBuffer::lensIsReadyWithNotification(const Notification& notification) {
  if (!(notification.object == platform::Value(m_providerReference))) return;
  handOverLens();
}

// For users that analyse a private copy: the provider's tweaks (lens key path to value)
// are applied to the copy too.
void LensBuffer::lensTweakWithNotification(const Notification& notification) {
  auto provider = m_provider.lock();
  if (!provider || !m_user) return;
  LensPtr userLens = m_user->lens();
  if (!userLens || userLens == provider->lens()) return;
  for (const auto& [keyPath, value] : notification.userInfo)
    if (keyPath.isString()) userLens->setValueForKeyPath(keyPath.asString(), value);
}

void LensBuffer::lensKeyPathUpdateDictionaryChanged() {
  auto provider = m_provider.lock();
  if (!provider || !m_user) return;
  m_user->setLensKeyPathUpdateDictionary(provider->lensKeyPathUpdateDictionary());
}

}  // namespace orb::analysis
