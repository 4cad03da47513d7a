#include "app/tables/Formatters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QScopeGuard>
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
        "PositiveFiniteNumberFormatter", "SemidiameterFormatter"}) {
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
      // Only "inf" words mean infinity, and only in a radius; a word is no
      // number, nor is a number with text after it.
      {"RadiusFormatter", "inf", true, kInf},
      {"RadiusFormatter", "-flat", false, 0},
      {"RadiusFormatter", "12abc", false, 0},
      {"RadiusFormatter", "  -25.4 ", true, -25.4},
      {"RadiusFormatter", "1.5e6", true, 1.5e6},
      {"RadiusFormatter", "", false, 0},
      {"RadiusFormatter", "1,5", false, 0}, // a decimal comma would read as 1
      {"ThicknessFormatter", "- word", false, 0},
      {"ThicknessFormatter", "3.25", true, 3.25},
      {"RefractiveIndexFormatter", "glass", false, 0},
      {"RefractiveIndexFormatter", "-x", false, 0},
      {"RefractiveIndexFormatter", " 1.5168", true, 1.5168},
      {"ScientificFormatter", "abc", false, 0},
      {"ScientificFormatter", "-2.5e-3", true, -2.5e-3},
      {"GFormatter", "undefined", false, 0},
      {"GFormatter", "   ", false, 0},
      {"GFormatter", "", false, 0},
      {"GFormatter", "inf", false, 0},
      {"GFormatter", "-inf", false, 0},
      {"GFormatter", "3.5", true, 3.5},
      {"CircleRadiusFormatter", "-3", true, 0},
      {"CircleRadiusFormatter", "", false, 0},
      {"CircleRadiusFormatter", "-abc", false, 0},
      {"CircleRadiusFormatter", "0 (all rays)", true, 0},
      {"SemidiameterFormatter", "12.5", true, 12.5},
      {"SemidiameterFormatter", "0", true, 0},
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

// Every number-reading formatter reads a typed text by the one rule: the whole
// text is one finite number, infinity only where the quantity can be infinite
// (a flat radius, the object distance, a coefficient allowed to be), and no
// word, NaN, overflow, trailing text or decimal comma is ever read as a number.
TEST(Formatters, EveryFormatterReadsTypedTextsByTheOneRule) {
  const std::vector<std::pair<const char *, std::shared_ptr<const Formatter>>>
      formatters = {
          {"GFormatter", named("GFormatter")},
          {"CircleRadiusFormatter", named("CircleRadiusFormatter")},
          {"RadiusFormatter", named("RadiusFormatter")},
          {"ThicknessFormatter", named("ThicknessFormatter")},
          {"object distance", std::make_shared<ThicknessFormatter>(true)},
          {"SemidiameterFormatter", named("SemidiameterFormatter")},
          {"RefractiveIndexFormatter", named("RefractiveIndexFormatter")},
          {"ScientificFormatter", named("ScientificFormatter")},
          {"ScientificFormatter canBeInfinite",
           std::make_shared<ScientificFormatter>("%.6e", true)},
          {"HexNumberFormatter", named("HexNumberFormatter")},
          {"PositiveFiniteNumberFormatter",
           named("PositiveFiniteNumberFormatter")},
      };
  const std::optional<double> no;
  const std::optional<double> allNo[] = {no, no, no, no, no, no,
                                         no, no, no, no, no};
  struct Row {
    const char *text;
    std::vector<std::optional<double>> expected; // in the order above
  };
  const auto refusedByAll = [&](const char *text) {
    return Row{text, {std::begin(allNo), std::end(allNo)}};
  };
  const std::vector<Row> rows = {
      refusedByAll("abc"),
      refusedByAll("NaN"),
      refusedByAll("nan"),
      refusedByAll("1e400"),
      refusedByAll("-1e400"),
      {"inf", {no, no, kInf, no, kInf, no, no, no, kInf, no, no}},
      {"-Infinity", {no, no, -kInf, no, -kInf, no, no, no, -kInf, no, no}},
      {"  25.4  ",
       {25.4, 25.4, 25.4, 25.4, 25.4, 25.4, 25.4, 25.4, 25.4, 37.0, 25.4}},
      refusedByAll("12abc"),
      {"-3", {-3.0, 0.0, -3.0, -3.0, -3.0, no, -3.0, -3.0, -3.0, 1.0, no}},
      refusedByAll("1,5"),
      refusedByAll(""),
  };
  for (const Row &row : rows) {
    ASSERT_EQ(row.expected.size(), formatters.size()) << row.text;
    for (std::size_t i = 0; i < formatters.size(); ++i) {
      SCOPED_TRACE(std::string(formatters[i].first) + " reading \"" +
                   row.text + "\"");
      platform::Value out = -42.0;
      QString error;
      const bool ok = formatters[i].second->getObjectValue(
          out, QString::fromUtf8(row.text), &error);
      ASSERT_EQ(ok, row.expected[i].has_value());
      if (ok) {
        EXPECT_EQ(out.asDouble(), *row.expected[i]);
      } else {
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(out.asDouble(), -42.0) << "a refused text wrote a value";
      }
    }
  }
}

// The reasons name the typed text, and a refused edit's message what is kept.
TEST(Formatters, RefusalsSayWhy) {
  const struct {
    const char *formatter;
    const char *text;
    const char *reason;
  } cases[] = {
      {"RadiusFormatter", " abc ", "\"abc\" is not a number"},
      {"RadiusFormatter", "12abc", "\"12abc\" is not a number"},
      {"RadiusFormatter", "1e400", "\"1e400\" is too large a number"},
      {"RadiusFormatter", "1,5", "\"1,5\" needs a decimal point (.), not a comma"},
      {"ThicknessFormatter", "inf", "\"inf\" is not a finite number"},
      {"SemidiameterFormatter", "-3", "\"-3\" is negative"},
      {"HexNumberFormatter", "abc", "Must be a number"},
      {"HexNumberFormatter", "1,000", "Must be a number without separators"},
  };
  for (const auto &c : cases) {
    platform::Value out;
    QString error;
    EXPECT_FALSE(named(c.formatter)->getObjectValue(out, c.text, &error));
    EXPECT_EQ(error.toStdString(), c.reason) << c.formatter;
  }
  EXPECT_EQ(keptValueMessage("\"abc\" is not a number", "Radius", " 25.4000"),
            "\"abc\" is not a number: the radius keeps 25.4000");
  EXPECT_EQ(keptValueMessage("\"x\" is not a number", "PXA", ""),
            "\"x\" is not a number: the PXA keeps its value");
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
      {"+Infinity", true, inf}, {"infinit", true, std::nullopt}, {"1,5", true, std::nullopt}, {"12 ", false, 12},
      {"-1e400", true, std::nullopt}, {"0x10", false, std::nullopt},
  };
  for (const Row& row : rows) {
    const auto got = orb::app::typedNumber(QString::fromUtf8(row.text), row.allowInfinity);
    EXPECT_EQ(got.has_value(), row.expected.has_value()) << row.text;
    if (got && row.expected) EXPECT_EQ(*got, *row.expected) << row.text;
  }
}

TEST(Formatters, CanBeInfiniteTakesOnlyTheInfinityWords) {
  ScientificFormatter formatter;
  platform::Value out;
  EXPECT_FALSE(formatter.getObjectValue(out, "inf", nullptr));
  formatter.setCanBeInfinite(true);
  ASSERT_TRUE(formatter.getObjectValue(out, "INFINITY", nullptr));
  EXPECT_EQ(out.asDouble(), kInf);
  ASSERT_TRUE(formatter.getObjectValue(out, "-inf", nullptr));
  EXPECT_EQ(out.asDouble(), -kInf);
  EXPECT_FALSE(formatter.getObjectValue(out, "none", nullptr));
  EXPECT_FALSE(formatter.getObjectValue(out, "-none", nullptr));
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
      if (std::isinf(v) && std::string(p.formatter) != "RadiusFormatter")
        continue; // only a radius can be infinite
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

// A user whose locale writes "1.500" for fifteen hundred: the texts the program
// shows ("1.500" is a thickness of 1.5) still read back as shown.
TEST(Formatters, TypedNumbersReadAlikeInEveryUserLocale) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const auto restore = qScopeGuard([&] { QLocale::setDefault(saved); });
  for (const bool allowInfinity : {false, true}) {
    EXPECT_EQ(typedNumber("1.500", allowInfinity), 1.5);
    EXPECT_EQ(typedNumber("1,5", allowInfinity), std::nullopt);
  }
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

  line->setText("inf");
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
