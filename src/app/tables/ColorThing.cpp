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

namespace {
/// The least an array controller is: the objects it arranges.
class ArrangedObjects : public platform::Object {
 public:
  explicit ArrangedObjects(platform::Array objects) : m_arrangedObjects(std::move(objects)) {}
  std::string className() const override { return "ArrangedObjects"; }
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys() {
    static const platform::KeyTable table(
        &Object::classKeys(),
        {platform::Keys<ArrangedObjects>::readOnlyField("arrangedObjects", &ArrangedObjects::m_arrangedObjects)});
    return table;
  }

 private:
  platform::Array m_arrangedObjects;
};
}  // namespace

void ColorThing::watchObjects(platform::Array objects) {
  setArrayController(platform::makeObject<ArrangedObjects>(std::move(objects)));
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
