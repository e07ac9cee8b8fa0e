// Every seed and every input the fuzzers kept goes through the parsers of
// the CPU, sysctl and mount files again.

#include <string>
#include <vector>

#include "../../fuzz/boot_fuzz_bodies.h"
#include "../../fuzz/collect_fuzz_bodies.h"
#include "test_util.h"

namespace {

struct Target {
  const char* name;
  void (*run)(const uint8_t* data, size_t size);
};

constexpr Target kTargets[] = {
    {"cpulist", fuzz_cpulist},
    {"swaps", fuzz_swaps},
    {"consoles", fuzz_consoles},
    {"mounts", fuzz_mounts},
    {"preempt", fuzz_preempt},
    {"cpu_collect", fuzz_cpu_collect},
    {"grub_default", fuzz_grub_default},
    {"bls_entry", fuzz_bls_entry},
    {"boot_line", fuzz_boot_line},
    {"sysctl_conf", fuzz_sysctl_conf},
    {"capture_boot", fuzz_capture_boot},
};

TEST(CollectFuzzInputs, SeedsAndKeptInputsPass) {
  for (const Target& t : kTargets) {
    std::vector<std::string> inputs = files_in(tests_dir() + "/../fuzz/seeds/" + t.name);
    EXPECT_FALSE(inputs.empty()) << t.name;
    for (const std::string& kept : files_in(tests_dir() + "/fixtures/fuzz/" + t.name)) {
      inputs.push_back(kept);
    }
    for (const std::string& path : inputs) {
      SCOPED_TRACE(path);
      std::string bytes = read_file(path);
      t.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
  }
}

}  // namespace
