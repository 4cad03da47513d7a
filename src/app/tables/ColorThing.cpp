#include "app/tables/ColorThing.h"

#include "platform/NotificationCenter.h"
#include "platform/Object.h"

namespace orb::app {

void ColorThing::setArrayController(std::shared_ptr<platform::Object> arrayController) {
  if (arrayController == m_arrayController) return;
  m_observation.remove();
  m_arrayController = std::move(arrayController);
  if (m_arrayController)
    m_observation = m_arrayController->addObserver("arrangedObjects.color",
                                                   [this](const platform::ObservedChange&) { arrangedColorsChanged(); });
}

platform::Dictionary ColorThing::colorsByNumber(const platform::Object& arrayController) {
  platform::Dictionary colors;
  const platform::Value arranged = arrayController.valueForKey("arrangedObjects");
  if (!arranged.isArray()) return colors;
  for (const auto& element : arranged.asArray()) {
    auto object = element.objectIf<platform::Object>();
    if (!object) continue;
    colors.set(object->valueForKey("colorNumber"), object->valueForKey("color"));
  }
  return colors;
}

void ColorThing::arrangedColorsChanged() {
  if (!m_arrayController) return;
  platform::NotificationCenter::defaultCenter().post(kColorChangedNotification,
                                                     platform::Value(colorsByNumber(*m_arrayController)));
}

}  // namespace orb::app
