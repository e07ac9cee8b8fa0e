// Parsers of the latency tools' output (standard output and standard error
// together, as run_tool collects them). Each is tolerant: it reads the lines
// it knows, ignores everything else, and accepts only when it found at least
// one value. An absent or empty output is always rejected.
#pragma once

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/str.h"
#include "collect/measurement.h"

// cyclictest: the "T:" summary lines, or else the histogram footer ("# Min
// Latencies:" ...). Thread i ran on the i-th CPU of measured. The histogram
// bins and overflow counts, when printed, go to the CPUs' entries too.
bool parse_cyclictest(Arena* a, StrView out, const CpuSet* measured, Measurement* m);

// rtla timerlat hist: the largest IRQ and thread maximum and average over
// the CPUs, read from the "max:" and "avg:" rows under the "Index" header.
bool parse_timerlat_hist(Arena* a, StrView out, TimerlatResult* r);

// rtla osnoise top: the interference counts of every per-CPU row, summed,
// and the class with the most events.
bool parse_osnoise_top(StrView out, NoiseResult* r);

// hwlatdetect: "Max Latency:" and "Samples exceeding threshold:".
bool parse_hwlatdetect(StrView out, HwlatResult* r);

// rtla timerlat's auto-analysis: "## CPU N hit stop tracing, analyzing it
// ##", then "IRQ handler delay:", "Blocking thread:" (the thread on the next
// line, "comm:pid"), "IRQ interference" (one "name:vector  T us" line per
// IRQ) and "Thread latency:". Accepts when the CPU line and at least one
// figure were read.
bool parse_timerlat_analysis(Arena* a, StrView out, TimerlatAnalysis* r);
