#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orb::app {

class SmartDocument;

/// Makes documents of the kinds the application reads. The lens document installs one;
/// until then the application reports that documents are not available.
class DocumentFactory {
 public:
  virtual ~DocumentFactory() = default;
  /// Opens the file as a document (not yet shown); null and a reason when it can't.
  virtual std::shared_ptr<SmartDocument> openDocument(const std::string& path, std::string* error) = 0;
  /// A new untitled document, not yet shown; null when none can be made.
  virtual std::shared_ptr<SmartDocument> makeUntitledDocument() = 0;
};

/// Opens a file as a document of its own kind (not yet shown); null and a reason when it can't.
using DocumentOpener = std::function<std::shared_ptr<SmartDocument>(const std::string& path, std::string* error)>;

/// The application's open documents. Documents join when opened and leave when closed;
/// the start window shows while there are none. Main thread only.
class DocumentController : public QObject {
  Q_OBJECT
 public:
  static DocumentController& shared();

  void addDocument(std::shared_ptr<SmartDocument> document);
  void removeDocument(const std::shared_ptr<SmartDocument>& document);
  const std::vector<std::shared_ptr<SmartDocument>>& documents() const { return m_documents; }

  DocumentFactory* documentFactory() const { return m_factory.get(); }
  void setDocumentFactory(std::unique_ptr<DocumentFactory> factory) { m_factory = std::move(factory); }

  /// Files with one of `extensions` (compared ignoring case, without the dot) open through
  /// `opener` instead of the factory: the kinds of document that hold no lens.
  void registerDocumentType(const std::vector<std::string>& extensions, DocumentOpener opener);
  /// The opener registered for the path's extension, or null.
  const DocumentOpener* openerForPath(const std::string& path) const;

 signals:
  void documentsChanged(int count);

 private:
  std::vector<std::shared_ptr<SmartDocument>> m_documents;
  std::unique_ptr<DocumentFactory> m_factory;
  std::vector<std::pair<std::string, DocumentOpener>> m_openers;  // lower-case extension, opener
};

}  // namespace orb::app
