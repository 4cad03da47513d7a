#pragma once

#include <memory>
#include <string>

#include "analysis/LensRoles.h"
#include "app/document/DocumentController.h"
#include "app/document/SmartDocument.h"
#include "platform/KeyTable.h"
#include "platform/NotificationCenter.h"

namespace orb::app::testing {

/// Stands in for the lens while the analyses take any object as their lens: a ready
/// flag, by key.
class FakeLens : public platform::Object {
 public:
  static const platform::KeyTable& classKeys() {
    using K = platform::Keys<FakeLens>;
    static const platform::KeyTable table(&Object::classKeys(), {K::field("isReady", &FakeLens::m_isReady)});
    return table;
  }
  const platform::KeyTable& keys() const override { return classKeys(); }
  bool m_isReady = false;
};

/// A lens of the type the analyses take: the lens layer's own once it is linked in.
template <class L = analysis::Lens>
std::shared_ptr<L> makeTestLens() {
  if constexpr (requires { L::create(); })
    return L::create();
  else
    return std::static_pointer_cast<L>(platform::makeObject<FakeLens>());
}

template <class L>
void makeReady(L& lens) {
  if constexpr (requires { lens.setIsReady(true); })
    lens.setIsReady(true);
  else
    lens.setValueForKey("isReady", true);
}

/// Stands in for the lens document: a display name, a lens it announces, text it reads
/// or refuses.
class FakeDocument : public SmartDocument, public analysis::LensProvider {
 public:
  static const platform::KeyTable& classKeys() {
    using K = platform::Keys<FakeDocument>;
    static const platform::KeyTable table(&Object::classKeys(),
                                          {K::field("lensKeyPathUpdateDictionary", &FakeDocument::m_renames)});
    return table;
  }
  const platform::KeyTable& keys() const override { return classKeys(); }

  std::string displayName() const override { return m_name; }
  analysis::LensPtr lens() const override { return m_lens; }
  platform::Dictionary lensKeyPathUpdateDictionary() const override { return m_renames; }
  bool readFromPlainText(const std::string& text, std::string* error) override {
    m_readText = text;
    if (m_readSucceeds) return true;
    *error = "no lens in the text";
    return false;
  }
  void makeWindowControllers() override { ++m_windowControllersMade; }

  void postLensIsReady() {
    makeReady(*m_lens);
    platform::NotificationCenter::defaultCenter().post(analysis::kLensIsReadyNotification, reference());
  }

  std::string m_name = "Doc";
  analysis::LensPtr m_lens = makeTestLens();
  platform::Dictionary m_renames;
  bool m_readSucceeds = true;
  std::string m_readText;
  int m_windowControllersMade = 0;
};

/// Makes fake documents; `fails` makes it refuse.
class FakeDocumentFactory : public DocumentFactory {
 public:
  std::shared_ptr<SmartDocument> openDocument(const std::string& path, std::string* error) override {
    if (fails) {
      *error = "cannot read " + path;
      return nullptr;
    }
    return make();
  }
  std::shared_ptr<SmartDocument> makeUntitledDocument() override { return fails ? nullptr : make(); }
  std::shared_ptr<FakeDocument> make() {
    last = platform::makeObject<FakeDocument>();
    last->m_readSucceeds = readSucceeds;
    return last;
  }
  bool fails = false;
  bool readSucceeds = true;
  std::shared_ptr<FakeDocument> last;
};

}  // namespace orb::app::testing
