#include <cstring>

#include "rules/finding.h"
#include "rules/rules.h"

namespace {

int compare_ids(const char* a, const char* b) {
  if (!a || !b) return (a != nullptr) - (b != nullptr);
  return strcmp(a, b);
}

// Bottom-up merge sort: stable, O(n log n), scratch space from the Arena.
void merge_sort(Finding** items, Finding** scratch, size_t n) {
  Finding** from = items;
  Finding** to = scratch;
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      size_t mid = lo + width < n ? lo + width : n;
      size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        to[k++] = compare_findings(from[j], from[i]) < 0 ? from[j++] : from[i++];
      }
      while (i < mid) to[k++] = from[i++];
      while (j < hi) to[k++] = from[j++];
    }
    Finding** t = from;
    from = to;
    to = t;
  }
  if (from != items) memcpy(items, from, n * sizeof(Finding*));
}

}  // namespace

int compare_findings(const Finding* a, const Finding* b) {
  int ca = static_cast<int>(a->category);
  int cb = static_cast<int>(b->category);
  if (ca != cb) return ca < cb ? -1 : 1;
  int ra = severity_rank(a->severity);
  int rb = severity_rank(b->severity);
  if (ra != rb) return ra < rb ? -1 : 1;
  int c = compare_ids(a->id, b->id);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void sort_findings(Report* report) {
  size_t n = report->findings.count;
  if (n < 2) return;
  Finding** scratch = arena_array<Finding*>(report->arena, n);
  merge_sort(report->findings.items, scratch, n);
}
