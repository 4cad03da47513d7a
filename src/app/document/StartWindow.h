#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class QPushButton;

namespace orb::app {

/// The small window shown while no document is open: Linux offers no menu bar without
/// a window, so this is where the user opens a lens, makes one from clipboard text or
/// quits.
class StartWindow : public QWidget {
  Q_OBJECT
 public:
  explicit StartWindow(QWidget* parent = nullptr);

  QPushButton* openButton() const { return m_open; }
  QPushButton* newFromClipboardButton() const { return m_newFromClipboard; }
  QPushButton* quitButton() const { return m_quit; }

  /// Opens a lens file, reporting failure in an alert.
  void openFile(const std::string& path);
  /// Asks for a file, then opens it.
  void open();
  /// A new lens document from the clipboard's text.
  void newFromClipboard();


 protected:
  /// Closing the start window while no document is open quits, as Quit does.
  void closeEvent(QCloseEvent* event) override;

 private:
  QPushButton* m_open;
  QPushButton* m_newFromClipboard;
  QPushButton* m_quit;
};

}  // namespace orb::app
