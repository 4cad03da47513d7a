#include "interchange/LensDictionary.h"

#include "lens/Lens.h"

namespace orb::interchange {

const std::vector<std::string>& lensKeysForZemax() {
  static const std::vector<std::string> keys{
      "fieldType",            "systemName",          "unitCode",     "notes",
      "surfaceArray",         "fieldArray",          "waveArray",    "glassArray",
      "sourceDivergenceType", "sourceDivergenceValue", "useRayAiming", "preferredCatalogs"};
  return keys;
}

platform::Dictionary lensDictionaryFromLens(const lens::Lens& lens) {
  platform::Dictionary d;
  for (const auto& key : lensKeysForZemax()) d.set(key, lens.valueForKey(key));
  if (lens.countOfMulticonfigurationArray() > 0)
    d.set(lensdictionary::kMulticonfigurationArray, platform::Value(lens.multiconfigurationArray()));
  return d;
}

platform::Value lensDictionaryValue(const platform::Dictionary& dictionary, const char* key) {
  const platform::Value* v = dictionary.find(key);
  return v ? *v : platform::Value();
}

}  // namespace orb::interchange
