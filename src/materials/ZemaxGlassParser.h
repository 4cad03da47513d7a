#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "materials/GlassCatalog.h"
#include "materials/ZemaxGlass.h"

namespace orb::materials {

/// Reads AGF text, the line-oriented glass catalog format of Zemax, into a GlassCatalog
/// of ZemaxGlass objects. Each line is a two-letter command and white-space separated
/// fields: CC comment, NM name/formula/code/nd/Vd (starts a glass), GC, GV version,
/// ED expansion/density/deviation, CD coefficients, TD and OD (kept verbatim), LD
/// wavelength range, IT transmission. A line that can't be read is logged, with the
/// source and line number, and passed over; parsing goes on. A glass whose formula number
/// is none of the AGF laws is kept (its index then follows nd and Vd) and logged.
class ZemaxGlassParser {
 public:
  /// `source` names the text in messages (a file path, or empty).
  explicit ZemaxGlassParser(std::string source = {});

  /// Parses the lines in order; false when any line failed.
  bool parseStringArray(const std::vector<std::string>& lines);
  /// One line; false for an unknown command or a record whose fields can't be read
  /// (`why` says which).
  bool parseCommand(std::string_view line, std::string* why = nullptr);
  void doneParsing() {}
  /// Numbers the lines of text the parser is handed inside another file: the next line
  /// parsed is line `linesBefore` + 1.
  void setLinesBefore(int linesBefore) { m_line = linesBefore; }

  const std::shared_ptr<GlassCatalog>& glassCatalog() const { return m_catalog; }

 private:
  std::string m_source;
  std::shared_ptr<GlassCatalog> m_catalog;
  std::shared_ptr<ZemaxGlass> m_glass;  // the glass the last NM record made
  int m_line = 0;                       // of the line being parsed, counting from 1
};

}  // namespace orb::materials
