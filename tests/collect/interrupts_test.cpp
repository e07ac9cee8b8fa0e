#include "collect/interrupts.h"

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/cpuset.h"
#include "collect/collect.h"
#include "collect/irq_sample.h"
#include "source/source_open.h"
#include "test_util.h"

namespace {

class InterruptsTest : public ArenaTest {
 protected:
  Snapshot* collect(const std::string& root) {
    StrView err = kNoneView;
    Source* src = source_open(&arena, root.empty() ? nullptr : root.c_str(), &err);
    EXPECT_TRUE(src) << str(err);
    Snapshot* snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    snap->src = src;
    snap->live = src->live;
    collect_interrupts(snap);
    return snap;
  }
  const IrqInfo* find(const List<IrqInfo>& l, const std::string& name) {
    for (const IrqInfo& i : l)
      if (str(i.name) == name) return &i;
    return nullptr;
  }
  std::string cpus(const CpuSet& s) { return str(cpuset_format_list(&arena, &s)); }
  std::string actions(const IrqInfo& i) {
    std::string out;
    for (StrView a : i.actions) out += (out.empty() ? "" : "|") + str(a);
    return out;
  }
  std::string deltas(const List<IrqCount>& l) {
    std::string out;
    for (const IrqCount& c : l) out += std::to_string(c.cpu) + ":" + std::to_string(c.delta) + " ";
    return out;
  }
};

constexpr const char kTable[] =
    "           CPU0       CPU1\n"
    "  0:         25          0   IO-APIC   2-edge      timer\n"
    " 16:        100          7   IO-APIC  16-fasteoi   ehci_hcd:usb1, i801_smbus\n"
    " 30:          0          0   IR-PCI-MSI 1572865-edge\n"
    " 31:          0          0\n"
    " 4294967296:  1          1   bogus number\n"
    "NMI:          1          2   Non-maskable interrupts\n"
    "ERR:          0\n";

TEST_F(InterruptsTest, CollectsRowsAndRouting) {
  TempDir d;
  d.write("proc/interrupts", kTable);
  // 0: nothing below /proc/irq or /sys/kernel/irq.
  // 16: two actions, its chip from sysfs, an empty list that falls back to the mask.
  d.write("proc/irq/16/ehci_hcd:usb1/.keep", "");
  d.write("proc/irq/16/i801_smbus/.keep", "");
  d.write("proc/irq/16/smp_affinity_list", "\n");
  d.write("proc/irq/16/smp_affinity", "3\n");
  d.write("proc/irq/16/effective_affinity_list", "1\n");
  d.write("proc/irq/16/effective_affinity", "ff\n");
  d.write("proc/irq/16/node", "0\n");
  d.write("proc/irq/16/spurious", "count 7\n");
  d.write("sys/kernel/irq/16/chip_name", "IO-APIC\n");
  // 30: an empty chip_name file gives way to the row's first word.
  d.write("sys/kernel/irq/30/chip_name", "\n");
  d.write("proc/irq/30/smp_affinity_list", "2-3\n");
  d.write("proc/irq/default_smp_affinity", "3\n");
  d.write("proc/softirqs", "   CPU0  CPU1\n  TIMER:  5  6\n NET_RX: 1 2\n");
  Snapshot* s = collect(d.path);

  ASSERT_TRUE(s->interrupts_available);
  EXPECT_GT(s->interrupts_read_s, 0.0);
  ASSERT_EQ(s->irqs.count, 4u);  // the row numbered beyond 32 bits is dropped
  const IrqInfo* timer = find(s->irqs, "0");
  ASSERT_TRUE(timer);
  EXPECT_EQ(str(timer->chip), "IO-APIC");
  EXPECT_EQ(actions(*timer), "timer");
  EXPECT_EQ(str(timer->device), "timer");
  EXPECT_EQ(timer->total, 25u);
  EXPECT_FALSE(timer->affinity.has);
  EXPECT_FALSE(timer->node.has);

  const IrqInfo* shared = find(s->irqs, "16");
  ASSERT_TRUE(shared);
  EXPECT_EQ(actions(*shared), "ehci_hcd:usb1|i801_smbus");
  EXPECT_EQ(str(shared->device), "ehci_hcd:usb1, i801_smbus");
  EXPECT_TRUE(shared->affinity.has);
  EXPECT_EQ(cpus(shared->affinity.value), "0,1");
  EXPECT_TRUE(shared->effective.has);
  EXPECT_EQ(cpus(shared->effective.value), "1");  // the list wins; the mask is not read
  EXPECT_TRUE(shared->node.has);
  EXPECT_EQ(shared->node.value, 0);
  EXPECT_FALSE(shared->managed);

  const IrqInfo* msi = find(s->irqs, "30");
  ASSERT_TRUE(msi);
  EXPECT_EQ(str(msi->chip), "IR-PCI-MSI");
  EXPECT_EQ(actions(*msi), "1572865-edge");
  EXPECT_EQ(cpus(msi->affinity.value), "2,3");

  const IrqInfo* bare = find(s->irqs, "31");
  ASSERT_TRUE(bare);
  EXPECT_FALSE(bare->chip.ptr);
  EXPECT_EQ(str(bare->device), "irq 31");

  ASSERT_EQ(s->special_irqs.count, 2u);
  EXPECT_TRUE(s->special_irqs[0].special);
  EXPECT_EQ(str(s->special_irqs[0].device), "Non-maskable interrupts");
  EXPECT_EQ(str(s->special_irqs[1].device), "");
  EXPECT_EQ(s->special_irqs[1].per_cpu.count, 1u);

  EXPECT_TRUE(s->default_affinity.has);
  EXPECT_EQ(cpus(s->default_affinity.value), "0,1");
  ASSERT_EQ(s->softirqs.count, 2u);
  EXPECT_EQ(str(s->softirqs[1].name), "NET_RX");
  EXPECT_EQ(s->softirqs[1].per_cpu[1].count, 2u);
  EXPECT_FALSE(s->sampled);
}

TEST_F(InterruptsTest, WithoutTheTableNothingElseIsRead) {
  TempDir d;
  d.write("proc/irq/default_smp_affinity", "3\n");
  d.write("proc/softirqs", "CPU0\nTIMER: 1\n");
  Snapshot* s = collect(d.path);
  EXPECT_FALSE(s->interrupts_available);
  EXPECT_FALSE(s->default_affinity.has);
  EXPECT_EQ(s->softirqs.count, 0u);
  EXPECT_EQ(s->interrupts_read_s, 0.0);
}

// Rows past kMaxIrqRows are dropped (numbered and named together) and the
// table recorded as too large; each row kept holds its own counts.
TEST_F(InterruptsTest, RowsPastTheBoundAreDropped) {
  std::string irqs = "CPU0 CPU1\n0: 5 6 edge dev\n", soft = "CPU0\n";
  for (size_t i = 0; i <= kMaxIrqRows; i++) {
    irqs += "X" + std::to_string(i) + ": " + std::to_string(i) + " 2 named\n";
    soft += "S" + std::to_string(i) + ": 3\n";
  }
  TempDir d;
  d.write("proc/interrupts", irqs);
  d.write("proc/softirqs", soft);
  Snapshot* s = collect(d.path);
  EXPECT_EQ(s->irqs.count + s->special_irqs.count, kMaxIrqRows);
  EXPECT_EQ(s->softirqs.count, kMaxIrqRows);
  EXPECT_EQ(s->special_irqs[7].per_cpu[0].count, 7u);
  std::string errs;
  for (const ReadError& e : s->src->read_errors) errs += str(e.name) == "E2BIG" ? str(e.path) : "";
  EXPECT_EQ(errs, "/proc/interrupts/proc/softirqs");
}

// A default affinity that is not a mask is not read: it must not pass for a
// mask that keeps every interrupt away from the isolated CPUs.
TEST_F(InterruptsTest, MalformedDefaultAffinityCountsAsNotRead) {
  struct Case {
    const char* text;
    bool has;
    const char* set;
  };
  const Case cases[] = {
      {"ffff\n", true, "0-15"},
      {"00000000,00003333\n", true, "0,1,4,5,8,9,12,13"},
      {"0\n", true, ""},  // a real mask naming no CPU
      {"garbage\n", false, ""},
      {"\n", false, ""},
      {"0-3\n", false, ""},
      {"ff,,ff\n", false, ""},
      {"123456789\n", false, ""},
  };
  for (const Case& c : cases) {
    TempDir d;
    d.write("proc/interrupts", "CPU0\n");
    d.write("proc/irq/default_smp_affinity", c.text);
    Snapshot* s = collect(d.path);
    EXPECT_EQ(s->default_affinity.has, c.has) << c.text;
    EXPECT_EQ(cpus(s->default_affinity.value), c.set) << c.text;
  }
}

TEST_F(InterruptsTest, ManagedQueueVectors) {
  struct Case {
    const char* chip;
    std::vector<const char*> actions;
    bool managed;
  };
  const Case cases[] = {
      {"IR-PCI-MSIX-0000:00:1f.6", {"eno1"}, false},
      {"IR-PCI-MSIX-0000:00:1f.6", {"nvme0q1"}, true},
      {"IR-PCI-MSIX-0000:00:1f.6", {"ens1f0-TxRx-3"}, true},
      {"PCI-MSI", {"mlx5_comp2"}, true},
      {"PCI-MSIX-0000:00:03.0", {"virtio0-input.0"}, true},
      {"PCI-MSI", {"eth0-7"}, true},
      {"ITS-MSI", {"other", "nvme1q12"}, true},
      {"PCI-MSI", {"12345"}, false},  // digits alone
      {"PCI-MSI", {"nvme0"}, false},
      {"PCI-MSI", {"nvme0q"}, false},  // a q must be followed by a digit
      {"PCI-MSI", {"nvmeq"}, false},
      {"pci-msi-x", {"eth0-rx-1"}, true},
      {"IO-APIC", {"nvme0q1"}, false},  // not an MSI chip
      {"", {"nvme0q1"}, false},
      {"PCI-MSI", {}, false},
  };
  for (const Case& c : cases) {
    StrList l{};
    for (const char* a : c.actions) strlist_add(&arena, &l, sv(a));
    EXPECT_EQ(irq_is_managed(sv(c.chip), &l), c.managed) << c.chip << " " << (l.count ? c.actions[0] : "");
  }
}

TEST_F(InterruptsTest, CounterDelta) {
  struct Case {
    uint64_t before, after, delta;
  };
  const Case cases[] = {
      {10, 25, 15},
      {7, 7, 0},
      {4294967290u, 5, 11},           // 32-bit wrap
      {4294967295u, 0, 1},
      {5000000000u, 10, 0},           // a 64-bit counter that went down: a reset
      {100, 5000000000u, 4999999900u},
  };
  for (const Case& c : cases)
    EXPECT_EQ(irq_counter_delta(c.before, c.after), c.delta) << c.before << " -> " << c.after;
}

TEST_F(InterruptsTest, SampleMatchesRowsAndCpus) {
  TempDir d;
  d.write("proc/interrupts",
          "      CPU0       CPU1       CPU2\n"
          "  5:  4294967290   10   20   PCI-MSI eth0\n"
          "  6:  100   100   100   PCI-MSI gone\n"
          "LOC:  1000  2000  3000   Local timer interrupts\n"
          "ERR:  3\n");
  d.write("proc/softirqs", "  CPU0 CPU1 CPU2\nTIMER: 10 10 10\nRCU: 1 1 1\n");
  Snapshot* s = collect(d.path);
  ASSERT_TRUE(s->interrupts_available);
  // The second reading: columns in another order, CPU 2 gone, row 6 gone, a new row 7.
  apply_interrupt_sample(s, sv("  CPU1   CPU0\n"
                               "  5:  15   3   PCI-MSI eth0\n"
                               "  7:  50   50  PCI-MSI new\n"
                               "LOC:  2500  1100   Local timer interrupts\n"
                               "ERR:  1\n"),
                         sv("CPU0 CPU1 CPU2\nTIMER: 12 15 10\n"), 1.25);
  EXPECT_TRUE(s->sampled);
  EXPECT_EQ(s->sample_window_s, 1.25);
  EXPECT_EQ(deltas(s->irqs[0].per_cpu), "0:9 1:5 2:0 ");
  EXPECT_EQ(s->irqs[0].delta_total, 14u);
  EXPECT_EQ(s->irqs[0].per_cpu[0].count, 4294967290u);  // counts stay those of the first reading
  EXPECT_EQ(deltas(s->irqs[1].per_cpu), "0:0 1:0 2:0 ");
  EXPECT_EQ(s->irqs.count, 2u);
  EXPECT_EQ(deltas(s->special_irqs[0].per_cpu), "0:100 1:500 2:0 ");
  EXPECT_EQ(deltas(s->special_irqs[1].per_cpu), "0:0 ");  // its one count is now CPU 1's
  EXPECT_EQ(deltas(s->softirqs[0].per_cpu), "0:2 1:5 2:0 ");
  EXPECT_EQ(s->softirqs[0].delta_total, 7u);
  EXPECT_EQ(s->softirqs[1].delta_total, 0u);
}

TEST_F(InterruptsTest, SamplingNeedsTheFirstReading) {
  TempDir d;
  Snapshot* s = collect(d.path);
  auto start = std::chrono::steady_clock::now();
  sample_interrupts(s, 5000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));  // no wait
  EXPECT_FALSE(s->sampled);
}

// The window runs from the first reading, so time spent after it (the later
// collection steps) counts: a rate is never divided by the interval alone.
TEST_F(InterruptsTest, LiveWindowIsTheTimeThatPassed) {
  Snapshot* s = collect("");
  if (!s->interrupts_available) GTEST_SKIP() << "no /proc/interrupts here";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto start = std::chrono::steady_clock::now();
  sample_interrupts(s, 100);
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(s->sampled);
  EXPECT_GE(s->sample_window_s, 0.4);
  EXPECT_LT(s->sample_window_s, waited + 0.3 + 5.0);
}

// Counts of /proc/interrupts by row label and CPU, read independently of
// the parser under test.
using Counts = std::map<std::string, std::map<int, uint64_t>>;

Counts read_proc_interrupts() {
  std::istringstream in(read_file("/proc/interrupts"));
  std::string line, word;
  std::getline(in, line);
  std::vector<int> cols;
  for (std::istringstream h(line); h >> word;)
    if (word.rfind("CPU", 0) == 0) cols.push_back(std::stoi(word.substr(3)));
  Counts out;
  while (std::getline(in, line)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::istringstream l(line.substr(0, colon));
    std::string label;
    l >> label;
    std::istringstream r(line.substr(colon + 1));
    for (size_t k = 0; k < cols.size() && r >> word; k++) {
      if (word.find_first_not_of("0123456789") != std::string::npos) break;
      out[label][cols[k]] = std::stoull(word);
    }
  }
  return out;
}

TEST_F(InterruptsTest, LiveDeltasLieWithinTheirOwnBeforeAndAfter) {
  if (access("/proc/interrupts", R_OK) != 0) GTEST_SKIP() << "no /proc/interrupts here";
  StrView err = kNoneView;
  Source* src = source_open(&arena, nullptr, &err);
  Counts before = read_proc_interrupts();
  Snapshot* s = arena_new<Snapshot>(&arena);
  collect_snapshot(s, &arena, src, 200);
  Counts after = read_proc_interrupts();
  ASSERT_TRUE(s->sampled);
  size_t checked = 0;
  for (const List<IrqInfo>* list : {&s->irqs, &s->special_irqs}) {
    for (const IrqInfo& irq : *list) {
      std::string name = str(irq.name);
      uint64_t sum = 0;
      for (const IrqCount& c : irq.per_cpu) {
        sum += c.delta;
        if (!before[name].count(c.cpu) || !after[name].count(c.cpu)) continue;
        uint64_t b = before[name][c.cpu], a = after[name][c.cpu];
        EXPECT_LE(c.delta, irq_counter_delta(b, a)) << name << " CPU" << c.cpu;
        // The collector's own first reading lies between the two.
        EXPECT_LE(irq_counter_delta(b, c.count), irq_counter_delta(b, a)) << name << " CPU" << c.cpu;
        checked++;
      }
      EXPECT_EQ(irq.delta_total, sum) << name;
    }
  }
  EXPECT_GT(checked, 0u);
}

}  // namespace
