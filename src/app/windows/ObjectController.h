#pragma once

#include <memory>

#include "platform/Object.h"

namespace orb::app {

/// Holds one object for an interface to bind to: views bind key paths through
/// "selection" (the content itself), so rebinding the whole window is one `setContent`.
/// Keys: "content" (read/write), "selection" (read-only, follows "content").
class ObjectController : public platform::Object {
 public:
  static const platform::KeyTable& classKeys();
  const platform::KeyTable& keys() const override { return classKeys(); }
  std::string className() const override { return "ObjectController"; }

  const std::shared_ptr<platform::Object>& content() const { return m_content; }
  void setContent(std::shared_ptr<platform::Object> content);

 private:
  std::shared_ptr<platform::Object> m_content;
};

}  // namespace orb::app
