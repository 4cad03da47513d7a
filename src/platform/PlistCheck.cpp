// Checks run on property-list bytes before libplist sees them. libplist parses and frees
// recursively, parses a binary object again for every reference to it, and aborts on a
// string whose length disagrees with its first NUL; each of those turns a hostile file
// into a crash, so the file is refused here first.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Exception.h"
#include "platform/PlistNode.h"

namespace orb::platform::detail {

namespace {

class BinaryCheck {
 public:
  BinaryCheck(const Data& bytes, const std::string& what, const std::string& errorName)
      : m_b(bytes), m_what(what), m_errorName(errorName) {}

  void run() {
    constexpr std::size_t kHeader = 8, kTrailer = 32;
    if (m_b.size() < kHeader + kTrailer) damaged("it is truncated");
    const std::size_t t = m_b.size() - kTrailer;
    m_offsetSize = m_b[t + 6];
    m_refSize = m_b[t + 7];
    const std::uint64_t count = be(t + 8, 8), top = be(t + 16, 8), table = be(t + 24, 8);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8) damaged("its trailer is damaged");
    if (count == 0 || top >= count || table < kHeader || table > t || count > (t - table) / m_offsetSize)
      damaged("its object table is damaged");
    m_end = table;
    m_offsets.resize(count);
    for (std::uint64_t i = 0; i < count; ++i) {
      m_offsets[i] = be(table + i * m_offsetSize, m_offsetSize);
      if (m_offsets[i] < kHeader || m_offsets[i] >= m_end) damaged("an object lies outside the file");
    }
    walk(top);
  }

 private:
  [[noreturn]] void damaged(const std::string& why) const { throw Exception(m_errorName, m_what + " is damaged: " + why); }

  std::uint64_t be(std::size_t at, std::size_t n) const {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | m_b[at + i];
    return v;
  }

  struct Object {
    unsigned type = 0;
    std::size_t start = 0;   // first byte after the marker and length
    std::uint64_t length = 0;
  };

  Object object(std::uint64_t index) const {
    const std::size_t at = m_offsets[index];
    Object o;
    o.type = m_b[at] >> 4;
    o.length = m_b[at] & 0xF;
    o.start = at + 1;
    if (o.length == 0xF && (o.type == 0x4 || o.type == 0x5 || o.type == 0x6 || o.type == 0xA || o.type == 0xC ||
                            o.type == 0xD)) {
      if (o.start >= m_end || (m_b[o.start] >> 4) != 0x1) damaged("a length is damaged");
      const std::size_t n = std::size_t(1) << (m_b[o.start] & 0xF);
      if (n > 8 || o.start + 1 + n > m_end) damaged("a length is damaged");
      o.length = be(o.start + 1, n);
      o.start += 1 + n;
    }
    return o;
  }

  void children(const Object& o, std::vector<std::uint64_t>& out) const {
    out.clear();
    std::uint64_t refs = 0;
    if (o.type == 0xA || o.type == 0xC) refs = o.length;
    else if (o.type == 0xD) refs = 2 * o.length;
    if (refs == 0) return;
    if (o.length > m_end || refs > (m_end - o.start) / m_refSize) damaged("a collection runs past the object table");
    for (std::uint64_t i = 0; i < refs; ++i) {
      const std::uint64_t ref = be(o.start + i * m_refSize, m_refSize);
      if (ref >= m_offsets.size()) damaged("a reference points past the last object");
      out.push_back(ref);
    }
  }

  void checkString(const Object& o) const {
    if (o.type == 0x5) {
      if (o.length > m_end - o.start) damaged("a string runs past the object table");
      if (std::memchr(m_b.data() + o.start, 0, o.length)) damaged("a string holds a NUL character");
    } else if (o.type == 0x6) {
      if (o.length > (m_end - o.start) / 2) damaged("a string runs past the object table");
      for (std::uint64_t i = 0; i < o.length; ++i)
        if (m_b[o.start + 2 * i] == 0 && m_b[o.start + 2 * i + 1] == 0) damaged("a string holds a NUL character");
    }
  }

  // Depth and expanded size (every reference counted, as libplist builds its tree) of the
  // graph under `top`, in one post-order walk without recursion; a cycle is damage.
  void walk(std::uint64_t top) {
    enum : unsigned char { kNew, kOpen, kDone };
    std::vector<unsigned char> state(m_offsets.size(), kNew);
    std::vector<std::uint64_t> size(m_offsets.size(), 0);
    std::vector<std::uint32_t> depth(m_offsets.size(), 0);
    struct Frame {
      std::uint64_t index;
      std::vector<std::uint64_t> kids;
      std::size_t next;
    };
    std::vector<Frame> stack;
    auto enter = [&](std::uint64_t index) {
      if (stack.size() >= kMaxPlistNesting) damaged("it is nested too deeply");
      const Object o = object(index);
      checkString(o);
      Frame f{index, {}, 0};
      children(o, f.kids);
      state[index] = kOpen;
      stack.push_back(std::move(f));
    };
    enter(top);
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next < f.kids.size()) {
        const std::uint64_t kid = f.kids[f.next++];
        if (state[kid] == kOpen) damaged("a collection contains itself");
        if (state[kid] == kNew) enter(kid);
        continue;
      }
      std::uint64_t total = 1;
      std::uint32_t deepest = 0;
      for (std::uint64_t kid : f.kids) {
        total += size[kid];
        deepest = std::max(deepest, depth[kid]);
        if (total > kMaxPlistNodes) damaged("shared entries expand beyond what a property list may hold");
      }
      if (deepest + 1 > kMaxPlistNesting) damaged("it is nested too deeply");
      size[f.index] = total;
      depth[f.index] = deepest + 1;
      state[f.index] = kDone;
      stack.pop_back();
    }
  }

  const Data& m_b;
  const std::string& m_what;
  const std::string& m_errorName;
  std::size_t m_offsetSize = 1, m_refSize = 1;
  std::size_t m_end = 0;
  std::vector<std::size_t> m_offsets;
};

// Elements nest as deep as their open tags do; comments, declarations, processing
// instructions and CDATA sections do not count.
void checkXmlNesting(const Data& b, const std::string& what, const std::string& errorName) {
  auto from = [&](std::size_t at, const char* text) {
    const std::size_t n = std::strlen(text);
    for (std::size_t i = at; i + n <= b.size(); ++i)
      if (std::memcmp(b.data() + i, text, n) == 0) return i + n;
    return b.size();
  };
  std::size_t depth = 0;
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (b[i] != '<') continue;
    if (i + 1 >= b.size()) break;
    if (std::memcmp(b.data() + i, "<!--", std::min<std::size_t>(4, b.size() - i)) == 0) {
      i = from(i + 4, "-->") - 1;
    } else if (std::memcmp(b.data() + i, "<![CDATA[", std::min<std::size_t>(9, b.size() - i)) == 0) {
      i = from(i + 9, "]]>") - 1;
    } else if (b[i + 1] == '?' || b[i + 1] == '!') {
      i = from(i + 2, ">") - 1;
    } else if (b[i + 1] == '/') {
      if (depth > 0) --depth;
      i = from(i + 2, ">") - 1;
    } else {
      const std::size_t close = from(i + 1, ">");
      const bool empty = close >= 2 && close <= b.size() && b[close - 2] == '/';
      if (!empty && ++depth > kMaxPlistNesting) throw Exception(errorName, what + " is nested too deeply");
      i = close - 1;
    }
  }
}

}  // namespace

void checkBeforeParsing(const Data& bytes, const std::string& what, const std::string& errorName) {
  // libplist takes anything that starts with "bplist" for binary.
  if (bytes.size() >= 6 && std::memcmp(bytes.data(), "bplist", 6) == 0)
    BinaryCheck(bytes, what, errorName).run();
  else
    checkXmlNesting(bytes, what, errorName);
}

}  // namespace orb::platform::detail
