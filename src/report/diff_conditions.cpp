// Whether two measurements are comparable: the conditions each recorded.
#include "collect/snapshot.h"
#include "report/diff.h"

namespace {

void differs(StrBuf* sb, const char* what, StrView o, StrView n) {
  if (sv_eq(o, n)) return;
  if (sb->len) sb_append_cstr(sb, "; ");
  sb_printf(sb, "%s %.*s -> %.*s", what, SV_ARG(o.len ? o : sv_lit("none")),
            SV_ARG(n.len ? n : sv_lit("none")));
}

StrView num(Arena* a, bool has, double v) {
  return has ? arena_sprintf(a, "%g", v) : sv_lit("none");
}

}  // namespace

StrView measure_conditions_differ(Arena* a, const Snapshot* old_s, const Snapshot* new_s) {
  const Measurement* o = &old_s->measured;
  const Measurement* n = &new_s->measured;
  if (!o->valid || !n->valid) return kNoneView;
  bool old_known = o->cond.priority != 0, new_known = n->cond.priority != 0;
  if (!old_known && !new_known) return kNoneView;
  if (!old_known || !new_known)
    return old_known ? sv_lit("the new report's conditions are not recorded")
                     : sv_lit("the old report's conditions are not recorded");
  const MeasureConditions* oc = &o->cond;
  const MeasureConditions* nc = &n->cond;
  StrBuf sb;
  sb_init(&sb, a);
  differs(&sb, "tool", o->source, n->source);
  differs(&sb, "version", oc->tool_version, nc->tool_version);
  differs(&sb, "priority", num(a, true, oc->priority), num(a, true, nc->priority));
  differs(&sb, "interval_us", num(a, true, oc->interval_us), num(a, true, nc->interval_us));
  differs(&sb, "duration_s", num(a, true, o->duration_s), num(a, true, n->duration_s));
  differs(&sb, "PM QoS", oc->pm_qos, nc->pm_qos);
  differs(&sb, "PM QoS us", num(a, oc->pm_qos_us.has, oc->pm_qos_us.value),
          num(a, nc->pm_qos_us.has, nc->pm_qos_us.value));
  differs(&sb, "load", oc->load, nc->load);
  differs(&sb, "load CPUs", cpuset_format_list(a, &oc->load_cpus),
          cpuset_format_list(a, &nc->load_cpus));
  differs(&sb, "CPUs", cpuset_format_list(a, &o->cpus), cpuset_format_list(a, &n->cpus));
  return sb.len ? sb_view(&sb) : kNoneView;
}
