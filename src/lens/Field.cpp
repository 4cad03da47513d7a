#include "lens/Field.h"

#include <cmath>

#include "platform/Coder.h"
#include "platform/Color.h"
#include "platform/Exception.h"

namespace orb::lens {

using platform::format;
using platform::Keys;

std::shared_ptr<Field> Field::field() { return platform::makeObject<Field>(); }

void Field::setX(double x) { setAndAnnounce("x", m_x, x); }
void Field::setY(double y) { setAndAnnounce("y", m_y, y); }
void Field::setWeight(double weight) { setAndAnnounce("weight", m_weight, weight); }
void Field::setPXA(double v) { setAndAnnounce("PXA", m_PXA, v); }
void Field::setPXB(double v) { setAndAnnounce("PXB", m_PXB, v); }
void Field::setPYA(double v) { setAndAnnounce("PYA", m_PYA, v); }
void Field::setPYB(double v) { setAndAnnounce("PYB", m_PYB, v); }

double Field::r() const { return std::sqrt(m_x * m_x + m_y * m_y); }

// Written as "not equal" so that a NaN factor reads as vignetted.
bool Field::vignetted() const {
  return !(m_PXA == kDefaultPXA) || !(m_PXB == kDefaultPXB) || !(m_PYA == kDefaultPYA) || !(m_PYB == kDefaultPYB);
}

std::string Field::description() const { return format("Field(x=%g,y=%g,w=%g)", m_x, m_y, m_weight); }
std::string Field::shortDescription() const { return format("%g,%g", m_x, m_y); }
std::string Field::descriptionX() const { return format("x=%g y=%g", m_x, m_y); }
std::string Field::descriptionY() const {
  return format("x=%g y=%g w = %g PXA = %g PXB = %g PYA = %g PYB = %g", m_x, m_y, m_weight, m_PXA, m_PXB, m_PYA, m_PYB);
}

std::shared_ptr<Field> Field::copy() const {
  auto f = field();
  f->m_x = m_x;
  f->m_y = m_y;
  f->m_weight = m_weight;
  f->m_PXA = m_PXA;
  f->m_PXB = m_PXB;
  f->m_PYA = m_PYA;
  f->m_PYB = m_PYB;
  f->setColor(color());  // colours are immutable, so sharing one is a copy
  f->setColorNumber(colorNumber());
  return f;
}

void Field::encodeWithCoder(platform::Coder& coder) const {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Field only supports NSKeyedArchiver coders");
  coder.encodeDouble("x", m_x);
  coder.encodeDouble("y", m_y);
  coder.encodeDouble("weight", m_weight);
  coder.encodeObject("color", platform::Value(color()));
  // Defaults are left out, so files of fields without vignetting stay as they always were.
  if (!(m_PXA == kDefaultPXA)) coder.encodeDouble("PXA", m_PXA);
  if (!(m_PXB == kDefaultPXB)) coder.encodeDouble("PXB", m_PXB);
  if (!(m_PYA == kDefaultPYA)) coder.encodeDouble("PYA", m_PYA);
  if (!(m_PYB == kDefaultPYB)) coder.encodeDouble("PYB", m_PYB);
}

void Field::initWithCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    platform::Exception::raise("NSInvalidArchiveOperationException", "Field only supports NSKeyedArchiver coders");
  setX(coder.decodeDouble("x"));
  setY(coder.decodeDouble("y"));
  setWeight(coder.decodeDouble("weight"));
  setColor(coder.decodeObjectOfClass<platform::Color>("color"));
  setPXA(coder.containsValueForKey("PXA") ? coder.decodeDouble("PXA") : kDefaultPXA);
  setPXB(coder.containsValueForKey("PXB") ? coder.decodeDouble("PXB") : kDefaultPXB);
  setPYA(coder.containsValueForKey("PYA") ? coder.decodeDouble("PYA") : kDefaultPYA);
  setPYB(coder.containsValueForKey("PYB") ? coder.decodeDouble("PYB") : kDefaultPYB);
}

const platform::KeyTable& Field::classKeys() {
  using K = Keys<Field>;
  static const platform::KeyTable table(
      &VKColoredObject::classKeys(),
      {
          K::property("x", &Field::x, &Field::setX),
          K::property("y", &Field::y, &Field::setY),
          K::property("weight", &Field::weight, &Field::setWeight),
          K::property("PXA", &Field::PXA, &Field::setPXA),
          K::property("PXB", &Field::PXB, &Field::setPXB),
          K::property("PYA", &Field::PYA, &Field::setPYA),
          K::property("PYB", &Field::PYB, &Field::setPYB),
          K::getter("r", &Field::r).dependsOn({"x", "y"}),
          K::getter("vignetted", &Field::vignetted).dependsOn({"PXA", "PXB", "PYA", "PYB"}),
          K::getter("description", &Field::description).dependsOn({"x", "y", "weight"}),
          K::getter("shortDescription", &Field::shortDescription).dependsOn({"x", "y"}),
          K::getter("descriptionX", &Field::descriptionX).dependsOn({"x", "y"}),
          K::getter("descriptionY", &Field::descriptionY)
              .dependsOn({"x", "y", "weight", "PXA", "PXB", "PYA", "PYB"}),
      });
  return table;
}

}  // namespace orb::lens
