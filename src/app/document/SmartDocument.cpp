#include "app/document/SmartDocument.h"

#include <algorithm>

#include <QMessageBox>
#include <QPushButton>

#include "app/document/DocumentController.h"
#include "app/windows/OBWindow.h"
#include "app/windows/SmartWindowController.h"

namespace orb::app {

void SmartDocument::addWindowController(SmartWindowController* controller) {
  removeWindowController(controller);
  m_windowControllers.emplace_back(controller);
}

void SmartDocument::removeWindowController(SmartWindowController* controller) {
  std::erase_if(m_windowControllers, [&](const auto& c) { return c.isNull() || c.data() == controller; });
}

std::vector<SmartWindowController*> SmartDocument::windowControllers() const {
  std::vector<SmartWindowController*> controllers;
  for (const auto& c : m_windowControllers)
    if (c) controllers.push_back(c.data());
  return controllers;
}

void SmartDocument::updateWindowsModifiedMark() {
  const bool edited = isDocumentEdited();
  for (auto* c : windowControllers())
    if (c->isWindowLoaded()) c->window()->setWindowModified(edited);
}

bool SmartDocument::readFromPlainText(const std::string&, std::string* error) {
  if (error) *error = "This kind of document does not read text.";
  return false;
}

void SmartDocument::showWindows() {
  for (auto* c : windowControllers()) c->showWindow();
}

void SmartDocument::close() {
  if (m_isClosing) return;
  m_isClosing = true;
  // Keep this document alive while its windows and the controller let go of it.
  auto self = std::static_pointer_cast<SmartDocument>(shared_from_this());
  for (auto* c : windowControllers()) c->close();
  DocumentController::shared().removeDocument(self);
}

namespace {
SmartDocument::ReviewChangesAsker& reviewChangesAsker() {
  static SmartDocument::ReviewChangesAsker asker;  // main thread only
  return asker;
}

SmartDocument::ReviewAnswer askToSaveChanges(SmartDocument& document, QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(QStringLiteral("Orbelline"));
  box.setText(QStringLiteral("Do you want to save the changes you made in the document \u201c%1\u201d?")
                  .arg(QString::fromStdString(document.displayName())));
  box.setInformativeText(QStringLiteral("Your changes will be lost if you don\u2019t save them."));
  auto* save = box.addButton(QStringLiteral("Save"), QMessageBox::AcceptRole);
  auto* dontSave = box.addButton(QStringLiteral("Don\u2019t Save"), QMessageBox::DestructiveRole);
  box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.exec();
  if (box.clickedButton() == save) return SmartDocument::ReviewAnswer::Save;
  if (box.clickedButton() == dontSave) return SmartDocument::ReviewAnswer::DontSave;
  return SmartDocument::ReviewAnswer::Cancel;
}
}  // namespace

void SmartDocument::setReviewChangesAsker(ReviewChangesAsker asker) { reviewChangesAsker() = std::move(asker); }

bool SmartDocument::canCloseDocument(QWidget* parent) {
  if (m_isClosing || !isDocumentEdited()) return true;
  if (!parent)
    for (auto* c : windowControllers())
      if (c->isWindowLoaded() && !c->isClosing()) {
        parent = c->window();
        break;
      }
  const auto answer = reviewChangesAsker() ? reviewChangesAsker()(*this, parent) : askToSaveChanges(*this, parent);
  switch (answer) {
    case ReviewAnswer::Save:
      return saveDocument(parent);
    case ReviewAnswer::DontSave:
      return true;
    case ReviewAnswer::Cancel:
      break;
  }
  return false;
}

bool SmartDocument::shouldCloseWindowController(SmartWindowController* controller) {
  if (m_isClosing) return true;
  for (auto* c : windowControllers())
    if (c != controller && !c->isClosing()) return true;  // another window keeps the document open
  return canCloseDocument(controller && controller->isWindowLoaded() ? controller->window() : nullptr);
}

void SmartDocument::windowControllerDidClose(SmartWindowController* controller) {
  removeWindowController(controller);
  if (m_isClosing) return;
  for (auto* c : windowControllers())
    if (!c->isClosing()) return;
  close();
}

}  // namespace orb::app
