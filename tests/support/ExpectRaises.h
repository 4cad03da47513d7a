#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/Exception.h"

namespace orb::support {

/// `f` raises the named exception with exactly this reason.
inline void expectRaises(const std::function<void()>& f, const std::string& name, const std::string& reason) {
  try {
    f();
    ADD_FAILURE() << "no exception: " << reason;
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name(), name);
    EXPECT_EQ(e.reason(), reason);
  }
}

}  // namespace orb::support
