#include "base/arena.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

char* data_of(ArenaBlock* b) { return reinterpret_cast<char*>(b + 1); }

bool all_zero(const void* p, size_t n) {
  const unsigned char* c = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; i++) {
    if (c[i]) return false;
  }
  return true;
}

size_t chain_length(const Arena& a) {
  size_t n = 0;
  for (ArenaBlock* b = a.head; b; b = b->next) n++;
  return n;
}

// Every allocation is followed by the red zone in the sanitizer build.
constexpr uint64_t R = kArenaRedZone;

class ArenaBlocks : public ::testing::Test {
 protected:
  void SetUp() override { arena_init(&a); }
  void TearDown() override { arena_release(&a); }
  Arena a;
};

}  // namespace

TEST_F(ArenaBlocks, InitialState) {
  EXPECT_EQ(a.head, nullptr);
  EXPECT_EQ(a.block_size, 262144u);
  EXPECT_EQ(a.total, 0u);
}

TEST_F(ArenaBlocks, ZeroAndOneByteAllocationsTakeSixteenBytes) {
  char* p0 = static_cast<char*>(arena_alloc(&a, 0));
  char* p1 = static_cast<char*>(arena_alloc(&a, 1));
  ASSERT_NE(p0, nullptr);
  ASSERT_NE(p1, nullptr);
  EXPECT_NE(p0, p1);
  EXPECT_EQ(static_cast<uint64_t>(p1 - p0), 16 + R);
  EXPECT_EQ(a.total, 32 + 2 * R);
  EXPECT_EQ(a.head->used, 32 + 2 * R);
  EXPECT_EQ(a.head->capacity, 262144u);
  EXPECT_TRUE(all_zero(p1, 1));
}

TEST_F(ArenaBlocks, SizesRoundToSixteenAndStayAligned) {
  for (size_t n : {size_t{15}, size_t{16}, size_t{17}, size_t{33}, size_t{100}}) {
    uint64_t before = a.total;
    void* p = arena_alloc(&a, n);
    EXPECT_EQ(a.total - before, (n + 15) / 16 * 16 + R) << n;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
    EXPECT_TRUE(all_zero(p, n));
  }
}

TEST_F(ArenaBlocks, SecondLargeRequestOpensANewBlock) {
  char* p = static_cast<char*>(arena_alloc(&a, 200000));
  ArenaBlock* first = a.head;
  EXPECT_EQ(p, data_of(first));
  char* q = static_cast<char*>(arena_alloc(&a, 200000));
  ArenaBlock* second = a.head;
  EXPECT_NE(second, first);
  EXPECT_EQ(second->next, first);
  EXPECT_EQ(q, data_of(second));
  EXPECT_EQ(second->used, 200000 + R);
  EXPECT_EQ(first->used, 200000 + R);
  EXPECT_EQ(a.total, 400000 + 2 * R);
  EXPECT_TRUE(all_zero(q, 200000));
}

TEST_F(ArenaBlocks, ExactlyOneBlockIsNotOversized) {
  arena_alloc(&a, 16);
  ArenaBlock* first = a.head;
  void* p = arena_alloc(&a, 262144 - R);
  EXPECT_NE(a.head, first);
  EXPECT_EQ(a.head->capacity, 262144u);
  EXPECT_EQ(a.head->used, 262144u);
  EXPECT_EQ(p, data_of(a.head));
}

TEST_F(ArenaBlocks, OversizedRequestGetsItsOwnBlockAfterTheHead) {
  char* small = static_cast<char*>(arena_alloc(&a, 100));
  ArenaBlock* head = a.head;
  char* big = static_cast<char*>(arena_alloc(&a, 300000));
  EXPECT_EQ(a.head, head);
  ArenaBlock* own = head->next;
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->capacity, 300000 + R);
  EXPECT_EQ(own->used, 300000 + R);
  EXPECT_EQ(big, data_of(own));
  EXPECT_TRUE(all_zero(big, 300000));
  char* next = static_cast<char*>(arena_alloc(&a, 100));
  EXPECT_EQ(next, small + 112 + R);
  EXPECT_EQ(a.total, 112 + 300000 + 112 + 3 * R);
  // A second oversized block goes right after the head as well.
  arena_alloc(&a, 300001);
  EXPECT_EQ(head->next->capacity, 300016 + R);
  EXPECT_EQ(head->next->next, own);
  EXPECT_EQ(chain_length(a), 3u);
}

TEST_F(ArenaBlocks, OversizedRequestOnAnEmptyArenaBecomesTheHead) {
  void* big = arena_alloc(&a, 300000);
  ASSERT_NE(a.head, nullptr);
  EXPECT_EQ(big, data_of(a.head));
  EXPECT_EQ(a.head->capacity, 300000 + R);
  // It is full, so the next small request opens an ordinary block.
  arena_alloc(&a, 16);
  EXPECT_EQ(a.head->capacity, 262144u);
  EXPECT_EQ(chain_length(a), 2u);
}

TEST_F(ArenaBlocks, LatestAllocationGrowsInPlace) {
  arena_alloc(&a, 48);
  char* p = static_cast<char*>(arena_alloc(&a, 256));
  memset(p, 'x', 256);
  char* q = static_cast<char*>(arena_realloc(&a, p, 256, 512));
  EXPECT_EQ(q, p);
  EXPECT_EQ(a.head->used, 48 + 512 + 2 * R);
  EXPECT_EQ(a.total, 48 + 512 + 2 * R);
  EXPECT_TRUE(all_zero(q + 256, 256));
  EXPECT_EQ(q[255], 'x');
  // Rounded sizes: 20 bytes hold 32, growing to 40 adds 16.
  char* r = static_cast<char*>(arena_alloc(&a, 20));
  EXPECT_EQ(arena_realloc(&a, r, 20, 40), r);
  EXPECT_EQ(a.total, 48 + 512 + 48 + 3 * R);
}

TEST_F(ArenaBlocks, OlderAllocationIsCopied) {
  char* p = static_cast<char*>(arena_alloc(&a, 256));
  memcpy(p, "hello", 6);
  arena_alloc(&a, 16);
  char* q = static_cast<char*>(arena_realloc(&a, p, 256, 512));
  EXPECT_NE(q, p);
  EXPECT_STREQ(q, "hello");
  EXPECT_TRUE(all_zero(q + 256, 256));
}

TEST_F(ArenaBlocks, GrowthThatDoesNotFitTheHeadCopies) {
  arena_alloc(&a, 200000);
  char* p = static_cast<char*>(arena_alloc(&a, 60000));
  p[0] = 'y';
  char* q = static_cast<char*>(arena_realloc(&a, p, 60000, 120000));
  EXPECT_NE(q, p);
  EXPECT_EQ(q[0], 'y');
  // Growing an oversized block copies into a new oversized block.
  char* big = static_cast<char*>(arena_alloc(&a, 400000));
  big[399999] = 'z';
  char* bigger = static_cast<char*>(arena_realloc(&a, big, 400000, 800000));
  EXPECT_NE(bigger, big);
  EXPECT_EQ(bigger[399999], 'z');
}

TEST_F(ArenaBlocks, ShrinkReturnsTheSamePointer) {
  char* p = static_cast<char*>(arena_alloc(&a, 512));
  uint64_t total = a.total, used = a.head->used;
  EXPECT_EQ(arena_realloc(&a, p, 512, 100), p);
  EXPECT_EQ(arena_realloc(&a, p, 512, 512), p);
  EXPECT_EQ(a.total, total);
  EXPECT_EQ(a.head->used, used);
}

TEST_F(ArenaBlocks, ReallocOfNullAllocates) {
  void* p = arena_realloc(&a, nullptr, 0, 64);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(a.total, 64 + R);
  void* q = arena_realloc(&a, nullptr, 100, 50);
  ASSERT_NE(q, nullptr);
  EXPECT_NE(q, p);
  EXPECT_EQ(a.total, 128 + 2 * R);
}

TEST_F(ArenaBlocks, ReleaseEmptiesTheArenaForReuse) {
  arena_alloc(&a, 100);
  arena_alloc(&a, 300000);
  arena_alloc(&a, 200000);
  arena_release(&a);
  EXPECT_EQ(a.head, nullptr);
  EXPECT_EQ(a.total, 0u);
  EXPECT_EQ(a.block_size, 262144u);
  void* p = arena_alloc(&a, 10);
  ASSERT_NE(a.head, nullptr);
  EXPECT_EQ(p, data_of(a.head));
  EXPECT_EQ(a.head->used, 16 + R);
  EXPECT_EQ(a.head->next, nullptr);
  arena_release(&a);
  arena_release(&a);  // releasing an empty arena is harmless
  EXPECT_EQ(a.head, nullptr);
}

TEST_F(ArenaBlocks, TypedHelpersZeroFill) {
  struct Rec {
    int64_t a;
    const char* b;
  };
  Rec* r = arena_new<Rec>(&a);
  EXPECT_EQ(r->a, 0);
  EXPECT_EQ(r->b, nullptr);
  int32_t* xs = arena_array<int32_t>(&a, 1000);
  EXPECT_TRUE(all_zero(xs, 4000));
}

TEST_F(ArenaBlocks, TrimGivesBackTheLatestTailZeroed) {
  char* buf = static_cast<char*>(arena_alloc(&a, 8192));
  memset(buf, 'x', 8192);
  uint64_t used = a.head->used;
  arena_trim(&a, buf, 8192, 6);  // keeps 16 bytes
  EXPECT_EQ(a.head->used, used - 8192 + 16);
  EXPECT_EQ(a.total, used - 8192 + 16);
  EXPECT_EQ(buf[0], 'x');
  char* next = static_cast<char*>(arena_alloc(&a, 100));
  EXPECT_EQ(next, buf + 16 + R);
  EXPECT_TRUE(all_zero(next, 100));
  // Not the latest allocation, or not smaller: nothing changes.
  uint64_t before = a.head->used;
  arena_trim(&a, buf, 16, 1);
  arena_trim(&a, next, 100, 200);
  arena_trim(&a, nullptr, 100, 0);
  EXPECT_EQ(a.head->used, before);
  // An oversized block is not the head's and stays as it is.
  void* big = arena_alloc(&a, 300000);
  arena_trim(&a, big, 300000, 10);
  EXPECT_EQ(a.head->used, before);
}

TEST(ArenaDeathTest, ImpossibleSizeIsFatal) {
  Arena a;
  arena_init(&a);
  EXPECT_EXIT(arena_alloc(&a, SIZE_MAX - 3), ::testing::ExitedWithCode(2),
              "kelvane: fatal: out of memory allocating [0-9]+ bytes");
}

#ifdef KELVANE_ASAN
// The sanitizer sees inside the blocks: reading past the end of a short
// allocation is reported, not silently served from the rest of the block.
TEST(ArenaDeathTest, ReadPastAnAllocationIsReported) {
  Arena a;
  arena_init(&a);
  char* p = static_cast<char*>(arena_alloc(&a, 3));
  memcpy(p, "abc", 3);
  volatile char* v = p;
  EXPECT_DEATH((void)v[3 + 37], "AddressSanitizer: use-after-poison");
  EXPECT_DEATH((void)v[3], "AddressSanitizer: use-after-poison");
  arena_release(&a);
}
#endif
