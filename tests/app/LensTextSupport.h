#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

#include "interchange/LensDictionary.h"
#include "interchange/ZemaxWriter.h"
#include "lens/Lens.h"

namespace orb::app::testing {

/// A lens as Zemax text: two lenses are the same when their texts are.
inline std::string zemaxText(const lens::Lens& lens) {
  return interchange::zemaxStringForModel(interchange::lensDictionaryFromLens(lens));
}

/// Two Zemax texts of the same lens: the same words, numbers equal to 1e-9 relative (a
/// regenerated solve may differ in the last digit).
inline ::testing::AssertionResult sameLens(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string wa, wb;
  while (true) {
    const bool ha = bool(sa >> wa), hb = bool(sb >> wb);
    if (!ha || !hb) return ha == hb ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "lengths differ";
    if (wa == wb) continue;
    char* ea = nullptr;
    char* eb = nullptr;
    const double da = std::strtod(wa.c_str(), &ea), db = std::strtod(wb.c_str(), &eb);
    if (*ea || *eb || std::abs(da - db) > 1e-9 * std::max(std::abs(da), std::abs(db)))
      return ::testing::AssertionFailure() << wa << " != " << wb << "\n" << a << "\n" << b;
  }
}

}  // namespace orb::app::testing
