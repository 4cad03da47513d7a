#include "app/document/GlassCatalogDocument.h"

#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <exception>

#include "app/Messages.h"
#include "app/document/DocumentController.h"
#include "app/windows/GlassCatalogWindow.h"
#include "app/windows/IndexPlotter.h"
#include "materials/ArchiveClasses.h"
#include "materials/GlassCatalog.h"
#include "materials/ZemaxGlass.h"
#include "platform/AtomicFile.h"
#include "platform/Object.h"

namespace orb::app {

namespace {

bool fail(std::string* error, std::string reason) {
  if (error) *error = std::move(reason);
  return false;
}

std::string fileName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

/// The AGF entry of a catalog glass under its own name: the reader stamps the file name on
/// every glass as its version, which an entry would otherwise write as "name@version".
std::string entryUnderOwnName(const materials::ZemaxGlass& glass) {
  std::string entry = glass.agfEntry();
  if (const auto& version = glass.version(); version && !version->empty()) {
    const std::string stamped = "NM " + glass.name() + "@" + *version + " ";
    if (entry.rfind(stamped, 0) == 0) entry = "NM " + glass.name() + " " + entry.substr(stamped.size());
  }
  return entry;
}

}  // namespace

AGFDocument::AGFDocument() : m_catalog(materials::GlassCatalog::glassCatalog()) {}

AGFDocument::~AGFDocument() = default;

std::string AGFDocument::typeOfFile(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (extension == "agf") return kZemaxGlassCatalogType;
  if (extension == "glc") return kOsloGlassCatalogType;
  return {};
}

bool AGFDocument::readFromFile(const std::string& path, const std::string& type, std::string* error) {
  if (error) error->clear();
  std::string why;
  std::shared_ptr<materials::GlassCatalog> catalog;
  if (type == kZemaxGlassCatalogType)
    catalog = materials::GlassCatalog::glassCatalogWithContentsOfZemaxFile(path, &why);
  else if (type == kOsloGlassCatalogType)
    catalog = materials::GlassCatalog::glassCatalogWithContentsOfOsloFile(path, &why);
  else
    return fail(error, "Orbelline does not read this kind of file.");
  if (!catalog) return fail(error, why.empty() ? "The file could not be read." : why);
  // Any text reads as a catalog without glasses: that is not a glass catalog.
  if (catalog->count() == 0) return fail(error, "The file holds no glass that Orbelline can read.");
  m_catalog = std::move(catalog);
  m_path = path;
  m_type = type;
  m_edited = false;
  updateWindowsModifiedMark();
  return true;
}

std::string AGFDocument::displayName() const {
  return m_path.empty() ? SmartDocument::displayName() : fileName(m_path);
}

void AGFDocument::setGlassCatalog(std::shared_ptr<materials::GlassCatalog> catalog) {
  m_catalog = catalog ? std::move(catalog) : materials::GlassCatalog::glassCatalog();
}

std::size_t AGFDocument::countOfGlassCatalog() const { return m_catalog->count(); }

std::shared_ptr<materials::Glass> AGFDocument::objectInGlassCatalogAtIndex(std::size_t index) const {
  return m_catalog->objectAtIndex(index);
}

void AGFDocument::insertObjectInGlassCatalogAtIndex(std::shared_ptr<materials::Glass> glass, std::size_t index) {
  m_catalog->insertObject(std::move(glass), index);
  m_edited = true;
  updateWindowsModifiedMark();
}

void AGFDocument::removeObjectFromGlassCatalogAtIndex(std::size_t index) {
  m_catalog->removeObjectAtIndex(index);
  m_edited = true;
  updateWindowsModifiedMark();
}

void AGFDocument::replaceObjectInGlassCatalogAtIndex(std::size_t index, std::shared_ptr<materials::Glass> glass) {
  m_catalog->replaceObjectAtIndex(index, std::move(glass));
  m_edited = true;
  updateWindowsModifiedMark();
}

std::string AGFDocument::catalogComment() const { return m_catalog->catalogComment(); }

std::string AGFDocument::agfText(const std::vector<std::shared_ptr<materials::Glass>>& glasses,
                                 std::vector<std::string>* unwritable) const {
  std::string text;
  // Every comment line is a "CC" line: a bare line would not read as AGF.
  std::string comment = catalogComment();
  for (std::size_t start = 0; start < comment.size();) {
    auto end = comment.find('\n', start);
    if (end == std::string::npos) end = comment.size();
    text += "CC " + comment.substr(start, end - start) + "\n";
    start = end + 1;
  }
  for (const auto& glass : glasses) {
    const auto* zemax = dynamic_cast<const materials::ZemaxGlass*>(glass.get());
    if (!zemax) {
      if (unwritable && glass) unwritable->push_back(glass->name());
      continue;
    }
    text += entryUnderOwnName(*zemax);
  }
  return text;
}

bool AGFDocument::exportGlasses(const std::vector<std::shared_ptr<materials::Glass>>& glasses, const std::string& path,
                                std::string* error) const {
  std::vector<std::string> unwritable;
  const std::string text = agfText(glasses, &unwritable);
  if (!unwritable.empty()) {
    std::string names;
    for (const auto& name : unwritable) names += (names.empty() ? "" : ", ") + name;
    return fail(error, "These glasses have no catalog data that an AGF file can hold: " + names + ".");
  }
  try {
    platform::writeFileAtomically(path, std::string_view(text));
  } catch (const std::exception& e) {
    return fail(error, e.what());
  }
  return true;
}

bool AGFDocument::writeToFile(const std::string& path, std::string* error) {
  if (m_type == kOsloGlassCatalogType)
    return fail(error, "OSLO glass catalogs are read only; export the glasses as an AGF catalog instead.");
  if (!exportGlasses(m_catalog->glassArray(), path, error)) return false;
  m_path = path;
  m_type = kZemaxGlassCatalogType;
  m_edited = false;
  updateWindowsModifiedMark();
  return true;
}

bool AGFDocument::saveDocument(QWidget* parent) {
  if (m_path.empty()) {
    showMessage(parent, "The glass catalog has no file to be saved in.",
                "Export its glasses as an AGF catalog instead.");
    return false;
  }
  std::string error;
  if (!writeToFile(m_path, &error)) {
    showMessage(parent, "The glass catalog \u201c" + displayName() + "\u201d could not be saved.", error);
    return false;
  }
  return true;
}

void AGFDocument::makeWindowControllers() {
  auto self = std::static_pointer_cast<SmartDocument>(shared_from_this());
  new GlassCatalogWindowController(kWindowNibName, self);  // joins the document; lives with its window
}

bool AGFDocument::performAction(std::string_view action) {
  if (action == "showIndexPlotter") {
    showIndexPlotterForDocument(std::static_pointer_cast<SmartDocument>(shared_from_this()));
    return true;
  }
  return false;
}

bool AGFDocument::validateAction(std::string_view action) const { return action == "showIndexPlotter"; }

void registerGlassCatalogDocument() {
  // A catalog's glasses are archived when they are dragged out or copied.
  materials::registerArchiveClasses();
  registerGlassCatalogWindow();
  auto opener = [](const std::string& path, std::string* error) -> std::shared_ptr<SmartDocument> {
    auto document = platform::makeObject<AGFDocument>();
    if (!document->readFromFile(path, AGFDocument::typeOfFile(path), error)) return nullptr;
    return document;
  };
  DocumentController::shared().registerDocumentType({"agf", "glc"}, opener);
}

}  // namespace orb::app
