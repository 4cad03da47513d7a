#include "app/ImmediateUpdateWhileDragging.h"

#include <QAbstractSlider>
#include <memory>

#include "analysis/ImmediateUpdate.h"

namespace orb::app {

void raiseImmediateUpdateWhileDragging(QAbstractSlider* slider) {
  // The scope lives in the connections' shared state: release (or the slider's end)
  // drops it, which puts the flag back as it was before the press.
  auto scope = std::make_shared<std::unique_ptr<analysis::ImmediateUpdateScope>>();
  QObject::connect(slider, &QAbstractSlider::sliderPressed, slider,
                   [scope] { *scope = std::make_unique<analysis::ImmediateUpdateScope>(); });
  QObject::connect(slider, &QAbstractSlider::sliderReleased, slider, [scope] { scope->reset(); });
  QObject::connect(slider, &QObject::destroyed, [scope] { scope->reset(); });
}

}  // namespace orb::app
