#pragma once

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace orb::foundation {

// Helpers on arrays. They take any range (std::vector of values or shared pointers, or
// platform::Array); where "nil" is the answer they return a value-initialised element,
// which is null for pointers and nil for Values.

namespace detail {
template <class Range>
using ElementOf = std::remove_cvref_t<decltype(*std::begin(std::declval<const Range&>()))>;

/// The object an element refers to, for identity tests.
template <class T>
const void* identityOf(const std::shared_ptr<T>& p) {
  return p.get();
}
inline const void* identityOf(const platform::Value& v) { return v.isObject() ? v.asObject().get() : nullptr; }
}  // namespace detail

/// True when the very object (pointer identity, not equality) is an element.
template <class Range>
bool containsObjectIdenticalTo(const Range& array, const void* object) {
  if (!object) return false;
  for (const auto& element : array)
    if (detail::identityOf(element) == object) return true;
  return false;
}
template <class Range, class T>
bool containsObjectIdenticalTo(const Range& array, const std::shared_ptr<T>& object) {
  return containsObjectIdenticalTo(array, static_cast<const void*>(object.get()));
}

/// The element at index 0; nil when empty.
template <class Range>
detail::ElementOf<Range> firstObject(const Range& array) {
  if (std::begin(array) == std::end(array)) return {};
  return *std::begin(array);
}

/// The first element, in order, for which the predicate holds; nil when none does.
template <class Range, class Predicate>
detail::ElementOf<Range> firstObjectMatchingPredicate(const Range& array, Predicate&& predicate) {
  for (const auto& element : array)
    if (std::invoke(predicate, element)) return element;
  return {};
}

/// Flattened one level: an element that is an array contributes its elements, any other
/// element itself, in order.
platform::Array merge(const platform::Array& array);
template <class T>
std::vector<T> merge(const std::vector<std::vector<T>>& arrays) {
  std::vector<T> out;
  for (const auto& inner : arrays) out.insert(out.end(), inner.begin(), inner.end());
  return out;
}

/// Each run of consecutive equal elements taken once: every element is compared with the
/// last one taken.
template <class Container, class Equal = std::equal_to<>>
Container runToOne(const Container& array, Equal equal = {}) {
  Container out;
  for (const auto& element : array)
    if (out.empty() || !std::invoke(equal, out.back(), element)) out.push_back(element);
  return out;
}

/// Two consecutive equal elements cancel each other. The walk holds one pending element:
/// an element equal to it drops both, a different one sends the pending one to the output
/// and becomes pending. Elements that become neighbours through a cancellation are not
/// compared again, so (1, 2, 2, 1) gives (1, 1).
template <class Container, class Equal = std::equal_to<>>
Container annihilatePairs(const Container& array, Equal equal = {}) {
  Container out;
  const typename Container::value_type* pending = nullptr;
  for (const auto& element : array) {
    if (!pending) {
      pending = &element;
    } else if (std::invoke(equal, *pending, element)) {
      pending = nullptr;
    } else {
      out.push_back(*pending);
      pending = &element;
    }
  }
  if (pending) out.push_back(*pending);
  return out;
}

/// Self-tests kept for the curious: they log each sample array and its result and check
/// nothing.
void testRunToOne();
void testAnnihilatePairs();

/// Sends each element setValueForKey(key, value) with the values in step; once the values
/// run out the rest get nil. Elements are shared pointers to objects or Values holding
/// objects (nil elements are passed over).
template <class Range>
void setValues(const Range& array, const platform::Array& values, const std::string& key) {
  std::size_t i = 0;
  for (const auto& element : array) {
    const platform::Value value = i < values.size() ? values[i] : platform::Value();
    ++i;
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(element)>, platform::Value>) {
      if (auto object = element.asObject()) object->setValueForKey(key, value);
    } else {
      if (element) element->setValueForKey(key, value);
    }
  }
}

/// The results of the call made on each element with the given argument, in order.
template <class Range, class Selector, class Argument>
auto valueForSelector(const Range& array, Selector&& selector, const Argument& object) {
  using Result = std::remove_cvref_t<std::invoke_result_t<Selector&, const detail::ElementOf<Range>&, const Argument&>>;
  std::vector<Result> out;
  for (const auto& element : array) out.push_back(std::invoke(selector, element, object));
  return out;
}

/// True when every element is an object of class K (or derived from it); true for an
/// empty array. Nil and non-object elements are not of any class.
template <class K, class Range>
bool areKindOfClass(const Range& array) {
  for (const auto& element : array) {
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(element)>, platform::Value>) {
      if (!element.template objectIf<K>()) return false;
    } else {
      if (!std::dynamic_pointer_cast<K>(element)) return false;
    }
  }
  return true;
}

}  // namespace orb::foundation
