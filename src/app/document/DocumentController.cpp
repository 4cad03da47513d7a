#include "app/document/DocumentController.h"

#include <algorithm>
#include <cctype>

#include "app/document/SmartDocument.h"

namespace orb::app {

DocumentController& DocumentController::shared() {
  static auto* controller = new DocumentController();  // lives as long as the process
  return *controller;
}

void DocumentController::addDocument(std::shared_ptr<SmartDocument> document) {
  if (!document || std::find(m_documents.begin(), m_documents.end(), document) != m_documents.end()) return;
  m_documents.push_back(std::move(document));
  emit documentsChanged(int(m_documents.size()));
}

void DocumentController::removeDocument(const std::shared_ptr<SmartDocument>& document) {
  auto it = std::find(m_documents.begin(), m_documents.end(), document);
  if (it == m_documents.end()) return;
  m_documents.erase(it);
  emit documentsChanged(int(m_documents.size()));
}

namespace {
std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}
}  // namespace

void DocumentController::registerDocumentType(const std::vector<std::string>& extensions, DocumentOpener opener) {
  for (const auto& extension : extensions) {
    const std::string key = lowerCase(extension);
    auto it = std::find_if(m_openers.begin(), m_openers.end(), [&](const auto& entry) { return entry.first == key; });
    if (it != m_openers.end())
      it->second = opener;
    else
      m_openers.emplace_back(key, opener);
  }
}

const DocumentOpener* DocumentController::openerForPath(const std::string& path) const {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
  const std::string extension = lowerCase(path.substr(dot + 1));
  for (const auto& [key, opener] : m_openers)
    if (key == extension) return &opener;
  return nullptr;
}

}  // namespace orb::app
