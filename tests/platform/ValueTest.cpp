#include "platform/Value.h"

#include <gtest/gtest.h>

using namespace orb::platform;

TEST(Value, Placeholder) { EXPECT_TRUE(Value().isNil()); }
