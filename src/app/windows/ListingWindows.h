#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <functional>
#include <string>

#include "platform/Observation.h"

class QDialog;
class QLabel;
class QPrinter;
class QProgressBar;
class QTextBrowser;

namespace orb::app {

// --- progress panel
// ---------------------------------------------------------------------------------------

/// The small panel shown during long reads and computations: an info line, a progress
/// indicator and an Abort button. The indicator shows fractions from 0 to 1.
class ProgressPanel : public QObject {
  Q_OBJECT
 public:
  explicit ProgressPanel(QObject* parent = nullptr);
  ~ProgressPanel() override;

  /// Builds the panel when not yet built, brings it front and starts the indicator.
  void createWindow();
  QDialog* window() const { return m_window; }

  void setString(const std::string& text);
  const std::string& infoString() const { return m_infoString; }
  /// Item i of n done: shows i / n. A count of zero or less has no fraction to show, so
  /// the indicator becomes indeterminate instead.
  void doing(int i, int n);
  void setIndeterminate();
  void setValue(double value);
  bool isIndeterminate() const { return m_indeterminate; }
  /// The fraction shown (meaningless while indeterminate).
  double value() const { return m_value; }

  /// The Abort button: records the wish and ends the panel's modal run, so the operation
  /// that runs the panel modally stops waiting.
  void abort();
  bool abortDesired() const { return m_abortDesired; }

 private:
  QPointer<QDialog> m_window;
  QLabel* m_info = nullptr;
  std::string m_infoString;
  QProgressBar* m_progressMonitor = nullptr;
  double m_value = 0;
  bool m_indeterminate = true;
  bool m_abortDesired = false;
};

// --- listings
// ---------------------------------------------------------------------------------------------

/// A read-only listing in a fixed-pitch font that prints with its own footer.
class ListingView : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit ListingView(QWidget* parent = nullptr);

  virtual std::string footerComment() const { return "Generic listing"; }
  /// The footer of page `page`: the listing's comment in front of the page number.
  std::string pageFooter(int page) const;

  /// Prints on the printer's pages with margins of 72 points left, right and top and 90 at
  /// the bottom (room for the footer), not centred. Turns the "NSPrintHeaderAndFooter"
  /// default on.
  void printTo(QPrinter& printer) const;
  /// Asks for a printer and prints.
  void print();
};

class PrescriptionView : public ListingView {
  Q_OBJECT
 public:
  using ListingView::ListingView;
  std::string footerComment() const override { return "Prescription listing"; }
};

class SeidelListingView : public ListingView {
  Q_OBJECT
 public:
  using ListingView::ListingView;
  std::string footerComment() const override { return "Seidel listing"; }
};

class CoordListingView : public ListingView {
  Q_OBJECT
 public:
  using ListingView::ListingView;
  std::string footerComment() const override { return "Transformation matrix listing"; }
};

inline constexpr const char* kPrescriptionNibName = "Prescription";
inline constexpr const char* kSeidelNibName = "Seidel";
inline constexpr const char* kTransformationMatrixListingNibName = "TransformationMatrixListing";

/// Registers the listing windows' interface files ("Prescription", "Seidel",
/// "TransformationMatrixListing"). Each shows its listing of the document's lens in a
/// view named "listing" and re-reads it whenever the lens is ready.
void registerListingWindows();

// --- help
// -----------------------------------------------------------------------------------------------

/// Opens the help book at an anchor given by its delegate (a button's "helpAnchor", such as
/// "anc-optimizer"). The help book is the local HTML page resources/help/index.html, shown in
/// the application's help window.
class HelpLauncher : public QObject {
  Q_OBJECT
 public:
  explicit HelpLauncher(std::function<std::string()> helpAnchor = {}, QObject* parent = nullptr);
  void setDelegate(std::function<std::string()> helpAnchor) { m_helpAnchor = std::move(helpAnchor); }

  void showHelp();
  /// Shows the help book at `anchor` (the top for an empty one); false when the book is missing.
  static bool showHelpAnchor(const std::string& anchor);
  /// The help window (made on first use).
  static QTextBrowser* helpWindow();
  /// The help book's path, or empty when it is missing.
  static std::string helpBookPath();

 private:
  std::function<std::string()> m_helpAnchor;
};

// --- notification logger
// ---------------------------------------------------------------------------------

/// Logs every notification of the default centre (">> " and the notification) and shows the
/// lines in its window. Notifications posted on other threads are shown on the main thread.
class NotificationLogger : public QObject {
  Q_OBJECT
 public:
  explicit NotificationLogger(QObject* parent = nullptr);
  ~NotificationLogger() override;

  void awakeFromNib();
  QPlainTextEdit* window() const { return m_window; }
  /// The logger of the Window menu's "Notification Logger" (made and shown on first use).
  static NotificationLogger* shared();

 private:
  void appendLine(const QString& line);

  QPointer<QPlainTextEdit> m_window;
  platform::Observation m_observation;
};

}  // namespace orb::app
