#pragma once

#include "foundation/polynomial/Polynomial.h"

namespace orb::foundation {

/// c·x^i·y^j.
using TwoMonomial = Monomial<2>;

/// A polynomial in x and y: the sag of polynomial surfaces, with the gradient and Taylor
/// expansion derived by differentiation.
class TwoPolynomial final : public MonomialPolynomial<2, TwoPolynomial> {
 public:
  using MonomialPolynomial::at;
  double at(double x, double y) const {
    const double p[2] = {x, y};
    return at(p);
  }
};

}  // namespace orb::foundation
