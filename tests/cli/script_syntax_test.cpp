// The boot script the text report prints parses as a shell script for every
// fixture tree and for this machine, at targets that raise different fixes.
#include "test_util.h"

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
      std::string out = run_kelvane(args + (root.empty() ? "" : " --root '" + root + "'")).out;
      // The script's lines, as the report indents them, up to the first empty line.
      size_t at = out.find("    #!/bin/sh\n"), end;
      std::string script;
      for (; at != std::string::npos && (end = out.find('\n', at)) > at; at = end + 1) {
        script += out.substr(at + 4, end - at - 4) + "\n";
      }
      if (script.empty()) continue;
      scripts++;
      dir.write("rt-tuning.sh", script);
      EXPECT_EQ(system(("sh -n " + dir.file("rt-tuning.sh") + " 2>/dev/null").c_str()), 0)
          << root << " at " << target << " us:\n" << script;
    }
  }
  EXPECT_GT(scripts, 3);
}
