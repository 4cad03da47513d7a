#pragma once

#include <functional>
#include <string>

class QWidget;

namespace orb::app {

/// Alerts to the user. Over a window they are window-modal (they block that window only);
/// without one, application-modal. They never block the caller: the box is opened and
/// the call returns.
void showMessage(QWidget* parent, const std::string& text, const std::string& informativeText = {});

/// Says that a feature arrives later, naming it: "<feature> is not available yet."
void showNotAvailableYet(QWidget* parent, const std::string& feature);
std::string notAvailableYetText(const std::string& feature);

/// Replaces how messages are shown (tests record them instead); an empty function
/// restores the alert boxes.
using MessagePresenter = std::function<void(QWidget* parent, const std::string& text, const std::string& informative)>;
void setMessagePresenter(MessagePresenter presenter);

}  // namespace orb::app
