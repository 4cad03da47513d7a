#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <limits>

#include <malloc.h>

#include "platform/ArchiveRegistry.h"
#include "platform/Color.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"

using namespace orb::platform;

namespace {

/// A model-like object with scalars, a collection of children and a back pointer.
class Node : public Object {
 public:
  std::string name;
  double weight = 0;
  std::int64_t count = 0;
  bool flag = false;
  Value extra;  // any plain value
  std::vector<std::shared_ptr<Node>> children;
  std::shared_ptr<Node> parent;  // a cycle back up
  bool failToEncode = false;

  void encodeWithCoder(Coder& coder) const override {
    if (failToEncode) throw Exception("OBException", "cannot encode");
    coder.encodeObject("name", name);
    coder.encodeDouble("weight", weight);
    coder.encodeInt("count", count);
    coder.encodeBool("flag", flag);
    coder.encodeObject("extra", extra);
    Array kids;
    for (const auto& c : children) kids.push_back(Value(c));
    coder.encodeObject("children", kids);
    coder.encodeObject("parent", Value(parent));
  }
  void initWithCoder(const Coder& coder) override {
    name = coder.decodeString("name");
    weight = coder.decodeDouble("weight");
    count = coder.decodeInt("count");
    flag = coder.decodeBool("flag");
    extra = coder.decodeObject("extra");
    children = coder.decodeArrayOfClass<Node>("children");
    parent = coder.decodeObjectOfClass<Node>("parent");
  }
};

class Unregistered : public Object {
 public:
  void encodeWithCoder(Coder&) const override {}
};

/// A coder that is not keyed: archiving into it must be refused.
class SequentialCoder : public Coder {};

struct KeyedArchiveTest : ::testing::Test {
  static void SetUpTestSuite() {
    ArchiveRegistry::shared().registerAbstract("TestBase", "NSObject");
    ArchiveRegistry::shared().registerClass<Node>("TestNode", "TestBase");
  }

  static Value everyScalar() {
    return Dictionary{{"true", true},
                      {"false", false},
                      {"int", 42},
                      {"negative", -7},
                      {"large", std::int64_t(1) << 60},
                      {"double", 1.5168},
                      {"nan", std::numeric_limits<double>::quiet_NaN()},
                      {"inf", std::numeric_limits<double>::infinity()},
                      {"-inf", -std::numeric_limits<double>::infinity()},
                      {"string", "N-BK7 \"crown\" ü"},
                      {"empty", ""},
                      {"data", Data{0, 1, 2, 255}},
                      {"array", Array{1, Value(), "x", Array{2.5}}},
                      {7, "numeric key"}};
  }

  /// root ─ a ─ c
  ///      └ b ─┘   (c shared by a and b; every child points back to its parent)
  static std::shared_ptr<Node> graph() {
    auto root = makeObject<Node>();
    root->name = "root";
    root->extra = everyScalar();
    auto a = makeObject<Node>(), b = makeObject<Node>(), c = makeObject<Node>();
    a->name = "a";
    b->name = "b";
    c->name = "c";
    a->weight = -0.25;
    b->count = -3;
    c->flag = true;
    root->children = {a, b};
    a->children = {c};
    b->children = {c};
    a->parent = root;
    b->parent = root;
    c->parent = a;
    return root;
  }

  static void expectGraph(const std::shared_ptr<Node>& root) {
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, "root");
    ASSERT_EQ(root->children.size(), 2u);
    auto a = root->children[0], b = root->children[1];
    EXPECT_EQ(a->name, "a");
    EXPECT_EQ(a->weight, -0.25);
    EXPECT_EQ(b->count, -3);
    ASSERT_EQ(a->children.size(), 1u);
    EXPECT_EQ(a->children[0], b->children[0]) << "shared object came back as two";
    EXPECT_TRUE(a->children[0]->flag);
    EXPECT_EQ(a->parent, root) << "cycle not restored";
    EXPECT_EQ(a->children[0]->parent, a);

    const Dictionary& d = root->extra.asDictionary();
    Dictionary expected = everyScalar().asDictionary();
    for (const auto& [k, v] : expected) {
      SCOPED_TRACE(k.description());
      ASSERT_TRUE(d.contains(k));
      if (k == Value("nan"))
        EXPECT_TRUE(std::isnan(d.get(k).asDouble()));
      else
        EXPECT_EQ(d.get(k), v);
      EXPECT_EQ(d.get(k).kind(), v.kind());
    }
    // Graph cycles must be broken by hand: the test owns them.
    for (auto& n : {root, a, b, a->children[0]}) n->parent.reset();
  }
};

}  // namespace

TEST_F(KeyedArchiveTest, BinaryAndXmlRoundTripsKeepValuesSharingAndCycles) {
  auto root = graph();
  for (PlistFormat format : {PlistFormat::Binary, PlistFormat::XML}) {
    SCOPED_TRACE(format == PlistFormat::Binary ? "binary" : "xml");
    Data archive = KeyedArchiver::archivedDataWithRootObject(Value(root), format);
    expectGraph(KeyedUnarchiver::unarchiveObjectWithData(archive).asObject<Node>());
  }
  for (auto& c : root->children) c->parent.reset();
  root->children[0]->children[0]->parent.reset();
}

TEST_F(KeyedArchiveTest, LayoutIsTheKeyedArchiveForm) {
  auto node = makeObject<Node>();
  node->name = "solo";
  Value plist = plist::parse(KeyedArchiver::archivedDataWithRootObject(Value(node)));
  const Dictionary& top = plist.asDictionary();
  EXPECT_EQ(top.get("$archiver").asString(), "NSKeyedArchiver");
  EXPECT_EQ(top.get("$version").asInt(), 100000);
  const Array& objects = top.get("$objects").asArray();
  EXPECT_EQ(objects[0].asString(), "$null");
  // The class entry names the class and its superclasses.
  bool found = false;
  for (const auto& o : objects)
    if (o.isDictionary() && o.asDictionary().get("$classname") == Value("TestNode")) {
      EXPECT_EQ(o.asDictionary().get("$classes"), (Array{"TestNode", "TestBase", "NSObject"}));
      found = true;
    }
  EXPECT_TRUE(found);
}

TEST_F(KeyedArchiveTest, DamagedArchivesRaiseCleanExceptions) {
  Data good = KeyedArchiver::archivedDataWithRootObject(Value(graph()));
  int raised = 0;
  for (std::size_t n = 0; n < good.size(); ++n) {
    Data truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    try {
      KeyedUnarchiver::unarchiveObjectWithData(truncated);
    } catch (const Exception& e) {
      EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
      ++raised;
    }
  }
  EXPECT_EQ(raised, static_cast<int>(good.size()));

  auto archiveFromXml = [](const std::string& objects) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                      "<key>$archiver</key><string>NSKeyedArchiver</string>"
                      "<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>1</integer></dict></dict>"
                      "<key>$objects</key><array><string>$null</string>" +
                      objects + "</array></dict></plist>";
    return Data(xml.begin(), xml.end());
  };
  const auto uid = [](int n) { return "<dict><key>CF$UID</key><integer>" + std::to_string(n) + "</integer></dict>"; };
  // $objects: 0 $null, 1 the dictionary {"k": value}, 2 its class, 3 "k".
  const auto dictionaryWithValue = [&](std::int64_t value) {
    return "<dict><key>NS.keys</key><array>" + uid(3) + "</array><key>NS.objects</key><array>" +
           "<dict><key>CF$UID</key><integer>" + std::to_string(value) + "</integer></dict></array><key>$class</key>" +
           uid(2) + "</dict><dict><key>$classname</key><string>NSDictionary</string></dict><string>k</string>";
  };
  struct Row {
    const char* name;
    std::string objects;
    const char* reasonWord;
  };
  const Row rows[] = {
      {"unregistered-class",
       "<dict><key>$class</key>" + uid(2) + "</dict><dict><key>$classname</key><string>NSTask</string></dict>",
       "NSTask"},
      {"reference-past-end", "<dict><key>NS.objects</key><array>" + uid(9) + "</array><key>$class</key>" + uid(2) +
                                 "</dict><dict><key>$classname</key><string>NSArray</string></dict>",
       "past the end"},
      // A dictionary's value reference was once counted before it was range-checked: one
      // past the end read beyond the table, one far past crashed. Both are refused naming
      // the collection that holds the reference, before any is counted or decoded.
      {"dictionary-value-just-past-end", dictionaryWithValue(4), "NSDictionary holds a reference past the end"},
      {"dictionary-value-far-past-end", dictionaryWithValue(2000000000), "NSDictionary holds a reference past the end"},
      {"array-contains-itself", "<dict><key>NS.objects</key><array>" + uid(1) + "</array><key>$class</key>" + uid(2) +
                                    "</dict><dict><key>$classname</key><string>NSArray</string></dict>",
       "contains itself"},
      {"object-without-class", "<dict><key>name</key><string>x</string></dict>", "$class"},
      {"wrong-class-for-key", "<dict><key>parent</key>" + uid(3) + "<key>$class</key>" + uid(2) +
                                  "</dict><dict><key>$classname</key><string>TestNode</string></dict><string>oops</string>",
       "wrong class"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    try {
      KeyedUnarchiver::unarchiveObjectWithData(archiveFromXml(r.objects));
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
      EXPECT_NE(e.reason().find(r.reasonWord), std::string::npos) << e.reason();
    }
  }
}

TEST_F(KeyedArchiveTest, OnlyKeyedCodersAndRegisteredClassesArchive) {
  SequentialCoder sequential;
  try {
    Color(1, 0, 0).encodeWithCoder(sequential);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_EQ(e.reason(), "Require NSKeyedArchiver");
  }
  EXPECT_THROW(KeyedArchiver::archivedDataWithRootObject(Value(makeObject<Unregistered>())), Exception);
  EXPECT_THROW(KeyedArchiver::archivedDataWithRootObject(Value(makeObject<Node>()->reference())), Exception);
}

TEST_F(KeyedArchiveTest, FailedSaveLeavesTheOldFileWhole) {
  auto dir = std::filesystem::temp_directory_path() / ("orb-archive-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "lens.orb").string();
  auto good = makeObject<Node>();
  good->name = "good";
  KeyedArchiver::archiveRootObjectToFile(Value(good), path);

  auto bad = makeObject<Node>();
  bad->failToEncode = true;
  EXPECT_THROW(KeyedArchiver::archiveRootObjectToFile(Value(bad), path), Exception);
  EXPECT_THROW(KeyedArchiver::archiveRootObjectToFile(Value(good), (dir / "missing" / "x.orb").string()), Exception);
  EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithFile(path).asObject<Node>()->name, "good");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1)
      << "temporary files left behind";
  std::filesystem::remove_all(dir);
}

TEST(ColorArchive, ColoursTravelAsData) {
  auto c = Color::make(0.25, 0.5, 1.0, 0.75);
  auto back = Color::fromArchivedData(c->archivedData());
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isEqualTo(*c));
  EXPECT_EQ(Color::fromArchivedData(Data{1, 2, 3}), nullptr);
}

TEST(PropertyListLocale, RealsAreWrittenAndReadWithADecimalPointInEveryLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE locale installed";
  Data xml = plist::serialize(Array{0.5, 1.5168}, PlistFormat::XML);
  Value back = plist::parse(xml);
  std::setlocale(LC_NUMERIC, saved.c_str());
  std::string text(xml.begin(), xml.end());
  EXPECT_NE(text.find("<real>0.5"), std::string::npos) << text;
  EXPECT_EQ(back, (Array{0.5, 1.5168}));
}

namespace {

/// `levels` arrays, each holding the next one twice: written out in full, 2^levels arrays.
Value sharedChain(int levels) {
  Value v = Array{};
  for (int i = 0; i < levels; ++i) v = Array{v, v};
  return v;
}

}  // namespace

TEST_F(KeyedArchiveTest, SharedCollectionsAreArchivedOnce) {
  const Value chain = sharedChain(16);
  const Value shared = Dictionary{{"a", Dictionary{{"x", 1}}}};
  const Value root = Array{chain, shared, shared, Value(Data{1, 2, 3})};
  for (auto format : {PlistFormat::Binary, PlistFormat::XML}) {
    const Data archive = KeyedArchiver::archivedDataWithRootObject(root, format);
    EXPECT_LT(archive.size(), 8000u);
    const Value back = KeyedUnarchiver::unarchiveObjectWithData(archive);
    EXPECT_EQ(back, root);
    const auto& a = back.asArray();
    EXPECT_EQ(a[1].storage(), a[2].storage()) << "sharing survives the round trip";
    EXPECT_EQ(a[0].asArray()[0].storage(), a[0].asArray()[1].storage());
  }
}

// Decoding keeps shared collections shared; whatever walks them meets every copy, so an
// archive whose collections expand beyond reason is refused when read.
TEST_F(KeyedArchiveTest, CollectionsThatExpandBeyondReasonAreRefused) {
  const Data archive = KeyedArchiver::archivedDataWithRootObject(Dictionary{{"printInfo", sharedChain(40)}});
  ASSERT_LT(archive.size(), 10000u);
  try {
    KeyedUnarchiver::unarchiveObjectWithData(archive);
    FAIL() << "decoded";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), "NSInvalidArchiveOperationException");
    EXPECT_NE(e.reason().find("expand"), std::string::npos) << e.reason();
  }
  EXPECT_NO_THROW(KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(sharedChain(12))));
}

// Every refusal after parsing frees the parsed tree: refusing the same damaged archive
// many times must not grow the heap.
TEST_F(KeyedArchiveTest, RefusedArchivesLeaveNothingAllocated) {
  const Data bulky(256 * 1024, 7);
  struct Case {
    const char* name;
    Value root;
  };
  const std::vector<Case> cases = {
      {"no-objects", Dictionary{{"$top", Dictionary{}}, {"bulk", bulky}}},
      {"no-top", Dictionary{{"$objects", Array{"$null"}}, {"bulk", bulky}}},
      {"not-a-dictionary", Array{Value(bulky)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Data archive = plist::serialize(c.root, PlistFormat::Binary);
    EXPECT_THROW(KeyedUnarchiver unarchiver(archive), Exception);  // the allocator warms up
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 100; ++i) EXPECT_THROW(KeyedUnarchiver unarchiver(archive), Exception);
    EXPECT_LT(mallinfo2().uordblks, before + 2 * bulky.size()) << "parsed trees leaked";
  }
}
