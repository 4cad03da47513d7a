#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace orb::foundation {

/// `arrayWithKeyKey` with "key" and "value": the rows a two-column key/value table shows.
platform::Array array(const platform::Dictionary& dictionary);

/// One new dictionary {keyKey: key, valueKey: value} per entry. When every key is a
/// string the rows are sorted by key without regard to ASCII case (ties keep insertion
/// order); otherwise they keep the dictionary's order.
platform::Array arrayWithKeyKey(const platform::Dictionary& dictionary, const std::string& keyKey,
                                const std::string& valueKey);

/// Turns a dictionary of parallel arrays into an array of dictionaries: entry i maps each
/// key to element i of its array. The count is that of the first key's array; a key whose
/// array is shorter is left out of the entries past its end. Nothing for an empty
/// dictionary. Raises "NSInvalidArgumentException" when a value is not an array.
std::optional<platform::Array> dictionaries(const platform::Dictionary& dictionary);

}  // namespace orb::foundation
