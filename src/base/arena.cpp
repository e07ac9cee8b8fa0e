#include "base/arena.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

#include "base/log.h"

#ifdef KELVANE_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

// Requests beyond this can never be met; refusing them early also keeps the
// rounding and the block header arithmetic from wrapping around.
constexpr uint64_t kMaxRequest = uint64_t{1} << 40;

uint64_t round16(uint64_t n) { return (n + 15) & ~uint64_t{15}; }

// The room an allocation of n bytes takes in a block: rounded to 16 bytes,
// then the red zone.
uint64_t slot_size(uint64_t n) { return round16(n == 0 ? 1 : n) + kArenaRedZone; }

void poison(const void* p, uint64_t n) {
#ifdef KELVANE_ASAN
  ASAN_POISON_MEMORY_REGION(p, n);
#else
  (void)p;
  (void)n;
#endif
}

void unpoison(const void* p, uint64_t n) {
#ifdef KELVANE_ASAN
  ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
  (void)p;
  (void)n;
#endif
}

char* block_data(ArenaBlock* b) { return reinterpret_cast<char*>(b + 1); }

ArenaBlock* block_new(uint64_t capacity, uint64_t report_size) {
  void* mem = calloc(1, sizeof(ArenaBlock) + capacity);
  if (!mem) fatal("out of memory allocating %zu bytes", static_cast<size_t>(report_size));
  ArenaBlock* b = static_cast<ArenaBlock*>(mem);
  b->capacity = capacity;
  poison(block_data(b), capacity);
  return b;
}

// An allocation larger than a block gets a block of its own, mapped from the
// system: its pages are zero and cost nothing until they are written, so a
// buffer sized generously (an inflated bundle, an archive being built) holds
// only what it was given, and it grows by remapping, without a copy.
bool is_own_block(const Arena* a, const ArenaBlock* b) { return b->capacity > a->block_size; }

ArenaBlock* own_block_new(uint64_t capacity) {
  void* mem = mmap(nullptr, sizeof(ArenaBlock) + capacity, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) fatal("out of memory allocating %zu bytes", static_cast<size_t>(capacity));
  ArenaBlock* b = static_cast<ArenaBlock*>(mem);
  b->next = nullptr;
  b->capacity = capacity;
  poison(block_data(b), capacity);
  return b;
}

void block_free(const Arena* a, ArenaBlock* b) {
  unpoison(block_data(b), b->capacity);
  if (is_own_block(a, b))
    munmap(b, sizeof(ArenaBlock) + b->capacity);
  else
    free(b);
}

// The link (head or a block's next) that points at the block ptr has to
// itself, slot bytes long: an allocation larger than a block gets such a
// block. Null when ptr shares its block.
ArenaBlock** own_block_link(Arena* a, const void* ptr, uint64_t slot) {
  for (ArenaBlock** link = &a->head; *link; link = &(*link)->next) {
    ArenaBlock* b = *link;
    if (block_data(b) == ptr) return b->used == slot && b->capacity == slot ? link : nullptr;
  }
  return nullptr;
}

// Grows a block of one allocation by remapping it: the pages move rather
// than being copied, and the new ones are zero until written.
void* grow_own_block(Arena* a, ArenaBlock** link, size_t new_size) {
  ArenaBlock* b = *link;
  uint64_t old16 = b->capacity, new16 = slot_size(new_size);
  unpoison(block_data(b), old16);
  void* mem = mremap(b, sizeof(ArenaBlock) + old16, sizeof(ArenaBlock) + new16, MREMAP_MAYMOVE);
  if (mem == MAP_FAILED) fatal("out of memory allocating %zu bytes", new_size);
  b = static_cast<ArenaBlock*>(mem);
  *link = b;
  b->used = b->capacity = new16;
  poison(block_data(b), new16);
  unpoison(block_data(b), new_size);
  a->total += new16 - old16;
  return block_data(b);
}

}  // namespace

static_assert(sizeof(ArenaBlock) == 24, "block header is three 64-bit words");

void arena_init(Arena* a) {
  a->head = nullptr;
  a->block_size = kArenaBlockSize;
  a->total = 0;
  a->cleanups = nullptr;
}

void* arena_alloc(Arena* a, size_t n) {
  if (n > kMaxRequest) fatal("out of memory allocating %zu bytes", n);
  uint64_t size = slot_size(n);
  void* out;
  if (size > a->block_size) {
    ArenaBlock* b = own_block_new(size);
    b->used = size;
    if (a->head) {
      b->next = a->head->next;
      a->head->next = b;
    } else {
      a->head = b;
    }
    out = block_data(b);
  } else if (a->head && a->head->capacity - a->head->used >= size) {
    out = block_data(a->head) + a->head->used;
    a->head->used += size;
  } else {
    ArenaBlock* b = block_new(a->block_size, a->block_size);
    b->next = a->head;
    a->head = b;
    b->used = size;
    out = block_data(b);
  }
  a->total += size;
  unpoison(out, n);
  return out;
}

void* arena_realloc(Arena* a, void* ptr, size_t old_size, size_t new_size) {
  if (new_size > kMaxRequest) fatal("out of memory allocating %zu bytes", new_size);
  if (!ptr || new_size <= old_size) return ptr ? ptr : arena_alloc(a, new_size);
  ArenaBlock* h = a->head;
  uint64_t old16 = slot_size(old_size), new16 = slot_size(new_size);
  if (h && static_cast<char*>(ptr) + old16 == block_data(h) + h->used &&
      h->capacity - h->used >= new16 - old16) {
    h->used += new16 - old16;
    a->total += new16 - old16;
    unpoison(ptr, new_size);
    return ptr;
  }
  if (old16 > a->block_size) {
    if (ArenaBlock** link = own_block_link(a, ptr, old16))
      return grow_own_block(a, link, new_size);
  }
  void* p = arena_alloc(a, new_size);
  memcpy(p, ptr, old_size);
  return p;
}

void arena_trim(Arena* a, void* ptr, size_t old_size, size_t new_size) {
  ArenaBlock* h = a->head;
  if (!ptr || !h || new_size >= old_size || old_size > h->used) return;
  uint64_t old16 = slot_size(old_size), new16 = slot_size(new_size);
  char* p = static_cast<char*>(ptr);
  if (p + old16 != block_data(h) + h->used || new16 >= old16) return;
  unpoison(p, old16);
  memset(p + new_size, 0, old16 - new_size);
  poison(p, old16);
  unpoison(p, new_size);
  h->used -= old16 - new16;
  a->total -= old16 - new16;
}

void arena_on_release(Arena* a, void (*release)(void* ctx), void* ctx) {
  ArenaCleanup* c = arena_new<ArenaCleanup>(a);
  *c = ArenaCleanup{release, ctx, a->cleanups};
  a->cleanups = c;
}

void arena_release(Arena* a) {
  for (ArenaCleanup* c = a->cleanups; c; c = c->next) c->release(c->ctx);
  a->cleanups = nullptr;
  ArenaBlock* b = a->head;
  while (b) {
    ArenaBlock* next = b->next;
    block_free(a, b);
    b = next;
  }
  a->head = nullptr;
  a->total = 0;
}
