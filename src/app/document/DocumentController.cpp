#include "app/document/DocumentController.h"

#include <algorithm>

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

}  // namespace orb::app
