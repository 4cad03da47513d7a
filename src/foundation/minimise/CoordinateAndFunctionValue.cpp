#include "foundation/minimise/CoordinateAndFunctionValue.h"

#include "platform/Exception.h"

namespace orb::foundation {

std::string CoordinateAndFunctionValue::detailedDescription() const {
  return platform::format("%s->%g", m_coordinate.detailedDescription().c_str(), m_f);
}

std::string CoordinateResidualsAndFunctionValue::detailedDescription() const {
  return platform::format("%s->%s->%g", m_coordinate.detailedDescription().c_str(),
                          m_residuals ? m_residuals->detailedDescription().c_str() : "(nil)", m_f);
}

}  // namespace orb::foundation
