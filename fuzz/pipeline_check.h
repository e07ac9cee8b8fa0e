// The whole pipeline on one fuzz input: bundle loading, collection, the
// second counter readings, measurement through recorded tool output, rules,
// scoring and the plan, then every writer into memory, the JSON report read
// back and diffed. Each step's output is checked against what must hold for
// any machine; the first broken invariant is returned as a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/arena.h"
#include "pipeline_input.h"
#include "rules/finding.h"
#include "source/source.h"

// The analysis of src with the input's options: null when src holds no
// /proc or /sys data (the program refuses such a source).
Report* pipeline_analyse(Arena* a, const PipelineInput* in, Source* src);

// What write(f) writes, copied into the Arena.
template <class Write>
StrView pipeline_capture(Arena* a, Write write) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  if (!f) abort();
  write(f);
  fclose(f);
  StrView v = arena_strndup(a, StrView{buf, len});
  free(buf);
  return v;
}

// The JSON report of r.
StrView pipeline_json(Arena* a, const Report* r);

// Runs every writer on r and checks the outputs; null when all hold.
const char* pipeline_check_report(Arena* a, const Report* r);

// One input of the pipeline target, from its bytes: null when every
// invariant holds (or the input holds no machine).
const char* pipeline_check_input(const uint8_t* data, size_t size);
