#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Object.h"

class QWidget;

namespace orb::app {

class OBWindow;

/// What loading an interface file hands its owner: the objects the controller stack
/// calls outlets.
struct InterfaceOutlets {
  /// The analysis of the window: the content of its calculator controller.
  std::shared_ptr<platform::Object> calculator;
  /// The window's main view (plot view, 3-D view or layout view); owned by the window.
  QWidget* view = nullptr;
  /// The contents of the options panel, or null for windows without one; the controller
  /// makes it a tool window beside the analysis window and owns it from then on.
  QWidget* optionsPanel = nullptr;
  /// The "Randomize" toolbar item's action (a new random ray set), where the calculator
  /// has one.
  std::function<void()> randomize;
};

/// Builds one window's contents: sets the window's title, lays out its widgets (usually
/// through the Designer form of the same name) and makes the objects it holds.
using InterfaceLoader = std::function<InterfaceOutlets(OBWindow& window)>;

/// Interface files by name ("SpotWindow"): each window's code registers its loader once
/// at start-up, and controllers made with that name load it.
namespace interfacefile {
void registerLoader(const std::string& name, InterfaceLoader loader);
/// The loader registered under `name`, or null.
const InterfaceLoader* loader(const std::string& name);
}  // namespace interfacefile

}  // namespace orb::app
