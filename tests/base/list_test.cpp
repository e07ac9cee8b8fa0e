#include "base/list.h"

#include <string>
#include <vector>

#include "test_util.h"

class ListTest : public ArenaTest {};

TEST_F(ListTest, CapacityGrowsFromEightByDoubling) {
  StrList l{};
  EXPECT_EQ(l.capacity, 0u);
  std::vector<size_t> caps;
  for (int i = 0; i < 70; i++) {
    strlist_add(&arena, &l, arena_sprintf(&arena, "%d", i));
    if (caps.empty() || caps.back() != l.capacity) caps.push_back(l.capacity);
  }
  EXPECT_EQ(caps, (std::vector<size_t>{8, 16, 32, 64, 128}));
  ASSERT_EQ(l.count, 70u);
  for (int i = 0; i < 70; i++) EXPECT_EQ(str(l[i]), std::to_string(i));
}

TEST_F(ListTest, GrowsInPlaceWhileLatestAllocation) {
  List<int64_t> l{};
  for (int i = 0; i < 8; i++) list_push(&arena, &l, int64_t{i});
  int64_t* first = l.items;
  list_push(&arena, &l, int64_t{8});
  EXPECT_EQ(l.items, first);
  for (int i = 9; i < 16; i++) list_push(&arena, &l, int64_t{i});
  arena_alloc(&arena, 16);
  list_push(&arena, &l, int64_t{16});
  EXPECT_NE(l.items, first);
  int64_t sum = 0;
  for (int64_t v : l) sum += v;
  EXPECT_EQ(sum, 16 * 17 / 2);
}

TEST_F(ListTest, GrowReturnsAZeroedItem) {
  struct Rec {
    int a;
    StrView b;
  };
  List<Rec> l{};
  for (int i = 0; i < 20; i++) {
    Rec* r = list_grow(&arena, &l);
    EXPECT_EQ(r->a, 0);
    EXPECT_EQ(r->b.ptr, nullptr);
    r->a = i + 1;
  }
  EXPECT_EQ(l[19].a, 20);
  // A list emptied by resetting its count reuses its storage; the slots it
  // hands out again are still zeroed.
  l.count = 0;
  Rec* again = list_grow(&arena, &l);
  EXPECT_EQ(again, &l[0]);
  EXPECT_EQ(again->a, 0);
  EXPECT_EQ(again->b.ptr, nullptr);
}

TEST_F(ListTest, ContainsDistinguishesAbsentItems) {
  StrList l{};
  EXPECT_FALSE(strlist_contains(&l, sv("a")));
  EXPECT_FALSE(strlist_contains(&l, kNoneView));
  strlist_add(&arena, &l, sv("a"));
  strlist_add(&arena, &l, sv(""));
  EXPECT_TRUE(strlist_contains(&l, sv("a")));
  EXPECT_TRUE(strlist_contains(&l, sv("")));
  EXPECT_FALSE(strlist_contains(&l, sv("b")));
  EXPECT_FALSE(strlist_contains(&l, kNoneView));
  strlist_add(&arena, &l, kNoneView);
  EXPECT_TRUE(strlist_contains(&l, kNoneView));
}

TEST_F(ListTest, SortIsBytewise) {
  StrList l{};
  for (const char* s : {"/proc/irq/2", "/proc/irq/10", "b", "B", "", "/proc/irq/1", "ab", "a"}) {
    strlist_add(&arena, &l, sv(s));
  }
  strlist_sort(&l);
  std::vector<std::string> got;
  for (StrView s : l) got.push_back(str(s));
  EXPECT_EQ(got, (std::vector<std::string>{"", "/proc/irq/1", "/proc/irq/10", "/proc/irq/2", "B",
                                           "a", "ab", "b"}));
  StrList empty{};
  strlist_sort(&empty);
  EXPECT_EQ(empty.count, 0u);
}

TEST_F(ListTest, KvLookupAnswersWithTheLastPair) {
  KvList kv{};
  EXPECT_EQ(kv_get(&kv, "a").ptr, nullptr);
  EXPECT_FALSE(kv_has(&kv, "a"));
  kv_add(&arena, &kv, sv("isolcpus"), sv("1-3"));
  kv_add(&arena, &kv, sv("quiet"), kNoneView);
  kv_add(&arena, &kv, sv("isolcpus"), sv("2-5"));
  kv_add(&arena, &kv, sv("empty"), sv(""));
  EXPECT_EQ(str(kv_get(&kv, "isolcpus")), "2-5");
  EXPECT_TRUE(kv_has(&kv, "quiet"));
  EXPECT_EQ(kv_get(&kv, "quiet").ptr, nullptr);
  EXPECT_FALSE(kv_has(&kv, "isol"));
  EXPECT_EQ(str(kv_get(&kv, "empty")), "");
  EXPECT_NE(kv_get(&kv, "empty").ptr, nullptr);
  // A none key matches only entries whose key is none.
  EXPECT_EQ(kv_get(&kv, nullptr).ptr, nullptr);
  EXPECT_FALSE(kv_has(&kv, nullptr));
  kv_add(&arena, &kv, kNoneView, sv("orphan"));
  EXPECT_EQ(str(kv_get(&kv, nullptr)), "orphan");
  EXPECT_TRUE(kv_has(&kv, nullptr));
  // Indexed, the answers are the same; a later pair drops the index.
  kv_index(&arena, &kv);
  EXPECT_EQ(str(kv_get(&kv, "isolcpus")), "2-5");
  EXPECT_TRUE(kv_has(&kv, "quiet"));
  EXPECT_FALSE(kv_has(&kv, "isol"));
  EXPECT_EQ(str(kv_get(&kv, nullptr)), "orphan");
  kv_add(&arena, &kv, sv("isolcpus"), sv("7"));
  EXPECT_EQ(str(kv_get(&kv, "isolcpus")), "7");
}

TEST_F(ListTest, KvIsEnabled) {
  KvList kv{};
  kv_add(&arena, &kv, sv("CONFIG_Y"), sv("y"));
  kv_add(&arena, &kv, sv("CONFIG_M"), sv("m"));
  kv_add(&arena, &kv, sv("CONFIG_N"), sv("n"));
  kv_add(&arena, &kv, sv("CONFIG_YES"), sv("yes"));
  kv_add(&arena, &kv, sv("CONFIG_BARE"), kNoneView);
  kv_add(&arena, &kv, sv("CONFIG_LATER"), sv("y"));
  kv_add(&arena, &kv, sv("CONFIG_LATER"), sv("n"));
  EXPECT_TRUE(kv_is_enabled(&kv, "CONFIG_Y"));
  EXPECT_TRUE(kv_is_enabled(&kv, "CONFIG_M"));
  EXPECT_FALSE(kv_is_enabled(&kv, "CONFIG_N"));
  EXPECT_FALSE(kv_is_enabled(&kv, "CONFIG_YES"));
  EXPECT_FALSE(kv_is_enabled(&kv, "CONFIG_BARE"));
  EXPECT_FALSE(kv_is_enabled(&kv, "CONFIG_LATER"));
  EXPECT_FALSE(kv_is_enabled(&kv, "CONFIG_MISSING"));
}

TEST_F(ListTest, KvGetInt) {
  KvList kv{};
  kv_add(&arena, &kv, sv("HZ"), sv("1000"));
  kv_add(&arena, &kv, sv("NEG"), sv(" -5 "));
  kv_add(&arena, &kv, sv("EMPTY"), sv(""));
  kv_add(&arena, &kv, sv("BARE"), kNoneView);
  kv_add(&arena, &kv, sv("HEX"), sv("0x10"));
  kv_add(&arena, &kv, sv("TEXT"), sv("\"250\""));
  int64_t v = 7;
  EXPECT_TRUE(kv_get_int(&kv, "HZ", &v));
  EXPECT_EQ(v, 1000);
  EXPECT_TRUE(kv_get_int(&kv, "NEG", &v));
  EXPECT_EQ(v, -5);
  v = 7;
  for (const char* k : {"EMPTY", "BARE", "HEX", "TEXT", "MISSING"}) {
    EXPECT_FALSE(kv_get_int(&kv, k, &v)) << k;
  }
  EXPECT_EQ(v, 7);
}
