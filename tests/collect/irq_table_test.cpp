#include "collect/irq_table.h"

#include <string>
#include <vector>

#include "test_util.h"

namespace {

class IrqTableTest : public ArenaTest {
 protected:
  void parse(const std::string& text) {
    text_ = text;
    cpus = {};
    rows = {};
    parse_interrupt_table(&arena, StrView{text_.data(), text_.size()}, &cpus, &rows);
  }
  const IrqRow* row(const std::string& label) {
    for (const IrqRow& r : rows)
      if (str(r.label) == label) return &r;
    return nullptr;
  }
  // "cpu=count" for each count of the row, then the description words.
  std::string describe(const std::string& label) {
    const IrqRow* r = row(label);
    if (!r) return "<no row>";
    std::string out;
    for (const IrqCount& c : r->counts) out += std::to_string(c.cpu) + "=" + std::to_string(c.count) + " ";
    out += "|";
    for (StrView w : r->words) out += " " + str(w);
    return out;
  }
  std::string text_;
  List<int32_t> cpus{};
  List<IrqRow> rows{};
};

struct RowCase {
  const char* label;
  const char* expect;
};

TEST_F(IrqTableTest, X86Layout) {
  parse(read_file(tests_dir() + "/fixtures/interrupts/x86-ioapic-msi"));
  ASSERT_EQ(cpus.count, 4u);
  EXPECT_EQ(rows.count, 11u + 14u + 2u + 3u);
  const RowCase cases[] = {
      {"0", "0=46 1=0 2=0 3=0 | IO-APIC 2-edge timer"},
      {"9", "0=0 1=4 2=0 3=0 | IO-APIC 9-fasteoi acpi"},
      {"16", "0=0 1=0 2=0 3=0 | IO-APIC 16-fasteoi i801_smbus"},
      {"124", "0=0 1=187345 2=0 3=0 | PCI-MSI 512000-edge ahci[0000:00:1f.2]"},
      {"127", "0=123456 1=0 2=0 3=0 | IR-PCI-MSI 1572865-edge enp3s0-TxRx-0"},
      {"LOC", "0=1234567 1=2345678 2=123456 3=234567 | Local timer interrupts"},
      {"MCP", "0=20 1=20 2=20 3=20 | Machine check polls"},
      {"ERR", "0=0 |"},  // fewer counts than columns
      {"MIS", "0=0 |"},
      {"PIW", "0=0 1=0 2=0 3=0 | Posted-interrupt wakeup event"},
  };
  for (const RowCase& c : cases) EXPECT_EQ(describe(c.label), c.expect) << c.label;
  EXPECT_EQ(row("LOC")->total, 1234567u + 2345678u + 123456u + 234567u);
}

TEST_F(IrqTableTest, Arm64GicV3Layout) {
  parse(read_file(tests_dir() + "/fixtures/interrupts/arm64-gicv3"));
  ASSERT_EQ(cpus.count, 4u);
  // Once every column has its count, the GIC's hardware interrupt number is
  // a description word although it is all digits.
  const RowCase cases[] = {
      {"11", "0=88123 1=87011 2=86544 3=90213 | GICv3 30 Level arch_timer"},
      {"12", "0=0 1=0 2=0 3=0 | GICv3 27 Level kvm guest vtimer"},
      {"55", "0=0 1=0 2=29873 3=0 | ITS-MSI 524291 Edge nvme0q3"},
      {"IPI3", "0=0 1=0 2=0 3=0 | CPU stop (for crash dump) interrupts"},
      {"Err", "0=0 |"},
  };
  for (const RowCase& c : cases) EXPECT_EQ(describe(c.label), c.expect) << c.label;
}

TEST_F(IrqTableTest, HeaderNamesTheCpuOfEachColumn) {
  // CPU 1 offline: its column is missing and the counts follow the header.
  parse("           CPU0       CPU2   junk CPU CPUx\n 24:   5   7  IO-APIC 5-edge ACPI:Ged\n");
  ASSERT_EQ(cpus.count, 2u);
  EXPECT_EQ(cpus[0], 0);
  EXPECT_EQ(cpus[1], 2);
  EXPECT_EQ(describe("24"), "0=5 2=7 | IO-APIC 5-edge ACPI:Ged");
}

TEST_F(IrqTableTest, OddLines) {
  parse("CPU0 CPU1\r\n"
        "no colon here\n"
        "  : 1 2 empty label\n"
        " 3:\t4\t\t x 5 \r\n"   // a word between counts; a later all-digit word still counts
        " 7: 99999999999999999999 1\n"  // too large for a count: 0
        "\n");
  EXPECT_EQ(rows.count, 2u);
  EXPECT_EQ(describe("3"), "0=4 1=5 | x");
  EXPECT_EQ(describe("7"), "0=0 1=1 |");
}

TEST_F(IrqTableTest, SoftirqLayout) {
  parse("                    CPU0       CPU1\n"
        "          HI:          1          0\n"
        "       TIMER:     123456      65432\n"
        "      NET_RX:        100        200\n"
        "     RCU:     9          8\n");
  ASSERT_EQ(rows.count, 4u);
  EXPECT_EQ(describe("TIMER"), "0=123456 1=65432 |");
  EXPECT_EQ(describe("RCU"), "0=9 1=8 |");
}

TEST_F(IrqTableTest, EmptyAndAbsentText) {
  parse("");
  EXPECT_EQ(rows.count, 0u);
  parse_interrupt_table(&arena, kNoneView, &cpus, &rows);
  EXPECT_EQ(cpus.count, 0u);
  parse("no header at all: 1 2\n5: 1 2\n");
  EXPECT_EQ(cpus.count, 0u);
  EXPECT_EQ(describe("5"), "| 1 2");  // without columns every word describes
}

}  // namespace
