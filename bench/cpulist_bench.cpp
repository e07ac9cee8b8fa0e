// Parsing cost of hostile CPU lists: a file repeating the widest range, the
// same with a stride, and a long list of single CPUs. Prints times only.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/arena.h"
#include "base/cpuset.h"

namespace {

void run(const char* label, const char* item, int repeat) {
  Arena a;
  arena_init(&a);
  size_t n = strlen(item);
  char* text = static_cast<char*>(arena_alloc(&a, n * repeat + 1));
  for (int i = 0; i < repeat; i++) memcpy(text + i * n, item, n);
  CpuSet s;
  clock_t start = clock();
  cpuset_parse_list(&s, StrView{text, n * repeat});
  double sec = static_cast<double>(clock() - start) / CLOCKS_PER_SEC;
  printf("%-34s %8.3f s  (%d items, %d CPUs)\n", label, sec, repeat, cpuset_count(&s));
  arena_release(&a);
}

}  // namespace

int main() {
  run("cpulist 0-4095 repeated", "0-4095,", 1500000);
  run("cpulist 0-4095:1/2 repeated", "0-4095:1/2,", 20000);
  run("cpulist single CPUs", "17,", 3000000);
  return 0;
}
