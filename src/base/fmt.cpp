#include "base/fmt.h"

#include <cmath>

namespace {

constexpr StrView kNa = sv_lit("n/a");

}  // namespace

StrView fmt_duration_us(Arena* a, double us, bool ascii) {
  if (std::isnan(us)) return kNa;
  const char* unit = ascii ? "us" : "\xC2\xB5s";
  if (us >= 1000000) return arena_sprintf(a, "%.2f s", us / 1000000);
  if (us >= 1000) return arena_sprintf(a, "%.1f ms", us / 1000);
  if (us >= 10) return arena_sprintf(a, "%.0f %s", us, unit);
  return arena_sprintf(a, "%.1f %s", us, unit);
}

StrView fmt_khz(Arena* a, int64_t khz) {
  if (khz < 0) return kNa;
  if (khz > 999999) return arena_sprintf(a, "%.2f GHz", static_cast<double>(khz) / 1000000.0);
  return arena_sprintf(a, "%lld MHz", static_cast<long long>(khz / 1000));
}

StrView fmt_count(Arena* a, double count) {
  if (std::isnan(count)) return kNa;
  if (count >= 1000000) return arena_sprintf(a, "%.1fM", count / 1000000);
  if (count >= 1000) return arena_sprintf(a, "%.1fk", count / 1000);
  // Truncation toward zero; below -2^63 the conversion would be undefined.
  long long n = count < -9223372036854775808.0 ? INT64_MIN : static_cast<long long>(count);
  return arena_sprintf(a, "%lld", n);
}

StrView fmt_bytes(Arena* a, int64_t b) {
  if (b < 0) return kNa;
  double d = static_cast<double>(b);
  if (b >= (int64_t{1} << 30)) return arena_sprintf(a, "%.1f GB", d / (1 << 30));
  if (b >= (int64_t{1} << 20)) return arena_sprintf(a, "%.1f MB", d / (1 << 20));
  if (b >= 1024) return arena_sprintf(a, "%.1f kB", d / 1024);
  return arena_sprintf(a, "%lld B", static_cast<long long>(b));
}
