#include "interchange/DxfWriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <clocale>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/objects/TransformStack.h"

namespace orb::interchange {
namespace {

namespace fs = std::filesystem;
using foundation::XYZ;

// --- A minimal DXF reader: group-code/value pairs, sections, 3DFACE and 3DLINE entities ---

struct Entity {
  std::string type;
  int layer = -1;
  int color = -1;
  std::array<XYZ, 4> corners{};

  std::vector<XYZ> points() const {
    return {corners.begin(), corners.begin() + (type == "3DLINE" ? 2 : 4)};
  }
};

struct Drawing {
  std::vector<std::string> sections;  // in file order, each closed by ENDSEC
  std::vector<std::string> comments;
  std::vector<Entity> entities;
  XYZ extMin{}, extMax{};
};

double number(const std::string& text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size())
    throw std::runtime_error("not a number: \"" + text + "\"");
  return value;
}

/// Reads the pairs back and checks the frame: sections open and close in turn, entities
/// sit only in ENTITIES and carry only layer, colour and corner groups, EOF comes last.
Drawing parseDxf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::pair<int, std::string>> pairs;
  std::string code, value;
  while (std::getline(in, code)) {
    if (!std::getline(in, value)) throw std::runtime_error("group code " + code + " without a value");
    pairs.emplace_back(static_cast<int>(number(code)), value);
  }
  Drawing d;
  std::string section;  // empty outside a section
  std::string variable;
  Entity* entity = nullptr;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const auto& [c, v] = pairs[i];
    if (c == 999) {
      d.comments.push_back(v);
    } else if (c == 0 && v == "SECTION") {
      if (!section.empty()) throw std::runtime_error("section inside " + section);
      if (++i == pairs.size() || pairs[i].first != 2) throw std::runtime_error("section without a name");
      section = pairs[i].second;
      d.sections.push_back(section);
      entity = nullptr;
    } else if (c == 0 && v == "ENDSEC") {
      if (section.empty()) throw std::runtime_error("ENDSEC outside a section");
      section.clear();
      entity = nullptr;
    } else if (c == 0 && v == "EOF") {
      if (!section.empty() || i + 1 != pairs.size()) throw std::runtime_error("EOF not at the end");
      return d;
    } else if (section.empty()) {
      throw std::runtime_error("group outside a section");
    } else if (section == "ENTITIES") {
      if (c == 0) {
        if (v != "3DFACE" && v != "3DLINE") throw std::runtime_error("unexpected entity " + v);
        d.entities.push_back({v});
        entity = &d.entities.back();
      } else if (!entity) {
        throw std::runtime_error("group before any entity");
      } else if (c == 8) {
        entity->layer = static_cast<int>(number(v));
      } else if (c == 62) {
        entity->color = static_cast<int>(number(v));
      } else if (c >= 10 && c <= 33 && c % 10 <= 3) {
        XYZ& p = entity->corners[c % 10];
        (c < 20 ? p.x : c < 30 ? p.y : p.z) = number(v);
      } else {
        throw std::runtime_error("unexpected group " + std::to_string(c) + " in " + entity->type);
      }
    } else if (section == "HEADER") {
      if (c == 9) variable = v;
      XYZ* p = variable == "$EXTMIN" ? &d.extMin : variable == "$EXTMAX" ? &d.extMax : nullptr;
      if (p && c >= 10 && c <= 30 && c % 10 == 0) (c == 10 ? p->x : c == 20 ? p->y : p->z) = number(v);
    }
  }
  throw std::runtime_error("no EOF");
}

// --- Helpers ---

struct Primitive {
  int mode;
  std::vector<XYZ> vertices;
};

std::string drawingOf(const std::vector<Primitive>& primitives) {
  std::ostringstream out;
  DxfWriter w(out);
  w.writeHeader();
  for (const auto& p : primitives) {
    w.dxfBegin(p.mode);
    for (const auto& v : p.vertices) w.dxfVertex(v.x, v.y, v.z);
    w.dxfEnd();
  }
  w.writeTrailer();
  return out.str();
}

/// A fresh directory, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    static int count = 0;
    m_path = fs::temp_directory_path() / ("orb-dxf-" + std::to_string(::getpid()) + "-" + std::to_string(count++));
    fs::remove_all(m_path);
    fs::create_directories(m_path);
  }
  ~TempDir() { fs::remove_all(m_path); }
  const fs::path& path() const { return m_path; }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(m_path)) out.push_back(e.path().filename().string());
    return out;
  }

 private:
  fs::path m_path;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void drawTriangles(DxfWriter& w, int count) {
  w.writeHeader();
  for (int i = 0; i < count; ++i) {
    const double t[9] = {0, 0, double(i), 1, 0, double(i), 0, 1, double(i)};
    w.dxfBegin(4);
    for (int k = 0; k < 9; k += 3) w.dxfVertex(t[k], t[k + 1], t[k + 2]);
    w.dxfEnd();
  }
  w.writeTrailer();
}

// --- Tests ---

// Under a decimal-comma locale too: printf-style formatting would write "-1,500000".
TEST(DxfWriter, EmptyDrawingHasTheFullFrame) {
  const std::string expected =
      "999\nFile generated by Orbelline\n"
      "0\nSECTION\n2\nHEADER\n"
      "9\n$ACADVER\n1\nAC1006\n"
      "9\n$INSBASE\n10\n0.0\n20\n0.0\n30\n0.0\n"
      "9\n$EXTMIN\n10\n-1.500000\n20\n0.000000\n30\n-0.000001\n"
      "9\n$EXTMAX\n10\n2.250000\n20\n1000.000000\n30\n7.000000\n"
      "0\nENDSEC\n"
      "0\nSECTION\n2\nTABLES\n"
      "0\nTABLE\n2\nLTYPE\n70\n1\n0\nLTYPE\n2\nCONTINUOUS\n70\n64\n3\nSolid line\n72\n65\n73\n0\n40\n0.000000\n"
      "0\nENDTAB\n"
      "0\nTABLE\n2\nLAYER\n70\n6\n"
      "0\nLAYER\n2\n1\n70\n64\n62\n7\n6\nCONTINUOUS\n"
      "0\nLAYER\n2\n2\n70\n64\n62\n7\n6\nCONTINUOUS\n"
      "0\nENDTAB\n"
      "0\nTABLE\n2\nSTYLE\n70\n0\n0\nENDTAB\n"
      "0\nENDSEC\n"
      "0\nSECTION\n2\nBLOCKS\n0\nENDSEC\n"
      "0\nSECTION\n2\nENTITIES\n"
      "999\nrays\n"
      "0\nENDSEC\n0\nEOF\n";
  for (const char* localeName : {"C", "de_DE.UTF-8"}) {
    SCOPED_TRACE(localeName);
    const std::string previousC = std::setlocale(LC_ALL, nullptr);
    const std::locale previous = std::locale::global(std::locale::classic());
    if (std::string(localeName) != "C") {
      if (!std::setlocale(LC_ALL, localeName)) {
        std::locale::global(previous);
        GTEST_SKIP() << localeName << " is not installed";
      }
      std::locale::global(std::locale(localeName));
    }
    std::ostringstream out;
    DxfWriter w(out);
    w.setExtents(-1.5, 2.25, 0, 1000, -0.000001, 7);
    w.writeHeader();
    w.comment("rays");
    w.writeTrailer();
    std::locale::global(previous);
    std::setlocale(LC_ALL, previousC.c_str());

    EXPECT_EQ(out.str(), expected);
    EXPECT_TRUE(w.good());
    const Drawing d = parseDxf(out.str());
    EXPECT_EQ(d.sections, (std::vector<std::string>{"HEADER", "TABLES", "BLOCKS", "ENTITIES"}));
    EXPECT_EQ(d.comments, (std::vector<std::string>{"File generated by Orbelline", "rays"}));
    EXPECT_TRUE(d.entities.empty());
    EXPECT_EQ(d.extMin, (XYZ{-1.5, 0, -0.000001}));
    EXPECT_EQ(d.extMax, (XYZ{2.25, 1000, 7}));
  }
}

TEST(DxfWriter, PrimitivesBecomeEntities) {
  const XYZ a{1, 2, 3}, b{4, 5, 6}, c{7, 8, 9}, e{-1, -2, -3}, f{0.5, 0.25, 0.125};
  struct Case {
    const char* name;
    std::vector<Primitive> input;
    std::vector<Entity> expected;
  };
  const std::vector<Case> cases = {
      {"lines-pair-up-third-dropped", {{1, {a, b, c}}}, {{"3DLINE", 0, 3, {a, b}}}},
      {"pending-point-does-not-survive-end", {{1, {a, b, c}}, {1, {e, f}}}, {{"3DLINE", 0, 3, {a, b}}, {"3DLINE", 0, 3, {e, f}}}},
      {"strip-not-closed",
       {{3, {a, b, c, e, f}}},
       {{"3DLINE", 0, 3, {a, b}}, {"3DLINE", 0, 3, {b, c}}, {"3DLINE", 0, 3, {c, e}}, {"3DLINE", 0, 3, {e, f}}}},
      {"triangle-repeats-third-corner", {{4, {a, b, c}}}, {{"3DFACE", 0, 3, {a, b, c, c}}}},
      {"two-triangles-leftover-dropped", {{4, {a, b, c, e, f, a, b}}},
       {{"3DFACE", 0, 3, {a, b, c, c}}, {"3DFACE", 0, 3, {e, f, a, a}}}},
      {"quad-fifth-point-dropped", {{7, {a, b, c, e, f}}}, {{"3DFACE", 0, 3, {a, b, c, e}}}},
      {"short-face-dropped", {{7, {a, b, c}}, {4, {a, b}}}, {}},
      {"unknown-mode-ignored", {{2, {a, b, c, e}}, {0, {a, b}}}, {}},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    const Drawing d = parseDxf(drawingOf(cs.input));
    ASSERT_EQ(d.entities.size(), cs.expected.size());
    for (std::size_t i = 0; i < d.entities.size(); ++i) {
      EXPECT_EQ(d.entities[i].type, cs.expected[i].type);
      EXPECT_EQ(d.entities[i].layer, 0);
      EXPECT_EQ(d.entities[i].color, 3);
      EXPECT_EQ(d.entities[i].points(), cs.expected[i].points());
    }
  }
}

TEST(DxfWriter, EntityTextIsExact) {
  const std::string text = drawingOf({{1, {{1, -2, 0.0000004}, {1e6, 0.5, -0.0000006}}}});
  const std::string line =
      "0\n3DLINE\n8\n0\n62\n3\n"
      "10\n1.000000\n20\n-2.000000\n30\n0.000000\n"
      "11\n1000000.000000\n21\n0.500000\n31\n-0.000001\n";
  EXPECT_NE(text.find("0\nSECTION\n2\nENTITIES\n" + line + "0\nENDSEC\n0\nEOF\n"), std::string::npos) << text;
}

// Besides the named entries, by hand: (0.5, 0, 0) is hue 0° at value 0.5 (16);
// (1, 0.5, 0.5) hue 0° at saturation 0.5 (11); (0, 0, 0.5) hue 240° at value 0.5 (176);
// (1, 0.25, 0) hue 15° (20); (0.9, 0.9, 0.9) is nearest the grey 214 (254), at squared
// distance 0.0111 against 0.03 for white. Red and white tie with 10 and 255: the lower wins.
TEST(DxfWriter, ColorNumbersAreNearestPaletteEntries) {
  struct Case {
    const char* name;
    double r, g, b;
    int expected;
  };
  const std::vector<Case> cases = {
      {"red", 1, 0, 0, 1},         {"white", 1, 1, 1, 7},          {"black", 0, 0, 0, 18},
      {"dark-red", 0.5, 0, 0, 16}, {"pale-red", 1, 0.5, 0.5, 11},  {"dark-blue", 0, 0, 0.5, 176},
      {"orange", 1, 0.25, 0, 20},  {"light-grey", 0.9, 0.9, 0.9, 254},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DxfWriter::colorNumber(c.r, c.g, c.b), c.expected);
  }
}

TEST(DxfWriter, ColorIsPerWriterAndCarriedByEntities) {
  std::ostringstream out;
  DxfWriter first(out);
  EXPECT_EQ(first.colorNumberInUse(), 3);
  first.writeHeader();
  first.writeLine({0, 0, 0}, {1, 0, 0});
  first.setColorRGB(0, 0, 1);
  first.writeLine({0, 0, 0}, {0, 1, 0});
  first.writeTrailer();
  const Drawing d = parseDxf(out.str());
  ASSERT_EQ(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[0].color, 3);
  EXPECT_EQ(d.entities[1].color, 5);

  std::ostringstream other;
  EXPECT_EQ(DxfWriter(other).colorNumberInUse(), 3);
}

// Translating by (10, 20, 30) after a 90° turn about z, which takes (1, 0, 0) to (0, -1, 0).
TEST(DxfWriter, TransformMapsVerticesAsPoints) {
  foundation::TransformStack empty;
  foundation::TransformStack moved;
  foundation::xformPush(moved);
  foundation::xformTranslate(moved, {10, 20, 30});
  foundation::xformRotateZ(moved, 90);
  struct Case {
    const char* name;
    foundation::TransformStack* stack;
    XYZ expected;
  };
  const std::vector<Case> cases = {
      {"none", nullptr, {1, 0, 0}}, {"empty", &empty, {1, 0, 0}}, {"turned-and-moved", &moved, {10, 19, 30}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    DxfWriter w(out);
    w.setTransform(c.stack);
    w.writeHeader();
    w.dxfBegin(1);
    w.dxfVertex(1, 0, 0);
    w.dxfVertex(1, 0, 0);
    w.dxfEnd();
    w.writeTrailer();
    const Drawing d = parseDxf(out.str());
    ASSERT_EQ(d.entities.size(), 1u);
    EXPECT_EQ(d.entities[0].points(), (std::vector<XYZ>{c.expected, c.expected}));
  }
}

TEST(DxfWriter, FailedWritesAreReported) {
  {
    std::ofstream full("/dev/full");
    ASSERT_TRUE(full.is_open());
    DxfWriter w(full);
    drawTriangles(w, 3);
    EXPECT_FALSE(w.good());
    full.clear();
    EXPECT_FALSE(w.good()) << "a failure must not be forgotten when the stream is cleared";
  }
  {
    std::ofstream closed;
    DxfWriter w(closed);
    w.writeHeader();
    EXPECT_FALSE(w.good());
  }
}

TEST(DxfWriter, AtomicWriteReadsBack) {
  TempDir dir;
  const fs::path path = dir.path() / "layout.dxf";
  std::string error;
  ASSERT_TRUE(writeDxfFileAtomically(path.string(), [](DxfWriter& w) { drawTriangles(w, 2); }, &error)) << error;
  const Drawing d = parseDxf(readFile(path));
  ASSERT_EQ(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[1].points(), (std::vector<XYZ>{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {0, 1, 1}}));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"layout.dxf"});
}

TEST(DxfWriter, AtomicWriteFailuresLeaveNoFile) {
  TempDir dir;
  const fs::path blocker = dir.path() / "plain-file";
  std::ofstream(blocker) << "not a directory";
  struct Case {
    const char* name;
    std::string path;
    std::function<void(DxfWriter&)> draw;
  };
  const std::vector<Case> cases = {
      {"directory-is-a-file", (blocker / "sub" / "x.dxf").string(), [](DxfWriter& w) { drawTriangles(w, 1); }},
      {"device-not-a-file", "/dev/full", [](DxfWriter& w) { drawTriangles(w, 1); }},
      {"drawing-throws", (dir.path() / "x.dxf").string(),
       [](DxfWriter& w) {
         w.writeHeader();
         throw std::runtime_error("surface could not be drawn");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(writeDxfFileAtomically(c.path, c.draw, &error));
    EXPECT_NE(error.find(c.path), std::string::npos) << error;
    EXPECT_EQ(readFile(blocker), "not a directory");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"plain-file"});
  }
}

// A file size limit makes the system refuse the write part-way, as a full disk would; the
// old file stays as it was and no temporary file is left beside it.
TEST(DxfWriter, AtomicWriteKeepsTheOldFileWhenTheDiskFills) {
  TempDir dir;
  const fs::path path = dir.path() / "layout.dxf";
  std::ofstream(path) << "old drawing";
  struct rlimit previous;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  struct rlimit limited = previous;
  limited.rlim_cur = 1024;
  auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string error;
  const bool written = writeDxfFileAtomically(path.string(), [](DxfWriter& w) { drawTriangles(w, 50); }, &error);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_NE(error.find(path.string()), std::string::npos) << error;
  EXPECT_EQ(readFile(path), "old drawing");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"layout.dxf"});
}

}  // namespace
}  // namespace orb::interchange
