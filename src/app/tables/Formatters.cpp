#include "app/tables/Formatters.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QToolTip>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale.h>
#include <mutex>
#include <utility>

#include "foundation/platform/Scanner.h"
#include "platform/Log.h"

namespace orb::app {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct FormatterRegistry {
  std::mutex mutex;
  std::vector<std::pair<std::string, std::shared_ptr<const Formatter>>> entries;

  FormatterRegistry() {
    const std::vector<std::shared_ptr<const Formatter>> builtIn = {
        std::make_shared<GFormatter>(),
        std::make_shared<CircleRadiusFormatter>(),
        std::make_shared<RadiusFormatter>(),
        std::make_shared<ThicknessFormatter>(),
        std::make_shared<RefractiveIndexFormatter>(),
        std::make_shared<ScientificFormatter>(),
        std::make_shared<ScientificFormatter2>(),
        std::make_shared<HexNumberFormatter>(),
        std::make_shared<SemidiameterFormatter>(),
        std::make_shared<CharacterBlockFormatter>(),
        std::make_shared<PositiveFiniteNumberFormatter>()};
    for (const auto &formatter : builtIn)
      entries.emplace_back(formatter->className(), formatter);
  }
  static FormatterRegistry &shared() {
    static FormatterRegistry registry;
    return registry;
  }
};

bool startsWithDecimalComma(const std::string &rest) {
  return rest.size() >= 2 && rest[0] == ',' && rest[1] >= '0' && rest[1] <= '9';
}

// Shown for a model value held as text (never for typed entries): the number
// the text starts with.
std::optional<double> leadingNumberOfStoredText(const QString &text) {
  foundation::Scanner scanner(trimmedText(text).toStdString());
  double value = 0;
  if (!scanner.scanDouble(&value) ||
      startsWithDecimalComma(scanner.remainderString()))
    return std::nullopt;
  return value;
}

bool refuse(QString *error, const QString &reason) {
  if (error)
    *error = reason;
  return false;
}

// The whole entry as one number into `out`; false, with the reason, otherwise.
bool takeTypedNumber(platform::Value &out, const QString &text,
                     bool allowInfinity, QString *error) {
  const auto number = typedNumber(text, allowInfinity, error);
  if (number)
    out = *number;
  return number.has_value();
}

std::optional<double> numberOf(const platform::Value &value) {
  if (value.kind() == platform::Value::Kind::Integer ||
      value.kind() == platform::Value::Kind::Double)
    return value.asDouble();
  if (value.kind() == platform::Value::Kind::Bool)
    return value.asBool() ? 1.0 : 0.0;
  return std::nullopt;
}

} // namespace

std::shared_ptr<const Formatter> formatterNamed(const std::string &className) {
  auto &registry = FormatterRegistry::shared();
  std::lock_guard lock(registry.mutex);
  for (const auto &[name, formatter] : registry.entries)
    if (name == className)
      return formatter;
  return nullptr;
}

void registerFormatter(const std::string &className,
                       std::shared_ptr<const Formatter> formatter) {
  auto &registry = FormatterRegistry::shared();
  std::lock_guard lock(registry.mutex);
  for (auto &[name, existing] : registry.entries)
    if (name == className) {
      existing = std::move(formatter);
      return;
    }
  registry.entries.emplace_back(className, std::move(formatter));
}

// --- Number reading and writing
// -------------------------------------------------------------------------

QString trimmedText(const QString &text) { return text.trimmed(); }

QString formatDouble(const char *format, double value) {
  // printf follows LC_NUMERIC; a cell's text must not change with the user's
  // locale.
  static const locale_t cLocale =
      newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
  const locale_t previous = uselocale(cLocale);
  char buffer[128];
  const int n = std::snprintf(buffer, sizeof buffer, format, value);
  uselocale(previous);
  if (n < 0)
    return QString();
  return QString::fromLatin1(buffer, std::min<int>(n, int(sizeof buffer) - 1));
}

std::optional<double> typedNumber(const QString &text, bool allowInfinity,
                                  QString *reason) {
  const QString t = trimmedText(text);
  const auto refused = [&](const char *why) -> std::optional<double> {
    refuse(reason, QString::fromUtf8(why).arg(t));
    return std::nullopt;
  };
  static const QRegularExpression infinity(
      QStringLiteral("^[+-]?inf(inity)?$"),
      QRegularExpression::CaseInsensitiveOption);
  if (infinity.match(t).hasMatch()) {
    if (!allowInfinity)
      return refused("\"%1\" is not a finite number");
    return t.startsWith(QLatin1Char('-')) ? -kInfinity : kInfinity;
  }
  // The scanner reads "." whatever the locale and takes neither "nan" nor
  // "inf" for numbers.
  foundation::Scanner scanner(t.toStdString());
  double value = 0;
  if (!scanner.scanDouble(&value))
    return refused("\"%1\" is not a number");
  if (!scanner.isAtEnd())
    return startsWithDecimalComma(scanner.remainderString())
               ? refused("\"%1\" needs a decimal point (.), not a comma")
               : refused("\"%1\" is not a number");
  // The scan turns an overflow into infinity, which the user did not type.
  if (std::isinf(value))
    return refused("\"%1\" is too large a number");
  return value;
}

QString keptValueMessage(const QString &reason, const QString &quantity,
                         const QString &keptText) {
  QString name = quantity.trimmed();
  // "Radius" reads "the radius"; "X" and "PXA" stay as they are.
  if (name.size() >= 2 && name.at(0).isUpper() && name.at(1).isLower())
    name[0] = name.at(0).toLower();
  const QString kept = trimmedText(keptText);
  return kept.isEmpty()
             ? QStringLiteral("%1: the %2 keeps its value").arg(reason, name)
             : QStringLiteral("%1: the %2 keeps %3").arg(reason, name, kept);
}

QString stringForDouble(double value) {
  if (std::isfinite(value))
    return formatDouble("%g", value);
  return value < 0 ? QStringLiteral("-infinity") : QStringLiteral("infinity");
}

std::int64_t centredHexagonalCeiling(std::int64_t n) {
  if (n < 2)
    return 1;
  auto hex = [](std::int64_t k) { return 3 * k * (k + 1) + 1; };
  auto k =
      std::int64_t(std::floor((std::sqrt(12.0 * double(n - 1) + 9) - 3) / 6));
  if (k < 0)
    k = 0;
  while (k > 0 && hex(k - 1) >= n)
    --k; // guards the floating-point start
  while (hex(k) < n)
    ++k;
  return hex(k);
}

// --- GFormatter
// ---------------------------------------------------------------------------------------------

QString GFormatter::stringForObjectValue(const platform::Value &value) const {
  if (const auto number = numberOf(value))
    return stringForDouble(*number);
  if (value.isString()) {
    const auto number =
        leadingNumberOfStoredText(QString::fromStdString(value.asString()));
    return number ? stringForDouble(*number) : QStringLiteral("undefined");
  }
  if (value.isNil())
    platform::log("nil object");
  return QStringLiteral("undefined");
}

bool GFormatter::getObjectValue(platform::Value &out, const QString &text,
                                QString *error) const {
  return takeTypedNumber(out, text, false, error);
}

// --- CircleRadiusFormatter
// -------------------------------------------------------------------------------------

QString CircleRadiusFormatter::stringForObjectValue(
    const platform::Value &value) const {
  const QString text = GFormatter::stringForObjectValue(value);
  return text == QLatin1String("0") ? QStringLiteral("0 (all rays)") : text;
}

QString CircleRadiusFormatter::editingStringForObjectValue(
    const platform::Value &value) const {
  return GFormatter::stringForObjectValue(value);
}

bool CircleRadiusFormatter::getObjectValue(platform::Value &out,
                                           const QString &text,
                                           QString *error) const {
  // The shown text of 0 reads back as 0.
  if (trimmedText(text) == stringForObjectValue(0.0)) {
    out = 0.0;
    return true;
  }
  const auto radius = typedNumber(text, false, error);
  if (!radius)
    return false;
  out = *radius < 0 ? 0.0 : *radius;
  return true;
}

// --- RadiusFormatter, ThicknessFormatter
// ----------------------------------------------------------------------

QString
RadiusFormatter::stringForObjectValue(const platform::Value &value) const {
  const auto number = numberOf(value);
  if (!number)
    return QString();
  const double x = *number;
  if (std::isinf(x))
    return x < 0 ? QStringLiteral("-infinity") : QStringLiteral("infinity");
  return formatDouble(std::abs(x) > 100000 ? "%.4e" : fixedFormat(), x);
}

bool RadiusFormatter::getObjectValue(platform::Value &out, const QString &text,
                                     QString *error) const {
  return takeTypedNumber(out, text, canBeInfinite(), error);
}

bool SemidiameterFormatter::getObjectValue(platform::Value &out,
                                           const QString &text,
                                           QString *error) const {
  const auto number = typedNumber(text, false, error);
  if (!number)
    return false;
  if (*number < 0)
    return refuse(error, QStringLiteral("\"%1\" is negative")
                             .arg(trimmedText(text)));
  out = *number + 0.0; // "-0" is kept as 0
  return true;
}

// --- RefractiveIndexFormatter
// ------------------------------------------------------------------------------------

QString RefractiveIndexFormatter::stringForObjectValue(
    const platform::Value &value) const {
  const auto number = numberOf(value);
  if (!number)
    return QString();
  const double n = *number;
  if (!std::isfinite(n))
    return QStringLiteral("invalid");
  return formatDouble(std::abs(n) > 100 ? "%.2e" : "%9f", n);
}

bool RefractiveIndexFormatter::getObjectValue(platform::Value &out,
                                              const QString &text,
                                              QString *error) const {
  return takeTypedNumber(out, text, false, error);
}

// --- ScientificFormatter
// -------------------------------------------------------------------------------------------

ScientificFormatter::ScientificFormatter(std::string formatString,
                                         bool canBeInfinite)
    : m_canBeInfinite(canBeInfinite) {
  setFormatString(formatString);
}

bool ScientificFormatter::isSafeDoubleFormat(const std::string &format) {
  int conversions = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%')
      continue;
    ++i;
    if (i < format.size() && format[i] == '%')
      continue;
    while (i < format.size() &&
           std::string_view("-+ #0").find(format[i]) != std::string_view::npos)
      ++i;
    int digits = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9' &&
           ++digits <= 2)
      ++i;
    if (i < format.size() && format[i] == '.') {
      ++i;
      digits = 0;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9' &&
             ++digits <= 2)
        ++i;
    }
    if (i >= format.size() ||
        std::string_view("eEfFgGaA").find(format[i]) == std::string_view::npos)
      return false;
    ++conversions;
  }
  return conversions == 1;
}

bool ScientificFormatter::setFormatString(const std::string &format) {
  if (!isSafeDoubleFormat(format))
    return false;
  m_formatString = format;
  return true;
}

QString
ScientificFormatter::stringForObjectValue(const platform::Value &value) const {
  const auto number = numberOf(value);
  if (!number)
    return QString();
  const double x = *number;
  QString text;
  if (std::isfinite(x))
    text = formatDouble(m_formatString.c_str(), x);
  else
    text = x < 0 ? QStringLiteral("-infinity") : QStringLiteral("infinity");
  if (!text.startsWith(QLatin1Char('-')))
    text.prepend(QLatin1Char(' '));
  return text;
}

bool ScientificFormatter::getObjectValue(platform::Value &out,
                                         const QString &text,
                                         QString *error) const {
  return takeTypedNumber(out, text, m_canBeInfinite, error);
}

// --- HexNumberFormatter
// ---------------------------------------------------------------------------------------------

std::int64_t HexNumberFormatter::maximumCount() {
  std::int64_t k = 0;
  while (3 * (k + 1) * (k + 2) + 1 <= std::numeric_limits<std::int32_t>::max())
    ++k;
  return 3 * k * (k + 1) + 1;
}

QString
HexNumberFormatter::stringForObjectValue(const platform::Value &value) const {
  const auto number = numberOf(value);
  if (!number)
    return QString();
  if (value.kind() == platform::Value::Kind::Integer)
    return QString::number(value.asInt());
  if (!std::isfinite(*number))
    return QString();
  return QString::number(static_cast<long long>(std::trunc(*number)));
}

bool HexNumberFormatter::getObjectValue(platform::Value &out,
                                        const QString &text,
                                        QString *error) const {
  const auto count = typedNumber(text, false);
  if (!count) {
    // "1,000" is a count with a thousands separator, not a decimal comma.
    static const QRegularExpression separator(QStringLiteral("\\d,\\d"));
    return refuse(error, separator.match(text).hasMatch()
                             ? QStringLiteral("Must be a number without separators")
                             : QStringLiteral("Must be a number"));
  }
  // A part of a ray rounds up, as the count does to the next hexagon.
  const double n = std::ceil(*count);
  if (n > double(maximumCount()))
    return refuse(error, QStringLiteral("Too many rays"));
  out = centredHexagonalCeiling(std::int64_t(std::max(n, 0.0)));
  return true;
}

// --- CharacterBlockFormatter
// ------------------------------------------------------------------------------------------

QString CharacterBlockFormatter::stringForObjectValue(
    const platform::Value &value) const {
  if (!value.isString())
    return QString(QLatin1String(""));
  const QString trimmed = trimmedText(QString::fromStdString(value.asString()));
  qsizetype end = 0;
  while (end < trimmed.size() && !trimmed.at(end).isSpace())
    ++end;
  return trimmed.left(end);
}

bool CharacterBlockFormatter::getObjectValue(platform::Value &out,
                                             const QString &text,
                                             QString *) const {
  out = text.toStdString();
  return true;
}

// --- PositiveFiniteNumberFormatter
// -------------------------------------------------------------------------------------

QString PositiveFiniteNumberFormatter::stringForObjectValue(
    const platform::Value &value) const {
  const auto number = numberOf(value);
  if (!number)
    return QString();
  return stringForDouble(*number);
}

bool PositiveFiniteNumberFormatter::getObjectValue(platform::Value &out,
                                                   const QString &text,
                                                   QString *error) const {
  const auto value = typedNumber(text, false, error);
  if (!value)
    return false;
  if (!(*value > 0))
    return refuse(error, QStringLiteral("\"%1\" is not above zero")
                             .arg(trimmedText(text)));
  out = *value;
  return true;
}

// --- Item models
// -------------------------------------------------------------------------------------------------------

platform::Value valueFromVariant(const QVariant &variant) {
  if (!variant.isValid() || variant.isNull())
    return {};
  switch (variant.typeId()) {
  case QMetaType::Bool:
    return variant.toBool();
  case QMetaType::Int:
  case QMetaType::UInt:
  case QMetaType::Long:
  case QMetaType::ULong:
  case QMetaType::LongLong:
  case QMetaType::ULongLong:
  case QMetaType::Short:
  case QMetaType::UShort:
    return std::int64_t(variant.toLongLong());
  case QMetaType::Double:
  case QMetaType::Float:
    return variant.toDouble();
  default:
    return variant.toString().toStdString();
  }
}

QVariant variantFromPlainValue(const platform::Value &value) {
  switch (value.kind()) {
  case platform::Value::Kind::Bool:
    return value.asBool();
  case platform::Value::Kind::Integer:
    return qlonglong(value.asInt());
  case platform::Value::Kind::Double:
    return value.asDouble();
  case platform::Value::Kind::String:
    return QString::fromStdString(value.asString());
  default:
    return {};
  }
}

// --- FormatterDelegate
// ---------------------------------------------------------------------------------------------------

FormatterDelegate::FormatterDelegate(std::shared_ptr<const Formatter> formatter,
                                     QObject *parent)
    : QStyledItemDelegate(parent), m_formatter(std::move(formatter)) {}

QString FormatterDelegate::displayText(const QVariant &value,
                                       const QLocale &locale) const {
  if (!m_formatter)
    return QStyledItemDelegate::displayText(value, locale);
  return m_formatter->stringForObjectValue(valueFromVariant(value));
}

QWidget *FormatterDelegate::createEditor(QWidget *parent,
                                         const QStyleOptionViewItem &,
                                         const QModelIndex &) const {
  auto *editor = new QLineEdit(parent);
  editor->setFrame(false);
  return editor;
}

void FormatterDelegate::setEditorData(QWidget *editor,
                                      const QModelIndex &index) const {
  auto *line = qobject_cast<QLineEdit *>(editor);
  if (!line)
    return QStyledItemDelegate::setEditorData(editor, index);
  const platform::Value value = valueFromVariant(index.data(Qt::EditRole));
  line->setText(m_formatter ? m_formatter->editingStringForObjectValue(value)
                            : QStyledItemDelegate::displayText(
                                  index.data(Qt::EditRole), QLocale::c()));
}

void FormatterDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                     const QModelIndex &index) const {
  auto *line = qobject_cast<QLineEdit *>(editor);
  if (!line || !m_formatter)
    return QStyledItemDelegate::setModelData(editor, model, index);
  platform::Value value;
  QString reason;
  if (!m_formatter->getObjectValue(value, line->text(), &reason)) {
    emit entryRefused(index, line->text(), reason);
    return;
  }
  model->setData(index, variantFromPlainValue(value), Qt::EditRole);
}

bool FormatterDelegate::eventFilter(QObject *object, QEvent *event) {
  // Return, Enter and Tab commit and close the editor; a text the formatter
  // refuses keeps the editor open with the reason shown, so the entry is
  // neither lost nor written wrongly.
  auto *line = qobject_cast<QLineEdit *>(object);
  if (line && m_formatter && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
        key == Qt::Key_Backtab) {
      platform::Value value;
      QString reason;
      if (!m_formatter->getObjectValue(value, line->text(), &reason)) {
        QToolTip::showText(line->mapToGlobal(QPoint(0, line->height())), reason,
                           line);
        emit entryRefused(QModelIndex(), line->text(), reason);
        return true;
      }
    }
  }
  return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace orb::app
