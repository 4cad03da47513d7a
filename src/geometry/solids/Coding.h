#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "geometry/values/R3Point.h"
#include "platform/Coder.h"
#include "platform/Exception.h"

namespace orb::geometry::coding {

// Keyed coding shared by the solid-geometry classes. Points have no coding of their own, so
// an object writes each of its points as the array of its three doubles under the point's
// key (nothing for a null point).

inline void requireKeyedArchiver(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    throw platform::Exception("NSInvalidArchiveOperationException", "Require NSKeyedArchiver");
}

inline void encodePoint(platform::Coder& coder, std::string_view key, const std::shared_ptr<R3Point>& p) {
  if (p) coder.encodeObject(key, p->xyzArray());
}

/// Null when absent; raises when the key holds anything but three numbers.
inline std::shared_ptr<R3Point> decodePoint(const platform::Coder& coder, std::string_view key) {
  const platform::Value v = coder.decodeObject(key);
  if (v.isNil()) return nullptr;
  if (!v.isArray() || v.asArray().size() != 3)
    throw platform::Exception("NSInvalidArchiveOperationException", "point for key " + std::string(key) + " is not three numbers");
  const auto& a = v.asArray();
  for (const auto& x : a)
    if (!x.isNumber())
      throw platform::Exception("NSInvalidArchiveOperationException", "point for key " + std::string(key) + " is not three numbers");
  return R3Point::pointWithDoubles(a[0].asDouble(), a[1].asDouble(), a[2].asDouble());
}

}  // namespace orb::geometry::coding
