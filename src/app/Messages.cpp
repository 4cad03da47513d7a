#include "app/Messages.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QToolTip>

#include "platform/Log.h"

namespace orb::app {

namespace {
MessagePresenter& presenter() {
  static MessagePresenter p;  // main thread only
  return p;
}

// Marks a status bar's message as a refusal, so that only a refusal is cleared.
constexpr const char* kRefusalProperty = "orbShownRefusal";

QStatusBar* statusBarOf(QWidget* within) {
  auto* window = within ? qobject_cast<QMainWindow*>(within->window()) : nullptr;
  // Only a bar the window already has: asking the window for one would make one.
  return window ? window->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace

void showRefusedEntry(QWidget* within, const QString& text) {
  platform::logText("entry refused: " + text.toStdString());
  if (auto* bar = statusBarOf(within)) {
    bar->showMessage(text, 15000);
    bar->setProperty(kRefusalProperty, text);
  } else if (within) {
    QToolTip::showText(within->mapToGlobal(QPoint(0, within->height())), text, within);
  }
}

void clearRefusedEntry(QWidget* within) {
  auto* bar = statusBarOf(within);
  if (!bar) return;
  if (!bar->currentMessage().isEmpty() && bar->currentMessage() == bar->property(kRefusalProperty).toString())
    bar->clearMessage();
  bar->setProperty(kRefusalProperty, QVariant());
}

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

QMessageBox* showAlert(QWidget* parent) {
  auto* box = new QMessageBox(parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setIcon(QMessageBox::Information);
  box->setWindowTitle(QStringLiteral("Orbelline"));
  box->setText(QStringLiteral("My message text"));
  box->setInformativeText(QStringLiteral("My informative text"));
  QPushButton* first = box->addButton(QStringLiteral("Go ahead"), QMessageBox::AcceptRole);
  box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  box->setDefaultButton(first);
  box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  QObject::connect(box, &QMessageBox::finished, box, [box, first] {
    // The answers are numbered from the first button as alert returns are.
    const long rc = box->clickedButton() == first ? kAlertFirstButtonReturn : kAlertFirstButtonReturn + 1;
    platform::log("rc = %ld", rc);
    platform::log(rc == kAlertFirstButtonReturn ? "First button" : "Second button");
  });
  box->open();
  return box;
}

std::string notAvailableYetText(const std::string& feature) { return feature + " is not available yet."; }

void showNotAvailableYet(QWidget* parent, const std::string& feature) {
  showMessage(parent, notAvailableYetText(feature));
}

}  // namespace orb::app
