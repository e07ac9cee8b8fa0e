// Running one external tool as a child process: standard output and standard
// error are read together through one pipe, within a deadline that a tool
// which neither writes nor ends cannot stretch.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

// Time a tool gets beyond its own duration (start-up, tracer set-up,
// printing its results) before it is stopped.
constexpr int32_t kToolSlackS = 15;
// Time between SIGTERM and SIGKILL for a tool past its deadline.
constexpr int32_t kToolGraceMs = 2000;

struct ToolLimits {
  int64_t deadline_ms;  // from the start of the run
  int64_t grace_ms;     // after SIGTERM, before SIGKILL
};

// Runs argv (argv[0] a full path, the vector null-terminated) and collects
// its output into *out. Past the deadline the child gets SIGTERM, and SIGKILL
// after the grace; it is always reaped. Its exit status is not looked at: a
// tool that found something and says so with a non-zero status still has its
// output read. Answers whether at least one byte was read.
bool run_tool_within(Arena* a, const char* const* argv, ToolLimits limits, StrView* out);

// run_tool_within with the deadline the tool's own duration plus
// kToolSlackS, and kToolGraceMs.
bool run_tool(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out);
