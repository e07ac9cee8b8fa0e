#include "base/arena.h"

#include <gtest/gtest.h>

TEST(Arena, Smoke) {
  Arena a;
  arena_init(&a);
  void* p = arena_alloc(&a, 0);
  EXPECT_NE(p, nullptr);
  EXPECT_EQ(a.total, 16u);
  arena_release(&a);
}
