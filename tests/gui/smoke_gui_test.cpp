#include <gtest/gtest.h>
TEST(SmokeGui, Runs) { EXPECT_EQ(1 + 1, 2); }
