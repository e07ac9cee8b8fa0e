// The metrics as a fleet's Prometheus meets them: node_exporter's textfile
// collector serves the file with the values of the JSON report of the same
// analysis, and promtool accepts it. Skipped where they are not installed.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "report/report_read.h"
#include "test_util.h"

namespace {

const std::string kExporter = "/usr/bin/prometheus-node-exporter";
const std::string kRich = "--interval 0 --root " + tests_dir() + "/fixtures/rich ";

int free_loopback_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t n = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), n);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

// kelvane's samples: series (name and labels) -> value.
std::map<std::string, std::string> kelvane_samples(const std::string& text) {
  std::map<std::string, std::string> m;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    size_t sp = line.rfind(' ');
    if (line.rfind("kelvane_", 0) == 0) m[line.substr(0, sp)] = line.substr(sp + 1);
  }
  return m;
}

class NodeExporter : public ArenaTest {};

TEST_F(NodeExporter, ServesTheValuesOfTheJsonReport) {
  if (access(kExporter.c_str(), X_OK) != 0) GTEST_SKIP() << "prometheus-node-exporter missing";
  TempDir dir;
  ASSERT_EQ(run_kelvane(kRich + "-f openmetrics -o " + dir.file("kelvane.prom")).status, 0);
  std::string json = run_kelvane(kRich + "-f json -o -").out;
  // timeout runs the exporter in a process group of its own, killed as a
  // whole once the page is fetched, or after a minute at the latest.
  std::string addr = "127.0.0.1:" + std::to_string(free_loopback_port());
  std::string sh = "timeout 60 " + kExporter + " --collector.disable-defaults --collector.textfile" +
                   " --collector.textfile.directory=" + dir.path + " --web.listen-address=" + addr +
                   " 2>" + dir.file("log") + " & pid=$!; curl -sf --retry 30 --retry-delay 1 " +
                   "--retry-connrefused http://" + addr + "/metrics >" + dir.file("page") +
                   "; rc=$?; { kill -- -$pid; wait $pid; } 2>/dev/null; exit $rc";
  ASSERT_EQ(std::system(sh.c_str()), 0) << read_file(dir.file("log"));
  std::string page = read_file(dir.file("page"));
  EXPECT_NE(page.find("\nnode_textfile_scrape_error 0\n"), std::string::npos);
  std::map<std::string, std::string> got = kelvane_samples(page);
  Report r{};
  ASSERT_TRUE(report_read_json(&arena, sv_make(json.data(), json.size()), &r));
  EXPECT_EQ(got["kelvane_score"], std::to_string(r.score));
  for (int c = 0; c < kCategoryCount; c++) {
    std::string key = std::string("kelvane_category_score{category=\"") +
                      category_id(static_cast<Category>(c)) + "\"}";
    EXPECT_EQ(got[key], r.category_scored[c] ? std::to_string(r.category_score[c]) : "") << key;
  }
  int counts[kSeverityCount] = {};
  for (const Finding* f : r.findings) counts[static_cast<int>(f->severity)]++;
  for (int s = 0; s < kSeverityCount; s++) {
    std::string key = std::string("kelvane_findings{severity=\"") +
                      severity_name(static_cast<Severity>(s)) + "\"}";
    EXPECT_EQ(got[key], std::to_string(counts[s])) << key;
  }
}

TEST(Promtool, AcceptsTheMetricsFile) {
  if (std::system("command -v promtool >/dev/null") != 0) GTEST_SKIP() << "promtool missing";
  TempDir dir;
  ASSERT_EQ(run_kelvane(kRich + "-f openmetrics -o " + dir.file("k.prom")).status, 0);
  std::string cmd = "promtool check metrics <" + dir.file("k.prom") + " >" + dir.file("out") + " 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(read_file(dir.file("out")), "");
}

}  // namespace
