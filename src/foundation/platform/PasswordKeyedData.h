#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/Value.h"

namespace orb::foundation {

// Data enciphered under a password: AES-128 in CBC mode with an all-zero initialisation
// vector and PKCS7 padding, keyed by the password's first 16 ASCII bytes, zero-padded.
// The system glass catalog is stored this way, so mode, IV, padding and key derivation
// are a file format: never change them.
//
// A zero IV makes equal plaintexts encipher equally under one password. That is accepted
// here: this keeps a shipped catalog from casual reading, it does not protect secrets.

/// An AES-128 key.
using CryptoKey = std::array<std::uint8_t, 16>;

/// The password's first 16 bytes, padded with zero bytes when shorter. Raises
/// "NSInvalidArgumentException" for a password that is not ASCII.
CryptoKey orbellineCryptokeyWithPassword(std::string_view password);

/// The data enciphered (always a whole number of 16-byte blocks, at least one). Raises
/// "NSInvalidArgumentException" for a non-ASCII password and
/// "NSInternalInconsistencyException" when the cipher library fails.
platform::Data orbellineDataEncryptedWithPassword(const platform::Data& data, std::string_view password);

/// The data deciphered; nothing when it cannot be (wrong length, a padding check that
/// fails, as a wrong password usually makes it, or a non-ASCII password). A wrong password
/// can also pass the padding check by chance and give other bytes: callers that must know
/// check what they decoded.
std::optional<platform::Data> orbellineDataDecryptedWithPassword(const platform::Data& data,
                                                                std::string_view password);

}  // namespace orb::foundation
