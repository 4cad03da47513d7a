#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "app/windows/WindowControllerWithDocumentController.h"

class QLineEdit;

namespace orb::app {

/// The "ScaleLens" window: every length of the document's lens times a factor,
/// typed or set by a button (inches to millimetres, millimetres to inches, a
/// focal length of 100). "Scale" makes the whole change one undoable "scale
/// lens". The factor must be a finite number greater than 0: anything else is
/// refused with a message and changes nothing.
class ScaleLensWindowController : public WindowControllerWithDocumentController {
  Q_OBJECT
 public:
  explicit ScaleLensWindowController(std::string nibName, const std::shared_ptr<SmartDocument>& document = {});
  ~ScaleLensWindowController() override;

  double scaleFactor() const { return m_scaleFactor; }
  /// Shows the factor in the field too.
  void setScaleFactor(double factor);
  bool scaleFactorIsValid() const;
  static bool isValidScaleFactor(double factor);

  void setScaleToInchesToMillimeters() { setScaleFactor(25.4); }
  void setScaleToMillimetersToInches() { setScaleFactor(1.0 / 25.4); }
  /// 100 over the lens's paraxial focal length; refused (message) without a
  /// usable one.
  void setScaleToFocalLength100();

  /// Takes the typed factor and scales the lens by it: true when the lens was
  /// scaled. A factor of 1 changes nothing; an invalid one is refused with a
  /// message.
  bool makeItSo();

  /// The factor text as the user typed it, read as every typed number is (finite;
  /// none, with the reason, for anything else).
  static std::optional<double> parseScaleFactor(const QString& text, QString* reason = nullptr);

 protected:
  void awakeFromNib() override;
  /// Scaling asks the document for its lens each time.
  void documentLensWasReplaced() override {}

 private:
  QLineEdit* factorField() const;
  /// Reads the field into the factor; false (and a message) when the text is no
  /// number.
  bool commitFactorField();
  void refuse(const std::string& reason);

  double m_scaleFactor = 1.0;
};

/// Registers the interface file "ScaleLens".
void registerScaleLensWindow();
/// The factory of the controller class "ScaleLensWindowController".
SmartWindowController* makeScaleLensWindowController(const std::string& nibName,
                                                     const std::shared_ptr<SmartDocument>& document);

}  // namespace orb::app
