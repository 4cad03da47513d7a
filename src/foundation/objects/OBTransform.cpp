#include "foundation/objects/OBTransform.h"

#include <sstream>

#include "platform/Exception.h"
#include "platform/Log.h"

namespace orb::foundation {

XYZTensor OBTransform::tensorToGlobal(const XYZTensor& localTensor) const {
  const XYZTensor r = rotationBlock(m_localToGlobal);
  return tensorMultiply(tensorMultiply(r, localTensor), tensorTranspose(r));
}

std::string OBTransform::dumpDescription() const {
  const TransformationMatrix product = m_localToGlobal * m_globalToLocal;
  std::string s = platform::format("OBTransform %p dumpToLog\n", static_cast<const void*>(this));
  for (int r = 0; r < 4; ++r) {
    const auto& a = m_localToGlobal;
    const auto& b = m_globalToLocal;
    const auto& p = product;
    s += platform::format(
        "%6.3f %6.3f %6.3f %10.3e  |  %6.3f %6.3f %6.3f %10.3e  |  %6.3f %6.3f %6.3f %6.3f\n", a(r, 0), a(r, 1),
        a(r, 2), a(r, 3), b(r, 0), b(r, 1), b(r, 2), b(r, 3), p(r, 0), p(r, 1), p(r, 2), p(r, 3));
  }
  return s;
}

void OBTransform::dumpToLog() const {
  std::istringstream lines(dumpDescription());
  for (std::string line; std::getline(lines, line);) platform::logText(line);
}

}  // namespace orb::foundation
