#include <gtest/gtest.h>

#include "platform/Object.h"

using namespace orb::platform;

namespace {

/// A small model class: plain fields, accessor methods, a computed key with dependencies,
/// a child object and a computed key answered by valueForUndefinedKey.
class Node : public Object {
 public:
  std::string m_name;
  double m_height = 1;
  std::shared_ptr<Node> m_child;
  std::int64_t m_count = 0;

  double width() const { return m_width; }
  void setWidth(double w) { setAndAnnounce("width", m_width, w); }
  double area() const { return m_width * m_height; }

  const KeyTable& keys() const override { return classKeys(); }
  static const KeyTable& classKeys() {
    static const KeyTable table(&Object::classKeys(),
                                {
                                    Keys<Node>::field("name", &Node::m_name),
                                    Keys<Node>::field("height", &Node::m_height),
                                    Keys<Node>::field("child", &Node::m_child),
                                    Keys<Node>::field("count", &Node::m_count),
                                    Keys<Node>::property("width", &Node::width, &Node::setWidth),
                                    Keys<Node>::getter("area", &Node::area).dependsOn({"width", "height"}),
                                });
    return table;
  }

  Value valueForUndefinedKey(std::string_view key) const override {
    if (key == "shout") return m_name + "!";
    return Object::valueForUndefinedKey(key);
  }

 private:
  double m_width = 2;
};

/// A subclass inherits its parent's keys and adds its own.
class LabelledNode : public Node {
 public:
  std::string m_label;
  const KeyTable& keys() const override { return classKeys(); }
  static const KeyTable& classKeys() {
    static const KeyTable table(&Node::classKeys(), {Keys<LabelledNode>::field("label", &LabelledNode::m_label)});
    return table;
  }
};

}  // namespace

TEST(KeyValueCoding, GetsAndSetsFieldsAndAccessors) {
  auto n = makeObject<LabelledNode>();
  n->setValueForKey("name", "front");
  n->setValueForKey("width", 3);
  n->setValueForKey("height", 4.5);
  n->setValueForKey("label", "L1");
  EXPECT_EQ(n->m_name, "front");
  EXPECT_DOUBLE_EQ(n->width(), 3);
  EXPECT_DOUBLE_EQ(n->valueForKey("area").asDouble(), 13.5);
  EXPECT_EQ(n->valueForKey("label").asString(), "L1");
  EXPECT_EQ(n->valueForKey("shout").asString(), "front!");
  EXPECT_THROW(n->setValueForKey("area", 1.0), Exception);  // read-only
  EXPECT_THROW(n->setValueForKey("height", "tall"), Exception);
}

TEST(KeyValueCoding, KeyPathsGoThroughChildrenAndArrays) {
  auto root = makeObject<Node>();
  root->m_child = makeObject<Node>();
  root->m_child->m_name = "inner";
  root->setValueForKeyPath("child.height", 7.0);
  EXPECT_DOUBLE_EQ(root->m_child->m_height, 7.0);
  EXPECT_EQ(root->valueForKeyPath("child.name").asString(), "inner");
  EXPECT_TRUE(root->valueForKeyPath("child.child.name").isNil());  // nil stays nil

  Dictionary d{{"nodes", Array{Value(root), Value(root->m_child)}}, {"meta", Dictionary{{"units", "mm"}}}};
  EXPECT_EQ(valueForKeyPath(Value(d), "nodes.height"), (Array{1.0, 7.0}));
  EXPECT_EQ(valueForKeyPath(Value(d), "nodes.@count").asInt(), 2);
  EXPECT_EQ(valueForKeyPath(Value(d), "meta.units").asString(), "mm");
}

TEST(KeyValueCoding, UndefinedKeysRaiseUnlessOverridden) {
  auto n = makeObject<Node>();
  for (const char* path : {"colour", "child2.name", ""}) {
    SCOPED_TRACE(path);
    try {
      n->valueForKeyPath(path);
      FAIL() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.name(), "NSUnknownKeyException");
      EXPECT_NE(e.reason().find("Node"), std::string::npos) << e.reason();
    }
  }
  EXPECT_THROW(n->setValueForKey("colour", 1), Exception);
}
