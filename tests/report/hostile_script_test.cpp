// Names the analysed machine chooses (a delegated cgroup, an interrupt, an
// idle state, a thread, a TuneD profile) fed through every fix: the boot
// script parses, and run as root over an empty /sys and /proc it writes only
// the files its commands name.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "report/plan.h"
#include "rules/rule_module_test.h"

namespace {

const char* const kHostile[] = {
    "$(touch pwned)", "`touch pwned`", "x;touch pwned", "it's", "say \"hi\"", "two words",
    "g*?[a]",         "new\nline",     "-rf",           "${IFS}touch${IFS}pwned>x",
};

// Runs the script as root in a mount namespace of its own, over an empty
// /sys and /proc holding only dirs, from /proc; answers the files there
// afterwards, or false when this process may not do that.
bool run_confined(const std::string& script, const std::vector<std::string>& dirs,
                  std::set<std::string>* files, const std::string& listing) {
  pid_t pid = fork();
  if (pid == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        mount("none", "/sys", "tmpfs", 0, nullptr) || mount("none", "/proc", "tmpfs", 0, nullptr))
      _exit(77);
    for (const std::string& d : dirs) {
      for (size_t i = 1; i <= d.size(); i++) {
        if (i == d.size() || d[i] == '/') mkdir(d.substr(0, i).c_str(), 0755);
      }
    }
    bool ran = chdir("/proc") == 0 && system(("sh " + script + " >/dev/null 2>&1").c_str()) != -1;
    _exit(ran && system(("find /sys /proc -type f -print0 >" + listing).c_str()) == 0 ? 0 : 78);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  std::string all = read_file(listing);
  for (size_t at = 0, end; (end = all.find('\0', at)) != std::string::npos; at = end + 1) {
    files->insert(all.substr(at, end - at));
  }
  return true;
}

class HostileScript : public RuleModuleTest {
 protected:
  // A machine whose every machine-named fix carries the word w.
  void hostile_machine(const std::string& w) {
    fresh();
    cpus(4, "2-3");
    snap->interrupts_available = true;
    snap->sampled = true;
    IrqInfo* q = list_grow(&arena, &snap->irqs);
    q->name = arena_strndup(&arena, StrView{w.data(), w.size()});
    q->device = q->name;
    *list_grow(&arena, &q->per_cpu) = IrqCount{2, 900, 300};
    std::string cg = "/sys/fs/cgroup/" + w;
    *list_grow(&arena, &snap->cgroup_invalid) =
        CgroupPartition{arena_strndup(&arena, sv(cg.c_str())), sv("isolated invalid (w)")};
    snap->cpuidle_available = true;
    for (int32_t cpu : {2, 3}) {
      CpuIdle* ci = list_grow(&arena, &snap->cpuidle);
      ci->cpu = cpu;
      *list_grow(&arena, &ci->states) = IdleState{1, q->name, {}, OptInt{true, 500}, {}, false, {}, {}, {}};
    }
    task(w.c_str(), kFifo, 99, "0-3");
    snap->tuned_profile = q->name;
  }

  // The boot script of the plan of a hard-rt analysis at 5 us.
  std::string script_of_plan() {
    Report rep{};
    run_rules(&rep, &arena, snap, Profile::hard_rt, false, 5);
    List<RuntimeItem> items = {};
    for (const Finding* f : build_plan(&arena, &rep).items) {
      if (writes_runtime_state(f)) list_push(&arena, &items, RuntimeItem{items.count + 1, f});
    }
    std::string text;
    for (StrView l : plan_runtime_script(&arena, &items)) text += str(l) + "\n";
    return text;
  }
};

TEST_F(HostileScript, MachineWordsAreQuotedInEveryFixAndTheScriptWritesOnlyItsTargets) {
  TempDir dir;
  for (const char* w : kHostile) {
    SCOPED_TRACE(w);
    hostile_machine(w);
    std::string text = script_of_plan(), script = dir.file("rt-tuning.sh");
    dir.write("rt-tuning.sh", text);
    EXPECT_EQ(system(("sh -n " + script).c_str()), 0) << text;
    bool printable = std::string(w).find('\n') == std::string::npos;
    EXPECT_EQ(text.find("echo 0,1 > ") != std::string::npos, printable) << text;
    std::string irq = "/proc/irq/" + std::string(w), cg = "/sys/fs/cgroup/" + std::string(w);
    std::set<std::string> files;
    if (!run_confined(script, {irq, cg, "/sys/devices/system/cpu/cpu2/cpuidle/state1"}, &files,
                      dir.file("listing")))
      GTEST_SKIP() << "needs root and a mount namespace";
    std::set<std::string> want = {"/sys/devices/system/cpu/cpu2/cpuidle/state1/disable"};
    if (printable) want.insert({irq + "/smp_affinity_list", cg + "/cpuset.cpus.partition"});
    EXPECT_EQ(files, want) << text;
  }
}

}  // namespace
