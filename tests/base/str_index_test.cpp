#include "base/str_index.h"

#include <string>
#include <vector>

#include "test_util.h"

class StrIndexTest : public ArenaTest {};

TEST_F(StrIndexTest, FirstValueStaysAndLookupsSurviveGrowth) {
  StrIndex ix;
  strindex_init(&ix, &arena, 0);
  std::vector<std::string> keys;
  for (int i = 0; i < 5000; i++) keys.push_back("/proc/irq/" + std::to_string(i));
  for (size_t i = 0; i < keys.size(); i++) {
    EXPECT_TRUE(strindex_add(&ix, &arena, StrView{keys[i].data(), keys[i].size()},
                             static_cast<uint32_t>(i), nullptr));
  }
  uint32_t v = 0, existing = 0;
  EXPECT_FALSE(strindex_add(&ix, &arena, sv("/proc/irq/42"), 7, &existing));
  EXPECT_EQ(existing, 42u);
  for (size_t i = 0; i < keys.size(); i += 97) {
    ASSERT_TRUE(strindex_find(&ix, StrView{keys[i].data(), keys[i].size()}, &v));
    EXPECT_EQ(v, i);
  }
  EXPECT_FALSE(strindex_find(&ix, sv("/proc/irq/5000"), &v));
  EXPECT_FALSE(strindex_find(&ix, kNoneView, &v));
  // An empty key is a key like any other.
  EXPECT_TRUE(strindex_add(&ix, &arena, sv(""), 9, nullptr));
  ASSERT_TRUE(strindex_find(&ix, sv(""), &v));
  EXPECT_EQ(v, 9u);
  EXPECT_EQ(ix.count, keys.size() + 1);
}

TEST_F(StrIndexTest, SizedOnceNeverRegrows) {
  StrIndex ix;
  strindex_init(&ix, &arena, 1000);
  StrIndexSlot* slots = ix.slots;
  for (uint32_t i = 0; i < 1000; i++) {
    strindex_add(&ix, &arena, arena_sprintf(&arena, "k%u", i), i, nullptr);
  }
  EXPECT_EQ(ix.slots, slots);
}
