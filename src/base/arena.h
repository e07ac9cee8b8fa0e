// Arena: every allocation of a run is carved from zero-filled 256 KiB blocks
// (one larger than that gets a block of its own, mapped from the system) and
// released at once at the end of the run.
#pragma once

#include <cstddef>
#include <cstdint>

struct ArenaBlock {
  ArenaBlock* next;
  uint64_t used;
  uint64_t capacity;
  // the data area follows the header
};

// Something a run holds besides memory (a descriptor), given back when the
// Arena is released.
struct ArenaCleanup {
  void (*release)(void* ctx);
  void* ctx;
  ArenaCleanup* next;
};

struct Arena {
  ArenaBlock* head;
  uint64_t block_size;
  uint64_t total;
  ArenaCleanup* cleanups;
};

constexpr uint64_t kArenaBlockSize = 262144;

// The sanitizer build lets AddressSanitizer see inside the blocks: a new
// block is poisoned whole, each allocation is unpoisoned as it is handed out,
// and a red zone stays poisoned after it, so a read past the end of an
// allocation is reported like one past a malloc'd buffer.
#if defined(__SANITIZE_ADDRESS__)
#define KELVANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVANE_ASAN 1
#endif
#endif
#ifdef KELVANE_ASAN
constexpr uint64_t kArenaRedZone = 16;
#else
constexpr uint64_t kArenaRedZone = 0;
#endif

void arena_init(Arena* a);
// n zeroed bytes, 16-byte granular (plus the red zone), at least 8-byte
// aligned; never returns null.
void* arena_alloc(Arena* a, size_t n);
// Grows in place when ptr is the head block's latest allocation; an
// allocation larger than a block, which has a block to itself, grows with
// that block (its pages are moved, not copied); else copies. The bytes
// beyond old_size are zero.
void* arena_realloc(Arena* a, void* ptr, size_t old_size, size_t new_size);
// Gives back the tail beyond new_size of ptr when ptr is the head block's
// latest allocation (a file buffer sized generously before reading), so that
// the next allocation reuses it; otherwise nothing. The tail is zeroed again.
void arena_trim(Arena* a, void* ptr, size_t old_size, size_t new_size);
// Calls release(ctx) first thing when a is released, the latest registered
// first.
void arena_on_release(Arena* a, void (*release)(void* ctx), void* ctx);
void arena_release(Arena* a);

// One zero-initialised T (T must be a plain record).
template <class T>
T* arena_new(Arena* a) {
  return static_cast<T*>(arena_alloc(a, sizeof(T)));
}

// n zero-initialised Ts.
template <class T>
T* arena_array(Arena* a, size_t n) {
  return static_cast<T*>(arena_alloc(a, sizeof(T) * n));
}
