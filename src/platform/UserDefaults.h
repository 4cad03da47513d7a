#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/Color.h"
#include "platform/Object.h"

namespace orb::platform {

/// The user's settings: factory values registered from the resource "UserDefaults.plist",
/// overridden by the user's own values, which persist in a property list under
/// $XDG_CONFIG_HOME/orbelline/ (~/.config when unset), written atomically on each change.
///
/// Each defaults key is also a key-value coding key of the object, so settings that must
/// act at once are observed with addObserver("rayAcquisitionTolerance", …).
class UserDefaults : public Object {
 public:
  /// `directory` holds the user's file; empty means the standard location.
  explicit UserDefaults(std::string directory = {});

  /// The shared instance, with the factory defaults registered.
  static UserDefaults& standard();

  /// Adds factory values (they never override the user's own).
  void registerDefaults(const Dictionary& defaults);
  /// Registers the resource "UserDefaults" of type "plist"; false when it is missing.
  bool registerDefaultsFromResource();

  /// The user's value, else the factory value, else nil.
  Value objectForKey(const std::string& key) const;
  /// Stores a property-list value (nil removes it) and saves; raises for values a property
  /// list cannot hold.
  void setObject(const std::string& key, const Value& value);
  void removeObject(const std::string& key) { setObject(key, Value()); }

  // Typed getters: 0, false or empty when absent; numbers and numeric strings convert.
  bool boolForKey(const std::string& key) const;
  std::int64_t integerForKey(const std::string& key) const;
  double doubleForKey(const std::string& key) const;
  std::string stringForKey(const std::string& key) const;
  Array arrayForKey(const std::string& key) const;
  Dictionary dictionaryForKey(const std::string& key) const;
  Data dataForKey(const std::string& key) const;

  /// Colours are kept as archived data.
  std::shared_ptr<Color> colorForKey(const std::string& key) const;
  void setColor(const std::shared_ptr<Color>& color, const std::string& key);

  /// Writes the user's values; false (and a log line) when the file cannot be written.
  bool synchronize();
  /// Path of the user's file.
  const std::string& path() const { return m_path; }

  Value valueForUndefinedKey(std::string_view key) const override;
  void setValueForUndefinedKey(std::string_view key, const Value& value) override;

 private:
  std::string m_path;
  mutable std::mutex m_mutex;
  Dictionary m_registered;
  Dictionary m_user;
};

}  // namespace orb::platform
