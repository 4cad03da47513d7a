#include "app/tables/Formatters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace orb::app {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::shared_ptr<const Formatter> named(const char *name) {
  auto formatter = formatterNamed(name);
  EXPECT_NE(formatter, nullptr) << name;
  return formatter;
}

TEST(Formatters, EveryFormatterIsRegisteredUnderItsClassName) {
  for (const char *name :
       {"GFormatter", "CircleRadiusFormatter", "RadiusFormatter",
        "ThicknessFormatter", "RefractiveIndexFormatter", "ScientificFormatter",
        "ScientificFormatter2", "HexNumberFormatter", "CharacterBlockFormatter",
        "PositiveFiniteNumberFormatter"}) {
    auto formatter = formatterNamed(name);
    ASSERT_NE(formatter, nullptr) << name;
    EXPECT_EQ(formatter->className(), name);
  }
  EXPECT_EQ(formatterNamed("NoSuchFormatter"), nullptr);
}

struct DisplayCase {
  const char *formatter;
  platform::Value value;
  const char *text; // null: no text
};

TEST(Formatters, DisplayTexts) {
  const double nan = std::nan("");
  const std::vector<DisplayCase> cases = {
      {"RadiusFormatter", 25.4, "25.4000"},
      {"RadiusFormatter", 123456.7, "1.2346e+05"},
      {"RadiusFormatter", 100000.0, "100000.0000"},
      {"RadiusFormatter", -100000.5, "-1.0000e+05"},
      {"RadiusFormatter", -kInf, "-infinity"},
      {"RadiusFormatter", kInf, "infinity"},
      {"RadiusFormatter", std::int64_t(-3), "-3.0000"},
      {"RadiusFormatter", "25", nullptr},
      {"ThicknessFormatter", 5.0, "5.000"},
      {"ThicknessFormatter", 100000.0, "100000.000"},
      {"ThicknessFormatter", 100001.0, "1.0000e+05"},
      {"ThicknessFormatter", kInf, "infinity"},
      {"RefractiveIndexFormatter", 1.5168, " 1.516800"},
      {"RefractiveIndexFormatter", 150.0, "1.50e+02"},
      {"RefractiveIndexFormatter", 100.0, "100.000000"},
      {"RefractiveIndexFormatter", nan, "invalid"},
      {"RefractiveIndexFormatter", -kInf, "invalid"},
      {"ScientificFormatter", 1.5, " 1.500000e+00"},
      {"ScientificFormatter", -1.5, "-1.500000e+00"},
      {"ScientificFormatter", kInf, " infinity"},
      {"ScientificFormatter", -kInf, "-infinity"},
      {"ScientificFormatter2", 1.5, " 1.50e+00"},
      {"ScientificFormatter2", -0.000123, "-1.23e-04"},
      {"GFormatter", 0.1, "0.1"},
      {"GFormatter", 1e-7, "1e-07"},
      {"GFormatter", nan, "infinity"},
      {"GFormatter", -kInf, "-infinity"},
      {"GFormatter", " 2.5 mm", "2.5"},
      {"GFormatter", "abc", "undefined"},
      {"GFormatter", platform::Value(), "undefined"},
      {"CircleRadiusFormatter", 0.0, "0 (all rays)"},
      {"CircleRadiusFormatter", 2.5, "2.5"},
      {"HexNumberFormatter", std::int64_t(19), "19"},
      {"HexNumberFormatter", 37.0, "37"},
      {"CharacterBlockFormatter", "  BK7 glass ", "BK7"},
      {"CharacterBlockFormatter", 5.0, ""},
      {"PositiveFiniteNumberFormatter", 1.25, "1.25"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.formatter) + " of " + c.value.description());
    const QString text = named(c.formatter)->stringForObjectValue(c.value);
    if (!c.text)
      EXPECT_TRUE(text.isNull()) << text.toStdString();
    else
      EXPECT_EQ(text, QString::fromLatin1(c.text));
  }
  // The circle radius edits as the plain number, which reads back as 0.
  auto circle = named("CircleRadiusFormatter");
  EXPECT_EQ(circle->editingStringForObjectValue(0.0), "0");
}

struct ParseCase {
  const char *formatter;
  const char *text;
  bool ok;
  double value; // when ok
};

TEST(Formatters, TypedTexts) {
  const std::vector<ParseCase> cases = {
      // A word reads as infinity, signed by a leading minus; a leading number
      // wins.
      {"RadiusFormatter", "inf", true, kInf},
      {"RadiusFormatter", "-flat", true, -kInf},
      {"RadiusFormatter", "12abc", true, 12},
      {"RadiusFormatter", "  -25.4 ", true, -25.4},
      {"RadiusFormatter", "1.5e6", true, 1.5e6},
      {"RadiusFormatter", "", true, kInf},
      {"RadiusFormatter", "1,5", false, 0}, // a decimal comma would read as 1
      {"ThicknessFormatter", "- word", true, -kInf},
      {"ThicknessFormatter", "3.25", true, 3.25},
      {"RefractiveIndexFormatter", "glass", true, 1.0},
      {"RefractiveIndexFormatter", "-x", true, 1.0},
      {"RefractiveIndexFormatter", " 1.5168", true, 1.5168},
      {"ScientificFormatter", "abc", true, 0},
      {"ScientificFormatter", "-2.5e-3", true, -2.5e-3},
      {"GFormatter", "undefined", false, 0},
      {"GFormatter", "   ", false, 0},
      {"GFormatter", "", false, 0},
      {"GFormatter", "inf", true, kInf},
      {"GFormatter", "-inf", true, -kInf},
      {"GFormatter", "3.5", true, 3.5},
      {"CircleRadiusFormatter", "-3", true, 0},
      {"CircleRadiusFormatter", "", true, kInf},
      {"CircleRadiusFormatter", "-abc", true, kInf},
      {"CircleRadiusFormatter", "0 (all rays)", true, 0},
      {"HexNumberFormatter", "10", true, 19},
      {"HexNumberFormatter", "7", true, 7},
      {"HexNumberFormatter", "0", true, 1},
      {"HexNumberFormatter", "-5", true, 1},
      {"HexNumberFormatter", "62", true, 91},
      {"HexNumberFormatter", "2", true, 7},
      {"HexNumberFormatter", "letters", false, 0},
      {"HexNumberFormatter", "1,000", false, 0},
      {"HexNumberFormatter", "12.7", true, 19},
      {"HexNumberFormatter", "99999999999999", false, 0},
      {"PositiveFiniteNumberFormatter", " 2.5 ", true, 2.5},
      {"PositiveFiniteNumberFormatter", "inf", false, 0},
      {"PositiveFiniteNumberFormatter", "-inf", false, 0},
      {"PositiveFiniteNumberFormatter", "scale", false, 0},
      {"PositiveFiniteNumberFormatter", "0", false, 0},
      {"PositiveFiniteNumberFormatter", "-1", false, 0},
      {"PositiveFiniteNumberFormatter", "2x", false, 0},
      {"PositiveFiniteNumberFormatter", "1e400", false, 0},
      {"PositiveFiniteNumberFormatter", "", false, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.formatter) + " reading \"" + c.text + "\"");
    platform::Value out = -42.0;
    QString error;
    const bool ok =
        named(c.formatter)
            ->getObjectValue(out, QString::fromUtf8(c.text), &error);
    EXPECT_EQ(ok, c.ok);
    if (ok) {
      ASSERT_TRUE(out.isNumber());
      EXPECT_EQ(out.asDouble(), c.value);
    } else {
      EXPECT_FALSE(error.isEmpty());
      EXPECT_EQ(out.asDouble(), -42.0) << "a refused text wrote a value";
    }
  }
  QString error;
  platform::Value out;
  EXPECT_FALSE(named("HexNumberFormatter")->getObjectValue(out, "abc", &error));
  EXPECT_EQ(error, "Must be a number");
  ASSERT_TRUE(named("HexNumberFormatter")->getObjectValue(out, "8", &error));
  EXPECT_EQ(out.kind(), platform::Value::Kind::Integer);
  ASSERT_TRUE(
      named("CharacterBlockFormatter")->getObjectValue(out, " a b ", &error));
  EXPECT_EQ(out.asString(), " a b ");
}

// The plain entry fields of the optimiser, merit and slider windows: a NaN or a word must
// never reach a lens value, and infinity only where the field allows it (limits, targets).
TEST(Formatters, TypedNumbersAreWholeFiniteOrAllowedInfinities) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    const char* text;
    bool allowInfinity;
    std::optional<double> expected;
  };
  const Row rows[] = {
      {" 1.5 ", false, 1.5}, {"-2e3", false, -2000}, {"abc", false, std::nullopt}, {"1.5mm", false, std::nullopt},
      {"nan", true, std::nullopt}, {"", true, std::nullopt},   {"inf", false, std::nullopt}, {"inf", true, inf},
      {"-INF", true, -inf},    {"1e400", false, std::nullopt}, {"1e400", true, std::nullopt},  // overflow is refused, not taken for infinity
  };
  for (const Row& row : rows) {
    const auto got = orb::app::typedNumber(QString::fromUtf8(row.text), row.allowInfinity);
    EXPECT_EQ(got.has_value(), row.expected.has_value()) << row.text;
    if (got && row.expected) EXPECT_EQ(*got, *row.expected) << row.text;
  }
}

TEST(Formatters, CanBeInfiniteKeepsTheWordRule) {
  ScientificFormatter formatter;
  formatter.setCanBeInfinite(true);
  platform::Value out;
  ASSERT_TRUE(formatter.getObjectValue(out, "none", nullptr));
  EXPECT_EQ(out.asDouble(), kInf);
  ASSERT_TRUE(formatter.getObjectValue(out, "-none", nullptr));
  EXPECT_EQ(out.asDouble(), -kInf);
}

TEST(Formatters, FormattedNumbersReadBackWithinTheShownPrecision) {
  const std::vector<double> values = {0.0,         25.4,     -37.21187, 1e-3,
                                      99999.99994, 123456.7, -1e7,      1.5168,
                                      kInf,        -kInf};
  struct Precision {
    const char *formatter;
    double fixedHalfUlp;    // half a unit in the last fixed digit
    double relativeHalfUlp; // half a unit in the last mantissa digit, in
                            // exponent notation
  };
  for (const Precision p : {Precision{"RadiusFormatter", 0.5e-4, 0.5e-4},
                            Precision{"ThicknessFormatter", 0.5e-3, 0.5e-4},
                            Precision{"ScientificFormatter", 0, 0.5e-6},
                            Precision{"ScientificFormatter2", 0, 0.5e-2},
                            Precision{"GFormatter", 0, 0.5e-5}}) {
    auto formatter = named(p.formatter);
    for (double v : values) {
      if (std::isinf(v) && std::string(p.formatter).starts_with("Scientific"))
        continue; // infinity reads as 0 there
      SCOPED_TRACE(std::string(p.formatter) + " round trip of " +
                   std::to_string(v));
      platform::Value back;
      const QString text = formatter->stringForObjectValue(v);
      ASSERT_TRUE(formatter->getObjectValue(back, text, nullptr))
          << text.toStdString();
      if (std::isinf(v)) {
        EXPECT_EQ(back.asDouble(), v);
      } else {
        const double tolerance =
            std::max(p.fixedHalfUlp, p.relativeHalfUlp * std::abs(v)) *
            1.0000001;
        EXPECT_NEAR(back.asDouble(), v, tolerance) << text.toStdString();
      }
    }
  }
  // Indices in the fixed form keep six decimals.
  platform::Value back;
  ASSERT_TRUE(named("RefractiveIndexFormatter")
                  ->getObjectValue(back,
                                   named("RefractiveIndexFormatter")
                                       ->stringForObjectValue(1.51680049),
                                   nullptr));
  EXPECT_NEAR(back.asDouble(), 1.5168, 0.5e-6);
}

TEST(Formatters, HexagonalRoundingMatchesCountingRings) {
  // Reference: grow the rings one by one until they hold n points.
  for (std::int64_t n = -3; n <= 3000; ++n) {
    std::int64_t rings = 0, points = 1;
    while (points < n)
      points += 6 * ++rings;
    ASSERT_EQ(centredHexagonalCeiling(n), points) << n;
  }
  const std::int64_t largest = HexNumberFormatter::maximumCount();
  EXPECT_LE(largest, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(centredHexagonalCeiling(largest), largest);
  EXPECT_EQ(centredHexagonalCeiling(largest - 1), largest);
}

TEST(Formatters, FormatStringsMustConvertOneDouble) {
  ScientificFormatter formatter;
  EXPECT_EQ(formatter.formatString(), "%.6e");
  EXPECT_FALSE(formatter.canBeInfinite());
  for (const char *bad : {"%s", "%d", "%e %e", "%n", "%*e", "%.*e", "text", "%",
                          "%ld", "%.100e"}) {
    EXPECT_FALSE(formatter.setFormatString(bad)) << bad;
    EXPECT_EQ(formatter.formatString(), "%.6e");
  }
  for (const char *good : {"%.3e", "%g", "%+10.2f", "%% %.1E %%"})
    EXPECT_TRUE(formatter.setFormatString(good)) << good;
  ASSERT_TRUE(formatter.setFormatString("%.1f mm"));
  EXPECT_EQ(formatter.stringForObjectValue(2.25), " 2.2 mm");
  EXPECT_EQ(ScientificFormatter2().formatString(), "%.2e");
}

// Restores the process locale when the test ends.
class CommaLocale {
public:
  CommaLocale()
      : m_saved(std::setlocale(LC_ALL, nullptr)
                    ? std::setlocale(LC_ALL, nullptr)
                    : "C") {
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8"})
      if (std::setlocale(LC_ALL, name)) {
        m_ok = true;
        break;
      }
  }
  ~CommaLocale() { std::setlocale(LC_ALL, m_saved.c_str()); }
  bool ok() const { return m_ok; }

private:
  std::string m_saved;
  bool m_ok = false;
};

TEST(Formatters, NumbersIgnoreADecimalCommaLocale) {
  CommaLocale comma;
  if (!comma.ok())
    GTEST_SKIP() << "no de_DE locale installed";
  ASSERT_EQ(std::string(localeconv()->decimal_point), ",");
  EXPECT_EQ(named("RadiusFormatter")->stringForObjectValue(25.4), "25.4000");
  EXPECT_EQ(named("ThicknessFormatter")->stringForObjectValue(123456.0),
            "1.2346e+05");
  EXPECT_EQ(named("RefractiveIndexFormatter")->stringForObjectValue(1.5168),
            " 1.516800");
  EXPECT_EQ(named("ScientificFormatter")->stringForObjectValue(1.5),
            " 1.500000e+00");
  EXPECT_EQ(named("GFormatter")->stringForObjectValue(0.1), "0.1");
  platform::Value out;
  ASSERT_TRUE(named("RadiusFormatter")->getObjectValue(out, "25.4", nullptr));
  EXPECT_EQ(out.asDouble(), 25.4);
  ASSERT_TRUE(named("PositiveFiniteNumberFormatter")
                  ->getObjectValue(out, "0.5", nullptr));
  EXPECT_EQ(out.asDouble(), 0.5);
  EXPECT_FALSE(named("RadiusFormatter")->getObjectValue(out, "25,4", nullptr));
}

TEST(FormatterDelegate, ShowsEditsAndRefusesThroughTheFormatter) {
  QStandardItemModel model(1, 1);
  model.setData(model.index(0, 0), 25.4, Qt::EditRole);
  FormatterDelegate delegate(formatterNamed("RadiusFormatter"));
  EXPECT_EQ(delegate.displayText(model.index(0, 0).data(Qt::EditRole),
                                 QLocale(QLocale::German)),
            "25.4000");

  QWidget parent;
  QStyleOptionViewItem option;
  std::unique_ptr<QWidget> editor(
      delegate.createEditor(&parent, option, model.index(0, 0)));
  auto *line = qobject_cast<QLineEdit *>(editor.get());
  ASSERT_NE(line, nullptr);
  delegate.setEditorData(line, model.index(0, 0));
  EXPECT_EQ(line->text(), "25.4000");

  line->setText("flat");
  delegate.setModelData(line, &model, model.index(0, 0));
  EXPECT_EQ(model.index(0, 0).data(Qt::EditRole).toDouble(), kInf);

  QSignalSpy refused(&delegate, &FormatterDelegate::entryRefused);
  line->setText("1,5");
  delegate.setModelData(line, &model, model.index(0, 0));
  EXPECT_EQ(model.index(0, 0).data(Qt::EditRole).toDouble(), kInf)
      << "a refused text changed the cell";
  ASSERT_EQ(refused.count(), 1);
  EXPECT_EQ(refused.at(0).at(1).toString(), "1,5");

  // Return on a refused text keeps the editor open; on a good one it commits.
  line->installEventFilter(&delegate);
  QSignalSpy commits(&delegate, &QAbstractItemDelegate::commitData);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(line, &enter);
  QApplication::processEvents(); // the delegate commits on a queued call
  EXPECT_EQ(commits.count(), 0);
  EXPECT_EQ(refused.count(), 2);
  line->setText("-12.5");
  QApplication::sendEvent(line, &enter);
  QApplication::processEvents();
  EXPECT_EQ(commits.count(), 1);
}

} // namespace
} // namespace orb::app
