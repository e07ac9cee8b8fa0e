// What the package ships, checked by the tools that will meet it: systemd
// accepts the units, lintian finds no error in the package built from a copy
// of the tree, and the package installs (program, manual, completion, timer)
// and purges cleanly. Installing needs root; a step whose tools are missing
// is skipped, saying which.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "test_util.h"

namespace {

const std::string kTop = tests_dir() + "/..";

bool have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0;
}

TEST(Package, SystemdVerifiesTheUnits) {
  if (!have("systemd-analyze")) GTEST_SKIP() << "systemd-analyze missing";
  TempDir dir;
  std::string bin = KELVANE_BIN, unit = read_file(kTop + "/contrib/systemd/kelvane.service.in");
  unit.replace(unit.find("@KELVANE_BINDIR@"), 16, bin.substr(0, bin.rfind('/')));
  dir.write("kelvane.service", unit);
  dir.write("kelvane.timer", read_file(kTop + "/contrib/systemd/kelvane.timer"));
  std::string cmd = "systemd-analyze verify --man=no " + dir.file("kelvane.service") + " " +
                    dir.file("kelvane.timer") + " 2>" + dir.file("err");
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(read_file(dir.file("err")), "");
}

TEST(Package, BashCompletesFormatsProfilesAndSubcommands) {
  const std::string lib = "/usr/share/bash-completion/bash_completion";
  if (access(lib.c_str(), R_OK) != 0) GTEST_SKIP() << "bash-completion missing";
  TempDir dir;
  dir.write("t.bash", ". " + lib + "\n. " + kTop + "/contrib/bash-completion/kelvane\n" + R"(
c() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
  _kelvane; echo "${COMPREPLY[*]}"; }
c kelvane -f o; c kelvane --profile l; c kelvane -v a; c kelvane analyze bu; c kelvane -o b
)");
  dir.write("bundle.tgz", "");
  EXPECT_EQ(std::system(("cd " + dir.path + " && bash t.bash >out").c_str()), 0);
  EXPECT_EQ(read_file(dir.file("out")),
            "openmetrics\nlow-latency\nanalyze\nbundle.tgz\nbundle.tgz\n");
}

// The install step as a script, under a lock shared by every run of this
// test on the machine; the package is purged however the steps end.
constexpr char kInstall[] = R"(p=/var/lib/prometheus; d=$p/node-exporter
made=$(if test -e $p; then test -e $d || echo $d; else echo $p; fi)
trap 'dpkg --purge kelvane >/dev/null 2>&1; [ -z "$made" ] || rm -rf "$made"' EXIT
dpkg -i "$1" >/dev/null
/usr/bin/kelvane --version
man -w kelvane
ls /lib/systemd/system/kelvane.timer /usr/share/bash-completion/completions/kelvane
mkdir -p $d && echo 'kelvane_score 70' >$d/kelvane.prom
dpkg --purge kelvane >/dev/null
test ! -e /usr/bin/kelvane && test ! -e /etc/systemd/system/timers.target.wants/kelvane.timer
test ! -e $d/kelvane.prom
echo removed
)";

TEST(Package, BuildsLintsInstallsAndPurges) {
#ifdef KELVANE_SANITIZED
  GTEST_SKIP() << "the normal build's run builds and installs the package";
#endif
  for (const char* tool : {"dpkg-buildpackage", "dh", "lintian"}) {
    if (!have(tool)) GTEST_SKIP() << tool << " missing (scripts/install-test-deps.sh installs it)";
  }
  if (geteuid() != 0) GTEST_SKIP() << "installing a package needs root";
  if (std::system("dpkg -s kelvane >/dev/null 2>&1") == 0) GTEST_SKIP() << "kelvane is installed";
  TempDir dir;
  std::string build = kTop + "/scripts/build-deb.sh " + dir.path + " >" + dir.file("deb");
  ASSERT_EQ(std::system(build.c_str()), 0);
  std::string deb = read_file(dir.file("deb"));
  deb.resize(deb.find('\n'));
  std::string lint = "lintian --fail-on error " + deb + " >" + dir.file("lint") + " 2>&1";
  EXPECT_EQ(std::system(lint.c_str()), 0) << read_file(dir.file("lint"));
  dir.write("install.sh", kInstall);
  std::string run = "flock /tmp/kelvane-package-test.lock sh -e " + dir.file("install.sh") + " " +
                    deb + " >" + dir.file("out") + " 2>" + dir.file("err");
  EXPECT_EQ(std::system(run.c_str()), 0) << read_file(dir.file("err"));
  EXPECT_EQ(read_file(dir.file("out")),
            "kelvane 1.0.1-beta\n/usr/share/man/man1/kelvane.1.gz\n"
            "/lib/systemd/system/kelvane.timer\n/usr/share/bash-completion/completions/kelvane\n"
            "removed\n");
}

}  // namespace
