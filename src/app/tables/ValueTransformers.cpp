#include "app/tables/ValueTransformers.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <numbers>
#include <utility>

#include "foundation/platform/Scanner.h"
#include "platform/Color.h"
#include "platform/Exception.h"
#include "platform/Resources.h"

namespace orb::app {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<std::string, std::shared_ptr<const ValueTransformer>>>
      entries;
  static Registry &shared() {
    static Registry registry;
    return registry;
  }
};

// The number a text starts with, 0 when none. Read with "." as decimal
// separator whatever the process locale (strtod would stop at the "." under a
// decimal-comma locale).
double leadingDouble(const std::string &text) {
  foundation::Scanner scanner(text);
  double value = 0;
  return scanner.scanDouble(&value) ? value : 0;
}

// A number as the model's value classes give it: numbers, and text holding a
// number.
double doubleOf(const platform::Value &value) {
  if (value.isNumber())
    return value.asDouble();
  if (value.isString())
    return leadingDouble(value.asString());
  return 0;
}

std::int64_t integerOf(const platform::Value &value) {
  if (value.isNumber())
    return value.asInt();
  if (value.isString()) {
    foundation::Scanner scanner(value.asString());
    std::int64_t n = 0;
    return scanner.scanInteger(&n) ? n : 0;
  }
  return 0;
}

bool boolOf(const platform::Value &value) {
  return value.isNumber() ? value.asBool() : false;
}

} // namespace

platform::Value
ValueTransformer::reverseTransformedValue(const QVariant &) const {
  platform::Exception::raise("NSInternalInconsistencyException",
                             "%s does not transform values back",
                             className().c_str());
}

void ValueTransformer::setValueTransformer(
    std::shared_ptr<const ValueTransformer> transformer,
    const std::string &name) {
  auto &r = Registry::shared();
  std::lock_guard lock(r.mutex);
  for (auto &[n, t] : r.entries)
    if (n == name) {
      t = std::move(transformer);
      return;
    }
  r.entries.emplace_back(name, std::move(transformer));
}

std::shared_ptr<const ValueTransformer>
ValueTransformer::valueTransformerForName(const std::string &name) {
  auto &r = Registry::shared();
  std::lock_guard lock(r.mutex);
  for (auto &[n, t] : r.entries)
    if (n == name)
      return t;
  return nullptr;
}

std::vector<std::string> ValueTransformer::valueTransformerNames() {
  auto &r = Registry::shared();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> names;
  for (auto &entry : r.entries)
    names.push_back(entry.first);
  return names;
}

namespace {

using TransformerMaker = std::shared_ptr<const ValueTransformer> (*)();

template <typename T> std::shared_ptr<const ValueTransformer> make() {
  return std::make_shared<T>();
}

const std::vector<std::pair<std::string, TransformerMaker>> &
transformerClasses() {
  static const std::vector<std::pair<std::string, TransformerMaker>> classes = {
      {"GenericDoubleToStringTransformer",
       &make<GenericDoubleToStringTransformer>},
      {"BooleanNoIsRedTransformer", &make<BooleanNoIsRedTransformer>},
      {"ColorToImageTransformer", &make<ColorToImageTransformer>},
      {"ImportanceToImageTransformer", &make<ImportanceToImageTransformer>},
      {"LogBaseTwoTransformer", &make<LogBaseTwoTransformer>},
      {"IntLogBaseTwoTransformer", &make<IntLogBaseTwoTransformer>},
      {"LogBaseTwoIntTransformer", &make<LogBaseTwoIntTransformer>},
      {"VKIsNotUnity", &make<VKIsNotUnity>},
      {"FormulaNameToImageURLTransformer",
       &make<FormulaNameToImageURLTransformer>},
      {"DegreesTransformer", &make<DegreesTransformer>},
      {"OBCurvatureToRadiusTransformer", &make<OBCurvatureToRadiusTransformer>},
      {"VKFoundIndex", &make<VKFoundIndex>},
  };
  return classes;
}

} // namespace

std::shared_ptr<const ValueTransformer>
ValueTransformer::valueTransformerWithClassName(const std::string &className) {
  if (auto registered = valueTransformerForName(className);
      registered && registered->className() == className)
    return registered;
  for (const auto &[name, maker] : transformerClasses())
    if (name == className)
      return maker();
  return nullptr;
}

std::vector<std::string> ValueTransformer::transformerClassNames() {
  std::vector<std::string> names;
  for (const auto &entry : transformerClasses())
    names.push_back(entry.first);
  return names;
}

QVariant GenericDoubleToStringTransformer::transformedValue(
    const platform::Value &value) const {
  if (value.isNil())
    return {};
  return QString::asprintf("%g", doubleOf(value));
}

platform::Value GenericDoubleToStringTransformer::reverseTransformedValue(
    const QVariant &value) const {
  if (value.isNull())
    return 0.0;
  return leadingDouble(
      value.toString().toStdString()); // 0 when no number leads
}

QVariant BooleanNoIsRedTransformer::transformedValue(
    const platform::Value &value) const {
  if (boolOf(value))
    return {};
  return QColor(Qt::red);
}

QVariant
ColorToImageTransformer::transformedValue(const platform::Value &value) const {
  auto color = value.objectIf<platform::Color>();
  if (!color)
    return {};
  QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  // The upper-left half black first: a translucent colour shows it through.
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  painter.drawPolygon(
      QPolygonF({QPointF(0, 16), QPointF(16, 0), QPointF(0, 0)}));
  painter.fillRect(QRectF(0, 0, 16, 16),
                   QColor::fromRgbF(float(color->red()), float(color->green()),
                                    float(color->blue()),
                                    float(color->alpha())));
  painter.end();
  return image;
}

QVariant ImportanceToImageTransformer::transformedValue(
    const platform::Value &value) const {
  if (!value.isNumber())
    return {};
  const double x = value.asDouble();
  QImage image(128, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setPen(QColor(Qt::lightGray));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(0.5, 0.5, 127, 15));
  painter.fillRect(QRectF(0, 0, 128 * std::clamp(x, 0.0, 1.0), 16),
                   QColor(153, 102, 51)); // brown
  painter.end();
  return image;
}

QVariant
LogBaseTwoTransformer::transformedValue(const platform::Value &value) const {
  return std::log2(doubleOf(value));
}

platform::Value
LogBaseTwoTransformer::reverseTransformedValue(const QVariant &value) const {
  return std::exp2(value.toDouble());
}

platform::Value
LogBaseTwoIntTransformer::reverseTransformedValue(const QVariant &value) const {
  const double power = std::round(std::exp2(value.toDouble()));
  // 2^63 is the first power an int64 cannot hold.
  if (power < 9.2233720368547758e18)
    return static_cast<std::int64_t>(power);
  return power;
}

QVariant
IntLogBaseTwoTransformer::transformedValue(const platform::Value &value) const {
  const std::int64_t n = integerOf(value);
  qlonglong k = 0;
  if (n >= 2)
    while ((std::int64_t(1) << k) < n && k < 62)
      ++k;
  return k;
}

platform::Value
IntLogBaseTwoTransformer::reverseTransformedValue(const QVariant &value) const {
  const qlonglong n = value.toLongLong();
  if (n < 1)
    return std::int64_t(1);
  return std::int64_t(1) << std::min<qlonglong>(n, 62);
}

QVariant VKIsNotUnity::transformedValue(const platform::Value &value) const {
  return integerOf(value) != 1;
}

QVariant FormulaNameToImageURLTransformer::transformedValue(
    const platform::Value &value) const {
  if (!value.isString())
    return {};
  std::string name = value.asString();
  for (auto &c : name)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  auto path = platform::resources::pathFor("dispersion-" + name, "tiff");
  if (!path)
    return {};
  return QUrl::fromLocalFile(QString::fromStdString(*path));
}

QVariant
DegreesTransformer::transformedValue(const platform::Value &value) const {
  return 2 * std::asin(std::min(std::abs(doubleOf(value)), 1.0)) * 180 /
         std::numbers::pi;
}

platform::Value
DegreesTransformer::reverseTransformedValue(const QVariant &value) const {
  return std::sin(std::min(std::abs(value.toDouble()), 180.0) *
                  std::numbers::pi / 360);
}

QVariant OBCurvatureToRadiusTransformer::transformedValue(
    const platform::Value &value) const {
  const double c = doubleOf(value);
  return c == 0 ? HUGE_VAL : 1 / c;
}

platform::Value OBCurvatureToRadiusTransformer::reverseTransformedValue(
    const QVariant &value) const {
  const double r = value.toDouble();
  return (r == 0 || std::isinf(r)) ? 0.0 : 1 / r;
}

QVariant VKFoundIndex::transformedValue(const platform::Value &value) const {
  if (value.isNumber() && value.asInt() == kNotFoundIndex)
    return {};
  return variantFromValue(value);
}

QVariant variantFromValue(const platform::Value &value) {
  using Kind = platform::Value::Kind;
  switch (value.kind()) {
  case Kind::Nil:
    return {};
  case Kind::Bool:
    return value.asBool();
  case Kind::Integer:
    return qlonglong(value.asInt());
  case Kind::Double:
    return value.asDouble();
  case Kind::String:
    return QString::fromStdString(value.asString());
  default:
    break;
  }
  if (auto color = value.objectIf<platform::Color>())
    return QColor::fromRgbF(float(color->red()), float(color->green()),
                            float(color->blue()), float(color->alpha()));
  return QString::fromStdString(value.description());
}

} // namespace orb::app
