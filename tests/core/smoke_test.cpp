#include <gtest/gtest.h>
#include "engine/externs.h"
TEST(Smoke, Builds) { systeminit(); EXPECT_EQ(Current_State.Ns, 40); }
