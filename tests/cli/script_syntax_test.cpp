// The boot script the text report prints parses as a shell script for every
// fixture tree and for this machine, at targets that raise different fixes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_util.h"

namespace {

// The script's lines as the report indents them, from "#!/bin/sh" to the
// first empty line; empty when the report has none.
std::string script_of(const std::string& report) {
  size_t at = report.find("    #!/bin/sh\n");
  if (at == std::string::npos) return "";
  std::string out;
  for (size_t end; (end = report.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = report.substr(at, end - at);
    if (line.empty()) break;
    out += line.substr(4) + "\n";
  }
  return out;
}

TEST(ScriptSyntax, EveryFixtureAndThisMachineGiveAScriptThatParses) {
  std::vector<std::string> roots = {""};
  for (const auto& e : std::filesystem::directory_iterator(tests_dir() + "/fixtures")) {
    if (std::filesystem::exists(e.path() / "proc")) roots.push_back(e.path().string());
  }
  TempDir dir;
  int scripts = 0;
  for (const std::string& root : roots) {
    for (const char* target : {"5", "100", "1000"}) {
      std::string args = std::string("-v --no-color --interval 0 --target-us ") + target;
      if (!root.empty()) args += " --root '" + root + "'";
      RunResult r = run_kelvane(args);
      std::string script = script_of(r.out);
      if (script.empty()) continue;
      scripts++;
      dir.write("rt-tuning.sh", script);
      EXPECT_EQ(system(("sh -n " + dir.file("rt-tuning.sh") + " 2>/dev/null").c_str()), 0)
          << root << " at " << target << " us:\n"
          << script;
    }
  }
  EXPECT_GT(scripts, 3);
}

}  // namespace
