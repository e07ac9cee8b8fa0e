// Every input the fuzzer kept for the tool parsers goes through its parser
// again, with the same checks the fuzz targets make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collect/measurement.h"
#include "measure/tool_parsers.h"
#include "test_util.h"

namespace {

std::vector<std::string> kept(const char* target) {
  return files_in(tests_dir() + "/fixtures/fuzz/" + target);
}

class KeptFuzzInputs : public ArenaTest {
 protected:
  StrView bytes(const std::string& path) {
    held = read_file(path);
    return sv_make(held.data(), held.size());
  }
  std::string held;
};

TEST_F(KeptFuzzInputs, Cyclictest) {
  CpuSet set{};
  cpuset_parse_list(&set, sv("2-5"));
  for (const std::string& p : kept("cyclictest")) {
    SCOPED_TRACE(p);
    Measurement m{};
    EXPECT_EQ(parse_cyclictest(&arena, bytes(p), &set, &m), m.valid);
    for (const PerCpuLatency& e : m.per_cpu) {
      EXPECT_GE(e.cpu, 0);
      EXPECT_LT(e.cpu, kMaxCpus);
    }
  }
}

TEST_F(KeptFuzzInputs, Timerlat) {
  for (const std::string& p : kept("timerlat")) {
    SCOPED_TRACE(p);
    TimerlatResult r{};
    EXPECT_EQ(parse_timerlat_hist(&arena, bytes(p), &r), r.valid);
  }
}

TEST_F(KeptFuzzInputs, OsnoiseAndHwlatdetect) {
  for (const std::string& p : kept("osnoise")) {
    SCOPED_TRACE(p);
    NoiseResult r{};
    EXPECT_EQ(parse_osnoise_top(bytes(p), &r), r.valid);
  }
  for (const std::string& p : kept("hwlatdetect")) {
    SCOPED_TRACE(p);
    HwlatResult r{};
    EXPECT_EQ(parse_hwlatdetect(bytes(p), &r), r.valid);
  }
}

}  // namespace
