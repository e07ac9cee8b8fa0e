#include "collect/kernel.h"

#include <string>

#include "gz_util.h"
#include "source/source.h"
#include "test_util.h"

namespace {

class KernelTest : public ArenaTest {
 protected:
  // Runs the kernel collector over the tree at path.
  Snapshot* collect(const std::string& path) {
    Source* src = open_source(path);
    if (!src) return nullptr;
    Snapshot* snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    snap->src = src;
    collect_kernel(snap);
    return snap;
  }
  Snapshot* collect(const TempDir& dir) { return collect(dir.path); }
  std::string fixture(const char* name) { return tests_dir() + "/fixtures/" + name; }
  bool has_read_error(const Snapshot* s, const char* path, const char* name) {
    for (const ReadError& e : s->src->read_errors) {
      if (sv_eq_cstr(e.path, path)) return sv_eq_cstr(e.name, name);
    }
    return false;
  }
};

// ---- where the configuration comes from ----

TEST_F(KernelTest, ConfigGzWinsOverBoot) {
  TempDir d;
  d.write("proc/sys/kernel/osrelease", "6.1.0-x\n");
  d.write("proc/config.gz", gzip_bytes("CONFIG_HZ=1000\n"));
  d.write("boot/config-6.1.0-x", "CONFIG_HZ=100\n");
  Snapshot* s = collect(d);
  EXPECT_TRUE(s->config_available);
  EXPECT_EQ(str(s->config_source), "/proc/config.gz");
  EXPECT_EQ(s->hz.value, 1000);
}

TEST_F(KernelTest, CorruptConfigGzFallsBackAndIsRecorded) {
  TempDir d;
  d.write("proc/sys/kernel/osrelease", "6.1.0-x\n");
  d.write("proc/config.gz", "CONFIG_HZ=1000\n");  // plain text, not gzip
  d.write("boot/config-6.1.0-x", "CONFIG_HZ=100\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->config_source), "/boot/config-6.1.0-x");
  EXPECT_EQ(s->hz.value, 100);
  EXPECT_TRUE(has_read_error(s, "/proc/config.gz", "EBADGZIP"));
}

TEST_F(KernelTest, EmptyCandidatesAreSkipped) {
  TempDir d;
  d.write("proc/sys/kernel/osrelease", "6.1.0-x\n");
  d.write("proc/config.gz", gzip_bytes(""));
  d.write("boot/config-6.1.0-x", "\n  \n");
  d.write("lib/modules/6.1.0-x/build/.config", "CONFIG_HZ=300\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->config_source), "/lib/modules/6.1.0-x/build/.config");
  EXPECT_EQ(s->hz.value, 300);
}

TEST_F(KernelTest, ReleaseConfigBeforeOtherBootConfigs) {
  TempDir d;
  d.write("proc/sys/kernel/osrelease", "6.1.0-b\n");
  d.write("boot/config-6.1.0-a", "CONFIG_HZ=100\n");
  d.write("boot/config-6.1.0-b", "CONFIG_HZ=250\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->config_source), "/boot/config-6.1.0-b");
  EXPECT_EQ(s->hz.value, 250);
}

// /boot/config-RELEASE, then the build tree's .config, and only then any other
// /boot/config-* (even one that sorts first).
TEST_F(KernelTest, ReleaseCandidatesInOrderBeforeTheGlob) {
  TempDir d;
  d.write("proc/sys/kernel/osrelease", "6.1.0-x\n");
  d.write("boot/config-6.1.0-a", "CONFIG_HZ=100\n");
  d.write("boot/config-6.1.0-x", "CONFIG_HZ=250\n");
  d.write("lib/modules/6.1.0-x/build/.config", "CONFIG_HZ=300\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->config_source), "/boot/config-6.1.0-x");
  EXPECT_EQ(s->hz.value, 250);

  TempDir e;
  e.write("proc/sys/kernel/osrelease", "6.1.0-x\n");
  e.write("boot/config-6.1.0-a", "CONFIG_HZ=100\n");
  e.write("lib/modules/6.1.0-x/build/.config", "CONFIG_HZ=300\n");
  s = collect(e);
  EXPECT_EQ(str(s->config_source), "/lib/modules/6.1.0-x/build/.config");
  EXPECT_EQ(s->hz.value, 300);
}

TEST_F(KernelTest, WithoutReleaseTheFirstSortedBootConfigWins) {
  TempDir d;
  d.write("boot/config-6.1.0-b", "CONFIG_HZ=250\n");
  d.write("boot/config-6.1.0-a", "");
  d.write("boot/config-5.10.0-a", "CONFIG_HZ=1000\n");
  Snapshot* s = collect(d);
  // "5.10..." sorts first; the empty "6.1.0-a" would be skipped anyway.
  EXPECT_EQ(str(s->config_source), "/boot/config-5.10.0-a");
  EXPECT_EQ(s->hz.value, 1000);
}

TEST_F(KernelTest, ReleaseWithoutItsConfigFallsBackToGlob) {
  TempDir d;
  d.write("proc/sys/kernel/osrelease", "6.9.9\n");
  d.write("boot/config-6.1.0-a", "CONFIG_HZ=100\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->config_source), "/boot/config-6.1.0-a");
  EXPECT_TRUE(has_read_error(s, "/boot/config-6.9.9", "ENOENT"));
  EXPECT_TRUE(has_read_error(s, "/lib/modules/6.9.9/build/.config", "ENOENT"));
}

TEST_F(KernelTest, ReleaseThatIsAPathIsNotFollowed) {
  TempDir d;
  d.write("proc/sys/kernel/osrelease", "../proc/secret\n");
  d.write("proc/secret", "CONFIG_HZ=1\n");
  d.write("boot/config-real", "CONFIG_HZ=100\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->release), "../proc/secret");
  EXPECT_EQ(str(s->config_source), "/boot/config-real");
  EXPECT_EQ(s->hz.value, 100);
}

TEST_F(KernelTest, NoConfigurationAnywhere) {
  TempDir d;
  d.write("proc/version", "Linux version 6.1.0 #1 SMP\n");
  Snapshot* s = collect(d);
  EXPECT_FALSE(s->config_available);
  EXPECT_FALSE(s->config_source.ptr);
  EXPECT_EQ(s->config.count, 0u);
  EXPECT_FALSE(s->config_preempt_model.ptr);
  EXPECT_FALSE(s->preempt_model.ptr);
  EXPECT_FALSE(s->is_rt);
  EXPECT_FALSE(s->hz.has);
  EXPECT_EQ(s->debug_options.count, 0u);
  EXPECT_EQ(str(s->proc_version), "Linux version 6.1.0 #1 SMP");
  EXPECT_FALSE(s->release.ptr);
}

// ---- PREEMPT_RT evidence ----

TEST_F(KernelTest, RealtimeFileBeatsEverything) {
  TempDir d;
  d.write("sys/kernel/realtime", "1\n");
  d.write("proc/version", "Linux version 6.1.0-rt #1 SMP PREEMPT_RT\n");
  d.write("boot/config-x", "CONFIG_PREEMPT_NONE=y\n");
  Snapshot* s = collect(d);
  EXPECT_TRUE(s->is_rt);
  EXPECT_EQ(str(s->rt_evidence), "/sys/kernel/realtime = 1");
  EXPECT_EQ(str(s->config_preempt_model), "none");
  EXPECT_EQ(str(s->preempt_model), "rt");
}

TEST_F(KernelTest, ProcVersionEvidence) {
  for (const char* version : {"#1 SMP PREEMPT_RT Debian", "#1 SMP PREEMPT RT Tue"}) {
    TempDir d;
    d.write("sys/kernel/realtime", "0\n");
    d.write("proc/version", std::string("Linux version 6.1.0 ") + version + "\n");
    Snapshot* s = collect(d);
    EXPECT_TRUE(s->is_rt) << version;
    EXPECT_EQ(str(s->rt_evidence), "PREEMPT_RT in /proc/version");
  }
}

TEST_F(KernelTest, ConfigEvidenceForBothSymbols) {
  for (const char* line :
       {"CONFIG_PREEMPT_RT=y", "CONFIG_PREEMPT_RT_FULL=y", "CONFIG_PREEMPT_RT=m"}) {
    TempDir d;
    d.write("proc/version", "Linux version 6.1.0 #1 SMP PREEMPT_DYNAMIC\n");
    d.write("boot/config-x", std::string(line) + "\n");
    Snapshot* s = collect(d);
    EXPECT_TRUE(s->is_rt) << line;
    EXPECT_EQ(str(s->rt_evidence), "CONFIG_PREEMPT_RT=y");
    EXPECT_EQ(str(s->config_preempt_model), "rt");
    EXPECT_EQ(str(s->preempt_model), "rt");
  }
}

TEST_F(KernelTest, NoRtEvidence) {
  TempDir d;
  d.write("sys/kernel/realtime", "2\n");
  d.write("proc/version", "Linux version 6.1.0 #1 SMP PREEMPT_DYNAMIC PREEMPT_R\n");
  d.write("boot/config-x", "# CONFIG_PREEMPT_RT is not set\nCONFIG_PREEMPT_RT_FULL=n\n");
  Snapshot* s = collect(d);
  EXPECT_FALSE(s->is_rt);
  EXPECT_FALSE(s->rt_evidence.ptr);
}

TEST_F(KernelTest, RealtimeFileReadsFirstWord) {
  TempDir d;
  d.write("sys/kernel/realtime", "  1 extra\n");
  EXPECT_TRUE(collect(d)->is_rt);
  TempDir e;
  e.write("sys/kernel/realtime", "yes\n");
  EXPECT_FALSE(collect(e)->is_rt);
}

// ---- preemption models ----

TEST_F(KernelTest, ConfigPreemptModelOrder) {
  struct Case {
    const char* config;
    const char* model;
  } cases[] = {
      {"CONFIG_PREEMPT=y\nCONFIG_PREEMPT_LAZY=y\n", "lazy"},
      {"CONFIG_PREEMPT=y\nCONFIG_PREEMPT_VOLUNTARY=y\n", "full"},
      {"CONFIG_PREEMPT_NONE=y\nCONFIG_PREEMPT_VOLUNTARY=y\n", "voluntary"},
      {"CONFIG_PREEMPT_NONE=y\n# CONFIG_PREEMPT is not set\n", "none"},
      {"CONFIG_PREEMPT_LAZY=y\nCONFIG_PREEMPT_RT=y\n", "rt"},
      {"CONFIG_PREEMPT=n\nCONFIG_PREEMPTION=y\n", nullptr},
  };
  for (const Case& c : cases) {
    TempDir d;
    d.write("boot/config-x", c.config);
    Snapshot* s = collect(d);
    EXPECT_EQ(str(s->config_preempt_model), c.model ? c.model : "<none>") << c.config;
    EXPECT_EQ(str(s->preempt_model), str(s->config_preempt_model)) << c.config;
  }
}

TEST_F(KernelTest, PreemptFileNamesTheActiveModel) {
  TempDir d;
  d.write("boot/config-x", "CONFIG_PREEMPT_RT=y\nCONFIG_PREEMPT_DYNAMIC=m\n");
  d.write("sys/kernel/debug/sched/preempt", "none voluntary (full) lazy\n");
  Snapshot* s = collect(d);
  EXPECT_EQ(str(s->preempt_model), "full");
  EXPECT_EQ(str(s->config_preempt_model), "rt");
  EXPECT_TRUE(s->preempt_dynamic);
}

TEST_F(KernelTest, PreemptFileOddShapes) {
  struct Case {
    const char* text;
    const char* model;
  } cases[] = {
      {"(none)\tvoluntary\nfull", "none"},
      {"none () (x) lazy", "x"},
      {"none voluntary full", "voluntary"},  // no marked model: the configuration's
      {"(full", "voluntary"},
      {"", "voluntary"},
      {"(a)(b)", "a)(b"},
  };
  for (const Case& c : cases) {
    TempDir d;
    d.write("boot/config-x", "CONFIG_PREEMPT_VOLUNTARY=y\n");
    d.write("sys/kernel/debug/sched/preempt", c.text);
    EXPECT_EQ(str(collect(d)->preempt_model), c.model) << c.text;
  }
}

TEST_F(KernelTest, PreemptFileWithoutMarkOnRtKernel) {
  TempDir d;
  d.write("sys/kernel/realtime", "1");
  d.write("sys/kernel/debug/sched/preempt", "none voluntary full\n");
  EXPECT_EQ(str(collect(d)->preempt_model), "rt");
}

// ---- tick rate ----

TEST_F(KernelTest, TickRate) {
  struct Case {
    const char* config;
    bool has;
    int64_t hz;
  } cases[] = {
      {"CONFIG_HZ=1000\n", true, 1000},
      {"CONFIG_HZ=100\nCONFIG_HZ=300\n", true, 300},
      {"CONFIG_HZ=\"250\"\n", true, 250},
      // Zero or a negative number is no tick rate: left unknown.
      {"CONFIG_HZ=0\n", false, 0},
      {"CONFIG_HZ=-250\n", false, 0},
      {"CONFIG_HZ=abc\n", false, 0},
      {"CONFIG_HZ=\n", false, 0},
      {"CONFIG_HZ=99999999999999999999\n", false, 0},
      {"CONFIG_HZ_1000=y\n", false, 0},
  };
  for (const Case& c : cases) {
    TempDir d;
    d.write("boot/config-x", c.config);
    Snapshot* s = collect(d);
    EXPECT_EQ(s->hz.has, c.has) << c.config;
    EXPECT_EQ(s->hz.value, c.hz) << c.config;
  }
}

// ---- debugging options ----

TEST_F(KernelTest, DebugOptionsInTableOrder) {
  TempDir d;
  d.write("boot/config-x",
          "CONFIG_KASAN=y\nCONFIG_LOCKDEP=m\nCONFIG_DEBUG_PREEMPT=y\n"
          "# CONFIG_SCHEDSTATS is not set\nCONFIG_DEBUG_SPINLOCK=y\nCONFIG_DEBUG_LIST=n\n");
  Snapshot* s = collect(d);
  ASSERT_EQ(s->debug_options.count, 4u);
  const KvPair* o = s->debug_options.items;
  EXPECT_EQ(str(o[0].key), "CONFIG_DEBUG_PREEMPT");
  EXPECT_EQ(str(o[0].value), "preemption accounting on every enable/disable");
  EXPECT_EQ(str(o[1].key), "CONFIG_LOCKDEP");
  EXPECT_EQ(str(o[1].value), "lock dependency tracking");
  EXPECT_EQ(str(o[2].key), "CONFIG_KASAN");
  EXPECT_EQ(str(o[2].value), "shadow-memory checks on every access");
  EXPECT_EQ(str(o[3].key), "CONFIG_DEBUG_SPINLOCK");
  EXPECT_EQ(str(o[3].value), "spinlock ownership checks");
}

TEST_F(KernelTest, EveryDebugOption) {
  TempDir d;
  d.write("boot/config-x",
          "CONFIG_DEBUG_SPINLOCK=y\nCONFIG_DEBUG_LIST=y\nCONFIG_SCHEDSTATS=y\n"
          "CONFIG_LATENCYTOP=y\nCONFIG_KASAN=y\nCONFIG_DEBUG_OBJECTS=y\n"
          "CONFIG_DEBUG_ATOMIC_SLEEP=y\nCONFIG_LOCKDEP=y\nCONFIG_PROVE_LOCKING=y\n"
          "CONFIG_DEBUG_PREEMPT=y\n");
  Snapshot* s = collect(d);
  const char* want[][2] = {
      {"CONFIG_DEBUG_PREEMPT", "preemption accounting on every enable/disable"},
      {"CONFIG_PROVE_LOCKING", "lockdep validates every lock acquisition"},
      {"CONFIG_LOCKDEP", "lock dependency tracking"},
      {"CONFIG_DEBUG_OBJECTS", "object lifetime tracking on every alloc"},
      {"CONFIG_KASAN", "shadow-memory checks on every access"},
      {"CONFIG_LATENCYTOP", "per-task latency accounting"},
      {"CONFIG_SCHEDSTATS", "scheduler statistics on every context switch"},
      {"CONFIG_DEBUG_LIST", "list integrity checks in hot paths"},
      {"CONFIG_DEBUG_SPINLOCK", "spinlock ownership checks"},
  };
  // CONFIG_DEBUG_ATOMIC_SLEEP, allowed for real-time kernels, is not one.
  ASSERT_EQ(s->debug_options.count, 9u);
  for (size_t i = 0; i < 9; i++) {
    EXPECT_EQ(str(s->debug_options.items[i].key), want[i][0]);
    EXPECT_EQ(str(s->debug_options.items[i].value), want[i][1]);
  }
}

// ---- the fixture trees ----

TEST_F(KernelTest, RtFixture) {
  Snapshot* s = collect(fixture("kernel-rt"));
  EXPECT_EQ(str(s->release), "6.1.0-57-rt-amd64");
  EXPECT_TRUE(sv_starts_with(s->proc_version, "Linux version 6.1.0-57-rt-amd64 "));
  EXPECT_TRUE(s->config_available);
  EXPECT_EQ(str(s->config_source), "/boot/config-6.1.0-57-rt-amd64");
  EXPECT_TRUE(s->is_rt);
  EXPECT_EQ(str(s->rt_evidence), "/sys/kernel/realtime = 1");
  EXPECT_EQ(str(s->config_preempt_model), "rt");
  EXPECT_EQ(str(s->preempt_model), "rt");
  EXPECT_FALSE(s->preempt_dynamic);
  EXPECT_TRUE(s->hz.has);
  EXPECT_EQ(s->hz.value, 250);
  ASSERT_EQ(s->debug_options.count, 2u);
  EXPECT_EQ(str(s->debug_options.items[0].key), "CONFIG_SCHEDSTATS");
  EXPECT_EQ(str(s->debug_options.items[1].key), "CONFIG_DEBUG_LIST");
}

TEST_F(KernelTest, GenericFixture) {
  Snapshot* s = collect(fixture("kernel-generic"));
  EXPECT_EQ(str(s->config_source), "/boot/config-6.1.0-57-amd64");
  EXPECT_FALSE(s->is_rt);
  EXPECT_FALSE(s->rt_evidence.ptr);
  EXPECT_EQ(str(s->config_preempt_model), "voluntary");
  EXPECT_EQ(str(s->preempt_model), "full");
  EXPECT_TRUE(s->preempt_dynamic);
  EXPECT_EQ(s->hz.value, 250);
  EXPECT_EQ(s->debug_options.count, 2u);
}

TEST_F(KernelTest, ConfigGzFixture) {
  Snapshot* s = collect(fixture("kernel-configgz"));
  EXPECT_TRUE(s->config_available);
  EXPECT_EQ(str(s->config_source), "/proc/config.gz");
  EXPECT_GT(s->config.count, 8000u);
  EXPECT_EQ(str(s->config_preempt_model), "voluntary");
  EXPECT_EQ(str(s->preempt_model), "voluntary");
  EXPECT_TRUE(s->preempt_dynamic);
  EXPECT_EQ(s->hz.value, 250);
}

TEST_F(KernelTest, MinimalFixture) {
  Snapshot* s = collect(fixture("kernel-minimal"));
  EXPECT_TRUE(s->proc_version.ptr);
  EXPECT_FALSE(s->release.ptr);
  EXPECT_FALSE(s->config_available);
  EXPECT_FALSE(s->is_rt);
  EXPECT_FALSE(s->preempt_model.ptr);
  EXPECT_FALSE(s->hz.has);
}

}  // namespace
