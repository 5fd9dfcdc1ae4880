#include <gtest/gtest.h>
#include "model/events.h"
TEST(Smoke, Builds) { EXPECT_EQ(mertovan::DataByteCount(0x90), 2); }
