#include <gtest/gtest.h>
TEST(SmokeWin, Runs) { EXPECT_EQ(1 + 1, 2); }
