#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orb::app {

class SmartDocument;
class SmartWindowController;

/// One window a lens document offers: the action that opens it, its interface file, the
/// controller class that runs it, whether it is unique per document (editors and
/// listings, brought front when asked again) or made anew on each request (analyses),
/// and where the menus show it.
struct WindowAction {
  const char* action;
  const char* nibName;
  const char* controllerClass;
  bool unique;
  const char* title;  ///< the menu item's text
  const char* menu;   ///< the menu that offers it
};

/// Every window action, in menu order within each menu.
const std::vector<WindowAction>& windowActions();
/// The row of `action`, or null.
const WindowAction* windowAction(std::string_view action);

/// Controllers are made by class name: the action table and the restoration records name
/// them. Each window's code registers its controller class at start-up.
using ControllerFactory =
    std::function<SmartWindowController*(const std::string& nibName, const std::shared_ptr<SmartDocument>& document)>;
void registerControllerClass(const std::string& controllerClass, ControllerFactory factory);
/// A new controller of that class for that interface file; null for an unknown class.
SmartWindowController* makeController(const std::string& controllerClass, const std::string& nibName,
                                      const std::shared_ptr<SmartDocument>& document);
bool controllerClassExists(const std::string& controllerClass);
/// What an action sets on its new window's calculator once shown: "makeDLSF" and
/// "makeHOTF" open the "DOTF" and "HLSF" files with "plotOTF" NO and YES.
void applyWindowActionSettings(std::string_view action, SmartWindowController* controller);

/// True when the window exists in this build: its interface file and its controller
/// class are registered. Menus offer only these; the others show disabled.
bool windowActionIsAvailable(const WindowAction& action);

}  // namespace orb::app
