#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/objects/VKObject.h"
#include "materials/Glass.h"

namespace orb::materials {

/// An ordered, searchable list of glasses with a comment: the glasses of one catalog file,
/// of a glass library directory, of a document or of the system.
///
/// Setting a key that the catalog itself does not have (key-value coding) sets it on every
/// glass it holds; the readers stamp catalog name, type and version that way.
///
/// The readers never fail by crashing or by raising: a file that can't be read gives no
/// catalog and a message (in `why`, and in the log), and a line that can't be read is
/// logged with its file and line number and passed over, the rest being kept.
class GlassCatalog : public foundation::VKObject {
 public:
  using Glasses = std::vector<std::shared_ptr<Glass>>;

  static std::shared_ptr<GlassCatalog> glassCatalog();

  const Glasses& glassArray() const { return m_glasses; }
  const std::string& catalogComment() const { return m_catalogComment; }
  void setCatalogComment(std::string comment);

  std::size_t count() const { return m_glasses.size(); }
  /// Raises "NSRangeException" for an index beyond the end.
  const std::shared_ptr<Glass>& objectAtIndex(std::size_t index) const;
  void addObject(std::shared_ptr<Glass> glass);
  void insertObject(std::shared_ptr<Glass> glass, std::size_t index);
  void removeObjectAtIndex(std::size_t index);
  void removeLastObject();
  void replaceObjectAtIndex(std::size_t index, std::shared_ptr<Glass> glass);
  /// Appends every glass of `other`.
  void addGlassesFromCatalog(const GlassCatalog& other);

  /// The first glass, in catalog order, whose name equals `name` ignoring case; null
  /// when there is none.
  std::shared_ptr<Glass> lookupGlassWithName(std::string_view name) const;

  // --- Libraries --------------------------------------------------------------------------
  /// Read on first request from the directory the defaults name ("zemaxGlassLibraryPath",
  /// "osloGlassLibraryPath"), then kept until resetDefaultLibraries(); empty when the
  /// default is not set. Any thread.
  static std::shared_ptr<GlassCatalog> defaultZemaxGlassLibrary();
  static std::shared_ptr<GlassCatalog> defaultOsloGlassLibrary();
  /// Forgets the default Zemax, OSLO and gradient dispersion libraries, so that the next
  /// request reads the directories the defaults name then (a reload of the system catalog
  /// after the user chose another folder). Libraries already handed out stay as they were.
  /// Any thread.
  static void resetDefaultLibraries();
  /// Every "*.agf" file of the directory, then every "*.AGF" one, each in name order.
  static std::shared_ptr<GlassCatalog> zemaxGlassLibraryWithPath(const std::string& directory);
  /// Every "*.glc" file, then every "*.GLC" one.
  static std::shared_ptr<GlassCatalog> osloGlassLibraryWithPath(const std::string& directory);

  // --- Readers ------------------------------------------------------------------------------
  /// AGF text, plain or UTF-16 with a byte-order mark. Stamps catalog name (file name
  /// without extension, upper-cased), type "ZEMAX" and version (file name, upper-cased).
  static std::shared_ptr<GlassCatalog> glassCatalogWithContentsOfZemaxFile(const std::string& path,
                                                                          std::string* why = nullptr);
  /// AGF text that did not come from a file: its glasses keep the versions it gives them.
  static std::shared_ptr<GlassCatalog> glassCatalogWithZemaxString(std::string_view text,
                                                                    const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithZemaxStringArray(const std::vector<std::string>& lines,
                                                                         const std::string& source = {});

  /// An OSLO catalog: a title line, then one glass per line. Type "OSLO".
  static std::shared_ptr<GlassCatalog> glassCatalogWithContentsOfOsloFile(const std::string& path,
                                                                         std::string* why = nullptr);
  static std::shared_ptr<GlassCatalog> glassCatalogWithOsloStringArray(const std::vector<std::string>& lines,
                                                                        const std::string& source = {});

  // The glass makers' tables; type "CSV" and a version naming the table layout.
  static std::shared_ptr<GlassCatalog> glassCatalogWithSumitaCSVFile(const std::string& path, std::string* why = nullptr);
  static std::shared_ptr<GlassCatalog> glassCatalogWithSumitaCSVString(std::string_view text, const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithSumitaCSVStringArray(const std::vector<std::string>& lines,
                                                                            const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithSchottCSVFile(const std::string& path, std::string* why = nullptr);
  static std::shared_ptr<GlassCatalog> glassCatalogWithSchottCSVString(std::string_view text, const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithSchottCSVStringArray(const std::vector<std::string>& lines,
                                                                            const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithHoyaCSVFile(const std::string& path, std::string* why = nullptr);
  static std::shared_ptr<GlassCatalog> glassCatalogWithHoyaCSVString(std::string_view text, const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithHoyaCSVStringArray(const std::vector<std::string>& lines,
                                                                          const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithHikariCSVFile(const std::string& path, std::string* why = nullptr);
  static std::shared_ptr<GlassCatalog> glassCatalogWithHikariCSVString(std::string_view text, const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithHikariCSVStringArray(const std::vector<std::string>& lines,
                                                                            const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithOharaASCFile(const std::string& path, std::string* why = nullptr);
  static std::shared_ptr<GlassCatalog> glassCatalogWithOharaASCString(std::string_view text, const std::string& source = {});
  static std::shared_ptr<GlassCatalog> glassCatalogWithOharaASCStringArray(const std::vector<std::string>& lines,
                                                                           const std::string& source = {});

  // Gradient-index dispersions (GrinDispersion entries); implemented in GrinDispersionLibrary.cpp.
  /// Every file of the directory named exactly "SGRIN.DAT", each read as below.
  static std::shared_ptr<GlassCatalog> zemaxGradientDispersionLibraryWithPath(const std::string& directory);
  /// The library of the "zemaxGlassLibraryPath" directory, kept as the default libraries
  /// above are (and defined beside them, in GlassCatalog.cpp).
  static std::shared_ptr<GlassCatalog> defaultZemaxGradientDispersionLibrary();
  /// The entries of a gradient dispersion library file, each with the upper-cased file
  /// name as version. A malformed entry is logged (file, line, entry) and passed over;
  /// reading ends at the end of the text or where no entry name can be read.
  static std::shared_ptr<GlassCatalog> glassCatalogWithContentsOfZemaxGradientDispersionFile(const std::string& path,
                                                                                             std::string* why = nullptr);
  static std::shared_ptr<GlassCatalog> glassCatalogWithZemaxGradientDispersionString(std::string_view text,
                                                                                      const std::string& source = {});

  /// Stamps every ZemaxGlass of the catalog with catalog name, type and version.
  void stamp(const std::optional<std::string>& catalogName, const std::optional<std::string>& catalogType,
             const std::optional<std::string>& version);

  void setValueForUndefinedKey(std::string_view key, const platform::Value& value) override;
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;
  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 private:
  void checkIndex(std::size_t index, std::size_t limit) const;

  Glasses m_glasses;
  std::string m_catalogComment;
};

}  // namespace orb::materials
