// The interrupts and threads of the rich fixture: a 16-CPU PREEMPT_RT box
// with CPUs 2-3,6-7,10-11,14-15 isolated, a SATA controller routed onto an
// isolated CPU, a NIC with one managed queue per CPU and RT threads placed
// well and badly.
#include <string>

#include "base/cpuset.h"
#include "collect/interrupts.h"
#include "collect/tasks.h"
#include "source/source.h"
#include "test_util.h"

namespace {

class RichFixtureTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    Source* src = open_source(tests_dir() + "/fixtures/rich");
    ASSERT_TRUE(src);
    s = arena_new<Snapshot>(&arena);
    s->arena = &arena;
    s->src = src;
    collect_interrupts(s);
    collect_tasks(s);
  }
  const IrqInfo* irq(const std::string& name) {
    for (const IrqInfo& i : s->irqs)
      if (str(i.name) == name) return &i;
    return nullptr;
  }
  const RtTask* task(int tid) {
    for (const RtTask& t : s->rt_tasks)
      if (t.tid == tid) return &t;
    return nullptr;
  }
  std::string cpus(const CpuSet& c) { return str(cpuset_format_list(&arena, &c)); }
  Snapshot* s = nullptr;
};

TEST_F(RichFixtureTest, EveryFileTheCollectorsReadIsThere) {
  for (const ReadError& e : s->src->read_errors) ADD_FAILURE() << str(e.path) << " " << str(e.name);
}

TEST_F(RichFixtureTest, Interrupts) {
  ASSERT_TRUE(s->interrupts_available);
  EXPECT_EQ(s->irqs.count, 27u);
  EXPECT_EQ(s->special_irqs.count, 19u);
  EXPECT_EQ(s->softirqs.count, 10u);
  EXPECT_TRUE(s->default_affinity.has);
  EXPECT_EQ(cpus(s->default_affinity.value), "0,1,4,5,8,9,12,13");

  const IrqInfo* sata = irq("124");
  ASSERT_TRUE(sata);
  EXPECT_EQ(str(sata->device), "ahci[0000:00:17.0]");
  EXPECT_EQ(str(sata->chip), "IR-PCI-MSI");
  EXPECT_FALSE(sata->managed);
  EXPECT_EQ(cpus(sata->effective.value), "6");
  EXPECT_EQ(sata->per_cpu[6].count, 187345u);

  const IrqInfo* pme = irq("121");
  EXPECT_EQ(str(pme->device), "PCIe PME, pciehp");  // action names with blanks
  EXPECT_EQ(str(irq("0")->device), "timer");
  EXPECT_EQ(str(irq("0")->chip), "IO-APIC");

  int managed = 0;
  for (const IrqInfo& i : s->irqs) {
    if (!i.managed) continue;
    managed++;
    EXPECT_TRUE(cpuset_equal(&i.affinity.value, &i.effective.value)) << str(i.name);
    EXPECT_EQ(cpuset_count(&i.effective.value), 1) << str(i.name);
  }
  EXPECT_EQ(managed, 16);  // one queue per CPU; the NIC's own vector is not one
  EXPECT_FALSE(irq("126")->managed);
}

TEST_F(RichFixtureTest, Threads) {
  ASSERT_TRUE(s->tasks_available);
  EXPECT_EQ(s->threads_scanned, 116);
  EXPECT_EQ(str(s->sched_getattr_note), "not a live system");
  EXPECT_EQ(s->rt_tasks[0].policy, 6);  // the deadline thread sorts first
  const RtTask* logger = task(2403);
  EXPECT_EQ(cpus(logger->affinity.value), "0-15");
  EXPECT_EQ(logger->rt_priority, 90);
  EXPECT_EQ(cpus(task(2401)->affinity.value), "2");
  EXPECT_EQ(str(task(2405)->comm), "sensor (rx) 2");
  EXPECT_EQ(str(task(2406)->comm), "bad\nname");
  EXPECT_FALSE(task(2500)->kthread);  // the zombie
  EXPECT_EQ(str(task(205)->irq_number), "124");
  EXPECT_TRUE(task(205)->kthread);
  EXPECT_EQ(str(task(17)->role), "Softirq processing");
}

}  // namespace
