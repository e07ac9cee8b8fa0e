#include "collect/interrupts.h"

#include <climits>
#include <cstdio>

#include "base/cpuset.h"
#include "base/parse.h"
#include "collect/clock.h"
#include "collect/irq_table.h"
#include "source/source.h"

namespace {

// Names in a /proc/irq/N directory that are files; every other entry is the
// directory of an action (handler) registered on the interrupt.
constexpr StrView kIrqFiles[] = {
    sv_lit("smp_affinity"),       sv_lit("smp_affinity_list"), sv_lit("effective_affinity"),
    sv_lit("effective_affinity_list"), sv_lit("affinity_hint"), sv_lit("node"),
    sv_lit("spurious"),
};

// Parts of action names that drivers give their per-queue vectors.
constexpr const char* kQueuePatterns[] = {
    "_comp", "-TxRx-", "-Tx-", "-Rx-", "-tx-", "-rx-", "-queue", "-input.", "-output.",
};

// The two files that describe one affinity: the cpulist form, and the mask
// form read when the list is missing, empty or names no CPU.
struct AffinityFiles {
  const char* list;
  const char* mask;
  OptCpuSet IrqInfo::*set;
};

constexpr AffinityFiles kAffinities[] = {
    {"smp_affinity_list", "smp_affinity", &IrqInfo::affinity},
    {"effective_affinity_list", "effective_affinity", &IrqInfo::effective},
};

// What the per-interrupt reads share: the Snapshot, one reused file buffer
// and the path being formed.
struct IrqReader {
  Snapshot* snap;
  ReadBuf buf;
  char path[96];
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_irq_file(StrView name) {
  for (StrView f : kIrqFiles)
    if (sv_eq(name, f)) return true;
  return false;
}

// The trimmed text of /proc/irq/N/NAME (or another directory's file), valid
// until the next read through the reader.
StrView read_irq_file(IrqReader* r, const char* dir, int32_t irq, const char* name) {
  snprintf(r->path, sizeof r->path, "%s/%d/%s", dir, irq, name);
  return sv_trim(source_read_reuse(r->snap->src, sv_from_cstr(r->path), &r->buf));
}

// The affinity reading of one list/mask pair: the list when it names CPUs,
// else the mask when that names CPUs. The set is present when the list was
// read, or the mask gave the set.
void read_affinity(IrqReader* r, int32_t irq, const AffinityFiles& f, IrqInfo* info) {
  OptCpuSet* opt = &(info->*f.set);
  CpuSet* set = &opt->value;
  StrView list = read_irq_file(r, "/proc/irq", irq, f.list);
  if (list.len > 0) {
    cpuset_parse_list(set, list);
    opt->has = true;
    if (!cpuset_empty(set)) return;
  }
  StrView mask = read_irq_file(r, "/proc/irq", irq, f.mask);
  if (mask.len == 0) return;
  CpuSet parsed;
  cpuset_parse_mask(&parsed, mask);
  if (cpuset_empty(&parsed)) return;
  cpuset_copy(set, &parsed);
  opt->has = true;
}

void read_node(IrqReader* r, int32_t irq, IrqInfo* info) {
  StrView text = read_irq_file(r, "/proc/irq", irq, "node");
  StrView first = sv_trim(sv_next_token(&text, " \t\n"));
  int64_t node;
  if (first.len == 0 || !parse_i64(first, &node)) return;
  info->node.has = true;
  info->node.value = node;
}

void read_actions(IrqReader* r, int32_t irq, IrqInfo* info) {
  Arena* a = r->snap->arena;
  snprintf(r->path, sizeof r->path, "/proc/irq/%d", irq);
  StrList entries{};
  source_list(r->snap->src, r->path, &entries);
  for (StrView e : entries)
    if (!is_irq_file(e)) strlist_add(a, &info->actions, e);
}

StrView join(Arena* a, const List<StrView>* words, const char* sep) {
  StrBuf sb;
  sb_init(&sb, a);
  for (size_t i = 0; i < words->count; i++) {
    if (i > 0) sb_append_cstr(&sb, sep);
    sb_append_view(&sb, (*words)[i]);
  }
  return sb_view(&sb);
}

// On an ARM GIC the hardware numbers below 32 are the software-generated
// (IPI) and private peripheral interrupts, which each CPU has its own of
// (Documentation/devicetree/bindings/interrupt-controller/arm,gic.yaml: PPIs
// are per processor, SGIs are sent between processors): arch_timer, the
// PMU, the IPIs. /proc/interrupts prints the hardware number right after the
// controller's name ("GICv3  27 Level  arch_timer").
constexpr int64_t kGicFirstShared = 32;

bool gic_per_cpu(StrView chip, const IrqRow* row) {
  if (!sv_starts_with(chip, "GIC") || row->words.count < 2) return false;
  int64_t hwirq;
  return sv_all_digits(row->words[1]) && parse_i64(row->words[1], &hwirq) &&
         hwirq < kGicFirstShared;
}

void describe_numbered(IrqReader* r, int32_t irq, const IrqRow* row, IrqInfo* info) {
  Arena* a = r->snap->arena;
  read_actions(r, irq, info);
  StrView chip = read_irq_file(r, "/sys/kernel/irq", irq, "chip_name");
  if (chip.len > 0)
    info->chip = arena_strndup(a, chip);
  else if (row->words.count > 0)
    info->chip = row->words[0];
  if (info->actions.count == 0 && row->words.count > 0)
    strlist_add(a, &info->actions, row->words[row->words.count - 1]);
  info->device = info->actions.count > 0 ? join(a, &info->actions, ", ")
                                         : arena_sprintf(a, "irq %d", irq);
  for (const AffinityFiles& f : kAffinities) read_affinity(r, irq, f, info);
  read_node(r, irq, info);
  info->managed = irq_is_managed(info->chip, &info->actions);
  info->per_cpu_vector = gic_per_cpu(info->chip, row);
}

bool row_fits(Snapshot* s, size_t kept, const char* path) {
  if (kept < kMaxIrqRows) return true;
  record_read_error(s->src, sv_from_cstr(path), sv_lit("E2BIG"));
  return false;
}

// The row's record is filled in place at the end of its list, so the list
// holds the only copy of it.
bool add_row(void* ctx, const IrqRow* row) {
  IrqReader* r = static_cast<IrqReader*>(ctx);
  Snapshot* s = r->snap;
  if (!row_fits(s, s->irqs.count + s->special_irqs.count, "/proc/interrupts")) return false;
  bool special = !sv_all_digits(row->label);
  int32_t irq;
  if (!special && !parse_id(row->label, &irq)) return true;
  IrqInfo* info = list_grow(s->arena, special ? &s->special_irqs : &s->irqs);
  info->name = row->label;
  info->per_cpu = irq_row_keep_counts(s->arena, row);
  info->total = row->total;
  info->special = special;
  if (special)
    info->device = join(s->arena, &row->words, " ");
  else
    describe_numbered(r, irq, row, info);
  return true;
}

// The default affinity of new interrupts; a text that is not a mask counts
// as not read, so it never passes for a mask that excludes every CPU.
void read_default_affinity(IrqReader* r) {
  StrView text = sv_trim(
      source_read_reuse(r->snap->src, sv_lit("/proc/irq/default_smp_affinity"), &r->buf));
  if (!irq_mask_well_formed(text)) return;
  cpuset_parse_mask(&r->snap->default_affinity.value, text);
  r->snap->default_affinity.has = true;
}

bool add_softirq(void* ctx, const IrqRow* row) {
  Snapshot* s = static_cast<Snapshot*>(ctx);
  if (!row_fits(s, s->softirqs.count, "/proc/softirqs")) return false;
  SoftirqInfo* info = list_grow(s->arena, &s->softirqs);
  info->name = row->label;
  info->per_cpu = irq_row_keep_counts(s->arena, row);
  return true;
}

void read_softirqs(Snapshot* s) {
  StrView text = source_read(s->src, "/proc/softirqs");
  List<int32_t> cpus{};
  parse_interrupt_rows(s->arena, text, &cpus, add_softirq, s);
}

bool has_queue_pattern(StrView action) {
  for (const char* p : kQueuePatterns)
    if (sv_contains(action, p)) return true;
  return false;
}

// nvme0q3: "nvme", then a "q" and a digit somewhere from the fifth byte on.
bool is_nvme_queue(StrView action) {
  if (!sv_starts_with(action, "nvme") || action.len <= 5) return false;
  for (size_t i = 4; i + 1 < action.len; i++)
    if (action.ptr[i] == 'q' && is_digit(action.ptr[i + 1])) return true;
  return false;
}

// eth0-7: a name, "-", then a queue number ending the name.
bool ends_with_dash_number(StrView action) {
  size_t i = action.len;
  while (i > 0 && is_digit(action.ptr[i - 1])) i--;
  return i < action.len && i > 0 && action.ptr[i - 1] == '-';
}

}  // namespace

bool irq_is_managed(StrView chip, const StrList* actions) {
  if (chip.len == 0 || (!sv_contains(chip, "MSI") && !sv_contains(chip, "msi"))) return false;
  for (StrView a : *actions)
    if (is_nvme_queue(a) || has_queue_pattern(a) || ends_with_dash_number(a)) return true;
  return false;
}

bool irq_mask_well_formed(StrView text) {
  if (text.len == 0) return false;
  size_t groups = 0;
  StrView cur = text;
  while (cur.ptr) {
    StrView g = sv_next_token(&cur, ",");
    if (g.len == 0 || g.len > 8 || ++groups > kMaxCpus / 32) return false;
    for (size_t i = 0; i < g.len; i++) {
      char c = g.ptr[i];
      if (!is_digit(c) && !(c >= 'a' && c <= 'f') && !(c >= 'A' && c <= 'F')) return false;
    }
  }
  return true;
}

void collect_interrupts(Snapshot* snap) {
  StrView text = source_read(snap->src, "/proc/interrupts");
  if (!text.ptr) return;
  snap->interrupts_read_s = monotonic_seconds();
  snap->interrupts_available = true;
  List<int32_t> cpus{};
  IrqReader r{};
  r.snap = snap;
  parse_interrupt_rows(snap->arena, text, &cpus, add_row, &r);
  read_default_affinity(&r);
  read_softirqs(snap);
}
