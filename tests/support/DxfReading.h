#pragma once

// A minimal DXF reader for tests: group-code/value pairs, sections, 3DFACE and 3DLINE
// entities, so drawings are checked by what they hold, not only by their text.

#include <array>
#include <charconv>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "foundation/objects/XYZ.h"

namespace orb::support {

using foundation::XYZ;

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

inline double number(const std::string& text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size())
    throw std::runtime_error("not a number: \"" + text + "\"");
  return value;
}

/// Reads the pairs back and checks the frame: sections open and close in turn, entities
/// sit only in ENTITIES and carry only layer, colour and corner groups, EOF comes last.
inline Drawing parseDxf(const std::string& text) {
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

}  // namespace orb::support
