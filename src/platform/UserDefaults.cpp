#include "platform/UserDefaults.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>

#include "platform/Log.h"
#include "platform/PropertyList.h"
#include "platform/Resources.h"

namespace orb::platform {

namespace fs = std::filesystem;

namespace {

std::string standardDirectory() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return (fs::path(xdg) / "orbelline").string();
  const char* home = std::getenv("HOME");
  return (fs::path(home && *home ? home : ".") / ".config" / "orbelline").string();
}

/// Numbers written as text in hand-edited files read in any process locale.
std::optional<double> parseNumber(const std::string& s) {
  double d = 0;
  const char* begin = s.data();
  while (begin < s.data() + s.size() && *begin == ' ') ++begin;
  auto r = std::from_chars(begin, s.data() + s.size(), d);
  if (r.ec != std::errc()) return std::nullopt;
  return d;
}

}  // namespace

UserDefaults::UserDefaults(std::string directory) {
  if (directory.empty()) directory = standardDirectory();
  m_path = (fs::path(directory) / "UserDefaults.plist").string();
  std::error_code ec;
  if (!fs::exists(m_path, ec)) return;
  try {
    Value stored = plist::readPlistFile(m_path);
    if (stored.isDictionary())
      m_user = stored.asDictionary();
    else
      log("user defaults %s do not hold a dictionary; ignored", m_path.c_str());
  } catch (const Exception& e) {
    // A damaged file must not stop the program; it is kept until the next save.
    log("cannot read user defaults %s: %s", m_path.c_str(), e.reason().c_str());
  }
}

UserDefaults& UserDefaults::standard() {
  static std::shared_ptr<UserDefaults> shared = [] {
    auto d = makeObject<UserDefaults>();
    if (!d->registerDefaultsFromResource()) log("factory defaults (UserDefaults.plist) not found");
    return d;
  }();
  return *shared;
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
  std::lock_guard lock(m_mutex);
  for (const auto& [k, v] : defaults) m_registered.set(k, v);
}

bool UserDefaults::registerDefaultsFromResource() {
  auto path = resources::pathFor("UserDefaults", "plist");
  if (!path) return false;
  try {
    Value v = plist::readPlistFile(*path);
    if (!v.isDictionary()) return false;
    registerDefaults(v.asDictionary());
    return true;
  } catch (const Exception& e) {
    log("cannot read factory defaults %s: %s", path->c_str(), e.reason().c_str());
    return false;
  }
}

Value UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(m_mutex);
  if (const Value* v = m_user.find(key)) return *v;
  return m_registered.get(key);
}

void UserDefaults::setObject(const std::string& key, const Value& value) {
  if (!value.isNil()) plist::serialize(value, PlistFormat::Binary);  // raises for non-plist values
  willChangeValueForKey(key);
  {
    std::lock_guard lock(m_mutex);
    if (value.isNil())
      m_user.remove(key);
    else
      m_user.set(key, value);
  }
  didChangeValueForKey(key);
  synchronize();
}

bool UserDefaults::synchronize() {
  Dictionary copy;
  {
    std::lock_guard lock(m_mutex);
    copy = m_user;
  }
  try {
    std::error_code ec;
    fs::create_directories(fs::path(m_path).parent_path(), ec);
    plist::writePlistFile(m_path, copy, PlistFormat::XML);
    return true;
  } catch (const Exception& e) {
    log("cannot save user defaults: %s", e.reason().c_str());
    return false;
  }
}

bool UserDefaults::boolForKey(const std::string& key) const {
  Value v = objectForKey(key);
  if (v.isNumber()) return v.asBool();
  if (v.isString()) {
    const std::string& s = v.asString();
    if (s == "YES" || s == "yes" || s == "true" || s == "TRUE") return true;
    auto d = parseNumber(s);
    return d && *d != 0;
  }
  return false;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
  Value v = objectForKey(key);
  if (v.isNumber()) return v.asInt();
  if (v.isString())
    if (auto d = parseNumber(v.asString())) return static_cast<std::int64_t>(*d);
  return 0;
}

double UserDefaults::doubleForKey(const std::string& key) const {
  Value v = objectForKey(key);
  if (v.isNumber()) return v.asDouble();
  if (v.isString())
    if (auto d = parseNumber(v.asString())) return *d;
  return 0;
}

std::string UserDefaults::stringForKey(const std::string& key) const {
  Value v = objectForKey(key);
  if (v.isString()) return v.asString();
  if (v.isNumber()) return v.description();
  return {};
}

Array UserDefaults::arrayForKey(const std::string& key) const {
  Value v = objectForKey(key);
  return v.isArray() ? v.asArray() : Array();
}

Dictionary UserDefaults::dictionaryForKey(const std::string& key) const {
  Value v = objectForKey(key);
  return v.isDictionary() ? v.asDictionary() : Dictionary();
}

Data UserDefaults::dataForKey(const std::string& key) const {
  Value v = objectForKey(key);
  return v.kind() == Value::Kind::Data ? v.asData() : Data();
}

std::shared_ptr<Color> UserDefaults::colorForKey(const std::string& key) const {
  Data d = dataForKey(key);
  return d.empty() ? nullptr : Color::fromArchivedData(d);
}

void UserDefaults::setColor(const std::shared_ptr<Color>& color, const std::string& key) {
  setObject(key, color ? Value(color->archivedData()) : Value());
}

Value UserDefaults::valueForUndefinedKey(std::string_view key) const { return objectForKey(std::string(key)); }

void UserDefaults::setValueForUndefinedKey(std::string_view key, const Value& value) {
  setObject(std::string(key), value);
}

}  // namespace orb::platform
