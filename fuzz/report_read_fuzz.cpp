// libFuzzer harness for reading JSON reports back (kelvane diff): any bytes
// are read as a report and, when they read, diffed against themselves and
// against an empty report, in both output forms.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/arena.h"
#include "report/diff.h"
#include "report/diff_json.h"
#include "report/diff_text.h"
#include "report/report_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  Report r = {};
  StrView bytes{reinterpret_cast<const char*>(data), size};
  if (report_read_json(&a, bytes, &r)) {
    Report empty = {};
    empty.arena = &a;
    FILE* sink = fopen("/dev/null", "w");
    TextOptions opts = {true, false, true, false, 0};
    const Report* others[] = {&r, &empty};
    for (const Report* other : others) {
      ReportDiff d = {};
      d.old_label = "old";
      d.new_label = "new";
      diff_reports(&a, other, &r, &d);
      write_diff_text(&d, &opts, &a, sink);
      write_diff_json(&d, sink);
    }
    fclose(sink);
  }
  arena_release(&a);
  return 0;
}
