#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "interchange/PrescriptionReading.h"
#include "platform/Value.h"

namespace orb::interchange {

/// One lens of an OSLO lens catalog: where its prescription lies in the data file.
struct OsloLensCatalogEntry {
  std::int64_t datOffset = 0;
  std::int64_t datBytes = 0;
  int num = 0;
  std::string shortName;
  double effectiveFocalLength = 0;
  double diameter = 0;
  double centerThickness = 0;

  /// An entry from one entry-list line "offset,bytes,num,name,efl,diameter,thickness";
  /// fields that do not read keep their presets, as do those after them.
  static OsloLensCatalogEntry entryWithLine(std::string_view line);
  /// "offset = %ld, bytes = %ld".
  std::string description() const;
};

/// An OSLO lens catalog: the entry list the user opens, beside it a name file (".nam",
/// descriptions of lens families) and a data file (".dat", prescriptions whose lines are
/// separated by ";").
class OsloLensCatalog {
 public:
  /// Reads the entry list and, when present, the name file. False when the entry list
  /// cannot be opened. The counts in the files never make the reading run past them.
  bool readFromFile(const std::string& path);

  const std::string& catalogFileNamePrefix() const { return m_prefix; }
  const std::map<std::string, std::string>& nameDictionary() const { return m_names; }
  const std::vector<OsloLensCatalogEntry>& entryArray() const { return m_entries; }

  /// The description of a short name's family: its leading run of non-digits looked up
  /// in the name file; "" when absent.
  std::string elaborateOn(const std::string& shortName) const;
  /// The entry's prescription, one command a line, trimmed; "" when the data file is
  /// missing or does not hold the bytes the entry names.
  std::string lensSpecificationForCatalogEntry(const OsloLensCatalogEntry& entry) const;
  /// The entry's prescription read by the OSLO reader; none when there is none.
  std::optional<platform::Dictionary> lensDictionaryForCatalogEntry(const OsloLensCatalogEntry& entry,
                                                                    const PrescriptionReadOptions& options = {}) const;

 private:
  std::string m_prefix;
  std::map<std::string, std::string> m_names;
  std::vector<OsloLensCatalogEntry> m_entries;
};

}  // namespace orb::interchange
