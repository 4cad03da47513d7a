#include "app/windows/InterfaceFile.h"

#include <map>

namespace orb::app::interfacefile {

namespace {
std::map<std::string, InterfaceLoader>& loaders() {
  static std::map<std::string, InterfaceLoader> table;  // main thread only
  return table;
}
}  // namespace

void registerLoader(const std::string& name, InterfaceLoader loader) { loaders()[name] = std::move(loader); }

const InterfaceLoader* loader(const std::string& name) {
  auto it = loaders().find(name);
  return it == loaders().end() ? nullptr : &it->second;
}

}  // namespace orb::app::interfacefile
