#include "optimisation/MeritFunction.h"

#include <cmath>

#include "platform/Coder.h"
#include "platform/Exception.h"
#include "platform/KeyTable.h"
#include "platform/Thread.h"

namespace orb::optimisation {

using platform::Array;
using platform::Dictionary;
using platform::Value;

std::shared_ptr<MeritFunction> MeritFunction::create() {
  auto f = platform::makeObject<MeritFunction>();
  f->nontrivialize();
  return f;
}

const platform::KeyTable& MeritFunction::classKeys() {
  using K = platform::Keys<MeritFunction>;
  static const platform::KeyTable table(
      &foundation::VKObject::classKeys(),
      {
          K::property("name", &MeritFunction::name, &MeritFunction::setName),
          K::property("lens", &MeritFunction::lens, &MeritFunction::setLens),
          K::property("needsEvaluation", &MeritFunction::needsEvaluation, &MeritFunction::setNeedsEvaluation),
          K::property("doubleValue", &MeritFunction::doubleValue, &MeritFunction::setDoubleValue),
          K::property("message", &MeritFunction::message, &MeritFunction::setMessage),
          platform::KeyEntry{"meritoidArray",
                             [](const platform::Object& o) -> Value {
                               Array a;
                               for (const auto& m : static_cast<const MeritFunction&>(o).meritoidArray())
                                 a.push_back(Value(m));
                               return a;
                             },
                             [](platform::Object& o, const Value& v) {
                               Meritoids list;
                               if (!v.isNil())
                                 for (const auto& e : v.asArray()) list.push_back(e.asObject<Meritoid>());
                               static_cast<MeritFunction&>(o).setMeritoidArray(std::move(list));
                             }},
          platform::KeyEntry{"sumOfMeritoids",
                             [](const platform::Object& o) -> Value {
                               double sum = 0;
                               for (const auto& m : static_cast<const MeritFunction&>(o).meritoidArray())
                                 sum += m->contribution();
                               return sum;
                             }}
              .dependsOn({"meritoidArray"}),
          platform::KeyEntry{"contributionSummary",
                             [](const platform::Object& o) -> Value {
                               return static_cast<const MeritFunction&>(o).contributionSummary();
                             }}
              .dependsOn({"doubleValue"}),
      });
  return table;
}

void MeritFunction::nontrivialize() {
  setMeritoidArray({});
  setName("untitled");
}

const std::vector<std::string>& MeritFunction::coderKeys() {
  static const std::vector<std::string> keys{"name", "meritoidArray"};
  return keys;
}

// --- lens ----------------------------------------------------------------------------------------

void MeritFunction::setLens(LensPtr lens) {
  setAndAnnounce("lens", m_lens, lens);
  if (!lens) return;
  for (const auto& m : m_meritoids) {
    if (!m->lens()) m->firstTimeWithLens(lens);
    m->setLens(lens);
  }
}

void MeritFunction::firstTimeWithLens(const LensPtr& lens) {
  for (const auto& m : m_meritoids)
    if (!m->lens()) m->firstTimeWithLens(lens);
}

// --- evaluation ------------------------------------------------------------------------------------

MeritFunction::Meritoids MeritFunction::meritoidsNeedingEvaluation() const {
  Meritoids out;
  for (const auto& m : m_meritoids)
    if (m->needsEvaluation()) out.push_back(m);
  return out;
}

void MeritFunction::evaluateMeritoids(const Meritoids& meritoids) {
  for (const auto& m : meritoids) m->evaluate();
}

void MeritFunction::evaluateList(const Meritoids& list) {
  struct Evaluating {  // cleared also when an operand raises
    bool& flag;
    explicit Evaluating(bool& f) : flag(f) { flag = true; }
    ~Evaluating() { flag = false; }
  } evaluating(m_evaluating);
  evaluateMeritoids(list);
  setMessage({});
  setDoubleValue(sumOfMeritoids());
  setNeedsEvaluation(false);
}

void MeritFunction::evaluate() { evaluateList(meritoidsNeedingEvaluation()); }
void MeritFunction::evaluateAllMeritoids() { evaluateList(m_meritoids); }

double MeritFunction::sumOfMeritoids() {
  double sum = 0;
  double largest = 0;
  std::vector<double> contributions;
  contributions.reserve(m_meritoids.size());
  for (const auto& m : m_meritoids) {
    const double c = m->contribution();
    contributions.push_back(c);
    sum += c;
    if (contributions.size() == 1 || c > largest) largest = c;
  }
  for (std::size_t i = 0; i < m_meritoids.size(); ++i) {
    const double c = contributions[i];
    m_meritoids[i]->setImportance(largest > 0 && std::isfinite(largest) && std::isfinite(c) ? c / largest : 0.0);
  }
  return sum;
}

std::vector<double> MeritFunction::residuals() const {
  std::vector<double> out;
  for (const auto& m : m_meritoids) {
    const std::vector<double> r = m->residuals();
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

Array MeritFunction::residualsUnmerged() const {
  Array out;
  for (const auto& m : m_meritoids) out.push_back(m->residual());
  return out;
}

Array MeritFunction::values() const {
  Array out;
  for (const auto& m : m_meritoids) out.emplace_back(m->displayValue());
  return out;
}

Array MeritFunction::contributionSummary() const {
  Array out;
  for (const auto& m : m_meritoids) {
    Dictionary d;
    d.set("number", m->number());
    d.set("included", m->included());
    d.set("identifier", m->identifier());
    d.set("displayIdentifier", m->displayIdentifier());
    d.set("displayValue", m->displayValue());
    d.set("displayUnits", m->displayUnits());
    d.set("needsEvaluation", m->needsEvaluation());
    out.push_back(std::move(d));
  }
  return out;
}

// --- operands ----------------------------------------------------------------------------------------

void MeritFunction::startWatchingMeritoid(const MeritoidPtr& meritoid) {
  std::vector<platform::Observation> watches;
  watches.push_back(meritoid->addObserver("needsEvaluation", [this](const platform::ObservedChange& c) {
    if (c.newValue.isNumber() && c.newValue.asBool()) setNeedsEvaluation(true);
  }));
  watches.push_back(meritoid->addObserver("contribution", [this](const platform::ObservedChange&) {
    // Contributions change during the merit function's own evaluation.
    if (!m_evaluating) setNeedsEvaluation(true);
  }));
  m_watches[meritoid.get()] = std::move(watches);
  if (m_lens) {
    if (!meritoid->lens()) meritoid->firstTimeWithLens(m_lens);
    meritoid->setLens(m_lens);
  }
  setNeedsEvaluation(true);
}

void MeritFunction::stopWatchingMeritoid(const MeritoidPtr& meritoid) {
  m_watches.erase(meritoid.get());
  if (!isDeallocating()) setNeedsEvaluation(true);
}

void MeritFunction::setMeritoidArray(Meritoids meritoids) {
  if (meritoids == m_meritoids && !meritoids.empty()) return;
  willChangeValueForKey("meritoidArray");
  for (const auto& m : m_meritoids) stopWatchingMeritoid(m);
  m_meritoids = std::move(meritoids);
  for (const auto& m : m_meritoids) startWatchingMeritoid(m);
  didChangeValueForKey("meritoidArray");
}

MeritoidPtr MeritFunction::objectInMeritoidArrayAtIndex(std::size_t index) const {
  if (index >= m_meritoids.size())
    platform::Exception::raise("NSRangeException", "index %zu beyond bounds [0 .. %zu) of the operands", index,
                               m_meritoids.size());
  return m_meritoids[index];
}

void MeritFunction::insertObjectInMeritoidArrayAtIndex(MeritoidPtr meritoid, std::size_t index) {
  if (!meritoid) platform::Exception::raise("NSInvalidArgumentException", "no operand to insert");
  if (index > m_meritoids.size())
    platform::Exception::raise("NSRangeException", "index %zu beyond bounds [0 .. %zu] of the operands", index,
                               m_meritoids.size());
  willChangeValueForKey("meritoidArray");
  startWatchingMeritoid(meritoid);
  m_meritoids.insert(m_meritoids.begin() + static_cast<std::ptrdiff_t>(index), std::move(meritoid));
  didChangeValueForKey("meritoidArray");
}

void MeritFunction::removeObjectFromMeritoidArrayAtIndex(std::size_t index) {
  MeritoidPtr m = objectInMeritoidArrayAtIndex(index);
  willChangeValueForKey("meritoidArray");
  stopWatchingMeritoid(m);
  m_meritoids.erase(m_meritoids.begin() + static_cast<std::ptrdiff_t>(index));
  didChangeValueForKey("meritoidArray");
}

void MeritFunction::willDeallocate() {
  m_watches.clear();
  VKObject::willDeallocate();
}

// --- copy and archive ----------------------------------------------------------------------------------

std::shared_ptr<MeritFunction> MeritFunction::copy() const {
  platform::Synchronized lock(this);
  auto f = create();
  f->setName(m_name);
  Meritoids copies;
  for (const auto& m : m_meritoids) {
    auto c = m->clone();
    c->setLens(nullptr);
    copies.push_back(std::move(c));
  }
  f->setMeritoidArray(std::move(copies));
  f->setDoubleValue(m_doubleValue);
  return f;
}

void MeritFunction::encodeWithCoder(platform::Coder& coder) const {
  if (!coder.allowsKeyedCoding())
    throw platform::Exception("NSInvalidArchiveOperationException", "Class only supports NSKeyedArchiver coders");
  coder.encodeObject("name", m_name);
  Array a;
  for (const auto& m : m_meritoids) a.push_back(Value(m));
  coder.encodeObject("meritoidArray", a);
}

void MeritFunction::initWithCoder(const platform::Coder& coder) {
  if (!coder.allowsKeyedCoding())
    throw platform::Exception("NSInvalidArchiveOperationException", "Class only supports NSKeyedArchiver coders");
  nontrivialize();
  const Value name = coder.decodeObject("name");
  setName(name.isString() ? name.asString() : std::string());
  Meritoids list;
  for (auto& m : coder.decodeArrayOfClass<Meritoid>("meritoidArray")) list.push_back(m->replacementAfterDecoding());
  setMeritoidArray(std::move(list));
}

}  // namespace orb::optimisation
