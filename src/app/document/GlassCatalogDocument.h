#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/document/SmartDocument.h"

namespace orb::materials {
class Glass;
class GlassCatalog;
}  // namespace orb::materials

namespace orb::app {

/// A glass catalog of another program opened as a document of its own (a Zemax AGF file
/// or an OSLO glass catalog): its glasses in a searchable list, the selected glass's data
/// and coefficients, clones, removal of unused glasses and export as AGF text.
///
/// An AGF catalog saves back to its file as AGF text; an OSLO catalog is read only (its
/// glasses can be exported as AGF). Edits have no undo.
class AGFDocument : public SmartDocument {
 public:
  static constexpr const char* kZemaxGlassCatalogType = "ZEMAX glass catalog";
  static constexpr const char* kOsloGlassCatalogType = "OSLO glass catalog";
  /// The interface file of the document's window.
  static constexpr const char* kWindowNibName = "AGFDocument";

  AGFDocument();
  ~AGFDocument() override;

  /// The document type of a file name by its extension ("agf", "glc", any case); empty
  /// for anything else.
  static std::string typeOfFile(const std::string& path);
  /// Reads the catalog; false and a reason when the file cannot be read or holds no glass.
  bool readFromFile(const std::string& path, const std::string& type, std::string* error);

  const std::string& fileType() const { return m_type; }
  std::string displayName() const override;
  std::string documentPath() const override { return m_path; }
  std::string windowNibName() const { return kWindowNibName; }

  const std::shared_ptr<materials::GlassCatalog>& glassCatalog() const { return m_catalog; }
  void setGlassCatalog(std::shared_ptr<materials::GlassCatalog> catalog);
  std::size_t countOfGlassCatalog() const;
  std::shared_ptr<materials::Glass> objectInGlassCatalogAtIndex(std::size_t index) const;
  void insertObjectInGlassCatalogAtIndex(std::shared_ptr<materials::Glass> glass, std::size_t index);
  void removeObjectFromGlassCatalogAtIndex(std::size_t index);
  void replaceObjectInGlassCatalogAtIndex(std::size_t index, std::shared_ptr<materials::Glass> glass);
  std::string catalogComment() const;

  /// The glasses as an AGF catalog: the comment as a "CC" line, then one entry per glass,
  /// each under its own name (without the version the reader stamps on it). Glasses
  /// without AGF data (model and fitted glasses) cannot be written: their names go to
  /// `unwritable` and they are left out.
  std::string agfText(const std::vector<std::shared_ptr<materials::Glass>>& glasses,
                      std::vector<std::string>* unwritable = nullptr) const;
  /// Writes agfText of the glasses to `path`; false and a reason when some glass cannot
  /// be written (nothing is written then) or the file cannot be.
  bool exportGlasses(const std::vector<std::shared_ptr<materials::Glass>>& glasses, const std::string& path,
                     std::string* error) const;

  void makeWindowControllers() override;
  bool isDocumentEdited() const override { return m_edited; }
  void noteEdited() {
    m_edited = true;
    updateWindowsModifiedMark();
  }
  /// Writes the whole catalog to its AGF file; an OSLO catalog or a catalog with glasses
  /// that AGF cannot hold is refused with a message.
  bool saveDocument(QWidget* parent) override;
  /// saveDocument without questions or messages.
  bool writeToFile(const std::string& path, std::string* error);

  /// "showIndexPlotter": a new index plotter of this document's own, which finds glasses
  /// in this catalog.
  bool performAction(std::string_view action) override;
  bool validateAction(std::string_view action) const override;

 private:
  std::shared_ptr<materials::GlassCatalog> m_catalog;
  std::string m_path;
  std::string m_type;
  bool m_edited = false;
};

/// Glass catalog files (AGF, OSLO .glc) open as AGFDocuments from File > Open, the
/// command line and file drops; registers the window's interface file too.
void registerGlassCatalogDocument();

}  // namespace orb::app
