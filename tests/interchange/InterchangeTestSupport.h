#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "lens/ArchiveClasses.h"
#include "lens/Lens.h"
#include "lens/Surface.h"
#include "platform/Value.h"

namespace orb::interchange::test {

inline std::string lensFilePath(const std::string& name) { return std::string(ORB_TEST_DATA_DIR) + "/lenses/" + name; }

/// What one read gave: the dictionary (none when given up), the messages and the questions.
struct ReadOutcome {
  std::optional<platform::Dictionary> dictionary;
  std::vector<std::string> messages;
  std::vector<ZemaxTrouble> troubles;

  bool logged(const std::string& part) const {
    for (const auto& m : messages)
      if (m.find(part) != std::string::npos) return true;
    return false;
  }
};

inline ReadOutcome readZemaxText(const std::string& text,
                                 ZemaxTroubleAnswer answer = ZemaxTroubleAnswer::ContinueReading) {
  ReadOutcome outcome;
  ZemaxReadOptions options;
  options.source = "test";
  options.log = [&outcome](const std::string& m) { outcome.messages.push_back(m); };
  options.onTrouble = [&outcome, answer](const ZemaxTrouble& t) {
    outcome.troubles.push_back(t);
    return answer;
  };
  outcome.dictionary = readZemaxString(text, options);
  return outcome;
}

inline ReadOutcome readZemaxFile(const std::string& name,
                                 ZemaxTroubleAnswer answer = ZemaxTroubleAnswer::ContinueReading) {
  std::string why;
  auto decoded = readTextFile(lensFilePath(name), &why);
  EXPECT_TRUE(decoded) << why;
  return decoded ? readZemaxText(decoded->text, answer) : ReadOutcome{};
}

template <class T = lens::Surface>
std::vector<std::shared_ptr<T>> objectsUnder(const platform::Dictionary& d, const char* key) {
  std::vector<std::shared_ptr<T>> out;
  for (const auto& v : d.get(key).asArray()) out.push_back(v.asObject<T>());
  return out;
}

/// A lens made from the dictionary as the document makes it.
inline std::shared_ptr<lens::Lens> lensFromDictionary(const platform::Dictionary& d) {
  static bool registered = (lens::registerArchiveClasses(), true);
  (void)registered;
  auto lens = lens::Lens::create();
  lens->setValuesForDesiredKeysWithDictionary(d);
  return lens;
}

}  // namespace orb::interchange::test
