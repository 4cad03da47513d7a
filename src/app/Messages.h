#pragma once

#include <functional>
#include <string>

class QMessageBox;
class QString;
class QWidget;

namespace orb::app {

/// Alerts to the user. Over a window they are window-modal (they block that window only);
/// without one, application-modal. They never block the caller: the box is opened and
/// the call returns.
void showMessage(QWidget* parent, const std::string& text, const std::string& informativeText = {});

/// The diagnostic alert: "My message text", "My informative text" and the buttons "Go
/// ahead" and "Cancel". Opened window-modal like every alert; when answered it logs
/// "rc = <answer>" (kAlertFirstButtonReturn for the first button, one more for the
/// second) and then "First button" or "Second button".
inline constexpr long kAlertFirstButtonReturn = 1000;
QMessageBox* showAlert(QWidget* parent);

/// Says that a feature arrives later, naming it: "<feature> is not available yet."
void showNotAvailableYet(QWidget* parent, const std::string& feature);
std::string notAvailableYetText(const std::string& feature);

/// Says why a typed entry was refused (the entry keeps its value) in the status line
/// of the window holding `within`, until the window's next accepted entry or a few
/// seconds; a window without a status line shows it as a tool tip by `within`. No alert
/// box: a slip of the keyboard is not worth one.
void showRefusedEntry(QWidget* within, const QString& text);
/// Takes away a refusal `showRefusedEntry` still shows in the window holding `within`.
void clearRefusedEntry(QWidget* within);

/// Replaces how messages are shown (tests record them instead); an empty function
/// restores the alert boxes.
using MessagePresenter = std::function<void(QWidget* parent, const std::string& text, const std::string& informative)>;
void setMessagePresenter(MessagePresenter presenter);

}  // namespace orb::app
