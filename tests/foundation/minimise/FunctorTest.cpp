#include "foundation/minimise/Functor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "foundation/minimise/FunctorWithOffset.h"
#include "foundation/minimise/FunctorXYZ.h"
#include "foundation/minimise/MultivariateFunctor.h"
#include "platform/Exception.h"

namespace orb::foundation {
namespace {

// A target as the system's numeric clients have them: state read by the bound methods.
struct Parabola {
  double scale = 1;
  mutable int calls = 0;
  mutable const VKSeries* lastCoordinate = nullptr;

  double square(double x) const {
    ++calls;
    return scale * x * x;
  }
  double cube(double x) { return x * x * x; }
  XYZ helix(double t) const { return {std::cos(t), std::sin(t), scale * t}; }
  double sumOfSquares(const VKSeries& c) const {
    lastCoordinate = &c;
    return scale * c.sumOfSquares();
  }
};

// A function object that computes its value itself and is never bound, like the theta
// finders of the curves.
class Shifted : public Functor {
 public:
  double valueAt(double x) const override { return x - 2; }
};

template <class F>
void expectRaises(F call, const std::string& reasonWord = "bound") {
  try {
    call();
    ADD_FAILURE() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
    EXPECT_NE(e.reason().find(reasonWord), std::string::npos) << e.reason();
  }
}

TEST(FunctorTest, BoundMethodIsCalledOnTheTargetItself) {
  Parabola p;
  const Functor f = Functor::functorWithObject(p, &Parabola::square);
  EXPECT_EQ(f.valueAt(3), 9);
  p.scale = 2;  // the target is referred to, not copied
  EXPECT_EQ(f.valueAt(3), 18);
  EXPECT_EQ(p.calls, 2);

  const Functor copy(f);  // a copy takes over the binding
  EXPECT_EQ(copy.valueAt(1), 2);
  EXPECT_EQ(Functor([](double x) { return x + 1; }).valueAt(1), 2);
}

TEST(FunctorTest, RebindingChangesValuesAtOnce) {
  Parabola a, b;
  b.scale = 10;
  Functor f(a, &Parabola::square);
  f.setObject(b, &Parabola::square);
  EXPECT_EQ(f.valueAt(2), 40);
  f.setObject(a, &Parabola::cube);  // a non-const method binds the same way
  EXPECT_EQ(f.valueAt(2), 8);
  EXPECT_EQ(a.calls, 0);
}

TEST(FunctorTest, OffsetShiftsAnyFunctor) {
  Parabola p;
  const FunctorWithOffset f(std::make_shared<Functor>(p, &Parabola::square), -4);
  EXPECT_EQ(f.valueAt(3), 5);
  EXPECT_EQ(f.valueAt(2), 0);
  EXPECT_EQ(f.offset(), -4);

  // Wrapping a subclass calls its own valueAt, through the base reference too.
  const FunctorWithOffset g = FunctorWithOffset::functorWithFunctor(std::make_shared<Shifted>(), 1);
  const Functor& asBase = g;
  EXPECT_EQ(asBase.valueAt(5), 4);
  // Offsets nest.
  EXPECT_EQ(FunctorWithOffset(std::make_shared<FunctorWithOffset>(g), 10).valueAt(5), 14);

  expectRaises([] { FunctorWithOffset(nullptr, 1); }, "needs a functor");
}

TEST(FunctorTest, XYZAndMultivariateShapes) {
  Parabola p;
  p.scale = 0.5;
  const FunctorXYZ h = FunctorXYZ::functorWithObject(p, &Parabola::helix);
  EXPECT_EQ(h.xyzValueAt(0), (XYZ{1, 0, 0}));
  EXPECT_EQ(h.xyzValueAt(4).z, 2);

  const MultivariateFunctor m = MultivariateFunctor::multivariateFunctorWithObject(p, &Parabola::sumOfSquares);
  const VKSeries c = VKSeries::seriesWithArray({3, 4});
  EXPECT_EQ(m.valueAtCoordinate(c), 12.5);
  EXPECT_EQ(p.lastCoordinate, &c);  // passed by reference, never copied
}

// Calling a function object that was never bound fails loudly instead of jumping
// through a null pointer; subclasses that compute their own value need no binding.
TEST(FunctorTest, UnboundCallsRaise) {
  expectRaises([] { Functor().valueAt(1); });
  expectRaises([] { FunctorXYZ().xyzValueAt(1); });
  expectRaises([] { MultivariateFunctor().valueAtCoordinate(VKSeries(2)); });
  EXPECT_FALSE(Functor().isBound());
  EXPECT_EQ(Shifted().valueAt(5), 3);
}

}  // namespace
}  // namespace orb::foundation
