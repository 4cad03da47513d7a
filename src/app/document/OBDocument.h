#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/LensRoles.h"
#include "app/document/DocumentController.h"
#include "app/document/SmartDocument.h"
#include "lens/LensDelegate.h"
#include "platform/Value.h"

namespace orb::lens {
class Lens;
}
namespace orb::interchange {
struct ZemaxTrouble;
enum class ZemaxTroubleAnswer;
}

namespace orb::app {

class SmartWindowController;

/// The lens document: owns one Lens and is its delegate, with the document's merit
/// functions, the optimiser's scale memory and the window records read from a file. It
/// reads Zemax lens files and its own keyed archive ("Orbelline file"), writes both, and
/// hands its lens to the analysis windows as their lens provider. Main thread only.
///
/// Reading either gives a whole document or fails with a reason: a file that cannot be
/// decoded or applied never leaves an empty document under the file's name, where Save
/// would overwrite the user's file.
class OBDocument : public SmartDocument, public analysis::LensProvider, public lens::LensDelegate {
 public:
  static constexpr const char* kNativeType = "Orbelline file";
  static constexpr const char* kZemaxType = "ZEMAX lens file";
  static constexpr const char* kNativeExtension = "orb";

  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "OBDocument"; }

  /// A document with a new empty lens (use platform::makeObject, then init()).
  OBDocument();
  ~OBDocument() override;
  /// Makes the document the delegate of its lens (needs the shared owner).
  void init();

  /// The document type of a file: by extension, then by content (a keyed archive is a
  /// property list); empty when neither tells.
  static std::string typeOfFile(const std::string& path);

  // --- reading and writing ----------------------------------------------------------------
  /// Reads the file as the given type; false and a reason when it can't. On failure the
  /// document's lens is left as it was.
  bool readFromFile(const std::string& path, const std::string& type, std::string* error);
  bool readFromPlainText(const std::string& text, std::string* error) override;
  /// Writes the document (temporary file, then renamed over the old one): the old file
  /// stays whole on failure.
  bool writeToFile(const std::string& path, const std::string& type, std::string* error);
  /// The native archive's root dictionary.
  platform::Dictionary nativeRootDictionary() const;

  /// The question asked at each Zemax line the reader cannot take (a window-modal
  /// "Trouble at file line %d" box by default; tests replace it). Empty restores it.
  using ZemaxTroubleAsker = std::function<interchange::ZemaxTroubleAnswer(const interchange::ZemaxTrouble&)>;
  static void setZemaxTroubleAsker(ZemaxTroubleAsker asker);

  // --- the document ---------------------------------------------------------------------
  const std::string& filePath() const { return m_filePath; }
  void setFilePath(std::string path) { m_filePath = std::move(path); }
  std::string displayName() const override;
  bool isDocumentEdited() const { return m_changeCount != 0; }
  void updateChangeCount() override { ++m_changeCount; }
  void clearChangeCount() { m_changeCount = 0; }

  // --- the lens ---------------------------------------------------------------------------
  analysis::LensPtr lens() const override { return m_lens; }
  void setLens(std::shared_ptr<lens::Lens> lens);
  platform::Dictionary lensKeyPathUpdateDictionary() const override { return m_lensKeyPathUpdateDictionary; }
  void setLensKeyPathUpdateDictionary(const platform::Dictionary& renames) override;
  /// Posts "lensIsReadyNotification" (sender: the document's reference); the first time
  /// the edit count is cleared.
  void lensIsReady() override;
  const platform::Dictionary& scaleMemory() const { return m_scaleMemory; }
  void setScaleMemory(platform::Dictionary memory) { m_scaleMemory = std::move(memory); }
  const platform::Array& meritFunctionArray() const { return m_meritFunctionArray; }
  const platform::Array& windowRestorationDictionaries() const { return m_windowRestorationDictionaries; }
  void setWindowRestorationDictionaries(platform::Array records) { m_windowRestorationDictionaries = std::move(records); }

  /// Rainbow colours for fields, waves, surfaces and the lens's glasses.
  static void colorizeLens(lens::Lens& lens);
  /// The example lens: a Cooke triplet from its paraxial specification.
  static std::shared_ptr<lens::Lens> tripletTestLens();

  // --- windows ----------------------------------------------------------------------------
  void makeWindowControllers() override;
  void close() override;
  /// The window actions ("makeSpotDiagram", "showLensDataEditor", …): true for every
  /// action of the table, those whose window does not exist yet saying so.
  bool performAction(std::string_view action) override;
  /// Always a new window of that interface file.
  SmartWindowController* showWindowWithNibName(const std::string& nibName, const std::string& controllerClass);
  /// The open window of that interface file brought front, or a new one.
  SmartWindowController* showUniqueWindowWithNibName(const std::string& nibName, const std::string& controllerClass);
  SmartWindowController* existingWindowControllerForWindowNibName(const std::string& nibName) const;
  /// One restoration record per open window, for saving.
  platform::Array presentWindowRestorationDictionaries() const;

  /// The names of the window actions, in menu order.
  static const std::vector<std::string>& actionNames();

 private:
  bool readZemaxFile(const std::string& path, std::string* error);
  bool readNativeFile(const std::string& path, std::string* error);
  bool applyNativeRoot(const platform::Value& root, std::string* error);
  /// Applies a lens dictionary to a new lens that becomes the document's on success.
  bool takeLensFromDictionary(const platform::Dictionary& lensDictionary, std::string* error);
  void makeWindowsWithRestorationDictionaries(const platform::Array& records);
  QWidget* dialogParent() const;

  std::shared_ptr<lens::Lens> m_lens;
  platform::Array m_meritFunctionArray;
  platform::Dictionary m_scaleMemory;
  platform::Array m_windowRestorationDictionaries;
  platform::Value m_printInfo;
  platform::Dictionary m_lensKeyPathUpdateDictionary;
  std::string m_filePath;
  int m_changeCount = 0;
  bool m_undoIsLive = false;
};

/// Opens lens documents for the application (Open…, the command line, the clipboard).
class OBDocumentFactory : public DocumentFactory {
 public:
  std::shared_ptr<SmartDocument> openDocument(const std::string& path, std::string* error) override;
  std::shared_ptr<SmartDocument> makeUntitledDocument() override;
};

/// The start-up of the lens document: archive classes, the system regeneration, the
/// plot series reader, the interface files and the document factory. Idempotent.
void registerLensDocument();

}  // namespace orb::app
