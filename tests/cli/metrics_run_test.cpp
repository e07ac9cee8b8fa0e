// -f openmetrics as a fleet meets it: the default file, readable by all and
// replaced whole, accepted by promtool and served by node_exporter's textfile
// collector with the values of the JSON report of the same analysis; a write
// that fails leaves nothing behind. Real components are skipped where missing.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "report/report_read.h"
#include "test_util.h"

namespace {

const std::string kArgs = "--interval 0 --root " + tests_dir() + "/fixtures/rich ";

// node_exporter on a free loopback port, reading dir; its /metrics page.
// timeout runs it in a process group of its own, killed as a whole once the
// page is fetched, or after a minute at the latest.
std::string exporter_page(const TempDir& dir) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t n = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), n);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  std::string addr = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  std::string sh = "timeout 60 prometheus-node-exporter --collector.disable-defaults "
                   "--collector.textfile --collector.textfile.directory=" + dir.path +
                   " --web.listen-address=" + addr + " 2>" + dir.file("log") +
                   " & pid=$!; curl -sf --retry 30 --retry-delay 1 --retry-connrefused -o " +
                   dir.file("page") + " http://" + addr +
                   "/metrics; rc=$?; { kill -- -$pid; wait $pid; } 2>/dev/null; exit $rc";
  EXPECT_EQ(std::system(sh.c_str()), 0) << read_file(dir.file("log"));
  return read_file(dir.file("page"));
}

TEST(MetricsRun, ExporterServesTheValuesOfTheJsonReport) {
  TempDir dir;
  dir.write("rt-report.prom", "old\n");
  EXPECT_EQ(run_kelvane(kArgs + "-f openmetrics", "umask 077;", dir.path).err,
            "kelvane: wrote rt-report.prom\n");
  struct stat st;
  ASSERT_EQ(stat(dir.file("rt-report.prom").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
  if (std::system("command -v promtool >/dev/null") != 0) GTEST_SKIP() << "promtool missing";
  EXPECT_EQ(std::system(("promtool check metrics <" + dir.file("rt-report.prom")).c_str()), 0);
  if (std::system("command -v prometheus-node-exporter >/dev/null") != 0)
    GTEST_SKIP() << "prometheus-node-exporter missing";
  std::istringstream page(exporter_page(dir));
  std::map<std::string, std::string> got;  // series -> value
  for (std::string l; std::getline(page, l);)
    got[l.substr(0, l.rfind(' '))] = l.substr(l.rfind(' ') + 1);
  EXPECT_EQ(got["node_textfile_scrape_error"], "0");
  Arena arena;
  arena_init(&arena);
  std::string json = run_kelvane(kArgs + "-f json -o -").out;
  Report j{};
  ASSERT_TRUE(report_read_json(&arena, sv_make(json.data(), json.size()), &j));
  std::map<std::string, std::string> want = {{"kelvane_score", std::to_string(j.score)}};
  for (int c = 0; c < kCategoryCount; c++) {
    std::string key = std::string("kelvane_category_score{category=\"") + category_id(Category(c));
    want[key + "\"}"] = j.category_scored[c] ? std::to_string(j.category_score[c]) : "";
  }
  int counts[kSeverityCount] = {};
  for (const Finding* f : j.findings) counts[static_cast<int>(f->severity)]++;
  for (int s = 0; s < kSeverityCount; s++) {
    std::string key = std::string("kelvane_findings{severity=\"") + severity_name(Severity(s));
    want[key + "\"}"] = std::to_string(counts[s]);
  }
  for (const auto& [series, value] : want) EXPECT_EQ(got[series], value) << series;
  arena_release(&arena);
}

TEST(MetricsRun, FailedWriteLeavesNoFile) {
  TempDir dir;
  RunResult r =
      run_kelvane(kArgs + "-f openmetrics -o m.prom", "trap '' XFSZ; ulimit -f 1;", dir.path);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: cannot write 'm.prom': File too large\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}

}  // namespace
