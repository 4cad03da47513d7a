#include "app/tables/Formatters.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
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

const QString kDecimalCommaError =
    QStringLiteral("Use a decimal point (.) in numbers");

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

// The scanner reads "." whatever the locale; a decimal comma right after the
// number means the user typed a number this reading would cut short.
struct Scan {
  std::optional<double> number;
  bool decimalComma = false;
};

Scan scanLeadingNumber(const QString &text) {
  foundation::Scanner scanner(trimmedText(text).toStdString());
  Scan scan;
  double value = 0;
  if (!scanner.scanDouble(&value))
    return scan;
  const std::string rest = scanner.remainderString();
  if (rest.size() >= 2 && rest[0] == ',' && rest[1] >= '0' && rest[1] <= '9') {
    scan.decimalComma = true;
    return scan;
  }
  scan.number = value;
  return scan;
}

bool refuse(QString *error, const QString &reason) {
  if (error)
    *error = reason;
  return false;
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

std::optional<double> leadingNumber(const QString &text) {
  return scanLeadingNumber(text).number;
}

std::optional<double> infiniteDefault(const QString &text) {
  const Scan scan = scanLeadingNumber(text);
  if (scan.decimalComma)
    return std::nullopt;
  if (scan.number)
    return *scan.number;
  return trimmedText(text).startsWith(QLatin1Char('-')) ? -kInfinity
                                                        : kInfinity;
}

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

std::optional<double> typedNumber(const QString &text, bool allowInfinity) {
  const QString t = text.trimmed();
  if (allowInfinity) {
    if (t.compare(QStringLiteral("inf"), Qt::CaseInsensitive) == 0) return std::numeric_limits<double>::infinity();
    if (t.compare(QStringLiteral("-inf"), Qt::CaseInsensitive) == 0) return -std::numeric_limits<double>::infinity();
  }
  bool ok = false;
  double v = QLocale().toDouble(t, &ok);
  if (!ok) v = QLocale::c().toDouble(t, &ok);
  if (!ok || std::isnan(v) || (!allowInfinity && std::isinf(v))) return std::nullopt;
  return v;
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
    const auto number = leadingNumber(QString::fromStdString(value.asString()));
    return number ? stringForDouble(*number) : QStringLiteral("undefined");
  }
  if (value.isNil())
    platform::log("nil object");
  return QStringLiteral("undefined");
}

bool GFormatter::getObjectValue(platform::Value &out, const QString &text,
                                QString *error) const {
  const QString trimmed = trimmedText(text);
  if (text.isNull() || text == QLatin1String("undefined") || trimmed.isEmpty())
    return refuse(error, QStringLiteral("Must be a number"));
  const auto number = infiniteDefault(trimmed);
  if (!number)
    return refuse(error, kDecimalCommaError);
  out = *number;
  return true;
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
  const Scan scan = scanLeadingNumber(text);
  if (scan.decimalComma)
    return refuse(error, kDecimalCommaError);
  double radius = scan.number.value_or(kInfinity);
  if (radius < 0)
    radius = 0;
  out = radius;
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
  const auto number = infiniteDefault(text);
  if (!number)
    return refuse(error, kDecimalCommaError);
  out = *number;
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
  const auto number = infiniteDefault(text);
  if (!number)
    return refuse(error, kDecimalCommaError);
  out = std::isinf(*number) ? 1.0 : *number;
  return true;
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
  const auto number = infiniteDefault(text);
  if (!number)
    return refuse(error, kDecimalCommaError);
  out = (std::isinf(*number) && !m_canBeInfinite) ? 0.0 : *number;
  return true;
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
  foundation::Scanner scanner(trimmedText(text).toStdString());
  std::int64_t n = 0;
  if (!scanner.scanInteger(&n))
    return refuse(error, QStringLiteral("Must be a number"));
  // "1,000" would read as 1 ray: a comma inside the number is refused, not cut
  // off.
  const std::string rest = scanner.remainderString();
  if (rest.size() >= 2 && rest[0] == ',' && rest[1] >= '0' && rest[1] <= '9')
    return refuse(error, QStringLiteral("Must be a number without separators"));
  if (n > maximumCount())
    return refuse(error, QStringLiteral("Too many rays"));
  out = centredHexagonalCeiling(n);
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
  const QString trimmed = trimmedText(text);
  foundation::Scanner scanner(trimmed.toStdString());
  double value = 0;
  if (!scanner.scanDouble(&value) || !scanner.isAtEnd())
    return refuse(error, QStringLiteral("Must be a number above zero"));
  if (!std::isfinite(value) || !(value > 0))
    return refuse(error, QStringLiteral("Must be a number above zero"));
  out = value;
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
