#include "app/Messages.h"

#include <QMessageBox>

namespace orb::app {

namespace {
MessagePresenter& presenter() {
  static MessagePresenter p;  // main thread only
  return p;
}
}  // namespace

void setMessagePresenter(MessagePresenter p) { presenter() = std::move(p); }

void showMessage(QWidget* parent, const std::string& text, const std::string& informativeText) {
  if (presenter()) {
    presenter()(parent, text, informativeText);
    return;
  }
  auto* box = new QMessageBox(parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setIcon(QMessageBox::Information);
  box->setWindowTitle(QStringLiteral("Orbelline"));
  box->setText(QString::fromStdString(text));
  if (!informativeText.empty()) box->setInformativeText(QString::fromStdString(informativeText));
  box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  box->open();
}

std::string notAvailableYetText(const std::string& feature) { return feature + " is not available yet."; }

void showNotAvailableYet(QWidget* parent, const std::string& feature) {
  showMessage(parent, notAvailableYetText(feature));
}

}  // namespace orb::app
