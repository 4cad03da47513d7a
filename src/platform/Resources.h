#pragma once

#include <optional>
#include <string>

namespace orb::platform {

/// Finds the program's resources (factory defaults, the system glass catalog, interface
/// files, images). Looked for, in order: the directory named by ORBELLINE_RESOURCES,
/// "resources" next to the executable, "../share/orbelline/resources" from it, and the
/// source tree's resources/ during development.
namespace resources {

/// The path of resource `name` of type `type` ("UserDefaults", "plist"), if it exists.
std::optional<std::string> pathFor(const std::string& name, const std::string& type);
/// The directory searched first that exists, or empty when none does.
std::string directory();

}  // namespace resources
}  // namespace orb::platform
