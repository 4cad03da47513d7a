#pragma once

#include <QString>
#include <QStyledItemDelegate>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Value.h"

namespace orb::app {

/// Turns a cell's model value into text and an edited text back into a model
/// value.
///
/// Numbers are written and read with "." as the decimal separator whatever the
/// process locale: what a cell shows must read back as the same number, and
/// lens files hold the same texts. Formatters are immutable once shared, so one
/// instance serves every cell.
class Formatter {
public:
  virtual ~Formatter() = default;
  virtual std::string className() const = 0;
  /// Model value → display text. A null QString stands for "no text" (a value
  /// of the wrong kind).
  virtual QString stringForObjectValue(const platform::Value &value) const = 0;
  /// Text put in the editor when the cell is edited (default: the display
  /// text).
  virtual QString
  editingStringForObjectValue(const platform::Value &value) const {
    return stringForObjectValue(value);
  }
  /// Edited text → model value; false (and a reason in *error) when the text is
  /// refused.
  virtual bool getObjectValue(platform::Value &out, const QString &text,
                              QString *error) const = 0;
};

/// The formatter registered under a class name (e.g. "RadiusFormatter"), or
/// null. The formatters below are registered from the start.
std::shared_ptr<const Formatter> formatterNamed(const std::string &className);
/// Registers (or replaces) a formatter under a name.
void registerFormatter(const std::string &className,
                       std::shared_ptr<const Formatter> formatter);

// --- Number reading shared by the formatters
// -------------------------------------------------------

/// White space removed at both ends.
QString trimmedText(const QString &text);
/// The one reading of a number the user typed, in a cell or a field. The
/// trimmed text must be one number and nothing else, with "." as decimal point
/// in every locale (cells and files show numbers that way, so what is shown
/// reads back). "inf" or "infinity" (any case, optionally signed) is taken only
/// when `allowInfinity`. Refused, with the reason in *reason: words and NaN,
/// trailing text ("12abc"), a magnitude beyond a double ("1e400", which must
/// not become infinity), and a decimal comma ("1,5" would otherwise be read
/// wrongly, as 1 or 15).
std::optional<double> typedNumber(const QString &text, bool allowInfinity,
                                  QString *reason = nullptr);
/// What a refused entry says in the status line: the reason, then the value
/// the quantity keeps: "\"abc\" is not a number: the radius keeps 25.4000".
/// `quantity` is a column title or a field's label.
QString keptValueMessage(const QString &reason, const QString &quantity,
                         const QString &keptText);
/// "%g" of a finite value; "-infinity" below zero and "infinity" otherwise for
/// the rest (NaN too).
QString stringForDouble(double value);
/// printf-style formatting of one double, always with "." as decimal separator.
QString formatDouble(const char *format, double value);

// --- The formatters
// -----------------------------------------------------------------------------------

/// "%g" of numbers (and of the number a text starts with); an entry must be a
/// finite number.
class GFormatter : public Formatter {
public:
  std::string className() const override { return "GFormatter"; }
  QString stringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
};

/// A circle radius where 0 stands for "all rays"; negative radii become 0 (a
/// radius has no sign here); an entry must be a finite number.
class CircleRadiusFormatter : public GFormatter {
public:
  std::string className() const override { return "CircleRadiusFormatter"; }
  QString stringForObjectValue(const platform::Value &value) const override;
  QString
  editingStringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
};

/// Radii: "%.4f", exponent notation ("%.4e") above magnitude 100000; "inf"
/// (±infinity) is a flat surface.
class RadiusFormatter : public Formatter {
public:
  std::string className() const override { return "RadiusFormatter"; }
  QString stringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
  virtual bool canBeInfinite() const { return true; }

protected:
  virtual const char *fixedFormat() const { return "%.4f"; }
};

/// Thicknesses: as radii but "%.3f" up to magnitude 100000. Only the object
/// distance can be infinite, so the registered one refuses "inf" and the
/// object surface's row gets one made with `canBeInfinite`.
class ThicknessFormatter : public RadiusFormatter {
public:
  explicit ThicknessFormatter(bool canBeInfinite = false)
      : m_canBeInfinite(canBeInfinite) {}
  std::string className() const override { return "ThicknessFormatter"; }
  bool canBeInfinite() const override { return m_canBeInfinite; }

protected:
  const char *fixedFormat() const override { return "%.3f"; }

private:
  bool m_canBeInfinite;
};

/// Semi-diameters: shown as radii; an entry must be finite and not negative.
class SemidiameterFormatter : public RadiusFormatter {
public:
  std::string className() const override { return "SemidiameterFormatter"; }
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
  bool canBeInfinite() const override { return false; }
};

/// Refractive indices: "%9f", "%.2e" above 100, "invalid" when not finite; an
/// entry must be a finite number.
class RefractiveIndexFormatter : public Formatter {
public:
  std::string className() const override { return "RefractiveIndexFormatter"; }
  QString stringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
};

/// Coefficients in exponent notation, positive values behind one space so
/// columns line up. An entry must be a number; "inf" only with `canBeInfinite`.
class ScientificFormatter : public Formatter {
public:
  ScientificFormatter() = default;
  explicit ScientificFormatter(std::string formatString,
                               bool canBeInfinite = false);
  std::string className() const override { return "ScientificFormatter"; }
  QString stringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;

  const std::string &formatString() const { return m_formatString; }
  /// Takes a printf format only when it converts exactly one double
  /// ("%[flags][width][.prec] e|E|f|F|g|G|a|A", "%%" allowed); answers false
  /// and keeps the old one otherwise, since the format string is handed to
  /// printf.
  bool setFormatString(const std::string &format);
  bool canBeInfinite() const { return m_canBeInfinite; }
  void setCanBeInfinite(bool canBeInfinite) { m_canBeInfinite = canBeInfinite; }

  /// Whether `format` converts exactly one double and nothing else.
  static bool isSafeDoubleFormat(const std::string &format);

private:
  std::string m_formatString = "%.6e";
  bool m_canBeInfinite = false;
};

/// ScientificFormatter with two decimals.
class ScientificFormatter2 : public ScientificFormatter {
public:
  ScientificFormatter2() : ScientificFormatter("%.2e") {}
  std::string className() const override { return "ScientificFormatter2"; }
};

/// Ray counts of hexapolar grids: rounded up to the next centred hexagonal
/// number 3k(k+1)+1; an entry must be a finite number ("Must be a number").
class HexNumberFormatter : public Formatter {
public:
  std::string className() const override { return "HexNumberFormatter"; }
  QString stringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
  /// The largest count accepted: the largest centred hexagonal number below
  /// 2^31.
  static std::int64_t maximumCount();
};

/// A text cell showing only its first word.
class CharacterBlockFormatter : public Formatter {
public:
  std::string className() const override { return "CharacterBlockFormatter"; }
  QString stringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
};

/// For values that must be finite and above zero (scale factors and the like):
/// "%g" display; an entry must be a number alone (white space around it aside),
/// finite and positive, else it is refused. No word is read as infinity here.
class PositiveFiniteNumberFormatter : public Formatter {
public:
  std::string className() const override {
    return "PositiveFiniteNumberFormatter";
  }
  QString stringForObjectValue(const platform::Value &value) const override;
  bool getObjectValue(platform::Value &out, const QString &text,
                      QString *error) const override;
};

/// The centred hexagonal number 3k(k+1)+1 not below n (1 for n below 2).
std::int64_t centredHexagonalCeiling(std::int64_t n);

// --- Editing cells through a formatter
// ------------------------------------------------------------------

/// A platform value from what an item model holds (numbers, text, nothing).
platform::Value valueFromVariant(const QVariant &variant);
/// A platform number or text as a QVariant an item model takes.
QVariant variantFromPlainValue(const platform::Value &value);

/// An item delegate that shows and edits a cell through a formatter: the
/// display text is the formatter's text of the model's EditRole value, the
/// editor starts with its editing text, and a committed text is parsed by the
/// formatter; a refused text is not written, the editor keeps it and
/// `entryRefused` reports why.
class FormatterDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  explicit FormatterDelegate(std::shared_ptr<const Formatter> formatter,
                             QObject *parent = nullptr);
  const std::shared_ptr<const Formatter> &formatter() const {
    return m_formatter;
  }

  QString displayText(const QVariant &value,
                      const QLocale &locale) const override;
  QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                        const QModelIndex &index) const override;
  void setEditorData(QWidget *editor, const QModelIndex &index) const override;
  void setModelData(QWidget *editor, QAbstractItemModel *model,
                    const QModelIndex &index) const override;

signals:
  void entryRefused(const QModelIndex &index, const QString &text,
                    const QString &reason) const;

protected:
  bool eventFilter(QObject *editor, QEvent *event) override;

private:
  std::shared_ptr<const Formatter> m_formatter;
};

} // namespace orb::app
