// The input of the whole-pipeline fuzz targets: a series of records
// NAME\0CONTENT\0. A NAME starting with "/" is a file of the analysed
// machine (a directory when it ends with "/"); a NAME starting with "!" is
// one of the reserved records below; any other record is ignored. A NUL
// inside a CONTENT (as in /proc/PID/cmdline) is written as the two bytes
// \x01 '0'; every other byte stands for itself.
//
// Reserved records:
//   !interrupts, !softirqs   the second reading of /proc/interrupts and
//                            /proc/softirqs, taken one window later
//   !run TOOL                what the measurement driver's tool prints,
//                            TOOL being "cyclictest", "hwlatdetect",
//                            "rtla timerlat" or "rtla osnoise"
//   !options                 blank-separated run options: profile=NAME,
//                            target=US, window=S, duration=S, measure,
//                            privileged
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "rules/finding.h"

struct PipelineFile {
  StrView path;  // as written, without the trailing "/" of a directory
  StrView content;
  bool is_dir;
};

struct PipelineTool {
  StrView name;  // "cyclictest", "rtla timerlat", ...
  StrView output;
};

struct PipelineOptions {
  Profile profile;
  double target_us;  // 0: the profile's default
  double window_s;   // the sampling window of the second readings
  int32_t duration_s;
  bool measure;
  bool privileged;
};

struct PipelineInput {
  List<PipelineFile> files;
  StrView interrupts2;  // absent when the input has no second reading
  StrView softirqs2;
  List<PipelineTool> tools;
  PipelineOptions opt;
};

// Splits data into records; contents are decoded into a (when they hold an
// escape) or point into data (which must outlive the input).
void pipeline_input_parse(Arena* a, const uint8_t* data, size_t size, PipelineInput* out);

// The files as one tar archive in memory; false when a name cannot be
// stored in a ustar header.
bool pipeline_input_tar(Arena* a, const PipelineInput* in, StrView* out);
