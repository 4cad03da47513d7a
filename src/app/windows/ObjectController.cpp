#include "app/windows/ObjectController.h"

#include "platform/KeyTable.h"

namespace orb::app {

const platform::KeyTable& ObjectController::classKeys() {
  using K = platform::Keys<ObjectController>;
  static const platform::KeyTable table(
      &Object::classKeys(),
      {K::property("content", &ObjectController::content, &ObjectController::setContent),
       K::getter("selection", &ObjectController::content).dependsOn({"content"})});
  return table;
}

void ObjectController::setContent(std::shared_ptr<platform::Object> content) {
  setAndAnnounce("content", m_content, std::move(content));
}

}  // namespace orb::app
