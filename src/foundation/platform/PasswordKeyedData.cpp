#include "foundation/platform/PasswordKeyedData.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>
#include <string>

#include "platform/Exception.h"

namespace orb::foundation {

namespace {

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// The initialisation vector: all zero, part of the stored format.
constexpr std::array<std::uint8_t, 16> kIv{};

std::string libraryError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

[[noreturn]] void raiseCipherError(const char* step) {
  platform::Exception::raise("NSInternalInconsistencyException", "encryption failed at %s: %s", step,
                             libraryError().c_str());
}

/// Runs the cipher over the data; nothing when a step fails.
std::optional<platform::Data> run(const platform::Data& data, const CryptoKey& key, bool encrypt,
                                  const char** failedStep) {
  CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!context) {
    *failedStep = "creating the cipher context";
    return std::nullopt;
  }
  if (EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, key.data(), kIv.data(), encrypt ? 1 : 0) != 1) {
    *failedStep = "setting up AES-128-CBC";
    return std::nullopt;
  }
  // PKCS7 padding is the library's default; set it anyway, it is part of the format.
  EVP_CIPHER_CTX_set_padding(context.get(), 1);

  platform::Data out(data.size() + 16);
  int written = 0;
  if (data.size() > static_cast<std::size_t>(INT32_MAX - 16) ||
      EVP_CipherUpdate(context.get(), out.data(), &written, data.data(), static_cast<int>(data.size())) != 1) {
    *failedStep = "enciphering the data";
    return std::nullopt;
  }
  int last = 0;
  if (EVP_CipherFinal_ex(context.get(), out.data() + written, &last) != 1) {
    *failedStep = "finishing the last block";
    return std::nullopt;
  }
  out.resize(static_cast<std::size_t>(written + last));
  return out;
}

}  // namespace

CryptoKey orbellineCryptokeyWithPassword(std::string_view password) {
  CryptoKey key{};
  for (const char c : password)
    if (static_cast<unsigned char>(c) >= 0x80)
      platform::Exception::raise("NSInvalidArgumentException", "a password must be ASCII text");
  for (std::size_t i = 0; i < key.size() && i < password.size(); ++i) key[i] = static_cast<std::uint8_t>(password[i]);
  return key;
}

platform::Data orbellineDataEncryptedWithPassword(const platform::Data& data, std::string_view password) {
  const CryptoKey key = orbellineCryptokeyWithPassword(password);
  const char* failedStep = "";
  std::optional<platform::Data> out = run(data, key, true, &failedStep);
  if (!out) raiseCipherError(failedStep);
  return *std::move(out);
}

std::optional<platform::Data> orbellineDataDecryptedWithPassword(const platform::Data& data,
                                                                std::string_view password) {
  CryptoKey key;
  try {
    key = orbellineCryptokeyWithPassword(password);
  } catch (const platform::Exception&) {
    return std::nullopt;
  }
  const char* failedStep = "";
  std::optional<platform::Data> out = run(data, key, false, &failedStep);
  // A failed padding check leaves an entry in the library's per-thread error queue;
  // clear it so it cannot be blamed on a later, unrelated call.
  if (!out) ERR_clear_error();
  return out;
}

}  // namespace orb::foundation
