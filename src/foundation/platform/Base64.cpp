#include "foundation/platform/Base64.h"

namespace orb::foundation {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::string base64StringFromData(const platform::Data& data, std::int32_t /*length*/) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::size_t remaining = data.size() - i;
    const unsigned b0 = data[i];
    const unsigned b1 = remaining > 1 ? data[i + 1] : 0;
    const unsigned b2 = remaining > 2 ? data[i + 2] : 0;
    out.push_back(kAlphabet[b0 >> 2]);
    out.push_back(kAlphabet[((b0 << 4) | (b1 >> 4)) & 63]);
    out.push_back(remaining > 1 ? kAlphabet[((b1 << 2) | (b2 >> 6)) & 63] : '=');
    out.push_back(remaining > 2 ? kAlphabet[b2 & 63] : '=');
  }
  return out;
}

platform::Data dataFromBase64String(std::string_view text) {
  platform::Data out;
  out.reserve(text.size() / 4 * 3);
  unsigned q[4];
  int pending = 0;
  bool padded = false;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '=') {
      padded = true;
      break;
    }
    const int v = sextet(c);
    if (v < 0) continue;
    q[pending++] = static_cast<unsigned>(v);
    if (pending == 4) {
      out.push_back(static_cast<std::uint8_t>((q[0] << 2) | (q[1] >> 4)));
      out.push_back(static_cast<std::uint8_t>(((q[1] & 15) << 4) | (q[2] >> 2)));
      out.push_back(static_cast<std::uint8_t>((q[2] << 6) | q[3]));
      pending = 0;
    }
  }
  // Values left at the end without "=" are dropped, and so is a single value before it,
  // which holds no whole byte.
  if (padded && pending >= 2) out.push_back(static_cast<std::uint8_t>((q[0] << 2) | (q[1] >> 4)));
  if (padded && pending == 3) out.push_back(static_cast<std::uint8_t>(((q[1] & 15) << 4) | (q[2] >> 2)));
  return out;
}

}  // namespace orb::foundation
