// Running one external tool as a child process: standard output and standard
// error are read together through one pipe, within a deadline that a tool
// which neither writes nor ends cannot stretch.
//
// The tool runs in a process group of its own, so a signal meant for kelvane
// alone reaches it only as kelvane passes it on. While it runs, SIGINT,
// SIGTERM and SIGHUP sent to kelvane (those not ignored when the run began)
// are caught: the tool is stopped and the run answers which signal came, for
// the caller to end kelvane with it (die_of_signal, in stop_signals.h).
// Should kelvane die without that chance (SIGKILL), the kernel sends the tool
// SIGINT (PR_SET_PDEATHSIG).
//
// SIGINT is the signal every tool run here stops cleanly on: cyclictest
// closes /dev/cpu_dma_latency and exits; rtla removes its tracefs instance;
// hwlatdetect turns the hwlat tracer off again only on KeyboardInterrupt. On
// SIGTERM the last two die with their tracer still running.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

// Time a tool gets beyond its own duration (start-up, tracer set-up,
// printing its results) before it is stopped.
constexpr int32_t kToolSlackS = 15;
// Time between the stop signal and SIGKILL.
constexpr int32_t kToolGraceMs = 2000;

struct ToolLimits {
  int64_t deadline_ms;  // from the start of the run
  int64_t grace_ms;     // after the stop signal, before SIGKILL
};

struct ToolRun {
  StrView out;         // both streams; absent when the tool wrote nothing
  int64_t elapsed_ms;  // monotonic clock, from before the fork to the reap
  int signal;          // SIGINT, SIGTERM or SIGHUP caught during the run, else 0
};

// Runs argv (argv[0] a full path, the vector null-terminated) and collects
// its output into r->out. Past the deadline the tool's group gets SIGTERM; on
// a caught signal it gets SIGINT at once; SIGKILL follows either after the
// grace. The tool is always reaped. Its exit status is not looked at: a tool
// that found something and says so with a non-zero status still has its
// output read. Answers whether at least one byte was read.
bool run_tool_within(Arena* a, const char* const* argv, ToolLimits limits, ToolRun* r);

// run_tool_within with the deadline the tool's own duration plus
// kToolSlackS, and kToolGraceMs.
bool run_tool(Arena* a, const char* const* argv, int32_t timeout_s, ToolRun* r);

// A tool left running in the background while others run (the load): spawned
// as run_tool spawns (its own process group, SIGINT when kelvane dies), its
// output dropped. The pid, or -1 when it could not be started.
pid_t background_start(const char* const* argv);
// Stops a background tool's group: SIGTERM, SIGKILL after grace_ms; reaped.
void background_stop(pid_t pid, int64_t grace_ms);
