#include "app/tables/ValueTransformers.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cmath>
#include <string>

#include "platform/Color.h"
#include "platform/Exception.h"

namespace orb::app {
namespace {

TEST(ValueTransformers, TheSevenAreRegisteredByNameInOrder) {
  // main() ran OBAppDel::initialize().
  const std::vector<std::string> expected = {"GenericDoubleToStringTransformer",
                                             "BooleanNoIsRedTransformer",
                                             "ColorToImageTransformer",
                                             "IntLogBaseTwoTransformer",
                                             "ImportanceToImageTransformer",
                                             "LogBaseTwoTransformer",
                                             "VKIsNotUnity"};
  auto names = ValueTransformer::valueTransformerNames();
  ASSERT_GE(names.size(), expected.size());
  names.resize(expected.size());
  EXPECT_EQ(names, expected);
  for (const auto &name : expected)
    EXPECT_EQ(ValueTransformer::valueTransformerForName(name)->className(),
              name);
  EXPECT_EQ(ValueTransformer::valueTransformerForName("DegreesTransformer"),
            nullptr);
}

struct ForwardCase {
  const char *name;
  std::shared_ptr<ValueTransformer> transformer;
  platform::Value in;
  QVariant out;
};

TEST(ValueTransformers, ForwardRules) {
  const double inf = HUGE_VAL;
  const std::vector<ForwardCase> cases = {
      {"int-log2 of 1", std::make_shared<IntLogBaseTwoTransformer>(), 1,
       qlonglong(0)},
      {"int-log2 of 2", std::make_shared<IntLogBaseTwoTransformer>(), 2,
       qlonglong(1)},
      {"int-log2 of 3", std::make_shared<IntLogBaseTwoTransformer>(), 3,
       qlonglong(2)},
      {"int-log2 of 1024", std::make_shared<IntLogBaseTwoTransformer>(), 1024,
       qlonglong(10)},
      {"int-log2 of 1025", std::make_shared<IntLogBaseTwoTransformer>(), 1025,
       qlonglong(11)},
      {"int-log2 of 0", std::make_shared<IntLogBaseTwoTransformer>(), 0,
       qlonglong(0)},
      {"NA 0.5 in degrees", std::make_shared<DegreesTransformer>(), 0.5, 60.0},
      {"NA 1.2 in degrees", std::make_shared<DegreesTransformer>(), 1.2, 180.0},
      {"curvature 0.02", std::make_shared<OBCurvatureToRadiusTransformer>(),
       0.02, 50.0},
      {"flat curvature", std::make_shared<OBCurvatureToRadiusTransformer>(),
       0.0, inf},
      {"1 is unity", std::make_shared<VKIsNotUnity>(), 1, false},
      {"1.7 is unity", std::make_shared<VKIsNotUnity>(), 1.7, false},
      {"2 is not unity", std::make_shared<VKIsNotUnity>(), 2, true},
      {"%g of 0.1", std::make_shared<GenericDoubleToStringTransformer>(), 0.1,
       QString("0.1")},
      {"%g of 1e-7", std::make_shared<GenericDoubleToStringTransformer>(), 1e-7,
       QString("1e-07")},
      {"%g of nil",
       std::make_shared<GenericDoubleToStringTransformer>(),
       {},
       QVariant()},
      {"log2 of 8", std::make_shared<LogBaseTwoTransformer>(), 8.0, 3.0},
      {"false is red", std::make_shared<BooleanNoIsRedTransformer>(), false,
       QColor(Qt::red)},
      {"true is nothing", std::make_shared<BooleanNoIsRedTransformer>(), true,
       QVariant()},
      {"not found is nothing", std::make_shared<VKFoundIndex>(), kNotFoundIndex,
       QVariant()},
      {"found index passes", std::make_shared<VKFoundIndex>(), 4, qlonglong(4)},
      {"no picture for a formula",
       std::make_shared<FormulaNameToImageURLTransformer>(), "NoSuchFormula",
       QVariant()},
      {"colour of nil",
       std::make_shared<ColorToImageTransformer>(),
       {},
       QVariant()},
      {"importance of text", std::make_shared<ImportanceToImageTransformer>(),
       "high", QVariant()},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const QVariant out = c.transformer->transformedValue(c.in);
    if (!c.out.isValid()) {
      EXPECT_FALSE(out.isValid());
    } else if (c.out.typeId() == QMetaType::Double &&
               !std::isinf(c.out.toDouble())) {
      EXPECT_NEAR(out.toDouble(), c.out.toDouble(),
                  1e-9 * std::max(1.0, std::abs(c.out.toDouble())));
    } else {
      EXPECT_EQ(out, c.out);
    }
  }
}

struct ReverseCase {
  const char *name;
  std::shared_ptr<ValueTransformer> transformer;
  QVariant in;
  double out;
};

TEST(ValueTransformers, ReverseRules) {
  const std::vector<ReverseCase> cases = {
      {"int-log2 back from 0", std::make_shared<IntLogBaseTwoTransformer>(), 0,
       1},
      {"int-log2 back from 10", std::make_shared<IntLogBaseTwoTransformer>(),
       10, 1024},
      {"int-log2 back from 70 saturates",
       std::make_shared<IntLogBaseTwoTransformer>(), 70, std::ldexp(1.0, 62)},
      {"degrees 60", std::make_shared<DegreesTransformer>(), 60.0, 0.5},
      {"degrees -60", std::make_shared<DegreesTransformer>(), -60.0, 0.5},
      {"degrees 200", std::make_shared<DegreesTransformer>(), 200.0, 1},
      {"radius +inf", std::make_shared<OBCurvatureToRadiusTransformer>(),
       HUGE_VAL, 0},
      {"radius -inf", std::make_shared<OBCurvatureToRadiusTransformer>(),
       -HUGE_VAL, 0},
      {"radius 0", std::make_shared<OBCurvatureToRadiusTransformer>(), 0.0, 0},
      {"radius 50", std::make_shared<OBCurvatureToRadiusTransformer>(), 50.0,
       0.02},
      {"text without number",
       std::make_shared<GenericDoubleToStringTransformer>(), QString("abc"), 0},
      {"text with number", std::make_shared<GenericDoubleToStringTransformer>(),
       QString(" 2.5e3 mm"), 2500},
      {"log2 back", std::make_shared<LogBaseTwoTransformer>(), 3.0, 8},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.transformer->allowsReverseTransformation());
    EXPECT_NEAR(c.transformer->reverseTransformedValue(c.in).asDouble(), c.out,
                1e-12 * std::max(1.0, c.out));
  }
  try {
    VKIsNotUnity().reverseTransformedValue(true);
    ADD_FAILURE() << "a one-way transformer transformed back";
  } catch (const platform::Exception &e) {
    EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
  }
}

// The powers-of-two transformer of sliders and steppers: forward log2 x, with log2 0 =
// -infinity and no real log of a negative number; back 2^x rounded to the nearest whole
// number, halves away from zero, as an integer while one can hold it.
TEST(ValueTransformers, LogBaseTwoIntStepsInWholePowersOfTwo) {
  auto transformer = ValueTransformer::valueTransformerWithClassName("LogBaseTwoIntTransformer");
  ASSERT_NE(transformer, nullptr);
  ASSERT_TRUE(transformer->allowsReverseTransformation());

  struct Forward {
    double in, out;
  };
  for (const Forward& c : {Forward{1, 0}, Forward{2, 1}, Forward{1024, 10}, Forward{0.5, -1}, Forward{0.25, -2},
                           Forward{3, 1.5849625007211562}, Forward{6, 2.584962500721156}}) {
    SCOPED_TRACE(c.in);
    EXPECT_NEAR(transformer->transformedValue(c.in).toDouble(), c.out, 1e-15 * std::max(1.0, std::abs(c.out)));
  }
  EXPECT_EQ(transformer->transformedValue(0.0).toDouble(), -HUGE_VAL);
  EXPECT_TRUE(std::isnan(transformer->transformedValue(-4.0).toDouble()));

  struct Reverse {
    double in;
    std::int64_t out;  // round(2^in)
  };
  for (const Reverse& c : {Reverse{0, 1}, Reverse{1, 2}, Reverse{10, 1024}, Reverse{62, std::int64_t(1) << 62},
                           Reverse{-1, 1},    // 0.5: the half goes away from zero
                           Reverse{-2, 0},    // 0.25
                           Reverse{-30, 0},   // 9.3e-10
                           Reverse{0.5, 1},   // 1.414
                           Reverse{1.5, 3},   // 2.828
                           Reverse{2.5, 6},   // 5.657
                           Reverse{3.3, 10}}) {  // 9.849
    SCOPED_TRACE(c.in);
    const platform::Value v = transformer->reverseTransformedValue(c.in);
    ASSERT_EQ(v.kind(), platform::Value::Kind::Integer);
    EXPECT_EQ(v.asInt(), c.out);
  }
  // 2^63 and beyond no longer fit a 64-bit integer: the power itself, as a double.
  const platform::Value huge = transformer->reverseTransformedValue(70.0);
  EXPECT_EQ(huge.kind(), platform::Value::Kind::Double);
  EXPECT_EQ(huge.asDouble(), std::ldexp(1.0, 70));
}

TEST(ValueTransformers, ImagesShowTranslucencyAndImportance) {
  // A half-transparent white swatch: grey and opaque over the black upper-left
  // triangle, still translucent beyond it.
  const QImage swatch = ColorToImageTransformer()
                            .transformedValue(platform::Value(
                                platform::Color::make(1, 1, 1, 0.5)))
                            .value<QImage>()
                            .convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(swatch.size(), QSize(16, 16));
  EXPECT_EQ(qAlpha(swatch.pixel(2, 8)), 255);
  EXPECT_NEAR(qGray(swatch.pixel(2, 8)), 128, 2);
  EXPECT_NEAR(qAlpha(swatch.pixel(13, 8)), 128, 2);
  EXPECT_EQ(qGray(swatch.pixel(13, 8)), 255);

  const QImage bar =
      ImportanceToImageTransformer().transformedValue(0.25).value<QImage>();
  ASSERT_EQ(bar.size(), QSize(128, 16));
  EXPECT_EQ(QColor(bar.pixel(16, 8)),
            QColor(153, 102, 51)); // inside the quarter
  EXPECT_NE(QColor(bar.pixel(64, 8)), QColor(153, 102, 51)); // beyond it
}

TEST(ValueTransformers, EveryClassIsMadeByName) {
  const std::vector<std::string> classes = {"GenericDoubleToStringTransformer",
                                            "BooleanNoIsRedTransformer",
                                            "ColorToImageTransformer",
                                            "ImportanceToImageTransformer",
                                            "LogBaseTwoTransformer",
                                            "IntLogBaseTwoTransformer",
                                            "VKIsNotUnity",
                                            "FormulaNameToImageURLTransformer",
                                            "DegreesTransformer",
                                            "OBCurvatureToRadiusTransformer",
                                            "VKFoundIndex"};
  for (const auto &name : classes) {
    auto transformer = ValueTransformer::valueTransformerWithClassName(name);
    ASSERT_NE(transformer, nullptr) << name;
    EXPECT_EQ(transformer->className(), name);
  }
  EXPECT_EQ(
      ValueTransformer::valueTransformerWithClassName("NoSuchTransformer"),
      nullptr);
  // Named by class, the unregistered ones still work both ways.
  auto degrees =
      ValueTransformer::valueTransformerWithClassName("DegreesTransformer");
  EXPECT_NEAR(degrees->transformedValue(0.5).toDouble(), 60, 1e-12);
  EXPECT_NEAR(degrees->reverseTransformedValue(60.0).asDouble(), 0.5, 1e-12);
}

TEST(ValueTransformers, NumbersIgnoreADecimalCommaLocale) {
  const std::string saved =
      std::setlocale(LC_ALL, nullptr) ? std::setlocale(LC_ALL, nullptr) : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8") &&
      !std::setlocale(LC_ALL, "de_DE.utf8"))
    GTEST_SKIP() << "no de_DE locale installed";
  GenericDoubleToStringTransformer generic;
  const QString text = generic.transformedValue(2.5).toString();
  const double back =
      generic.reverseTransformedValue(QString(" 2.5e3 mm")).asDouble();
  const double logOfText =
      LogBaseTwoTransformer().transformedValue(std::string("0.25")).toDouble();
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, "2.5");
  EXPECT_EQ(back, 2500);
  EXPECT_EQ(logOfText, -2);
}

} // namespace
} // namespace orb::app
