#pragma once

#include <clocale>
#include <locale.h>

namespace orb::tracing {

/// While alive, printf-style formatting on this thread uses the C locale: the application
/// takes its locale from the environment, and a listing must read "1.5", never "1,5".
class ClassicNumbers {
 public:
  ClassicNumbers() : m_previous(uselocale(classic())) {}
  ~ClassicNumbers() { uselocale(m_previous); }
  ClassicNumbers(const ClassicNumbers&) = delete;
  ClassicNumbers& operator=(const ClassicNumbers&) = delete;

 private:
  static locale_t classic() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
  }
  locale_t m_previous;
};

}  // namespace orb::tracing
