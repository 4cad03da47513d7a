#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Object.h"

namespace orb::geometry {

/// Carries an object under a key object, the cloak, which alone decides equality and hash:
/// sets of Cloaked hold one entry per distinct key whatever the contents. The content is
/// not owned (the creator keeps it alive); it reads as null once it has gone.
class Cloaked : public platform::Object {
 public:
  Cloaked(const std::shared_ptr<platform::Object>& content, std::shared_ptr<platform::Object> cloak)
      : m_content(content), m_cloak(std::move(cloak)) {}

  static std::shared_ptr<Cloaked> instanceWithContent(const std::shared_ptr<platform::Object>& content,
                                                      std::shared_ptr<platform::Object> cloak) {
    return platform::makeObject<Cloaked>(content, std::move(cloak));
  }

  std::shared_ptr<platform::Object> content() const { return m_content.lock(); }
  const std::shared_ptr<platform::Object>& cloak() const { return m_cloak; }

  /// The cloak's description, a space, the content's.
  std::string description() const override;
  std::string className() const override { return "Cloaked"; }
  std::size_t hash() const override { return m_cloak ? m_cloak->hash() : 0; }
  bool isEqualTo(const platform::Object& other) const override;

 private:
  std::weak_ptr<platform::Object> m_content;
  std::shared_ptr<platform::Object> m_cloak;
};

/// A set of objects under value equality (isEqualTo): equal when both hold equal members,
/// whatever their order, with an order-free hash. The cloak of a curve's necklace.
class ObjectSet : public platform::Object {
 public:
  /// Keeps the first of each run of equal members.
  explicit ObjectSet(const std::vector<std::shared_ptr<platform::Object>>& members);
  template <class T>
  static std::shared_ptr<ObjectSet> setWithObjects(const std::vector<std::shared_ptr<T>>& members) {
    return platform::makeObject<ObjectSet>(std::vector<std::shared_ptr<platform::Object>>(members.begin(), members.end()));
  }

  const std::vector<std::shared_ptr<platform::Object>>& members() const { return m_members; }
  bool containsObject(const platform::Object& object) const;

  /// "{member, member, …}".
  std::string description() const override;
  std::string className() const override { return "ObjectSet"; }
  std::size_t hash() const override { return m_hash; }
  bool isEqualTo(const platform::Object& other) const override;

 private:
  std::vector<std::shared_ptr<platform::Object>> m_members;
  std::size_t m_hash = 0;
};

}  // namespace orb::geometry
