// Drift fixtures through the binary: each tree's drift findings, the same
// findings from its bundle (plain and redacted), and no boot loader password
// or hash in any report or bundle.
#include <gtest/gtest.h>

#include "source/source.h"
#include "test_util.h"

namespace {

struct DriftCase {
  const char* fixture;
  const char* present;  // drift ids the report holds, blank-separated
  const char* absent;   // ids it must not hold
};

constexpr DriftCase kCases[] = {
    {"drift-grub", "isolation.boot_pending preempt.boot_lost", "isolation.boot_lost"},
    {"drift-bls", "isolation.boot_malformed isolation.boot_lost", "isolation.boot_pending"},
    {"drift-kinstall", "", "isolation.boot_pending isolation.boot_lost isolation.boot_malformed"},
    {"drift-sysctl", "noise.nmi_watchdog_drift noise.timer_migration_drift noise.hung_task_drift",
     "noise.numa_balancing_drift noise.vm_stat_interval_drift noise.watchdog_drift"},
    {"drift-tuned", "isolation.tuned_drift", "isolation.boot_pending"},
};

constexpr char kHash[] = "5EC2E7HA5H";

std::string findings_of(const std::string& json) {
  size_t from = json.find("\"findings\"");
  return json.substr(from, json.find("\"snapshot\"") - from);
}

void expect_ids(const std::string& json, const char* ids, bool present) {
  std::string list = ids;
  for (size_t at = 0; at < list.size();) {
    size_t end = list.find(' ', at);
    std::string id = list.substr(at, end == std::string::npos ? end : end - at);
    EXPECT_EQ(json.find("\"" + id + "\"") != std::string::npos, present) << id;
    at = end == std::string::npos ? list.size() : end + 1;
  }
}

TEST(DriftRun, TreeAndBundleAgree) {
  for (const DriftCase& c : kCases) {
    SCOPED_TRACE(c.fixture);
    TempDir cwd;
    std::string tree = tests_dir() + "/fixtures/" + c.fixture;
    RunResult t = run_kelvane("--root " + tree + " --interval 0 -f json -o -");
    ASSERT_EQ(t.status, 0) << t.err;
    expect_ids(t.out, c.present, true);
    expect_ids(t.out, c.absent, false);
    for (const char* redact : {"", " --redact"}) {
      ASSERT_EQ(run_kelvane("capture -o b.tar.gz --root " + tree + redact, "", cwd.path).status, 0);
      RunResult b = run_kelvane("analyze b.tar.gz --interval 0 -f json -o -", "", cwd.path);
      EXPECT_EQ(findings_of(b.out), findings_of(t.out)) << redact;
      Arena a;
      arena_init(&a);
      std::string gz = read_file(cwd.file("b.tar.gz"));
      StrView tar{};
      ASSERT_TRUE(gunzip(&a, StrView{gz.data(), gz.size()}, &tar));
      EXPECT_EQ(std::string(tar.ptr, tar.len).find(kHash), std::string::npos);
      arena_release(&a);
    }
    RunResult text = run_kelvane("--root " + tree + " --interval 0 -v");
    EXPECT_EQ(text.out.find(kHash), std::string::npos);
    EXPECT_EQ(t.out.find(kHash), std::string::npos);
  }
}

}  // namespace
