// The command line as a user meets it: the binary run with real arguments.
#include <gtest/gtest.h>

#include "test_util.h"

namespace {

// --help prints the usage text, a blank line and the additions (diff,
// junit); after an error message the usage text stands alone.
std::string help() { return read_file(tests_dir() + "/golden/usage.txt"); }
std::string usage() {
  std::string h = help();
  return h.substr(0, h.find("\nMore:\n"));
}

TEST(Cli, HelpAndVersion) {
  RunResult r = run_kelvane("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, help());
  EXPECT_EQ(r.err, "");
  const std::string last = "\n\nExit: 0 ok, 1 below --fail-under, 2 usage or read error\n";
  EXPECT_EQ(usage().substr(usage().size() - last.size()), last);
  r = run_kelvane("-h --bogus");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, help());
  r = run_kelvane("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "kelvane 1.0.1-beta\n");
  r = run_kelvane("--vers");  // unambiguous abbreviation
  EXPECT_EQ(r.out, "kelvane 1.0.1-beta\n");
  r = run_kelvane("capture --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, help());
}

TEST(Cli, UnknownSubcommand) {
  RunResult r = run_kelvane("status");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kelvane: unknown subcommand 'status'\n\n" + usage());
  // A subcommand is recognised only as the very first word.
  r = run_kelvane("--version capture");
  EXPECT_EQ(r.status, 0);
}

TEST(Cli, RejectedFormatAndProfile) {
  RunResult r = run_kelvane("--format JSON");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: unknown format 'JSON'\n");
  EXPECT_EQ(r.out, "");
  r = run_kelvane("-f=json --interval 0");  // "=json" is the short option's argument
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: unknown format '=json'\n");
  r = run_kelvane("--profile soft");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: unknown profile 'soft' (expected hard-rt or low-latency)\n");
  r = run_kelvane("--prof=Hard-RT");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: unknown profile 'Hard-RT' (expected hard-rt or low-latency)\n");
}

TEST(Cli, ParserRejectionsPrintDiagnosticThenUsage) {
  const char* cases[] = {"--bogus", "--root", "-o", "-x", "--f", "--version=1"};
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    RunResult r = run_kelvane(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_GT(r.err.size(), usage().size());
    EXPECT_EQ(r.err.substr(0, 9), "kelvane: ");
    EXPECT_EQ(r.err.substr(r.err.size() - usage().size()), usage());
  }
}

TEST(Cli, UnreadableSource) {
  RunResult r = run_kelvane("--root /nonexistent/tree --interval 0");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: cannot open '/nonexistent/tree': No such file or directory\n");
  EXPECT_EQ(r.out, "");
  r = run_kelvane("analyze /nonexistent/b.tar.gz --root /");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: cannot open '/nonexistent/b.tar.gz': No such file or directory\n");
  r = run_kelvane("capture --root /nonexistent/tree -o /dev/null");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: cannot open '/nonexistent/tree': No such file or directory\n");
}

// A source without one readable /proc or /sys file holds no machine to grade.
TEST(Cli, NoKernelDataIsAnError) {
  TempDir t;
  t.write("etc/hostname", "box\n");
  for (std::string args : {"--root " + t.path, "analyze " + t.path, "diff kernel-rt " + t.path}) {
    RunResult r = run_kelvane(args + " --interval 0", "", tests_dir() + "/fixtures");
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err, "kelvane: '" + t.path + "' holds no /proc or /sys data\n");
  }
}

TEST(Cli, SubcommandIsTheFirstOperandAndNoOperandIsDropped) {
  // Options may stand before and after the subcommand and its BUNDLE.
  for (const char* args : {"analyze -q /nonexistent/b", "-q analyze /nonexistent/b"}) {
    SCOPED_TRACE(args);
    RunResult r = run_kelvane(std::string(args) + " --interval 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "kelvane: cannot open '/nonexistent/b': No such file or directory\n");
  }
  for (const char* extra : {"analyze kernel-rt", "capture"}) {
    RunResult r = run_kelvane(std::string(extra) + " -q extra", "", tests_dir() + "/fixtures");
    EXPECT_EQ(r.status, 2) << extra;
    EXPECT_EQ(r.err, "kelvane: unexpected argument 'extra'\n" + usage());
  }
}

TEST(Cli, NumericOptionTyposAreUsageErrors) {
  for (std::string arg : {"--fail-under abc", "--interval 80x", "--duration 5s", "--target-us nan",
                          "--target-us 0x10", "--target-us 1,5"}) {
    RunResult r = run_kelvane(arg + " --root /nonexistent");
    size_t sp = arg.find(' ');
    EXPECT_EQ(r.status, 2) << arg;
    EXPECT_EQ(r.err, "kelvane: " + arg.substr(0, sp) + " value '" + arg.substr(sp + 1) +
                         "' is not a number\n");
  }
}

TEST(Cli, OptionsAfterOperandsCountWhateverTheEnvironment) {
  // POSIXLY_CORRECT must not stop option parsing at the first operand: the
  // options after "junk" still pick the tree and the JSON format.
  TempDir t;
  t.write("proc/version", "Linux version 6.1.0\n");
  std::string args = "-q analyze " + t.path + " -f json -o - --interval 0";
  for (const char* env : {"", "POSIXLY_CORRECT=1"}) {
    SCOPED_TRACE(env);
    RunResult r = run_kelvane(args, env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 1), "{");
    EXPECT_NE(r.out.find("\"source\": \"" + t.path + "\""), std::string::npos);
  }
}

}  // namespace
