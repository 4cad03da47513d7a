#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Value.h"

namespace orb::lens {
class Lens;
}

namespace orb::interchange {

/// One lens of a Zemax lens catalog: where its Zemax text lies in the catalog file and
/// what its "NAME" and "DBDT" lines say. The text is read again when the entry is used.
struct ZemaxLensCatalogEntry {
  std::string name;
  std::string identifier;
  double effectiveFocalLength = 0;
  double diameter = 0;
  std::string junk;  ///< the whole "DBDT" line of kind 1
  std::string fileName;
  std::int64_t fileOffset = 0;
  std::int64_t fileBytes = 0;

  /// The entry's Zemax text with line feeds for line ends; none when the file cannot be
  /// read or no longer holds the bytes the entry names.
  std::optional<std::string> catalogEntry() const;
  /// The sum of the thicknesses after the object surface (0 with fewer than two surfaces
  /// or text the Zemax reader, which never asks here, gives up on).
  double thickness() const;
  /// The entry's lens dictionary, read without questions; none when unreadable.
  std::optional<platform::Dictionary> lensDictionary() const;
};

/// Indexes a Zemax lens catalog: text lines, each entry from a "VERS" line to the next
/// (the last to the end of the file, whether or not a line end closes it); "NAME" and
/// "DBDT" lines fill the current entry. Text before the first "VERS" belongs to no
/// entry. None when the file cannot be opened; an empty list for an empty file.
std::optional<std::vector<ZemaxLensCatalogEntry>> indexZemaxLensCatalog(const std::string& path);

/// The preview of an entry as a lens: the entry read without its solves, its pupil made
/// 1.8 × the first semidiameter when it has none, an object at infinity followed by a
/// plane one pupil diameter behind it, and the image plane one pupil diameter behind the
/// last surface. Null (an empty preview) for text with fewer than two surfaces.
std::shared_ptr<lens::Lens> previewLensForZemaxCatalogEntry(const ZemaxLensCatalogEntry& entry);

}  // namespace orb::interchange
